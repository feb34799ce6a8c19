// What a recovery copy of a large document costs the window: the copy's
// bytes are made on the window's thread (whole, and in the slices the window
// makes them in between events) and a child process writes them
// (the fork on the window's thread, the keystrokes typed while the child
// writes, and the time until the copy is on disk). For comparison, what a
// copy of the document for a worker would cost. Prints best-of-3 times and
// the process's peak memory.
#include "benchutil.h"
#include "frmeditor.h"
#include "recoverycontent.h"
#include "recoverycopy.h"
#include "rtf/rtf.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>

#include <cstdio>

using bench::bestOf;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    const bool shown = args.removeAll(QStringLiteral("--shown")) > 0;
    const QString file = args.isEmpty() ? QStringLiteral(TARBEL_SAMPLES_DIR "/large-libreoffice-ledger.rtf")
                                        : args.first();
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "usage: recovery_bench [FILE] [--shown]\n");
        return 2;
    }
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());

    frmeditor w;
    if (shown)
        w.show();
    // As Open reads it: an RTF file as RTF, any other as text.
    const QByteArray bytes = in.readAll();
    if (rtf::isRtf(bytes))
        w.editor->setTextRTF(bytes);
    else
        w.editor->setPlainTextDocument(bytes, platform::textPieceDecoder(bytes));
    QApplication::processEvents();
    platform::RichTextBox *box = w.editor;
    std::printf("file            %s (%.2f MB)\n", qPrintable(file), in.size() / 1e6);

    QByteArray rtf;
    const double serialise = bestOf(3, [&] { rtf = box->TextRTF(); });
    std::printf("window thread   %7.1f ms  serialise (%.2f MB)\n", serialise, rtf.size() / 1e6);
    // As the window makes them: slices between events.
    double slowest = 1e9, slicedTotal = 1e9;
    int slices = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer all, one;
        all.start();
        one.start();
        rtf::SlicedWriter sliced(box->document());
        double longest = 0;
        int n = 0;
        bool done = false;
        while (!done) {
            done = sliced.step(8);
            if (done)
                rtf = sliced.result();
            const double ms = one.nsecsElapsed() / 1e6;
            if (ms > longest)
                std::printf("                %7.1f ms  slice %d%s\n", ms, n, done ? " (the last)" : "");
            longest = std::max(longest, ms);
            ++n;
            one.start();
        }
        slowest = std::min(slowest, longest);
        slicedTotal = std::min(slicedTotal, all.nsecsElapsed() / 1e6);
        slices = n;
    }
    std::printf("                %7.1f ms  longest slice of %d, RTF sliced as the window made it before (%.1f ms in all)\n", slowest,
                slices, slicedTotal);
    // As the window makes them now: text when plain text holds the
    // document, else RTF.
    {
        double longest = 1e9, whole = 1e9;
        QByteArray bytes;
        platform::RecoveryCopy::Content kind = platform::RecoveryCopy::Rtf;
        int n = 0;
        for (int run = 0; run < 3; ++run) {
            QElapsedTimer all, one;
            all.start();
            RecoveryContent content(box->document(), box->hasPlainDefaults());
            double most = 0;
            n = 0;
            for (bool done = false; !done; ++n) {
                one.start();
                done = content.step(8);
                most = std::max(most, one.nsecsElapsed() / 1e6);
            }
            bytes = content.result();
            kind = content.kind();
            longest = std::min(longest, most);
            whole = std::min(whole, all.nsecsElapsed() / 1e6);
        }
        std::printf("copy content    %7.1f ms  longest slice of %d, %.1f ms in all: %s, %.2f MB\n", longest, n, whole,
                    kind == platform::RecoveryCopy::Text ? "text" : "RTF", bytes.size() / 1e6);
    }
    const double clone = bestOf(1, [&] { delete box->document()->clone(); });
    std::printf("snapshot        %7.1f ms  copy of the document for a worker\n", clone);

    platform::RecoveryStore store(QStringLiteral("tarbel"));
    double start = 1e9, window = 1e9, typing = 0, total = 1e9;
    for (int run = 0; run < 3; ++run) {
        platform::RecoveryWriter writer;
        QElapsedTimer all;
        all.start();
        // What the window does when a copy is due.
        const platform::RecoveryCopy copy =
            platform::RecoveryCopy::ofThisProcess({}, w.windowTitle(), box->TextRTF());
        QElapsedTimer t;
        t.start();
        if (!writer.start(store, copy)) {
            std::fprintf(stderr, "no child could be started\n");
            return 1;
        }
        start = std::min(start, t.nsecsElapsed() / 1e6);
        window = std::min(window, all.nsecsElapsed() / 1e6);
        // Keystrokes while the child writes: each first touch of a page
        // copies it.
        QTextCursor cursor(box->document());
        cursor.movePosition(QTextCursor::End);
        while (!writer.finished()) {
            t.restart();
            cursor.insertText(QStringLiteral("x"));
            typing = std::max(typing, t.nsecsElapsed() / 1e6);
            QThread::msleep(10);
        }
        total = std::min(total, all.nsecsElapsed() / 1e6);
    }
    std::printf("writer child    %7.1f ms  on the window thread: bytes made and child started\n", window);
    std::printf("                %7.1f ms  of which the child's start (fork)\n", start);
    std::printf("                %7.1f ms  slowest keystroke while the child wrote\n", typing);
    std::printf("                %7.1f ms  until the copy is on disk (%.2f MB)\n", total,
                QFile(store.ownFile()).size() / 1e6);
    std::printf("peak memory     %7.1f MB\n", bench::peakMegabytes());
    return 0;
}
