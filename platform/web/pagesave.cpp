#include "pagesave.h"

#include "runtime.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace platform {

namespace {
// A picture the engine does not start to fetch in this time is left out; a
// page it does not start to write has failed.
constexpr int kFetchWaitMs = 15000;

// Lists every url(...) of the page's readable style sheets (imported ones
// and nested rules too), of its style blocks and of its style attributes:
// [scope, address as written, absolute address], scope "sheet" for a
// linked sheet and "page" for what the page holds itself. Runs in the
// application's own world, so the page cannot change what it sees.
const char kCollectPictures[] = R"JS((function () {
  const out = [];
  const re = /url\(\s*(?:"((?:[^"\\]|\\.)*)"|'((?:[^'\\]|\\.)*)'|([^)'"\s]*))\s*\)/gi;
  function scan(text, base, scope) {
    re.lastIndex = 0;
    let m;
    while ((m = re.exec(text))) {
      const raw = m[1] ?? m[2] ?? m[3];
      if (!raw || raw.startsWith('data:') || raw.startsWith('#'))
        continue;
      try { out.push([scope, raw, new URL(raw, base).href]); } catch (e) {}
    }
  }
  function rules(list, base, scope) {
    for (const r of list) {
      if (r.styleSheet) sheet(r.styleSheet);
      if (r.cssRules) rules(r.cssRules, base, scope);
      if (r.style) scan(r.style.cssText, base, scope);
    }
  }
  function sheet(s) {
    let list;
    try { list = s.cssRules; } catch (e) { return; }
    rules(list, s.href || document.baseURI, s.href ? 'sheet' : 'page');
  }
  for (const s of document.styleSheets) sheet(s);
  for (const e of document.querySelectorAll('[style]')) scan(e.style.cssText, document.baseURI, 'page');
  return JSON.stringify(out);
})())JS";

bool isSeparator(QChar c) { return c == u'/' || c == u'\\'; }
}  // namespace

// --- the target's rules -------------------------------------------------------------

namespace SavePath {

bool isArchive(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == u"mht" || suffix == u"mhtml";
}

QString partsFolder(const QString &path)
{
    const QFileInfo info(path);
    return info.absolutePath() + u'/' + info.completeBaseName() + QStringLiteral("_files");
}

QString problem(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("There is no file name.");
    if (isSeparator(path.back()))
        return QStringLiteral("The path ends in a separator, so it names a folder, not a file.");
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (name.isEmpty() || name == u"." || name == u"..")
        return QStringLiteral("The path has no file name.");
    if (info.isDir())
        return QStringLiteral("The path names a folder, not a file.");
    if (info.exists() && !info.isFile())
        return QStringLiteral("The path names a device or another special file, not a file.");
    // The nearest part of the path that is there must be a folder.
    for (QFileInfo up(info.absolutePath());; up = QFileInfo(up.absolutePath())) {
        if (up.exists()) {
            if (!up.isDir())
                return QStringLiteral("%1 is a file, not a folder.").arg(up.filePath());
            break;
        }
        if (up.isRoot() || up.absolutePath() == up.absoluteFilePath())
            break;
    }
    if (!isArchive(path)) {
        const QFileInfo parts(partsFolder(path));
        if (parts.isSymLink() || (parts.exists() && !parts.isDir()))
            return QStringLiteral("%1 is in the way of the page's parts: it is not a folder.").arg(parts.filePath());
    }
    return {};
}

}  // namespace SavePath

// --- edits of what the engine wrote ---------------------------------------------------------

