// The editor's toolbar: the dispatch by key, its own Open, Save and End,
// bullets, line numbering and pictures.
#include "editorwindow.h"
#include "frmeditor.h"
#include "runtime.h"
#include "scripteddialoghost.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QTextList>
#include <QToolButton>

#include <memory>

using platform::RichTextBox;
using editortest::openWindow;
using editortest::select;
using editortest::setText;
using Kind = ScriptedDialogHost::Kind;

namespace {

// Presses the toolbar button with this key, as the user does.
void press(frmeditor &w, const char *key)
{
    platform::ToolbarButton *b = w.Toolbar1->button(QLatin1String(key));
    QVERIFY2(b && b->widget, key);
    QTest::mouseClick(b->widget, Qt::LeftButton);
}

// Runs the dispatch with a button of any key.
void dispatch(frmeditor &w, const QString &key)
{
    platform::ToolbarButton b;
    b.Key = key;
    w.Toolbar1_ButtonClick(&b);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Everything a toolbar command may change, to see that a key changes only
// what its command should.
struct Snapshot {
    QString text;
    qint64 selStart = 0, selLength = 0;
    std::optional<bool> bold, italic, underline, strike, bullet;
    quint32 color = 0;
    QString clipboard;
    int changed = 0;
    QString curfile, caption;
    bool visible = false;
    qsizetype prompts = 0;

    static Snapshot of(frmeditor &w, const ScriptedDialogHost &host)
    {
        RichTextBox *e = w.editor;
        Snapshot s;
        s.text = e->Text();
        s.selStart = e->SelStart();
        s.selLength = e->SelLength();
        s.bold = e->SelBold();
        s.italic = e->SelItalic();
        s.underline = e->SelUnderline();
        s.strike = e->SelStrikeThru();
        s.bullet = e->SelBullet();
        s.color = e->SelColor();
        s.clipboard = platform::Clipboard::GetText();
        s.changed = w.changed;
        s.curfile = w.curfile;
        s.caption = w.windowTitle();
        s.visible = w.isVisible();
        s.prompts = host.prompts().size();
        return s;
    }
};

// The numbering exactly as first described: the whole text rewritten at
// every line end, the text read again at every position.
QString referenceNumbering(QString t)
{
    short counter = 2;   // the width the description gives; tests stay below it
    t = QStringLiteral("1. ") + t;
    t += QLatin1String("\r\n");
    for (qsizetype i = 1; i <= t.size(); ++i) {
        if (t.at(i - 1) != u'\r')
            continue;
        const QString left = t.left(i - 1);
        const QString right = t.mid(i + 1);
        QString trimmed = right;
        while (trimmed.startsWith(u' '))
            trimmed.remove(0, 1);
        while (trimmed.endsWith(u' '))
            trimmed.chop(1);
        if (trimmed.isEmpty() || trimmed == QLatin1String("\r\n"))
            break;
        t = left + QLatin1String("\r\n") + QString::number(counter) + QLatin1String(". ") + right;
        ++counter;
    }
    return t;
}

// A BMP header claiming a picture far beyond any sensible size.
QByteArray hugeBmpHeader()
{
    QByteArray b(54, '\0');
    auto put32 = [&b](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, 54 + 16);
    put32(10, 54);
    put32(14, 40);
    put32(18, 60000);    // width
    put32(22, 60000);    // height
    b[26] = 1;           // planes
    b[28] = 24;          // bits per pixel
    b.append(16, '\0');
    return b;
}

QList<QTextImageFormat> pictures(const QTextDocument *d)
{
    QList<QTextImageFormat> out;
    for (QTextBlock b = d->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                out << it.fragment().charFormat().toImageFormat();
    return out;
}

}  // namespace

class TestEditorToolbar : public QObject {
    Q_OBJECT

    QTemporaryDir m_prefix;
    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    QString savePicture(const QString &name, const char *format, QSize size = {7, 5})
    {
        QImage img(size, QImage::Format_RGB32);
        img.fill(QColor(200, 30, 40));
        const QString p = path(name);
        if (!img.save(p, format))
            qWarning("cannot write %s", qPrintable(p));
        return p;
    }

private slots:
    void initTestCase()
    {
        qputenv("WINEPREFIX", m_prefix.path().toLocal8Bit());
        QVERIFY(m_dir.isValid());
    }

    // --- the dispatch -----------------------------------------------------------

    void unknownOrMiscasedKeysDoNothing()
    {
        ScriptedDialogHost host;
        auto w = openWindow();
        setText(w->editor, QStringLiteral("some text"));
        select(w->editor, 0, 4);
        platform::Clipboard::SetText(QStringLiteral("clip"));
        const Snapshot before = Snapshot::of(*w, host);
        for (const char *key : {"Bold", "BOLD", "bold ", " bold", "", "lines", "drawer", "Open", "SAVE", "nums",
                                "End", "image1", "clour\n"}) {
            dispatch(*w, QString::fromLatin1(key));
        }
        dispatch(*w, QString());
        w->Toolbar1_ButtonClick(nullptr);
        const Snapshot after = Snapshot::of(*w, host);
        QCOMPARE(after.text, before.text);
        QCOMPARE(after.bold, before.bold);
        QCOMPARE(after.italic, before.italic);
        QCOMPARE(after.underline, before.underline);
        QCOMPARE(after.strike, before.strike);
        QCOMPARE(after.bullet, before.bullet);
        QCOMPARE(after.clipboard, before.clipboard);
        QCOMPARE(after.changed, before.changed);
        QCOMPARE(after.caption, before.caption);
        QCOMPARE(after.prompts, 0);
        QVERIFY(after.visible);
    }

    void formattingKeysToggleOnlyTheirAttribute_data()
    {
        QTest::addColumn<QString>("key");
        for (const char *k : {"bold", "italics", "under", "strike"})
            QTest::newRow(k) << QString::fromLatin1(k);
    }

    void formattingKeysToggleOnlyTheirAttribute()
    {
        QFETCH(QString, key);
        ScriptedDialogHost host;
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QStringLiteral("alpha beta gamma"));
        auto attribute = [&]() -> std::optional<bool> {
            if (key == QLatin1String("bold"))
                return e->SelBold();
            if (key == QLatin1String("italics"))
                return e->SelItalic();
            if (key == QLatin1String("under"))
                return e->SelUnderline();
            return e->SelStrikeThru();
        };
        // Mixed: part of the selection has it already.
        select(e, 6, 4);
        press(*w, key.toLatin1().constData());
        select(e, 0, 16);
        QCOMPARE(attribute(), std::nullopt);
        const Snapshot before = Snapshot::of(*w, host);
        press(*w, key.toLatin1().constData());
        QCOMPARE(attribute(), std::optional<bool>(true));
        press(*w, key.toLatin1().constData());
        QCOMPARE(attribute(), std::optional<bool>(false));
        // Nothing else moved, and the document is marked modified.
        const Snapshot after = Snapshot::of(*w, host);
        QCOMPARE(after.text, before.text);
        QCOMPARE(after.changed, 1);
        QCOMPARE(after.clipboard, before.clipboard);
        QCOMPARE(after.bullet, before.bullet);
        QCOMPARE(after.prompts, 0);
        for (const QString &other : {QStringLiteral("bold"), QStringLiteral("italics"), QStringLiteral("under"),
                                     QStringLiteral("strike")}) {
            if (other == key)
                continue;
            const std::optional<bool> v = other == QLatin1String("bold")      ? after.bold
                                          : other == QLatin1String("italics") ? after.italic
                                          : other == QLatin1String("under")   ? after.underline
                                                                              : after.strike;
            QCOMPARE(v, std::optional<bool>(false));
        }
    }

    void clipboardColourAndPrintKeysRunTheirCommands()
    {
        ScriptedDialogHost host;
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QStringLiteral("copy cut paste"));
        platform::Clipboard::SetText(QStringLiteral("before"));

        select(e, 0, 4);
        press(*w, "copy");
        QCOMPARE(platform::Clipboard::GetText(), QStringLiteral("copy"));
        QCOMPARE(e->Text(), QStringLiteral("copy cut paste"));
        QCOMPARE(w->changed, 0);

        select(e, 5, 4);
        press(*w, "cut");
        QCOMPARE(platform::Clipboard::GetText(), QStringLiteral("cut "));
        QCOMPARE(e->Text(), QStringLiteral("copy paste"));
        QCOMPARE(w->changed, 1);

        w->changed = 0;
        select(e, 0, 5);
        press(*w, "paste");
        QCOMPARE(e->Text(), QStringLiteral("cut paste"));
        QCOMPARE(w->changed, 1);

        // The toolbar's clipboard keys work whatever the Edit menu last showed.
        w->mnuedit_Click();
        QVERIFY(!w->mnucut->isEnabled());
        select(e, 0, 3);
        press(*w, "cut");
        QCOMPARE(e->Text(), QStringLiteral(" paste"));

        w->changed = 0;
        select(e, 1, 5);
        host.answerColor(QColor(0, 0, 255));
        press(*w, "clour");
        QCOMPARE(host.last().kind, Kind::Color);
        QCOMPARE(e->SelColor(), 0xFF0000u);
        QCOMPARE(w->changed, 1);

        w->changed = 0;
        host.answerPrinter(false);
        press(*w, "print");
        QCOMPARE(host.last().kind, Kind::Printer);
        QCOMPARE(e->Text(), QStringLiteral(" paste"));
        QCOMPARE(w->changed, 0);
        QCOMPARE(host.pending(), 0);
    }

