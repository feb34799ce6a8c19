// The File menu: the save-first checks, opening and saving documents,
// inserting and writing selections, printing.
#include "documentformat.h"
#include "editorwindow.h"
#include "frmeditor.h"
#include "longwork.h"
#include "recoverycopy.h"
#include "rerun.h"
#include "runtime.h"
#include "samples.h"
#include "scripteddialoghost.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QPrinter>
#include <QProgressBar>
#include <QProcess>
#include <QTextBlock>
#include <QTextCursor>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTimer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Records the mouse pointer in force whenever a message box comes up.
class PointerHost : public ScriptedDialogHost {
public:
    QList<int> pointers;
    int messageBox(const QString &text, int buttons, const QString &title) override
    {
        pointers << platform::Screen::mousePointer();
        return ScriptedDialogHost::messageBox(text, buttons, title);
    }
};

// Limits the size of any file this process writes, as a full disk does.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

bool runningAsRoot() { return ::geteuid() == 0; }

// A recovery copy as a Tarbel that is no longer running left it.
void plantCopy(const QString &file, const QString &document, const QByteArray &text, qint64 minutesAgo,
               bool orphan = true)
{
    platform::RecoveryCopy copy =
        platform::RecoveryCopy::ofThisProcess(document, QString(), "{\\rtf1\\ansi " + text + "}");
    copy.time = copy.time.addSecs(-60 * minutesAgo);
    if (orphan)
        copy.started = -1;   // this process id, started another time: a reused id
    writeBytes(file, copy.encode());
}

// Watches a window while one long command runs, from a zero-interval timer,
// which fires only while the window's events are handled: how often, whether
// the busy pointer was up, what the progress bar showed. Presses Escape once
// the bar has moved, when told to.
class LongWorkWatch {
public:
    LongWorkWatch(frmeditor &w, bool escape)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this, &w, escape] {
            ++ticks;
            busy = busy || platform::Screen::mousePointer() == platform::Screen::vbHourglass;
            const QProgressBar *bar = w.StatusBar1->progressBar();
            if (!bar || !bar->isVisible())
                return;
            values.insert(bar->value());
            if (escape && values.size() >= 2 && !escaped) {
                escaped = true;
                QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QCoreApplication::sendEvent(w.activeEditor(), &key);
            }
        });
        m_timer.start(0);
    }
    int ticks = 0;
    bool busy = false;
    bool escaped = false;
    QSet<int> values;

private:
    QTimer m_timer;
};

// A document of many short paragraphs, some 3 MB of RTF.
QByteArray largeRtf()
{
    QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 ";
    for (int i = 0; i < 60000; ++i)
        rtf += "Line " + QByteArray::number(i) + " of the ledger, {\\b bold} and plain.\\par\r\n";
    return rtf + "}";
}

}  // namespace