namespace SavedPage {

QByteArray withSavedFromAddress(const QByteArray &html, const QString &address)
{
    static const QRegularExpression comment(QStringLiteral("^(\\s*)<!-- saved from url=\\(\\d{4}\\)[^>]*-->"));
    const QString text = QString::fromLatin1(html);
    const QRegularExpressionMatch m = comment.match(text);
    if (!m.hasMatch())
        return html;
    const QByteArray encoded = address.toUtf8();
    const QByteArray mark = "<!-- saved from url=(" + QByteArray::number(encoded.size()).rightJustified(4, '0') + ")"
                            + encoded + " -->";
    return m.captured(1).toLatin1() + mark + html.mid(m.capturedEnd());
}

QByteArray withLocalUrls(const QByteArray &text, const QHash<QString, QString> &local)
{
    if (local.isEmpty())
        return text;
    static const QRegularExpression url(
        QStringLiteral("url\\(\\s*(?:\"([^\"]*)\"|'([^']*)'|&quot;(.*?)&quot;|([^)'\"\\s]*))\\s*\\)"),
        QRegularExpression::CaseInsensitiveOption);
    // Latin-1 keeps every byte as it is, whatever the text's encoding.
    const QString in = QString::fromLatin1(text);
    QString out;
    qsizetype done = 0;
    for (auto it = url.globalMatch(in); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        int group = 1;
        while (group < 4 && m.capturedStart(group) < 0)
            ++group;
        const QString raw = QString::fromUtf8(m.captured(group).toLatin1());
        const auto found = local.constFind(raw);
        if (found == local.constEnd())
            continue;
        const QString quote = group == 1 ? QStringLiteral("\"") : group == 2 ? QStringLiteral("'")
                              : group == 3                       ? QStringLiteral("&quot;")
                                                                 : QString();
        out += in.mid(done, m.capturedStart() - done);
        out += QStringLiteral("url(") + quote + *found + quote + u')';
        done = m.capturedEnd();
    }
    out += in.mid(done);
    return out.toLatin1();
}

QList<QByteArray> archiveLocations(const QByteArray &archive)
{
    static const QRegularExpression location(QStringLiteral("^Content-Location:[ \\t]*([^\\r\\n]*)"),
                                             QRegularExpression::MultilineOption
                                                 | QRegularExpression::CaseInsensitiveOption);
    QList<QByteArray> found;
    for (auto it = location.globalMatch(QString::fromLatin1(archive)); it.hasNext();)
        found << it.next().captured(1).trimmed().toLatin1();
    return found;
}

QByteArray withArchiveParts(const QByteArray &archive, const QList<Part> &parts)
{
    // The boundary is named in the archive's head, before its first empty line.
    qsizetype headEnd = archive.indexOf("\r\n\r\n");
    if (headEnd < 0)
        headEnd = archive.indexOf("\n\n");
    static const QRegularExpression named(QStringLiteral("boundary=\"?([^\";\\r\\n]+)\"?"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = named.match(QString::fromLatin1(archive.left(headEnd < 0 ? 0 : headEnd)));
    if (!m.hasMatch() || parts.isEmpty())
        return archive;
    const QByteArray boundary = "--" + m.captured(1).toLatin1();
    const qsizetype closing = archive.lastIndexOf(boundary + "--");
    if (closing < 0)
        return archive;
    QByteArray added;
    for (const Part &p : parts) {
        added += boundary + "\r\nContent-Type: " + (p.contentType.isEmpty() ? "application/octet-stream" : p.contentType)
                 + "\r\nContent-Transfer-Encoding: base64\r\nContent-Location: " + p.location + "\r\n\r\n";
        const QByteArray base64 = p.bytes.toBase64();
        for (qsizetype i = 0; i < base64.size(); i += 76)
            added += base64.mid(i, 76) + "\r\n";
        added += "\r\n";
    }
    return archive.left(closing) + added + archive.mid(closing);
}

QString localName(const QUrl &url, const QStringList &taken)
{
    QString name = QFileInfo(url.path()).fileName();
    for (QChar &c : name)
        if (!c.isLetterOrNumber() && c != u'.' && c != u'-' && c != u'_')
            c = u'_';
    while (name.startsWith(u'.'))
        name.remove(0, 1);
    name.truncate(100);
    if (name.isEmpty())
        name = QStringLiteral("picture");
    const QFileInfo parts(name);
    const QString base = parts.completeBaseName().isEmpty() ? name : parts.completeBaseName();
    const QString suffix = parts.completeBaseName().isEmpty() ? QString() : parts.suffix();
    auto isTaken = [&taken](const QString &n) { return taken.contains(n, Qt::CaseInsensitive); };
    for (int i = 1; isTaken(name); ++i)
        name = base + u'-' + QString::number(i) + (suffix.isEmpty() ? QString() : u'.' + suffix);
    return name;
}

}  // namespace SavedPage

// --- one save -----------------------------------------------------------------------------------

PageSave::PageSave(QWebEnginePage *page, const QString &target, const QString &address, QObject *parent)
    : QObject(parent), m_page(page), m_target(target), m_address(address)
{
    m_name = QFileInfo(target).fileName();
    m_archive = SavePath::isArchive(target);
    m_fetchWait = new QTimer(this);
    m_fetchWait->setSingleShot(true);
    m_fetchWait->setInterval(kFetchWaitMs);
    connect(m_fetchWait, &QTimer::timeout, this, [this] {
        if (!m_pageWritten) {
            fail(QStringLiteral("The web engine did not start to write the page."));
            return;
        }
        m_fetching = QUrl();
        fetchNext();
    });
}

PageSave::~PageSave()
{
    if (m_download) {
        m_download->disconnect(this);
        if (!m_download->isFinished())
            m_download->cancel();
    }
}

void PageSave::start()
{
    m_staging = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vennik-save-XXXXXX"));
    if (!m_staging->isValid()) {
        fail(QStringLiteral("No folder to prepare the save in can be made in %1: %2")
                 .arg(QDir::tempPath(), m_staging->errorString()));
        return;
    }
    if (!m_page) {
        fail(QStringLiteral("No page is shown."));
        return;
    }
    const QPointer<PageSave> self(this);
    m_fetchWait->start();
    m_page->runJavaScript(QLatin1String(kCollectPictures), QWebEngineScript::ApplicationWorld,
                          [self](const QVariant &result) {
                              if (self)
                                  self->engineSave(result.toString().toUtf8());
                          });
}

void PageSave::engineSave(const QByteArray &picturesJson)
{
    if (m_done)
        return;
    if (!m_page) {
        fail(QStringLiteral("The page went away before it was saved."));
        return;
    }
    const QStringList fetchable{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("file")};
    for (const QJsonValue &row : QJsonDocument::fromJson(picturesJson).array()) {
        const QJsonArray r = row.toArray();
        const QString raw = r.at(1).toString();
        const QUrl url(r.at(2).toString());
        if (raw.isEmpty() || !url.isValid() || !fetchable.contains(url.scheme()))
            continue;
        QHash<QString, QUrl> &refs = r.at(0).toString() == u"sheet" ? m_sheetRefs : m_pageRefs;
        if (!refs.contains(raw))
            refs.insert(raw, url);
        if (!m_toFetch.contains(url))
            m_toFetch << url;
    }
    m_engineAsked = true;
    m_fetchWait->start();
    m_page->save(m_staging->filePath(m_name), m_archive ? QWebEngineDownloadRequest::MimeHtmlSaveFormat
                                                        : QWebEngineDownloadRequest::CompleteHtmlSaveFormat);
}

bool PageSave::claim(QWebEngineDownloadRequest *download)
{
    if (m_done || !m_staging || !download || download->page() != m_page)
        return false;
    const bool pageUnderWay = m_engineAsked && !m_download && m_fetching.isEmpty() && !m_pageWritten;
    if (pageUnderWay && download->isSavePageDownload()) {
        const QString wanted = QDir::cleanPath(download->downloadDirectory() + u'/' + download->downloadFileName());
        if (wanted != QDir::cleanPath(m_staging->filePath(m_name))) {
            download->cancel();
            fail(QStringLiteral("The web engine chose another file (%1) for the page.").arg(download->downloadFileName()));
            return true;
        }
        follow(download, true);
        return true;
    }
    const QUrl shown = m_page ? m_page->url().adjusted(QUrl::RemoveFragment) : QUrl();
    if (pageUnderWay && download->url().adjusted(QUrl::RemoveFragment) == shown) {
        // What the engine cannot write as a page it offers as a download of
        // the resource shown: its bytes are the save.
        m_asBytes = true;
        download->setDownloadDirectory(m_staging->path());
        download->setDownloadFileName(m_name);
        follow(download, true);
        return true;
    }
    if (m_fetching.isValid() && !m_download && download->url() == m_fetching) {
        const QString folder = picturesFolder();
        QDir().mkpath(folder);
        download->setDownloadDirectory(folder);
        download->setDownloadFileName(SavedPage::localName(download->url(), QDir(folder).entryList(QDir::Files | QDir::Hidden)));
        follow(download, false);
        return true;
    }
    return false;
}

QString PageSave::picturesFolder() const
{
    if (m_archive)
        return m_staging->filePath(QStringLiteral(".pictures"));
    const QString parts = stagedParts();
    return parts.isEmpty() ? SavePath::partsFolder(m_staging->filePath(m_name)) : parts;
}

QString PageSave::stagedParts() const
{
    // The one folder the engine made beside the page, if any.
    const QStringList folders = QDir(m_staging->path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    return folders.isEmpty() ? QString() : m_staging->filePath(folders.first());
}

void PageSave::follow(QWebEngineDownloadRequest *download, bool page)
{
    m_download = download;
    if (page)
        m_fetchWait->stop();
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, download, page] {
        if (download != m_download || !download->isFinished())
            return;
        m_download = nullptr;
        const bool ok = download->state() == QWebEngineDownloadRequest::DownloadCompleted;
        if (!page) {
            m_fetchWait->stop();
            if (ok) {
                m_fetched.insert(m_fetching, QDir::cleanPath(download->downloadDirectory() + u'/' + download->downloadFileName()));
                m_fetchedType.insert(m_fetching, download->mimeType().toLatin1());
            }
            m_fetching = QUrl();
            fetchNext();
            return;
        }
        if (!ok) {
            // interruptReasonString() is not safe on every failure; the
            // reason's number is.
            fail(download->state() == QWebEngineDownloadRequest::DownloadCancelled
                     ? QStringLiteral("The web engine cancelled the save.")
                     : QStringLiteral("The web engine could not write the page (reason %1).").arg(int(download->interruptReason())));
            return;
        }
        const QString wrote = QDir::cleanPath(download->downloadDirectory() + u'/' + download->downloadFileName());
        if (wrote != QDir::cleanPath(m_staging->filePath(m_name))) {
            fail(QStringLiteral("The web engine wrote the page to another file (%1).").arg(download->downloadFileName()));
            return;
        }
        pageWritten();
    });
    if (download->state() == QWebEngineDownloadRequest::DownloadRequested)
        download->accept();
}

void PageSave::pageWritten()
{
    m_pageWritten = true;
    if (m_asBytes) {
        complete();
        return;
    }
    if (m_archive) {
        // What the archive holds already is not fetched again.
        QFile f(m_staging->filePath(m_name));
        const QList<QByteArray> held = f.open(QIODevice::ReadOnly) ? SavedPage::archiveLocations(f.readAll()) : QList<QByteArray>();
        m_toFetch.removeIf([&held](const QUrl &u) { return held.contains(u.toEncoded()); });
    }
    fetchNext();
}

void PageSave::fetchNext()
{
    if (m_done)
        return;
    if (m_toFetch.isEmpty()) {
        complete();
        return;
    }
    if (!m_page) {
        fail(QStringLiteral("The page went away before it was saved."));
        return;
    }
    m_fetching = m_toFetch.takeFirst();
    m_fetchWait->start();
    m_page->download(m_fetching);
}

void PageSave::complete()
{
    if (m_done)
        return;
    const QString staged = m_staging->filePath(m_name);
    QFile file(staged);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("The web engine wrote no file."));
        return;
    }
    QByteArray bytes = file.readAll();
    file.close();
    if (bytes.isEmpty()) {
        fail(QStringLiteral("The web engine wrote an empty file."));
        return;
    }
    if (!m_asBytes) {
        if (m_archive) {
            QList<SavedPage::Part> parts;
            for (auto it = m_fetched.cbegin(); it != m_fetched.cend(); ++it) {
                QFile picture(it.value());
                if (!picture.open(QIODevice::ReadOnly))
                    continue;
                QByteArray type = m_fetchedType.value(it.key());
                if (type.isEmpty())
                    type = QMimeDatabase().mimeTypeForFile(it.value()).name().toLatin1();
                parts << SavedPage::Part{type, it.key().toEncoded(), picture.readAll()};
            }
            bytes = SavedPage::withArchiveParts(bytes, parts);
        } else {
            bytes = SavedPage::withSavedFromAddress(bytes, m_address);
            const QString parts = stagedParts();
            const QByteArray folder = QUrl::toPercentEncoding(QFileInfo(parts).fileName());
            QHash<QString, QString> inPage, inSheets;
            for (auto it = m_pageRefs.cbegin(); it != m_pageRefs.cend(); ++it)
                if (m_fetched.contains(it.value()))
                    inPage.insert(it.key(), QStringLiteral("./") + QString::fromLatin1(folder) + u'/'
                                                + QFileInfo(m_fetched.value(it.value())).fileName());
            for (auto it = m_sheetRefs.cbegin(); it != m_sheetRefs.cend(); ++it)
                if (m_fetched.contains(it.value()))
                    inSheets.insert(it.key(), QFileInfo(m_fetched.value(it.value())).fileName());
            bytes = SavedPage::withLocalUrls(bytes, inPage);
            if (!parts.isEmpty()) {
                for (const QString &name : QDir(parts).entryList({QStringLiteral("*.css")}, QDir::Files)) {
                    QFile sheet(parts + u'/' + name);
                    if (!sheet.open(QIODevice::ReadOnly))
                        continue;
                    const QByteArray edited = SavedPage::withLocalUrls(sheet.readAll(), inSheets);
                    sheet.close();
                    if (!sheet.open(QIODevice::WriteOnly | QIODevice::Truncate) || sheet.write(edited) != edited.size()) {
                        fail(QStringLiteral("The page's style sheet %1 could not be prepared.").arg(name));
                        return;
                    }
                }
            }
        }
    }
    QString why;
    if (!publish(bytes, &why)) {
        fail(why);
        return;
    }
    m_done = true;
    const QPointer<PageSave> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self)
            emit self->finished(true, QString());
    });
}

