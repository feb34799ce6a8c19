#pragma once
// The browser's one window. Its members are the window's controls and
// window-level variables; its methods are the event procedures, kept in
// files by subject:
//   frmMain_design.cpp      the window's design: controls, menus, toolbar
//   frmMain_startup.cpp     start-up, the settings file, layout, ending
//   frmMain_navigation.cpp  Go, the toolbar, the browse menu, completed pages
//   frmMain_saving.cpp      the file panel, the save button, File > Open
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMainWindow>
#include <QPushButton>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

#include "commondialog.h"
#include "filelists.h"
#include "toolbar.h"
#include "webbrowser.h"

class QAction;
class QMenu;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // Builds the window, runs its load event with the settings file of
    // programFolder and shows it. When start-up fails the failure is
    // reported, no window is left, and the exit code (not 0) is returned.
    // Loads the window and shows it; firstAddress, when given, is navigated
    // to instead of the start address. A non-zero result ends the program.
    static int Start(const QString &programFolder, std::unique_ptr<frmMain> &window,
                     const QString &firstAddress = {});

    // --- controls, in the order the window creates them ----------------
    QLineEdit *Text1 = nullptr;
    platform::FileListBox *File1 = nullptr;
    platform::DirListBox *Dir1 = nullptr;
    platform::DriveListBox *Drive1 = nullptr;
    QList<QIcon> ImageList1;
    platform::Toolbar *Toolbar1 = nullptr;
    QTimer *Timer1 = nullptr;
    QPushButton *Command2 = nullptr;
    platform::CommonDialog *cmdOpen = nullptr;
    QPushButton *Command1 = nullptr;
    QLineEdit *txtInput = nullptr;
    platform::WebBrowser *WebBrowser1 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label1 = nullptr;

    // --- menus ------------------------------------------------------------
    QMenu *mnuFile = nullptr;
    QAction *mnuFileOpen = nullptr, *Hyphen1 = nullptr, *mnuFileExit = nullptr;
    QMenu *mnuKesto = nullptr;
    QAction *mnuKestoBack = nullptr, *mnuKestoForward = nullptr, *mnuKestoHome = nullptr,
            *mnuKestoRefresh = nullptr, *mnuKestoStop = nullptr;

    // --- window-level variables --------------------------------------------
    QString strURL;      // the address box text as Go last found it
    QString filenam;     // the path the file panel composed last

    // The folder whose bckcol.cfg start-up reads.
    QString programFolder;

    static QString caption() { return QStringLiteral("Zanth Browser"); }
    static QString captionPrefix() { return QStringLiteral("Zanth Browser - "); }
    static QString startAddress() { return QStringLiteral("http://www.yahoo.com/"); }
    static QString settingsFileName() { return QStringLiteral("bckcol.cfg"); }

    // The window's outer size, in twips.
    double Width() const;
    double Height() const;

    // Ending the program. The program's own ending quits the application;
    // another action may be installed (nullptr restores the default).
    static void setEndAction(std::function<void()> action);
    void End();

    // --- start-up and layout ------------------------------------------------
    // Throws StartupError when the settings file cannot be read.
    struct StartupError {
        QString message;
    };
    void Form_Load();
    // Where start-up navigates: the start address unless one was given.
    QString firstAddress;
    void Form_Resize();
    void Form_Unload();
    void txtInput_GotFocus();
    void Timer1_Timer();
    // The settings file's first item as a 32-bit integer; StartupError when
    // the file is missing, unreadable, empty or its number is too large.
    static qint32 readSettingsFile(const QString &path);

    // --- navigation ---------------------------------------------------------
    void Command1_Click();
    // What Go leaves in the address box for the text typed: "http://" in
    // front of an address that has no scheme of its own, the text as typed
    // otherwise.
    static QString goBoxText(const QString &typed);
    void Toolbar1_ButtonClick(platform::ToolbarButton *Button);
    void mnuKestoBack_Click();
    void mnuKestoForward_Click();
    void mnuKestoHome_Click();
    void mnuKestoRefresh_Click();
    void mnuKestoStop_Click();
    void mnuFileExit_Click();
    void WebBrowser1_NavigateComplete2(QObject *pDisp, const QVariant &URL);

    // --- saving and the file panel -------------------------------------------
    void Drive1_Change();
    void Dir1_Change();
    void File1_Click();
    void Command2_Click();
    void mnuFileOpen_Click();
    void WebBrowser1_TitleChange(const QString &Text);
    void WebBrowser1_SaveCompleted(const QString &path);
    void WebBrowser1_SaveFailed(const QString &path, const QString &problem);

    // The save-and-end cycle. A save waits for the page to load, has the
    // page area write the page, then writes the record; the first record
    // makes the end due, which Timer1's tick brings once no dialog is open.
    // Saves clicked meanwhile wait their turn; closing the window while
    // saving lets the saves finish first.
    enum class Cycle {
        Browsing,        // nothing saved yet (or every save failed)
        WaitingForPage,  // a save waits for the page to finish loading
        Saving,          // the page area writes a page; its record follows
        EndDue,          // a record is written: Timer1's tick ends the program
        Closing,         // closed while saving: the end follows the saves
        Ended,
    };
    enum class CycleEvent {
        SaveClicked,     // a save joined the queue
        PageLoaded,      // the page finished loading, or was stopped
        SaveWritten,     // the page area wrote the page
        SaveFailed,      // it could not
        Tick,            // Timer1 (or a later look, while a dialog is open)
        CloseAsked,      // the window is closed
        GaveUp,          // closing waited kEndWaitMs for the saves
    };
    Cycle cycle() const { return m_cycle; }
    // True from a save's click until its page and record are written (or
    // have failed), and while later saves wait their turn.
    bool saving() const { return !m_saves.isEmpty(); }
    // True while a dialog of the program is on screen.
    bool dialogOpen() const;

    // The record's name for the Windows programs that read it, and its place
    // on this system.
    static QString recordName() { return QStringLiteral("C:\\Zanth.lib"); }
    static QString recordPath();
    // The record's bytes: both lines with CR LF, in Windows-1252. Characters
    // of the address that Windows-1252 cannot hold are percent-encoded as
    // UTF-8, so the first line is still an address.
    static QByteArray recordBytes(const QString &address, const QString &savePath);
    // The first character (a whole code point) of text that Windows-1252
    // cannot hold; empty when there is none.
    static QString unstorableCharacter(const QString &text);
    // The text with its line breaks taken out: what a one-line box holds.
    static QString withoutLineBreaks(const QString &text);
    // How long closing the window waits for a save under way.
    static constexpr int kEndWaitMs = 30000;

