// The RTF reader and writer: the samples other programs wrote, each part of
// the format on its own, random round trips, and hostile input.
#include "rtf/rtf.h"
#include "rtf/numbering.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <malloc.h>

#include <memory>

#include "rtfdescribe.h"
#include "samples.h"

using namespace rtftest;

namespace {

std::unique_ptr<QTextDocument> load(const QByteArray &rtf, const QFont &font = QFont(QStringLiteral("Deffont"), 12))
{
    auto doc = std::make_unique<QTextDocument>();
    doc->setDefaultFont(font);
    rtf::read(rtf, doc.get());
    return doc;
}

QString textOf(const QByteArray &rtf) { return plainText(load(rtf).get()); }

QByteArray sample(const char *name)
{
    QFile f(QStringLiteral(TARBEL_SAMPLES_DIR "/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

// The memory a piece of work took at its peak, in MB, for that work alone:
// freed heap goes back to the system and the kernel's high-water mark is
// set back to the resident size before it (/proc/self/clear_refs), and read
// after it.
class PeakMemory
{
public:
    PeakMemory()
    {
        malloc_trim(0);
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        m_reset = clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
        clear.close();
        m_start = status("VmRSS:");
    }
    bool reset() const { return m_reset; }
    double grownMegabytes() const { return (status("VmHWM:") - m_start) / 1024.0; }

private:
    // A line of /proc/self/status, in kB.
    static double status(const char *name)
    {
        QFile f(QStringLiteral("/proc/self/status"));
        if (!f.open(QIODevice::ReadOnly))
            return 0;
        for (const QByteArray &line : f.readAll().split('\n')) {
            if (line.startsWith(name))
                return line.mid(qstrlen(name)).trimmed().split(' ').first().toDouble();
        }
        return 0;
    }
    bool m_reset = false;
    double m_start = 0;
};

QByteArray encoded(const QImage &img, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, format);
    return bytes;
}

QByteArray hex(const QByteArray &bytes) { return bytes.toHex(); }

}  // namespace

class TestRtf : public QObject
{
    Q_OBJECT
private slots:
    void samples_data();
    void samples();
    void largeSample();
    void syntax_data();
    void syntax();
    void encodings_data();
    void encodings();
    void headerTables();
    void wordLayout();
    void characterFormats();
    void paragraphs();
    void lists();
    void pictures();
    void fieldsAndObjects();
    void tables();
    void writerOutput();
    void roundTripByHand();
    void roundTripRandom();
    void sameBytesOnEverySave_data();
    void sameBytesOnEverySave();
    void keptAsRead_data();
    void keptAsRead();
    void keptThroughEditing();
    void hostile_data();
    void hostile();
    void manyParagraphsWithTextAreKept();
    void regressions();
    void plainTextAndDetection();
};

// ---- samples written by other programs -------------------------------------

void TestRtf::samples_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("formats");  // fragments expected in the description

    const QString notes = QStringLiteral(
        "Plain start, then bold words, italic words, underlined and struck text.\n"
        "Courier sixteen beside small eight and green.\n");
    const QString tail = QStringLiteral(
        "Accents: d\u00e9j\u00e0 vu, \u00d8resund, Stra\u00dfe; symbols: \u00a9 \u00ae \u00b1 \u00bd; dashes \u2013 \u2014.\n");
    const QStringList notesFormats{
        QStringLiteral(" b>bold words<"), QStringLiteral(" i>italic words<"), QStringLiteral(" u>underlined<"),
        QStringLiteral(" s>struck<"), QStringLiteral("[image 32x24 ")};

    QTest::newRow("wordpad") << "wordpad-minutes.rtf"
                             << QStringLiteral("Meeting minutes, draft, final, void.\nBlue courier fourteen\nfirst point\n"
                                               "second red point\nPrice: 12 \u20ac, na\u00efve caf\u00e9.")
                             << QStringList{"<Calibri 11 b>minutes<", "<Calibri 11 i>draft<", "<Calibri 11 u>final<",
                                            "<Calibri 11 s>void<", "<Courier New 14 fg#004dbb>Blue courier fourteen",
                                            "{list-1/1 sa13 lh1:115}<Calibri 11>first point",
                                            "{list-1/1 sa13 lh1:115}<Calibri 11>second <Calibri 11 fg#ff0000>red<"};
    QTest::newRow("richtextbox") << "richtextbox-report.rtf"
                                 << QStringLiteral("Report line one\nReport line two with the engine phrase")
                                 << QStringList{"<MS Sans Serif 8.5>Report line one"};
    QTest::newRow("pandoc") << "pandoc-notes.rtf"
                            << QStringLiteral("Field notes\n\nField notes\n") + notes
            + QStringLiteral("\u2022\talpha\n\u2022\tbeta gamma\n") + tail
            + QStringLiteral("An image \ufffc inline.\nLast line.")
                            << (notesFormats + QStringList{"{center sa12}<Helvetica 18 b>Field notes",
                                                           "{li24 fi-24 tab24:0}", "shown 32x24"});
    QTest::newRow("abiword") << "abiword-notes.rtf"
                             << QStringLiteral("Field notes\n") + notes + QStringLiteral("alpha\nbeta gamma\n") + tail
            + QStringLiteral("An image \ufffcinline.\nLast line.\n\n")
                             << (notesFormats + QStringList{"<Courier New 16>Courier sixteen<",
                                                            "<Liberation Serif 8>small eight<",
                                                            "<Liberation Serif 12 fg#008000>green<",
                                                            "{list-1/1}<Liberation Serif 12>alpha",
                                                            "<Liberation Sans 14 b>Field notes"});
    QTest::newRow("libreoffice") << "libreoffice-notes.rtf"
                                 << QStringLiteral("Field notes\n") + notes + QStringLiteral("alpha\nbeta gamma\n")
            + tail + QStringLiteral("An image \ufffc inline.\nLast line.")
                                 << (notesFormats + QStringList{"<Courier New 16>Courier sixteen<",
                                                                "<Liberation Serif 8>small eight<",
                                                                "<Liberation Serif 12 fg#008000>green<",
                                                                "{list-1/1 lh1:115 tab47:0}<Liberation Serif 12>alpha",
                                                                "<Liberation Serif 18 b>Field notes", "shown 32x24"});
}

void TestRtf::samples()
{
    QFETCH(QString, file);
    QFETCH(QString, text);
    QFETCH(QStringList, formats);
    const QByteArray data = sample(file.toLatin1().constData());
    REQUIRE_SAMPLE(!data.isEmpty());
    const auto doc = load(data);
    QCOMPARE(plainText(doc.get()), text);
    const QString description = describe(doc.get());
    for (const QString &f : formats)
        QVERIFY2(description.contains(f), qPrintable(f + QStringLiteral("\nnot in\n") + description));

    // What we write of it reads back the same.
    const auto again = load(rtf::write(doc.get()));
    QCOMPARE(describe(again.get()), description);
}

void TestRtf::largeSample()
{
    const QByteArray data = sample("large-libreoffice-ledger.rtf");
    REQUIRE_SAMPLE(!data.isEmpty());
    const auto doc = load(data);
    QCOMPARE(doc->blockCount(), 20000);
    QVERIFY(doc->begin().text().startsWith(QStringLiteral("Entry 0: column river ledger")));
    QVERIFY(doc->lastBlock().text().endsWith(QStringLiteral("d\u00e9j\u00e0 \u20ac.")));
    const QString first = describe(doc.get()).section(u'\n', 0, 0);
    QVERIFY2(first.contains(QStringLiteral(" i>column<")) && first.contains(QStringLiteral(" b>invoice<")),
             qPrintable(first));
}

// ---- the reader, part by part ---------------------------------------------

void TestRtf::syntax_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::newRow("groups and delimiters") << QByteArray("{\\rtf1 a{\\b b}c \\b0  d}") << "abc  d";
    QTest::newRow("unknown words ignored") << QByteArray("{\\rtf1 a\\foo12 b\\bar-3c}") << "abc";
    QTest::newRow("unknown ignorable skipped") << QByteArray("{\\rtf1 a{\\*\\foo b{c}d}e}") << "ae";
    QTest::newRow("known ignorable kept") << QByteArray("{\\rtf1 a{\\*\\shppict b}c}") << "abc";
    QTest::newRow("destination out of its place") << QByteArray("{\\rtf1 a{\\listlevel x}b{\\sn y}{\\b\\listoverride z}c}") << "abc";
    QTest::newRow("control symbols") << QByteArray("{\\rtf1 \\{x\\}\\\\\\~\\-\\_}")
                                     << QString::fromUtf16(u"{x}\\\u00a0\u00ad\u2011");
    QTest::newRow("escaped line end is a paragraph") << QByteArray("{\\rtf1 a\\\r\nb}") << "a\nb";
    QTest::newRow("raw line ends ignored") << QByteArray("{\\rtf1 a\r\nb\nc}") << "abc";
    QTest::newRow("bin data skipped raw") << QByteArray("{\\rtf1 a\\bin4 }{\\x b}") << "a b";
    QTest::newRow("bin data in a skipped group") << QByteArray("{\\rtf1 a{\\*\\x \\bin2 }}}b}") << "ab";
    QTest::newRow("after the final brace") << QByteArray("{\\rtf1 a}b\\par c}\r\n\0", 20) << "a";
    QTest::newRow("long control word") << QByteArray("{\\rtf1 a\\") + QByteArray(40, 'x') + QByteArray(" b}") << "ab";
    QTest::newRow("special characters")
        << QByteArray("{\\rtf1 \\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote\\tab x}")
        << QString::fromUtf16(u"\u2014\u2013\u2022\u2018\u2019\u201c\u201d\tx");
    QTest::newRow("hidden text") << QByteArray("{\\rtf1 a{\\v hidden}b\\v c\\v0 d}") << "abd";
    QTest::newRow("header, footer, footnote and info")
        << QByteArray("{\\rtf1{\\info{\\title T}{\\author A}}{\\header H}{\\footerl F}a{\\footnote N}b"
                      "{\\annotation X}}")
        << "ab";
    QTest::newRow("TextEdit attachment") << QByteArray("{\\rtf1 a{{\\NeXTGraphic logo.png \\width640}}b}") << "ab";
    QTest::newRow("unicode half of upr") << QByteArray("{\\rtf1 a{\\upr{ansi}{\\*\\ud{uni}}}b}") << "aunib";
    QTest::newRow("leading blanks and preamble") << QByteArray("  \r\n{\\rtf1\\ansi x}") << "x";
}

void TestRtf::syntax()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QCOMPARE(textOf(rtf), text);
}

