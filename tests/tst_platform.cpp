// The platform layer: the rich-text box's positions, attributes, search and
// lines; the free-format reader; the drive mapping; the common dialog.
#include "commondialog.h"
#include "drivemapping.h"
#include "icons.h"
#include "richtextbox.h"
#include "recoverycopy.h"
#include "rerun.h"
#include "runtime.h"
#include "scripteddialoghost.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QDropEvent>
#include <QMimeData>
#include <QRandomGenerator>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <memory>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using platform::RichTextBox;

namespace {

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray attribute(const QString &path, const char *name)
{
    char value[256];
    const ssize_t n = ::lgetxattr(QFile::encodeName(path).constData(), name, value, sizeof value);
    return n < 0 ? QByteArray() : QByteArray(value, n);
}

struct stat statOf(const QString &path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

}  // namespace

// Reaches what a drag and a paste hand the control.
struct DraggingBox : RichTextBox {
    using RichTextBox::createMimeDataFromSelection;
    using RichTextBox::dropEvent;
    using RichTextBox::insertFromMimeData;
};

class TestPlatform : public QObject {
    Q_OBJECT

private:
    // Builds the document from text whose paragraphs are separated by '\n'.
    static void setDoc(RichTextBox &box, const QString &text)
    {
        box.setPlainText(text);
    }

    // Selects [start, start+length) in CR LF positions.
    static void select(RichTextBox &box, qint64 start, qint64 length)
    {
        box.setSelStart(start);
        box.setSelLength(length);
    }

private slots:
    void positionsCountParagraphBreaksAsTwo()
    {
        RichTextBox box;
        setDoc(box, QStringLiteral("ab\ncde\n\nf"));
        QCOMPARE(box.Text(), QStringLiteral("ab\r\ncde\r\n\r\nf"));
        QCOMPARE(box.textLength(), box.Text().size());
        // 'c' is at 4 in Text, 3 in the document.
        QCOMPARE(box.toDocPosition(4), 3);
        QCOMPARE(box.fromDocPosition(3), 4);
        // Between CR and LF: the end of that paragraph.
        QCOMPARE(box.toDocPosition(3), 2);
        QCOMPARE(box.toDocPosition(2), 2);
        // The empty third paragraph.
        QCOMPARE(box.toDocPosition(9), 7);
        QCOMPARE(box.toDocPosition(10), 7);
        QCOMPARE(box.toDocPosition(11), 8);
        // Out of range clamps.
        QCOMPARE(box.toDocPosition(-5), 0);
        QCOMPARE(box.toDocPosition(1000), box.document()->characterCount() - 1);

        box.setSelStart(4);
        box.setSelLength(5);   // "cde" CR LF
        QCOMPARE(box.SelText(), QStringLiteral("cde\r\n"));
        QCOMPARE(box.SelStart(), 4);
        QCOMPARE(box.SelLength(), 5);
    }

    void positionsRoundTripOnLargeRandomDocuments()
    {
        QRandomGenerator rng(20261207);
        RichTextBox box;
        QString text;
        for (int p = 0; p < 3000; ++p) {
            if (p)
                text += u'\n';
            const int len = rng.bounded(0, 12);
            for (int i = 0; i < len; ++i)
                text += QChar(u'a' + rng.bounded(26));
        }
        setDoc(box, text);
        const QString crlf = box.Text();
        QCOMPARE(crlf, QString(text).replace(u'\n', QLatin1String("\r\n")));
        const int docLen = box.document()->characterCount() - 1;
        for (int i = 0; i < 2000; ++i) {
            const int d = rng.bounded(docLen + 1);
            const qint64 v = box.fromDocPosition(d);
            QCOMPARE(box.toDocPosition(v), d);
            // The same character at both positions.
            if (v < crlf.size() && crlf.at(v) != u'\r')
                QCOMPARE(crlf.at(v), box.document()->characterAt(d));
        }
        // Every CR LF position maps to a character boundary in order.
        qint64 prev = -1;
        for (qint64 v = 0; v <= crlf.size(); v += 7) {
            const qint64 d = box.toDocPosition(v);
            QVERIFY(d >= prev);
            prev = d;
        }
    }

    void selTextWritesParagraphsAndLeavesCaretAfter()
    {
        RichTextBox box;
        setDoc(box, QStringLiteral("hello world"));
        select(box, 6, 5);
        box.setSelText(QStringLiteral("there\r\nand\nmore\rend"));
        QCOMPARE(box.Text(), QStringLiteral("hello there\r\nand\r\nmore\r\nend"));
        QCOMPARE(box.document()->blockCount(), 4);
        QCOMPARE(box.SelLength(), 0);
        QCOMPARE(box.SelStart(), box.textLength());
    }