protected:
    void resizeEvent(QResizeEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildDesign();
    void buildToolbar();
    void buildMenus();
    void connectStartup();
    void connectNavigation();
    void connectSaving();
    // Keeps the docked toolbar across the top of the client area.
    void layoutDocked();
    // Keeps a text box on one line, whatever enters it.
    void keepOnOneLine(QLineEdit *box);
    // A save clicked: the boxes as they were at the click.
    struct SaveRequest {
        QString address;   // the address box
        QString path;      // the save-path box
        QString target;    // where the page goes on this system
        bool waited = false;   // it waited for the page: the address is read again
    };
    // The one transition function of the save-and-end cycle; detail is what
    // the page area said of a failed save.
    void advance(CycleEvent event, const QString &detail = {});
    // Starts the first save of the queue, or lets it wait for the page.
    void beginSave();
    // The first save has ended: the next one, the end, or browsing on.
    void nextSave();
    bool writeRecord(const SaveRequest &save, QString *why);
    // Closing while saving: the window waits under the busy pointer.
    void holdForSaves();
    // The runtime's report of a failure under the policy "none", which here
    // keeps the program running.
    void reportFailure(const QString &what);

    QWidget *m_client = nullptr;
    Cycle m_cycle = Cycle::Browsing;
    QList<SaveRequest> m_saves;   // the first one is under way
    bool m_recorded = false;      // a record was written: the end is due
    int m_dialogs = 0;            // the window's own dialogs on screen
    QTimer *m_endWait = nullptr;  // gives up waiting for the saves at the end
};
