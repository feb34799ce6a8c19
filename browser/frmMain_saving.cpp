// The local file panel, the save button with its record file, and
// File > Open.
#include "frmMain.h"

#include "dialoghost.h"
#include "drivemapping.h"
#include "pagesave.h"
#include "runtime.h"
#include "textcodec.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
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
    connect(WebBrowser1, &platform::WebBrowser::TitleChange, this, &frmMain::WebBrowser1_TitleChange);
    // A save waiting for the page goes on when the load ends (Stop too).
    connect(WebBrowser1, &QWebEngineView::loadFinished, this, [this] { advance(CycleEvent::PageLoaded); });
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

QString frmMain::recordPath() { return platform::mapDrivePath(recordName()); }

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
    if (m_cycle == Cycle::Closing || m_cycle == Cycle::Ended)
        return;
    // Only a page that is there, to a path that names a file the record can
    // hold: anything else is refused before a thing is written.
    const QString shown = WebBrowser1->LocationURL();
    if (shown.isEmpty() || shown == u"about:blank") {
        reportFailure(QStringLiteral("There is no page to save yet."));
        return;
    }
    const QString typed = Text1->text();
    if (typed.isEmpty()) {
        reportFailure(QStringLiteral("There is no file name to save the page as."));
        return;
    }
    auto refuse = [&](const QString &why) {
        reportFailure(QStringLiteral("The page cannot be saved as %1.\n\n%2 Nothing was written.").arg(typed, why));
    };
    if (const QString bad = unstorableCharacter(typed); !bad.isEmpty()) {
        const QString code = QString::number(bad.toUcs4().value(0), 16).toUpper().rightJustified(4, u'0');
        refuse(QStringLiteral("The name holds \"%1\" (U+%2), which %3 cannot record. Choose a name without it.")
                   .arg(bad, code, recordName()));
        return;
    }
    // The page goes where the box says; a relative name lies in the folder
    // list's folder.
    QString refusal;
    QString target = platform::mapDrivePath(typed, &refusal);
    if (target.isEmpty()) {
        refuse(refusal.isEmpty() ? QStringLiteral("It names no file.") : refusal);
        return;
    }
    if (QFileInfo(target).isRelative())
        target = QDir(Dir1->Path()).absoluteFilePath(target);
    if (const QString problem = platform::SavePath::problem(target); !problem.isEmpty()) {
        refuse(problem);
        return;
    }
    if (!WebBrowser1->Busy() && WebBrowser1->ShowsErrorPage()) {
        refuse(QStringLiteral("The page could not be loaded; what is shown is the error page."));
        return;
    }
    // The record holds the boxes as they are at the click.
    m_saves.append(SaveRequest{txtInput->text(), typed, target});
    advance(CycleEvent::SaveClicked);
}

void frmMain::advance(CycleEvent event, const QString &detail)
{
    if (m_cycle == Cycle::Ended)
        return;
    switch (event) {
    case CycleEvent::SaveClicked:
        // From the click to the record the window shows it is at work.
        platform::Screen::setMousePointer(platform::Screen::vbHourglass);
        if (m_cycle == Cycle::Browsing || m_cycle == Cycle::EndDue) {
            Timer1->stop();
            beginSave();
        }
        break;   // otherwise it waits its turn
    case CycleEvent::PageLoaded:
        if (m_cycle == Cycle::WaitingForPage || (m_cycle == Cycle::Closing && saving() && !WebBrowser1->Saving()))
            beginSave();
        break;
    case CycleEvent::SaveWritten:
    case CycleEvent::SaveFailed:
        if (!saving() || !WebBrowser1 || (m_cycle != Cycle::Saving && m_cycle != Cycle::Closing))
            return;
        if (event == CycleEvent::SaveWritten) {
            // The page is on disk: now the record, which makes the end due.
            QString why;
            if (writeRecord(m_saves.first(), &why))
                m_recorded = true;
            else
                reportFailure(QStringLiteral("The page was saved, but %1 could not be written.\n\n%2").arg(recordName(), why));
        } else {
            reportFailure(QStringLiteral("The page could not be saved as %1.\n\n%2").arg(m_saves.first().path, detail));
        }
        if (!m_saves.isEmpty())
            m_saves.removeFirst();
        nextSave();
        break;
    case CycleEvent::Tick:
        if (m_cycle != Cycle::EndDue) {
            // A tick while saving waits for the last record, which starts
            // the timer again.
            Timer1->stop();
            return;
        }
        if (dialogOpen()) {
            // The end never takes a dialog away from under the user: it
            // comes once the dialog is closed.
            Timer1->stop();
            QTimer::singleShot(100, this, [this] { advance(CycleEvent::Tick); });
            return;
        }
        End();
        break;
    case CycleEvent::CloseAsked:
        if (saving())
            holdForSaves();
        else
            End();
        break;
    case CycleEvent::GaveUp:
        if (m_cycle != Cycle::Closing)
            return;
        // Said, then done: the save is stopped before the message, so
        // nothing of it is written while the message is on screen.
        WebBrowser1->CancelSave();
        reportFailure(QStringLiteral("The page is still being saved as %1 after %2 seconds. Zanth Browser ends now "
                                     "without this save: the page is not written and %3 does not record it.")
                          .arg(m_saves.value(0).path)
                          .arg(kEndWaitMs / 1000)
                          .arg(recordName()));
        m_saves.clear();
        End();
        break;
    }
}

