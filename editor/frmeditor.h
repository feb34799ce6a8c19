#pragma once
// The editor's one window. Its members are the window's controls and
// window-level variables; its methods are the event procedures, kept in
// files that follow the menus:
//   frmeditor_design.cpp      the window's design: controls, menus, toolbar
//   frmeditor_shell.cpp       start-up, layout, closing
//   frmeditor_documents.cpp   document state (current file, load, save) and
//                             the File menu
//   frmeditor_edit.cpp        the Edit menu
//   frmeditor_formatting.cpp  character formatting, the font boxes, keys
//   frmeditor_search.cpp      the Search menu and the phrase look-up
//   frmeditor_toolbar.cpp     the toolbar's dispatch and its own commands
//   frmeditor_recovery.cpp    the recovery copy of unsaved work
#include <QComboBox>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QPushButton>
#include <QString>
#include <QTimer>

#include <functional>
#include <initializer_list>
#include <optional>
#include <utility>

#include "commondialog.h"
#include "documentformat.h"
#include "longwork.h"
#include "richtextbox.h"
#include "statusbar.h"
#include "toolbar.h"

class QAction;
class QMenu;

class frmeditor : public QMainWindow {
    Q_OBJECT
public:
    explicit frmeditor(QWidget *parent = nullptr);
    ~frmeditor() override;

    // --- controls, in the order the window creates them ----------------
    QTimer *Timer1 = nullptr;
    platform::StatusBar *StatusBar1 = nullptr;
    platform::RichTextBox *tmpeditor = nullptr;
    platform::Toolbar *Toolbar1 = nullptr;
    QPushButton *Command1 = nullptr;
    QComboBox *cbofont = nullptr;
    QComboBox *cbosize = nullptr;
    QList<QIcon> ImageList1;
    platform::RichTextBox *editor = nullptr;
    platform::CommonDialog *CMDialog1 = nullptr;

    // --- menus ------------------------------------------------------------
    QMenu *mnufile = nullptr;
    QAction *mnunew = nullptr, *mnuopen = nullptr, *mnusave = nullptr, *mnusaveas = nullptr,
            *mnu_line3 = nullptr, *mnu_insertfile = nullptr, *mnu_writefile = nullptr,
            *mnu_line5 = nullptr, *mnu_pagesetup = nullptr, *mnu_print = nullptr,
            *mnu_line4 = nullptr, *mnuexit = nullptr;
    QMenu *mnuedit = nullptr;
    QAction *mnu_undo = nullptr, *mnu_line = nullptr, *mnucut = nullptr, *mnupaste = nullptr,
            *mnucopy = nullptr, *mnuclear = nullptr, *mnu_tab1 = nullptr, *mnuselect = nullptr,
            *mnu_time = nullptr, *mnu_line1 = nullptr, *mnu_wrap = nullptr;
    // Ctrl+Y: the window's key for redoing what Undo took back (no menu item).
    QAction *keyRedo = nullptr;
    QMenu *mnuoption = nullptr;
    QAction *mnubold = nullptr, *mnuunderline = nullptr, *mnuitalics = nullptr, *mnu_clour = nullptr;
    QMenu *mnu_search = nullptr;
    QAction *mnu_find = nullptr, *mnureplace = nullptr;

    // --- window-level variables --------------------------------------------
    QString curfile;        // the document's file; empty while untitled
    int changed = 0;        // 1: changes not in the file
    int skipevent = 0;      // 1: the next key or mouse event of the editors is swallowed
    qint64 keystart = 0;    // search start of the latest replace pass

    // The visible one of editor and tmpeditor, or nullptr.
    platform::RichTextBox *activeEditor() const;
    // What the document's file holds (RTF, or plain text in its encoding):
    // how Save writes it back.
    const DocumentFormat &documentFormat() const { return m_format; }

    // The window's outer size and place, in twips.
    double Width() const;
    double Height() const;
    void setTop(double twips);
    void setLeft(double twips);

    static QString untitledCaption() { return QStringLiteral("Editor [ Untitled ]"); }
    static QString namedCaption(const QString &path)
    {
        return QStringLiteral("Editor ") + QStringLiteral("[") + path + QStringLiteral("]");
    }

    // --- shell --------------------------------------------------------------
    void Form_Load();
    void Form_Resize();
    void Timer1_Timer();

    // --- documents ----------------------------------------------------------
    // Asks question when changed is 1 and answers whether the command may go
    // on (Yes runs Save, and goes on only when a file name was chosen).
    bool SaveFirst(const QString &question, int icon = 0, const QString &title = {});
    static QString saveFirstQuestion() { return QStringLiteral("File not Saved ! Save it now ? "); }
    static QString exitQuestion() { return QStringLiteral("Do You Want To Save Changes ? "); }
    void mnunew_Click();
    void mnuopen_Click();
    void mnusave_Click();
    void mnusaveas_Click();
    void mnuexit_Click();
    void mnu_insertfile_Click();
    void mnu_writefile_Click();
    void mnu_pagesetup_Click();
    void mnu_print_Click();
    // The window is asked to close (close box, the desktop): true lets it.
    bool Form_QueryUnload();
    // A document named on the command line: opened as Open does, right
    // after the start-up look-up.
    void openAtStartup(const QString &path);

