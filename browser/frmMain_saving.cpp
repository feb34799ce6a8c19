// The local file panel, the save button with its record file, and
// File > Open.
#include "frmMain.h"

#include "dialoghost.h"
#include "drivemapping.h"
#include "textcodec.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>

void frmMain::connectSaving()
{
    connect(Drive1, &platform::DriveListBox::Change, this, &frmMain::Drive1_Change);
    connect(Dir1, &platform::DirListBox::Change, this, &frmMain::Dir1_Change);
    connect(File1, &platform::FileListBox::Click, this, &frmMain::File1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmMain::Command2_Click);
    connect(mnuFileOpen, &QAction::triggered, this, &frmMain::mnuFileOpen_Click);
    connect(WebBrowser1, &platform::WebBrowser::SaveCompleted, this, &frmMain::WebBrowser1_SaveCompleted);
    connect(WebBrowser1, &platform::WebBrowser::SaveFailed, this, &frmMain::WebBrowser1_SaveFailed);
}

// --- the file panel ---------------------------------------------------------------

void frmMain::Drive1_Change()
{
    const QString drive = Drive1->Drive();
    const QStorageInfo storage(drive);
    const QDir root(drive);
    if (!root.exists() || !root.isReadable() || !storage.isValid() || !storage.isReady()) {
        // The panel stays as it was.
        Drive1->showDriveOf(Dir1->Path());
        reportFailure(QStringLiteral("Drive %1 cannot be read.").arg(drive));
        return;
    }
    Dir1->setPath(drive);
}

void frmMain::Dir1_Change()
{
    File1->setPath(Dir1->Path());
    File1->setPattern(QStringLiteral("*.*"));
    Drive1->showDriveOf(Dir1->Path());
    const QString path = File1->Path();
    if (!path.endsWith(platform::kSeparator))
        filenam = path + platform::kSeparator + File1->FileName();
    else
        filenam = path;
    Text1->setText(filenam);
}

void frmMain::File1_Click()
{
    File1->setPattern(QStringLiteral("*.*"));
    const QString path = File1->Path();
    if (!path.endsWith(platform::kSeparator))
        filenam = path + platform::kSeparator + File1->FileName();
    else
        filenam = path + File1->FileName();
    Text1->setText(filenam);
}

// --- saving -------------------------------------------------------------------------

QString frmMain::recordPath() { return platform::mapDrivePath(QStringLiteral("C:\\Zanth.lib")); }

namespace {
// The length of the code point at i: a surrogate pair is one character.
qsizetype charLength(const QString &text, qsizetype i)
{
    return text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate() ? 2 : 1;
}

bool inWindows1252(QStringView ch)
{
    return ch == u"?" || platform::encodeWindows1252(ch.toString()) != "?";
}
}  // namespace

QString frmMain::unstorableCharacter(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); i += charLength(text, i)) {
        const QStringView ch = QStringView(text).mid(i, charLength(text, i));
        if (!inWindows1252(ch))
            return ch.toString();
    }
    return {};
}

QString frmMain::withoutLineBreaks(const QString &text)
{
    QString out = text;
    out.removeIf([](QChar c) {
        return c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == QChar(0x85) || c == QChar(0x2028)
               || c == QChar(0x2029);
    });
    return out;
}

QByteArray frmMain::recordBytes(const QString &address, const QString &savePath)
{
    // Windows-1252, the ANSI code page of the record's readers.
    QByteArray line1;
    for (qsizetype i = 0; i < address.size(); i += charLength(address, i)) {
        const QStringView ch = QStringView(address).mid(i, charLength(address, i));
        if (inWindows1252(ch))
            line1 += platform::encodeWindows1252(ch.toString());
        else
            line1 += ch.toUtf8().toPercentEncoding();
    }
    return line1 + "\r\n" + platform::encodeWindows1252(savePath) + "\r\n";
}