bool PageSave::publish(const QByteArray &page, QString *why)
{
    // Everything is checked before anything is written.
    if (const QString problem = SavePath::problem(m_target); !problem.isEmpty()) {
        *why = problem;
        return false;
    }
    const QString stagedFolder = m_asBytes || m_archive ? QString() : stagedParts();
    const QString folder = QFileInfo(m_target).absolutePath();
    const QString partsTarget = stagedFolder.isEmpty() ? QString() : folder + u'/' + QFileInfo(stagedFolder).fileName();
    const QStringList partNames =
        stagedFolder.isEmpty() ? QStringList() : QDir(stagedFolder).entryList(QDir::Files | QDir::Hidden);
    if (!partsTarget.isEmpty()) {
        const QFileInfo parts(partsTarget);
        if (parts.isSymLink() || (parts.exists() && !parts.isDir())) {
            *why = QStringLiteral("%1 is in the way of the page's parts: it is not a folder.").arg(partsTarget);
            return false;
        }
        for (const QString &name : partNames) {
            const QFileInfo there(partsTarget + u'/' + name);
            if (there.isSymLink() || (there.exists() && !there.isFile())) {
                *why = QStringLiteral("%1 is in the way of a part of the page: it is not a plain file.").arg(there.filePath());
                return false;
            }
        }
    }

    // Whatever is made here goes again if the save fails.
    QStringList madeFolders, madeFiles;
    auto undo = [&] {
        for (const QString &f : std::as_const(madeFiles))
            QFile::remove(f);
        for (auto it = madeFolders.crbegin(); it != madeFolders.crend(); ++it)
            QDir().rmdir(*it);
    };
    auto makeFolder = [&](const QString &path) {
        QStringList missing;
        for (QString up = QDir::cleanPath(path); !QFileInfo::exists(up); up = QFileInfo(up).absolutePath()) {
            missing.prepend(up);
            if (QFileInfo(up).isRoot())
                break;
        }
        for (const QString &f : std::as_const(missing)) {
            if (!QDir().mkdir(f))
                return false;
            madeFolders << f;
        }
        return true;
    };
    if (!makeFolder(folder) || (!partsTarget.isEmpty() && !makeFolder(partsTarget))) {
        *why = QStringLiteral("The folder %1 cannot be created.").arg(madeFolders.isEmpty() ? folder : madeFolders.last());
        undo();
        return false;
    }
    for (const QString &name : partNames) {
        const QString there = partsTarget + u'/' + name;
        const bool existed = QFileInfo::exists(there);
        QFile part(stagedFolder + u'/' + name);
        QString reason;
        if (!part.open(QIODevice::ReadOnly) || !writeFileSafely(there, part.readAll(), &reason)) {
            *why = QStringLiteral("%1 could not be written. %2").arg(there, reason).trimmed();
            undo();
            return false;
        }
        if (!existed)
            madeFiles << there;
    }
    // The page last, so it is never there without its parts.
    const bool existed = QFileInfo::exists(m_target);
    QString reason;
    if (!writeFileSafely(m_target, page, &reason)) {
        *why = QStringLiteral("The file was not written. %1").arg(reason).trimmed();
        undo();
        return false;
    }
    if (!existed)
        madeFiles << m_target;
    const QFileInfo written(m_target);
    if (!written.isFile() || written.size() != page.size()) {
        *why = QStringLiteral("The file was not written whole.");
        undo();
        return false;
    }
    return true;
}

void PageSave::fail(const QString &problem)
{
    if (m_done)
        return;
    m_done = true;
    m_fetchWait->stop();
    if (m_download) {
        m_download->disconnect(this);
        if (!m_download->isFinished())
            m_download->cancel();
        m_download = nullptr;
    }
    // Reported from the event loop, never from inside the caller.
    const QPointer<PageSave> self(this);
    QTimer::singleShot(0, this, [self, problem] {
        if (self)
            emit self->finished(false, problem);
    });
}

}  // namespace platform
