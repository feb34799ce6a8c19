// What the writer saves, read back by LibreOffice (through its HTML export)
// and by AbiWord (as plain text): the same text, and through LibreOffice the
// same bold, italic, underline, strike-out, colours, bullets and pictures.
// Documents opened and saved keep, as LibreOffice sees them, what they held
// (tests/rtf-keep.py).
#include "rtf/rtf.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <QRandomGenerator>

#include <memory>

#include "rtfdescribe.h"
#include "samples.h"

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString squeeze(QString s)
{
    s.replace(QChar(0xFFFC), QString()).replace(QChar::Nbsp, u' ').replace(QChar::LineSeparator, u' ');
    return s.simplified();
}

// Paragraph texts, blank ones left out (the programs differ on those).
QStringList lines(const QString &text)
{
    QStringList out;
    for (const QString &line : text.split(QRegularExpression(QStringLiteral("[\r\n\u2029]+")))) {
        const QString s = squeeze(line);
        if (!s.isEmpty())
            out << s;
    }
    return out;
}

// LibreOffice's HTML puts a line end after each picture, which reads as a
// space: for its comparisons blanks next to pictures are dropped.
QStringList blockTexts(const QTextDocument *doc, bool blanksAtPictures = true)
{
    static const QRegularExpression atPicture(QStringLiteral("\\s*\\x{FFFC}\\s*"));
    QStringList out;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        QString text = b.text();
        if (!blanksAtPictures)
            text.replace(atPicture, QStringLiteral("\uFFFC"));
        const QString s = squeeze(text);
        if (!s.isEmpty())
            out << s;
    }
    return out;
}

// Per non-empty paragraph: whether it is a bullet, its pictures and, for every
// letter and digit, the formatting that matters across programs.
QStringList formatting(const QTextDocument *doc)
{
    QStringList out;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        QString line;
        QString last;
        for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QTextCharFormat f = frag.charFormat();
            if (f.isImageFormat()) {
                const QTextImageFormat img = f.toImageFormat();
                const QSize natural =
                    doc->resource(QTextDocument::ImageResource, QUrl(img.name())).value<QImage>().size();
                line += QStringLiteral("[img %1x%2]")
                            .arg(img.width() > 0 ? qRound(img.width()) : natural.width())
                            .arg(img.height() > 0 ? qRound(img.height()) : natural.height());
                last.clear();
                continue;
            }
            QString key;
            if (f.fontWeight() >= QFont::DemiBold) key += u'b';
            if (f.fontItalic()) key += u'i';
            if (f.fontUnderline() && !f.isAnchor()) key += u'u';
            if (f.fontStrikeOut()) key += u's';
            if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().color() != Qt::black && !f.isAnchor())
                key += f.foreground().color().name();
            for (QChar c : frag.text()) {
                if (c.isSpace() || c == QChar(0xFFFC))
                    continue;
                // Formatting is compared on letters and digits: LibreOffice's
                // HTML leaves punctuation at a paragraph start out of its run.
                if (!c.isLetterOrNumber()) {
                    line += c;
                    continue;
                }
                if (key != last)
                    line += u'<' + key + u'>';
                last = key;
                line += c;
            }
        }
        // Empty list items are left out: LibreOffice's HTML drops them.
        if (line.isEmpty())
            continue;
        if (QTextList *list = b.textList())
            line.prepend(list->format().style() == QTextListFormat::ListDisc ? QStringLiteral("* ") : QStringLiteral("# "));
        out << line;
    }
    return out;
}