void TestRtf::encodings_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::newRow("ansi hex") << QByteArray("{\\rtf1\\ansi caf\\'e9 \\'80\\'93}") << QString::fromUtf16(u"caf\u00e9 \u20ac\u201c");
    QTest::newRow("ansicpg 1251") << QByteArray("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}") << QString::fromUtf16(u"\u041f\u0440\u0438");
    QTest::newRow("font charset over document") << QByteArray(
        "{\\rtf1\\ansi{\\fonttbl{\\f0 A;}{\\f1\\fcharset161 G;}}\\'e1{\\f1\\'e1}\\'e1}") << QString::fromUtf16(u"\u00e1\u03b1\u00e1");
    QTest::newRow("mac") << QByteArray("{\\rtf1\\mac \\'8e}") << QString::fromUtf16(u"\u00e9");
    QTest::newRow("pc") << QByteArray("{\\rtf1\\pc \\'82}") << QString::fromUtf16(u"\u00e9");
    QTest::newRow("shift-jis pair") << QByteArray("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset128 MS Mincho;}}\\f0 \\'82\\'a0\\'93\\'fa}")
                                    << QString::fromUtf16(u"\u3042\u65e5");
    QTest::newRow("shift-jis half-width kana") << QByteArray("{\\rtf1\\ansi\\ansicpg932 \\'b1\\'dd}") << QString::fromUtf16(u"\uff71\uff9d");
    QTest::newRow("mac japanese") << QByteArray("{\\rtf1\\mac\\ansicpg10001{\\fonttbl{\\f0\\fcharset78 Osaka;}}\\f0 \\'82\\'a8\\'b1\\'fd}")
                                  << QString::fromUtf16(u"\u304a\uff71\u00a9");
    QTest::newRow("mac charset") << QByteArray("{\\rtf1\\mac{\\fonttbl{\\f0 M;}{\\f1\\fcharset89 R;}}\\'80{\\f1\\'80}}") << QString::fromUtf16(u"\u00c4\u0410");
    QTest::newRow("utf-8 font, either order") << QByteArray(
        "{\\rtf1{\\fonttbl{\\f0\\fcharset128\\cpg65001 A;}{\\f1\\cpg65001\\fcharset0 B;}}\\f0\\'e4\\'b8\\'ad\\'e4x{\\f1\\'f0\\'9f\\'98\\'80\\'c0}}")
        << QString::fromUtf16(u"\u4e2d\ufffdx\U0001F600\ufffd");
    QTest::newRow("gbk with raw trail byte") << QByteArray("{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0\\'b9\\'fa}") << QString::fromUtf16(u"\u4e2d\u56fd");
    QTest::newRow("unicode with fallback") << QByteArray("{\\rtf1\\uc1\\u8364?\\u233\\'e9 x}") << QString::fromUtf16(u"\u20ac\u00e9 x");
    QTest::newRow("negative unicode") << QByteArray("{\\rtf1\\u-4064?\\u-3913?}") << QString::fromUtf16(u" \u2022");
    QTest::newRow("uc2 and uc0") << QByteArray("{\\rtf1\\uc2\\u8364ab c{\\uc0\\u8364 d}\\u8364xy}")
                                 << QString::fromUtf16(u"\u20ac c\u20acd\u20ac");
    QTest::newRow("group end stops the skip") << QByteArray("{\\rtf1\\uc3{\\u8364?}ab}") << QString::fromUtf16(u"\u20acab");
    QTest::newRow("surrogate pair") << QByteArray("{\\rtf1\\u-10179?\\u-8704?}") << QString::fromUtf16(u"\U0001F600");
    QTest::newRow("lone surrogates") << QByteArray("{\\rtf1 a\\u-10179?b\\u-8704?c}") << QString::fromUtf16(u"a\ufffdb\ufffdc");
    QTest::newRow("symbol font bullet") << QByteArray("{\\rtf1{\\fonttbl{\\f1\\fcharset2 Symbol;}}{\\f1\\'b7}a\\u61623?}")
                                        << QString::fromUtf16(u"\u2022a\u2022");
    QTest::newRow("bad hex") << QByteArray("{\\rtf1 a\\'zzb\\'4}") << "azzb\x04";
}

void TestRtf::encodings()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QCOMPARE(textOf(rtf), text);
}

void TestRtf::headerTables()
{
    const auto doc = load(
        "{\\rtf1\\ansi\\deff1{\\fonttbl{\\f0\\froman Times New Roman;}{\\f1\\fswiss\\fprq2 Arial{\\*\\falt Helvetica};}"
        "\\f2\\fmodern Courier New;}"
        "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
        "{\\stylesheet{\\s0 Normal;}{\\s1\\sbasedon2\\b\\fs32 Heading;}{\\s2\\qc\\i\\sbasedon1 Loop;}"
        "{\\*\\cs3\\ul Emphasis;}}"
        "plain {\\f2 courier} {\\f9 nofont} {\\cf1 red}{\\cf7 nocolour}{\\cf0 auto}\\par"
        "\\pard\\s1 heading {\\cs3 em}\\par\\pard\\plain\\s77 nostyle\\par}");
    const QString d = describe(doc.get());
    QVERIFY2(d.contains(QStringLiteral("<Arial 12>plain <Courier New 12>courier<Arial 12> nofont <Arial 12 fg#ff0000>red<Arial 12>nocolourauto\n")), qPrintable(d));
    // \s1 is based on \s2 which is based on \s1: the cycle stops, both apply.
    // A character style adds to the paragraph's formatting.
    QVERIFY2(d.contains(QStringLiteral("{center}<Arial 16 b i>heading <Arial 16 b i u cs3>em\n")), qPrintable(d));
    QVERIFY2(d.endsWith(QStringLiteral("{}<Arial 12>nostyle")), qPrintable(d));
}

void TestRtf::wordLayout()
{
    // The shape of what Word writes: themed fonts with panose data, a
    // Normal style without \s0, character props in many small groups,
    // revision ids, associated fonts, Word lists and tables.
    const auto doc = load(
        "{\\rtf1\\adeflang1025\\ansi\\ansicpg1252\\uc1\\adeff31507\\deff0\\stshfdbch31505\\deflang1033"
        "{\\fonttbl{\\f0\\fbidi \\froman\\fcharset0\\fprq2{\\*\\panose 02020603050405020304}Times New Roman;}"
        "{\\f3\\fbidi \\froman\\fcharset2\\fprq2{\\*\\panose 05050102010706020507}Symbol;}"
        "{\\fminor\\f31506\\fbidi \\fswiss\\fcharset0\\fprq2{\\*\\panose 020f0502020204030204}Calibri;}}"
        "{\\colortbl;\\red0\\green0\\blue0;\\red192\\green0\\blue0;}{\\*\\defchp \\f31506\\fs22 }"
        "{\\stylesheet{\\ql \\li0\\ri0\\sa160\\sl259\\slmult1\\widctlpar\\rtlch\\fcs1 \\af31507\\afs22 \\ltrch\\fcs0 "
        "\\f31506\\fs22\\lang1033 \\snext0 \\sqformat \\spriority0 Normal;}{\\*\\cs10 \\additive \\ssemihidden "
        "Default Paragraph Font;}}"
        "{\\*\\listtable{\\list\\listtemplateid1\\listhybrid{\\listlevel\\levelnfc23\\levelnfcn23\\leveljc0"
        "{\\leveltext\\leveltemplateid67698689\\'01\\u-3913 ?;}{\\levelnumbers;}\\f3\\fbias0 \\fi-360\\li720}"
        "{\\listname ;}\\listid1}}{\\*\\listoverridetable{\\listoverride\\listid1\\listoverridecount0\\ls1}}"
        "{\\*\\rsidtbl \\rsid123}{\\*\\generator Microsoft Word 16;}{\\info{\\author A}{\\operator B}}"
        "\\pard\\plain \\ltrpar\\s0\\ql \\li0\\ri0\\sa160\\sl259\\slmult1\\itap0 \\rtlch\\fcs1 \\af31507\\afs22 "
        "\\ltrch\\fcs0 \\f31506\\fs22\\insrsid123 {\\rtlch\\fcs1 \\af31507 \\ltrch\\fcs0 \\insrsid123 Hello }"
        "{\\rtlch\\fcs1 \\ab\\af31507 \\ltrch\\fcs0 \\b\\cf2\\insrsid123 world}{\\rtlch\\fcs1 \\af31507 "
        "\\ltrch\\fcs0 \\insrsid123 \\par }"
        "{\\listtext\\pard\\plain\\ltrpar \\rtlch\\fcs1 \\af0 \\ltrch\\fcs0 \\f3\\insrsid123 \\loch\\af3\\hich\\f3 "
        "\\'b7\\tab}\\pard \\ltrpar\\ql \\fi-360\\li720\\ri0\\sa160\\sl259\\slmult1\\ls1\\ilvl0\\itap0 "
        "{\\rtlch\\fcs1 \\af31507 \\ltrch\\fcs0 \\insrsid123 item\\par }"
        "\\trowd \\irow0\\irowband0\\ltrrow\\ts11\\trgaph108\\trleft-108\\clbrdrt\\brdrs\\brdrw10 \\cltxlrtb\\clftsWidth3"
        "\\clwWidth4675 \\cellx4567\\clbrdrt\\brdrs\\brdrw10 \\cellx9242\\pard\\plain \\ltrpar\\ql \\intbl "
        "\\f31506\\fs22 {\\insrsid123 A}{\\insrsid123 \\cell }{\\insrsid123 B\\cell }\\pard\\plain \\ltrpar\\intbl"
        "{\\insrsid123 \\trowd \\irow0\\trgaph108 \\cellx4567\\cellx9242\\row }\\pard\\plain \\ltrpar\\ql "
        "\\f31506\\fs22 {\\insrsid123 \\par }}");
    QCOMPARE(describe(doc.get()),
             QStringLiteral("{sa11 lh1:108}<Calibri 11>Hello <Calibri 11 b fg#c00000>world\n"
                            "{list-1/1 sa11 lh1:108}<Calibri 11>item\n"
                            "table 1x2\n cell 0,0\n  {}<Calibri 11>A\n cell 0,1\n  {}<Calibri 11>B\nend table\n{}"));
}

void TestRtf::characterFormats()
{
    const auto doc = load(
        "{\\rtf1\\deff0{\\fonttbl{\\f0 Arial;}{\\f1 Georgia;}}{\\colortbl;\\red0\\green128\\blue0;\\red255\\green255\\blue0;}"
        "\\b b\\b0\\i i\\i0\\ul u\\ul0\\uldb d\\ulnone\\ulwave w\\ul0\\strike s\\strike0\\striked1 t\\striked0 "
        "\\cf1 g\\cf0\\cb2 y\\cb0\\highlight2 h\\highlight0\\chcbpat2 c\\chcbpat0\\fs17 x\\fs24\\f1 f\\f0 "
        "\\super p\\nosupersub\\sub q\\sub0 r{\\b\\i\\ul z\\plain n}}");
    QCOMPARE(describe(doc.get()),
             QStringLiteral("{}<Arial 12 b>b<Arial 12 i>i<Arial 12 u>udw<Arial 12 s>st<Arial 12 fg#008000>g"
                            "<Arial 12 bg#ffff00>yhc<Arial 8.5>x<Georgia 12>f<Arial 12 super>p<Arial 12 sub>q"
                            "<Arial 12>r<Arial 12 b i u>z<Arial 12>n"));
}

void TestRtf::paragraphs()
{
    const auto doc = load(
        "{\\rtf1\\deff0{\\fonttbl{\\f0 Arial;}}\\qc centre\\par\\pard\\qr right\\par\\pard\\qj\\li720\\ri360\\fi-180 just\\par"
        "\\pard\\sb240\\sa120\\sl360\\slmult1 spaced\\par\\pard\\sl-300 exact\\par\\pard\\sl300\\slmult0 least\\par"
        "\\pard\\tx720\\tqr\\tx2880\\tqc\\tx4320 a\\tab b\\line c\\par\\pard\\ql one\\page two\\sect three\\par\\page"
        "\\pard kept\\par}");
    QCOMPARE(describe(doc.get()),
             QStringLiteral("{center}<Arial 12>centre\n"
                            "{right}<Arial 12>right\n"
                            "{justify li48 fi-12 ri24}<Arial 12>just\n"
                            "{sb16 sa8 lh1:150}<Arial 12>spaced\n"
                            "{lh2:20}<Arial 12>exact\n"
                            "{lh3:20}<Arial 12>least\n"
                            "{tab48:0 tab192:1 tab288:2}<Arial 12>a\tb\u2028c\n"
                            "{}<Arial 12>one\n{page1}<Arial 12>two\n{page1}<Arial 12>three\n{page1}<Arial 12>kept"));
    // A paragraph's properties are scoped to groups, as pandoc writes them.
    QCOMPARE(describe(load("{\\rtf1{\\pard\\qc a\\par}{\\pard b\\par}}").get()), QStringLiteral("{center}<Times New Roman 12>a\n{}<Times New Roman 12>b"));
    // A last paragraph without \\par keeps its format.
    QCOMPARE(describe(load("{\\rtf1\\qc\\li720 last}").get()), QStringLiteral("{center li48}<Times New Roman 12>last"));
    // Numbers past what a keyword can mean read as the nearest that it can.
    QCOMPARE(describe(load("{\\rtf1\\li99999999999999999999\\ri-99999\\fi-99999\\sb-5\\sa99999\\sl-99999\\tx99999 x\\par}").get()),
             QStringLiteral("{li2112 fi-2112 ri-2112 sa2112 lh2:2112 tab2112:0}<Times New Roman 12>x"));
}

