// Find, search and replace, and the phrase look-up hand-off.
#include "frmeditor.h"

#include "dialoghost.h"
#include "drivemapping.h"
#include "runtime.h"
#include "textcodec.h"

#include <QAction>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QTextBlock>
#include <QTextDocument>

#include <cerrno>
#include <functional>
#include <optional>

using platform::RichTextBox;

namespace {

// Where another program leaves the document and phrase to look up.
const QString kHandOffFile = QStringLiteral("C:\\Autodesk\\Slls.txt");
const QString kFileNotFound = QStringLiteral("File not Found");
// Two short items: what is past this is not read.
constexpr qint64 kHandOffBytes = 64 * 1024;
// A document this large is loaded only when the user says so.
constexpr qint64 kAskAboveBytes = qint64(256) << 20;

struct HandOff {
    QString path;     // as written
    QString phrase;
    qint64 size = 0;  // of the document
};

// Why the file at native is not a document to load, or nothing.
QString notADocument(const QString &native)
{
    const QFileInfo info(native);
    if (info.isFile())
        return info.isReadable() ? QString() : platform::systemReason(EACCES);
    return info.isDir() ? platform::systemReason(EISDIR)
           : info.exists() ? QStringLiteral("not a file")
                           : platform::systemReason(ENOENT);
}

// The hand-off file and the document it names, checked before anything is
// asked or changed. On failure, failed is the path that failed and why the
// reason.
std::optional<HandOff> readHandOff(QString &failed, QString &why)
{
    failed = kHandOffFile;
    const QString native = platform::mapDrivePath(kHandOffFile);
    if (why = notADocument(native); !why.isEmpty())
        return std::nullopt;
    QFile file(native);
    if (!file.open(QIODevice::ReadOnly)) {
        why = file.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = file.read(kHandOffBytes);
    if (file.error() != QFileDevice::NoError) {
        why = file.errorString();
        return std::nullopt;
    }
    HandOff handOff;
    platform::FreeFormatReader reader(platform::decodeTextFile(bytes));
    if (!reader.readItem(handOff.path) || !reader.readItem(handOff.phrase)) {
        why = QStringLiteral("it does not name a document and a phrase");
        return std::nullopt;
    }
    failed = handOff.path;
    const QString document = platform::mapDrivePath(handOff.path, &why);
    if (document.isEmpty() || !(why = notADocument(document)).isEmpty())
        return std::nullopt;
    handOff.size = QFileInfo(document).size();
    return handOff;
}

}  // namespace

void frmeditor::connectSearch()
{
    connectItems({{mnu_find, &frmeditor::mnu_find_Click}, {mnureplace, &frmeditor::mnureplace_Click}});
    connect(Command1, &QPushButton::clicked, this, &frmeditor::Command1_Click);
}

// ---------------------------------------------------------------------------
// Find

void frmeditor::mnu_find_Click()
{
    const QString text = platform::InputBox(QStringLiteral("Enter text to find :"), QStringLiteral("Search Word"));
    RichTextBox *box = activeEditor();
    if (!box)
        return;
    const qint64 found = box->Find(text);
    if (found == -1) {
        platform::MsgBox(QStringLiteral("Word not found."));
        return;
    }
    platform::MsgBox(QStringLiteral("Word found on line ") + QString::number(box->GetLineFromChar(found)));
}

// ---------------------------------------------------------------------------
// Search and replace

qint64 frmeditor::findExact(RichTextBox *box, const QString &text, qint64 from, const platform::Progress &progress)
{
    const qint64 length = box->textLength();
    if (from < 0)
        from = 0;
    if (from >= length)
        return -1;
    if (text.isEmpty())
        return from;
    // A text that holds a line end can span paragraphs: compare against the
    // plain text itself.
    if (text.contains(u'\r') || text.contains(u'\n')) {
        const QString all = box->Text();
        qsizetype at = all.indexOf(text, from);
        // The caret cannot stand between the CR and the LF of a break.
        while (at > 0 && all.at(at) == u'\n' && all.at(at - 1) == u'\r')
            at = all.indexOf(text, at + 1);
        return at;
    }
    // Otherwise a match lies inside one paragraph: walk the paragraphs from
    // the start position on.
    const QTextDocument *doc = box->document();
    const qint64 docFrom = box->toDocPosition(from);
    QTextBlock block = doc->findBlock(int(docFrom));
    qint64 offset = docFrom - block.position();
    if (box->fromDocPosition(docFrom) != from)
        offset = block.length();   // from is the LF of a paragraph break
    int untilTold = 4096;
    for (; block.isValid(); block = block.next(), offset = 0) {
        if (progress && --untilTold == 0) {
            untilTold = 4096;
            if (!progress(block.position(), doc->characterCount()))
                return -2;
        }
        if (block.length() - 1 - offset < text.size())
            continue;
        QString t = block.text();
        t.replace(QChar::LineSeparator, u'\v');
        const qsizetype at = t.indexOf(text, offset, Qt::CaseSensitive);
        if (at >= 0)
            return qint64(block.position()) + block.blockNumber() + at;
    }
    return -1;
}

void frmeditor::mnureplace_Click()
{
    const QString title = QStringLiteral("Search And Replace");
    const QString findText = platform::InputBox(QStringLiteral("Enter text to be find :"), title);
    const QString replaceText = platform::InputBox(QStringLiteral("Enter text to be Replace :"), title);
    const QString question = QStringLiteral("Replace string ") + findText + QStringLiteral(" with ") + replaceText;
    for (;;) {
        RichTextBox *box = activeEditor();
        if (!box)
            break;
        keystart = box->SelStart() + 1;
        qint64 at = -1;
        {
            // Escape while it searches ends the command as Cancel does.
            platform::LongWork work(StatusBar1, platform::LongWork::MayCancel);
            at = findExact(box, findText, keystart, work.progress());
        }
        if (at < 0)
            break;
        // The empty text found between the CR and the LF of a paragraph
        // break would select the end of that paragraph again and again:
        // it is found at the start of the next one.
        if (findText.isEmpty() && box->fromDocPosition(box->toDocPosition(at)) != at) {
            if (++at >= box->textLength())
                break;
        }
        box->setSelStart(at);
        box->setSelLength(findText.size());
        const int answer = platform::MsgBox(question, vb::vbYesNoCancel);
        if (answer == vb::vbYes)
            box->setSelText(replaceText);
        else if (answer != vb::vbNo)
            break;
    }
    platform::MsgBox(QStringLiteral("Replace Over "), vb::vbOKOnly, QStringLiteral(" Search And Replace Results"));
}

// ---------------------------------------------------------------------------
// The phrase look-up

void frmeditor::Command1_Click()
{
    // The hand-off is read first: a missing file or document is said before
    // anything is asked (at start-up nothing is said).
    QString failed, why;
    const std::optional<HandOff> handOff = readHandOff(failed, why);
    if (!handOff) {
        if (!m_startupLookup)
            platform::MsgBoxFailure(kFileNotFound, failed, why);
        return;
    }
    if (handOff->size > kAskAboveBytes
        && platform::MsgBox(QStringLiteral("%1 is %2 MB. Open it?").arg(handOff->path).arg(handOff->size >> 20),
                            vb::vbYesNo + vb::vbQuestion)
               != vb::vbYes)
        return;
    // The look-up replaces the document: unsaved work is offered a save
    // first (at start-up, work just recovered).
    if (!SaveFirst(saveFirstQuestion()))
        return;
    phraseLookup(handOff->path, handOff->phrase, m_startupLookup);
}

namespace {
// Calls a function once, after the watched widget is first shown.
class ShowWatcher : public QObject {
public:
    ShowWatcher(QWidget *watched, std::function<void()> then)
        : QObject(watched), m_then(std::move(then))
    {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (e->type() == QEvent::Show && !m_done) {
            m_done = true;
            watched->removeEventFilter(this);
            QMetaObject::invokeMethod(this, [this] {
                m_then();
                deleteLater();
            }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    std::function<void()> m_then;
    bool m_done = false;
};
}  // namespace

void frmeditor::startupLookup()
{
    if (!isVisible()) {
        new ShowWatcher(this, [this] { startupLookup(); });
        return;
    }
    // Work a Tarbel that ended left behind comes first: what is loaded next
    // may be what ended it.
    offerRecovery();
    m_startupLookup = true;
    Command1_Click();
    m_startupLookup = false;
    // A document named on the command line replaces recovered work only
    // after the save question.
    if (!m_startupFile.isEmpty() && !SaveFirst(saveFirstQuestion()))
        m_startupFile.clear();
    openStartupFile();
}

void frmeditor::phraseLookup(const QString &path, const QString &phrase, bool quiet)
{
    RichTextBox *box = activeEditor();
    // The named document becomes the current one, as its file holds it.
    if (!box || !loadDocument(box, path, 0, quiet))
        return;
    focusDocument(box);
    if (box->Find(phrase) == -1) {
        platform::MsgBox(QStringLiteral("Phrase not found."));
        return;
    }
    // The boxes show the phrase's face and size, which typing over it keeps.
    showSelectionFont(box);
    refreshFontBoxes();
}