    // --- open --------------------------------------------------------------------

    void openAsksLikeNewAndKeepsTextOnCancel()
    {
        ScriptedDialogHost host;
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QStringLiteral("unsaved"));
        editortest::makeUnsavedEdit(*w);

        host.answerMessage(vb::vbCancel);
        press(*w, "open");
        QCOMPARE(host.prompts().size(), 1);
        QCOMPARE(host.last().text, QStringLiteral("File not Saved ! Save it now ? "));
        QCOMPARE(host.last().buttons, vb::vbYesNoCancel);
        QCOMPARE(host.last().title, QString());
        QCOMPARE(e->Text(), QStringLiteral("unsaved"));
        QCOMPARE(w->changed, 1);

        // No, then no file chosen: the text stays, still unsaved.
        host.answerMessage(vb::vbNo).answerOpenFile(QString());
        press(*w, "open");
        QCOMPARE(host.last().kind, Kind::OpenFile);
        QCOMPARE(e->Text(), QStringLiteral("unsaved"));
        QCOMPARE(w->changed, 1);
        QVERIFY(w->curfile.isEmpty());
        QCOMPARE(w->windowTitle(), QStringLiteral("Editor [ Untitled ]"));

        // Yes, then Save's name dialog cancelled: nothing more happens.
        editortest::makeUnsavedEdit(*w);
        host.answerMessage(vb::vbYes).answerSaveFile(QString());
        press(*w, "open");
        QCOMPARE(host.last().kind, Kind::SaveFile);
        QCOMPARE(w->changed, 1);
        QCOMPARE(host.pending(), 0);
    }

    void openLoadsIntoTheVisibleControl()
    {
        ScriptedDialogHost host;
        auto w = openWindow();
        const QString file = path(QStringLiteral("open-me.rtf"));
        writeFile(file, QByteArrayLiteral("{\\rtf1\\ansi{\\fonttbl{\\f0 Courier New;}}\\f0\\fs28 Hello {\\b bold}\\par}"));
        w->cbosize->setEditText(QStringLiteral("junk"));
        host.answerOpenFile(file);
        press(*w, "open");
        QCOMPARE(w->editor->Text().trimmed(), QStringLiteral("Hello bold"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Editor [") + file + QStringLiteral("]"));
        QCOMPARE(w->curfile, file);
        QCOMPARE(w->changed, 0);
        QCOMPARE(platform::Screen::mousePointer(), 0);
        // The font boxes were refreshed from the loaded text.
        QCOMPARE(w->cbosize->currentText(), QString::number(w->editor->SelFontSize().value_or(-1)));

        // Word wrap on: the file goes into tmpeditor.
        w->mnu_wrap_Click();
        setText(w->tmpeditor, QString());
        host.answerOpenFile(file);
        press(*w, "open");
        QCOMPARE(w->tmpeditor->Text().trimmed(), QStringLiteral("Hello bold"));
        QVERIFY(w->tmpeditor->isVisible());

        // The refresh at the end is the key-up procedure, guard included.
        w->skipevent = 1;
        w->cbosize->setEditText(QStringLiteral("junk"));
        host.answerOpenFile(file);
        press(*w, "open");
        QCOMPARE(w->skipevent, 0);
        QCOMPARE(w->cbosize->currentText(), QStringLiteral("junk"));
    }

    void openOfAMissingFileSaysFileNotFound()
    {
        ScriptedDialogHost host;
        auto w = openWindow();
        setText(w->editor, QStringLiteral("kept"));
        editortest::makeUnsavedEdit(*w);
        host.answerMessage(vb::vbNo).answerOpenFile(path(QStringLiteral("no-such-file.rtf"))).answerMessage(vb::vbOK);
        press(*w, "open");
        QVERIFY(host.last().text.startsWith(QStringLiteral("File not Found\n") + path(QStringLiteral("no-such-file.rtf"))));
        QCOMPARE(host.last().buttons, vb::vbOKOnly);
        QCOMPARE(platform::Screen::mousePointer(), 0);
        QCOMPARE(w->editor->Text(), QStringLiteral("kept"));
        QCOMPARE(w->changed, 1);
        QVERIFY(w->curfile.isEmpty());
    }

    // --- save --------------------------------------------------------------------

    void saveOfAnUntitledDocument()
    {
        ScriptedDialogHost host;
        auto w = openWindow();
        setText(w->editor, QStringLiteral("to disk"));
        editortest::makeUnsavedEdit(*w);
        // No name chosen: nothing written, nothing changed.
        const QStringList filesBefore = QDir(m_dir.path()).entryList(QDir::Files);
        host.answerSaveFile(QString());
        press(*w, "save");
        QVERIFY(w->curfile.isEmpty());
        QCOMPARE(w->changed, 1);
        QCOMPARE(w->windowTitle(), QStringLiteral("Editor [ Untitled ]"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), filesBefore);

        const QString file = path(QStringLiteral("saved.rtf"));
        host.answerSaveFile(file);
        press(*w, "save");
        QCOMPARE(w->curfile, file);
        QCOMPARE(w->changed, 0);
        QCOMPARE(w->windowTitle(), frmeditor::namedCaption(file));
        QCOMPARE(platform::Screen::mousePointer(), 0);
        const QByteArray bytes = readFile(file);
        // As the menu's Save writes it: nothing after the document.
        QCOMPARE(bytes, w->editor->TextRTF());
        QTRY_VERIFY(w->editor->hasFocus());
        // Saved again under its name: no dialog.
        editortest::makeUnsavedEdit(*w);
        press(*w, "save");
        QCOMPARE(host.prompts().size(), 2);
        QCOMPARE(w->changed, 0);
        // No temporary file is left behind.
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files).filter(QStringLiteral("saved")),
                 QStringList{QStringLiteral("saved.rtf")});
    }

    void saveWithWordWrapEndsWithALineEnd()
    {
        ScriptedDialogHost host;
        auto w = openWindow();
        setText(w->editor, QStringLiteral("wrapped text"));
        w->mnu_wrap_Click();
        const QString file = path(QStringLiteral("wrapped.rtf"));
        w->curfile = file;
        w->Command1->setFocus();
        press(*w, "save");
        const QByteArray toolbar = readFile(file);
        QCOMPARE(toolbar, w->tmpeditor->TextRTF() + QByteArrayLiteral("\r\n"));
        // The focus stays where it was.
        QVERIFY(!w->tmpeditor->hasFocus());
        // The menu's Save writes the same document without it.
        w->mnusave_Click();
        QCOMPARE(readFile(file), w->tmpeditor->TextRTF());
        QCOMPARE(host.prompts().size(), 0);
    }

    void saveFailureKeepsChanged()
    {
        ScriptedDialogHost host;
        auto w = openWindow();
        setText(w->editor, QStringLiteral("x"));
        editortest::makeUnsavedEdit(*w);
        w->curfile = path(QStringLiteral("no-such-folder/doc.rtf"));
        host.answerMessage(vb::vbOK);
        press(*w, "save");
        QVERIFY(host.last().text.startsWith(QStringLiteral("Error Saving File\n") + w->curfile + QStringLiteral(": ")));
        QCOMPARE(w->changed, 1);
        QCOMPARE(platform::Screen::mousePointer(), 0);
        QCOMPARE(w->windowTitle(), QStringLiteral("Editor [ Untitled ]"));

        // An existing file is replaced whole, never left half written.
        const QString file = path(QStringLiteral("replace.rtf"));
        writeFile(file, QByteArray(100000, 'x'));
        w->curfile = file;
        press(*w, "save");
        QCOMPARE(readFile(file), w->editor->TextRTF());
    }

    // --- end ---------------------------------------------------------------------

    void endAsksItsOwnQuestion()
    {
        ScriptedDialogHost host;
        {
            auto w = openWindow();
            editortest::makeUnsavedEdit(*w);
            // Yes, and no name chosen: the editor stays open.
            host.answerMessage(vb::vbYes).answerSaveFile(QString());
            press(*w, "end");
            QCOMPARE(host.prompts().at(0).text, QStringLiteral("File not Saved ! Save it now ? "));
            QCOMPARE(host.prompts().at(0).buttons, vb::vbYesNoCancel);
            QCOMPARE(host.prompts().at(0).title, QString());
            QVERIFY(w->isVisible());
            QCOMPARE(w->changed, 1);
            // Cancel: stays open.
            host.answerMessage(vb::vbCancel);
            press(*w, "end");
            QVERIFY(w->isVisible());
            // No: closes, unsaved, and the close box's own question is not asked.
            host.answerMessage(vb::vbNo);
            press(*w, "end");
            QVERIFY(!w->isVisible());
            QCOMPARE(w->changed, 0);
            QCOMPARE(host.prompts().size(), 4);
        }
        {
            host.clear();
            auto w = openWindow();
            press(*w, "end");
            QVERIFY(!w->isVisible());
            QCOMPARE(host.prompts().size(), 0);
        }
    }

    // --- bullets -------------------------------------------------------------------

    void bulletsOnMixedSelectionsTwice()
    {
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QStringLiteral("one\ntwo\nthree\nfour"));
        select(e, 5, 1);   // in "two"
        press(*w, "bullet");
        QCOMPARE(e->SelBullet(), std::optional<bool>(true));
        select(e, 0, e->textLength());
        QCOMPARE(e->SelBullet(), std::nullopt);
        press(*w, "bullet");
        for (QTextBlock b = e->document()->begin(); b.isValid(); b = b.next())
            QVERIFY2(b.textList(), qPrintable(b.text()));
        QCOMPARE(e->SelBullet(), std::optional<bool>(true));
        press(*w, "bullet");
        for (QTextBlock b = e->document()->begin(); b.isValid(); b = b.next())
            QVERIFY2(!b.textList(), qPrintable(b.text()));
        QCOMPARE(e->Text(), QStringLiteral("one\r\ntwo\r\nthree\r\nfour"));
        QCOMPARE(w->changed, 1);

        // A selection that ends right at the start of a paragraph ("one" and
        // its break) does not touch that paragraph, nor its reading.
        select(e, 5, 5);   // "two" and its break
        press(*w, "bullet");
        select(e, 0, 5);
        QCOMPARE(e->SelBullet(), std::optional<bool>(false));
        press(*w, "bullet");
        QCOMPARE(e->SelBullet(), std::optional<bool>(true));
        QList<bool> bulleted;
        for (QTextBlock b = e->document()->begin(); b.isValid(); b = b.next())
            bulleted << bool(b.textList());
        QCOMPARE(bulleted, (QList<bool>{true, true, false, false}));
    }

    // --- numbering ------------------------------------------------------------------

    void numberingWorkedExamples_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("numbered");
        QTest::newRow("blank line") << "a\r\n\r\nb\r\n" << "1. a\r\n2. \r\n3. b\r\n\r\n";
        QTest::newRow("no final break") << "a\r\nb" << "1. a\r\n2. b\r\n";
        QTest::newRow("three lines") << "a\r\nb\r\nc" << "1. a\r\n2. b\r\n3. c\r\n";
        QTest::newRow("empty") << "" << "1. \r\n";
        QTest::newRow("last line blanks") << "a\r\nb\r\n   " << "1. a\r\n2. b\r\n   \r\n";
        QTest::newRow("only blanks") << "   " << "1.    \r\n";
        QTest::newRow("blank line then text") << "a\r\n  \r\nb" << "1. a\r\n2.   \r\n3. b\r\n";
        QTest::newRow("trailing breaks") << "a\r\n\r\n\r\n" << "1. a\r\n2. \r\n3. \r\n\r\n";
        QTest::newRow("tab is no blank") << "a\r\n\t" << "1. a\r\n2. \t\r\n";
    }

    void numberingWorkedExamples()
    {
        QFETCH(QString, text);
        QFETCH(QString, numbered);
        auto w = openWindow();
        setText(w->editor, QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
        QCOMPARE(w->editor->Text(), text);
        QCOMPARE(referenceNumbering(text), numbered);
        press(*w, "num");
        QCOMPARE(w->editor->Text(), numbered);
        QCOMPARE(w->changed, 1);
    }

    void numberingAgainstTheReference()
    {
        auto w = openWindow();
        QRandomGenerator rng(4242);
        const QString alphabet = QStringLiteral("ab  \t.\n\n\n");
        for (int round = 0; round < 150; ++round) {
            QString text;
            const int len = rng.bounded(0, 60);
            for (int i = 0; i < len; ++i)
                text += alphabet.at(rng.bounded(int(alphabet.size())));
            setText(w->editor, text);
            const QString before = w->editor->Text();
            press(*w, "num");
            const QString once = referenceNumbering(before);
            QCOMPARE(w->editor->Text(), once);
            // A second run numbers again.
            press(*w, "num");
            QCOMPARE(w->editor->Text(), referenceNumbering(once));
        }
    }

    void numberingKeepsCountingPast32767AndActsOnTmpeditor()
    {
        auto w = openWindow();
        QString text;
        for (int i = 0; i < 33000; ++i)
            text += QStringLiteral("line\n");
        setText(w->editor, text);
        press(*w, "num");
        const QString out = w->editor->Text();
        QVERIFY(out.startsWith(QLatin1String("1. line\r\n2. line\r\n")));
        QVERIFY(out.contains(QLatin1String("\r\n32767. line\r\n32768. line\r\n")));
        QVERIFY(out.endsWith(QLatin1String("\r\n33000. line\r\n\r\n")));
        // In a face so large that the old and the new text together are
        // taller than Qt lays out edit by edit (8,388,607 pixels): it
        // finishes, and Undo and Redo too.
        setText(w->editor, text);
        QFont large = w->editor->document()->defaultFont();
        large.setPixelSize(150);
        w->editor->document()->setDefaultFont(large);
        QVERIFY(w->editor->document()->documentLayout()->documentSize().height() > 8388607 / 2);
        const QString plain = w->editor->Text();
        press(*w, "num");
        QCOMPARE(w->editor->Text(), out);
        w->mnu_undo_Click();
        QCOMPARE(w->editor->Text(), plain);
        QCOMPARE(w->editor->SelStart(), 0);
        w->keyRedo_Click();
        QCOMPARE(w->editor->Text(), out);
        // Undone, then as many steps typed as it took: Undo takes the last
        // one back where it was, as any other.
        setText(w->editor, QStringLiteral("one\ntwo\n"));
        press(*w, "num");
        const int steps = w->editor->document()->availableUndoSteps();
        w->mnu_undo_Click();
        qint64 last = 0;
        for (int i = 0; i < 200 && w->editor->document()->availableUndoSteps() < steps; ++i) {
            w->editor->setSelStart(1 + i % 3);
            last = w->editor->SelStart();
            QTest::keyClick(w->editor, Qt::Key_X);
        }
        QCOMPARE(w->editor->document()->availableUndoSteps(), steps);
        w->mnu_undo_Click();
        QCOMPARE(w->editor->SelStart(), last);

        // Pictures are not kept, and leave no placeholder behind.
        setText(w->editor, QStringLiteral("a\n"));
        w->editor->moveCursor(QTextCursor::End);
        QImage img(4, 4, QImage::Format_RGB32);
        img.fill(Qt::green);
        w->editor->document()->addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("p")), img);
        QTextImageFormat pic;
        pic.setName(QStringLiteral("p"));
        w->editor->textCursor().insertImage(pic);
        press(*w, "num");
        QCOMPARE(w->editor->Text(), QStringLiteral("1. a\r\n2. \r\n"));
        QVERIFY(pictures(w->editor->document()).isEmpty());
        // Nor is formatting, whatever the caret sat in.
        setText(w->editor, QStringLiteral("bold"));
        select(w->editor, 0, 4);
        w->editor->setSelBold(true);
        w->editor->moveCursor(QTextCursor::End);
        press(*w, "num");
        select(w->editor, 0, w->editor->textLength());
        QCOMPARE(w->editor->SelBold(), std::optional<bool>(false));

        w->mnu_wrap_Click();
        setText(w->tmpeditor, QStringLiteral("x"));
        press(*w, "num");
        QCOMPARE(w->tmpeditor->Text(), QStringLiteral("1. x\r\n"));
    }

    // --- pictures -------------------------------------------------------------------

    void pictureInsertedAtTheCaretAtItsNaturalSize()
    {
        ScriptedDialogHost host;
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QStringLiteral("before after"));
        e->setSelStart(7);
        const QString bmp = savePicture(QStringLiteral("red.bmp"), "BMP", {9, 6});
        host.answerOpenFile(bmp);
        press(*w, "image");
        QCOMPARE(host.last().kind, Kind::OpenFile);
        // Every picture Tarbel reads, bitmaps first.
        const QStringList filters = host.last().file.qtFilter.split(QStringLiteral(";;"));
        QVERIFY2(filters.first().startsWith(QLatin1String("Pictures (*.bmp *.")), qPrintable(filters.first()));
        for (const char *pattern : {"*.png", "*.jpg", "*.jpeg", "*.gif"})
            QVERIFY2(filters.first().contains(QLatin1String(pattern)), pattern);
        QCOMPARE(filters.at(1), QStringLiteral("bitmap (*.bmp) (*.bmp)"));
        const QList<QTextImageFormat> pics = pictures(e->document());
        QCOMPARE(pics.size(), 1);
        QCOMPARE(pics.first().width(), 9.0);
        QCOMPARE(pics.first().height(), 6.0);
        const QImage image = e->document()
                                 ->resource(QTextDocument::ImageResource, QUrl(pics.first().name()))
                                 .value<QImage>();
        QCOMPARE(image.size(), QSize(9, 6));
        QCOMPARE(image.pixelColor(4, 3), QColor(200, 30, 40));
        QCOMPARE(e->document()->characterAt(int(e->toDocPosition(7))), QChar(QChar::ObjectReplacementCharacter));
        QCOMPARE(e->SelStart(), 8);
        QCOMPARE(w->changed, 1);

        // The next key does nothing but clear skipevent; the one after acts.
        QCOMPARE(w->skipevent, 1);
        select(e, 0, 6);
        QTest::keyClick(e, Qt::Key_F6);
        QCOMPARE(w->skipevent, 0);
        QVERIFY(e->Text().startsWith(QLatin1String("before")));
        QTest::keyClick(e, Qt::Key_F6);
        QVERIFY(e->Text().startsWith(QLatin1String("BEFORE")));

        // The next Open dialog shows every file again, and does not start
        // from the picture; the next picture dialog does.
        w->changed = 0;
        host.answerOpenFile(QString());
        press(*w, "open");
        QCOMPARE(host.last().kind, Kind::OpenFile);
        QCOMPARE(host.last().file.qtFilter, QString());
        QVERIFY(host.last().file.fileName != bmp);
        host.answerOpenFile(QString());
        press(*w, "image");
        QCOMPARE(host.last().file.fileName, bmp);
    }

    void picturesOfOtherFormatsAreTakenToo()
    {
        ScriptedDialogHost host;
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QString());
        for (const auto &[name, format] : {std::pair{"p.png", "PNG"}, std::pair{"j.jpg", "JPEG"},
                                           std::pair{"png-named.bmp", "PNG"}}) {
            host.answerOpenFile(savePicture(QLatin1String(name), format));
            press(*w, "image");
            QVERIFY2(host.messages().isEmpty(), name);
        }
        QList<QTextImageFormat> pics = pictures(e->document());
        QCOMPARE(pics.size(), 3);
        for (const QTextImageFormat &f : pics)
            QCOMPARE(QSize(int(f.width()), int(f.height())), QSize(7, 5));
        // A 1 x 1 GIF (Qt reads GIF but does not write it).
        const QString gif = path(QStringLiteral("dot.gif"));
        writeFile(gif, QByteArray::fromHex("47494638396101000100800000ffffff00000021f90401000000002c00000000"
                                           "010001000002024401003b"));
        host.answerOpenFile(gif);
        press(*w, "image");
        QVERIFY(host.messages().isEmpty());
        pics = pictures(e->document());
        QCOMPARE(pics.size(), 4);
        QCOMPARE(QSize(int(pics.last().width()), int(pics.last().height())), QSize(1, 1));
        // A JPEG is written back as the JPEG it was.
        QVERIFY(e->TextRTF().contains("\\jpegblip"));
    }

    void badPictureFilesInsertNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("cancelled") << QString() << QByteArray();
        QTest::newRow("missing") << "missing.bmp" << QByteArray();
        QTest::newRow("empty file") << "empty.bmp" << QByteArray("");
        QTest::newRow("text") << "text.bmp" << QByteArray("this is not a picture\r\n");
        QTest::newRow("truncated") << "cut.bmp" << QByteArray("BM\x10\x00");
        QTest::newRow("too large") << "huge.bmp" << hugeBmpHeader();
        QTest::newRow("folder") << "a-folder.bmp" << QByteArray("<dir>");
    }

    void badPictureFilesInsertNothing()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        ScriptedDialogHost host;
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QStringLiteral("text"));
        e->setSelStart(2);
        QString chosen;
        if (!file.isEmpty()) {
            chosen = path(file);
            if (content == "<dir>")
                QVERIFY(QDir().mkpath(chosen));
            else if (!file.startsWith(QLatin1String("missing")))
                writeFile(chosen, content);
        }
        // Cancel is silent; a file that is no picture is said.
        host.answerOpenFile(chosen);
        if (!chosen.isEmpty())
            host.answerMessage(vb::vbOK);
        press(*w, "image");
        QCOMPARE(host.messages().size(), chosen.isEmpty() ? 0 : 1);
        if (!chosen.isEmpty())
            QVERIFY(host.messages().first().startsWith(QStringLiteral("Image Retrieve Error\n")));
        QCOMPARE(host.pending(), 0);
        QCOMPARE(e->Text(), QStringLiteral("text"));
        QVERIFY(pictures(e->document()).isEmpty());
        QCOMPARE(w->skipevent, 1);
        QCOMPARE(w->changed, 0);
    }

    void pictureSurvivesSaveOpenAndWordWrap()
    {
        ScriptedDialogHost host;
        const QString file = path(QStringLiteral("with-picture.rtf"));
        {
            auto w = openWindow();
            setText(w->editor, QStringLiteral("picture: "));
            w->editor->moveCursor(QTextCursor::End);
            host.answerOpenFile(savePicture(QStringLiteral("keep.bmp"), "BMP", {11, 4}));
            press(*w, "image");
            w->mnu_wrap_Click();
            QCOMPARE(pictures(w->tmpeditor->document()).size(), 1);
            w->mnu_wrap_Click();
            host.answerSaveFile(file);
            press(*w, "save");
        }
        auto w = openWindow();
        host.answerOpenFile(file);
        press(*w, "open");
        const QList<QTextImageFormat> pics = pictures(w->editor->document());
        QCOMPARE(pics.size(), 1);
        QCOMPARE(QSize(int(pics.first().width()), int(pics.first().height())), QSize(11, 4));
        const QImage image =
            w->editor->document()->resource(QTextDocument::ImageResource, QUrl(pics.first().name())).value<QImage>();
        QCOMPARE(image.size(), QSize(11, 4));
        QCOMPARE(image.pixelColor(5, 2), QColor(200, 30, 40));
    }

    // Run with TARBEL_INTEROP=1 (its own ctest entry): LibreOffice opens the
    // saved file with its picture.
    void pictureOpensInLibreOffice()
    {
        if (!qEnvironmentVariableIsSet("TARBEL_INTEROP"))
            QSKIP("interoperability run only (TARBEL_INTEROP=1)");
        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty())
            QSKIP("LibreOffice (soffice) is not installed");
        ScriptedDialogHost host;
        const QString file = path(QStringLiteral("lo-picture.rtf"));
        {
            auto w = openWindow();
            setText(w->editor, QStringLiteral("a picture follows"));
            w->editor->moveCursor(QTextCursor::End);
            host.answerOpenFile(savePicture(QStringLiteral("lo.bmp"), "BMP", {40, 20}));
            press(*w, "image");
            host.answerSaveFile(file);
            press(*w, "save");
        }
        const QString out = path(QStringLiteral("lo-html"));
        QProcess p;
        p.start(soffice, {QStringLiteral("-env:UserInstallation=file://") + path(QStringLiteral("lo-profile")),
                          QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("html"),
                          QStringLiteral("--outdir"), out, file});
        QVERIFY(p.waitForFinished(240000));
        const QByteArray html = readFile(out + QStringLiteral("/lo-picture.html"));
        QVERIFY2(!html.isEmpty(), p.readAllStandardError().constData());
        const QString page = QString::fromUtf8(html).simplified();
        QVERIFY2(page.contains(QLatin1String("a picture follows")), html.constData());
        // The picture, at its size.
        QVERIFY2(page.contains(QLatin1String("<img ")) && page.contains(QLatin1String("width=\"40\" height=\"20\"")),
                 html.constData());
    }
};

QTEST_MAIN(TestEditorToolbar)
#include "tst_editor_toolbar.moc"