void TestRtf::lists()
{
    // RichEdit's bullets and numbers.
    const auto pn = load(
        "{\\rtf1{\\fonttbl{\\f0 A;}{\\f1\\fcharset2 Symbol;}}"
        "\\pard{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'B7}}\\fi-360\\li720 one\\par"
        "{\\pntext\\f1\\'B7\\tab}two\\par"
        "\\pard{\\pntext 1.\\tab}{\\*\\pn\\pnlvlbody\\pnindent0\\pnstart1\\pndec{\\pntxta.}}\\fi-360\\li1440 n1\\par"
        "\\pard{\\pntext a)\\tab}{\\*\\pn\\pnlvlbody\\pnlcltr{\\pntxta)}}\\li720 la\\par"
        "\\pard{\\*\\pn\\pnlvlbody\\pnucrm}\\li720 UR\\par\\pard after\\par}");
    QCOMPARE(plainText(pn.get()), QStringLiteral("one\ntwo\nn1\nla\nUR\nafter"));
    QTextBlock b = pn->begin();
    QCOMPARE(b.textList()->format().style(), QTextListFormat::ListDisc);
    QCOMPARE(b.textList(), b.next().textList());
    b = b.next().next();
    QCOMPARE(b.textList()->format().style(), QTextListFormat::ListDecimal);
    QCOMPARE(b.textList()->format().indent(), 2);
    QCOMPARE(b.next().textList()->format().style(), QTextListFormat::ListLowerAlpha);
    QCOMPARE(b.next().next().textList()->format().style(), QTextListFormat::ListUpperRoman);
    QVERIFY(!pn->lastBlock().textList());
    // Indented past any page: the deepest level.
    QCOMPARE(load("{\\rtf1{\\*\\pn\\pnlvlbody\\pndec}\\li999999999999999999999999 x\\par}")->begin().textList()->format().indent(), 9);

    // Word's list tables; an unknown \ls is not a list.
    const auto word = load(
        "{\\rtf1{\\*\\listtable{\\list\\listtemplateid1{\\listlevel\\levelnfc23{\\leveltext\\'01\\u8226 ?;}}"
        "{\\listlevel\\levelnfc4{\\leveltext\\'02\\'01);}}\\listid7}"
        "{\\list{\\listlevel\\levelnfc0{\\leveltext\\'02\\'00.;}}\\listid8}}"
        "{\\*\\listoverridetable{\\listoverride\\listid7\\listoverridecount0\\ls1}{\\listoverride\\listid8\\ls2}}"
        "\\pard\\ls1{\\listtext\\'95\\tab}b1\\par\\pard\\ls1\\ilvl1{\\listtext a)\\tab}sub\\par"
        "\\pard\\ls2 d1\\par\\pard\\ls1 b2\\par\\pard\\ls99 plain\\par}");
    QCOMPARE(plainText(word.get()), QStringLiteral("b1\nsub\nd1\nb2\nplain"));
    b = word->begin();
    QCOMPARE(b.textList()->format().style(), QTextListFormat::ListDisc);
    QCOMPARE(b.next().textList()->format().style(), QTextListFormat::ListLowerAlpha);
    QCOMPARE(b.next().textList()->format().indent(), 2);
    QCOMPARE(b.next().next().textList()->format().style(), QTextListFormat::ListDecimal);
    QCOMPARE(b.next().next().next().textList(), b.textList());  // the numbering continues
    QVERIFY(!word->lastBlock().textList());

    // A list the file restarts (another override of the same list) is a
    // list of its own, and stays one when written.
    auto restarted = load("{\\rtf1{\\*\\listtable{\\list{\\listlevel\\levelnfc0{\\leveltext\\'02\\'00.;}}\\listid8}}"
                          "{\\*\\listoverridetable{\\listoverride\\listid8\\ls1}{\\listoverride\\listid8\\ls2}}"
                          "\\pard\\ls1 a\\par\\pard\\ls1 b\\par\\pard\\ls2 c\\par\\pard\\ls2 d\\par}");
    for (int round = 0; round < 2; ++round) {
        b = restarted->begin();
        QCOMPARE(b.textList(), b.next().textList());
        QVERIFY(b.next().next().textList() != b.textList());
        QCOMPARE(b.next().next().textList()->itemNumber(b.next().next()), 0);
        const QByteArray out = rtf::write(restarted.get());
        QVERIFY(out.contains("\\ls1\\ilvl0") && out.contains("\\ls2\\ilvl0") && out.contains("{\\*\\listoverridetable"));
        restarted = load(out);
    }

    // Numbers a list starts at, which Qt cannot show, are kept; an item
    // restarts the levels below it; a style after \\ilvl keeps the level;
    // the levels of one list are written as one; RichEdit's indented list is
    // one level.
    const QByteArray starts = "{\\rtf1{\\stylesheet{\\s8 Body;}}{\\*\\listtable{\\list{\\listlevel\\levelnfc0\\levelstartat3}"
        "{\\listlevel\\levelnfc4}\\listid8}}{\\*\\listoverridetable{\\listoverride\\listid8\\ls1}"
        "{\\listoverride\\listid8\\listoverridecount1{\\lfolevel\\listoverridestartat\\levelstartat7}\\ls2}}"
        "\\pard\\ls1 a\\par\\pard\\ilvl1\\s8\\ls1 x\\par\\pard\\ls1 b\\par\\pard\\ls1\\ilvl1 y\\par\\pard\\ls2 c\\par"
        "\\pard{\\*\\pn\\pnlvlbody\\pndec\\pnstart4}\\li1134 p\\par\\pard{\\*\\pn\\pnlvlbody\\pndec\\pnstart1}\\li1134 q\\par}";
    auto numbered = load(starts);
    for (int round = 0; round < 2; ++round) {
        QVector<QTextList *> l;
        for (b = numbered->begin(); b.isValid(); b = b.next())
            l.append(b.textList());
        QCOMPARE(l.size(), 7);
        QCOMPARE(l[2], l[0]);
        QCOMPARE(l[1]->format().indent(), 2);
        QVERIFY(l[3] != l[1]);
        QCOMPARE(l[0]->format().intProperty(rtf::ListStart), 3);
        QCOMPARE(l[4]->format().intProperty(rtf::ListStart), 7);
        QCOMPARE(l[5]->format().intProperty(rtf::ListStart), 4);
        QVERIFY(l[6] != l[5]);
        const QByteArray out = rtf::write(numbered.get());
        QVERIFY2(out.contains("\\levelnfc0\\levelstartat3\\levelfollow0{\\leveltext\\'02\\'00.;}{\\levelnumbers\\'01;}\\fi-360\\li720}"
                              "\r\n{\\listlevel\\levelnfc4\\levelstartat1"),
                 out.constData());
        QVERIFY(out.contains("x\\par") && out.indexOf("\\ls1\\ilvl1") < out.indexOf("x\\par"));
        QVERIFY(out.contains("{\\pntext\\f0 4.\\tab}{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart4\\pndec{\\pntxta.}}\\ls3\\ilvl0"));
        numbered = load(out);
    }
}

void TestRtf::pictures()
{
    const QImage img = randomImage(6, 4, 7);
    const QByteArray png = hex(encoded(img, "PNG"));
    auto firstImage = [](const QTextDocument *doc) {
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it)
                if (it.fragment().charFormat().isImageFormat())
                    return it.fragment().charFormat().toImageFormat();
        return QTextImageFormat();
    };
    auto imageOf = [](const QTextDocument *doc, const QTextImageFormat &f) {
        return doc->resource(QTextDocument::ImageResource, QUrl(f.name())).value<QImage>();
    };

    // PNG in hex with goal size and scaling.
    auto doc = load("{\\rtf1 a{\\pict\\pngblip\\picw6\\pich4\\picwgoal1500\\pichgoal600\\picscalex50 " + png + "}b}");
    QTextImageFormat f = firstImage(doc.get());
    QCOMPARE(plainText(doc.get()), QStringLiteral("a\ufffcb"));
    QCOMPARE(imageOf(doc.get(), f).convertToFormat(QImage::Format_RGB32), img);
    QCOMPARE(f.width(), 50.0);
    QCOMPARE(f.height(), 40.0);

    // Binary data, JPEG (original bytes kept), a DIB and a device-dependent bitmap.
    const QByteArray pngBytes = encoded(img, "PNG");
    doc = load("{\\rtf1{\\pict\\pngblip\\bin" + QByteArray::number(pngBytes.size()) + " " + pngBytes + "}}");
    QCOMPARE(imageOf(doc.get(), firstImage(doc.get())).convertToFormat(QImage::Format_RGB32), img);
    const QByteArray jpeg = encoded(randomImage(16, 16, 3), "JPEG");
    doc = load("{\\rtf1{\\pict\\jpegblip " + hex(jpeg) + "}}");
    f = firstImage(doc.get());
    QCOMPARE(imageOf(doc.get(), f).size(), QSize(16, 16));
    QCOMPARE(doc->resource(QTextDocument::UserResource, rtf::jpegSourceUrl(f.name())).toByteArray(), jpeg);
    const QByteArray bmp = encoded(img, "BMP");
    doc = load("{\\rtf1{\\pict\\dibitmap0 " + hex(bmp.mid(14)) + "}}");
    QCOMPARE(imageOf(doc.get(), firstImage(doc.get())).convertToFormat(QImage::Format_RGB32), img);
    doc = load("{\\rtf1{\\pict\\wbitmap0\\picw2\\pich2\\wbmbitspixel24\\wbmwidthbytes6 "
               "0000ff00ff00ffffffff0000}}");
    const QImage ddb = imageOf(doc.get(), firstImage(doc.get()));
    QCOMPARE(ddb.pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(ddb.pixel(1, 0), qRgb(0, 255, 0));
    QCOMPARE(ddb.pixel(1, 1), qRgb(0, 0, 255));

    // Metafiles show the alternative picture when there is one, else a box of the declared size.
    doc = load("{\\rtf1{\\*\\shppict{\\pict\\emfblip\\picwgoal300\\pichgoal150 0102}}"
               "{\\nonshppict{\\pict\\pngblip " + png + "}}x}");
    QCOMPARE(plainText(doc.get()), QStringLiteral("\ufffcx"));
    QCOMPARE(imageOf(doc.get(), firstImage(doc.get())).convertToFormat(QImage::Format_RGB32), img);
    doc = load("{\\rtf1{\\*\\shppict{\\pict\\pngblip " + png + "}}{\\nonshppict{\\pict\\wmetafile8 0102}}x}");
    QCOMPARE(plainText(doc.get()), QStringLiteral("\ufffcx"));
    doc = load("{\\rtf1 a{\\pict\\wmetafile8\\picwgoal300\\pichgoal150 0102}b\\par}");
    QCOMPARE(plainText(doc.get()), QStringLiteral("a\ufffcb"));
    f = firstImage(doc.get());
    QCOMPARE(f.width(), 20.0);
    QCOMPARE(f.height(), 10.0);
    QVERIFY(!imageOf(doc.get(), f).isNull());

    // Junk data and absurd sizes give a box, never a huge allocation.
    doc = load("{\\rtf1{\\pict\\pngblip\\picwgoal150\\pichgoal150 0123456789abcdef}z}");
    QCOMPARE(plainText(doc.get()), QStringLiteral("\ufffcz"));
    QByteArray huge = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452") + QByteArray::fromHex("0000753000007530")
        + QByteArray::fromHex("0806000000") + QByteArray(64, '\0');
    doc = load("{\\rtf1{\\pict\\pngblip " + hex(huge) + "}}");
    QCOMPARE(plainText(doc.get()), QStringLiteral("\ufffc"));
    QVERIFY(imageOf(doc.get(), firstImage(doc.get())).width() < 1000);
    doc = load("{\\rtf1{\\pict\\wbitmap0\\picw30000\\pich30000\\wbmbitspixel32 00}}");
    QVERIFY(imageOf(doc.get(), firstImage(doc.get())).width() < 1000);
}