std::unique_ptr<QTextDocument> formattedDocument()
{
    auto doc = std::make_unique<QTextDocument>();
    doc->setDefaultFont(QFont(QStringLiteral("Liberation Serif"), 12));
    QTextCursor c(doc.get());
    QTextCharFormat plain, bold, italic, under, red, strike, mixed;
    bold.setFontWeight(QFont::Bold);
    italic.setFontItalic(true);
    under.setFontUnderline(true);
    red.setForeground(QColor(0xCC, 0x00, 0x00));
    strike.setFontStrikeOut(true);
    mixed.setFontWeight(QFont::Bold);
    mixed.setFontItalic(true);
    mixed.setForeground(QColor(0x00, 0x66, 0xCC));
    c.insertText(QStringLiteral("Plain "), plain);
    c.insertText(QStringLiteral("bold"), bold);
    c.insertText(QStringLiteral(" then "), plain);
    c.insertText(QStringLiteral("italic"), italic);
    c.insertText(QStringLiteral(", "), plain);
    c.insertText(QStringLiteral("underlined"), under);
    c.insertText(QStringLiteral(", "), plain);
    c.insertText(QStringLiteral("red"), red);
    c.insertText(QStringLiteral(", "), plain);
    c.insertText(QStringLiteral("struck"), strike);
    c.insertText(QStringLiteral(" and "), plain);
    c.insertText(QStringLiteral("all blue"), mixed);
    c.insertBlock(QTextBlockFormat(), plain);
    c.insertText(QString::fromUtf16(u"Non-ASCII: caf\u00e9 na\u00efve \u20ac12 \u2013 \u2014 \u201cquoted\u201d "
                                    u"\u0416\u0443\u043a \u03a9 \u4e2d\u6587"));
    c.insertBlock(QTextBlockFormat(), plain);
    c.createList(QTextListFormat::ListDisc);
    c.insertText(QStringLiteral("first bullet"));
    c.insertBlock();
    c.insertText(QStringLiteral("second "));
    c.insertText(QStringLiteral("bold"), bold);
    c.insertText(QStringLiteral(" bullet"), plain);
    c.insertBlock(QTextBlockFormat(), plain);
    c.insertText(QStringLiteral("A picture: "));
    QImage img(24, 12, QImage::Format_RGB32);
    img.fill(QColor(0x30, 0x70, 0xC0));
    doc->addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("tarbel-image:1")), img);
    QTextImageFormat pic;
    pic.setName(QStringLiteral("tarbel-image:1"));
    c.insertImage(pic);
    c.insertText(QStringLiteral(" after it."));
    c.insertBlock(QTextBlockFormat(), plain);
    c.insertText(QStringLiteral("Last line."));
    return doc;
}

}  // namespace

class TestRtfInterop : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void libreOffice();
    void abiWord();
    void openAndSaveKeeps();
    void openAndSaveCorpus();

private:
    QString measure(const QStringList &args);

    QTemporaryDir dir;
    QMap<QString, QStringList> texts;       // file name -> paragraph texts we wrote
    QMap<QString, QStringList> htmlTexts;   // the same, compared with LibreOffice's HTML
    QMap<QString, QStringList> formats;     // file name -> formatting we wrote
};

void TestRtfInterop::initTestCase()
{
    QVERIFY(dir.isValid());
    if (qEnvironmentVariableIsSet("TARBEL_KEEP_TEMP")) {
        dir.setAutoRemove(false);
        qInfo("files kept in %s", qPrintable(dir.path()));
    }
    std::vector<std::pair<QString, std::unique_ptr<QTextDocument>>> docs;
    docs.emplace_back(QStringLiteral("formatted"), formattedDocument());
    QRandomGenerator rng(4242);
    for (int i = 0; i < 8; ++i)
        docs.emplace_back(QStringLiteral("random%1").arg(i), rtftest::randomDocument(rng, true));
    for (const char *name : {"wordpad-minutes", "richtextbox-report", "pandoc-notes", "abiword-notes", "libreoffice-notes"}) {
        const QByteArray data = readFile(QStringLiteral(TARBEL_SAMPLES_DIR "/") + QLatin1String(name) + QStringLiteral(".rtf"));
        VERIFY_SAMPLE_UNLESS_LOCAL(!data.isEmpty());
        if (data.isEmpty())
            continue;
        auto doc = std::make_unique<QTextDocument>();
        rtf::read(data, doc.get());
        docs.emplace_back(QLatin1String(name), std::move(doc));
    }
    // A table in a cell.
    auto nested = std::make_unique<QTextDocument>();
    rtf::read("{\\rtf1 Before\\par\\trowd\\cellx3000\\cellx6000\\pard\\intbl Outer\\cell\\pard\\intbl\\itap2 Inner one"
              "\\nestcell Inner two\\nestcell{\\*\\nesttableprops\\trowd\\cellx1500\\cellx3000\\nestrow}{\\nonesttables\\par}"
              "\\pard\\intbl After inner\\cell\\row\\pard After\\par}",
              nested.get());
    docs.emplace_back(QStringLiteral("nested"), std::move(nested));
    for (const auto &[name, doc] : docs) {
        QFile out(dir.filePath(name + QStringLiteral(".rtf")));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(rtf::write(doc.get()));
        texts.insert(name, blockTexts(doc.get()));
        htmlTexts.insert(name, blockTexts(doc.get(), false));
        formats.insert(name, formatting(doc.get()));
    }
}

