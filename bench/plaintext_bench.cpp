// Opening a large plain-text file into a document, each way in a process of
// its own so that each has its own peak memory: the way the editor read it
// before (the whole text decoded, its line ends replaced all through the
// string, one insertion), the way it reads it now (decoded and inserted a
// piece at a time), and Qt's floor (the text already decoded, with one LF a
// line, inserted with QTextCursor: what building the paragraphs alone costs).
// Prints each way's time, paragraphs and peak memory.
//
// usage: plaintext_bench [FILE] [--runs N]   (default: 50 MB of generated
//        lines, CR LF, written to a temporary folder)
#include "rtf/rtf.h"
#include "textcodec.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace {

enum class Way { Before, After, Floor };

// Lines of 13 to 150 characters, as a ledger exported to text has them.
void writeLines(const QString &path, qint64 bytes)
{
    static const char *const words[] = {"ledger", "river", "margin", "column", "entry", "total", "amount",
                                        "balance", "credit", "debit", "account", "north", "south", "0.00"};
    QRandomGenerator random(29);
    QByteArray out;
    out.reserve(bytes + 256);
    for (int line = 0; out.size() < bytes; ++line) {
        out += "Entry " + QByteArray::number(line).rightJustified(6, '0') + ':';
        for (int n = random.bounded(17); n > 0; --n)
            out += ' ' + QByteArray(words[random.bounded(int(std::size(words)))]);
        out += "\r\n";
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size())
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

// One way, in this process: the milliseconds from the file's bytes to the
// finished document.
double open(Way way, const QString &path, int *paragraphs)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = file.readAll();
    QTextDocument doc;
    doc.setUndoRedoEnabled(false);
    QString prepared;
    if (way == Way::Floor) {
        prepared = platform::decodeText(bytes);
        QString lines(prepared.size(), Qt::Uninitialized);
        qsizetype n = 0;
        for (qsizetype i = 0; i < prepared.size(); ++i)
            if (prepared.at(i) != u'\r')
                lines[n++] = prepared.at(i);
        lines.truncate(n);
        prepared = lines;
    }
    QElapsedTimer timer;
    timer.start();
    switch (way) {
    case Way::Before: {
        QString text = platform::decodeText(bytes);
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(u'\r', u'\n');
        QTextCursor(&doc).insertText(text);
        break;
    }
    case Way::After:
        rtf::readPlainText(bytes, platform::textPieceDecoder(bytes), &doc);
        break;
    case Way::Floor:
        QTextCursor(&doc).insertText(prepared);
        break;
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    *paragraphs = doc.blockCount();
    return ms;
}

// The way run in a child process: its time and paragraphs through a pipe,
// its peak memory from the kernel.
bool runChild(Way way, const QString &path, double *ms, int *paragraphs, double *peakMb, int argc, char **argv)
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        QGuiApplication app(argc, argv);
        struct {
            double ms;
            int paragraphs;
        } result{};
        result.ms = open(way, path, &result.paragraphs);
        const bool written = write(fds[1], &result, sizeof result) == ssize_t(sizeof result);
        _exit(written ? 0 : 1);
    }
    close(fds[1]);
    struct {
        double ms;
        int paragraphs;
    } result{};
    const bool read = ::read(fds[0], &result, sizeof result) == ssize_t(sizeof result);
    close(fds[0]);
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !read || result.ms < 0)
        return false;
    *ms = result.ms;
    *paragraphs = result.paragraphs;
    *peakMb = usage.ru_maxrss / 1024.0;
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    QString path;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--runs" && i + 1 < argc)
            runs = std::max(1, atoi(argv[++i]));
        else if (argv[i][0] != '-')
            path = QString::fromLocal8Bit(argv[i]);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    if (path.isEmpty()) {
        path = dir.filePath(QStringLiteral("lines.txt"));
        writeLines(path, 50'000'000);
    }
    std::printf("file: %s, %.2f MB; best of %d, each way in a process of its own\n", qPrintable(path),
                QFile(path).size() / 1e6, runs);
    const struct {
        Way way;
        const char *name;
    } ways[] = {{Way::Before, "before (whole text, line ends replaced)"},
                {Way::After, "after (a piece at a time)"},
                {Way::Floor, "Qt's floor (QTextCursor, text prepared)"}};
    // Rounds of every way in turn, so that the machine's load falls alike.
    double best[3] = {1e300, 1e300, 1e300};
    double peak[3] = {};
    int paragraphs[3] = {};
    for (int run = 0; run < runs; ++run) {
        for (int w = 0; w < 3; ++w) {
            double ms = 0, mb = 0;
            if (!runChild(ways[w].way, path, &ms, &paragraphs[w], &mb, argc, argv)) {
                std::fprintf(stderr, "%s failed\n", ways[w].name);
                return 1;
            }
            best[w] = std::min(best[w], ms);
            peak[w] = std::max(peak[w], mb);
        }
    }
    for (int w = 0; w < 3; ++w)
        std::printf("%-42s %8.1f ms  %8d paragraphs  peak %6.0f MB\n", ways[w].name, best[w], paragraphs[w], peak[w]);
    return 0;
}