void TestRtf::fieldsAndObjects()
{
    const auto doc = load(
        "{\\rtf1 see {\\field{\\*\\fldinst{HYPERLINK \"https://example.org/a b\" \\\\o \"tip\"}}"
        "{\\fldrslt{\\ul\\cf1 the site}}} and {\\field{\\*\\fldinst HYPERLINK \\\\l \"top\"}{\\fldrslt up}}"
        "{\\field{\\*\\fldinst PAGE}{\\fldrslt 3}}"
        "{\\object\\objemb{\\*\\objclass Paint}{\\*\\objdata 0105000002000000}{\\result shown}}"
        "{\\object{\\*\\objdata 01050000ffffffff}} end}");
    QCOMPARE(plainText(doc.get()), QStringLiteral("see the site and up3shown end"));
    const QString d = describe(doc.get());
    QVERIFY2(d.contains(QStringLiteral("u href=https://example.org/a b>the site<")), qPrintable(d));
    QVERIFY2(d.contains(QStringLiteral("href=#top>up<")), qPrintable(d));
    QVERIFY2(!d.contains(QStringLiteral("href=#top>up3")), qPrintable(d));
}

void TestRtf::tables()
{
    const auto doc = load(
        "{\\rtf1 before\\par\\trowd\\cellx1000\\cellx2000\\pard\\intbl a1\\cell\\b b1\\b0\\par two\\cell\\row"
        "\\trowd\\cellx1000\\cellx2000\\cellx3000\\intbl a2\\cell\\cell c2\\cell\\row\\pard after\\par}");
    QCOMPARE(describe(doc.get()),
             QStringLiteral("{}<D>before\ntable 2x3\n cell 0,0\n  {}<D>a1\n cell 0,1\n  {}<D b>b1\n  {}<D>two\n"
                            " cell 0,2 past its row\n  {}\n cell 1,0\n  {}<D>a2\n cell 1,1\n  {}\n cell 1,2\n  {}<D>c2\nend table\n"
                            "{}<D>after")
                 .replace(QStringLiteral("<D"), QStringLiteral("<Times New Roman 12")));
    // A table in a cell is a table in the cell, and is written back so; one
    // nested deeper than four goes into the fourth.
    const auto nested = load("{\\rtf1\\trowd\\cellx1000\\pard\\intbl\\itap2 in\\nestcell two\\nestcell{\\*\\nesttableprops"
                             "\\trowd\\cellx500\\cellx900\\nestrow}{\\nonesttables\\par}\\itap1 out\\cell\\row}");
    QCOMPARE(describe(nested.get()),
             QStringLiteral("{}\ntable 1x1\n cell 0,0\n  {}\n  table 1x2\n   cell 0,0\n    {}<D>in\n   cell 0,1\n"
                            "    {}<D>two\n  end table\n  {}<D>out\nend table\n{}")
                 .replace(QStringLiteral("<D"), QStringLiteral("<Times New Roman 12")));
    const auto deep = load("{\\rtf1\\pard\\intbl\\itap9 x\\nestcell\\nestrow\\itap3 y\\nestcell\\nestrow}");
    QCOMPARE(describe(deep.get()).count(QStringLiteral("table 1x1")), 4);
    QCOMPARE(plainText(deep.get()), QStringLiteral("\n\n\n\nx\ny\n\n\n"));
    // A \cell with no table anywhere parts its text with a tab; a row of
    // 100,000 \cellx is capped.
    QCOMPARE(plainText(load("{\\rtf1 x\\cell y\\cell\\row}").get()), QStringLiteral("x\ty\t"));
    QByteArray wide = "{\\rtf1\\trowd";
    for (int i = 1; i <= 100000; ++i)
        wide += "\\cellx" + QByteArray::number(i * 10);
    wide += "\\intbl ";
    for (int i = 0; i < 100; ++i)
        wide += "c\\cell ";
    wide += "\\row}";
    const auto w = load(wide);
    QTextTable *table = qobject_cast<QTextTable *>(w->rootFrame()->childFrames().value(0));
    QVERIFY(table);
    QVERIFY(table->columns() <= 64);
    QCOMPARE(w->toPlainText().count(u'c'), 100);
}

// ---- the writer --------------------------------------------------------------

void TestRtf::writerOutput()
{
    QTextDocument doc;
    doc.setDefaultFont(QFont(QStringLiteral("Segoe UI"), 10));
    QTextCursor c(&doc);
    c.insertText(QString::fromUtf16(u"caf\u00e9 \u20ac \u0416 \U0001F600 {braces} back\\slash\ttab"));
    QTextCharFormat link;
    link.setAnchor(true);
    link.setAnchorHref(QStringLiteral("https://example.org/?q=\"x\""));
    c.insertText(QStringLiteral(" link"), link);
    QTextBlockFormat plain;
    c.insertBlock(plain, QTextCharFormat());
    c.insertText(QString(3000, u'w').replace(QStringLiteral("ww"), QStringLiteral("w ")));
    c.insertBlock(plain);
    c.createList(QTextListFormat::ListDisc);
    c.insertText(QStringLiteral("bullet"));
    const QByteArray out = rtf::write(&doc);

    QVERIFY(out.startsWith("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033"));
    QVERIFY(out.contains("{\\fonttbl{\\f0\\fnil\\fcharset0 Segoe UI;}"));
    QVERIFY(out.contains("{\\colortbl ;"));
    QVERIFY(out.contains("\\viewkind4\\uc1"));
    QVERIFY(out.contains("caf\\'e9 \\'80 \\u1046?"));
    QVERIFY(out.contains("\\u-10179?\\u-8704?"));
    QVERIFY(out.contains("\\{braces\\} back\\\\slash\\tab tab"));
    QVERIFY(out.contains("{\\field{\\*\\fldinst{HYPERLINK \"https://example.org/?q=%22x%22\"}}{\\fldrslt{"));
    QVERIFY(out.contains("{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'B7}}\\ls1\\ilvl0\\fi-360\\li720"));
    QVERIFY(out.contains("{\\f1\\fnil\\fcharset2 Symbol;}"));
    QVERIFY(out.contains("\\fs20"));  // the default font's size, resolved
    for (char ch : out)
        QVERIFY(uchar(ch) < 0x80);
    for (const QByteArray &line : out.split('\n'))
        QVERIFY2(line.size() < 300, line.left(80).constData());

    const auto back = load(out);
    QCOMPARE(plainText(back.get()), plainText(&doc));
    QCOMPARE(describe(back.get()), describe(&doc));

    // Qt's family aliases are written as the face they stand for.
    for (const auto &[alias, word] : {std::pair{"Sans Serif", "\\fswiss"}, {"Serif", "\\froman"}, {"Monospace", "\\fmodern"}}) {
        QTextDocument aliased;
        aliased.setDefaultFont(QFont(QLatin1String(alias), 10));
        QTextCursor(&aliased).insertText(QStringLiteral("x"));
        const QByteArray table = rtf::write(&aliased).split('\n').value(1);
        QVERIFY2(!table.contains(QByteArray("charset0 ") + alias + ';') && table.contains(word), table.constData());
    }
}

void TestRtf::roundTripByHand()
{
    // A document as the editor builds one: default formats, a picture
    // resource of its own naming, JPEG source bytes, a table, lists.
    QTextDocument doc;
    doc.setDefaultFont(QFont(QStringLiteral("MS Sans Serif"), 9));
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("Title"));
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    c.insertText(QStringLiteral(" bold"), bold);
    c.insertBlock();
    const QImage img = randomImage(10, 7, 11);
    doc.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("tarbel-image:1")), img);
    QTextImageFormat pic;
    pic.setName(QStringLiteral("tarbel-image:1"));
    c.insertImage(pic);
    const QByteArray jpeg = encoded(randomImage(8, 8, 5), "JPEG");
    doc.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("tarbel-image:2")), QImage::fromData(jpeg));
    doc.addResource(QTextDocument::UserResource, rtf::jpegSourceUrl(QStringLiteral("tarbel-image:2")), jpeg);
    pic.setName(QStringLiteral("tarbel-image:2"));
    pic.setWidth(40);
    pic.setHeight(40);
    c.insertImage(pic);
    c.insertBlock();
    c.insertTable(2, 2);
    c.insertText(QStringLiteral("r0c0"));
    c.movePosition(QTextCursor::NextCell);
    c.insertText(QStringLiteral("r0c1"));
    c.movePosition(QTextCursor::NextCell);
    c.movePosition(QTextCursor::NextCell);
    c.insertText(QStringLiteral("r1c1"));
    c.movePosition(QTextCursor::End);
    c.insertText(QStringLiteral("after"));
    c.insertBlock();
    c.createList(QTextListFormat::ListDecimal);
    c.insertText(QStringLiteral("one"));
    c.insertBlock();
    c.insertText(QStringLiteral("two"));
    c.insertBlock(QTextBlockFormat());
    c.createList(QTextListFormat::ListUpperRoman);

    const QByteArray out = rtf::write(&doc);
    QVERIFY(out.contains("\\jpegblip"));
    QVERIFY(out.contains("\\pngblip\\picw10\\pich7\\picwgoal150\\pichgoal105"));
    QVERIFY(out.contains("{\\pntext\\f0 2.\\tab}"));
    const auto back = load(out, doc.defaultFont());
    QCOMPARE(describe(back.get()), describe(&doc));
    QCOMPARE(rtf::write(back.get()), out);
}

void TestRtf::roundTripRandom()
{
    QRandomGenerator rng(20261207);
    for (int round = 0; round < 60; ++round) {
        const auto original = randomDocument(rng, false);
        const QTextDocument &doc = *original;
        const QByteArray out = rtf::write(&doc);
        const auto back = load(out, doc.defaultFont());
        const QString expected = describe(&doc), actual = describe(back.get());
        if (expected != actual) {
            const QStringList e = expected.split(u'\n'), a = actual.split(u'\n');
            for (int i = 0; i < std::max(e.size(), a.size()); ++i)
                if (e.value(i) != a.value(i)) {
                    qWarning().noquote() << "round" << round << "line" << i << "\nexpected" << e.mid(i - 3, 6).join(u'\n')
                                         << "\nactual  " << a.mid(i - 3, 6).join(u'\n');
                    break;
                }
        }
        QCOMPARE(actual, expected);
        QCOMPARE(rtf::write(back.get()), out);
    }
}

