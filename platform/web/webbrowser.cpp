#include "webbrowser.h"

#include "dialoghost.h"
#include "drivemapping.h"
#include "pagesave.h"
#include "units.h"

#include <QChildEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QSettings>
#include <QTimer>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNavigationRequest>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>

#include <cstdio>
#include <unistd.h>

namespace platform {

namespace {
const char kHomeKey[] = "WebBrowser/HomePage";
const char kSearchKey[] = "WebBrowser/SearchPage";
QString g_defaultHome = QStringLiteral("about:blank");

// A save that reports nothing in this time has failed.
constexpr int kSaveTimeoutMs = 120000;
// How long a click or key in the page lets the page start one download or
// dialog (the engine's own user activation lasts as long).
constexpr int kUserActionMs = 5000;

QString randomToken()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    QString t;
    for (quint32 w : words)
        t += QStringLiteral("%1").arg(w, 8, 16, QLatin1Char('0'));
    return t;
}

// An address as text in its encoded form: plain ASCII whatever it holds.
QString encoded(const QUrl &url)
{
    return QString::fromLatin1(url.toEncoded());
}

QSettings pageAreaSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QCoreApplication::organizationName().isEmpty() ? QStringLiteral("Zanth")
                                                                    : QCoreApplication::organizationName(),
                     QStringLiteral("WebBrowser"));
}

// A Windows path: a drive letter and a colon, alone or before a separator,
// or a backslash first (a path on drive C:, or a network path).
bool isWindowsPath(const QString &address)
{
    if (address.startsWith(u'\\'))
        return true;
    if (address.size() < 2 || address.at(1) != u':' || address.at(0).unicode() >= 128 || !address.at(0).isLetter())
        return false;
    if (address.size() == 2)
        return true;
    return address.at(2) == u'\\' || (address.at(2) == u'/' && address.mid(2, 2) != u"//");
}

// A form the user sends from the page itself to a new window is sent in the
// page area instead, so it keeps its POST body: the page area has no other
// window to send it to. Only forms sent by the user's own action.
const char kFormsStayHere[] = R"JS(document.addEventListener('submit', function (e) {
  const form = e.target;
  if (!(form instanceof HTMLFormElement) || !navigator.userActivation || !navigator.userActivation.isActive)
    return;
  const via = e.submitter && e.submitter.hasAttribute('formtarget') ? e.submitter : null;
  const target = ((via ? via.getAttribute('formtarget') : form.target) || '').toLowerCase();
  if (target === '' || target === '_self' || target === '_parent' || target === '_top')
    return;
  if (target !== '_blank' && window.frames[target])
    return;
  if (via)
    via.setAttribute('formtarget', '_self');
  else
    form.target = '_self';
}, true);)JS";
}  // namespace

// --- what a page may do --------------------------------------------------------------

bool WebBrowser::followsNewWindow(const QUrl &url, bool userInitiated)
{
    const QString scheme = url.scheme().toLower();
    return userInitiated && url.isValid() && !url.host().isEmpty()
           && (scheme == u"http" || scheme == u"https" || scheme == u"ftp");
}

bool WebBrowser::isPartOfLocalPage(const QString &pageFile, const QString &wantedFile)
{
    // Resolved, so no link inside the folder leads out of it.
    const QFileInfo page(pageFile);
    const QFileInfo wanted(wantedFile);
    const QString parts = QFileInfo(page.absolutePath() + u'/' + page.completeBaseName() + QStringLiteral("_files"))
                              .canonicalFilePath();
    const QString real = wanted.canonicalFilePath();
    return !parts.isEmpty() && !real.isEmpty() && QFileInfo(real).isFile() && real.startsWith(parts + u'/');
}

// Lets a local page load nothing local but its own parts, and notes the
// method of every page request (a form's answer came by POST).
class LocalPartsOnly : public QWebEngineUrlRequestInterceptor {
public:
    explicit LocalPartsOnly(WebBrowser *owner) : QWebEngineUrlRequestInterceptor(owner), m_owner(owner) {}
    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        const QUrl wanted = info.requestUrl();
        if (info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame) {
            const QByteArray method = info.requestMethod();
            QMetaObject::invokeMethod(m_owner, [owner = m_owner, method] { owner->m_mainMethod = method; });
            return;
        }
        if (!wanted.isLocalFile())
            return;
        const QUrl page = info.firstPartyUrl();
        if (!page.isLocalFile() || !WebBrowser::isPartOfLocalPage(page.toLocalFile(), wanted.toLocalFile()))
            info.block(true);
    }

private:
    QPointer<WebBrowser> m_owner;
};

