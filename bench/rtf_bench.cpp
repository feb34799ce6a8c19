// Reads FILE into a QTextDocument the way the editor does (a detached
// document, undo off), writes it back as RTF, and prints best-of-5 times,
// throughput, the tokenizer's speed alone and the process's peak memory.
#include "benchutil.h"
#include "rtf/rtf.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTextDocument>

#include <cstdio>
#include <limits>

using bench::bestOf;
using bench::peakMegabytes;

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

    QTextDocument *kept = nullptr;
    const double readMs = bestOf(5, [&] {
        auto *doc = new QTextDocument;
        doc->setUndoRedoEnabled(false);
        rtf::read(data, doc);
        delete kept;
        kept = doc;
    });
    const double peakAfterRead = peakMegabytes();

    QByteArray written;
    const double writeMs = bestOf(5, [&] { written = rtf::write(kept); });
    if (!outPath.isEmpty()) {
        QFile out(outPath);
        if (out.open(QIODevice::WriteOnly))
            out.write(written);
    }

    std::printf("file        %s (%.2f MB, %lld characters, %d paragraphs)\n", qPrintable(args.at(1)), mb,
                static_cast<long long>(chars), kept->blockCount());
    std::printf("scan only   %8.1f ms  %8.1f MB/s\n", scanMs, mb / (scanMs / 1000));
    std::printf("read        %8.1f ms  %8.1f MB/s\n", readMs, mb / (readMs / 1000));
    std::printf("write       %8.1f ms  %8.1f MB/s  (%.2f MB out)\n", writeMs, written.size() / 1e6 / (writeMs / 1000),
                written.size() / 1e6);
    std::printf("peak memory %8.1f MB (before reading %.1f MB, after reading %.1f MB)\n", peakMegabytes(), peakBefore,
                peakAfterRead);
    delete kept;
    return 0;
}
