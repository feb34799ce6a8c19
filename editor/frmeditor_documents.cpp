// Document state, the window caption and the File menu.
#include "frmeditor.h"

#include "dialoghost.h"
#include "drivemapping.h"
#include "runtime.h"
#include "rtf/rtf.h"
#include "textcodec.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>

#include <cerrno>
#include <limits>
#include <stdexcept>

using platform::RichTextBox;
namespace Screen = platform::Screen;

namespace {

const QString kFileNotFound = QStringLiteral("File not Found");
const QString kErrorSaving = QStringLiteral("Error Saving File");
const QString kErrorOpening = QStringLiteral("Error opening File");
const QString kErrorPrinting = QStringLiteral("Error Printing File");
const QString kFileSaveTitle = QStringLiteral("File Save");

// Plain text for a file: Windows-1252 when every character has a place in it,
// as Windows programs expect, otherwise UTF-8 so that nothing is lost.
QByteArray encodePlainText(const QString &text)
{
    QByteArray bytes = platform::encodeWindows1252(text);
    if (bytes.count('?') != text.count(u'?'))
        bytes = text.toUtf8();
    return bytes;
}

// Do the two names (Windows paths mapped) name one file?
bool isSameFile(const QString &a, const QString &b)
{
    const QFileInfo fa(platform::mapDrivePath(a));
    const QFileInfo fb(platform::mapDrivePath(b));
    const QString ca = fa.canonicalFilePath();
    return ca.isEmpty() ? fa.absoluteFilePath() == fb.absoluteFilePath() : ca == fb.canonicalFilePath();
}

}  // namespace

void frmeditor::connectDocuments()
{
    connectItems({{mnunew, &frmeditor::mnunew_Click}, {mnuopen, &frmeditor::mnuopen_Click},
                  {mnusave, &frmeditor::mnusave_Click}, {mnusaveas, &frmeditor::mnusaveas_Click},
                  {mnu_insertfile, &frmeditor::mnu_insertfile_Click},
                  {mnu_writefile, &frmeditor::mnu_writefile_Click},
                  {mnu_pagesetup, &frmeditor::mnu_pagesetup_Click}, {mnu_print, &frmeditor::mnu_print_Click},
                  {mnuexit, &frmeditor::mnuexit_Click}});
}

// ---------------------------------------------------------------------------
// Files

bool frmeditor::writeDocumentFile(const QString &path, const QByteArray &bytes, QString *why)
{
    const QString target = platform::mapDrivePath(path, why);
    return !target.isEmpty() && platform::writeFileSafely(target, bytes, why);
}

std::optional<QByteArray> frmeditor::rtfOf(RichTextBox *box, platform::LongWork &work)
{
    rtf::SlicedWriter writer(box->document());
    const qint64 total = box->document()->characterCount();
    while (!writer.step(20))
        if (!work.update(writer.written(), total))
            return std::nullopt;
    return writer.result();
}

bool frmeditor::saveFile(const QString &path,
                         const std::function<std::optional<QByteArray>(platform::LongWork &work)> &content)
{
    bool ok = false;
    QString why;
    {
        platform::LongWork work(StatusBar1, platform::LongWork::MayCancel);
        const std::optional<QByteArray> bytes = content(work);
        if (!bytes || !work.update(1, 1))
            return false;
        // Once the file is being written, it is written whole.
        work.finishFromHere();
        ok = writeDocumentFile(path, *bytes, &why);
    }
    if (!ok)
        platform::MsgBoxFailure(kErrorSaving, path, why);
    return ok;
}

bool frmeditor::readWholeFile(const QString &path, QByteArray &bytes, QString *why)
{
    QString reason;
    const auto fail = [&](const QString &text) {
        if (why)
            *why = text;
        return false;
    };
    if (path.isEmpty())
        return fail(platform::systemReason(ENOENT));
    const QString source = platform::mapDrivePath(path, &reason);
    if (source.isEmpty())
        return fail(reason);
    const QFileInfo info(source);
    if (!info.isFile())
        return fail(info.isDir()       ? platform::systemReason(EISDIR)
                    : info.exists()    ? QStringLiteral("not a file")
                                       : platform::systemReason(ENOENT));
    // A document holds at most int-many characters.
    if (info.size() > std::numeric_limits<int>::max())
        return fail(platform::systemReason(EFBIG));
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    bytes = std::move(data);
    return true;
}

