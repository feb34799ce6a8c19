// Times the File menu's Open, Save and Save As on a large document and a
// search and replace answered No to every question, the way a user drives
// them, with a dialog host that answers at once. Prints best-of-3 times and
// the process's peak memory.
#include "benchutil.h"
#include "dialoghost.h"
#include "frmeditor.h"
#include "recoverycopy.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <limits>
#include <optional>

using bench::bestOf;
using bench::peakMegabytes;

namespace {

// Answers every prompt at once: the file dialogs with fileName, the input
// boxes from a list, the questions No until noAnswers run out, then Cancel.
class BenchHost : public platform::DialogHost {
public:
    QString fileName;
    QStringList inputs;
    qint64 noAnswers = 0;
    qint64 questions = 0;
    bool recover = false;  // Yes to the offer of a recovery copy

    int messageBox(const QString &, int buttons, const QString &) override
    {
        if (recover && (buttons & 7) == vb::vbYesNoCancel)
            return vb::vbYes;
        if (buttons != vb::vbYesNoCancel)
            return vb::vbOK;
        ++questions;
        return noAnswers-- > 0 ? vb::vbNo : vb::vbCancel;
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


}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    qint64 answers = 10000;
    bool shown = false;
    bool recoveryOnly = false;   // Open, the copy and its recovery alone
    QString recoverFrom;
    qint64 chars = 0;            // the document's, to check the recovery by
    QString find = QStringLiteral("Entry");
    QString file = QStringLiteral(TARBEL_SAMPLES_DIR "/large-libreoffice-ledger.rtf");
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--answers") && i + 1 < args.size())
            answers = args.at(++i).toLongLong();
        else if (args.at(i) == QLatin1String("--shown"))
            shown = true;
        else if (args.at(i) == QLatin1String("--recovery"))
            recoveryOnly = true;
        else if (args.at(i) == QLatin1String("--recover-from") && i + 1 < args.size())
            recoverFrom = args.at(++i);   // the recovery alone, from this planted copy
        else if (args.at(i) == QLatin1String("--chars") && i + 1 < args.size())
            chars = args.at(++i).toLongLong();
        else if (args.at(i) == QLatin1String("--find") && i + 1 < args.size())
            find = args.at(++i);
        else
            file = args.at(i);
    }
    if (!QFile::exists(file)) {
        std::fprintf(stderr, "usage: editor_documents_bench [FILE] [--answers N] [--find TEXT] [--shown] [--recovery]\n");
        return 2;
    }
    QTemporaryDir dir;
    qputenv("XDG_STATE_HOME", dir.filePath(QStringLiteral("state")).toLocal8Bit());
    BenchHost host;
    platform::DialogHost::install(&host);
    if (!recoverFrom.isEmpty()) {
        QFile in(recoverFrom);
        if (!in.open(QIODevice::ReadOnly))
            return 2;
        const QByteArray planted = in.readAll();
        double recoverMs = std::numeric_limits<double>::max(), recoverPeak = 0, recoverBase = 0;
        const platform::RecoveryStore store(QStringLiteral("tarbel"));
        QDir().mkpath(store.folder());
        host.recover = true;
        for (int run = 0; run < 3; ++run) {
            QFile out(store.folder() + QStringLiteral("/ended.recovery"));
            if (!out.open(QIODevice::WriteOnly) || out.write(planted) != planted.size())
                return 1;
            out.close();
            frmeditor fresh;
            if (shown) {
                fresh.show();
                QApplication::processEvents();
            }
            const double base = bench::resetPeak();
            const double ms = bestOf(1, [&] { fresh.offerRecovery(); });
            if (ms < recoverMs)
                recoverMs = ms, recoverBase = base, recoverPeak = bench::peakSinceReset();
            if (fresh.changed != 1 || fresh.editor->textLength() != chars) {
                std::fprintf(stderr, "Recovering failed\n");
                return 1;
            }
            fresh.recoveryForget();
            QFile::remove(out.fileName());
        }
        std::printf("Recover:  %8.1f ms  (the same document from that copy), peak %.0f MB from %.0f MB\n",
                    recoverMs, recoverPeak, recoverBase);
        platform::DialogHost::install(nullptr);
        return 0;
    }
    frmeditor w;
    if (shown) {
        w.show();
        QApplication::processEvents();
    }

    host.fileName = file;
    // Open into a window of its own each time, as at start-up, so that no
    // earlier document is still being laid out meanwhile.
    double openMs = std::numeric_limits<double>::max(), openPeak = 0, openBase = 0;
    for (int run = 0; run < 3; ++run) {
        frmeditor fresh;
        if (shown) {
            fresh.show();
            QApplication::processEvents();
        }
        const double base = bench::resetPeak();
        const double ms = bestOf(1, [&] { fresh.mnuopen_Click(); });
        if (ms < openMs)
            openMs = ms, openBase = base, openPeak = bench::peakSinceReset();
        if (fresh.curfile != file) {
            std::fprintf(stderr, "Open failed\n");
            return 1;
        }
        chars = fresh.editor->textLength();
    }
    const double mb = QFile(file).size() / 1e6;