    void triStateAttributesOnMixedSelections()
    {
        RichTextBox box;
        setDoc(box, QStringLiteral("plain bold\nnext"));
        select(box, 6, 4);
        box.setSelBold(true);
        box.setSelFontName(QStringLiteral("Courier New"));
        box.setSelFontSize(14);
        QCOMPARE(box.SelBold(), std::optional<bool>(true));
        QCOMPARE(box.SelFontName(), std::optional<QString>(QStringLiteral("Courier New")));
        QCOMPARE(box.SelFontSize(), std::optional<double>(14));

        select(box, 0, 10);
        QCOMPARE(box.SelBold(), std::nullopt);
        QCOMPARE(box.SelFontName(), std::nullopt);
        QCOMPARE(box.SelFontSize(), std::nullopt);
        QCOMPARE(box.SelItalic(), std::optional<bool>(false));

        // Across the paragraph break: the empty part of the break does not
        // count as a mixed value.
        select(box, 6, 8);
        QCOMPARE(box.SelBold(), std::nullopt);
        select(box, 6, 4);
        box.setSelBold(false);
        select(box, 0, 10);
        QCOMPARE(box.SelBold(), std::optional<bool>(false));

        // Writing applies to the whole selection.
        select(box, 0, 16);
        box.setSelItalic(true);
        box.setSelUnderline(true);
        box.setSelStrikeThru(true);
        QCOMPARE(box.SelItalic(), std::optional<bool>(true));
        QCOMPARE(box.SelUnderline(), std::optional<bool>(true));
        QCOMPARE(box.SelStrikeThru(), std::optional<bool>(true));
    }

    void attributesAtTheInsertionPointReachTypedText()
    {
        RichTextBox box;
        box.show();
        setDoc(box, QStringLiteral("abc"));
        box.setSelStart(3);
        box.setSelBold(true);
        box.setSelColor(0x0000FF);   // red in &H00BBGGRR
        QCOMPARE(box.SelBold(), std::optional<bool>(true));
        QTest::keyClicks(&box, QStringLiteral("de"));
        select(box, 3, 2);
        QCOMPARE(box.SelBold(), std::optional<bool>(true));
        QCOMPARE(box.SelColor(), quint32(0x0000FF));
        select(box, 0, 3);
        QCOMPARE(box.SelBold(), std::optional<bool>(false));
    }

    void bulletsAreTriState()
    {
        RichTextBox box;
        setDoc(box, QStringLiteral("one\ntwo\nthree"));
        select(box, 0, 3);
        QCOMPARE(box.SelBullet(), std::optional<bool>(false));
        box.setSelBullet(true);
        QCOMPARE(box.SelBullet(), std::optional<bool>(true));
        select(box, 0, 8);   // one and two
        QCOMPARE(box.SelBullet(), std::nullopt);
        box.setSelBullet(true);
        QCOMPARE(box.SelBullet(), std::optional<bool>(true));
        QCOMPARE(box.document()->begin().textList(), box.document()->begin().next().textList());
        box.setSelBullet(false);
        QCOMPARE(box.SelBullet(), std::optional<bool>(false));
        QCOMPARE(box.Text(), QStringLiteral("one\r\ntwo\r\nthree"));
    }

    void findMatchesWholeWordsCaseBlind()
    {
        RichTextBox box;
        setDoc(box, QStringLiteral("The category of cats\nA Cat sat, cat!"));
        // "cat" inside category and cats is no match; "Cat" on line 2 is.
        QCOMPARE(box.Find(QStringLiteral("cat")), 24);
        QCOMPARE(box.SelStart(), 24);
        QCOMPARE(box.SelLength(), 3);
        QCOMPARE(box.SelText(), QStringLiteral("Cat"));
        // The match stays selected, so the same search finds it again.
        QCOMPARE(box.Find(QStringLiteral("CAT")), 24);
        // Another word outside the selection: no match, selection kept.
        QCOMPARE(box.Find(QStringLiteral("sat")), -1);
        QCOMPARE(box.SelStart(), 24);
        QCOMPARE(box.SelLength(), 3);
        // Without a selection the whole text is searched.
        box.setSelStart(0);
        QCOMPARE(box.Find(QStringLiteral("sat")), 28);
        box.setSelStart(0);
        QCOMPARE(box.Find(QStringLiteral("dog")), -1);
        QCOMPARE(box.Find(QString()), -1);
        // Phrases and punctuation boundaries.
        box.setSelStart(0);
        QCOMPARE(box.Find(QStringLiteral("sat, cat")), 28);
    }