void frmMain::beginSave()
{
    const bool closing = m_cycle == Cycle::Closing;
    SaveRequest &save = m_saves.first();
    if (WebBrowser1->Busy()) {
        // The page is saved whole: the save waits for the load (Stop ends
        // the wait, and what is there is saved).
        save.waited = true;
        if (!closing)
            m_cycle = Cycle::WaitingForPage;
        return;
    }
    // What the address box shows now is the page that is saved.
    if (save.waited)
        save.address = txtInput->text();
    if (!closing)
        m_cycle = Cycle::Saving;
    try {
        if (WebBrowser1->ShowsErrorPage())
            throw platform::WebBrowserError{QStringLiteral("The page could not be loaded; what is shown is the error page. Nothing was written.")};
        WebBrowser1->ExecWB(platform::WebBrowser::OLECMDID_SAVEAS, platform::WebBrowser::OLECMDEXECOPT_DONTPROMPTUSER,
                            save.target, nullptr);
    } catch (const platform::WebBrowserError &e) {
        advance(CycleEvent::SaveFailed, e.description);
    }
}

void frmMain::nextSave()
{
    if (!m_saves.isEmpty()) {
        // From the event loop: the page area is still reporting the end of
        // the save before.
        QTimer::singleShot(0, this, [this] {
            if (saving() && !WebBrowser1->Saving() && m_cycle != Cycle::Ended)
                beginSave();
        });
        return;
    }
    if (m_cycle == Cycle::Closing) {
        End();
        return;
    }
    platform::Screen::setMousePointer(platform::Screen::vbDefault);
    if (m_recorded) {
        // Timer1 counts from the last record.
        m_cycle = Cycle::EndDue;
        Timer1->start();
    } else {
        m_cycle = Cycle::Browsing;
    }
}

bool frmMain::writeRecord(const SaveRequest &save, QString *why)
{
    // A Wine prefix not set up yet has no drive C folder: it is made, as
    // Wine's first run would.
    if (!platform::makeDriveFolder(recordName())) {
        *why = QStringLiteral("The folder of drive C: (%1) cannot be created.").arg(platform::mapDrivePath(QStringLiteral("C:")));
        return false;
    }
    // Written whole and on disk, or not at all.
    if (!platform::writeFileSafely(recordPath(), recordBytes(save.address, save.path), why)) {
        *why = QStringLiteral("%1: %2").arg(recordPath(), why->isEmpty() ? QStringLiteral("not written") : *why);
        return false;
    }
    return true;
}

void frmMain::WebBrowser1_SaveCompleted(const QString &) { advance(CycleEvent::SaveWritten); }

void frmMain::WebBrowser1_SaveFailed(const QString &, const QString &problem) { advance(CycleEvent::SaveFailed, problem); }

void frmMain::WebBrowser1_TitleChange(const QString &Text) { setWindowTitle(captionPrefix() + Text); }

bool frmMain::dialogOpen() const
{
    return m_dialogs > 0 || WebBrowser1->DialogOpen() || QApplication::activeModalWidget()
           || QApplication::activePopupWidget();
}

// --- File > Open ------------------------------------------------------------------------

void frmMain::mnuFileOpen_Click()
{
    // Cancel, and any other failure, ends the command without a word.
    try {
        cmdOpen->CancelError = true;
        cmdOpen->Filter = QStringLiteral("Html Files (*.html)|*.html;*.htm|");
        {
            ++m_dialogs;
            const auto shown = qScopeGuard([this] { --m_dialogs; });
            cmdOpen->ShowOpen();
        }
        WebBrowser1->Navigate(cmdOpen->FileName);
    } catch (...) {
    }
}