// Counts a dialog of the page area while it is on screen.
struct WebBrowser::DialogShown {
    explicit DialogShown(WebBrowser *w) : browser(w) { ++browser->m_dialogs; }
    ~DialogShown()
    {
        if (browser)
            --browser->m_dialogs;
    }
    DialogShown(const DialogShown &) = delete;
    DialogShown &operator=(const DialogShown &) = delete;
    QPointer<WebBrowser> browser;
};

// Reports completed frames through a console message that starts with the
// control's token (the reporting script runs in its own world, so the
// page's scripts can neither read the token nor replace console.log), and
// shows the page's own dialogs through the dialog host: only when the user
// has just done something in the page, one at a time.
class WebBrowser::Page : public QWebEnginePage {
public:
    Page(WebBrowser *owner) : QWebEnginePage(owner), m_owner(owner) {}

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                  int lineNumber, const QString &sourceID) override
    {
        const QString prefix = m_owner->m_token + u' ';
        if (message.startsWith(prefix)) {
            m_owner->frameCompleted(message.mid(prefix.size()));
            return;
        }
        QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceID);
    }

    void javaScriptAlert(const QUrl &, const QString &msg) override
    {
        if (m_owner->DialogOpen() || !m_owner->takeUserAction())
            return;
        const DialogShown shown(m_owner);
        MsgBox(msg, vb::vbExclamation);
    }
    bool javaScriptConfirm(const QUrl &, const QString &msg) override
    {
        if (m_owner->DialogOpen() || !m_owner->takeUserAction())
            return false;
        const DialogShown shown(m_owner);
        return MsgBox(msg, vb::vbOKCancel + vb::vbQuestion) == vb::vbOK;
    }
    bool javaScriptPrompt(const QUrl &, const QString &msg, const QString &defaultValue, QString *result) override
    {
        if (m_owner->DialogOpen() || !m_owner->takeUserAction())
            return false;
        const DialogShown shown(m_owner);
        const QString answer = InputBox(msg, {}, defaultValue);
        if (result)
            *result = answer;
        return !answer.isEmpty();
    }
    QStringList chooseFiles(FileSelectionMode, const QStringList &oldFiles, const QStringList &) override
    {
        if (m_owner->DialogOpen())
            return {};
        const DialogShown shown(m_owner);
        FileDialogRequest request;
        request.fileName = oldFiles.value(0);
        const QString chosen = DialogHost::current().openFile(request);
        return chosen.isEmpty() ? QStringList() : QStringList{chosen};
    }

private:
    WebBrowser *m_owner;
};

WebBrowser::WebBrowser(QWidget *parent) : QWebEngineView(parent)
{
    m_token = randomToken();
    m_page = new Page(this);
    setPage(m_page);

    QWebEngineScript frames;
    frames.setName(QStringLiteral("frame-complete"));
    frames.setInjectionPoint(QWebEngineScript::DocumentReady);
    frames.setWorldId(QWebEngineScript::ApplicationWorld);
    frames.setRunsOnSubFrames(true);
    frames.setSourceCode(QStringLiteral("(function(){ if (window.top !== window) console.log('%1 ' + location.href); })();")
                             .arg(m_token));
    m_page->scripts().insert(frames);

    QWebEngineScript forms;
    forms.setName(QStringLiteral("forms-stay-here"));
    forms.setInjectionPoint(QWebEngineScript::DocumentCreation);
    forms.setWorldId(QWebEngineScript::ApplicationWorld);
    forms.setRunsOnSubFrames(false);
    forms.setSourceCode(QLatin1String(kFormsStayHere));
    m_page->scripts().insert(forms);

    // A local page reads no other local file: only the parts of a saved
    // page, in its own "<name>_files" folder, load. Switching the engine's
    // file access off would keep those parts out too, so the filter decides.
    m_page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    m_page->setUrlRequestInterceptor(new LocalPartsOnly(this));

    // There is one page area: a new window the user asked for opens here;
    // one a page asks for by itself is refused.
    connect(m_page, &QWebEnginePage::newWindowRequested, this, [this](QWebEngineNewWindowRequest &request) {
        if (followsNewWindow(request.requestedUrl(), request.isUserInitiated()))
            m_page->load(request.requestedUrl());
    });
    // A redirect of a navigation the program started is still the program's;
    // one the page starts is the page's.
    connect(m_page, &QWebEnginePage::navigationRequested, this, [this](QWebEngineNavigationRequest &request) {
        if (!request.isMainFrame())
            return;
        if (request.navigationType() == QWebEngineNavigationRequest::RedirectNavigation) {
            if (m_programUrl.isValid())
                m_programUrl = request.url();
        } else if (request.navigationType() != QWebEngineNavigationRequest::TypedNavigation
                   && request.navigationType() != QWebEngineNavigationRequest::BackForwardNavigation
                   && request.navigationType() != QWebEngineNavigationRequest::ReloadNavigation) {
            m_programUrl = QUrl();
        }
    });

    connect(m_page, &QWebEnginePage::loadStarted, this, &WebBrowser::onLoadStarted);
    connect(m_page, &QWebEnginePage::urlChanged, this, &WebBrowser::onUrlChanged);
    connect(m_page, &QWebEnginePage::loadFinished, this, &WebBrowser::onLoadFinished);
    connect(m_page, &QWebEnginePage::titleChanged, this, &WebBrowser::TitleChange);
    connect(m_page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
        switch (info.status()) {
        case QWebEngineLoadingInfo::LoadSucceededStatus:
            m_errorPage = false;
            break;
        case QWebEngineLoadingInfo::LoadFailedStatus:
        case QWebEngineLoadingInfo::LoadStoppedStatus:
            // The engine's error page, or a page that came but was stopped
            // (or failed) before its last part; a load that showed nothing
            // leaves what is shown as it was.
            if (info.isErrorPage())
                m_errorPage = true;
            else if (m_committed)
                m_errorPage = false;
            break;
        default:
            break;
        }
    });
    connect(m_page->profile(), &QWebEngineProfile::downloadRequested, this, &WebBrowser::onDownloadRequested);

    m_saveWatchdog = new QTimer(this);
    m_saveWatchdog->setSingleShot(true);
    m_saveWatchdog->setInterval(kSaveTimeoutMs);
    connect(m_saveWatchdog, &QTimer::timeout, this, [this] {
        if (!m_save)
            return;
        const QString target = m_save->target();
        CancelSave();
        emit SaveFailed(target, QStringLiteral("The page did not finish saving."));
    });
}