void frmeditor::showSelectionFont(RichTextBox *box)
{
    if (!box)
        return;
    const std::optional<double> size = box->SelFontSize();
    cbosize->setEditText(size ? QString::number(*size) : QString());
    const std::optional<QString> face = box->SelFontName();
    cbofont->setEditText(face ? *face : QString());
}

void frmeditor::refreshFontBoxes()
{
    int keyCode = 0;
    editor_KeyUp(keyCode, 0);
}

void frmeditor::focusDocument(RichTextBox *box)
{
    showSelectionFont(box);
    if (box)
        box->setFocus();
    refreshFontBoxes();
}

QString frmeditor::documentDialog(int action, const std::optional<QString> &start)
{
    // Every file: a filter left by the picture dialog does not hide them.
    CMDialog1->Filter.clear();
    if (start)
        CMDialog1->startFrom(*start);
    CMDialog1->setAction(action);
    return CMDialog1->FileName;
}

// ---------------------------------------------------------------------------
// The document's file: caption, curfile and changed, and the load

void frmeditor::setCurrentFile(const QString &path, int changedState, const DocumentFormat &format)
{
    setWindowTitle(path.isEmpty() ? untitledCaption() : namedCaption(path));
    curfile = path;
    changed = changedState;
    m_format = format;
}

void frmeditor::setCurrentFile(const QString &path, int changedState)
{
    setCurrentFile(path, changedState, DocumentFormat::ofFile(path));
}

bool frmeditor::loadDocument(RichTextBox *box, const QString &path, int changedState, bool quiet)
{
    // The file is read whole before anything changes, so a document that
    // cannot be read, or is no document, leaves the editor as it was.
    QByteArray bytes;
    QString why;
    bool read = false;
    DocumentFormat format;
    {
        // Escape while the file is read leaves the document shown as it was.
        platform::LongWork work(StatusBar1, platform::LongWork::MayCancel);
        read = readWholeFile(path, bytes, &why);
        if (read)
            format = DocumentFormat::of(bytes, path);
        if (read && format.kind != DocumentFormat::Refused) {
            if (!work.update(0, bytes.size()))
                return false;
            if (!showDocument(box, bytes, format, work.progress()))
                return false;
            // The file dialogs start from the document, as the file system
            // names it here.
            CMDialog1->FileName = platform::mapDrivePath(path);
        }
    }
    if (!read) {
        if (!quiet)
            platform::MsgBoxFailure(kFileNotFound, path, why);
        return false;
    }
    if (format.kind == DocumentFormat::Refused) {
        if (!quiet)
            platform::MsgBox(path + QStringLiteral("\nis not a text or RTF document."), vb::vbExclamation);
        return false;
    }
    setCurrentFile(path, changedState, format);
    // The document the recovery copy held is gone from the window.
    recoveryForget();
    return true;
}

bool frmeditor::showDocument(RichTextBox *box, const QByteArray &bytes, const DocumentFormat &format,
                             const platform::Progress &progress)
{
    return format.kind == DocumentFormat::Text ? box->setPlainTextDocument(bytes, format.pieceDecoder(bytes), progress)
                                               : box->setTextRTF(bytes, progress);
}

bool frmeditor::saveDocument(RichTextBox *box, const QString &path, bool lineEnd)
{
    if (!saveFile(path, [box, lineEnd](platform::LongWork &work) {
            std::optional<QByteArray> bytes = rtfOf(box, work);
            if (bytes && lineEnd)
                *bytes += QByteArrayLiteral("\r\n");
            return bytes;
        }))
        return false;
    setCurrentFile(path, 0, DocumentFormat());
    return true;
}