    void findScopeAndBoundaries()
    {
        RichTextBox box;
        setDoc(box, QStringLiteral("cat cat cat"));
        select(box, 3, 8);   // " cat cat"
        QCOMPARE(box.Find(QStringLiteral("cat")), 4);
        // A match that runs past the selection does not count.
        select(box, 0, 2);
        QCOMPARE(box.Find(QStringLiteral("cat")), -1);
        // Letters beyond the BMP are letters: no match next to one.
        setDoc(box, QString::fromUtf8("x\xF0\x9D\x90\x80" "cat cat"));
        box.setSelStart(0);
        QCOMPARE(box.Find(QStringLiteral("cat")), 7);
        // Digits count as word characters; the match may cross formats.
        setDoc(box, QStringLiteral("cat9 bobcat cat"));
        select(box, 12, 1);
        box.setSelBold(true);
        box.setSelStart(0);
        QCOMPARE(box.Find(QStringLiteral("cat")), 12);
    }

    void lineFromCharCountsWrappedLines()
    {
        RichTextBox box;
        box.setRightMargin(0);
        box.resize(200, 300);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QString longLine;
        for (int i = 0; i < 40; ++i)
            longLine += QStringLiteral("word ");
        setDoc(box, QStringLiteral("first\n") + longLine + QStringLiteral("\nlast"));
        QCOMPARE(box.GetLineFromChar(0), 0);
        QCOMPARE(box.GetLineFromChar(7), 1);   // start of the long paragraph
        const qint64 lastPos = box.Text().lastIndexOf(QLatin1String("last"));
        const qint64 lastLine = box.GetLineFromChar(lastPos);
        QVERIFY2(lastLine > 3, qPrintable(QString::number(lastLine)));
        QCOMPARE(box.GetLineFromChar(lastPos - 2), lastLine - 1);

        // Without wrapping, lines are paragraphs.
        RichTextBox wide;
        wide.setRightMargin(25000);
        wide.resize(200, 300);
        wide.show();
        setDoc(wide, QStringLiteral("first\n") + longLine + QStringLiteral("\nlast"));
        QCOMPARE(wide.GetLineFromChar(wide.Text().lastIndexOf(QLatin1String("last"))), 2);
    }

    void keyEventsComeFirstWithVirtualKeys()
    {
        RichTextBox box;
        box.show();
        QList<int> downs, presses, ups;
        connect(&box, &RichTextBox::KeyDown, this, [&](int &k, int) { downs << k; });
        connect(&box, &RichTextBox::KeyPress, this, [&](int &a) {
            presses << a;
            // Seen before the control acts: the text is still unchanged.
            QVERIFY(!box.Text().contains(QChar(a)) || a < 32);
            if (a == 'x')
                a = 0;   // swallowed
        });
        connect(&box, &RichTextBox::KeyUp, this, [&](int &k, int) { ups << k; });
        QTest::keyClick(&box, Qt::Key_F6);
        QTest::keyClick(&box, Qt::Key_F7);
        QTest::keyClick(&box, Qt::Key_A);
        QTest::keyClick(&box, Qt::Key_X);
        QTest::keyClick(&box, Qt::Key_Return);
        QTest::keyClick(&box, Qt::Key_Backspace);
        QTest::keyClick(&box, Qt::Key_Escape);
        QCOMPARE(downs, (QList<int>{117, 118, 65, 88, 13, 8, 27}));
        QCOMPARE(ups, downs);
        QCOMPARE(presses, (QList<int>{'a', 'x', 13, 8, 27}));
        QCOMPARE(box.Text(), QStringLiteral("a"));
    }

    void menuShortcutsBypassTheControl()
    {
        QWidget window;
        auto *box = new RichTextBox(&window);
        auto *copy = new QAction(&window);
        copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
        window.addAction(copy);
        int fired = 0;
        connect(copy, &QAction::triggered, this, [&] { ++fired; });
        window.show();
        box->setFocus();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        box->setPlainText(QStringLiteral("abc"));
        QList<int> downs;
        connect(box, &RichTextBox::KeyDown, this, [&](int &k, int) { downs << k; });
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(fired, 1);
        QCOMPARE(box->SelLength(), 0);   // not the control's select-all
        // Disabled: nothing at all.
        copy->setEnabled(false);
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(fired, 1);
        QCOMPARE(box->SelLength(), 0);
        // Only the Ctrl key itself reaches the control's events.
        QCOMPARE(downs, (QList<int>{17, 17}));
    }