WebBrowser::~WebBrowser() = default;

void WebBrowser::prepareProcess(const char *programName)
{
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        std::fprintf(stderr, "%s: running as root, so the web engine's sandbox is switched off\n", programName);
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

QByteArray WebBrowser::offlineChromiumFlags()
{
    return QByteArrayLiteral("--disable-gpu --disable-background-networking --disable-component-update "
                             "--disable-domain-reliability --disable-sync --no-pings "
                             "--host-resolver-rules=\"MAP * ~NOTFOUND, EXCLUDE 127.0.0.1\" "
                             "--no-proxy-server");
}

// --- the user's actions ----------------------------------------------------------------

bool WebBrowser::event(QEvent *e)
{
    // The engine draws the page in a child widget it replaces now and then;
    // every one of them reports the user's clicks and keys.
    if (e->type() == QEvent::ChildAdded)
        if (QObject *child = static_cast<QChildEvent *>(e)->child(); child && child->isWidgetType())
            child->installEventFilter(this);
    return QWebEngineView::event(e);
}

bool WebBrowser::eventFilter(QObject *watched, QEvent *e)
{
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::TouchBegin:
        m_userAction.start();
        m_userActionUsed = false;
        break;
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent *>(e)->key();
        if (key != Qt::Key_Shift && key != Qt::Key_Control && key != Qt::Key_Alt && key != Qt::Key_Meta) {
            m_userAction.start();
            m_userActionUsed = false;
        }
        break;
    }
    default:
        break;
    }
    return QWebEngineView::eventFilter(watched, e);
}

bool WebBrowser::takeUserAction()
{
    if (m_userActionUsed || !m_userAction.isValid() || m_userAction.elapsed() > kUserActionMs)
        return false;
    m_userActionUsed = true;
    return true;
}

void WebBrowser::programNavigation(const QUrl &url) { m_programUrl = url; }

// --- navigation ----------------------------------------------------------------------------

QUrl WebBrowser::addressUrl(const QString &address, QString *refusal)
{
    if (isWindowsPath(address)) {
        const QString local = mapDrivePath(address, refusal);
        if (local.isEmpty() || QFileInfo(local).isRelative())
            return {};
        return QUrl::fromLocalFile(local);
    }
    return QUrl::fromUserInput(address);
}

void WebBrowser::Navigate(const QString &address)
{
    QString refusal;
    const QUrl url = addressUrl(address, &refusal);
    if (isWindowsPath(address) && !url.isValid())
        throw WebBrowserError{QStringLiteral("%1 cannot be opened. %2").arg(address, refusal).trimmed()};
    programNavigation(url);
    load(url);
}