    // The recovery copy the window makes of the document once it has
    // unsaved changes (a character typed at the end and taken out again):
    // the longest the window's events wait meanwhile, and the time the
    // window spends on it, from the end of the pause before it until the
    // copy is on disk.
    QByteArray planted;
    double copyLongest = 0, copyBusy = 0, copyWall = 0;
    {
        frmeditor fresh;
        if (shown) {
            fresh.show();
            QApplication::processEvents();
        }
        fresh.mnuopen_Click();
        QApplication::processEvents();
        platform::RichTextBox *box = fresh.editor;
        QElapsedTimer wall, gap;
        wall.start();   // the pause before the copy starts at the first edit
        box->setSelStart(box->textLength());
        box->setSelText(QStringLiteral("x"));
        box->setSelStart(box->textLength() - 1);
        box->setSelLength(1);
        box->setSelText(QString());
        if (fresh.changed != 1 || box->textLength() != chars) {
            std::fprintf(stderr, "the edit failed\n");
            return 1;
        }
        gap.start();
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const double ms = gap.nsecsElapsed() / 1e6;
            if (wall.elapsed() > 2000) {   // after the pause before the copy is made
                copyLongest = std::max(copyLongest, ms);
                if (ms > 1)
                    copyBusy += ms;
            }
            gap.start();
        });
        tick.start(0);
        const QString own = fresh.recoveryFile();
        while (!QFile::exists(own) && wall.elapsed() < 300000)
            QApplication::processEvents(QEventLoop::AllEvents, 1);
        copyWall = wall.elapsed() - 2000.0;
        tick.stop();
        QFile in(own);
        std::optional<platform::RecoveryCopy> copy;
        if (in.open(QIODevice::ReadOnly))
            copy = platform::RecoveryCopy::decode(in.readAll());
        if (!copy) {
            std::fprintf(stderr, "no recovery copy\n");
            return 1;
        }
        copy->started = -1;  // this process id in another life: ended
        planted = copy->encode();
        fresh.recoveryForget();
    }

    // The same document taken back at start-up, in a new window, from that
    // copy, as a Tarbel that ended left it behind: in a process of its own,
    // which starts as fresh as the one that opened it (a process that has
    // loaded and dropped large documents before loads more slowly).
    QString recoverLine;
    {
        const QString planting = dir.filePath(QStringLiteral("planted"));
        QFile out(planting);
        if (!out.open(QIODevice::WriteOnly) || out.write(planted) != planted.size())
            return 1;
        out.close();
        QProcess child;
        QStringList childArgs{file, QStringLiteral("--recover-from"), planting, QStringLiteral("--chars"),
                              QString::number(chars)};
        if (shown)
            childArgs << QStringLiteral("--shown");
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), childArgs);
        if (!child.waitForFinished(-1) || child.exitCode() != 0)
            return 1;
        recoverLine = QString::fromLocal8Bit(child.readAllStandardOutput());
    }
    w.changed = 0;
    std::printf("document: %s, %.2f MB, %lld characters\n", qPrintable(file), mb, static_cast<long long>(chars));
    std::printf("Open:     %8.1f ms  (%.1f MB/s), peak %.0f MB from %.0f MB\n", openMs, mb / (openMs / 1000),
                openPeak, openBase);
    std::printf("Copy:     %8.1f ms  longest wait of the window's events, %.1f ms busy, on disk after %.0f ms "
                "(%.2f MB)\n",
                copyLongest, copyBusy, copyWall, planted.size() / 1e6);
    std::printf("%s", qPrintable(recoverLine));
    if (recoveryOnly) {
        platform::DialogHost::install(nullptr);
        return 0;
    }

    w.mnuopen_Click();
    host.fileName = dir.filePath(QStringLiteral("saved.rtf"));
    w.curfile = host.fileName;
    const double saveMs = bestOf(3, [&] { w.mnusave_Click(); });
    const qint64 savedBytes = QFile(host.fileName).size();
    host.fileName = dir.filePath(QStringLiteral("saved-as.rtf"));
    const double saveAsMs = bestOf(3, [&] { w.mnusaveas_Click(); });

    host.fileName = file;
    w.mnuopen_Click();
    w.editor->setSelStart(0);
    host.inputs = {find, QStringLiteral("x")};
    host.noAnswers = answers;
    host.questions = 0;
    QElapsedTimer timer;
    timer.start();
    w.mnureplace_Click();
    const double replaceMs = timer.nsecsElapsed() / 1e6;
    const qint64 answered = std::min(host.questions, answers);

    std::printf("Save:     %8.1f ms  (%lld bytes written)\n", saveMs, static_cast<long long>(savedBytes));
    std::printf("Save As:  %8.1f ms\n", saveAsMs);
    std::printf("Replace:  %8.1f ms for %lld No answers to \"%s\" (%.3f ms per answer), caret at %lld\n",
                replaceMs, static_cast<long long>(answered), qPrintable(find),
                answered ? replaceMs / double(answered) : 0.0, static_cast<long long>(w.editor->SelStart()));
    std::printf("peak memory: %.0f MB\n", peakMegabytes());
    platform::DialogHost::install(nullptr);
    return 0;
}