    void textRtfPlainTextFallback()
    {
        RichTextBox box;
        box.setTextRTF(QByteArray("line one\r\nline two\rthree\nfour"));
        QCOMPARE(box.Text(), QStringLiteral("line one\r\nline two\r\nthree\r\nfour"));
        QVERIFY(!box.document()->isUndoAvailable());
        box.setTextRTF(QByteArray("caf\xe9"));   // not UTF-8: Windows-1252
        QCOMPARE(box.Text(), QString::fromUtf8("caf\xc3\xa9"));
        box.setTextRTF(QByteArray("caf\xc3\xa9 \xe2\x82\xac"));
        QCOMPARE(box.Text(), QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac"));
        box.setTextRTF(QByteArray("  {\\rtf1 Hello\\par}"));
        QVERIFY(box.Text().startsWith(QLatin1String("Hello")));
        // Right after loading, the caret's format is the text's own.
        box.setTextRTF(QByteArray("{\\rtf1{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 Hello\\par}"));
        QCOMPARE(box.SelStart(), 0);
        QCOMPARE(box.SelFontSize(), std::optional<double>(12));
        QCOMPARE(box.SelFontName(), std::optional<QString>(QStringLiteral("Arial")));
    }

    void documentsKeepTheirOwnFaces()
    {
        // Text a rich-text file gives no face is in the face its readers
        // assume; the control's own face is a new document's, after any.
        RichTextBox box;
        box.document()->setDefaultFont(QFont(QStringLiteral("MS Sans Serif"), 8));
        box.setTextRTF("{\\rtf1 Hello\\par}");
        QCOMPARE(box.SelFontName(), std::optional<QString>(QStringLiteral("Times New Roman")));
        QVERIFY(!box.TextRTF().contains("MS Sans Serif"));
        box.setTextRTF("");
        box.setSelText(QStringLiteral("typed"));
        QCOMPARE(box.SelFontName(), std::optional<QString>(QStringLiteral("MS Sans Serif")));
        QVERIFY(box.TextRTF().contains(" MS Sans Serif;}"));
    }

    void dragMoveTakesTheTextAsItIs()
    {
        // A drag inside the document moves the text with its formatting and
        // what it keeps, in one edit; what a paste brings stays plain text.
        DraggingBox box;
        box.resize(600, 300);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        box.setTextRTF("{\\rtf1 Start {\\b bold{\\super\\chftn}{\\footnote N}}{\\field{\\*\\fldinst PAGE}{\\fldrslt 3}}"
                       "{\\v hid} end\\par Target\\par}");
        const QByteArray before = box.TextRTF();
        select(box, 6, 6);
        const std::unique_ptr<QMimeData> dragged(box.createMimeDataFromSelection());
        QTextCursor target(box.document());
        target.setPosition(int(box.toDocPosition(24)));
        QDropEvent drop(box.cursorRect(target).center(), Qt::MoveAction | Qt::CopyAction, dragged.get(), Qt::LeftButton,
                        Qt::NoModifier);
        drop.setDropAction(Qt::MoveAction);
        box.dropEvent(&drop);
        QCOMPARE(box.Text(), QStringLiteral("Start  end\r\nTargetbold13"));
        const QByteArray moved = box.TextRTF();
        for (const char *kept : {"{\\footnote N}", "{\\field{\\*\\fldinst PAGE}", "\\v hid}"})
            QVERIFY2(moved.count(kept) == 1 && moved.indexOf(kept) > moved.indexOf("Target"), moved.constData());
        QVERIFY2(moved.contains("Target\\b bold"), moved.constData());
        box.document()->undo();
        QCOMPARE(box.TextRTF(), before);

        select(box, 0, 0);
        box.insertFromMimeData(dragged.get());
        QVERIFY(box.Text().startsWith(QStringLiteral("bold13Start")));
        QVERIFY(!box.TextRTF().contains("footnote N}bold"));
        QVERIFY2(box.TextRTF().count("{\\footnote N}") == 1, box.TextRTF().constData());
    }

    void freeFormatReader_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("two lines") << QStringLiteral("C:\\docs\\a.rtf\r\nengine\r\n")
                                   << QStringList{QStringLiteral("C:\\docs\\a.rtf"), QStringLiteral("engine")};
        QTest::newRow("comma ends an item") << QStringLiteral("a.rtf\nred, green\n")
                                            << QStringList{QStringLiteral("a.rtf"), QStringLiteral("red"), QStringLiteral("green")};
        QTest::newRow("quoted comma") << QStringLiteral("\"a, b.rtf\",\"red, green\"")
                                      << QStringList{QStringLiteral("a, b.rtf"), QStringLiteral("red, green")};
        QTest::newRow("blanks in front skipped") << QStringLiteral("   path  ,\t phrase one  \n")
                                                 << QStringList{QStringLiteral("path"), QStringLiteral("phrase one")};
        QTest::newRow("LF and CR line ends") << QStringLiteral("a\nb\rc")
                                             << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
        QTest::newRow("after a closing quote up to the comma is dropped")
            << QStringLiteral("\"ab\"cd,ef") << QStringList{QStringLiteral("ab"), QStringLiteral("ef")};
        QTest::newRow("unterminated quote runs to the end") << QStringLiteral("\"abc, def\nghi")
                                                            << QStringList{QStringLiteral("abc, def\nghi")};
        QTest::newRow("empty line is an empty item") << QStringLiteral("a\n\nb")
                                                     << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
        QTest::newRow("nothing") << QString() << QStringList{};
        QTest::newRow("blanks only") << QStringLiteral("   ") << QStringList{};
    }

