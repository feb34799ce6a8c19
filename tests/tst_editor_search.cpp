// The Search menu and the phrase look-up hand-off.
#include "editorwindow.h"
#include "frmeditor.h"
#include "runtime.h"
#include "scripteddialoghost.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <functional>

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Notes the selection of a control whenever a message box comes up.
class SelectionHost : public ScriptedDialogHost {
public:
    platform::RichTextBox *box = nullptr;
    QList<qint64> starts;
    QStringList selected;
    int messageBox(const QString &text, int buttons, const QString &title) override
    {
        if (box && buttons == vb::vbYesNoCancel) {
            starts << box->SelStart();
            selected << box->SelText();
        }
        return ScriptedDialogHost::messageBox(text, buttons, title);
    }
};

}  // namespace

class TestEditorSearch : public QObject {
    Q_OBJECT

    QTemporaryDir m_prefix;
    QString handOffPath() const { return m_prefix.filePath(QStringLiteral("drive_c/Autodesk/Slls.txt")); }
    void handOff(const QByteArray &content) { writeBytes(handOffPath(), content); }

    // Runs a replace with the answers given, from the caret at caret.
    static void replace(SelectionHost &host, frmeditor &w, const QString &find, const QString &with,
                        const QList<int> &answers)
    {
        host.answerInput(find).answerInput(with);
        for (int a : answers)
            host.answerMessage(a);
        host.answerMessage(vb::vbOK);
        w.mnureplace_Click();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_prefix.isValid());
        qputenv("WINEPREFIX", m_prefix.path().toLocal8Bit());
    }

    void cleanup() { QFile::remove(handOffPath()); }

    // ---- Find ---------------------------------------------------------------

    void findWord()
    {
        ScriptedDialogHost host;
        frmeditor w;
        w.editor->setTextRTF("The cat sat\r\non the category\r\nof a Cat mat");

        host.answerInput(QStringLiteral("the")).answerMessage(vb::vbOK);
        w.mnu_find_Click();
        QCOMPARE(host.prompts().at(0).text, QStringLiteral("Enter text to find :"));
        QCOMPARE(host.prompts().at(0).title, QStringLiteral("Search Word"));
        QCOMPARE(host.last().text, QStringLiteral("Word found on line 0"));
        QCOMPARE(host.last().title, QString());
        QCOMPARE(host.last().buttons, vb::vbOKOnly);
        QCOMPARE(w.editor->SelText(), QStringLiteral("The"));

        // Searching again stays on the selected occurrence.
        host.answerInput(QStringLiteral("THE")).answerMessage(vb::vbOK);
        w.mnu_find_Click();
        QCOMPARE(w.editor->SelStart(), qint64(0));
        // Anything else is looked for inside the selection only.
        host.answerInput(QStringLiteral("cat")).answerMessage(vb::vbOK);
        w.mnu_find_Click();
        QCOMPARE(host.last().text, QStringLiteral("Word not found."));

        // Whole words, letter case ignored: "cat" skips "category".
        w.editor->setSelStart(8);
        host.answerInput(QStringLiteral("cat")).answerMessage(vb::vbOK);
        w.mnu_find_Click();
        QCOMPARE(host.last().text, QStringLiteral("Word found on line 0"));
        QCOMPARE(w.editor->SelStart(), qint64(4));
        w.editor->setSelStart(13);
        w.editor->setSelLength(w.editor->textLength() - 13);
        host.answerInput(QStringLiteral("cat")).answerMessage(vb::vbOK);
        w.mnu_find_Click();
        QCOMPARE(host.last().text, QStringLiteral("Word found on line 2"));
        QCOMPARE(w.editor->SelText(), QStringLiteral("Cat"));

        // The empty text, as after Cancel.
        w.editor->setSelStart(0);
        host.answerInput(QString()).answerMessage(vb::vbOK);
        w.mnu_find_Click();
        QCOMPARE(host.last().text, QStringLiteral("Word not found."));
        QCOMPARE(host.pending(), 0);
    }

    void findCountsWrappedLines()
    {
        ScriptedDialogHost host;
        frmeditor w;
        w.show();
        w.editor->hide();
        w.tmpeditor->show();
        QString text;
        for (int i = 0; i < 60; ++i)
            text += QStringLiteral("word ");
        text += QStringLiteral("needle\r\nnext");
        w.tmpeditor->setTextRTF(text.toUtf8());
        host.answerInput(QStringLiteral("next")).answerMessage(vb::vbOK);
        w.mnu_find_Click();
        const QTextLayout *layout = w.tmpeditor->document()->firstBlock().layout();
        QVERIFY(layout->lineCount() > 1);
        QCOMPARE(host.last().text, QStringLiteral("Word found on line %1").arg(layout->lineCount()));
    }

    // ---- Search and replace -------------------------------------------------

    void replacePasses()
    {
        SelectionHost host;
        frmeditor w;
        host.box = w.editor;

        w.editor->setTextRTF("aaa");
        w.editor->setSelStart(0);
        replace(host, w, QStringLiteral("a"), QStringLiteral("b"), {vb::vbYes});
        QCOMPARE(w.editor->Text(), QStringLiteral("aba"));
        QCOMPARE(host.prompts().at(0).text, QStringLiteral("Enter text to be find :"));
        QCOMPARE(host.prompts().at(0).title, QStringLiteral("Search And Replace"));
        QCOMPARE(host.prompts().at(1).text, QStringLiteral("Enter text to be Replace :"));
        QCOMPARE(host.prompts().at(1).title, QStringLiteral("Search And Replace"));
        QCOMPARE(host.prompts().at(2).text, QStringLiteral("Replace string a with b"));
        QCOMPARE(host.prompts().at(2).buttons, vb::vbYesNoCancel);
        QCOMPARE(host.prompts().at(2).title, QString());
        QCOMPARE(host.last().text, QStringLiteral("Replace Over "));
        QCOMPARE(host.last().title, QStringLiteral(" Search And Replace Results"));
        QCOMPARE(w.changed, 1);

        // Letter case counts; an occurrence at the caret is never offered.
        w.editor->setTextRTF("Cat Cat");
        host.starts.clear();
        host.selected.clear();
        replace(host, w, QStringLiteral("Cat"), QStringLiteral("Dog"), {vb::vbNo});
        QCOMPARE(host.starts, (QList<qint64>{4}));
        QCOMPARE(host.selected, QStringList{QStringLiteral("Cat")});
        w.editor->setSelStart(0);
        host.starts.clear();
        replace(host, w, QStringLiteral("at"), QStringLiteral("og"), {vb::vbYes, vb::vbYes});
        QCOMPARE(host.starts, (QList<qint64>{1, 5}));
        QCOMPARE(w.editor->Text(), QStringLiteral("Cog Cog"));
        w.editor->setSelStart(0);
        host.starts.clear();
        replace(host, w, QStringLiteral("cog"), QStringLiteral("x"), {});
        QVERIFY(host.starts.isEmpty());

        // The caret at the end: nothing is examined.
        w.editor->setSelStart(w.editor->textLength());
        replace(host, w, QStringLiteral("C"), QStringLiteral("x"), {});
        QCOMPARE(w.editor->Text(), QStringLiteral("Cog Cog"));

        // Cancel at the first question.
        w.editor->setSelStart(0);
        host.starts.clear();
        replace(host, w, QStringLiteral("og"), QStringLiteral("at"), {vb::vbCancel});
        QCOMPARE(host.starts, (QList<qint64>{1}));
        QCOMPARE(w.editor->Text(), QStringLiteral("Cog Cog"));
        QCOMPARE(host.pending(), 0);
    }

    void replaceNoToEveryQuestion()
    {
        SelectionHost host;
        frmeditor w;
        host.box = w.editor;
        // Overlapping occurrences are each offered once.
        w.editor->setTextRTF("xaaaa");
        replace(host, w, QStringLiteral("aa"), QStringLiteral("b"), {vb::vbNo, vb::vbNo, vb::vbNo});
        QCOMPARE(host.starts, (QList<qint64>{1, 2, 3}));
        QCOMPARE(w.editor->Text(), QStringLiteral("xaaaa"));
        QCOMPARE(w.editor->SelStart(), qint64(3));
    }

    void replacePositionsAfterParagraphBreaks()
    {
        SelectionHost host;
        frmeditor w;
        w.show();
        w.editor->hide();
        w.tmpeditor->show();
        host.box = w.tmpeditor;
        w.tmpeditor->setTextRTF("p1\r\np2\r\n\r\np3 target target");
        replace(host, w, QStringLiteral("target"), QStringLiteral("hit"), {vb::vbYes, vb::vbNo});
        QCOMPARE(host.starts, (QList<qint64>{13, 17}));
        QCOMPARE(host.selected, (QStringList{QStringLiteral("target"), QStringLiteral("target")}));
        QCOMPARE(w.tmpeditor->Text(), QStringLiteral("p1\r\np2\r\n\r\np3 hit target"));
        QCOMPARE(w.keystart, qint64(18));

        // Positions past the 16-bit range.
        QByteArray big(40000, 'x');
        big += " zz";
        w.tmpeditor->setTextRTF(big);
        w.tmpeditor->setSelStart(0);
        host.starts.clear();
        replace(host, w, QStringLiteral("zz"), QStringLiteral("y"), {vb::vbYes});
        QCOMPARE(host.starts, (QList<qint64>{40001}));
        QVERIFY(w.tmpeditor->Text().endsWith(QStringLiteral("x y")));
    }

    void replaceEmptyFindText()
    {
        SelectionHost host;
        frmeditor w;
        host.box = w.editor;
        // Every position after the caret is offered once, a paragraph break
        // once, and the passes end.
        w.editor->setTextRTF("ab\r\ncd");
        replace(host, w, QString(), QStringLiteral("-"), {vb::vbNo, vb::vbNo, vb::vbNo, vb::vbNo});
        QCOMPARE(host.starts, (QList<qint64>{1, 2, 4, 5}));
        QCOMPARE(host.prompts().at(2).text, QStringLiteral("Replace string  with -"));

        // A find text with a line end in it is found across paragraphs.
        w.editor->setTextRTF("ab\r\ncd\r\nef");
        host.starts.clear();
        replace(host, w, QStringLiteral("\ncd\r"), QStringLiteral("+"), {});
        QVERIFY(host.starts.isEmpty());
        replace(host, w, QStringLiteral("b\r\nc"), QStringLiteral("+"), {vb::vbYes});
        QCOMPARE(w.editor->Text(), QStringLiteral("a+d\r\nef"));

        w.editor->setTextRTF("abc");
        host.starts.clear();
        replace(host, w, QString(), QStringLiteral("-"), {vb::vbYes, vb::vbYes});
        QCOMPARE(w.editor->Text(), QStringLiteral("a-b-c"));
        QCOMPARE(host.pending(), 0);

        // Never between the halves of a character beyond the first 65,536.
        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
        w.editor->setTextRTF("");
        w.editor->setSelText(u'a' + emoji + u'b');
        w.editor->setSelStart(0);
        host.starts.clear();
        replace(host, w, QString(), QStringLiteral("-"), {vb::vbYes, vb::vbYes});
        QCOMPARE(host.starts, (QList<qint64>{1, 4}));
        QCOMPARE(w.editor->Text(), QString(QStringLiteral("a-") + emoji + QStringLiteral("-b")));
        QCOMPARE(host.pending(), 0);
    }

    // ---- The phrase look-up -------------------------------------------------

    void handOffOpensAndSelects_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<QString>("face");   // the boxes afterwards
        QTest::addColumn<QString>("size");
        const QString serif = QStringLiteral("DejaVu Serif"), sans = QStringLiteral("DejaVu Sans");
        const QString twoLines = QStringLiteral("C:\\docs\\a.rtf\r\nred truck\r\n");
        QTest::newRow("two lines") << twoLines.toUtf8() << "red truck" << qint64(9) << serif << "10";
        QTest::newRow("quoted comma") << QByteArray("\"C:\\docs\\a.rtf\",\"big, red\"\n") << "big, red" << qint64(4)
                                      << "" << "";
        QTest::newRow("cut at comma") << QByteArray("C:\\docs\\a.rtf\nbig, red\n") << "big" << qint64(4) << sans
                                      << "24";
        QTest::newRow("whole word") << QByteArray("C:\\docs\\a.rtf\nENGINE") << "Engine" << qint64(38) << sans << "24";
        QTest::newRow("native path") << QByteArray("@\nred") << "red" << qint64(9) << serif << "10";
        QTest::newRow("through dosdevices") << QByteArray("Z:@\nred") << "red" << qint64(9) << serif << "10";
        QStringEncoder le(QStringConverter::Utf16LE), be(QStringConverter::Utf16BE);
        QTest::newRow("UTF-16 with BOM") << QByteArray("\xFF\xFE") + le.encode(twoLines) << "red truck" << qint64(9)
                                         << serif << "10";
        QTest::newRow("UTF-16 big-endian") << QByteArray("\xFE\xFF") + be.encode(twoLines) << "red truck"
                                           << qint64(9) << serif << "10";
        QTest::newRow("UTF-16 of cmd /u") << QByteArray(le.encode(twoLines)) << "red truck" << qint64(9) << serif
                                          << "10";
    }

    void handOffOpensAndSelects()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, selected);
        QFETCH(qint64, start);
        QFETCH(QString, face);
        QFETCH(QString, size);
        const QString doc = m_prefix.filePath(QStringLiteral("drive_c/docs/a.rtf"));
        writeBytes(doc, "{\\rtf1\\ansi{\\fonttbl{\\f0 DejaVu Sans;}{\\f1 DejaVu Serif;}}\\f0\\fs48 The big, "
                        "{\\f1\\fs20 red truck}; many engines; one Engine\\par}");
        QDir(m_prefix.path()).mkpath(QStringLiteral("dosdevices"));
        QFile::link(QStringLiteral("/"), m_prefix.filePath(QStringLiteral("dosdevices/z:")));
        // "@" stands for the document's native path.
        const QString windowsPath = QString(doc).replace(u'/', u'\\');
        file.replace("Z:@", windowsPath.toUtf8().prepend("Z:")).replace("@", doc.toUtf8());
        handOff(file);
        const QString written = platform::decodeTextFile(file).section(QRegularExpression(QStringLiteral("[\r\n,]")), 0, 0)
                                    .remove(u'"');

        ScriptedDialogHost host;
        frmeditor w;
        w.editor->setTextRTF("unsaved work");
        editortest::makeUnsavedEdit(w);
        host.answerMessage(vb::vbNo);
        w.Command1_Click();
        QCOMPARE(host.prompts().size(), 1);
        QCOMPARE(w.editor->SelText(), selected);
        QCOMPARE(w.editor->SelStart(), start);
        QCOMPARE(w.curfile, written);
        QCOMPARE(w.windowTitle(), QStringLiteral("Editor [") + written + QStringLiteral("]"));
        QCOMPARE(QFileInfo(w.CMDialog1->FileName).canonicalFilePath(), QFileInfo(doc).canonicalFilePath());
        // No to the save question: the document is as its file holds it.
        QCOMPARE(w.changed, 0);
        QCOMPARE(w.cbofont->currentText(), face);
        QCOMPARE(w.cbosize->currentText(), size);
        QCOMPARE(platform::Screen::mousePointer(), 0);
    }

    // A click with unsaved work asks first, before anything is read.
    void findPhraseAsksFirst_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("saveAs");   // Save's dialog, after Yes
        QTest::addColumn<bool>("loads");
        QTest::newRow("yes") << int(vb::vbYes) << "typed.rtf" << true;
        QTest::newRow("yes, no name") << int(vb::vbYes) << "" << false;
        QTest::newRow("no") << int(vb::vbNo) << "" << true;
        QTest::newRow("cancel") << int(vb::vbCancel) << "" << false;
    }

    void findPhraseAsksFirst()
    {
        QFETCH(int, answer);
        QFETCH(QString, saveAs);
        QFETCH(bool, loads);
        writeBytes(m_prefix.filePath(QStringLiteral("drive_c/docs/a.rtf")), "{\\rtf1 handed off\\par}");
        handOff("C:\\docs\\a.rtf\nhanded\n");
        const QString saved = saveAs.isEmpty() ? QString() : m_prefix.filePath(saveAs);
        ScriptedDialogHost host;
        frmeditor w;
        w.editor->setTextRTF("typed work");
        editortest::makeUnsavedEdit(w);
        host.answerMessage(answer);
        if (answer == vb::vbYes)
            host.answerSaveFile(saved);
        w.Command1_Click();
        QCOMPARE(host.prompts().first().text, QStringLiteral("File not Saved ! Save it now ? "));
        QCOMPARE(host.prompts().first().buttons, vb::vbYesNoCancel);
        QCOMPARE(w.editor->Text().startsWith(QLatin1String("handed off")), loads);
        QCOMPARE(w.editor->Text() == QLatin1String("typed work"), !loads);
        if (loads)
            QCOMPARE(w.changed, 0);
        if (!saved.isEmpty()) {
            QFile f(saved);
            QVERIFY(f.open(QIODevice::ReadOnly) && f.readAll().contains("typed work"));
        }
        QCOMPARE(host.pending(), 0);
    }

    void handOffPhraseNotFoundAndWordWrap()
    {
        const QString doc = m_prefix.filePath(QStringLiteral("drive_c/docs/b.txt"));
        writeBytes(doc, "plain text document");
        handOff("C:\\docs\\b.txt\nengines\n");
        ScriptedDialogHost host;
        frmeditor w;
        w.show();
        w.editor->hide();
        w.tmpeditor->show();
        w.editor->setTextRTF("untouched");
        host.answerMessage(vb::vbOK);
        w.Command1_Click();
        QCOMPARE(host.last().text, QStringLiteral("Phrase not found."));
        QCOMPARE(host.last().title, QString());
        QCOMPARE(w.tmpeditor->Text(), QStringLiteral("plain text document"));
        QCOMPARE(w.editor->Text(), QStringLiteral("untouched"));
        QCOMPARE(w.curfile, QStringLiteral("C:\\docs\\b.txt"));

        handOff("C:\\docs\\b.txt\n\"TEXT\"");
        w.Command1_Click();
        QCOMPARE(w.tmpeditor->SelText(), QStringLiteral("text"));

        // Save writes back to the handed-off file, through the same mapping.
        w.tmpeditor->setSelText(QStringLiteral("TEXT"));
        editortest::makeUnsavedEdit(w);
        w.mnusave_Click();
        QCOMPARE(w.changed, 0);
        QFile saved(doc);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readAll().contains("plain TEXT document"));
        QVERIFY(!QFile::exists(QStringLiteral("C:\\docs\\b.txt")));
    }

    void handOffMissingPieces_data()
    {
        QTest::addColumn<QByteArray>("file");   // empty: no hand-off file
        QTest::addColumn<QString>("failed");    // the second line of the message
        const QString handOff = QStringLiteral("C:\\Autodesk\\Slls.txt: ");
        QTest::newRow("no hand-off file") << QByteArray() << handOff + platform::systemReason(ENOENT);
        QTest::newRow("one item") << QByteArray("C:\\docs\\a.rtf\n")
                                  << handOff + QStringLiteral("it does not name a document and a phrase");
        QTest::newRow("missing document") << QByteArray("C:\\docs\\missing.rtf\nword\n")
                                          << QStringLiteral("C:\\docs\\missing.rtf: ") + platform::systemReason(ENOENT);
        QTest::newRow("folder as document") << QByteArray("C:\\docs\nword\n")
                                            << QStringLiteral("C:\\docs: ") + platform::systemReason(EISDIR);
        QTest::newRow("device name") << QByteArray("C:\\docs\\..\\..\\Aux.rtf\nword\n")
                                     << QStringLiteral("C:\\docs\\..\\..\\Aux.rtf: Aux.rtf is a Windows device name, not a file");
    }

    void handOffMissingPieces()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, failed);
        writeBytes(m_prefix.filePath(QStringLiteral("drive_c/docs/a.rtf")), "a document");
        if (!file.isEmpty())
            handOff(file);
        ScriptedDialogHost host;
        // At start-up: nothing shown, nothing changed.
        {
            frmeditor w;
            w.show();
            QTRY_VERIFY(!w.Timer1->isActive());
            QTest::qWait(20);
            QCOMPARE(host.prompts().size(), 0);
            QCOMPARE(w.windowTitle(), QStringLiteral("Editor [ Untitled ]"));
            QVERIFY(w.curfile.isEmpty());
        }
        // On a click: "File not Found" and what was not found, before any
        // question; nothing changed.
        frmeditor w;
        w.editor->setTextRTF("mine");
        w.changed = 1;
        w.curfile = QStringLiteral("/tmp/mine.rtf");
        w.CMDialog1->FileName = w.curfile;
        host.answerMessage(vb::vbOK);
        w.Command1_Click();
        QCOMPARE(host.prompts().size(), 1);
        QCOMPARE(host.last().text, QStringLiteral("File not Found\n") + failed);
        QCOMPARE(w.editor->Text(), QStringLiteral("mine"));
        QCOMPARE(w.curfile, QStringLiteral("/tmp/mine.rtf"));
        QCOMPARE(w.CMDialog1->FileName, QStringLiteral("/tmp/mine.rtf"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Editor [ Untitled ]"));
        QCOMPARE(platform::Screen::mousePointer(), 0);
    }

    void handOffAtStartUp()
    {
        writeBytes(m_prefix.filePath(QStringLiteral("drive_c/docs/c.rtf")), "{\\rtf1 find the phrase here\\par}");
        handOff("C:\\docs\\c.rtf\nthe phrase\n");
        ScriptedDialogHost host;
        frmeditor w;
        QTest::qWait(20);
        // Not before the window is shown.
        QCOMPARE(w.windowTitle(), QStringLiteral("Editor [ Untitled ]"));
        w.show();
        QTRY_COMPARE(w.windowTitle(), QStringLiteral("Editor [C:\\docs\\c.rtf]"));
        // Silent, and loading is no change.
        QCOMPARE(host.prompts().size(), 0);
        QCOMPARE(w.changed, 0);
        QCOMPARE(w.editor->SelText(), QStringLiteral("the phrase"));
        QCOMPARE(w.editor->SelStart(), qint64(5));
        // Once only.
        w.editor->setSelStart(0);
        QTest::qWait(30);
        QCOMPARE(w.editor->SelStart(), qint64(0));
    }
};

QTEST_MAIN(TestEditorSearch)
#include "tst_editor_search.moc"
