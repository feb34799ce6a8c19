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
    void WebBrowser1_SaveCompleted(const QString &path);
    void WebBrowser1_SaveFailed(const QString &path, const QString &problem);
    // True from a save's click until its page and record are written (or
    // have failed), and while later saves wait their turn.
    bool saving() const { return m_saveUnderWay || !m_waitingSaves.isEmpty(); }
    // The record file's place on this system.
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
    // The saves clicked: each runs when the one before it has ended.
    struct SaveRequest {
        QString address;   // the address box at the click
        QString path;      // the save-path box at the click
        QString target;    // where the page goes on this system
    };
    void startNextSave();
    void saveEnded();
    bool writeRecord(const SaveRequest &save, QString *why);
    // Closing while saving: the saves finish first, under the busy pointer.
    void endWhenSaved();
    // The runtime's report of a failure under the policy "none", which here
    // keeps the program running.
    void reportFailure(const QString &what);

    QWidget *m_client = nullptr;
    bool m_ended = false;
    bool m_endDue = false;        // a record was written: the program is to end
    bool m_endingAfterSaves = false;
    QTimer *m_endWait = nullptr;  // gives up waiting for a save at the end
    bool m_saveUnderWay = false;
    SaveRequest m_save;           // the save under way
    QList<SaveRequest> m_waitingSaves;
};
