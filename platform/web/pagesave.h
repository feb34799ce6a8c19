#pragma once
// Saving the shown page. The engine writes into a private folder of its own
// (staging); what it wrote is checked, completed with the pictures the
// page's style sheets use, and only then published: the target file and,
// for a complete page, its "<name>_files" folder, through the same safe
// write every save of the programs uses. Nothing else beside the target
// is created or replaced, and files and folders made follow the user's
// umask.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

class QTimer;
class QWebEngineDownloadRequest;
class QWebEnginePage;

namespace platform {

// The rules of a save's target, without a window or an engine.
namespace SavePath {
// Why path (absolute and native) cannot be saved to, or an empty text when
// it can: it must name a file (not end in a separator, not be "." or
// "..", not be a folder or a device), and the parts folder of a complete
// page must be a folder if it is there at all.
QString problem(const QString &path);
// True for the archive form (.mht, .mhtml), false for a complete page.
bool isArchive(const QString &path);
// The folder a complete page keeps its parts in: "<name>_files" beside it.
QString partsFolder(const QString &path);
}  // namespace SavePath

// Edits of what the engine wrote, as pure functions.
namespace SavedPage {
// The "saved from url" comment at the top of a saved page, naming address
// in place of the engine's about:internet. Pages without it are returned
// as they are.
QByteArray withSavedFromAddress(const QByteArray &html, const QString &address);
// Every url(...) of CSS text (a style sheet, or a page's style blocks and
// attributes, where quotes may be written &quot;) whose address is a key of
// local is pointed at the value instead.
QByteArray withLocalUrls(const QByteArray &text, const QHash<QString, QString> &local);
// One resource of an MHTML archive.
struct Part {
    QByteArray contentType;
    QByteArray location;   // the resource's absolute address
    QByteArray bytes;
};
// The addresses of the resources an archive holds.
QList<QByteArray> archiveLocations(const QByteArray &archive);
// The archive with the parts added before its closing boundary; the
// archive as it was when it has no boundary.
QByteArray withArchiveParts(const QByteArray &archive, const QList<Part> &parts);
// A file name for a resource's address, unlike every name in taken (case
// ignored).
QString localName(const QUrl &url, const QStringList &taken);
}  // namespace SavedPage

// One save of the shown page, from the request to the published files.
class PageSave : public QObject {
    Q_OBJECT
public:
    PageSave(QWebEnginePage *page, const QString &target, const QString &address, QObject *parent = nullptr);
    ~PageSave() override;
    // Collects the style sheets' pictures, then asks the engine to save.
    void start();
    // Every download the engine offers comes here first: true when it is
    // this save's (the page itself, or a picture of it), which is then
    // directed into the staging folder and followed.
    bool claim(QWebEngineDownloadRequest *download);
    QString target() const { return m_target; }

signals:
    void finished(bool ok, const QString &problem);

private:
    void engineSave(const QByteArray &picturesJson);
    void follow(QWebEngineDownloadRequest *download, bool page);
    void pageWritten();
    void fetchNext();
    void complete();
    void fail(const QString &problem);
    // Writes the page and its parts beside it; false, with what was made
    // removed again, when anything fails.
    bool publish(const QByteArray &page, QString *why);
    // Where the engine put the page's parts in staging (empty: none), and
    // where fetched pictures go.
    QString stagedParts() const;
    QString picturesFolder() const;

    QPointer<QWebEnginePage> m_page;
    QString m_target;           // the path the page goes to
    QString m_address;          // the page's address
    QString m_name;             // the target's file name
    bool m_archive = false;
    bool m_asBytes = false;     // the engine could only download the resource
    std::unique_ptr<QTemporaryDir> m_staging;
    QPointer<QWebEngineDownloadRequest> m_download;
    bool m_engineAsked = false;
    bool m_pageWritten = false;
    // Pictures the style sheets use: the address as written, in a sheet or
    // in the page itself, and where it leads.
    QHash<QString, QUrl> m_sheetRefs, m_pageRefs;
    QList<QUrl> m_toFetch;
    QUrl m_fetching;
    QHash<QUrl, QString> m_fetched;       // address -> file in staging
    QHash<QUrl, QByteArray> m_fetchedType;
    QTimer *m_fetchWait = nullptr;        // for the engine to start each step
    bool m_done = false;
};

}  // namespace platform