void WebBrowser::GoBack()
{
    if (!history()->canGoBack())
        throw WebBrowserError{QStringLiteral("There is no earlier page.")};
    programNavigation(history()->backItem().url());
    back();
}

void WebBrowser::GoForward()
{
    if (!history()->canGoForward())
        throw WebBrowserError{QStringLiteral("There is no later page.")};
    programNavigation(history()->forwardItem().url());
    forward();
}

void WebBrowser::GoHome() { Navigate(homePage()); }
void WebBrowser::GoSearch() { Navigate(searchPage()); }

void WebBrowser::Refresh()
{
    if (m_postResult) {
        const DialogShown shown(this);
        if (MsgBox(QStringLiteral("This page is the answer to a form. Reloading it sends the form again.\n\n"
                                  "Send the form again?"),
                   vb::vbYesNo + vb::vbQuestion)
            != vb::vbYes)
            return;
    }
    programNavigation(url());
    reload();
}

void WebBrowser::Stop() { stop(); }

QString WebBrowser::LocationURL() const { return encoded(url()); }
QString WebBrowser::LocationName() const { return title(); }
bool WebBrowser::Busy() const { return m_page->isLoading(); }

QString WebBrowser::homePage() { return pageAreaSettings().value(kHomeKey, g_defaultHome).toString(); }
void WebBrowser::setHomePage(const QString &address) { pageAreaSettings().setValue(kHomeKey, address); }
QString WebBrowser::defaultSearchPage() { return QStringLiteral("http://www.google.com/"); }
QString WebBrowser::searchPage() { return pageAreaSettings().value(kSearchKey, defaultSearchPage()).toString(); }
void WebBrowser::setSearchPage(const QString &address) { pageAreaSettings().setValue(kSearchKey, address); }
void WebBrowser::setDefaultHomePage(const QString &address) { g_defaultHome = address; }

double WebBrowser::Width() const { return pixelsToTwipsX(width()); }
double WebBrowser::Height() const { return pixelsToTwipsY(height()); }
void WebBrowser::setWidth(double twips) { resize(std::max(0, twipsToPixelsX(twips)), height()); }
void WebBrowser::setHeight(double twips) { resize(width(), std::max(0, twipsToPixelsY(twips))); }

void WebBrowser::onLoadStarted()
{
    m_committed = false;
}

void WebBrowser::onUrlChanged(const QUrl &address)
{
    // The navigation committed (another page, or another place in this
    // one): the window shows it now, not once every picture is in.
    m_committed = true;
    m_programUrl = QUrl();
    m_postResult = m_mainMethod == "POST";
    emit NavigateComplete2(this, QVariant(encoded(address)));
}

void WebBrowser::onLoadFinished(bool)
{
    // A load that committed nothing new (a reload, a stopped or failed
    // navigation) still ends in the update.
    if (!m_committed)
        emit NavigateComplete2(this, QVariant(encoded(url())));
}

void WebBrowser::frameCompleted(const QString &frameUrl)
{
    emit NavigateComplete2(this, QVariant(encoded(QUrl(frameUrl))));
}

// --- downloads ----------------------------------------------------------------------------------

void WebBrowser::onDownloadRequested(QWebEngineDownloadRequest *download)
{
    if (!download || download->page() != m_page)
        return;
    if (m_save && m_save->claim(download))
        return;
    if (m_downloads.contains(download->id())) {
        continueDownload(download);
        return;
    }
    if (download->isSavePageDownload()) {
        download->cancel();   // a page save nobody asked for
        return;
    }
    // A download is the user's when a navigation the program started turned
    // into it, or when the user has just clicked or typed in the page; one
    // dialog at a time.
    const bool asked = (m_programUrl.isValid() && download->url() == m_programUrl) || takeUserAction();
    m_programUrl = QUrl();
    if (!asked || DialogOpen()) {
        download->cancel();
        return;
    }
    offerDownload(download);
}