// Every file the project has, ours and other programs': what is written of
// what was read reads back as the same document and is written as the same
// bytes again.
void TestRtf::sameBytesOnEverySave_data()
{
    QTest::addColumn<QString>("path");
    QString corpus = qEnvironmentVariable("TARBEL_RTF_CORPUS");
    if (corpus.isEmpty())
        corpus = QStringLiteral(TARBEL_SAMPLES_DIR "/../rtf-corpus");
    const QString data = QStringLiteral(TARBEL_SOURCE_DIR "/tests/rtf-data/");
    for (const QString &folder : {QStringLiteral(TARBEL_SAMPLES_DIR), data + QLatin1String("keep"), data + QLatin1String("hostile"),
                                  data + QLatin1String("regressions"), corpus}) {
        const QDir dir(folder);
        for (const QFileInfo &info : dir.entryInfoList(QDir::Files, QDir::Name)) {
            if (info.fileName() == QLatin1String("README") || info.fileName().startsWith(QLatin1String("LICENSE"))
                || info.suffix() == QLatin1String("md"))
                continue;
            QTest::newRow(qPrintable(dir.dirName() + u'/' + info.fileName())) << info.filePath();
        }
    }
}

void TestRtf::sameBytesOnEverySave()
{
    QFETCH(QString, path);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const auto doc = load(f.readAll());
    const QByteArray first = rtf::write(doc.get());
    // Made a paragraph or table at a time, as the recovery copy is: the same.
    rtf::SlicedWriter sliced(doc.get());
    while (!sliced.step(0)) {
    }
    QVERIFY(sliced.result() == first);
    const QByteArray second = rtf::write(load(first).get());
    if (second != first) {
        const QByteArrayList a = first.split('\n'), b = second.split('\n');
        qsizetype line = 0;
        while (line < a.size() && line < b.size() && a[line] == b[line])
            ++line;
        QFAIL(("line " + QByteArray::number(line) + " of the first save\n" + a.value(line).left(400) + "\nof the second\n"
               + b.value(line).left(400)).constData());
    }
}

// ---- what the document cannot show, kept as read --------------------------------

