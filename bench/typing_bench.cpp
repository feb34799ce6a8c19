// What a key typed costs in a large document, and inside one long paragraph:
// keys typed in the middle of the text through the window's event loop, each
// until the control has handled it and painted, with Word Wrap off and on.
// Prints the median and slowest key.
//
// usage: typing_bench [FILE] [--paragraph MB] [--tables N]   (default: the
//        shared ledger; --paragraph types into one paragraph of MB megabytes
//        instead, --tables into a document of N small tables between lines)
#include "benchutil.h"
#include "frmeditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTextLayout>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

struct Keys {
    double median = 0, slowest = 0;
    double cpuMedian = 0;   // the process's CPU time, which other programs' load leaves as it is
};

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

Keys typeInto(frmeditor &w, int keys)
{
    platform::RichTextBox *box = w.activeEditor();
    box->setFocus();
    QTextCursor cursor = box->textCursor();
    cursor.setPosition(int(box->document()->characterCount() / 2));
    box->setTextCursor(cursor);
    box->ensureCursorVisible();
    QCoreApplication::processEvents();
    std::vector<double> times, cpu;
    for (int i = 0; i < keys; ++i) {
        QElapsedTimer t;
        t.start();
        const double cpuStart = cpuMs();
        QTest::keyClick(box, char('a' + i % 26));
        box->viewport()->repaint();
        QCoreApplication::processEvents();
        times.push_back(t.nsecsElapsed() / 1e6);
        cpu.push_back(cpuMs() - cpuStart);
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    return {times[times.size() / 2], times.back(), cpu[cpu.size() / 2]};
}

// Qt's floor: a changed paragraph is laid out again whole (all of its text
// shaped), whatever changed in it. One layout of the paragraph alone.
double layoutOnce(const QString &text, const QFont &font, qreal width)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(width > 0 ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    layout.setTextOption(option);
    QElapsedTimer t;
    t.start();
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine())
        line.setLineWidth(width > 0 ? width : 1e9);
    layout.endLayout();
    return t.nsecsElapsed() / 1e6;
}

// N tables of three rows of three cells, a line of text before each.
QByteArray tablesRtf(int tables)
{
    QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 ";
    for (int t = 0; t < tables; ++t) {
        rtf += "Table " + QByteArray::number(t) + " of the ledger\\par\r\n";
        for (int r = 0; r < 3; ++r) {
            rtf += "\\trowd\\cellx2000\\cellx4000\\cellx6000 ";
            for (int c = 0; c < 3; ++c)
                rtf += "\\pard\\intbl cell " + QByteArray::number(r) + "," + QByteArray::number(c) + "\\cell ";
            rtf += "\\row\r\n";
        }
        rtf += "\\pard ";
    }
    return rtf + "end\\par}";
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    QString path = QStringLiteral(TARBEL_SAMPLES_DIR "/large-libreoffice-ledger.rtf");
    double paragraphMb = 0;
    int tables = 0;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--paragraph") && i + 1 < args.size())
            paragraphMb = args.at(++i).toDouble();
        else if (args.at(i) == QLatin1String("--tables") && i + 1 < args.size())
            tables = args.at(++i).toInt();
        else
            path = args.at(i);
    }
    frmeditor w;
    w.Timer1->stop();
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        std::fprintf(stderr, "window not exposed\n");
    QString what;
    if (paragraphMb > 0) {
        QString text;
        const QString words = QStringLiteral("ledger river margin column ");
        while (text.size() < paragraphMb * 1e6)
            text += words;
        w.editor->setText(text);
        const QFont font = w.editor->document()->defaultFont();
        std::printf("Qt's floor: the paragraph laid out once alone, unwrapped %.1f ms, wrapped %.1f ms\n",
                    layoutOnce(text, font, 0), layoutOnce(text, font, w.editor->viewport()->width()));
        what = QStringLiteral("one paragraph of %1 MB").arg(paragraphMb);
    } else if (tables > 0) {
        w.editor->setTextRTF(tablesRtf(tables));
        what = QStringLiteral("%1 small tables").arg(tables);
    } else {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
            return 1;
        }
        w.editor->setTextRTF(file.readAll());
        what = QStringLiteral("%1 (%2 MB)").arg(path).arg(file.size() / 1e6);
    }
    QCoreApplication::processEvents();
    std::printf("document: %s\n", qPrintable(what));
    for (int wrapped = 0; wrapped < 2; ++wrapped) {
        if (wrapped) {
            w.mnu_wrap_Click();
            QCoreApplication::processEvents();
        }
        // First while Qt still lays the rest of the document out in the
        // background (a step of it may run before a key), then once it has
        // finished.
        for (const bool settled : {false, true}) {
            QElapsedTimer t;
            t.start();
            if (settled)
                (void)w.activeEditor()->document()->pageCount();  // finishes the layout
            const double rest = settled ? t.nsecsElapsed() / 1e6 : 0;
            const Keys k = typeInto(w, 20);
            std::printf("key typed, word wrap %-3s %-8s median %8.1f ms  slowest %8.1f ms  median CPU %8.1f ms",
                        wrapped ? "on" : "off", settled ? "settled" : "at once", k.median, k.slowest, k.cpuMedian);
            std::printf(settled ? "  (the rest of the layout first: %.0f ms)\n" : "\n", rest);
        }
    }
    std::printf("peak memory: %.1f MB\n", bench::peakMegabytes());
    return 0;
}