    // --- the Edit menu -------------------------------------------------------
    void mnuedit_Click();
    void mnu_undo_Click();
    void mnucut_Click();
    void mnupaste_Click();
    void mnucopy_Click();
    void mnuclear_Click();
    void mnuselect_Click();
    void mnu_time_Click();
    void mnu_wrap_Click();
    void keyRedo_Click();

    // --- formatting, font boxes, keys ---------------------------------------
    void mnubold_Click();
    void mnuitalics_Click();
    void mnuunderline_Click();
    void mnu_clour_Click();
    void cbofont_Click();
    void cbofont_KeyPress(int &KeyAscii);
    void cbosize_Click();
    void cbosize_KeyPress(int &KeyAscii);
    void editor_KeyDown(int &KeyCode, int Shift);
    void editor_KeyPress(int &KeyAscii);
    void editor_KeyUp(int &KeyCode, int Shift);
    void editor_MouseDown(int Button, int Shift, double X, double Y);
    void editor_Change();
    void tmpeditor_KeyDown(int &KeyCode, int Shift);
    void tmpeditor_KeyPress(int &KeyAscii);
    void tmpeditor_KeyUp(int &KeyCode, int Shift);
    void tmpeditor_MouseDown(int Button, int Shift, double X, double Y);
    void tmpeditor_Change();

    // --- search -------------------------------------------------------------
    void mnu_find_Click();
    void mnureplace_Click();
    void Command1_Click();

    // --- toolbar ------------------------------------------------------------
    void Toolbar1_ButtonClick(platform::ToolbarButton *Button);