void WebBrowser::offerDownload(QWebEngineDownloadRequest *download)
{
    // The dialog is shown while the request waits: one not accepted by the
    // end of this call is dropped.
    FileDialogRequest request;
    request.title = QStringLiteral("Save download as");
    request.fileName = download->downloadFileName();
    request.directory = download->downloadDirectory();
    const QPointer<QWebEngineDownloadRequest> guard(download);
    QString chosen;
    {
        const DialogShown shown(this);
        chosen = DialogHost::current().saveFile(request);
    }
    if (!guard)
        return;
    if (chosen.isEmpty()) {
        download->cancel();
        return;
    }
    // The name chosen is resolved as every path the user gives (C: through
    // the drive mapping); a folder, named so or ending in a separator, keeps
    // the download's own name in it.
    QString refusal;
    const QString mapped = mapDrivePath(chosen, &refusal);
    if (mapped.isEmpty()) {
        download->cancel();
        const DialogShown shown(this);
        MsgBox(QStringLiteral("The download cannot be saved as %1.\n%2").arg(chosen, refusal), vb::vbCritical);
        return;
    }
    const bool folder = mapped.endsWith(u'/') || mapped.endsWith(u'\\') || QFileInfo(mapped).isDir();
    const QFileInfo target(folder ? QDir(mapped).absoluteFilePath(download->downloadFileName()) : mapped);
    // The dialog asked about replacing the name typed, not the one in it.
    if (folder && target.exists()) {
        const DialogShown shown(this);
        if (MsgBox(QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(target.filePath()),
                   vb::vbYesNo + vb::vbExclamation) != vb::vbYes || !guard) {
            if (guard)
                download->cancel();
            return;
        }
    }
    m_downloads.insert(download->id(), {target.absolutePath(), target.fileName(), chosen});
    continueDownload(download);
}

void WebBrowser::continueDownload(QWebEngineDownloadRequest *download)
{
    const AcceptedDownload accepted = m_downloads.value(download->id());
    download->setDownloadDirectory(accepted.directory);
    download->setDownloadFileName(accepted.fileName);
    // Accepted, it can only complete; anything else (the engine cancels
    // what it cannot write, a line cut for good) is a failure, and what
    // was received of it goes.
    const QPointer<QWebEngineDownloadRequest> guard(download);
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, guard] {
        if (!guard || !guard->isFinished())
            return;
        const AcceptedDownload ended = m_downloads.take(guard->id());
        if (guard->state() == QWebEngineDownloadRequest::DownloadCompleted)
            return;
        const auto reason = guard->interruptReason();
        const bool told = reason != QWebEngineDownloadRequest::NoReason && reason != QWebEngineDownloadRequest::UserCanceled;
        const DialogShown shown(this);
        MsgBox(QStringLiteral("The download could not be saved as %1.%2")
                   .arg(ended.chosen, told ? QStringLiteral(" (The web engine gave reason %1.)").arg(int(reason)) : QString()),
               vb::vbCritical);
    });
    // The engine keeps a download it has given up taking up again as
    // interrupted, unfinished, its part on disk beside the target: it ends
    // here, and what was received goes with it.
    connect(download, &QWebEngineDownloadRequest::stateChanged, this, [guard](QWebEngineDownloadRequest::DownloadState state) {
        if (guard && state == QWebEngineDownloadRequest::DownloadInterrupted)
            guard->cancel();
    });
    download->accept();
}

// --- saving the shown page ---------------------------------------------------

void WebBrowser::ExecWB(int cmdID, int cmdexecopt, const QVariant &input, QVariant *output)
{
    if (output)
        *output = QVariant();
    if (cmdID != OLECMDID_SAVEAS || cmdexecopt != OLECMDEXECOPT_DONTPROMPTUSER)
        throw WebBrowserError{QStringLiteral("This command is not supported.")};
    if (Saving())
        throw WebBrowserError{QStringLiteral("A page is being saved already.")};
    const QUrl shown = url();
    if (shown.isEmpty() || shown == QUrl(QStringLiteral("about:blank")))
        throw WebBrowserError{QStringLiteral("No page is shown yet.")};
    if (m_errorPage)
        throw WebBrowserError{QStringLiteral("The page could not be loaded: what is shown is the error page.")};
    if (m_page->isLoading())
        throw WebBrowserError{QStringLiteral("The page is still loading.")};
    const QString target = input.toString();
    if (target.isEmpty())
        throw WebBrowserError{QStringLiteral("No file name was given.")};
    if (QFileInfo(target).isRelative())
        throw WebBrowserError{QStringLiteral("The file name is not a full path.")};
    if (const QString problem = SavePath::problem(target); !problem.isEmpty())
        throw WebBrowserError{problem};

    m_save = std::make_unique<PageSave>(m_page, QDir::cleanPath(target), LocationURL());
    connect(m_save.get(), &PageSave::finished, this, [this](bool ok, const QString &problem) {
        if (!m_save)
            return;
        const QString done = m_save->target();
        CancelSave();
        if (ok)
            emit SaveCompleted(done);
        else
            emit SaveFailed(done, problem);
    });
    m_saveWatchdog->start();
    m_save->start();
}

void WebBrowser::CancelSave()
{
    m_saveWatchdog->stop();
    if (m_save) {
        // Not from inside its own signal: it goes when the event loop is back.
        m_save->disconnect(this);
        m_save.release()->deleteLater();
    }
}

}  // namespace platform