bool frmeditor::saveInFormat(RichTextBox *box, const QString &path, bool lineEnd)
{
    if (m_format.kind != DocumentFormat::Text)
        return saveDocument(box, path, lineEnd);
    std::optional<QByteArray> bytes;
    {
        const Screen::BusyPointer busy;
        if (const std::optional<QString> text = DocumentFormat::plainTextOf(box->document()))
            bytes = m_format.encode(*text);
    }
    if (bytes) {
        if (!saveFile(path, [&bytes](platform::LongWork &) { return std::move(bytes); }))
            return false;
        setCurrentFile(path, 0, m_format);
        return true;
    }
    const int answer = platform::MsgBox(
        QStringLiteral("This document was opened from a plain-text file:\n") + path
            + QStringLiteral("\nPlain text cannot keep its formatting, its pictures or all of its characters.\n\n"
                             "Yes: save it in that file as RTF.\nNo: save it as RTF under another name.\n"
                             "Cancel: do not save it."),
        vb::vbYesNoCancel + vb::vbExclamation);
    if (answer == vb::vbYes)
        return saveDocument(box, path, lineEnd);
    return answer == vb::vbNo && saveAsCommand();
}

bool frmeditor::letGoOfChanges(const QString &question, int icon, const QString &title)
{
    if (!SaveFirst(question, icon, title))
        return false;
    changed = 0;
    return true;
}

// ---------------------------------------------------------------------------
// The save-first check

bool frmeditor::SaveFirst(const QString &question, int icon, const QString &title)
{
    if (changed != 1)
        return true;
    const int answer = platform::MsgBox(question, vb::vbYesNoCancel + icon, title);
    // Yes runs Save: a save that failed, or that chose no name, leaves the
    // document only in the window.
    if (answer == vb::vbYes)
        return saveCommand();
    return answer == vb::vbNo;
}

bool frmeditor::Form_QueryUnload()
{
    return letGoOfChanges(exitQuestion(), vb::vbInformation, kFileSaveTitle);
}

// ---------------------------------------------------------------------------
// New, Open, Save, Save As, Exit

void frmeditor::mnunew_Click()
{
    if (!SaveFirst(saveFirstQuestion()))
        return;
    RichTextBox *box = activeEditor();
    if (box)
        box->setTextRTF(QByteArray());
    setCurrentFile(QString(), 0, DocumentFormat());
    focusDocument(box);
}

bool frmeditor::openDocument(RichTextBox *box)
{
    if (!SaveFirst(saveFirstQuestion()))
        return false;
    // changed is cleared only by a load: a cancelled dialog or a file that
    // cannot be read leaves the document as unsaved as it was.
    const QString path = documentDialog(1);
    return path.isEmpty() || loadDocument(box, path, 0);
}

void frmeditor::mnuopen_Click()
{
    RichTextBox *box = activeEditor();
    if (box && openDocument(box))
        focusDocument(box);
}

void frmeditor::openAtStartup(const QString &path)
{
    m_startupFile = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
}

void frmeditor::openStartupFile()
{
    RichTextBox *box = activeEditor();
    if (m_startupFile.isEmpty() || !box)
        return;
    const QString path = std::exchange(m_startupFile, QString());
    CMDialog1->FileName = path;
    if (loadDocument(box, path, 0))
        focusDocument(box);
}

bool frmeditor::nameUntitledDocument(QString &path)
{
    // A document without a name proposes none, never another document's.
    path = documentDialog(2, QString());
    if (path.isEmpty()) {
        if (RichTextBox *box = activeEditor())
            box->setFocus();
        return false;
    }
    return true;
}

bool frmeditor::saveCommand()
{
    // The name becomes the document's only once the document is in it.
    QString path = curfile;
    if (path.isEmpty() && !nameUntitledDocument(path))
        return false;
    RichTextBox *box = activeEditor();
    if (!box || !saveInFormat(box, path, false))
        return false;
    box->setFocus();
    return true;
}

void frmeditor::mnusave_Click() { saveCommand(); }