void TestRtf::keptAsRead_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArrayList>("written");  // in this order

    QTest::newRow("page break") << QByteArray("{\\rtf1 a\\page b\\par\\page\\pard c\\pagebb d\\par\\pard e}") << "a\nb\ncd\ne"
                                << QByteArrayList{"a\\par", "\\pagebb b\\par", "\\pagebb cd\\par", "\\pard e"};
    QTest::newRow("page break before a table") << QByteArray("{\\rtf1 a\\par\\sect\\sectd\\trowd\\cellx100\\intbl b\\cell\\row c}")
                                               << "a\nb\nc\n" << QByteArrayList{"a\\sect\\sectd\r\n\\trowd", "\\intbl b\\cell"};
    QTest::newRow("page break after a table") << QByteArray("{\\rtf1\\trowd\\cellx100\\intbl a\\cell\\row\\pard\\sect\\sectd b}")
                                              << "\na\nb" << QByteArrayList{"\\row\r\n\\sect\\sectd", "\\pard b"};
    QTest::newRow("section breaks") << QByteArray("{\\rtf1 a\\sect\\sectd\\sbknone b\\sect\\sectd c\\sect\\sbkcol d}")
                                    << "a\nb\nc\nd"
                                    << QByteArrayList{"a\\sect\\sectd\\sbknone", "\\pard b\\sect\\sectd", "\\pard c\\sect\\sbkcol",
                                                      "\\pard d"};
    QTest::newRow("header, info and settings before the text")
        << QByteArray("{\\rtf1{\\info{\\title T}}{\\*\\generator x;}{\\headerl \\pard H\\par}{\\footerf F}Text}") << "Text"
        << QByteArrayList{"\\fs24\r\n{\\headerl \\pard H\\par}{\\footerf F}\r\n", "{\\info{\\title T}}{\\*\\generator x;}Text\\par"};
    QTest::newRow("footnote and its mark")
        << QByteArray("{\\rtf1 Word{\\super\\chftn}{\\footnote \\pard{\\super\\chftn} Note}. Two{\\super\\chftn}"
                      "{\\footnote\\ftnalt E}\\par}")
        << "Word1. Two2" << QByteArrayList{"Word\\super \\chftn {\\footnote \\pard{\\super\\chftn} Note}\\nosupersub . Two",
                                           "\\chftn {\\footnote\\ftnalt E}"};
    QTest::newRow("footnote numbering and marks of its own")
        << QByteArray("{\\rtf1\\ftnstart3\\ftnrstpg\\aftnnrlc a{\\super\\chftn}{\\footnote x}b\\chftn{\\footnote y}"
                      " c{\\super *}{\\footnote {\\super *} z}\\sect\\sectd\\sftnrstpg\\ftnbj d}")
        << "a3b4 c*\nd" << QByteArrayList{"\\ftnstart3\\ftnrstpg\\aftnnrlc\r\n\\viewkind4",
                                          "a\\super \\chftn {\\footnote x}\\nosupersub b\\chftn {\\footnote y}",
                                          "\\super *{\\footnote {\\super *} z}", "\\sect\\sectd\\sftnrstpg\\ftnbj"};
    QTest::newRow("bookmarks after text, group after a format word")
        << QByteArray("{\\rtf1 ab{\\*\\bkmkstart m}{\\*\\bkmkend m}\\par{\\b x\\comment c}y}") << "ab\nxy"
        << QByteArrayList{"ab{\\*\\bkmkstart m}{\\*\\bkmkend m}\\par", "x{\\comment c}", "y"};
    QTest::newRow("in an empty paragraph, hidden text too, before a picture")
        << QByteArray("{\\rtf1 a\\par{\\*\\x 1}\\par{\\v h}\\par{\\*\\y 2}{\\pict\\pngblip\\picw1\\pich1 00}b}")
        << QString::fromUtf16(u"a\n\n\n\uFFFCb") << QByteArrayList{"a\\par", "\\pard {\\*\\x 1}\\par", "\\pard {\\plain\\v h}\\par", "{\\*\\y 2}{\\pict"};
    QTest::newRow("what a paragraph holds, whatever ends it")
        << QByteArray("{\\rtf1{\\shp{\\*\\shpinst A}}\\page{\\v h}\\sect\\sectd a\\column{\\*\\x}\\column\\trowd\\cellx9\\intbl"
                      "{\\shp{\\*\\shpinst C}}\\cell\\row\\pard{\\shp{\\*\\shpinst D}}}")
        << "\n\na\n\n\n"
        << QByteArrayList{"\\pard {\\shp{\\*\\shpinst A}}\\par", "\\pard\\pagebb {\\plain\\v h}\\sect\\sectd", "\\pard a\\column",
                          "\\pard {\\*\\x}\\column", "\\intbl {\\shp{\\*\\shpinst C}}\\cell", "\\row", "\\pard {\\shp{\\*\\shpinst D}}\\par"};
    QTest::newRow("hidden text, with its own formatting") << QByteArray("{\\rtf1 a{\\v h\\{\\u20013?\\tab}b{\\fs20\\v k}{\\b c}\\par}") << "abc"
                                 << QByteArrayList{"a{\\v h\\{\\u20013?\\tab }b{\\plain\\v\\fs20 k}\\b c\\b0 \\par"};
    QTest::newRow("in the last paragraph") << QByteArray("{\\rtf1 a\\par{\\*\\x 1}\\par}") << "a\n"
                                           << QByteArrayList{"a\\par", "\\pard {\\*\\x 1}\\par"};
    QTest::newRow("after a drawing object") << QByteArray("{\\rtf1{\\shp{\\shprslt s}}{\\*\\x 1}\\par}") << "s"
                                            << QByteArrayList{"{\\shp{\\shprslt s}}{\\*\\x 1}\\par"};
    QTest::newRow("nothing but kept") << QByteArray("{\\rtf1{\\header h}{\\*\\x}}") << QString()
                                      << QByteArrayList{"{\\header h}\r\n\\pard {\\*\\x}}"};
    QTest::newRow("cut off, braces made good") << QByteArray("{\\rtf1 a{\\*\\x {b") << "a" << QByteArrayList{"a{\\*\\x {b}}"};
    QTest::newRow("fonts, colours, code page and default font the kept groups refer to")
        << QByteArray("{\\rtf1\\ansi\\ansicpg1251\\deff5{\\fonttbl{\\f0\\fswiss Arial;}{\\f3\\fcharset2 Symbol;}{\\f5 Georgia;}}"
                      "{\\colortbl;;\\red255\\green0\\blue0;}{\\header \\f3\\cf2 \\'cf}Text \\'e0}")
        << QString::fromUtf16(u"Text \u0430")
        << QByteArrayList{"\\ansicpg1251\\deff5", "{\\f0\\fswiss\\fcharset0 Arial;}{\\f3\\fnil\\fcharset2 Symbol;}{\\f5\\fnil\\fcharset0 Georgia;}",
                          "{\\colortbl ;;\\red255\\green0\\blue0;", "\\plain\\f5\\fs24", "{\\header \\f3\\cf2 \\'cf}", "Text \\u1072?"};
    QTest::newRow("fields keep their instruction")
        << QByteArray("{\\rtf1 Page {\\field{\\*\\fldinst { PAGE }}{\\fldrslt {\\b 3}}} of{\\field{\\*\\fldinst SYMBOL 183}{\\fldrslt }}"
                      " {\\field{\\*\\fldinst REF m}{\\fldrslt a}{\\fldrslt b}} x\\par}")
        << "Page 3 of ab x"
        << QByteArrayList{"Page {\\field{\\*\\fldinst { PAGE }}{\\fldrslt \\b 3}} of{\\field{\\*\\fldinst SYMBOL 183}{\\fldrslt }}",
                          " {\\field{\\*\\fldinst REF m}{\\fldrslt ab}} x\\par"};
    QTest::newRow("character styles add to the formatting")
        << QByteArray("{\\rtf1{\\stylesheet{\\s3\\i Body;}{\\*\\cs5\\ul\\sbasedon6 Link;}{\\*\\cs6\\cf1 Base;}}"
                      "{\\colortbl;\\red0\\green0\\blue255;}\\b x{\\cs3 y}{\\cs5 z}\\par}")
        << "xyz" << QByteArrayList{"{\\*\\cs5\\ul\\sbasedon6 Link;}", "\\b xy\\cs5\\fs24\\b\\i0\\ul\\strike0\\cf1", " z\\plain\\b \\par"};
    QTest::newRow("languages of the text")
        << QByteArray("{\\rtf1\\deflang1036\\deflangfe2052 a{\\lang1033\\noproof b}{\\langfe1041 c}{\\lang1036 d}"
                      "{\\field{\\*\\fldinst DATE \\\\@ \"d MMMM yyyy\"}{\\fldrslt\\lang1036 8 d\\'e9cembre}}\\par}")
        << QString::fromUtf16(u"abcd8 d\u00e9cembre")
        << QByteArrayList{"\\deflang1036\\deflangfe2052", "\\pard a\\lang1033\\noproof b\\lang1036\\langfe1041\\noproof0 c\\langfe2052 d",
                          "{\\fldrslt 8 d\\'e9cembre}}"};
    QTest::newRow("paragraph styles, where what is written overrides them")
        << QByteArray("{\\rtf1{\\stylesheet{\\s1\\b\\sb240\\sbasedon2 heading 1;}{\\s2\\qc Base;}{\\s3\\tx720 Tabbed;}}"
                      "\\pard\\s1 H\\par\\pard n\\par\\pard\\s1\\b0 x\\par\\pard\\s1\\sb0 y\\par\\pard\\s3 t\\par\\pard\\qr\\li360\\s1 r\\par}")
        << "H\nn\nx\ny\nt\nr"
        << QByteArrayList{"}\r\n{\\stylesheet{\\s1\\b\\sb240\\sbasedon2 heading 1;}{\\s2\\qc Base;}{\\s3\\tx720 Tabbed;}}\r\n",
                          "\\pard\\s1\\plain\\qc\\sb240 \\b H\\par\r\n\\pard n\\par\r\n\\pard\\s1\\qc\\sb240 \\b0 x\\par",
                          "\\pard\\qc \\b y\\par\r\n\\pard\\tx720 \\b0 t\\par", "\\pard\\s1\\plain\\li360\\qr\\sb240 \\b r\\par"};
    QTest::newRow("outline levels, given or from the style")
        << QByteArray("{\\rtf1{\\stylesheet{\\s1\\outlinelevel0\\b heading 1;}}\\pard\\s1 H\\par\\pard\\outlinelevel2 x\\par"
                      "\\pard\\outlinelevel9 y\\par}")
        << "H\nx\ny" << QByteArrayList{"\\pard\\s1\\plain\\outlinelevel0 \\b H\\par", "\\pard\\outlinelevel2 x\\par", "\\pard y\\par"};
    QTest::newRow("backgrounds as they were written")
        << QByteArray("{\\rtf1{\\colortbl;\\red255\\green255\\blue0;}a{\\highlight1 b}{\\cb1 c}{\\chcbpat1 d}{\\cb1\\chcbpat1 e}f}")
        << "abcdef" << QByteArrayList{"a\\highlight1 b\\highlight0\\cb1 c\\cb0\\chcbpat1 de\\chcbpat0 f"};
    QTest::newRow("drawing objects: kept whole, their text shown")
        << QByteArray("{\\rtf1 a{\\shp{\\*\\shpinst{\\sp{\\sn shapeType}{\\sv 202}}{\\shptxt T1\\par}}{\\shprslt{\\*\\do\\dobxcolumn"
                      "{\\dptxbx{\\dptxbxtext\\pard T1\\par T2\\cell}}}}}b\\par{\\shp{\\*\\shpinst{\\sp{\\sn pib}{\\sv{\\pict 00}}}}}c"
                      "{\\*\\do\\dobxpage{\\dptxbx{\\dptxbxtext old}}}d\\par}")
        << QString::fromUtf16(u"aT1\u2028T2\tb\ncoldd")
        << QByteArrayList{"a{\\shp{\\*\\shpinst{\\sp{\\sn shapeType}{\\sv 202}}{\\shptxt T1\\par}}{\\shprslt{\\*\\do\\dobxcolumn"
                          "{\\dptxbx{\\dptxbxtext\\pard T1\\par T2\\cell}}}}}b\\par",
                          "{\\shp{\\*\\shpinst{\\sp{\\sn pib}{\\sv{\\pict 00}}}}}c{\\*\\do\\dobxpage{\\dptxbx{\\dptxbxtext old}}}d"};
    QTest::newRow("page settings of the first section")
        << QByteArray("{\\rtf1\\paperw11906\\paperh16838\\margl1134 \\sectd\\cols2\\linebetcol a\\sect\\sectd\\cols3 b}") << "a\nb"
        << QByteArrayList{"}\r\n\\paperw11906\\paperh16838\\margl1134 \\cols2\\linebetcol\r\n\\viewkind4", "a\\sect\\sectd\\cols3"};
    QTest::newRow("later sections: settings, headers, unknown words")
        << QByteArray("{\\rtf1{\\headerr R1\\par}a\\sect\\sectd\\pghsxn9000\\lndscpsxn\\colno1\\colw99 {\\headerr R2\\par}"
                      "{\\footerf F}\\pgbrdrl\\brdrs\\pard\\pgbrdrx b\\par\\pard c{\\footer X}\\sect\\sectd}")
        << "a\nb\nc\n" << QByteArrayList{"{\\headerr R1\\par}\r\n\\pard a\\sect\\sectd\\pghsxn9000\\lndscpsxn\\colno1\\colw99 "
                                       "{\\headerr R2\\par}{\\footerf F}\\pgbrdrl\\brdrs\\pgbrdrx \r\n\\pard b\\par",
                                       "c{\\footer X}\\sect\\sectd\r\n\\pard \\par"};
    QTest::newRow("sections that start with a table or at a row")
        << QByteArray("{\\rtf1 a\\sect\\sectd\\sbknone{\\header\\trowd\\cellx9\\intbl H\\cell\\row}\\trowd\\cellx9\\intbl b\\cell\\row"
                      "\\sect\\sectd{\\footer F}\\trowd\\cellx9\\intbl c\\cell\\row}")
        << "a\nb\nc\n" << QByteArrayList{"a\\sect\\sectd\\sbknone{\\header\\trowd\\cellx9\\intbl H\\cell\\row}\r\n\\trowd",
                                         "\\row\r\n\\sect\\sectd{\\footer F}\r\n\\trowd", "\\intbl c\\cell"};
    const QByteArray pib = "{\\shp{\\*\\shpinst{\\sp{\\sn fillColor}{\\sv 255}}{\\sp{\\sn pib}{\\sv{\\pict\\pngblip "
        + hex(encoded(randomImage(2, 2, 1), "PNG")) + "}}}}";
    QTest::newRow("picture of a shape, shown once") << "{\\rtf1 a" + pib + "}b" + pib + "{\\shprslt{\\pict\\pngblip "
            + hex(encoded(randomImage(3, 3, 1), "PNG")) + "}}}c}"
        << QString::fromUtf16(u"a\uFFFCb\uFFFCc") << QByteArrayList{"a" + pib + "}b" + pib, "}}}c"};
    QTest::newRow("a link's text formatted before its field, a field in it too")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\f0 a}{\\field{\\*\\fldinst HYPERLINK \"#t\"}{\\fldrslt{\\b{\\field"
                      "{\\*\\fldinst PAGEREF t}{\\fldrslt 42}}}}}{\\f0 b}\\par}")
        << "a42b" << QByteArrayList{"\\f0 a\\plain\\b {\\field{\\*\\fldinst{HYPERLINK \"#t\"}}{\\fldrslt{{\\field{\\*\\fldinst PAGEREF t}"
                                    "{\\fldrslt 42}}}}}\\f0\\b0 b"};
    QTest::newRow("the font \\loch\\af gives the text, and \\dbch\\af its East Asian characters")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0 Times;}{\\f1 Calibri;}{\\f6\\fnil Mincho;}}\\deff0 \\loch\\af1\\hich\\af0\\dbch\\af0 "
                      "a{\\rtlch\\af0\\ltrch b}{\\dbch\\af6\\rtlch \\ltrch\\dbch\\loch\\f1 \\u26580?c}\\plain\\f1 d\\par}")
        << QString::fromUtf16(u"ab\u67d4cd")
        << QByteArrayList{"\\pard \\f1\\dbch\\af0\\loch ab\\dbch\\af6\\loch \\u26580?c\\plain\\f1 d\\par"};
    QTest::newRow("cells of rows unlike each other: each spans the columns between its edges, its definition kept")
        << QByteArray("{\\rtf1\\trowd\\trleft-108\\clbrdrb\\brdrs\\cellx1000\\cellx3000\\intbl a\\cell b\\cell\\row\\trowd\\trleft-108"
                      "\\cellx2000\\clvertalc\\cellx3000\\cellx4000\\intbl c\\cell d\\cell e\\cell\\row\\trowd\\cellx1000\\intbl f\\cell\\row}")
        << "\na\nb\n\nc\nd\ne\nf\n\n\n\n"
        << QByteArrayList{"\\trowd\\trgaph0\\trleft0\\clbrdrb\\brdrs\\cellx1108\\cellx3108\r\n\\pard\\intbl a\\cell\r\n\\pard\\intbl b\\cell\r\n\\row",
                          "\\trleft0\\cellx2108\\clvertalc\\cellx3108\r\n\\cellx4108\r\n\\pard\\intbl c\\cell",
                          "\\trleft0\\cellx1108\r\n\\pard\\intbl f\\cell\r\n\\row"};
    QTest::newRow("a row defined again after its cells, as \\row finds it; what an empty cell holds stays when it spans more")
        << QByteArray("{\\rtf1\\trowd\\cellx1000\\intbl{\\*\\k}\\cell\\trowd\\cellx1000\\row\\intbl b\\cell c\\cell\\trowd\\cellx400\\cellx1000\\row}")
        << "\n\nb\nc\n" << QByteArrayList{"\\trleft0\\cellx1000\r\n\\pard\\intbl {\\*\\k}\\cell\r\n\\row", "\\trleft0\\cellx400\\cellx1000\r\n\\pard\\intbl b"};
    QTest::newRow("a cell past the last edge its row defines: an edge of its own, as wide as the cell before")
        << QByteArray("{\\rtf1\\trowd\\clbrdrb\\brdrs\\cellx1000\\cellx3000\\intbl a\\cell b\\cell c\\cell\\row"
                      "\\trowd\\cellx1000\\cellx3000\\intbl d\\cell e\\cell\\row}")
        << "\na\nb\nc\nd\ne\n\n"
        << QByteArrayList{"\\cellx1000\\cellx3000\r\n\\cellx5000\r\n\\pard\\intbl a", "\\trleft0\\cellx1000\\cellx3000\r\n\\pard\\intbl d"};
    QTest::newRow("a cell merged into the one before (its edge that one's) adds its text there, takes no column, is written back")
        << QByteArray("{\\rtf1\\trowd\\clmgf\\cellx1000\\clmrg\\cellx1000\\cellx3000\\intbl a\\cell\\cell b\\cell\\row"
                      "\\trowd\\cellx500\\cellx1000\\cellx3000\\intbl c\\cell d\\cell e\\cell\\row"
                      "\\trowd\\clmgf\\cellx3000\\clmrg\\cellx3000\\intbl f\\cell g\\cell\\row}")
        << "\na\nb\nc\nd\ne\nf\ng\n"
        << QByteArrayList{"\\trleft0\\clmgf\\cellx1000\\clmrg\\cellx1000\\cellx3000\r\n\\pard\\intbl a\\cell\r\n\\pard\\intbl\\cell\r\n\\pard\\intbl b\\cell",
                          "\\trleft0\\cellx500\\cellx1000\r\n\\cellx3000\r\n\\pard\\intbl c",
                          "\\trleft0\\clmgf\\cellx3000\\clmrg\\cellx3000\r\n\\pard\\intbl f\\par\r\n\\pard\\intbl g\\cell\r\n\\pard\\intbl\\cell\r\n\\row"};
    QTest::newRow("East Asian font named alone, or after \\dbch named it")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0 Times;}{\\f6\\fcharset128 Gothic;}}\\deff0 \\dbch\\f6 {\\loch\\f6 >}{\\loch\\f0 a}\\plain"
                      "{\\dbch\\f6 A}{\\loch\\f6 B}\\par}")
        << ">aAB" << QByteArrayList{"\\pard \\loch\\f6\\dbch\\f6 >\\loch\\f0 a\\loch\\f6\\dbch\\f6 A\\plain\\loch\\f6 B"};
    QTest::newRow("field result starting with a digit")
        << QByteArray("{\\rtf1 {\\field{\\*\\fldinst MERGEFIELD N}{\\fldrslt 42}}\\par}") << "42" << QByteArrayList{"{\\fldrslt 42}}"};
    QTest::newRow("destinations left unmarked or marked badly")
        << QByteArray("{\\rtf1{*\\generator G;}{\\xmlnstbl {\\xmlns1 u}}{\\bkmkstart m}a\\par}") << "*a"
        << QByteArrayList{"{\\generator G;}{\\xmlnstbl {\\xmlns1 u}}{\\bkmkstart m}"};
    QTest::newRow("utf-8 and mac code pages of the kept groups")
        << QByteArray("{\\rtf1\\mac\\ansicpg10001{\\fonttbl{\\f0\\fcharset128\\cpg65001 U;}}{\\header \\f0 \\'e4\\'b8\\'ad}\\f0 \\'e4\\'b8\\'ad}")
        << QString::fromUtf16(u"\u4e2d") << QByteArrayList{"\\ansicpg10001", "{\\f0\\fnil\\fcharset128\\cpg65001 U;}",
                          "{\\header \\f0 \\'e4\\'b8\\'ad}", "\\u20013?"};
    QTest::newRow("nested cells' text written inside the row's properties")
        << QByteArray("{\\rtf1\\trowd\\cellx900\\intbl\\itap2{\\*\\nesttableprops\\trowd\\cellx500 in\\nestcell\\nestrow}\\itap1 out\\cell\\row}")
        << "\n\nin\nout\n" << QByteArrayList{"\\itap2 in\\nestcell", "\\intbl out\\cell"};
    QTest::newRow("table in a cell, written nested")
        << QByteArray("{\\rtf1\\trowd\\cellx900\\pard\\intbl a\\par\\pard\\intbl\\itap2 in\\nestcell{\\*\\nesttableprops\\trowd"
                      "\\cellx500\\nestrow}{\\nonesttables\\par}\\pard\\intbl out\\cell\\row}")
        << "\na\nin\nout\n"
        << QByteArrayList{"\\intbl a\\par", "\\intbl\\itap2 in\\nestcell", "\\nestrow}{\\nonesttables\\par}",
                          "\\intbl out\\cell", "\\row"};
    const QByteArray fill = "{\\shp{\\*\\shpinst{\\sp{\\sn fillBlip}{\\sv{\\pict\\pngblip "
        + hex(encoded(randomImage(2, 2, 1), "PNG")) + "}}}}}";
    QTest::newRow("picture a shape is filled with") << "{\\rtf1 a" + fill + "b}" << QString::fromUtf16(u"a\uFFFCb")
                                                    << QByteArrayList{"a" + fill + "b"};
    QTest::newRow("text the file gives no font, with no default named; a paragraph \\intbl puts in a table after its text")
        << QByteArray("{\\rtf1{\\fonttbl{\\f1\\fswiss Arial;}}a{\\f1 b}\\trowd\\cellx9\\cellx18\\intbl c\\cell\\row}") << "\nabc\n\n"
        << QByteArrayList{"{\\rtf1\\ansi\\ansicpg1252\\deflang", "{\\fonttbl{\\f1\\fswiss\\fcharset0 Arial;}}", "\\pard\\plain\\fs24\r\n", "\\intbl a\\f1 b\\plain c\\cell"};
    QTest::newRow("page background, shown where it is a colour")
        << QByteArray("{\\rtf1\\paperw9000{\\*\\background{\\shp{\\*\\shpinst{\\sp{\\sn fillColor}{\\sv 255}}{\\sp{\\sn fFilled}{\\sv 1}}}}}a}")
        << "a" << QByteArrayList{"\\paperw9000\r\n{\\*\\background{\\shp{\\*\\shpinst{\\sp{\\sn fillColor}{\\sv 255}}", "}}}}}\r\n\\viewkind4",
                                 "\\pard a\\par"};
    QTest::newRow("page numbers where the file asks for them")
        << QByteArray("{\\rtf1 Page {\\b\\chpgn}\\page Page \\chpgn\\sect\\sectd\\sbknone still \\chpgn}") << "Page 1\nPage 2\nstill 2"
        << QByteArrayList{"Page \\b \\chpgn \\b0 \\par", "Page \\chpgn \\sect", "still \\chpgn \\par"};
    QTest::newRow("broken input, written alike every time")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0 A\tB;}}{\\stylesheet{\\s5\\ls1 Listed;}}{\\stylesheet{\\s6 Again;}}"
                      "\\pard\\s5 a{\\field{\\*\\fldinst X}{\\fldrzlt shown}}{\\field{\\*\\fldinst P}{\\*\\bkmkstart m}{\\fldrslt 3}}"
                      "{ \\*\\y}\\u0?\\'07\\par\\pard{\\*\\pn\\pnlvlblt}b\\par}")
        << QStringLiteral("ashown3 ") + QChar(0) + QChar(7) + QStringLiteral("\nb")
        << QByteArrayList{"{\\f0\\fnil\\fcharset0 AB;}", "\\pard {\\stylesheet{\\s6 Again;}}a", "shown{\\field{\\*\\fldinst P}{\\*\\bkmkstart m}{\\fldrslt 3}}",
                          " {\\*\\y}\\u0?\\u7?\\par", "\\ls1\\ilvl0"};
    QTest::newRow("cut off after a backslash") << QByteArray("{\\rtf1 a{\\*\\x b\\") << "a" << QByteArrayList{"a{\\*\\x b}"};
    QTest::newRow("not kept: list text, nested table twin")
        << QByteArray("{\\rtf1{\\pntext 1.}a{\\nonesttables b}}") << "a" << QByteArrayList{"\\pard a\\par"};
}

