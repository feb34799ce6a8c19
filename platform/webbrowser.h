#pragma once
// The web browser control: a page area on Qt WebEngine with the operations
// the browser window uses (navigation, history, home and search pages,
// reload and stop, the shown page's address and name, saving the shown page)
// and its completed-navigation event. Links that ask for a new window open
// in the page area itself; a download the page offers asks where to save it
// (through the dialog host) and reports a failure. Local pages cannot read
// other local files.
#include <QDateTime>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QVariant>
#include <QWebEngineDownloadRequest>
#include <QWebEngineView>

class QTimer;

namespace platform {

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
    // gets http://, a path names a local file).
    void Navigate(const QString &address);
    // One step in the history; WebBrowserError when there is no such step.
    void GoBack();
    void GoForward();
    // The configured home and search pages.
    void GoHome();
    void GoSearch();
    void Refresh();
    void Stop();

    // The page now shown: its address in its encoded form (percent-escapes,
    // an international host name as punycode), so always plain ASCII, and
    // its name (the title).
    QString LocationURL() const;
    QString LocationName() const;
    // True while a page is loading.
    bool Busy() const;

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
    // page to the path in input, an absolute path; .mht and .mhtml as MHTML,
    // anything else as a complete web page (the page and a "<name>_files"
    // folder). The save runs in the background and ends in SaveCompleted or
    // SaveFailed. Throws WebBrowserError when the save cannot start: another
    // save under way, nothing shown, a page still loading, a relative path.
    void ExecWB(int cmdID, int cmdexecopt, const QVariant &input = {}, QVariant *output = nullptr);
    bool Saving() const { return !m_saveTarget.isEmpty(); }

    // Size in twips.
    double Width() const;
    double Height() const;
    void setWidth(double twips);
    void setHeight(double twips);

    // The Chromium flags that keep a page area off the network but for
    // 127.0.0.1 (tests and benchmarks).
    static QByteArray offlineChromiumFlags();

signals:
    // A navigation completed: once for the page (an error page too) and once
    // for every frame of it that completes. pDisp is this control; URL the
    // encoded address of the page or frame.
    void NavigateComplete2(QObject *pDisp, const QVariant &URL);
    // The save started by ExecWB wrote its file.
    void SaveCompleted(const QString &path);
    // The save started by ExecWB failed; problem says why.
    void SaveFailed(const QString &path, const QString &problem);

private:
    class Page;
    friend class Page;
    void frameCompleted(const QString &frameUrl);
    void onLoadFinished(bool ok);
    void onDownloadRequested(QWebEngineDownloadRequest *download);
    void offerDownload(QWebEngineDownloadRequest *download);
    void followSave(QWebEngineDownloadRequest *download);
    void finishSave(bool ok, const QString &problem);

    Page *m_page = nullptr;
    QString m_token;          // carried by the frames' reports
    // The save under way: its target, and what the target looked like before.
    QString m_saveTarget;
    bool m_targetExisted = false;
    QDateTime m_targetModified;
    qint64 m_targetSize = -1;
    QPointer<QWebEngineDownloadRequest> m_download;
    QTimer *m_saveWatchdog = nullptr;
};

}  // namespace platform
