// Feeds each input to the RTF reader, then writes the document and reads
// that back, so the writer sees every shape of document the reader makes;
// and as an edited drawing object. What is written of what was read must be
// written again as the same bytes: a difference aborts, as a crash does.
#include "rtf/kept.h"
#include "rtf/rtf.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "rtf_fuzz";
    static char *argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QTextDocument doc;
    rtf::read(bytes, &doc);
    const QByteArray first = rtf::write(&doc);
    QTextDocument again;
    rtf::read(first, &again);
    if (rtf::write(&again) != first) {
        std::fprintf(stderr, "a second save differs from the first\n");
        std::abort();
    }
    rtf::scan(bytes);
    // The input as a drawing object whose text box text was edited.
    rtf::kept::replaceShapeText(bytes, {QByteArrayLiteral("x\\par y"), QByteArrayLiteral("z")});
    return 0;
}
