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

QByteArray frmMain::recordBytes(const QString &address, const QString &savePath)
{
    // Windows-1252, the ANSI code page of the record's readers.
    return platform::encodeWindows1252(address) + "\r\n" + platform::encodeWindows1252(savePath) + "\r\n";
}

void frmMain::Command2_Click()
{
    // One save at a time, and only of a page that is there.
    if (WebBrowser1->Saving()) {
        reportFailure(QStringLiteral("The page is still being saved."));
        return;
    }
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
    // The page goes where the box says; a relative name lies in the folder
    // list's folder.
    QString target = platform::mapDrivePath(typed);
    if (QFileInfo(target).isRelative())
        target = QDir(Dir1->Path()).absoluteFilePath(target);

    // The record holds the boxes as they are at the click.
    m_saveAddress = txtInput->text();
    m_savePath = typed;
    try {
        WebBrowser1->ExecWB(platform::WebBrowser::OLECMDID_SAVEAS, platform::WebBrowser::OLECMDEXECOPT_DONTPROMPTUSER,
                            target, nullptr);
    } catch (const platform::WebBrowserError &e) {
        reportFailure(QStringLiteral("The page could not be saved as %1.\n\n%2").arg(typed, e.description));
    }
}

void frmMain::WebBrowser1_SaveCompleted(const QString &)
{
    // The page is on disk: now the record, written whole or not at all, and
    // then the timer.
    QSaveFile record(recordPath());
    bool ok = record.open(QIODevice::WriteOnly);
    if (ok)
        ok = record.write(recordBytes(m_saveAddress, m_savePath)) >= 0;
    if (ok)
        ok = record.commit();
    if (!ok) {
        const QString why = record.errorString();
        record.cancelWriting();
        reportFailure(QStringLiteral("The page was saved, but %1 could not be written.\n\n%2")
                          .arg(QStringLiteral("C:\\Zanth.lib"), why));
        if (m_endWhenSaved)
            End();
        return;
    }
    if (m_endWhenSaved) {
        // An earlier save's timer has run out meanwhile.
        End();
        return;
    }
    if (!Timer1->isActive())
        Timer1->start();
}

void frmMain::WebBrowser1_SaveFailed(const QString &, const QString &problem)
{
    reportFailure(QStringLiteral("The page could not be saved as %1.\n\n%2").arg(m_savePath, problem));
    if (m_endWhenSaved)
        End();
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
