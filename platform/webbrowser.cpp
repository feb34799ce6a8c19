#include "webbrowser.h"

#include "dialoghost.h"
#include "units.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSettings>
#include <QTimer>
#include <QWebEngineHistory>
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
}  // namespace

// Lets a local page load nothing local but its own parts: a page saved as
// "name.htm" keeps them in "name_files" beside it.
class LocalPartsOnly : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        const QUrl wanted = info.requestUrl();
        if (!wanted.isLocalFile() || info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame)
            return;
        const QUrl page = info.firstPartyUrl();
        if (!page.isLocalFile()) {
            info.block(true);
            return;
        }
        const QFileInfo pageFile(page.toLocalFile());
        const QString parts = pageFile.absolutePath() + u'/' + pageFile.completeBaseName() + QStringLiteral("_files/");
        if (!QDir::cleanPath(wanted.toLocalFile()).startsWith(parts))
            info.block(true);
    }
};

// The page reports completed frames through a console message that starts
// with the control's token. The reporting script runs in its own world, so
// the page's scripts can neither read the token nor replace console.log.
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

    // A local page reads no other local file: only the parts of a saved
    // page, in its own "<name>_files" folder, load. Switching the engine's
    // file access off would keep those parts out too, so the filter decides.
    m_page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    m_page->setUrlRequestInterceptor(new LocalPartsOnly(this));

    // There is one page area: what asks for a new window opens here.
    connect(m_page, &QWebEnginePage::newWindowRequested, this, [this](QWebEngineNewWindowRequest &request) {
        const QUrl url = request.requestedUrl();
        if (!url.isEmpty() && url != QUrl(QStringLiteral("about:blank")))
            m_page->load(url);
    });

    connect(m_page, &QWebEnginePage::loadFinished, this, &WebBrowser::onLoadFinished);
    connect(m_page->profile(), &QWebEngineProfile::downloadRequested, this, &WebBrowser::onDownloadRequested);

    m_saveWatchdog = new QTimer(this);
    m_saveWatchdog->setSingleShot(true);
    m_saveWatchdog->setInterval(kSaveTimeoutMs);
    connect(m_saveWatchdog, &QTimer::timeout, this,
            [this] { finishSave(false, QStringLiteral("The page did not finish saving.")); });
}

WebBrowser::~WebBrowser()
{
    if (m_download)
        m_download->disconnect(this);
}

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

void WebBrowser::Navigate(const QString &address)
{
    load(QUrl::fromUserInput(address));
}

void WebBrowser::GoBack()
{
    if (!history()->canGoBack())
        throw WebBrowserError{QStringLiteral("There is no earlier page.")};
    back();
}

void WebBrowser::GoForward()
{
    if (!history()->canGoForward())
        throw WebBrowserError{QStringLiteral("There is no later page.")};
    forward();
}

void WebBrowser::GoHome() { Navigate(homePage()); }
void WebBrowser::GoSearch() { Navigate(searchPage()); }
void WebBrowser::Refresh() { reload(); }
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

void WebBrowser::onLoadFinished(bool)
{
    emit NavigateComplete2(this, QVariant(encoded(url())));
}

void WebBrowser::frameCompleted(const QString &frameUrl)
{
    emit NavigateComplete2(this, QVariant(encoded(QUrl(frameUrl))));
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
    if (m_page->isLoading())
        throw WebBrowserError{QStringLiteral("The page is still loading.")};
    const QString target = input.toString();
    if (target.isEmpty())
        throw WebBrowserError{QStringLiteral("No file name was given.")};
    if (QFileInfo(target).isRelative())
        throw WebBrowserError{QStringLiteral("The file name is not a full path.")};

    const QString suffix = QFileInfo(target).suffix().toLower();
    const auto format = (suffix == u"mht" || suffix == u"mhtml")
                            ? QWebEngineDownloadRequest::MimeHtmlSaveFormat
                            : QWebEngineDownloadRequest::CompleteHtmlSaveFormat;
    const QFileInfo before(target);
    m_targetExisted = before.exists();
    m_targetModified = m_targetExisted ? before.lastModified() : QDateTime();
    m_targetSize = m_targetExisted ? before.size() : -1;
    m_saveTarget = QDir::cleanPath(target);
    m_saveWatchdog->start();
    m_page->save(m_saveTarget, format);
}

void WebBrowser::onDownloadRequested(QWebEngineDownloadRequest *download)
{
    if (!download || download->page() != m_page)
        return;
    const QString path = QDir::cleanPath(download->downloadDirectory() + u'/' + download->downloadFileName());
    if (download->isSavePageDownload()) {
        if (Saving() && !m_download && path == m_saveTarget)
            followSave(download);
        else
            download->cancel();   // a page save nobody asked for
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
    const QString chosen = DialogHost::current().saveFile(request);
    if (chosen.isEmpty()) {
        download->cancel();
        return;
    }
    const QFileInfo target(chosen);
    download->setDownloadDirectory(target.absolutePath());
    download->setDownloadFileName(target.fileName());
    const QPointer<QWebEngineDownloadRequest> guard(download);
    // Accepted, it can only complete; anything else (the engine cancels
    // what it cannot write) is a failure.
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, [guard, chosen] {
        if (!guard || !guard->isFinished() || guard->state() == QWebEngineDownloadRequest::DownloadCompleted)
            return;
        const auto reason = guard->interruptReason();
        const bool told = reason != QWebEngineDownloadRequest::NoReason && reason != QWebEngineDownloadRequest::UserCanceled;
        MsgBox(QStringLiteral("The download could not be saved as %1.%2")
                   .arg(chosen, told ? QStringLiteral(" (The web engine gave reason %1.)").arg(int(reason)) : QString()),
               vb::vbCritical);
    });
    download->accept();
}

void WebBrowser::followSave(QWebEngineDownloadRequest *download)
{
    m_download = download;
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, download] {
        if (download != m_download || !download->isFinished())
            return;
        switch (download->state()) {
        case QWebEngineDownloadRequest::DownloadCompleted:
            finishSave(true, {});
            break;
        case QWebEngineDownloadRequest::DownloadCancelled:
            finishSave(false, QStringLiteral("The save was cancelled."));
            break;
        default:
            // interruptReasonString() is not safe on every failure; the
            // reason's number is.
            finishSave(false, QStringLiteral("The save was interrupted (reason %1).")
                                  .arg(int(download->interruptReason())));
            break;
        }
    });
    if (download->state() == QWebEngineDownloadRequest::DownloadRequested)
        download->accept();
}

void WebBrowser::finishSave(bool ok, const QString &problem)
{
    if (!Saving())
        return;
    m_saveWatchdog->stop();
    const QString target = m_saveTarget;
    m_saveTarget.clear();
    if (m_download)
        m_download->disconnect(this);
    m_download = nullptr;

    QString why = problem;
    if (ok) {
        // Completion alone proves nothing: an unwritable target completes
        // too, with no file. The file must be there, hold something and be
        // newer than before the save.
        const QFileInfo after(target);
        if (!after.exists() || !after.isFile())
            why = QStringLiteral("The file was not written.");
        else if (after.size() == 0)
            why = QStringLiteral("The file was written empty.");
        else if (m_targetExisted && after.lastModified() == m_targetModified && after.size() == m_targetSize)
            why = QStringLiteral("The file was not written.");
        ok = why.isEmpty();
    }
    if (ok)
        emit SaveCompleted(target);
    else
        emit SaveFailed(target, why);
}

}  // namespace platform
