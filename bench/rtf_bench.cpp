// Reads FILE into a QTextDocument the way the editor does (a detached
// document, undo off), writes it back as RTF, and prints best-of-5 times,
// throughput, the tokenizer's speed alone and the process's peak memory.
#include "benchutil.h"
#include "rtf/rtf.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdio>
#include <limits>

using bench::bestOf;
using bench::peakMegabytes;

namespace {
void copyThroughCursor(const QTextDocument *from)
{
    QTextDocument to;
    to.setUndoRedoEnabled(false);
    QTextCursor cursor(&to);
    cursor.beginEditBlock();
    bool first = true;
    for (QTextBlock b = from->begin(); b.isValid(); b = b.next()) {
        // Formats without their lists and tables: those belong to the
        // other document.
        QTextBlockFormat bf = b.blockFormat();
        bf.setObjectIndex(-1);
        if (!first)
            cursor.insertBlock(bf, b.charFormat());
        first = false;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            QTextCharFormat cf = it.fragment().charFormat();
            cf.setObjectIndex(-1);
            cursor.insertText(it.fragment().text(), cf);
        }
    }
    cursor.endEditBlock();
}

// What any writer pays Qt: each paragraph's format and each run's text and
// format taken out of the document.
qint64 walkRuns(const QTextDocument *doc)
{
    qint64 sum = 0;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        sum += b.blockFormat().propertyCount();
        for (auto it = b.begin(); !it.atEnd(); ++it)
            sum += it.fragment().text().size() + it.fragment().charFormat().propertyCount();
    }
    return sum;
}
}  // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: rtf_bench FILE [--out OUT]\n");
        return 2;
    }
    QString outPath;
    const int outIndex = int(args.indexOf(QStringLiteral("--out")));
    if (outIndex > 0 && outIndex + 1 < args.size())
        outPath = args.at(outIndex + 1);
    QFile file(args.at(1));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(args.at(1)));
        return 1;
    }
    const QByteArray data = file.readAll();
    const double mb = data.size() / 1e6;
    const double peakBefore = peakMegabytes();

    qint64 chars = 0;
    const double scanMs = bestOf(5, [&] { chars = rtf::scan(data); });

    // The first read alone, in a fresh process: what opening costs in memory.
    QTextDocument *kept = new QTextDocument;
    kept->setUndoRedoEnabled(false);
    rtf::read(data, kept);
    const double peakAfterRead = peakMegabytes();
    const double readMs = bestOf(5, [&] {
        delete kept;
        kept = new QTextDocument;
        kept->setUndoRedoEnabled(false);
        rtf::read(data, kept);
    });

    // Qt's own share: the same paragraphs and runs put into a document
    // through QTextCursor with no RTF work at all.
    const double floorMs = bestOf(3, [&] { copyThroughCursor(kept); });

    QByteArray written;
    const double writeMs = bestOf(5, [&] { written = rtf::write(kept); });
    qint64 walked = 0;
    const double walkMs = bestOf(3, [&] { walked += walkRuns(kept); });
    if (!outPath.isEmpty()) {
        QFile out(outPath);
        if (out.open(QIODevice::WriteOnly))
            out.write(written);
    }

    std::printf("file        %s (%.2f MB, %lld characters, %d paragraphs)\n", qPrintable(args.at(1)), mb,
                static_cast<long long>(chars), kept->blockCount());
    std::printf("scan only   %8.1f ms  %8.1f MB/s\n", scanMs, mb / (scanMs / 1000));
    std::printf("read        %8.1f ms  %8.1f MB/s\n", readMs, mb / (readMs / 1000));
    std::printf("Qt's floor  %8.1f ms  %8.1f MB/s  (the same runs put in through QTextCursor alone)\n", floorMs,
                mb / (floorMs / 1000));
    std::printf("write       %8.1f ms  %8.1f MB/s  (%.2f MB out)\n", writeMs, written.size() / 1e6 / (writeMs / 1000),
                written.size() / 1e6);
    std::printf("Qt's floor  %8.1f ms  (taking each paragraph's and run's text and format out, %lld)\n", walkMs,
                static_cast<long long>(walked % 10));
    std::printf("peak memory %8.1f MB after the first read (%.2f times the file; %.1f MB before reading)\n",
                peakAfterRead, peakAfterRead / mb, peakBefore);
    delete kept;
    return 0;
}
