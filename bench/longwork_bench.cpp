// The window's freezes during long commands on a large document: for each
// command, the longest time between two turns of the event loop (seen by a
// zero-interval timer) and the command's whole time, first through the
// one-call path the editor took before (the document set, written or
// replaced in one Qt call) and then through the window's command, which
// works in pieces between which events run. Prints one line per command:
//   command  before: freeze/time ms   after: freeze/time ms (longest freeze
//   without the busy pointer)
#include "benchutil.h"
#include "dialoghost.h"
#include "frmeditor.h"
#include "longwork.h"
#include "recoverycopy.h"
#include "runtime.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QAbstractTextDocumentLayout>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <limits>

namespace {

class BenchHost : public platform::DialogHost {
public:
    QString fileName;
    QStringList inputs;
    int messageBox(const QString &, int buttons, const QString &) override
    {
        return (buttons & 7) == vb::vbYesNoCancel ? vb::vbYes : vb::vbOK;
    }
    QString inputBox(const QString &, const QString &, const QString &) override
    {
        return inputs.isEmpty() ? QString() : inputs.takeFirst();
    }
    QString openFile(const platform::FileDialogRequest &) override { return fileName; }
    QString saveFile(const platform::FileDialogRequest &) override { return fileName; }
    std::optional<QColor> color(const QColor &) override { return std::nullopt; }
    bool printer(const platform::PrinterDialogRequest &) override { return false; }
    bool pageSetup(QPrinter *) override { return false; }
};

struct Figures {
    double freeze = 0;        // the longest time between two event-loop turns
    double bareFreeze = 0;    // the same, where the busy pointer was not up
    double total = 0;
};

// Lets the editors finish laying out what they show, so that one command's
// figures do not carry the layout the command before left to do.
void settle(frmeditor &w)
{
    for (platform::RichTextBox *box : {w.editor, w.tmpeditor})
        box->document()->documentLayout()->documentSize();
    QCoreApplication::processEvents();
}

// Runs f, watching the event loop from a zero-interval timer. A freeze
// counts as one without the busy pointer when the pointer was not up at
// either of its ends.
Figures watch(frmeditor &w, const std::function<void()> &f)
{
    settle(w);
    Figures out;
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    bool busyAtLast = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const double gap = (now - last) / 1e6;
        out.freeze = std::max(out.freeze, gap);
        const bool busy = platform::Screen::mousePointer() == platform::Screen::vbHourglass;
        if (!busyAtLast && !busy)
            out.bareFreeze = std::max(out.bareFreeze, gap);
        last = now;
        busyAtLast = busy;
    });
    timer.start(0);
    QCoreApplication::processEvents();
    last = clock.nsecsElapsed();
    const qint64 start = last;
    f();
    const qint64 end = clock.nsecsElapsed();
    // The stretch from the last turn to the end.
    out.freeze = std::max(out.freeze, (end - last) / 1e6);
    out.total = (end - start) / 1e6;
    return out;
}

void print(const char *name, const Figures &before, const Figures &after)
{
    std::printf("%-10s before: freeze %8.1f ms, time %8.1f ms   after: freeze %7.1f ms (%6.1f ms without the busy "
                "pointer), time %8.1f ms\n",
                name, before.freeze, before.total, after.freeze, after.bareFreeze, after.total);
    std::fflush(stdout);
}