void TestRtf::keptAsRead()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QFETCH(QByteArrayList, written);
    const auto doc = load(rtf);
    QCOMPARE(plainText(doc.get()), text);
    const QByteArray out = rtf::write(doc.get());
    qsizetype at = 0;
    for (const QByteArray &piece : written) {
        const qsizetype found = out.indexOf(piece, at);
        QVERIFY2(found >= 0, (piece + " not in order in " + out).constData());
        at = found + piece.size();
    }
    const auto back = load(out);
    QCOMPARE(describe(back.get()), describe(doc.get()));
    QCOMPARE(rtf::write(back.get()), out);
}

void TestRtf::keptThroughEditing()
{
    const auto doc = load("{\\rtf1 one{\\super\\chftn}{\\footnote N} two{\\*\\bkmkstart m} three\\par}");
    QTextCursor c(doc.get());
    c.setPosition(4);  // after the mark
    c.insertText(QStringLiteral("12"));  // takes the mark's format
    QByteArray out = rtf::write(doc.get());
    QCOMPARE(out.count("{\\footnote N}"), 1);
    QVERIFY2(out.contains("one\\super \\chftn {\\footnote N}12\\nosupersub  two{\\*\\bkmkstart m} three"), out.constData());
    // Deleting the text that holds them deletes them.
    c.setPosition(3);
    c.setPosition(6, QTextCursor::KeepAnchor);
    c.removeSelectedText();
    c.setPosition(6);
    c.setPosition(8, QTextCursor::KeepAnchor);
    c.removeSelectedText();
    out = rtf::write(doc.get());
    QVERIFY2(!out.contains("footnote") && !out.contains("chftn") && !out.contains("bkmkstart"), out.constData());
    QVERIFY2(out.contains("one twthree"), out.constData());
    // An edit of a text box's text is written into the object, in both its forms.
    const auto box = load("{\\rtf1 a{\\shp{\\*\\shpinst{\\sp{\\sn shapeType}{\\sv 202}}{\\shptxt \\f0 Old\\par}}"
                          "{\\shprslt{\\*\\do{\\dptxbx{\\dptxbxtext\\pard{\\b Old}\\par}}}}}b\\par}");
    QTextCursor e(box.get());
    e.setPosition(3);
    e.deletePreviousChar();
    e.insertText(QStringLiteral("X"));
    out = rtf::write(box.get());
    QVERIFY2(out.contains("{\\shptxt \\f0 OXd\\par }") && out.contains("{\\dptxbxtext\\pard{\\b OXd\\par }}") && !out.contains("Old"),
             out.constData());
    QCOMPARE(plainText(load(out).get()), QString::fromUtf16(u"aOXd\u2028b"));
    // Each box of a group keeps its own text, through an edit within one and one across two.
    const auto group = load("{\\rtf1 a{\\shpgrp{\\*\\shpinst{\\shp{\\*\\shpinst{\\shptxt One\\par}}}{\\shp{\\*\\shpinst{\\shptxt Two\\par}}}}"
                            "{\\shprslt{\\*\\do\\dpgroup{\\dptxbx{\\dptxbxtext One\\par}}{\\dptxbx{\\dptxbxtext Two\\par}}}}}b\\par}");
    QCOMPARE(plainText(group.get()), QString::fromUtf16(u"aOne\u2028Two\u2028b"));
    QTextCursor g(group.get());
    g.setPosition(5);
    g.insertText(QStringLiteral("Tw"));
    out = rtf::write(group.get());
    QVERIFY2(out.contains("{\\shptxt One\\par }") && out.contains("{\\shptxt TwTwo\\par }") && out.contains("{\\dptxbxtext TwTwo\\par }"),
             out.constData());
    g.setPosition(3);
    g.setPosition(8, QTextCursor::KeepAnchor);
    g.insertText(QStringLiteral("X"));
    out = rtf::write(group.get());
    QVERIFY2(out.contains("{\\shptxt OnX}") && out.contains("{\\shptxt wo\\par }"), out.constData());
    // A section break rides on its first paragraph: splitting that paragraph
    // writes it once, joining it to the paragraph before deletes it.
    const QByteArray sections = "{\\rtf1 a\\sect\\sectd\\cols2{\\header H}bc\\par}";
    rtf::read(sections, doc.get());
    c.setPosition(3);
    c.insertBlock();
    out = rtf::write(doc.get());
    QCOMPARE(out.count("\\sect\\sectd"), 1);
    QVERIFY2(out.contains("a\\sect\\sectd\\cols2{\\header H}\r\n\\pard b\\par"), out.constData());
    rtf::read(sections, doc.get());
    c.setPosition(2);
    c.deletePreviousChar();
    out = rtf::write(doc.get());
    QVERIFY2(!out.contains("\\sect") && !out.contains("header") && out.contains("abc"), out.constData());
    // The date and time where the file asks for them: shown as they are now, written back as asked.
    rtf::read("{\\rtf1 {\\chdate}/{\\chtime}\\par}", doc.get());
    QVERIFY2(doc->toPlainText().size() > 4, qPrintable(doc->toPlainText()));
    QVERIFY2(rtf::write(doc.get()).contains("\\pard \\chdate /\\chtime \\par"), rtf::write(doc.get()).constData());
    // Another file read into the same document leaves nothing of the first.
    rtf::read("{\\rtf1{\\fonttbl{\\f5\\fcharset204 Old;}}\\paperw9999{\\header h}x}", doc.get());
    rtf::read("{\\rtf1 y}", doc.get());
    out = rtf::write(doc.get());
    QVERIFY2(!out.contains("Old") && !out.contains("paperw") && !out.contains("header"), out.constData());
}

// ---- hostile input -------------------------------------------------------------