void TestRtfInterop::libreOffice()
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        QSKIP("LibreOffice (soffice) is not installed");
    QStringList args{QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
                     QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("html"),
                     QStringLiteral("--outdir"), dir.filePath(QStringLiteral("html"))};
    for (const QString &name : texts.keys())
        args << dir.filePath(name + QStringLiteral(".rtf"));
    QProcess p;
    p.start(soffice, args);
    QVERIFY(p.waitForFinished(240000));
    for (const QString &name : texts.keys()) {
        const QByteArray html = readFile(dir.filePath(QStringLiteral("html/") + name + QStringLiteral(".html")));
        QVERIFY2(!html.isEmpty(), qPrintable(name + QStringLiteral(": no HTML from LibreOffice\n") + p.readAllStandardError()));
        // LibreOffice strikes out with <strike>, which Qt's HTML reader does
        // not know, and marks underline off with text-decoration: none,
        // which Qt would take as strike-out off as well.
        QString source = QString::fromUtf8(html);
        source.remove(QStringLiteral(" style=\"text-decoration: none\""));
        source.replace(QStringLiteral("<strike>"), QStringLiteral("<s>")).replace(QStringLiteral("</strike>"), QStringLiteral("</s>"));
        QTextDocument back;
        back.setHtml(source);
        QCOMPARE(blockTexts(&back, false), htmlTexts.value(name));
        const QStringList actual = formatting(&back), expected = formats.value(name);
        for (int i = 0; i < std::min(actual.size(), expected.size()); ++i)
            QVERIFY2(actual.at(i) == expected.at(i),
                     qPrintable(name + QStringLiteral(" paragraph %1:\n").arg(i) + actual.at(i) + QStringLiteral("\nexpected\n")
                                + expected.at(i)));
        QCOMPARE(actual.size(), expected.size());
        if (name == QLatin1String("formatted") || name.endsWith(QLatin1String("-notes")))
            QVERIFY2(html.contains("<img "), qPrintable(name));
        if (name == QLatin1String("nested"))
            QCOMPARE(html.count("<table"), 2);
    }
}

void TestRtfInterop::abiWord()
{
    const QString abiword = QStandardPaths::findExecutable(QStringLiteral("abiword"));
    if (abiword.isEmpty())
        QSKIP("AbiWord is not installed");
    for (const QString &name : texts.keys()) {
        const QString txt = dir.filePath(name + QStringLiteral(".txt"));
        QProcess p;
        p.start(abiword, {QStringLiteral("--to=txt"), QStringLiteral("--to-name=") + txt,
                          dir.filePath(name + QStringLiteral(".rtf"))});
        QVERIFY(p.waitForFinished(120000));
        const QByteArray text = readFile(txt);
        QVERIFY2(!text.isEmpty(), qPrintable(name + QStringLiteral(": no text from AbiWord\n") + p.readAllStandardError()));
        QCOMPARE(lines(QString::fromUtf8(text)), texts.value(name));
    }
}

// tests/rtf-keep.py with ARGS: its report printed, and empty when it passed.
QString TestRtfInterop::measure(const QStringList &args)
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    const QString bench = qEnvironmentVariable("TARBEL_RTF_BENCH");
    if (python.isEmpty() || bench.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
        return QStringLiteral("skip");
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(python, QStringList{QStringLiteral(TARBEL_SOURCE_DIR "/tests/rtf-keep.py"), QStringLiteral("-v"),
                                QStringLiteral("--bench"), bench} + args);
    const bool ended = p.waitForFinished(300000);
    const QString out = QString::fromUtf8(p.readAll());
    qInfo().noquote() << out.trimmed();
    return ended && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 ? QString() : out;
}

// Each file of tests/rtf-data/keep holds a kind Qt's document cannot show
// (headers, footnotes, fields, drawing objects...) and the samples are what
// other programs wrote: all must come back as they were, by kind.
void TestRtfInterop::openAndSaveKeeps()
{
    const QString ours = measure({QStringLiteral("--no-words"), QStringLiteral("--min-share"), QStringLiteral("100"),
                                  QStringLiteral(TARBEL_SOURCE_DIR "/tests/rtf-data/keep"), QStringLiteral(TARBEL_SAMPLES_DIR)});
    if (ours == QLatin1String("skip"))
        QSKIP("python3, rtf_bench or LibreOffice (soffice) is not there");
    QVERIFY2(ours.isEmpty(), qPrintable(ours));
}

// A corpus of other projects' files, when one is there, is measured by kind
// and word by word and its figures printed; there only a crash or a hang fails.
void TestRtfInterop::openAndSaveCorpus()
{
    QString corpus = qEnvironmentVariable("TARBEL_RTF_CORPUS");
    if (corpus.isEmpty())
        corpus = QStringLiteral(TARBEL_SAMPLES_DIR "/../rtf-corpus");
    if (!QDir(corpus).exists())
        QSKIP("no corpus of real-world RTF files");
    const QString theirs = measure({corpus});
    if (theirs == QLatin1String("skip"))
        QSKIP("python3, rtf_bench or LibreOffice (soffice) is not there");
    QVERIFY2(theirs.isEmpty(), qPrintable(theirs));
}

QTEST_MAIN(TestRtfInterop)
#include "tst_rtf_interop.moc"