    void freeFormatReader()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, items);
        platform::FreeFormatReader reader(text);
        QStringList got;
        QString item;
        while (reader.readItem(item)) {
            got << item;
            QVERIFY(got.size() < 100);
        }
        QCOMPARE(got, items);
        QVERIFY(!reader.readItem(item));   // reading past the end keeps failing
    }

    void valReadsTheLeadingNumber()
    {
        QCOMPARE(platform::val(QStringLiteral("14")), 14.0);
        QCOMPARE(platform::val(QStringLiteral("  8.5pt")), 8.5);
        QCOMPARE(platform::val(QStringLiteral("-3")), -3.0);
        QCOMPARE(platform::val(QStringLiteral("abc")), 0.0);
        QCOMPARE(platform::val(QString()), 0.0);
        QCOMPARE(platform::val(QStringLiteral("1e3x")), 1000.0);
        QVERIFY(platform::val(QString(400, u'9')) > 1e300);
    }

    void driveMappingFollowsWine()
    {
#ifndef Q_OS_WIN
        QTemporaryDir prefix;
        qputenv("WINEPREFIX", prefix.path().toUtf8());
        // No dosdevices: C: falls back to drive_c; other drives use dosdevices.
        QCOMPARE(platform::mapDrivePath(QStringLiteral("C:\\Autodesk\\Slls.txt")),
                 prefix.path() + QStringLiteral("/drive_c/Autodesk/Slls.txt"));
        QCOMPARE(platform::mapDrivePath(QStringLiteral("c:\\Zanth.lib")), prefix.path() + QStringLiteral("/drive_c/Zanth.lib"));
        QCOMPARE(platform::mapDrivePath(QStringLiteral("D:\\x\\y.rtf")),
                 prefix.path() + QStringLiteral("/dosdevices/d:/x/y.rtf"));
        // With dosdevices links, as Wine makes them.
        QDir(prefix.path()).mkpath(QStringLiteral("dosdevices"));
        QDir(prefix.path()).mkpath(QStringLiteral("drive_c"));
        QFile::link(QStringLiteral("../drive_c"), prefix.path() + QStringLiteral("/dosdevices/c:"));
        QFile::link(QStringLiteral("/"), prefix.path() + QStringLiteral("/dosdevices/z:"));
        QCOMPARE(platform::mapDrivePath(QStringLiteral("C:\\docs\\a.rtf")),
                 prefix.path() + QStringLiteral("/dosdevices/c:/docs/a.rtf"));
        const QString z = platform::mapDrivePath(QStringLiteral("Z:\\tmp"));
        QCOMPARE(z, prefix.path() + QStringLiteral("/dosdevices/z:/tmp"));
        QCOMPARE(QFileInfo(z).canonicalFilePath(), QFileInfo(QStringLiteral("/tmp")).canonicalFilePath());
        // Under the drive's folder letter case does not matter, as in Wine;
        // a name that exists exactly wins; a missing part keeps its letters.
        const QString c = prefix.path() + QStringLiteral("/dosdevices/c:");
        QDir(c).mkpath(QStringLiteral("docs/Sub"));
        for (const char *name : {"docs/report.rtf", "docs/Sub/Notes.txt", "docs/Both.rtf", "docs/both.rtf"}) {
            QFile f(c + u'/' + QLatin1String(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QList<std::pair<const char *, const char *>> blind = {
            {"C:\\DOCS\\Report.RTF", "/docs/report.rtf"},   {"c:\\Docs\\SUB\\notes.TXT", "/docs/Sub/Notes.txt"},
            {"C:\\docs\\Both.rtf", "/docs/Both.rtf"},       {"C:\\DOCS\\both.rtf", "/docs/both.rtf"},
            {"C:\\Docs\\New Dir\\A.RTF", "/docs/New Dir/A.RTF"}, {"C:\\docs\\sub\\", "/docs/Sub/"}};
        for (const auto &[windows, native] : blind)
            QCOMPARE(platform::mapDrivePath(QLatin1String(windows)), c + QLatin1String(native));
        // Native paths pass unchanged.
        QCOMPARE(platform::mapDrivePath(QStringLiteral("/home/u/a.rtf")), QStringLiteral("/home/u/a.rtf"));
        QCOMPARE(platform::mapDrivePath(QStringLiteral("a.rtf")), QStringLiteral("a.rtf"));
        qunsetenv("WINEPREFIX");
        QCOMPARE(platform::winePrefix(), QDir::homePath() + QStringLiteral("/.wine"));
#endif
    }

    // Read as Windows reads a path, found where Wine finds it.
    void driveMappingReadsPathsAsWindows_data()
    {
        QTest::addColumn<QString>("windows");
        QTest::addColumn<QString>("native");    // under drive C's folder
        QTest::addColumn<QString>("refusal");   // the reason it is refused
        auto row = [](const char *windows, const char *native, const char *refusal = "") {
            QTest::newRow(windows) << QString::fromUtf8(windows) << QString::fromUtf8(native)
                                   << QString::fromUtf8(refusal);
        };
        row("C:\\..\\..\\secret.rtf", "/secret.rtf");
        row("C:\\docs\\..\\..\\..\\a.rtf", "/a.rtf");
        row("C:\\docs\\.\\sub.\\a.rtf. .", "/docs/sub/a.rtf");
        row("docs\\a.rtf", "/docs/a.rtf");
        row("\\docs\\a.rtf", "/docs/a.rtf");
        row("C:docs\\a.rtf", "/docs/a.rtf");
        row("C:\\console.txt", "/console.txt");
        row("C:\\COM10.txt", "/COM10.txt");
        row("C:\\NUL", "", "NUL is a Windows device name, not a file");
        row("C:\\Autodesk\\CON", "", "CON is a Windows device name");
        row("c:\\x\\con.txt", "", "con.txt is a Windows device name");
        row("C:\\lpt9 .log", "", "device name");
        row("C:\\Com1\\a.rtf", "", "device name");
        row("C:\\docs\\a.rtf:stream", "", "cannot hold \":\"");
        row("C:\\a?.rtf", "", "cannot hold \"?\"");
        row("\\\\server\\share\\a.rtf", "", "network path");
        row("\\\\?\\C:\\a.rtf", "", "\\\\?\\");
        row("\\\\.\\COM1", "", "\\\\.\\");
    }

    void driveMappingReadsPathsAsWindows()
    {
        QFETCH(QString, windows);
        QFETCH(QString, native);
        QFETCH(QString, refusal);
        QTemporaryDir prefix;
        qputenv("WINEPREFIX", prefix.path().toUtf8());
        QString why = QStringLiteral("(not set)");
        const QString mapped = platform::mapDrivePath(windows, &why);
        if (refusal.isEmpty()) {
            QCOMPARE(mapped, prefix.path() + QStringLiteral("/drive_c") + native);
            QCOMPARE(why, QString());
        } else {
            QCOMPARE(mapped, QString());
            QVERIFY2(why.contains(refusal), qPrintable(why));
        }
        qunsetenv("WINEPREFIX");
    }

    // A save keeps what the file had: owner, group, permissions, extended
    // attributes and ACL, every hard link; a link's target is written, unless
    // another user planted the link in a shared folder; special files are
    // refused.
    void safeWriteKeepsTheFile()
    {
        if (rerun::inside()) {
            // Another user of the file's group: it cannot be given back to
            // its owner, so it is written in place.
            const QString shared = qEnvironmentVariable("TARBEL_DOC");
            const ino_t inode = statOf(shared).st_ino;
            QVERIFY(platform::writeFileSafely(shared, "by 1002"));
            QCOMPARE(readBytes(shared), QByteArray("by 1002"));
            QCOMPARE(statOf(shared).st_ino, inode);
            return;
        }
        if (::geteuid() != 0)
            QSKIP("giving files to other users needs the super-user");
        QTemporaryDir dir;
        const QString doc = dir.filePath(QStringLiteral("doc.rtf"));
        const QByteArray native = QFile::encodeName(doc);
        QVERIFY(writeBytes(doc, "old"));
        QVERIFY(::chown(native.constData(), 1001, 50) == 0 && ::chmod(native.constData(), 0664) == 0);
        QVERIFY(::setxattr(native.constData(), "user.tag", "kept", 4, 0) == 0);
        // user::rw- user:1003:rw- group::rw- mask::rw- other::r--
        const quint32 acl[] = {2, 0x00060001, 0xFFFFFFFF, 0x00060002, 1003, 0x00060004, 0xFFFFFFFF,
                               0x00060010, 0xFFFFFFFF, 0x00040020, 0xFFFFFFFF};
        QVERIFY(::setxattr(native.constData(), "system.posix_acl_access", acl, sizeof acl, 0) == 0);
        const QByteArray aclBefore = attribute(doc, "system.posix_acl_access");
        const ino_t inode = statOf(doc).st_ino;
        QString why;
        QVERIFY2(platform::writeFileSafely(doc, "new", &why), qPrintable(why));
        QCOMPARE(readBytes(doc), QByteArray("new"));
        QVERIFY(statOf(doc).st_ino != inode);   // replaced, not rewritten
        QCOMPARE(statOf(doc).st_uid, uid_t(1001));
        QCOMPARE(statOf(doc).st_gid, gid_t(50));
        QCOMPARE(statOf(doc).st_mode & 07777, mode_t(0664));
        QCOMPARE(attribute(doc, "user.tag"), QByteArray("kept"));
        QCOMPARE(attribute(doc, "system.posix_acl_access"), aclBefore);

        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0777) == 0);
        rerun::run({QStringLiteral("setpriv"), QStringLiteral("--reuid=1002"), QStringLiteral("--regid=1002"),
                    QStringLiteral("--groups=50")},
                   {QStringLiteral("TARBEL_DOC=") + doc}, true);
        QCOMPARE(statOf(doc).st_uid, uid_t(1001));

        // Every hard link sees the new bytes.
        const QString second = dir.filePath(QStringLiteral("second.rtf"));
        QVERIFY(QFile::link(doc, dir.filePath(QStringLiteral("link.rtf"))));
        QVERIFY(::link(native.constData(), QFile::encodeName(second).constData()) == 0);
        QVERIFY(platform::writeFileSafely(dir.filePath(QStringLiteral("link.rtf")), "both"));
        QCOMPARE(readBytes(second), QByteArray("both"));
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("link.rtf"))).isSymLink());

        // A link in a sticky folder open to all: followed only when its maker
        // is this user or the folder's owner.
        const QString sticky = dir.filePath(QStringLiteral("tmp"));
        QVERIFY(QDir().mkdir(sticky) && ::chmod(QFile::encodeName(sticky).constData(), 01777) == 0);
        const QString planted = sticky + QStringLiteral("/report.rtf");
        QVERIFY(QFile::link(second, planted));
        QVERIFY(::lchown(QFile::encodeName(planted).constData(), 1001, 1001) == 0);
        QVERIFY(!platform::writeFileSafely(planted, "overwritten", &why));
        QVERIFY2(why.contains(QStringLiteral("another user")), qPrintable(why));
        QCOMPARE(readBytes(second), QByteArray("both"));
        QVERIFY(::lchown(QFile::encodeName(planted).constData(), 0, 0) == 0);
        QVERIFY(platform::writeFileSafely(planted, "mine"));
        QCOMPARE(readBytes(second), QByteArray("mine"));

        const QString pipe = dir.filePath(QStringLiteral("pipe"));
        QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
        QVERIFY(!platform::writeFileSafely(pipe, "x", &why));
        QCOMPARE(why, QStringLiteral("a named pipe, not a file"));
        QVERIFY(S_ISFIFO(statOf(pipe).st_mode));
        QVERIFY(!platform::writeFileSafely(dir.path(), "x", &why));
        QCOMPARE(why, platform::systemReason(EISDIR));
    }

    // A full disk and a disk whose syncs fail: the save fails with the
    // system's reason, the old file is as it was and nothing is left beside
    // it. A disk whose syncs hang: the child writing a recovery copy ends
    // itself when its time is up. Runs in a namespace of its own, on a small
    // tmpfs, with the syncs of one folder failing and of another hanging.
    void failingDisks()
    {
        if (!rerun::inside()) {
            if (QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("-rm"), QStringLiteral("true")}) != 0)
                QSKIP("no user and mount namespaces here");
            QTemporaryDir dir;
            rerun::run({QStringLiteral("unshare"), QStringLiteral("-rm")},
                       {QStringLiteral("TARBEL_DIR=") + dir.path(), QStringLiteral("LD_PRELOAD=" TARBEL_FAULTSHIM),
                        QStringLiteral("FAULTSHIM_FAIL=") + dir.filePath(QStringLiteral("failing")),
                        QStringLiteral("FAULTSHIM_STALL=") + dir.filePath(QStringLiteral("state")),
                        QStringLiteral("XDG_STATE_HOME=") + dir.filePath(QStringLiteral("state"))});
            return;
        }
        const QDir dir(qEnvironmentVariable("TARBEL_DIR"));
        QVERIFY(dir.mkdir(QStringLiteral("small")) && dir.mkdir(QStringLiteral("failing")));
        const QByteArray small = QFile::encodeName(dir.filePath(QStringLiteral("small")));
        QVERIFY(::mount("tmpfs", small.constData(), "tmpfs", 0, "size=64k") == 0);
        const QString doc = dir.filePath(QStringLiteral("small/doc.rtf"));
        const QByteArray old(30000, 'a');
        QString why;
        QVERIFY2(platform::writeFileSafely(doc, old, &why), qPrintable(why));
        QVERIFY(!platform::writeFileSafely(doc, QByteArray(45000, 'b'), &why));
        QCOMPARE(why, platform::systemReason(ENOSPC));
        QCOMPARE(readBytes(doc), old);
        QCOMPARE(QDir(QFile::decodeName(small)).entryList(QDir::Files | QDir::Hidden), QStringList{"doc.rtf"});
        // Written in place (a second link): the room is asked for first.
        QVERIFY(::link(QFile::encodeName(doc).constData(), (small + "/second.rtf").constData()) == 0);
        QVERIFY(!platform::writeFileSafely(doc, QByteArray(70000, 'b'), &why));
        QCOMPARE(why, platform::systemReason(ENOSPC));
        QCOMPARE(readBytes(doc), old);
        QVERIFY(platform::writeFileSafely(doc, "shorter"));
        QCOMPARE(readBytes(QFile::decodeName(small + "/second.rtf")), QByteArray("shorter"));

        const QString failing = dir.filePath(QStringLiteral("failing/doc.rtf"));
        QVERIFY(writeBytes(failing, "old"));
        QVERIFY(!platform::writeFileSafely(failing, "new", &why));
        QCOMPARE(why, platform::systemReason(EIO));
        QCOMPARE(readBytes(failing), QByteArray("old"));
        QCOMPARE(QDir(dir.filePath(QStringLiteral("failing"))).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"doc.rtf"});

        const platform::RecoveryStore store(QStringLiteral("tarbel"));
        platform::RecoveryWriter writer;
        QElapsedTimer took;
        took.start();
        QVERIFY(writer.start(store, "copy", 1));
        std::optional<int> error;
        while (!error && took.elapsed() < 10000) {
            QTest::qWait(20);
            error = writer.finished();
        }
        QCOMPARE(error, std::optional<int>(ETIMEDOUT));
        QVERIFY(took.elapsed() >= 900);
        // A temporary copy whose writer has ended goes; this one's stays.
        const QString stale = store.folder() + QStringLiteral("/999999999-5.recovery.tmp");
        QVERIFY(writeBytes(stale, "a copy"));
        store.removeStale();
        QVERIFY(!QFile::exists(stale) && QFile::exists(store.ownFile() + QStringLiteral(".tmp")));
    }

    void commonDialogKeepsItsValues()
    {
        ScriptedDialogHost host;
        platform::CommonDialog dlg;
        dlg.Filter = QStringLiteral("bitmap (*.bmp)|*.bmp");
        host.answerOpenFile(QStringLiteral("/tmp/a.bmp")).answerSaveFile(QString()).answerOpenFile(QString());
        dlg.setAction(1);
        QCOMPARE(dlg.FileName, QStringLiteral("/tmp/a.bmp"));
        QCOMPARE(host.last().file.qtFilter, QStringLiteral("bitmap (*.bmp) (*.bmp)"));
        // Cancelled: nothing chosen, but the next dialog starts from the
        // name chosen last.
        dlg.setAction(2);
        QCOMPARE(host.last().file.fileName, QStringLiteral("/tmp/a.bmp"));
        QCOMPARE(dlg.FileName, QString());
        host.answerOpenFile(QString());
        dlg.setAction(1);
        QCOMPARE(host.last().file.fileName, QStringLiteral("/tmp/a.bmp"));
        // A name set by a command starts the next dialog.
        dlg.FileName = QStringLiteral("/tmp/b.rtf");
        host.answerOpenFile(QString());
        dlg.ShowOpen();
        QCOMPARE(host.last().file.fileName, QStringLiteral("/tmp/b.rtf"));
        dlg.CancelError = true;
        QVERIFY_THROWS_EXCEPTION(platform::DialogCancelled, dlg.ShowOpen());

        host.answerColor(QColor(255, 0, 0)).answerColor(std::nullopt);
        dlg.CancelError = false;
        dlg.ShowColor();
        QCOMPARE(dlg.Color, quint32(0x0000FF));
        dlg.ShowColor();
        QCOMPARE(dlg.Color, quint32(0x0000FF));

        QCOMPARE(platform::CommonDialog::toQtFilter(QStringLiteral("Html Files (*.html)|*.html;*.htm|")),
                 QStringLiteral("Html Files (*.html) (*.html *.htm)"));
        QCOMPARE(platform::CommonDialog::toQtFilter(QStringLiteral("All|*.*")), QStringLiteral("All (*)"));
        QCOMPARE(host.pending(), 0);
    }

    void iconsRenderAtTheDeviceSize()
    {
        QTemporaryDir dir;
        const QString svg = dir.filePath(QStringLiteral("square.svg"));
        QFile f(svg);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16' viewBox='0 0 16 16'>"
                "<rect x='0' y='0' width='16' height='16' fill='#ff0000'/></svg>");
        f.close();
        const QIcon icon = platform::svgIcon(svg);
        for (qreal dpr : {1.0, 2.0}) {
            const QPixmap pm = icon.pixmap(QSize(32, 32), dpr);
            QCOMPARE(pm.size(), QSize(32, 32) * dpr);
            QCOMPARE(pm.devicePixelRatio(), dpr);
            QCOMPARE(pm.toImage().pixelColor(pm.width() / 2, pm.height() / 2), QColor(Qt::red));
        }
    }

    void textCodecs()
    {
        QCOMPARE(platform::decodeText(QByteArray("\x80\x93x\x94")), QString::fromUtf8("\xe2\x82\xac\xe2\x80\x9cx\xe2\x80\x9d"));
        QCOMPARE(platform::encodeWindows1252(QString::fromUtf8("\xe2\x82\xac caf\xc3\xa9 \xe4\xb8\xad \xf0\x9f\x98\x80")),
                 QByteArray("\x80 caf\xe9 ? ?"));
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
