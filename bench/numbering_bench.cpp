// Line numbering through the toolbar on long documents: the whole click,
// and what it costs beyond putting the numbered text into the control
// (which is measured on its own). Best of 5 per size, plus peak memory.
//
// usage: numbering_bench [LINES...]   (default: 32767 200000)
#include "benchutil.h"
#include "frmeditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <cstdio>
#include <limits>

using bench::bestOf;
using bench::peakMegabytes;

namespace {

QString document(int lines)
{
    QString text;
    for (int i = 0; i < lines; ++i) {
        if (i)
            text += u'\n';
        text += QStringLiteral("Line of the ledger, entry %1").arg(i % 977);
    }
    return text;
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < app.arguments().size(); ++i)
        sizes << app.arguments().at(i).toInt();
    if (sizes.isEmpty())
        sizes = {32767, 200000};

    frmeditor w;
    w.Timer1->stop();
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        std::fprintf(stderr, "window not exposed\n");
    platform::ToolbarButton num;
    num.Key = QStringLiteral("num");

    for (const int lines : sizes) {
        const QString text = document(lines);
        double click = std::numeric_limits<double>::max();
        double set = std::numeric_limits<double>::max();
        QString numbered;
        for (int run = 0; run < 5; ++run) {
            w.editor->setPlainText(text);
            QElapsedTimer t;
            t.start();
            w.Toolbar1_ButtonClick(&num);
            click = std::min(click, t.nsecsElapsed() / 1e6);
            numbered = w.editor->toPlainText();
            t.restart();
            w.editor->setPlainText(numbered);
            set = std::min(set, t.nsecsElapsed() / 1e6);
        }
        std::printf("%7d lines: numbering %8.1f ms, of which setting the text %8.1f ms, beyond it %7.1f ms\n",
                    lines, click, set, click - set);
    }
    std::printf("peak memory: %.1f MB\n", peakMegabytes());
    return 0;
}