bool frmeditor::saveAsCommand()
{
    // A named document proposes its own name, an untitled one none.
    const QString path = documentDialog(2, curfile.isEmpty() ? QString() : platform::mapDrivePath(curfile));
    if (path.isEmpty())
        return false;
    // The file named in the caption is the one a later Save writes.
    RichTextBox *box = activeEditor();
    if (!box || !saveDocument(box, path, true))
        return false;
    box->setFocus();
    return true;
}

void frmeditor::mnusaveas_Click() { saveAsCommand(); }

void frmeditor::mnuexit_Click()
{
    if (Form_QueryUnload())
        close();
}

// ---------------------------------------------------------------------------
// Insert File, Write File

void frmeditor::mnu_insertfile_Click()
{
    const QString path = documentDialog(1);
    RichTextBox *box = activeEditor();
    if (!path.isEmpty()) {
        bool ok = false;
        QString why;
        {
            // A large file goes in by pieces as a paste does, in one step of
            // the history; Escape takes them all back out. The insertion
            // leaves `changed` as it was.
            platform::LongWork work(StatusBar1, platform::LongWork::MayCancel);
            QByteArray bytes;
            ok = readWholeFile(path, bytes, &why);
            if (ok && box) {
                const QString text = platform::decodeText(bytes);
                bytes = QByteArray();
                box->setSelText(text, work.progress());
            }
        }
        if (!ok) {
            platform::MsgBoxFailure(kErrorOpening, path, why);
            return;
        }
    }
    if (box)
        box->setFocus();
}

void frmeditor::mnu_writefile_Click()
{
    // The selection goes to a file of its own: the dialog proposes no name.
    const QString path = documentDialog(2, QString());
    RichTextBox *box = activeEditor();
    if (path.isEmpty()) {
        if (box)
            box->setFocus();
        return;
    }
    if (!box)
        return;
    // The document stays the current file: Write File receives only the
    // selection, so a later Save must not land here.
    if (!saveFile(path, [box](platform::LongWork &) -> std::optional<QByteArray> {
            return encodePlainText(box->SelText()) + QByteArrayLiteral("\r\n");
        }))
        return;
    // Written over the document's own file, which then no longer holds the
    // document: it is unsaved work, which Exit, New and Open ask about.
    if (!curfile.isEmpty() && isSameFile(path, curfile))
        changed = 1;
    box->setFocus();
}

// ---------------------------------------------------------------------------
// Print, Page Setup

QPrinter *frmeditor::documentPrinter()
{
    QPrinter *printer = CMDialog1->printer();
    if (!m_printerPrepared) {
        m_printerPrepared = true;
        printer->setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    }
    return printer;
}

void frmeditor::mnu_print_Click()
{
    CMDialog1->Flags = platform::CommonDialog::cdlPDReturnDC + platform::CommonDialog::cdlPDNoPageNums;
    RichTextBox *box = nullptr;
    if (tmpeditor->isVisibleTo(this))
        box = tmpeditor;
    else if (editor->isVisibleTo(this))
        box = editor;
    if (!box)
        return;
    if (box->SelLength() != 0)
        CMDialog1->Flags += platform::CommonDialog::cdlPDSelection;
    documentPrinter();
    // Cancel prints nothing, whichever control holds the document.
    if (!CMDialog1->ShowPrinter() || CMDialog1->hDC() == 0)
        return;
    QPrinter *printer = documentPrinter();
    if (!printer->isValid()) {
        platform::MsgBox(QStringLiteral("No printer is available."));
        return;
    }
    bool ok = true;
    {
        const Screen::BusyPointer busy;
        try {
            box->SelPrint(printer);
        } catch (const std::exception &) {   // no printer, no room on the page
            ok = false;
        }
    }
    if (!ok)
        platform::MsgBox(kErrorPrinting);
    box->setFocus();
}

void frmeditor::mnu_pagesetup_Click()
{
    const Screen::BusyPointer busy;
    // The set-up works on the printer Print uses, so paper and margins
    // carry over to the next print.
    documentPrinter();
    CMDialog1->ShowPageSetup();
}
