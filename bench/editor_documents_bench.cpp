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
#include <QTemporaryDir>

#include <cstdio>
#include <limits>

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
    QString find = QStringLiteral("Entry");
    QString file = QStringLiteral(TARBEL_SAMPLES_DIR "/large-libreoffice-ledger.rtf");
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--answers") && i + 1 < args.size())
            answers = args.at(++i).toLongLong();
        else if (args.at(i) == QLatin1String("--shown"))
            shown = true;
        else if (args.at(i) == QLatin1String("--find") && i + 1 < args.size())
            find = args.at(++i);
        else
            file = args.at(i);
    }
    if (!QFile::exists(file)) {
        std::fprintf(stderr, "usage: editor_documents_bench [FILE] [--answers N] [--find TEXT] [--shown]\n");
        return 2;
    }
    QTemporaryDir dir;
    qputenv("XDG_STATE_HOME", dir.filePath(QStringLiteral("state")).toLocal8Bit());
    BenchHost host;
    platform::DialogHost::install(&host);
    frmeditor w;
    if (shown) {
        w.show();
        QApplication::processEvents();
    }

    host.fileName = file;
    // Open into a window of its own each time, as at start-up, so that no
    // earlier document is still being laid out meanwhile; then once more in
    // the window the rest works in.
    double openMs = std::numeric_limits<double>::max();
    QByteArray ownCopy;   // what the window's recovery copy of it holds
    qint64 chars = 0;
    for (int run = 0; run < 3; ++run) {
        frmeditor fresh;
        if (shown) {
            fresh.show();
            QApplication::processEvents();
        }
        openMs = std::min(openMs, bestOf(1, [&] { fresh.mnuopen_Click(); }));
        if (fresh.curfile != file) {
            std::fprintf(stderr, "Open failed\n");
            return 1;
        }
        chars = fresh.editor->textLength();
        ownCopy = fresh.editor->TextRTF();
    }
    const double mb = QFile(file).size() / 1e6;

    // The same document taken back at start-up, in a new window, from the
    // recovery copy a Tarbel that ended left behind: the copy the window
    // itself makes of the document (RTF, whatever the file was).
    double recoverMs = std::numeric_limits<double>::max();
    {
        platform::RecoveryCopy copy = platform::RecoveryCopy::ofThisProcess(file, QString(), ownCopy);
        copy.started = -1;  // this process id in another life: ended
        const QByteArray planted = copy.encode();
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
            recoverMs = std::min(recoverMs, bestOf(1, [&] { fresh.offerRecovery(); }));
            if (fresh.changed != 1) {
                std::fprintf(stderr, "Recovering failed\n");
                return 1;
            }
            fresh.recoveryForget();
            QFile::remove(out.fileName());
        }
        host.recover = false;
        w.changed = 0;
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

    std::printf("document: %s, %.2f MB, %lld characters\n", qPrintable(file), mb, static_cast<long long>(chars));
    std::printf("Open:     %8.1f ms  (%.1f MB/s)\n", openMs, mb / (openMs / 1000));
    std::printf("Recover:  %8.1f ms  (the same document from a recovery copy)\n", recoverMs);
    std::printf("Save:     %8.1f ms  (%lld bytes written)\n", saveMs, static_cast<long long>(savedBytes));
    std::printf("Save As:  %8.1f ms\n", saveAsMs);
    std::printf("Replace:  %8.1f ms for %lld No answers to \"%s\" (%.3f ms per answer), caret at %lld\n",
                replaceMs, static_cast<long long>(answered), qPrintable(find),
                answered ? replaceMs / double(answered) : 0.0, static_cast<long long>(w.editor->SelStart()));
    std::printf("peak memory: %.0f MB\n", peakMegabytes());
    platform::DialogHost::install(nullptr);
    return 0;
}
