// Word Wrap on a large document: the time one switch takes, editor to
// tmpeditor and back, with the window shown so the newly visible control
// lays the document out and paints it. Best of 5, plus peak memory.
//
// usage: wordwrap_bench [FILE]   (default: the shared LibreOffice ledger)
#include "benchutil.h"
#include "frmeditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <cstdio>
#include <limits>

using bench::bestOf;
using bench::peakMegabytes;


int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QString path = QStringLiteral(TARBEL_SAMPLES_DIR "/large-libreoffice-ledger.rtf");
    if (app.arguments().size() > 1)
        path = app.arguments().at(1);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return 1;
    }
    const QByteArray data = file.readAll();

    frmeditor w;
    w.Timer1->stop();
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        std::fprintf(stderr, "window not exposed\n");
    w.editor->setTextRTF(data);
    QCoreApplication::processEvents();

    double best[2] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
    for (int run = 0; run < 5; ++run) {
        for (int direction = 0; direction < 2; ++direction) {
            QElapsedTimer t;
            t.start();
            w.mnu_wrap_Click();
            // The shown control lays out and paints what is in view.
            w.activeEditor()->viewport()->repaint();
            QCoreApplication::processEvents();
            best[direction] = std::min(best[direction], t.nsecsElapsed() / 1e6);
        }
    }
    std::printf("file: %s (%.2f MB, %lld characters of text)\n", qPrintable(path), data.size() / 1e6,
                static_cast<long long>(w.editor->textLength()));
    std::printf("word wrap on  (editor -> tmpeditor): %8.1f ms\n", best[0]);
    std::printf("word wrap off (tmpeditor -> editor): %8.1f ms\n", best[1]);
    std::printf("peak memory: %.1f MB\n", peakMegabytes());
    return 0;
}