class TestEditorDocuments : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }
    QStringList leftovers(const QString &folder, const QStringList &expected) const
    {
        QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        for (const QString &e : expected)
            names.removeAll(e);
        return names;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // No hand-off file is found at start-up.
        qputenv("WINEPREFIX", m_dir.filePath(QStringLiteral("no-prefix")).toLocal8Bit());
    }

    // ---- long work: the busy pointer, progress, events, cancel --------------

    void longWork_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("escape");
        for (const char *command : {"paste", "open", "save", "saveas", "numbering", "replace", "recover", "insertfile",
                                    "undo numbering", "redo numbering"})
            QTest::newRow(command) << QString::fromLatin1(command) << false;
        for (const char *command : {"paste", "open", "save", "numbering", "insertfile"})
            QTest::newRow(qPrintable(QStringLiteral("%1 cancelled").arg(QLatin1String(command))))
                << QString::fromLatin1(command) << true;
    }

    void longWork()
    {
        QFETCH(QString, command);
        QFETCH(bool, escape);
        // The bar at once, events at every piece: the documents stay small.
        platform::LongWork::setTiming(0, 0);
        const auto timing = qScopeGuard([] { platform::LongWork::setTiming(400, 40); });
        const QString state = path("state-long");
        qputenv("XDG_STATE_HOME", state.toLocal8Bit());
        const auto unsetState = qScopeGuard([] { qunsetenv("XDG_STATE_HOME"); });
        ScriptedDialogHost host;
        const QByteArray large = largeRtf();
        const QString file = path("long.rtf");
        const QByteArray oldFile = "{\\rtf1\\ansi the old file\\par}";
        const bool fromFile = command == QLatin1String("open") || command == QLatin1String("insertfile");
        const QByteArray written = fromFile ? large : oldFile;
        writeBytes(file, written);
        auto w = editortest::openWindow();
        if (command == QLatin1String("recover")) {
            const QString folder = state + QStringLiteral("/tarbel/recovery");
            QVERIFY(QDir().mkpath(folder));
            platform::RecoveryCopy copy = platform::RecoveryCopy::ofThisProcess(QString(), QString(), large);
            copy.started = -1;   // a Tarbel that ended
            writeBytes(folder + "/long.recovery", copy.encode());
        } else if (command != QLatin1String("open")) {
            const bool inserts = command == QLatin1String("paste") || command == QLatin1String("insertfile");
            w->editor->setTextRTF(inserts ? QByteArray("{\\rtf1\\ansi short\\par}") : large);
            if (command == QLatin1String("save"))
                w->curfile = file;
            editortest::makeUnsavedEdit(*w);
        }
        const QString unnumbered = w->editor->Text();
        platform::ToolbarButton num;
        num.Key = QStringLiteral("num");
        if (command.endsWith(QLatin1String(" numbering")))
            w->Toolbar1_ButtonClick(&num);
        if (command == QLatin1String("redo numbering"))
            w->mnu_undo_Click();
        const QString before = w->editor->Text();
        const int changedBefore = w->changed;
        {
            LongWorkWatch watch(*w, escape);
            if (command == QLatin1String("paste")) {
                platform::Clipboard::SetText(QString::fromLatin1(large));
                w->mnupaste_Click();
            } else if (command == QLatin1String("open")) {
                host.answerOpenFile(file);
                w->mnuopen_Click();
            } else if (command == QLatin1String("insertfile")) {
                host.answerOpenFile(file);
                w->mnu_insertfile_Click();
            } else if (command == QLatin1String("save")) {
                w->mnusave_Click();
            } else if (command == QLatin1String("saveas")) {
                host.answerSaveFile(path("long-as.rtf"));
                w->mnusaveas_Click();
            } else if (command == QLatin1String("numbering")) {
                w->Toolbar1_ButtonClick(&num);
            } else if (command == QLatin1String("undo numbering")) {
                w->mnu_undo_Click();
            } else if (command == QLatin1String("redo numbering")) {
                w->keyRedo_Click();
            } else if (command == QLatin1String("replace")) {
                host.answerInput(QStringLiteral("nowhere to be found")).answerInput(QStringLiteral("x"));
                host.answerMessage(vb::vbOK);   // Replace Over
                w->mnureplace_Click();
            } else {
                host.answerMessage(vb::vbYes);
                w->offerRecovery();
            }
            QVERIFY2(watch.ticks > 1, qPrintable(QString::number(watch.ticks)));
            QVERIFY(watch.busy);
            QVERIFY2(watch.values.size() > 1, "the progress bar did not move");
            QCOMPARE(watch.escaped, escape);
        }
        QCOMPARE(platform::Screen::mousePointer(), 0);
        QVERIFY(!w->StatusBar1->progressBar()->isVisible());
        QCOMPARE(w->StatusBar1->Panels().first()->label->text(), QStringLiteral("CAPS"));
        if (escape) {
            // Nothing of the work is left: the document, its history, the
            // file and the unsaved state are as they were.
            QCOMPARE(w->editor->Text(), before);
            QCOMPARE(w->editor->document()->isRedoAvailable(), false);
            QCOMPARE(w->changed, changedBefore);
            QCOMPARE(readBytes(file), written);
            QCOMPARE(host.pending(), 0);
            return;
        }
        if (command == QLatin1String("paste") || command == QLatin1String("insertfile")) {
            QVERIFY(w->editor->Text().contains(QStringLiteral("Line 59999 of the ledger")));
            QCOMPARE(w->changed, command == QLatin1String("paste") ? 1 : changedBefore);
            w->mnu_undo_Click();   // one step
            QCOMPARE(w->editor->Text(), before);
        } else if (command == QLatin1String("save") || command == QLatin1String("saveas")) {
            QCOMPARE(readBytes(w->curfile), w->editor->TextRTF() + (command == QLatin1String("saveas") ? "\r\n" : ""));
            QCOMPARE(w->changed, 0);
        } else if (command == QLatin1String("numbering") || command == QLatin1String("redo numbering")) {
            QVERIFY(w->editor->Text().startsWith(QStringLiteral("1. Line 0 of")));
            w->mnu_undo_Click();  // one step, however many pieces
            QCOMPARE(w->editor->Text(), unnumbered);
        } else if (command == QLatin1String("undo numbering")) {
            QCOMPARE(w->editor->Text(), unnumbered);
            QCOMPARE(w->editor->SelStart(), 0);
            w->keyRedo_Click();
            QVERIFY(w->editor->Text().startsWith(QStringLiteral("1. Line 0 of")));
        } else if (command != QLatin1String("replace")) {
            QVERIFY(w->editor->Text().contains(QStringLiteral("Line 59999 of the ledger, bold and plain.")));
        }
    }

    // ---- the save-first check of New, Open, Exit and the close box -------

    void newAnswers()
    {
        ScriptedDialogHost host;
        frmeditor w;
        w.editor->setTextRTF("draft");

        // Nothing changed: no question, the document is emptied.
        w.mnunew_Click();
        QCOMPARE(host.prompts().size(), 0);
        QCOMPARE(w.editor->Text(), QString());

        w.editor->setTextRTF("draft");
        editortest::makeUnsavedEdit(w);
        host.answerMessage(vb::vbCancel);
        w.mnunew_Click();
        QCOMPARE(host.last().text, QStringLiteral("File not Saved ! Save it now ? "));
        QCOMPARE(host.last().buttons, vb::vbYesNoCancel);
        QCOMPARE(host.last().title, QString());
        QCOMPARE(w.editor->Text(), QStringLiteral("draft"));
        QCOMPARE(w.changed, 1);

        // Yes, then no name: the command is abandoned.
        host.answerMessage(vb::vbYes).answerSaveFile(QString());
        w.mnunew_Click();
        QCOMPARE(w.editor->Text(), QStringLiteral("draft"));
        QCOMPARE(w.changed, 1);
        QVERIFY(w.curfile.isEmpty());

        // Yes and a name: saved, then emptied.
        const QString file = path("new-yes.rtf");
        host.answerMessage(vb::vbYes).answerSaveFile(file);
        w.mnunew_Click();
        QVERIFY(readBytes(file).contains("draft"));
        QCOMPARE(w.editor->Text(), QString());
        QCOMPARE(w.windowTitle(), QStringLiteral("Editor [ Untitled ]"));
        QVERIFY(w.curfile.isEmpty());
        QCOMPARE(w.changed, 0);

        // No: emptied without writing.
        w.editor->setTextRTF("second");
        editortest::makeUnsavedEdit(w);
        w.curfile = file;
        w.setWindowTitle(frmeditor::namedCaption(file));
        host.answerMessage(vb::vbNo);
        w.mnunew_Click();
        QCOMPARE(w.editor->Text(), QString());
        QVERIFY(!readBytes(file).contains("second"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Editor [ Untitled ]"));
        QCOMPARE(w.cbosize->currentText(), QString::number(w.editor->SelFontSize().value_or(0)));
        QCOMPARE(host.pending(), 0);
    }

    void openAnswers()
    {
        ScriptedDialogHost host;
        frmeditor w;
        const QString other = path("open-other.txt");
        writeBytes(other, "other text");

        w.editor->setTextRTF("mine");
        editortest::makeUnsavedEdit(w);
        host.answerMessage(vb::vbCancel);
        w.mnuopen_Click();
        QCOMPARE(w.editor->Text(), QStringLiteral("mine"));
        QCOMPARE(w.changed, 1);

        // No, then the dialog cancelled with no name in it: the text stays,
        // still unsaved, and the next command asks again.
        host.answerMessage(vb::vbNo).answerOpenFile(QString());
        w.mnuopen_Click();
        QCOMPARE(w.editor->Text(), QStringLiteral("mine"));
        QCOMPARE(w.changed, 1);
        QCOMPARE(w.windowTitle(), QStringLiteral("Editor [ Untitled ]"));
        host.answerMessage(vb::vbCancel);
        w.mnunew_Click();
        QCOMPARE(host.last().text, QStringLiteral("File not Saved ! Save it now ? "));
        QCOMPARE(w.editor->Text(), QStringLiteral("mine"));
        QCOMPARE(host.pending(), 0);

        // Yes with a name: the document is saved before the other opens.
        const QString saved = path("open-saved.rtf");
        w.editor->setTextRTF("keep me");
        editortest::makeUnsavedEdit(w);
        host.answerMessage(vb::vbYes).answerSaveFile(saved).answerOpenFile(other);
        w.mnuopen_Click();
        QVERIFY(readBytes(saved).contains("keep me"));
        QCOMPARE(w.editor->Text(), QStringLiteral("other text"));
        QCOMPARE(w.curfile, other);
        QCOMPARE(w.windowTitle(), QStringLiteral("Editor [") + other + QStringLiteral("]"));
        QCOMPARE(w.changed, 0);

        // Yes, and Save's dialog cancelled with no name: nothing opens.
        frmeditor u;
        u.editor->setTextRTF("untitled");
        editortest::makeUnsavedEdit(u);
        u.CMDialog1->FileName.clear();
        host.answerMessage(vb::vbYes).answerSaveFile(QString());
        u.mnuopen_Click();
        QCOMPARE(u.editor->Text(), QStringLiteral("untitled"));
        QCOMPARE(u.changed, 1);
        QCOMPARE(host.pending(), 0);
    }

    void exitAndCloseBox()
    {
        ScriptedDialogHost host;
        {
            frmeditor w;
            w.show();
            w.mnuexit_Click();   // unchanged: closes at once
            QCOMPARE(host.prompts().size(), 0);
            QVERIFY(!w.isVisible());
        }
        frmeditor w;
        w.show();
        w.editor->setTextRTF("unsaved");
        editortest::makeUnsavedEdit(w);
        host.answerMessage(vb::vbCancel);
        w.mnuexit_Click();
        QVERIFY(w.isVisible());
        QCOMPARE(host.last().text, QStringLiteral("Do You Want To Save Changes ? "));
        QCOMPARE(host.last().buttons, vb::vbYesNoCancel + vb::vbInformation);
        QCOMPARE(host.last().title, QStringLiteral("File Save"));

        host.answerMessage(vb::vbYes).answerSaveFile(QString());
        w.mnuexit_Click();
        QVERIFY(w.isVisible());
        QCOMPARE(w.changed, 1);

        // The close box asks the same question.
        host.answerMessage(vb::vbCancel);
        QVERIFY(!w.close());
        QVERIFY(w.isVisible());
        QCOMPARE(host.last().text, QStringLiteral("Do You Want To Save Changes ? "));
        QCOMPARE(host.last().title, QStringLiteral("File Save"));
        QCOMPARE(host.last().buttons, vb::vbYesNoCancel + vb::vbInformation);

        const QString file = path("exit-yes.rtf");
        host.answerMessage(vb::vbYes).answerSaveFile(file);
        QVERIFY(w.close());
        QVERIFY(!w.isVisible());
        QVERIFY(readBytes(file).contains("unsaved"));
        QCOMPARE(w.changed, 0);

        frmeditor n;
        n.show();
        editortest::makeUnsavedEdit(n);
        host.answerMessage(vb::vbNo);
        n.mnuexit_Click();
        QVERIFY(!n.isVisible());
        QCOMPARE(n.changed, 0);
        QCOMPARE(host.pending(), 0);
    }

    // ---- bytes of Save and Save As; the dialog's file name ----------------

    void saveAndSaveAsBytes()
    {
        ScriptedDialogHost host;
        frmeditor w;
        w.editor->setTextRTF("{\\rtf1\\ansi Hello {\\b bold} world\\par}");
        editortest::makeUnsavedEdit(w);
        const QString a = path("save.rtf");
        host.answerSaveFile(a);
        w.mnusave_Click();
        const QByteArray rtf = w.editor->TextRTF();
        QCOMPARE(readBytes(a), rtf);
        QCOMPARE(w.curfile, a);
        QCOMPARE(w.changed, 0);
        QCOMPARE(w.windowTitle(), QStringLiteral("Editor [") + a + QStringLiteral("]"));
        QCOMPARE(platform::Screen::mousePointer(), 0);

        // Named: no dialog.
        editortest::makeUnsavedEdit(w);
        w.mnusave_Click();
        QCOMPARE(host.pending(), 0);
        QCOMPARE(host.prompts().size(), 1);

        const QString b = path("saveas.rtf");
        editortest::makeUnsavedEdit(w);
        host.answerSaveFile(b);
        w.mnusaveas_Click();
        QCOMPARE(host.last().file.fileName, a);   // the name left by Save
        QCOMPARE(readBytes(b), rtf + "\r\n");
        QCOMPARE(w.changed, 0);
        QCOMPARE(w.curfile, b);
        QCOMPARE(w.windowTitle(), QStringLiteral("Editor [") + b + QStringLiteral("]"));

        // A later Save writes to the file the caption names.
        w.editor->setTextRTF("changed later");
        writeBytes(a, "old");
        w.mnusave_Click();
        QCOMPARE(readBytes(b), w.editor->TextRTF());
        QCOMPARE(readBytes(a), QByteArray("old"));

        // Save As cancelled with no name changes nothing.
        frmeditor u;
        host.answerSaveFile(QString());
        editortest::makeUnsavedEdit(u);
        u.mnusaveas_Click();
        QCOMPARE(u.changed, 1);
        QCOMPARE(u.windowTitle(), QStringLiteral("Editor [ Untitled ]"));

        // An untitled document never proposes the name of the document the
        // dialog saw last (after New, say), in Save or in Save As.
        u.changed = 0;
        host.answerOpenFile(a);
        u.mnuopen_Click();
        u.mnunew_Click();
        u.changed = 1;
        for (QAction *command : {u.mnusave, u.mnusaveas}) {
            host.answerSaveFile(QString());
            command->trigger();
            QCOMPARE(host.last().file.fileName, QString());
            QCOMPARE(host.last().file.directory, m_dir.path());
        }
        QCOMPARE(u.curfile, QString());
        QCOMPARE(u.changed, 1);
        QCOMPARE(host.pending(), 0);
    }

    void savedDocumentOpensAgainAndKeepsPermissions()
    {
        ScriptedDialogHost host;
        frmeditor w;
        const QString file = path("perm.rtf");
        writeBytes(file, "old");
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
        w.editor->setTextRTF("line one\r\nline two");
        host.answerSaveFile(file);
        w.mnusave_Click();
        QCOMPARE(QFile::permissions(file) & 0x7077,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
        QCOMPARE(leftovers(m_dir.path(), {}).filter(QStringLiteral("perm")), QStringList{QStringLiteral("perm.rtf")});

        frmeditor r;
        host.answerOpenFile(file);
        r.mnuopen_Click();
        QCOMPARE(r.editor->Text(), QStringLiteral("line one\r\nline two"));
        QCOMPARE(r.curfile, file);
    }

    void openPlainTextAndMarkup()
    {
        ScriptedDialogHost host;
        frmeditor w;
        const QString txt = path("plain.txt");
        writeBytes(txt, "just words, no markup");
        host.answerOpenFile(txt);
        w.mnuopen_Click();
        QCOMPARE(w.editor->Text(), QStringLiteral("just words, no markup"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Editor [") + txt + QStringLiteral("]"));
        QCOMPARE(w.cbofont->currentText(), w.editor->SelFontName().value_or(QString()));

        // Word wrap on: the document goes to tmpeditor.
        w.editor->hide();
        w.tmpeditor->show();
        const QString rtf = path("wrapped.rtf");
        writeBytes(rtf, "{\\rtf1\\ansi wrapped {\\b text}\\par}");
        host.answerOpenFile(rtf);
        w.mnuopen_Click();
        QVERIFY(w.tmpeditor->Text().startsWith(QStringLiteral("wrapped text")));
        QCOMPARE(w.tmpeditor->find(QStringLiteral("text")), true);
        QCOMPARE(w.tmpeditor->SelBold(), std::optional<bool>(true));
    }

    // A plain-text file is saved back as plain text, in its encoding and
    // with its line ends, while the document holds nothing it loses.
    void plainTextSavedAsRead_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("saved");   // after "+" typed at the end of the first line
        const QString txt = QStringLiteral("as-read.txt");
        QTest::newRow("UTF-8, LF") << txt << QByteArray("caf\xc3\xa9\nline two\n") << QByteArray("caf\xc3\xa9+\nline two\n");
        QTest::newRow("UTF-8 mark, CR LF") << txt << QByteArray("\xef\xbb\xbf" "a\r\nb") << QByteArray("\xef\xbb\xbf" "a+\r\nb");
        QTest::newRow("Windows-1252, CR LF") << txt << QByteArray("caf\xe9\r\n") << QByteArray("caf\xe9+\r\n");
        QTest::newRow("UTF-16LE") << txt << QByteArray("\xff\xfe" "a\0\n\0b\0", 8) << QByteArray("\xff\xfe" "a\0+\0\n\0b\0", 10);
        QTest::newRow("UTF-16BE, CR") << txt << QByteArray("\xfe\xff\0a\0\r", 6) << QByteArray("\xfe\xff\0a\0+\0\r\0", 8);
        // Large files are read a piece at a time (256 KB): a line end or a
        // character that straddles two pieces stays one.
        const QByteArray crlf = QByteArray(28, 'x').append("\r\n").repeated(8738);   // 256 KB - 4
        const QByteArray lf = QByteArray(29, 'x').append('\n').repeated(8738);
        QTest::newRow("CR LF across pieces") << txt << "a\r\n" + crlf + "\r\nb" << "a+\r\n" + crlf + "\r\nb";
        QTest::newRow("UTF-8 across pieces") << txt << "a\n" + lf + "x\xc3\xa9" << "a+\n" + lf + "x\xc3\xa9";
        // An empty file is what its name says.
        QTest::newRow("empty, .txt") << QStringLiteral("new.txt") << QByteArray() << QByteArray("+");
        QTest::newRow("empty, .rtf") << QStringLiteral("new.rtf") << QByteArray() << QByteArray("{\\rtf1");
        // Taller than 8,388,607 pixels (25,000 lines 300 points apart):
        // Qt 6.4 laid such a document out without end.
        QByteArray tall = "{\\rtf1\\ansi\\sl6000\\slmult0 ";
        for (int i = 0; i < 25000; ++i)
            tall += "Line " + QByteArray::number(i) + "\\par\r\n";
        QTest::newRow("tall, .rtf") << QStringLiteral("tall.rtf") << tall + "}" << QByteArray("{\\rtf1");
        // Taller than 21,474,836 pixels (30,000 lines in a 300-point face),
        // where Qt's text edit lost the scroll range and laid the document
        // out again from the top, over and over.
        QByteArray taller = "{\\rtf1\\ansi\\fs600 ";
        for (int i = 0; i < 30000; ++i)
            taller += "Line " + QByteArray::number(i) + "\\par\r\n";
        QTest::newRow("taller, .rtf") << QStringLiteral("taller.rtf") << taller + "}" << QByteArray("{\\rtf1");
        // Many tables, far from that height: laid out as one page, where
        // Qt moves a table an edit pushes down rather than laying it out.
        QByteArray tables = "{\\rtf1\\ansi ";
        for (int i = 0; i < 300; ++i)
            tables += "Line\\par\\trowd\\cellx2000\\cellx4000 \\intbl a\\cell b\\cell\\row\\pard\r\n";
        QTest::newRow("tables, .rtf") << QStringLiteral("tables.rtf") << tables + "}" << QByteArray("{\\rtf1");
    }

    void plainTextSavedAsRead()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, saved);
        ScriptedDialogHost host;
        frmeditor w;
        const QString txt = m_dir.filePath(name);
        writeBytes(txt, file);
        host.answerOpenFile(txt);
        w.mnuopen_Click();
        // Laid out to its end.
        const QTextDocument *doc = w.editor->document();
        const qreal height = doc->documentLayout()->documentSize().height();
        QVERIFY(doc->lastBlock().layout()->lineCount() > 0);
        QVERIFY(doc->documentLayout()->blockBoundingRect(doc->lastBlock()).bottom() <= height);
        QCOMPARE(doc->pageSize().height() > 0, name.startsWith(u"tall"));
        // The scroll bar reaches the end.
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        QCOMPARE(w.editor->verticalScrollBar()->maximum(), std::max(0, qRound(height) - w.editor->viewport()->height()));
        w.editor->setSelStart(0);
        QTest::keyClick(w.editor, Qt::Key_End);
        QTest::keyClick(w.editor, Qt::Key_Plus);
        w.mnusave_Click();
        const QByteArray bytes = readBytes(txt);
        QCOMPARE(saved.startsWith("{") ? bytes.left(saved.size()) : bytes, saved);
        QCOMPARE(w.changed, 0);
        QCOMPARE(host.pending(), 0);
    }

    // A large file's format is told a megabyte at a time, with the answer
    // the whole file gives: a character, a CR LF, a NUL or a bad byte at or
    // after a piece's end counts.
    void largeFileFormat_data()
    {
        QTest::addColumn<QByteArray>("file");
        const QByteArray mb(1 << 20, 'x');
        QTest::newRow("UTF-8 across pieces") << mb.left(mb.size() - 1) + "\xc3\xa9\n" + mb;
        QTest::newRow("UTF-8 mark, cut at the end") << "\xef\xbb\xbf" + mb + "\xe2\x82";
        QTest::newRow("Windows-1252 late") << mb + mb + "caf\xe9\r\n";
        QTest::newRow("NUL late") << mb + QByteArray(1, '\0');
        QTest::newRow("CR LF across pieces") << mb.left(mb.size() - 1) + "\r\n" + mb;
        QTest::newRow("CR at a piece's end") << mb.left(mb.size() - 1) + "\rx" + mb;
        QTest::newRow("LF late") << mb + mb + "\n";
        QTest::newRow("no line end") << mb + mb;
        QTest::newRow("picture") << "\x89PNG\r\n\x1a\n" + mb + mb;
    }

    void largeFileFormat()
    {
        QFETCH(QByteArray, file);
        const QString txt = path("large-format.txt");
        writeBytes(txt, file);
        DocumentFormat whole = DocumentFormat::of(file, txt);
        if (whole.kind == DocumentFormat::Refused)
            whole = DocumentFormat();
        QCOMPARE(DocumentFormat::ofFile(txt), whole);
    }

    // What plain text loses, or a file that would not open again as the
    // text (it would read as RTF, or as no text at all): Save asks. Cancel
    // writes nothing, No is Save As, Yes writes RTF over the text.
    void formattedPlainTextAsksBeforeRtf_data()
    {
        QTest::addColumn<QString>("inserted");   // at the start; none: the whole text made bold
        QTest::newRow("bold") << QString();
        QTest::newRow("begins like RTF") << QStringLiteral("{\\rtf1 x}");
        QTest::newRow("NUL") << QStringLiteral("BM") + QChar(0);
    }

    void formattedPlainTextAsksBeforeRtf()
    {
        QFETCH(QString, inserted);
        ScriptedDialogHost host;
        frmeditor w;
        const QString txt = path("todo.txt");
        const QString rtf = path("todo.rtf");
        for (const int answer : {vb::vbCancel, vb::vbNo, vb::vbYes}) {
            writeBytes(txt, "buy milk\n");
            host.answerOpenFile(txt).answerMessage(answer);
            w.mnuopen_Click();
            if (inserted.isEmpty()) {
                w.editor->selectAll();
                w.mnubold_Click();
            } else {
                w.editor->setSelStart(0);
                w.editor->setSelText(inserted);
            }
            if (answer == vb::vbNo)
                host.answerSaveFile(rtf);
            w.mnusave_Click();
            QVERIFY(host.messages().last().contains(txt));
            QCOMPARE(readBytes(txt).startsWith("{\\rtf1"), answer == vb::vbYes);
            QCOMPARE(w.curfile, answer == vb::vbNo ? rtf : txt);
            QCOMPARE(w.changed, answer == vb::vbCancel ? 1 : 0);
            w.changed = 0;
        }
        QVERIFY(readBytes(rtf).startsWith("{\\rtf1"));
        QCOMPARE(host.pending(), 0);
    }

    void focusReturnsToTheDocument()
    {
        ScriptedDialogHost host;
        frmeditor w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        const QString file = path("focus.txt");
        writeBytes(file, "focus");
        auto check = [&](const char *command, auto run, platform::RichTextBox *box) {
            w.cbofont->setFocus();
            QTRY_VERIFY(w.cbofont->hasFocus());
            run();
            QVERIFY2(box->hasFocus(), command);
        };
        check("New", [&] { w.mnunew_Click(); }, w.editor);
        host.answerOpenFile(file);
        check("Open", [&] { w.mnuopen_Click(); }, w.editor);
        check("Save", [&] { w.mnusave_Click(); }, w.editor);
        w.editor->hide();
        w.tmpeditor->show();
        host.answerSaveFile(file);
        check("Save As", [&] { w.mnusaveas_Click(); }, w.tmpeditor);
        host.answerSaveFile(path("focus-selection.txt"));
        check("Write File", [&] { w.mnu_writefile_Click(); }, w.tmpeditor);
        host.answerOpenFile(file);
        check("Insert File", [&] { w.mnu_insertfile_Click(); }, w.tmpeditor);
        QCOMPARE(host.pending(), 0);
    }

    // ---- failures ---------------------------------------------------------

    void openFailures_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QByteArray>("content");   // written to target first
        QTest::newRow("missing") << path("does-not-exist.rtf") << platform::systemReason(ENOENT) << QByteArray();
        QTest::newRow("folder") << m_dir.path() << platform::systemReason(EISDIR) << QByteArray();
        QTest::newRow("device") << QStringLiteral("/dev/zero") << QStringLiteral("not a file") << QByteArray();
        QTest::newRow("too large") << path("huge.rtf") << platform::systemReason(EFBIG) << QByteArray();
        QTest::newRow("unreadable") << path("unreadable.rtf") << platform::systemReason(EACCES) << QByteArray();
        QTest::newRow("device name") << QStringLiteral("C:\\docs\\nul.rtf")
                                     << QStringLiteral("nul.rtf is a Windows device name, not a file") << QByteArray();
        // Neither RTF nor text: not opened, and said so.
        QTest::newRow("picture") << path("photo.png") << QString() << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
        QTest::newRow("archive") << path("notes.zip") << QString() << QByteArray("PK\x03\x04\x14");
        QTest::newRow("NUL bytes") << path("data.txt") << QString() << QByteArray("text\0more", 9);
    }

    void openFailures()
    {
        QFETCH(QString, target);
        QFETCH(QString, reason);
        QFETCH(QByteArray, content);
        if (!content.isEmpty())
            writeBytes(target, content);
        if (target.endsWith(QLatin1String("huge.rtf"))) {
            QFile huge(target);
            QVERIFY(huge.open(QIODevice::WriteOnly));
            QVERIFY(huge.resize(qint64(3) << 30));   // sparse: takes no room
        }
        if (target.endsWith(QLatin1String("unreadable.rtf"))) {
            if (runningAsRoot())
                QSKIP("permissions do not bind the super-user");
            writeBytes(target, "secret");
            QFile::setPermissions(target, {});
        }
        PointerHost host;
        frmeditor w;
        w.editor->setTextRTF("kept");
        w.curfile = path("current.rtf");
        w.setWindowTitle(frmeditor::namedCaption(w.curfile));
        host.answerOpenFile(target).answerMessage(vb::vbOK);
        w.mnuopen_Click();
        if (content.isEmpty()) {
            QCOMPARE(host.last().text, QStringLiteral("File not Found\n") + target + QStringLiteral(": ") + reason);
            QCOMPARE(host.last().buttons, vb::vbOKOnly);
        } else {
            QCOMPARE(host.last().text, target + QStringLiteral("\nis not a text or RTF document."));
            QCOMPARE(readBytes(target), content);
        }
        QCOMPARE(host.last().title, QString());
        QCOMPARE(host.pointers, QList<int>{0});
        QCOMPARE(w.editor->Text(), QStringLiteral("kept"));
        QCOMPARE(w.curfile, path("current.rtf"));
        QCOMPARE(w.windowTitle(), frmeditor::namedCaption(path("current.rtf")));
        QCOMPARE(w.changed, 0);
        QFile::remove(path("huge.rtf"));
    }

    void saveFailuresLeaveTheOldFile()
    {
        PointerHost host;
        frmeditor w;
        const QString file = path("full-disk.rtf");
        writeBytes(file, "the old document");
        w.editor->setTextRTF(QByteArray(20000, 'x'));
        editortest::makeUnsavedEdit(w);
        w.curfile = file;
        {
            // A disk with room for 1000 bytes only.
            FileSizeLimit limit(1000);
            host.answerMessage(vb::vbOK);
            w.mnusave_Click();
        }
        QCOMPARE(host.last().text, QStringLiteral("Error Saving File\n") + file + QStringLiteral(": ")
                                       + platform::systemReason(EFBIG));
        QCOMPARE(host.pointers.last(), 0);
        QCOMPARE(readBytes(file), QByteArray("the old document"));
        QCOMPARE(leftovers(m_dir.path(), {}).filter(QStringLiteral("full-disk")), QStringList{QStringLiteral("full-disk.rtf")});
        QCOMPARE(w.changed, 1);
        QCOMPARE(w.windowTitle(), QStringLiteral("Editor [ Untitled ]"));

        // Save As and Write File report the same way.
        {
            FileSizeLimit limit(1000);
            host.answerSaveFile(file).answerMessage(vb::vbOK);
            w.mnusaveas_Click();
            QVERIFY(host.last().text.startsWith(QStringLiteral("Error Saving File\n") + file));
            w.editor->selectAll();
            host.answerSaveFile(file).answerMessage(vb::vbOK);
            w.mnu_writefile_Click();
            QVERIFY(host.last().text.startsWith(QStringLiteral("Error Saving File\n") + file));
        }
        QCOMPARE(readBytes(file), QByteArray("the old document"));
        QCOMPARE(w.changed, 1);
        QCOMPARE(platform::Screen::mousePointer(), 0);

        // A failed save during the save-first check keeps the document.
        {
            FileSizeLimit limit(1000);
            host.answerMessage(vb::vbYes).answerMessage(vb::vbOK);
            w.mnunew_Click();
        }
        QCOMPARE(w.editor->textLength(), qint64(20000));
        QCOMPARE(w.changed, 1);

        // A folder that does not exist, a path through a plain file: the
        // untitled document keeps no name, and the next Save asks again.
        for (const auto &[bad, error] : {std::pair(path("no-such-folder/a.rtf"), ENOENT),
                                         std::pair(file + QStringLiteral("/a.rtf"), ENOTDIR)}) {
            frmeditor u;
            u.changed = 1;
            host.answerSaveFile(bad).answerMessage(vb::vbOK);
            u.mnusave_Click();
            QCOMPARE(host.last().text, platform::failureText(QStringLiteral("Error Saving File"), bad,
                                                             platform::systemReason(error)));
            QCOMPARE(u.curfile, QString());
            QCOMPARE(u.windowTitle(), frmeditor::untitledCaption());
            host.answerSaveFile(QString());
            u.mnusave_Click();
            QCOMPARE(host.last().kind, ScriptedDialogHost::Kind::SaveFile);
        }
        QCOMPARE(host.pending(), 0);
    }

    // A folder that takes no new file: the file is written in place. A
    // symbolic link stays a link; the file it names is the one replaced.
    void foldersThatTakeNoNewFileAndLinks()
    {
        if (runningAsRoot()) {
            // Permissions do not bind the super-user: a copy of this suite
            // runs the case as nobody.
            rerun::run({QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                        QStringLiteral("--clear-groups")}, {}, true);
            return;
        }
        ScriptedDialogHost host;
        frmeditor w;
        const QString folder = path("read-only");
        QDir().mkpath(folder);
        const QString file = folder + QStringLiteral("/doc.rtf");
        const QString link = path("link.rtf");
        writeBytes(file, "old");
        QVERIFY(QFile::link(file, link));
        w.curfile = link;
        w.editor->setTextRTF("through the link");
        w.mnusave_Click();
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readBytes(file), w.editor->TextRTF());

        const auto rwx = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
        auto restore = qScopeGuard([&] { QFile::setPermissions(folder, rwx); });
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        for (const QString &target : {file, link}) {
            w.curfile = target;
            w.editor->setTextRTF(target.toUtf8());
            editortest::makeUnsavedEdit(w);
            w.mnusave_Click();
            QCOMPARE(w.changed, 0);
            QCOMPARE(readBytes(file), w.editor->TextRTF());
        }
        QVERIFY(QFileInfo(link).isSymLink());
        // A read-only file is still refused, and a new file cannot be made.
        QFile::setPermissions(file, QFileDevice::ReadOwner);
        for (const QString &target : {file, folder + QStringLiteral("/new.rtf")}) {
            w.curfile = target;
            host.answerMessage(vb::vbOK);
            w.mnusave_Click();
            QCOMPARE(host.last().text, platform::failureText(QStringLiteral("Error Saving File"), target,
                                                             platform::systemReason(EACCES)));
        }
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("doc.rtf")});
        QCOMPARE(host.pending(), 0);
    }

    // ---- Insert File and Write File ---------------------------------------

    // ---- the recovery copy ------------------------------------------------

    void recoveryCopyFollowsEdits()
    {
        qputenv("XDG_STATE_HOME", path("state-edits").toLocal8Bit());
        ScriptedDialogHost host;
        frmeditor w;
        const QString copy = w.recoveryFile();
        QVERIFY(copy.startsWith(path("state-edits/tarbel/recovery/")));
        QTest::keyClicks(w.editor, "unsaved words");
        QCOMPARE(w.changed, 1);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(copy), 10000);
        QVERIFY(platform::RecoveryCopy::decode(readBytes(copy))->content.contains("unsaved words"));
        // The user's alone: nothing for group and others.
        QCOMPARE(int(QFile::permissions(copy) & 0x77), 0);
        QCOMPARE(int(QFile::permissions(QFileInfo(copy).path()) & 0x77), 0);

        host.answerSaveFile(path("recovery-saved.rtf"));
        w.mnusave->trigger();
        QTRY_VERIFY(!QFile::exists(copy));

        // A copy that cannot be written is said in the status bar; editing
        // goes on and the next copy is written.
        platform::StatusPanel *note = w.StatusBar1->Panels().at(3);
        {
            FileSizeLimit full(100);
            QTest::keyClicks(w.editor, " more");
            QTRY_COMPARE_WITH_TIMEOUT(note->label->text(), QStringLiteral("No recovery copy"), 10000);
        }
        QVERIFY(!QFile::exists(copy));
        QTest::keyClicks(w.editor, " again");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(copy), 10000);
        // The note goes once the window has heard that the copy was written.
        QTRY_COMPARE_WITH_TIMEOUT(note->label->text(), QString(), 10000);

        // Ending the program removes it, whatever the answer.
        host.answerMessage(vb::vbNo);
        QVERIFY(w.close());
        QVERIFY(!QFile::exists(copy));
    }

    void recoveryOfferedAtStart()
    {
        const QString folder = path("state-offer/tarbel/recovery");
        qputenv("XDG_STATE_HOME", path("state-offer").toLocal8Bit());
        QVERIFY(QDir().mkpath(folder));
        plantCopy(folder + "/running.recovery", QString(), "still running", 0, false);
        plantCopy(folder + "/old.recovery", path("old.rtf"), "older work", 90);
        plantCopy(folder + "/new.recovery", QString(), "newer work", 5);
        plantCopy(folder + "/third.recovery", QString(), "declined", 200);
        writeBytes(folder + "/broken.recovery", "recovery copy 1\ndocument=x\n");
        ScriptedDialogHost host;
        QString own;

        // The newest first, after the unreadable one is reported; Yes.
        {
            frmeditor w;
            host.answerMessage(vb::vbOK).answerMessage(vb::vbYes);
            w.offerRecovery();
            QCOMPARE(host.prompts().size(), 2);
            QVERIFY(host.prompts().at(0).text.endsWith(folder + "/broken.recovery"));
            QVERIFY(host.last().text.startsWith(QStringLiteral("Tarbel ended before these changes were saved: Untitled, ")));
            QVERIFY(host.last().text.endsWith(QStringLiteral("\nRecover them?")));
            QCOMPARE(host.last().buttons, vb::vbYesNoCancel + vb::vbQuestion);
            QCOMPARE(w.editor->Text(), QStringLiteral("newer work"));
            QCOMPARE(w.windowTitle(), QStringLiteral("Editor [ Untitled ]"));
            QCOMPARE(w.changed, 1);
            // The old copy goes once this window's own copy holds the work.
            QTRY_VERIFY(!QFile::exists(folder + "/new.recovery"));
            own = QFileInfo(w.recoveryFile()).fileName();
            QVERIFY(QFile::exists(w.recoveryFile()));
        }
        // The next start offers the next one, and names its document.
        host.clear();
        {
            frmeditor w;
            host.answerMessage(vb::vbYes);
            w.offerRecovery();
            QCOMPARE(host.prompts().size(), 1);
            QVERIFY(host.last().text.contains(path("old.rtf") + ", "));
            QCOMPARE(w.windowTitle(), frmeditor::namedCaption(path("old.rtf")));
            QCOMPARE(w.curfile, path("old.rtf"));
            QTRY_VERIFY(!QFile::exists(folder + "/old.recovery"));
        }
        // Cancel (Escape, the close box) keeps it for the next start, No
        // removes it; the copy of a running Tarbel is never offered and the
        // unreadable one is kept.
        host.clear();
        {
            frmeditor w;
            host.answerMessage(vb::vbCancel).answerMessage(vb::vbNo);
            w.offerRecovery();
            QVERIFY(QFile::exists(folder + "/third.recovery"));
            w.offerRecovery();
            QCOMPARE(host.prompts().size(), 2);
            QVERIFY(w.editor->Text().isEmpty());
            QCOMPARE(w.changed, 0);
            w.offerRecovery();
            QCOMPARE(host.prompts().size(), 2);
        }
        QCOMPARE(leftovers(folder, {"running.recovery", "broken.recovery", "broken.recovery.reported", own}), QStringList());
    }

    // A document comes back from its copy as it was: a plain one through the
    // text loader, a rich one as RTF, and a copy an earlier Tarbel left.
    void recoveryCopyComesBackAsItWas_data()
    {
        QTest::addColumn<QString>("name");      // the document's file; empty: untitled
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("typed");     // put in at the end
        QTest::addColumn<bool>("bold");         // the first word made bold
        QTest::addColumn<bool>("text");         // the copy holds text
        QTest::addColumn<bool>("oldHead");      // written again as an earlier Tarbel wrote it
        const QString odd = QStringLiteral("\t\U0001F600") + QChar(0) + QChar(QChar::LineSeparator) + u'x';
        QTest::newRow("text, LF, tab, emoji") << "lf.txt" << QByteArray("one\ttwo\n\xF0\x9F\x98\x80\n") << odd << false << true << false;
        QTest::newRow("text, CR LF, a lone CR") << "crlf.txt" << QByteArray("caf\xE9\r\nb\rc\r\n\r\n") << " more" << false << true << false;
        QTest::newRow("untitled, typed in the window's face") << "" << QByteArray() << odd << false << false << false;
        QTest::newRow("text made bold") << "bold.txt" << QByteArray("plain\n") << " more" << true << false << false;
        QTest::newRow("rtf") << "rich.rtf" << QByteArray("{\\rtf1\\ansi {\\b rich} text\\par}") << " more" << false << false << false;
        QTest::newRow("old head") << "old.rtf" << QByteArray("{\\rtf1\\ansi old text\\par}") << " more" << false << false << true;
    }

    void recoveryCopyComesBackAsItWas()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, typed);
        QFETCH(bool, bold);
        QFETCH(bool, text);
        QFETCH(bool, oldHead);
        QTemporaryDir dir;
        qputenv("XDG_STATE_HOME", dir.filePath(QStringLiteral("state")).toLocal8Bit());
        const QString file = name.isEmpty() ? QString() : dir.filePath(name);
        if (!file.isEmpty())
            writeBytes(file, bytes);
        ScriptedDialogHost host;
        frmeditor before;
        if (!file.isEmpty()) {
            host.answerOpenFile(file);
            before.mnuopen_Click();
            QCOMPARE(before.curfile, file);
        }
        if (bold) {
            before.editor->setSelStart(0);
            before.editor->setSelLength(5);
            before.editor->setSelBold(true);
        }
        before.editor->setSelStart(before.editor->textLength());
        before.editor->setSelText(typed);
        QCOMPARE(before.changed, 1);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(before.recoveryFile()), 10000);
        std::optional<platform::RecoveryCopy> copy = platform::RecoveryCopy::decode(readBytes(before.recoveryFile()));
        QVERIFY(copy);
        QCOMPARE(copy->kind == platform::RecoveryCopy::Text, text);
        copy->started = -1;   // its writer has ended
        QByteArray planted = copy->encode();
        if (oldHead) {
            planted.replace("recovery copy 2\n", "recovery copy 1\n");
            planted.replace("content=rtf\nformat=rtf\n", "");
        }
        writeBytes(dir.filePath(QStringLiteral("state/tarbel/recovery/ended.recovery")), planted);
        frmeditor after;
        host.answerMessage(vb::vbYes);
        after.offerRecovery();
        QCOMPARE(after.editor->Text(), before.editor->Text());
        QCOMPARE(after.editor->TextRTF(), before.editor->TextRTF());
        QVERIFY(after.documentFormat() == before.documentFormat());
        QCOMPARE(after.windowTitle(), before.windowTitle());
        QCOMPARE(after.changed, 1);
        before.recoveryForget();
        after.recoveryForget();
    }

    // A child stuck writing the copy (its folder stopped answering): the
    // child holds nothing but its file, and the window goes on and waits for
    // nothing.
    void recoveryChildStuck()
    {
        if (!rerun::inside()) {
            QTemporaryDir dir;
            const QString state = dir.filePath(QStringLiteral("state"));
            rerun::run({}, {QStringLiteral("LD_PRELOAD=" TARBEL_FAULTSHIM), QStringLiteral("FAULTSHIM_STALL=") + state,
                            QStringLiteral("XDG_STATE_HOME=") + state, QStringLiteral("TARBEL_DIR=") + dir.path()});
            return;
        }
        const QString state = qEnvironmentVariable("FAULTSHIM_STALL");
        ScriptedDialogHost host;
        frmeditor w;
        w.show();
        QTest::keyClicks(w.editor, "stuck words");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(state + ".stalled"), 10000);
        QStringList children;
        for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            const QByteArray stat = readBytes(QStringLiteral("/proc/%1/stat").arg(pid));
            if (stat.mid(stat.lastIndexOf(')') + 2).split(' ').value(1).toLongLong() == ::getpid())
                children << pid;
        }
        QCOMPARE(children.size(), 1);
        const QString fds = QStringLiteral("/proc/%1/fd").arg(children.first());
        QCOMPARE(QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), QStringList{"0"});
        QCOMPARE(QFile::symLinkTarget(fds + QStringLiteral("/0")), w.recoveryFile() + QStringLiteral(".tmp"));

        QElapsedTimer took;
        took.start();
        host.answerSaveFile(qEnvironmentVariable("TARBEL_DIR") + QStringLiteral("/saved.rtf"));
        w.mnusave->trigger();
        QCOMPARE(w.changed, 0);
        QTest::qWait(50);
        QTest::keyClicks(w.editor, " more");
        QVERIFY(w.editor->Text().endsWith(QLatin1String(" more")));
        QVERIFY2(took.elapsed() < 1000, qPrintable(QString::number(took.elapsed())));
        // The child was stopped, and nothing of it is left.
        QTRY_VERIFY(!QFileInfo::exists(QStringLiteral("/proc/") + children.first()));
        host.answerMessage(vb::vbNo);
        QVERIFY(w.close());
        QCOMPARE(QDir(state + QStringLiteral("/tarbel/recovery")).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // At start-up recovery comes first, then the hand-off's look-up, which
    // replaces recovered work only after the save question.
    void recoveryThenHandOffAtStartUp_data()
    {
        QTest::addColumn<int>("recover");
        QTest::addColumn<int>("save");   // 0: not asked
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("copyKept");
        QTest::newRow("yes, then cancel") << int(vb::vbYes) << int(vb::vbCancel) << "recovered work" << false;
        QTest::newRow("yes, then no") << int(vb::vbYes) << int(vb::vbNo) << "handed off" << false;
        QTest::newRow("cancel") << int(vb::vbCancel) << 0 << "handed off" << true;
        QTest::newRow("no") << int(vb::vbNo) << 0 << "handed off" << false;
    }

    void recoveryThenHandOffAtStartUp()
    {
        QFETCH(int, recover);
        QFETCH(int, save);
        QFETCH(QString, shown);
        QFETCH(bool, copyKept);
        QTemporaryDir dir;
        qputenv("XDG_STATE_HOME", dir.filePath(QStringLiteral("state")).toLocal8Bit());
        qputenv("WINEPREFIX", dir.path().toLocal8Bit());
        const QString folder = dir.filePath(QStringLiteral("state/tarbel/recovery"));
        QVERIFY(QDir().mkpath(folder) && QDir().mkpath(dir.filePath(QStringLiteral("drive_c/Autodesk"))));
        plantCopy(folder + "/ended.recovery", QString(), "recovered work", 1);
        writeBytes(dir.filePath(QStringLiteral("drive_c/handed.rtf")), "{\\rtf1 handed off\\par}");
        writeBytes(dir.filePath(QStringLiteral("drive_c/Autodesk/Slls.txt")), "C:\\handed.rtf\r\nhanded\r\n");
        ScriptedDialogHost host;
        host.answerMessage(recover);
        if (save)
            host.answerMessage(save);
        {
            frmeditor w;
            w.show();
            QTRY_VERIFY(!w.Timer1->isActive());
            QTRY_COMPARE(host.pending(), 0);
            QCOMPARE(host.prompts().first().text.section(u'\n', 1), QStringLiteral("Recover them?"));
            if (save)
                QCOMPARE(host.last().text, frmeditor::saveFirstQuestion());
            QVERIFY(w.editor->Text().startsWith(shown));
            QCOMPARE(w.changed, shown == QLatin1String("recovered work") ? 1 : 0);
            QTRY_COMPARE(QFile::exists(folder + "/ended.recovery"), copyKept);
            QTRY_COMPARE(QFile::exists(w.recoveryFile()), w.changed == 1);
        }
        qputenv("WINEPREFIX", m_dir.filePath(QStringLiteral("no-prefix")).toLocal8Bit());
    }

    void insertFile()
    {
        ScriptedDialogHost host;
        frmeditor w;
        const QString markup = path("insert.rtf");
        writeBytes(markup, "{\\rtf1 X}");
        w.editor->setTextRTF("abcdef");
        w.editor->setSelStart(3);
        host.answerOpenFile(markup);
        w.mnu_insertfile_Click();
        QCOMPARE(w.editor->Text(), QStringLiteral("abc{\\rtf1 X}def"));
        QCOMPARE(w.changed, 1);
        QCOMPARE(w.windowTitle(), QStringLiteral("Editor [ Untitled ]"));
        QVERIFY(w.curfile.isEmpty());

        const QString plain = path("insert.txt");
        writeBytes(plain, "NEW");
        editortest::makeUnsavedEdit(w);
        w.editor->setSelStart(0);
        w.editor->setSelLength(3);
        host.answerOpenFile(plain);
        w.mnu_insertfile_Click();
        QCOMPARE(w.editor->Text(), QStringLiteral("NEW{\\rtf1 X}def"));
        QCOMPARE(w.changed, 1);

        host.answerOpenFile(path("gone.txt")).answerMessage(vb::vbOK);
        w.CMDialog1->FileName = path("gone.txt");
        w.mnu_insertfile_Click();
        QCOMPARE(host.last().text, platform::failureText(QStringLiteral("Error opening File"), path("gone.txt"),
                                                         platform::systemReason(ENOENT)));
        QCOMPARE(w.editor->Text(), QStringLiteral("NEW{\\rtf1 X}def"));
        QCOMPARE(host.pending(), 0);
    }

    void writeFile()
    {
        ScriptedDialogHost host;
        frmeditor w;
        w.editor->setTextRTF("alpha beta\r\ngamma");
        const QString doc = path("write-doc.rtf");
        w.curfile = doc;
        w.setWindowTitle(frmeditor::namedCaption(doc));
        w.editor->setSelStart(6);
        w.editor->setSelLength(10);
        const QString out = path("selection.txt");
        host.answerSaveFile(out);
        w.mnu_writefile_Click();
        QCOMPARE(readBytes(out), QByteArray("beta\r\ngamm\r\n"));
        // The dialog proposes no name; the document stays the current file.
        QCOMPARE(host.last().file.fileName, QString());
        QCOMPARE(w.curfile, doc);
        QCOMPARE(w.windowTitle(), frmeditor::namedCaption(doc));
        QCOMPARE(w.changed, 0);
        // Written over the document's own file: the document is unsaved work.
        host.answerSaveFile(doc).answerMessage(vb::vbCancel);
        w.mnu_writefile_Click();
        QCOMPARE(readBytes(doc), QByteArray("beta\r\ngamm\r\n"));
        QCOMPARE(w.changed, 1);
        w.mnuexit_Click();
        QCOMPARE(host.last().text, frmeditor::exitQuestion());
        w.changed = 0;

        w.editor->setSelStart(2);
        const QString empty = path("empty-selection.txt");
        host.answerSaveFile(empty);
        w.mnu_writefile_Click();
        QCOMPARE(readBytes(empty), QByteArray("\r\n"));

        // Characters of Windows-1252 are written as such; others as UTF-8.
        w.editor->setTextRTF(QStringLiteral("caf\u00e9").toUtf8());
        w.editor->selectAll();
        host.answerSaveFile(out);
        w.mnu_writefile_Click();
        QCOMPARE(readBytes(out), QByteArray("caf\xe9\r\n"));
        w.editor->setSelText(QStringLiteral("\u0436\u00e9"));
        w.editor->selectAll();
        host.answerSaveFile(out);
        w.mnu_writefile_Click();
        QCOMPARE(readBytes(out), QStringLiteral("\u0436\u00e9\r\n").toUtf8());
    }

    // ---- Print and Page Setup ---------------------------------------------

    void printToPdf()
    {
        const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
        if (pdftotext.isEmpty())
            QSKIP("pdftotext is not installed");
        auto textOf = [&](const QString &pdf) {
            QProcess p;
            p.start(pdftotext, {pdf, QStringLiteral("-")});
            p.waitForFinished(20000);
            return QString::fromUtf8(p.readAllStandardOutput()).simplified();
        };
        auto toPdf = [](const QString &file) {
            return [file](QPrinter *printer) {
                printer->setOutputFormat(QPrinter::PdfFormat);
                printer->setOutputFileName(file);
            };
        };
        ScriptedDialogHost host;
        frmeditor w;
        w.editor->setTextRTF("{\\rtf1\\ansi First paragraph here.\\par Second {\\b bold} paragraph.\\par}");

        const QString whole = path("whole.pdf");
        host.answerPrinter(true, toPdf(whole));
        w.mnu_print_Click();
        QVERIFY(!host.last().selectionChosen);
        QCOMPARE(w.CMDialog1->Flags, 264);
        QCOMPARE(textOf(whole), QStringLiteral("First paragraph here. Second bold paragraph."));

        w.editor->setSelStart(6);
        w.editor->setSelLength(9);
        const QString part = path("part.pdf");
        host.answerPrinter(true, toPdf(part));
        w.mnu_print_Click();
        QVERIFY(host.last().selectionChosen);
        QCOMPARE(w.CMDialog1->Flags, 265);
        QCOMPARE(textOf(part), QStringLiteral("paragraph"));

        // Cancel prints nothing, on either control.
        const QString none = path("none.pdf");
        host.answerPrinter(false, toPdf(none));
        w.mnu_print_Click();
        w.editor->hide();
        w.tmpeditor->show();
        host.answerPrinter(false, toPdf(none));
        w.mnu_print_Click();
        QVERIFY(!QFile::exists(none));

        // A printer that cannot write its output says so.
        host.answerPrinter(true, toPdf(path("no-folder/x.pdf"))).answerMessage(vb::vbOK);
        w.mnu_print_Click();
        QCOMPARE(host.last().text, QStringLiteral("Error Printing File"));
        QCOMPARE(platform::Screen::mousePointer(), 0);

        // Formatting and pictures reach the paper.
        const QString pdfimages = QStandardPaths::findExecutable(QStringLiteral("pdfimages"));
        const QString sample = QStringLiteral(TARBEL_SAMPLES_DIR "/libreoffice-notes.rtf");
        VERIFY_SAMPLE_UNLESS_LOCAL(QFile::exists(sample));
        if (!pdfimages.isEmpty() && QFile::exists(sample)) {
            frmeditor pictures;
            host.answerOpenFile(sample);
            pictures.mnuopen_Click();
            const QString pdf = path("pictures.pdf");
            host.answerPrinter(true, toPdf(pdf));
            pictures.mnu_print_Click();
            QProcess p;
            p.start(pdfimages, {QStringLiteral("-list"), pdf});
            p.waitForFinished(20000);
            // A header of two lines, then the picture at its own size (the
            // 16 by 16 stand-in would mean it was lost on the way).
            const QList<QByteArray> lines = p.readAllStandardOutput().split('\n');
            QVERIFY2(lines.size() > 3, lines.join('\n').constData());
            QCOMPARE(lines.at(2).simplified().split(' ').mid(2, 3), (QList<QByteArray>{"image", "32", "24"}));
            QVERIFY(textOf(pdf).contains(QStringLiteral("Field notes")));
        }

        // Page Setup works on the printer Print uses: 2 cm margins until
        // changed there, and a change stays for the next print.
        host.answerPageSetup(true);
        w.mnu_pagesetup_Click();
        QCOMPARE(host.last().kind, ScriptedDialogHost::Kind::PageSetup);
        QCOMPARE(w.CMDialog1->printer()->pageLayout().margins(QPageLayout::Millimeter), QMarginsF(20, 20, 20, 20));
        w.CMDialog1->printer()->setPageMargins(QMarginsF(5, 5, 5, 5), QPageLayout::Millimeter);
        host.answerPrinter(false);
        w.mnu_print_Click();
        QCOMPARE(w.CMDialog1->printer()->pageLayout().margins(QPageLayout::Millimeter), QMarginsF(5, 5, 5, 5));
        QCOMPARE(platform::Screen::mousePointer(), 0);
        QCOMPARE(host.pending(), 0);
    }
};

QTEST_MAIN(TestEditorDocuments)
#include "tst_editor_documents.moc"
