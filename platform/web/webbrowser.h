#pragma once
// The web browser control: a page area on Qt WebEngine with the operations
// the browser window uses (navigation, history, home and search pages,
// reload and stop, the shown page's address and name, saving the shown page)
// and its events. It keeps the page the user chose in its place: a request
// for a new window is followed here only when the user asked for it, local
// pages read nothing but their own parts, and downloads and dialogs a page
// starts by itself are refused. Every dialog goes through the dialog host.
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QVariant>
#include <QWebEngineDownloadRequest>
#include <QWebEngineView>

#include <memory>

class QTimer;

namespace platform {

class PageSave;

// A failed operation of the page area (GoBack with no earlier page, a save
// that cannot start). The callers decide whether to report or swallow it.
struct WebBrowserError {
    QString description;
};

class WebBrowser : public QWebEngineView {
    Q_OBJECT
public:
    explicit WebBrowser(QWidget *parent = nullptr);
    ~WebBrowser() override;

    // Call before QApplication exists. Chromium will not run as root with its
    // sandbox on: only then the sandbox is switched off, which is said on
    // stderr. Also shares OpenGL contexts, as Qt WebEngine needs.
    static void prepareProcess(const char *programName);

    // OLE command numbers ExecWB understands.
    static constexpr int OLECMDID_SAVEAS = 4;
    static constexpr int OLECMDEXECOPT_DONTPROMPTUSER = 2;

    // Starts loading the address and returns at once. The text is handed
    // over as typed and resolved the way an address bar does (a bare host
    // gets http://, a path names a local file); a Windows path (C:\x.html)
    // names the file the drive mapping gives. WebBrowserError when the
    // address names nothing that can be shown.
    void Navigate(const QString &address);
    // What Navigate loads for an address; an invalid URL when nothing, and
    // then refusal (when asked for) says why.
    static QUrl addressUrl(const QString &address, QString *refusal = nullptr);
    // One step in the history; WebBrowserError when there is no such step.
    void GoBack();
    void GoForward();
    // The configured home and search pages.
    void GoHome();
    void GoSearch();
    // Reloads the shown page; one that came from a form sent with POST is
    // sent again only when the user says so.
    void Refresh();
    void Stop();

    // The page now shown: its address in its encoded form (percent-escapes,
    // an international host name as punycode), so always plain ASCII, and
    // its name (the title).
    QString LocationURL() const;
    QString LocationName() const;
    // True while a page is loading.
    bool Busy() const;
    // True while the page area shows the engine's own error page (the
    // address could not be reached) instead of a page.
    bool ShowsErrorPage() const { return m_errorPage; }
    // True while the shown page is the answer to a form sent with POST.
    bool ShowsPostResult() const { return m_postResult; }
    // True while a dialog the page area opened (a download's, a page's
    // alert) is on screen.
    bool DialogOpen() const { return m_dialogs > 0; }

    // The page area's own settings (kept with QSettings). The home page
    // defaults to defaultHomePage, the search page to a search engine.
    static QString homePage();
    static void setHomePage(const QString &address);
    static QString searchPage();
    static void setSearchPage(const QString &address);
    static QString defaultSearchPage();
    // The start address of the program, the home page until one is set.
    static void setDefaultHomePage(const QString &address);

    // Only OLECMDID_SAVEAS with OLECMDEXECOPT_DONTPROMPTUSER: saves the shown
    // page to the path in input, an absolute path that names a file;
    // .mht and .mhtml as MHTML, anything else as a complete web page (the
    // page and a "<name>_files" folder beside it). A page the engine cannot
    // write in that form (one shown from an archive) is saved as the bytes
    // it was shown from. Nothing but the target and its folder of parts is
    // created or replaced. The save runs in the background and ends in
    // SaveCompleted or SaveFailed. Throws WebBrowserError when the save
    // cannot start: another save under way, nothing shown, an error page, a
    // page still loading, a path that names no file.
    void ExecWB(int cmdID, int cmdexecopt, const QVariant &input = {}, QVariant *output = nullptr);
    bool Saving() const { return m_save != nullptr; }
    // Ends the save under way: nothing of it is written, and no
    // SaveCompleted or SaveFailed follows.
    void CancelSave();

    // Size in twips.
    double Width() const;
    double Height() const;
    void setWidth(double twips);
    void setHeight(double twips);

    // The Chromium flags that keep a page area off the network but for
    // 127.0.0.1 (tests and benchmarks).
    static QByteArray offlineChromiumFlags();

    // Whether a page's request for a new window is followed (loaded in the
    // page area): only one the user started, and only to a web address.
    static bool followsNewWindow(const QUrl &url, bool userInitiated);
    // Whether a local page may load the local file wanted: only a regular
    // file inside the page's own "<name>_files" folder, both resolved.
    static bool isPartOfLocalPage(const QString &pageFile, const QString &wantedFile);

signals:
    // A navigation committed: the page area shows another page or another
    // place of the same page (an anchor, history.pushState), or a load
    // ended without committing anything. Raised once for the page (an error
    // page too) and once for every frame of it that completes. pDisp is
    // this control; URL the encoded address of the page or frame.
    void NavigateComplete2(QObject *pDisp, const QVariant &URL);
    // The shown page's name changed.
    void TitleChange(const QString &Text);
    // The save started by ExecWB wrote its file.
    void SaveCompleted(const QString &path);
    // The save started by ExecWB failed; problem says why.
    void SaveFailed(const QString &path, const QString &problem);

protected:
    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    class Page;
    friend class Page;
    friend class LocalPartsOnly;
    struct DialogShown;
    void frameCompleted(const QString &frameUrl);
    void onUrlChanged(const QUrl &url);
    void onLoadStarted();
    void onLoadFinished(bool ok);
    void onDownloadRequested(QWebEngineDownloadRequest *download);
    void offerDownload(QWebEngineDownloadRequest *download);
    // Lets an accepted download go on to its target; the user hears of its
    // end only if it fails.
    void continueDownload(QWebEngineDownloadRequest *download);
    // The program asked for the navigation under way (a typed address, the
    // history, reload): what it turns into is the user's doing.
    void programNavigation(const QUrl &url);
    // Whether the page may now start a download or a dialog: the user
    // clicked or typed in the page area within the last moments, and that
    // action has not been used for one yet.
    bool takeUserAction();

    Page *m_page = nullptr;
    QString m_token;          // carried by the frames' reports
    bool m_committed = false; // the load under way has committed
    bool m_errorPage = false;
    bool m_postResult = false;
    QByteArray m_mainMethod;  // the method of the last page request
    QUrl m_programUrl;        // where the program's last navigation went
    QElapsedTimer m_userAction;  // since the last click or key in the page
    bool m_userActionUsed = true;
    int m_dialogs = 0;
    std::unique_ptr<PageSave> m_save;
    QTimer *m_saveWatchdog = nullptr;
    struct AcceptedDownload {
        QString directory;
        QString fileName;
        QString chosen;   // as the user gave it, for the messages
    };
    // Downloads the user accepted, by the engine's id: the engine asks
    // again for one it takes up after the line was cut.
    QHash<quint32, AcceptedDownload> m_downloads;
};

}  // namespace platform