    // --- recovery copy (frmeditor_recovery.cpp) -----------------------------
    // After a command: the copy goes when changed is no longer 1.
    void recoveryFollow();
    // The document was replaced, or the program ends: the copy goes.
    void recoveryForget();
    // At start-up: offers the newest copy a Tarbel that ended left behind.
    void offerRecovery();
    QString recoveryFile() const;   // this window's copy

protected:
    void resizeEvent(QResizeEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void buildDesign();
    void buildMenus();
    void buildToolbar();
    void buildStatusBar();
    // Each subsystem connects the events it handles; a menu item's Click
    // is its action's triggered signal.
    using Procedure = void (frmeditor::*)();
    void connectItems(std::initializer_list<std::pair<QAction *, Procedure>> items);
    void connectShell();
    void connectDocuments();
    void connectEdit();
    void connectFormatting();
    void connectSearch();
    // Keeps the docked bars and the editors' visible part in place.
    void layoutDocked();
    // Selecting a list entry from code raises Click as a user's choice does.
    void selectListIndex(QComboBox *box, int index);
    static void addSorted(QComboBox *box, const QString &item);

    bool m_loaded = false;

    // Undo (back) or Redo in the active editor.
    void stepHistory(bool back);

    // --- formatting and keys: private helpers -------------------------------
    // The guard of the editors' key and mouse procedures: true (and
    // skipevent cleared) when this event is the one to swallow.
    bool skipThisEvent();
    // What both editors do on a key or a click, each behind skipThisEvent.
    void keyDownOn(platform::RichTextBox *control, int KeyCode);
    void keyPressOn(platform::RichTextBox *control);
    void keyUpOn();
    void mouseDownOn();
    // Toggles an attribute of the active editor's selection: off when the
    // whole selection has it, on otherwise. False when no editor is shown.
    bool toggleSelection(std::optional<bool> (platform::RichTextBox::*get)() const,
                         void (platform::RichTextBox::*set)(bool));
    // Cut, Paste and Clear: text takes the active editor's selection's
    // place, and the document is marked changed.
    void replaceSelection(const QString &text);
    // The toolbar's own commands (frmeditor_toolbar.cpp).
    void toolbarOpen();
    void toolbarSave();
    void toolbarEnd();
    void toolbarBullet();
    void toolbarNumbering();
    void toolbarImage();
    QString m_lastPicture;   // where the picture dialog starts
    // "1. " before the first line and "n. " before each line after a line
    // end, until only blanks (and at most one line end) are left; CR LF is
    // appended first.
    static QString numberedText(const QString &text);

    // --- documents: private helpers -----------------------------------------
    // The one place caption, curfile, changed and the document's format
    // change together: path (empty: untitled) becomes the current file,
    // changedState changed's value, format what the file holds (without
    // one: what the file at path holds now).
    void setCurrentFile(const QString &path, int changedState, const DocumentFormat &format);
    void setCurrentFile(const QString &path, int changedState);
    // The one document load (Open, the toolbar's open, the look-up, a file
    // named at start-up): reads path whole into box under the busy pointer,
    // as RTF or as plain text. On success the file dialogs start from it, it
    // is the current file with changed at changedState, and the recovery
    // copy of the document it replaced goes. A file that cannot be read
    // shows "File not Found", one that is neither RTF nor text says so
    // (nothing when quiet); either changes nothing.
    bool loadDocument(platform::RichTextBox *box, const QString &path, int changedState, bool quiet = false);
    // The one way bytes become the document box shows: as plain text in
    // format's encoding when format is text, else as RTF; false (and box as
    // it was) when progress stopped it.
    static bool showDocument(platform::RichTextBox *box, const QByteArray &bytes, const DocumentFormat &format,
                             const platform::Progress &progress);
    // Open's part that the toolbar shares: the save-first check, the open
    // dialog and the load. False when the command ends there.
    bool openDocument(platform::RichTextBox *box);
    // Writes box's rich text to path (a line end after it when lineEnd) and
    // makes path the current, saved RTF file; false after a failed write.
    bool saveDocument(platform::RichTextBox *box, const QString &path, bool lineEnd);
    // Save's write (the menu's, the toolbar's, the save-first check's) of
    // the document to path, its own file or the name just chosen for it: a
    // plain-text file stays plain text while the document holds nothing
    // plain text loses, else the user chooses RTF, Save As or nothing.
    bool saveInFormat(platform::RichTextBox *box, const QString &path, bool lineEnd);
    // Save and Save As; false when the document was not written.
    bool saveCommand();
    bool saveAsCommand();
    // A File menu dialog, open (1) or save (2), showing every file; start:
    // the name it starts from (empty: none), else the one left from before.
    QString documentDialog(int action, const std::optional<QString> &start = std::nullopt);
    // The save-first check with question; when the command may go on, the
    // document's changes are let go (changed 0).
    bool letGoOfChanges(const QString &question, int icon = 0, const QString &title = {});
    // After a document is shown: the font boxes follow its selection and
    // the focus goes to box.
    void focusDocument(platform::RichTextBox *box);
    // Writes bytes to path through platform::writeFileSafely (a temporary
    // file renamed over the target, or the file rewritten in place where its
    // folder takes no new file). A Windows path ("C:\\...") is mapped
    // through the Wine drive mapping first. Returns false on failure (why
    // holds the reason); never throws.
    bool writeDocumentFile(const QString &path, const QByteArray &bytes, QString *why = nullptr);
    // A command's save: writes content(work) to path as long work, which
    // Escape cancels until the file is being written (content then answers
    // nothing, and so does saveFile: false, the old file as it was); on
    // failure shows "Error Saving File" and answers false.
    bool saveFile(const QString &path,
                  const std::function<std::optional<QByteArray>(platform::LongWork &work)> &content);
    // The document as RTF, made in slices between which the window lives;
    // nothing when the work was cancelled.
    static std::optional<QByteArray> rtfOf(platform::RichTextBox *box, platform::LongWork &work);
    // An untitled document asks for a name in the save dialog, proposing
    // none: false (and the focus back to the document) when none is chosen.
    bool nameUntitledDocument(QString &path);
    // Reads a whole file for a command; false when it is missing, a folder,
    // unreadable or too large to hold (why holds the reason).
    static bool readWholeFile(const QString &path, QByteArray &bytes, QString *why = nullptr);
    // cbosize and cbofont show the face and size of box's selection (empty
    // where it mixes them).
    void showSelectionFont(platform::RichTextBox *box);
    // Runs the key-release handling of editor with no key, to refresh the
    // font boxes.
    void refreshFontBoxes();
    DocumentFormat m_format;
    // The printer Print and Page Setup share; on first use it gets margins
    // of 2 cm, which Page Setup may then change.
    QPrinter *documentPrinter();
    bool m_printerPrepared = false;
    void openStartupFile();
    QString m_startupFile;

    // --- search: private helpers --------------------------------------------
    // The first exact occurrence of text at or after from (CR LF positions)
    // in box, or -1. Reads the document from there on, not its whole text,
    // telling progress every so many paragraphs; -2 when progress stopped it.
    static qint64 findExact(platform::RichTextBox *box, const QString &text, qint64 from,
                            const platform::Progress &progress = {});
    // Loads the document a hand-off names, as a clean document, and selects
    // the phrase; quiet: a document that cannot be read shows nothing (the
    // look-up at start-up).
    void phraseLookup(const QString &path, const QString &phrase, bool quiet);
    // Once the window is shown: offers recovery, runs Command1_Click for the
    // start-up look-up, then opens a document named on the command line.
    void startupLookup();
    bool m_startupLookup = false;

    // --- recovery copy: private helpers -------------------------------------
    void connectRecovery();
    class RecoveryKeeper *m_recovery = nullptr;
};