void frmMain::Command2_Click()
{
    // Only a page that is there, to a path the record can hold.
    if (m_endingAfterSaves)
        return;
    const QString shown = WebBrowser1->LocationURL();
    if (shown.isEmpty() || shown == u"about:blank") {
        reportFailure(QStringLiteral("There is no page to save yet."));
        return;
    }
    if (WebBrowser1->Busy()) {
        reportFailure(QStringLiteral("The page is still loading. Save it when it has loaded."));
        return;
    }
    const QString typed = Text1->text();
    if (typed.isEmpty()) {
        reportFailure(QStringLiteral("There is no file name to save the page as."));
        return;
    }
    if (const QString bad = unstorableCharacter(typed); !bad.isEmpty()) {
        const QString code = QString::number(bad.toUcs4().value(0), 16).toUpper().rightJustified(4, u'0');
        reportFailure(QStringLiteral("The page cannot be saved as %1.\n\nThe name holds \"%2\" (U+%3), which "
                                     "C:\\Zanth.lib cannot record. Choose a name without it.")
                          .arg(typed, bad, code));
        return;
    }
    // The page goes where the box says; a relative name lies in the folder
    // list's folder.
    QString target = platform::mapDrivePath(typed);
    if (QFileInfo(target).isRelative())
        target = QDir(Dir1->Path()).absoluteFilePath(target);

    // The record holds the boxes as they are at the click; a save clicked
    // while another is writing waits its turn.
    m_waitingSaves.append(SaveRequest{txtInput->text(), typed, target});
    startNextSave();
}

void frmMain::startNextSave()
{
    if (m_saveUnderWay || m_waitingSaves.isEmpty() || m_ended)
        return;
    m_save = m_waitingSaves.takeFirst();
    m_saveUnderWay = true;
    try {
        WebBrowser1->ExecWB(platform::WebBrowser::OLECMDID_SAVEAS, platform::WebBrowser::OLECMDEXECOPT_DONTPROMPTUSER,
                            m_save.target, nullptr);
    } catch (const platform::WebBrowserError &e) {
        WebBrowser1_SaveFailed(m_save.target, e.description);
    }
}

bool frmMain::writeRecord(const SaveRequest &save, QString *why)
{
    // A Wine prefix not set up yet has no drive C folder: it is made, as
    // Wine's first run would.
    if (!platform::makeDriveFolder(QStringLiteral("C:\\"))) {
        *why = QStringLiteral("The folder of drive C: (%1) cannot be created.").arg(platform::mapDrivePath(QStringLiteral("C:")));
        return false;
    }
    // Written whole or not at all.
    QSaveFile record(recordPath());
    bool ok = record.open(QIODevice::WriteOnly);
    if (ok)
        ok = record.write(recordBytes(save.address, save.path)) >= 0;
    if (ok)
        ok = record.commit();
    if (!ok) {
        *why = record.errorString();
        record.cancelWriting();
    }
    return ok;
}

void frmMain::WebBrowser1_SaveCompleted(const QString &)
{
    if (m_ended || !m_saveUnderWay)
        return;
    // The page is on disk: now the record, and then the timer.
    QString why;
    if (writeRecord(m_save, &why)) {
        m_endDue = true;
        Timer1->start();
    } else {
        reportFailure(QStringLiteral("The page was saved, but %1 could not be written.\n\n%2")
                          .arg(QStringLiteral("C:\\Zanth.lib"), why));
    }
    saveEnded();
}

void frmMain::WebBrowser1_SaveFailed(const QString &, const QString &problem)
{
    if (m_ended || !m_saveUnderWay)
        return;
    reportFailure(QStringLiteral("The page could not be saved as %1.\n\n%2").arg(m_save.path, problem));
    saveEnded();
}

void frmMain::saveEnded()
{
    m_saveUnderWay = false;
    if (!m_waitingSaves.isEmpty()) {
        // From the event loop: the page area is still reporting the end of
        // the save before.
        QTimer::singleShot(0, this, &frmMain::startNextSave);
        return;
    }
    if (m_endingAfterSaves) {
        End();
        return;
    }
    // A tick that came while saving waited for this; the end is still due.
    if (m_endDue && !Timer1->isActive())
        Timer1->start();
}

// --- File > Open ------------------------------------------------------------------------

void frmMain::mnuFileOpen_Click()
{
    // Cancel, and any other failure, ends the command without a word.
    try {
        cmdOpen->CancelError = true;
        cmdOpen->Filter = QStringLiteral("Html Files (*.html)|*.html;*.htm|");
        cmdOpen->ShowOpen();
        WebBrowser1->Navigate(cmdOpen->FileName);
    } catch (...) {
    }
}