void TestRtf::hostile_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");  // text the document must hold

    QTest::newRow("million open braces") << "{\\rtf1 start" + QByteArray(1000000, '{') + "deep" << "startdeep";
    QTest::newRow("million closed braces")
        << "{\\rtf1 start" + QByteArray(1000000, '{') + "deep" + QByteArray(1000000, '}') + "}" << "startdeep";
    QTest::newRow("tables nested deep, many times")
        << "{\\rtf1\\pard\\intbl\\itap4 " + QByteArray("x\\nestcell{\\*\\nesttableprops\\nestrow}\\itap2 ").repeated(20000) + "}"
        << "x";
    QTest::newRow("stray closing braces") << QByteArray("{\\rtf1 a{b}}}}c}") << "ab";
    QTest::newRow("ends inside a group") << QByteArray("{\\rtf1 a{\\b b") << "ab";
    QTest::newRow("ends inside a skip") << QByteArray("{\\rtf1 a\\uc5\\u8364xy") << QString::fromUtf16(u"a\u20ac");
    QTest::newRow("ends inside bin") << QByteArray("{\\rtf1 a\\bin100 xy") << "a";
    QTest::newRow("ends inside hex") << QByteArray("{\\rtf1 a\\'4") << "a\x04";
    QTest::newRow("ends after a backslash") << QByteArray("{\\rtf1 a\\") << "a";
    QTest::newRow("huge parameter") << "{\\rtf1 a\\fs" + QByteArray(100000, '9') + " b\\li-99999999999 c\\fs-2147483648 d}"
                                    << "abcd";
    {
        // A font table larger than the room the writer keeps for its header.
        QByteArray fonts = "{\\rtf1{\\fonttbl", text;
        for (int i = 0; i < 3000; ++i) {
            fonts += "{\\f" + QByteArray::number(i) + "\\fswiss Face number " + QByteArray::number(i) + " of many;}";
            text += "{\\f" + QByteArray::number(i) + " w}";
        }
        QTest::newRow("thousands of fonts used") << fonts + "}" + text + " end}" << "wwwwwwwwww";
    }
    QTest::newRow("negative bin") << QByteArray("{\\rtf1 a\\bin-5 b}") << "ab";
    QTest::newRow("bin past the end") << QByteArray("{\\rtf1 a\\bin2147483647 b}") << "a";
    QTest::newRow("uc huge") << QByteArray("{\\rtf1\\uc2147483647 a\\u8364 bcdefghijklmnopqrstuvwxyz}")
                             << QString::fromUtf16(u"a\u20ac");
    QTest::newRow("unicode out of range") << QByteArray("{\\rtf1\\u99999999?\\u-2147483648?}") << QString::fromUtf16(u"\ufffd\ufffd");
    QByteArray fonts = "{\\rtf1{\\fonttbl";
    for (int i = 0; i < 40000; ++i)
        fonts += "{\\f" + QByteArray::number(i) + "\\fcharset0 F" + QByteArray::number(i) + ";}";
    QTest::newRow("40000 fonts") << fonts + "}\\f39999 text}" << "text";
    QTest::newRow("missing references")
        << QByteArray("{\\rtf1\\f77\\cf99\\cb-3\\s12\\cs4\\ls77\\ilvl99\\highlight2147483647 text\\par}") << "text";
    QTest::newRow("sbasedon cycle")
        << QByteArray("{\\rtf1{\\stylesheet{\\s1\\sbasedon2 A;}{\\s2\\sbasedon1 B;}{\\s3\\sbasedon3 C;}}\\s1 x\\s3 y}") << "xy";
    QByteArray cellx = "{\\rtf1\\trowd";
    for (int i = 0; i < 100000; ++i)
        cellx += "\\cellx" + QByteArray::number(i);
    QTest::newRow("100000 cellx") << cellx + "\\intbl a\\cell b\\cell\\row}" << "a\nb";
    QByteArray rows = "{\\rtf1";
    for (int i = 0; i < 60000; ++i)
        rows += "\\trowd\\cellx100\\intbl r\\cell\\row";
    rows += "\\trowd";
    for (int i = 1; i <= 64; ++i)
        rows += "\\cellx" + QByteArray::number(i * 10);
    QTest::newRow("long table, then a wide row") << rows + "\\intbl w\\cell x\\cell\\row}" << "rrrwx";
    QTest::newRow("cell without trowd") << QByteArray("{\\rtf1\\cell\\cell\\row\\row x\\cell}") << "x";
    QTest::newRow("objdata lengths lie")
        << QByteArray("{\\rtf1{\\object{\\*\\objdata 01050000ffffffff0600000050626f7275736800ffffff7f}{\\result r}}}") << "r";
    QByteArray pars = "{\\rtf1 ";
    pars.reserve(5000100);
    for (int i = 0; i < 1000000; ++i)
        pars += "\\par";
    QTest::newRow("million par") << pars + " end}" << "end";
    QByteArray words = "{\\rtf1 ";
    for (int i = 0; i < 200000; ++i)
        words += "\\b\\i\\ul\\cf1 x\\plain ";
    QTest::newRow("format changes") << words + "}" << "xxx";
    QTest::newRow("kept groups between letters") << "{\\rtf1 " + QByteArray("a{\\*\\x}b\\chftn ").repeated(150000) + "}"
                                                 << "ab1ab2ab";
    QTest::newRow("sections") << "{\\rtf1 " + QByteArray("\\sect\\sectd\\cols2{\\header h}\\zz x").repeated(100000) + "}"
                              << "xxx";
    QTest::newRow("fields in fields") << "{\\rtf1 " + QByteArray("{\\field{\\*\\fldinst A}{\\fldrslt r").repeated(100000) << "rrr";
    QTest::newRow("shapes in shapes") << "{\\rtf1 " + QByteArray("{\\shp{\\shprslt s").repeated(100000) + QByteArray(200000, '}')
                                      << "sss";
    QTest::newRow("kept group cut off in a million groups") << "{\\rtf1 a{\\*\\x " + QByteArray(1000000, '{') << "a";
}

void TestRtf::hostile()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    const PeakMemory memory;
    QVERIFY2(memory.reset(), "the peak memory cannot be measured (/proc/self/clear_refs)");
    QElapsedTimer timer;
    timer.start();
    const auto doc = load(rtf);
    const qint64 ms = timer.elapsed();
    const double grown = memory.grownMegabytes();
    auto shown = [](const QTextDocument *d) {
        return d->toPlainText().remove(u'\n').remove(QChar::ParagraphSeparator).remove(QChar::LineSeparator);
    };
    QVERIFY2(shown(doc.get()).contains(text.remove(u'\n')), qPrintable(doc->toPlainText().left(200)));
    // Generous bounds: this catches runaway allocation, not speed.
    QVERIFY2(grown < 40.0 * (rtf.size() / 1e6 + 1) + 200, qPrintable(QString::number(grown)));
    if (QByteArrayView(QTest::currentDataTag()) == "million par" || ms > 300)
        qInfo("%s: %d paragraphs, %lld ms, peak memory grew %.0f MB", QTest::currentDataTag(), doc->blockCount(), ms, grown);
    const QByteArray out = rtf::write(doc.get());
    QVERIFY(out.startsWith("{\\rtf1") && out.endsWith("}\r\n") && !out.contains('\0'));
    QVERIFY(shown(load(out).get()).contains(text));
}

void TestRtf::manyParagraphsWithTextAreKept()
{
    // Empty paragraphs are capped; paragraphs that hold text never are, so a
    // long document (numbered lines, say) keeps every paragraph.
    QByteArray rtf = "{\\rtf1 ";
    for (int i = 1; i <= 150000; ++i)
        rtf += QByteArray::number(i) + ". a\\par\n";
    const auto doc = load(rtf + "}");
    QVERIFY(doc->blockCount() >= 150000);
    QCOMPARE(doc->findBlockByNumber(149999).text(), QStringLiteral("150000. a"));
    QVERIFY(!doc->toPlainText().contains(QChar::LineSeparator));
}

void TestRtf::regressions()
{
    // Every input that ever crashed or hung the fuzzer, and the hostile files,
    // read as they were read when the file was added: its description lies
    // beside it in NAME.description. TARBEL_RECORD_DESCRIPTIONS=1 writes
    // those files anew (for a new file, or a change in what one reads as,
    // to be looked at in the diff).
    const bool record = qEnvironmentVariableIntValue("TARBEL_RECORD_DESCRIPTIONS") == 1;
    int files = 0;
    for (const char *folder : {"/tests/rtf-data/regressions", "/tests/rtf-data/hostile"}) {
        const QDir dir(QStringLiteral(TARBEL_SOURCE_DIR) + QLatin1String(folder));
        for (const QFileInfo &info : dir.entryInfoList(QDir::Files)) {
            if (info.fileName() == u"README" || info.suffix() == u"description")
                continue;
            QFile f(info.filePath());
            QVERIFY(f.open(QIODevice::ReadOnly));
            const auto doc = load(f.readAll());
            const QByteArray described = describe(doc.get()).toUtf8() + '\n';
            QFile expected(info.filePath() + QStringLiteral(".description"));
            if (record) {
                QVERIFY(expected.open(QIODevice::WriteOnly));
                expected.write(described);
                expected.close();
            }
            QVERIFY2(expected.open(QIODevice::ReadOnly),
                     qPrintable(expected.fileName() + QStringLiteral(" is missing: run with TARBEL_RECORD_DESCRIPTIONS=1")));
            const QByteArray recorded = expected.readAll();
            if (described != recorded) {
                const QList<QByteArray> now = described.split('\n'), then = recorded.split('\n');
                qsizetype line = 0;
                while (line < now.size() && line < then.size() && now.at(line) == then.at(line))
                    ++line;
                QFAIL(qPrintable(QStringLiteral("%1, line %2, reads as\n%3\nnot as recorded\n%4")
                                     .arg(info.fileName()).arg(line + 1)
                                     .arg(QString::fromUtf8(now.value(line)), QString::fromUtf8(then.value(line)))));
            }
            load(rtf::write(doc.get()));
            ++files;
        }
    }
    QVERIFY(files > 0);
}

void TestRtf::plainTextAndDetection()
{
    QVERIFY(rtf::isRtf(" \r\n\t{\\rtf1 x}"));
    QVERIFY(!rtf::isRtf("x{\\rtf1}"));
    QVERIFY(!rtf::isRtf("{\\rt"));
    QTextDocument doc;
    rtf::readPlainText(QByteArray("a\r\nb\nc\rd\xc3\xa9"), &doc);
    QCOMPARE(plainText(&doc), QString::fromUtf16(u"a\nb\nc\nd\u00e9"));
    rtf::readPlainText(QByteArray("caf\xe9 \x80"), &doc);
    QCOMPARE(plainText(&doc), QString::fromUtf16(u"caf\u00e9 \u20ac"));
    QVERIFY(!doc.isUndoAvailable());
    // Read a piece at a time: a CR LF or a character split between pieces
    // is still one; told to stop, the reading leaves nothing.
    const QByteArray large = QByteArray(256 * 1024 - 1, 'x') + "\r\n\xc3\xa9";
    QList<qint64> told;
    QVERIFY(rtf::readPlainText(large, platform::textPieceDecoder(large), &doc, [&](qint64 done, qint64 total) {
        told << done << total;
        return true;
    }));
    QCOMPARE(doc.blockCount(), 2);
    QCOMPARE(doc.lastBlock().text(), QString::fromUtf16(u"\u00e9"));
    QCOMPARE(told.mid(0, 2), (QList<qint64>{256 * 1024, large.size()}));
    QVERIFY(!rtf::readPlainText(large, platform::textPieceDecoder(large), &doc, [](qint64, qint64) { return false; }));
    QCOMPARE(doc.characterCount(), 1);
    rtf::read("{\\rtf1 x}", &doc);
    QVERIFY(!doc.isUndoAvailable());
}

QTEST_MAIN(TestRtf)
#include "tst_rtf.moc"