QByteArray largeRtf(qint64 bytes)
{
    QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 ";
    rtf.reserve(bytes + 200);
    for (int i = 0; rtf.size() < bytes; ++i)
        rtf += "Line " + QByteArray::number(i) + " of the ledger, {\\b bold} and plain, and some more words.\\par\r\n";
    return rtf + "}";
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qint64 megabytes = args.size() > 1 ? args.at(1).toLongLong() : 50;
    // --quiet-window: the commands work in pieces but never let events run,
    // to tell the pieces' cost from the events'.
    // --only a,b: those commands alone (the document is always opened).
    const qsizetype only = args.indexOf(QStringLiteral("--only"));
    const QStringList chosen = only > 0 && only + 1 < args.size() ? args.at(only + 1).split(u',') : QStringList();
    const auto want = [&chosen](const char *name) { return chosen.isEmpty() || chosen.contains(QLatin1String(name)); };
    if (args.contains(QStringLiteral("--quiet-window")))
        platform::LongWork::setTiming(std::numeric_limits<int>::max(), std::numeric_limits<int>::max());
    QTemporaryDir dir;
    qputenv("XDG_STATE_HOME", dir.filePath(QStringLiteral("state")).toLocal8Bit());
    qputenv("WINEPREFIX", dir.filePath(QStringLiteral("no-prefix")).toLocal8Bit());
    BenchHost host;
    platform::DialogHost::install(&host);

    const QByteArray rtf = largeRtf(megabytes * 1000 * 1000);
    const QString file = dir.filePath(QStringLiteral("large.rtf"));
    {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write(rtf) != rtf.size())
            return 1;
    }
    std::printf("document: %.1f MB of RTF\n", rtf.size() / 1e6);

    frmeditor w;
    w.Timer1->stop();
    w.show();
    QCoreApplication::processEvents();

    // Open.
    const Figures openBefore = watch(w, [&] { w.editor->setTextRTF(rtf); });
    w.editor->setTextRTF(QByteArray());
    host.fileName = file;
    const Figures openAfter = watch(w, [&] { w.mnuopen_Click(); });
    print("open", openBefore, openAfter);

    if (want("save")) {
        // Save (Save As to another name: both write the document whole).
        const QString saved = dir.filePath(QStringLiteral("saved.rtf"));
        const Figures saveBefore = watch(w, [&] {
            QFile f(saved);
            if (f.open(QIODevice::WriteOnly))
                f.write(w.editor->TextRTF());
        });
        host.fileName = saved;
        const Figures saveAfter = watch(w, [&] { w.mnusaveas_Click(); });
        print("save", saveBefore, saveAfter);
    }

    if (want("wrap")) {
        // Word Wrap, on and off.
        const Figures wrapAfter = watch(w, [&] { w.mnu_wrap_Click(); });
        const Figures unwrapAfter = watch(w, [&] { w.mnu_wrap_Click(); });
        print("wrap", Figures{}, wrapAfter);
        print("unwrap", Figures{}, unwrapAfter);
    }

    if (want("replace")) {
        // Replace: a text found nowhere, so the whole document is searched.
        host.inputs = {QStringLiteral("nowhere to be found"), QStringLiteral("x")};
        w.editor->setSelStart(0);
        const Figures replaceAfter = watch(w, [&] { w.mnureplace_Click(); });
        print("replace", Figures{}, replaceAfter);
    }

    if (want("numbering")) {
        // Numberings. The window's command first, and its figures at once:
        // on 50 MB the old one-call path runs for many minutes.
        const QString text = w.editor->Text();
        const Figures numberAfter = watch(w, [&] {
            platform::ToolbarButton num;
            num.Key = QStringLiteral("num");
            w.Toolbar1_ButtonClick(&num);
        });
        std::printf("numbering  after: freeze %7.1f ms (%6.1f ms without the busy pointer), time %8.1f ms\n",
                    numberAfter.freeze, numberAfter.bareFreeze, numberAfter.total);
        std::fflush(stdout);
        // Undo of it through the menu, and Redo.
        const Figures undoAfter = watch(w, [&] { w.mnu_undo_Click(); });
        std::printf("numbering undo: freeze %7.1f ms (%6.1f ms without the busy pointer), time %8.1f ms\n",
                    undoAfter.freeze, undoAfter.bareFreeze, undoAfter.total);
        std::fflush(stdout);
        const Figures redoAfter = watch(w, [&] { w.keyRedo_Click(); });
        std::printf("numbering redo: freeze %7.1f ms (%6.1f ms without the busy pointer), time %8.1f ms\n",
                    redoAfter.freeze, redoAfter.bareFreeze, redoAfter.total);
        std::fflush(stdout);
        w.mnu_undo_Click();
        const Figures numberBefore = watch(w, [&] {
            w.editor->replaceText(text);
            w.editor->undo();
        });
        print("numbering", numberBefore, numberAfter);
    }

    if (want("paste")) {
        // Paste of 20 MB of text into a short document.
        const QString clip = QString::fromLatin1(rtf.left(20 * 1000 * 1000));
        w.editor->setTextRTF("{\\rtf1\\ansi short\\par}");
        const Figures pasteBefore = watch(w, [&] { w.editor->setSelText(clip); });
        w.editor->setTextRTF("{\\rtf1\\ansi short\\par}");
        platform::Clipboard::SetText(clip);
        const Figures pasteAfter = watch(w, [&] { w.mnupaste_Click(); });
        print("paste", pasteBefore, pasteAfter);
        const Figures undoAfter = watch(w, [&] { w.mnu_undo_Click(); });
        std::printf("paste undo: freeze %7.1f ms (%6.1f ms without the busy pointer), time %8.1f ms\n",
                    undoAfter.freeze, undoAfter.bareFreeze, undoAfter.total);
    }

    if (want("recover")) {
        // Recovering a copy at start.
        {
            const QString folder = dir.filePath(QStringLiteral("state/tarbel/recovery"));
            QDir().mkpath(folder);
            platform::RecoveryCopy copy = platform::RecoveryCopy::ofThisProcess(QString(), QString(), rtf);
            copy.started = -1;
            QFile f(folder + QStringLiteral("/bench.recovery"));
            if (f.open(QIODevice::WriteOnly))
                f.write(copy.encode());
        }
        frmeditor r;
        r.Timer1->stop();
        r.show();
        QCoreApplication::processEvents();
        const Figures recoverBefore = watch(r, [&] { r.editor->setTextRTF(rtf); });
        r.editor->setTextRTF(QByteArray());
        const Figures recoverAfter = watch(r, [&] { r.offerRecovery(); });
        print("recover", recoverBefore, recoverAfter);
        r.recoveryForget();
    }
    w.recoveryForget();
    std::printf("peak memory %.0f MB\n", bench::peakMegabytes());
    platform::DialogHost::install(nullptr);
    return 0;
}
