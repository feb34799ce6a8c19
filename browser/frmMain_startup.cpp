// Start-up, the settings file, the page area's layout, the address box's
// select-on-focus and the ways the program ends.
#include "frmMain.h"

#include "dialoghost.h"
#include "runtime.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenuBar>

#include <cmath>
#include <limits>

namespace {
std::function<void()> g_endAction;
}

int frmMain::Start(const QString &programFolder, std::unique_ptr<frmMain> &window, const QString &firstAddress)
{
    platform::WebBrowser::setDefaultHomePage(startAddress());
    auto w = std::make_unique<frmMain>();
    w->programFolder = programFolder;
    w->firstAddress = firstAddress;
    try {
        w->Form_Load();
    } catch (const StartupError &e) {
        // The window is never shown; the navigation already started goes
        // with it.
        w.reset();
        platform::MsgBox(e.message, vb::vbCritical, caption());
        return 1;
    }
    window = std::move(w);
    window->show();
    return 0;
}

void frmMain::connectStartup()
{
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
    m_endWait = new QTimer(this);
    m_endWait->setSingleShot(true);
    m_endWait->setInterval(kEndWaitMs);
    connect(m_endWait, &QTimer::timeout, this, [this] { advance(CycleEvent::GaveUp); });
    // The record has one line for each box.
    keepOnOneLine(txtInput);
    keepOnOneLine(Text1);
}

void frmMain::keepOnOneLine(QLineEdit *box)
{
    connect(box, &QLineEdit::textChanged, this, [box](const QString &text) {
        const QString one = withoutLineBreaks(text);
        if (one.size() == text.size())
            return;
        const int cursor = box->cursorPosition();
        const int before = int(withoutLineBreaks(text.left(cursor)).size());
        box->setText(one);
        box->setCursorPosition(before);
    });
}

void frmMain::Form_Load()
{
    File1->setPattern(QStringLiteral("*.*"));
    WebBrowser1->Navigate(firstAddress.isEmpty() ? startAddress() : firstAddress);

    const QString path = programFolder + u'/' + settingsFileName();
    const qint32 number = readSettingsFile(path);
    Q_UNUSED(number);   // read, and not applied

    QPalette pal = m_client->palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    m_client->setPalette(pal);
}

qint32 frmMain::readSettingsFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw StartupError{QStringLiteral("Run-time error '53':\n\nFile not found: %1").arg(path)};
    QFile f(path);
    if (info.isDir() || !f.open(QIODevice::ReadOnly))
        throw StartupError{QStringLiteral("Run-time error '75':\n\nPath/File access error: %1").arg(path)};
    const QString text = platform::decodeText(f.readAll());
    f.close();
    platform::FreeFormatReader reader(text);
    QString item;
    if (!reader.readItem(item))
        throw StartupError{QStringLiteral("Run-time error '62':\n\nInput past end of file: %1").arg(path)};
    // A first item that is not a number reads as 0.
    const double v = std::round(platform::val(item));
    if (v < double(std::numeric_limits<qint32>::min()) || v > double(std::numeric_limits<qint32>::max()))
        throw StartupError{QStringLiteral("Run-time error '6':\n\nOverflow: %1").arg(path)};
    return qint32(v);
}

void frmMain::Form_Resize()
{
    // The page area keeps its left and top and reaches the client area's
    // right and bottom edges, so all of the page is in sight.
    const QPoint at = WebBrowser1->pos();
    WebBrowser1->resize(std::max(0, m_client->width() - at.x()), std::max(0, m_client->height() - at.y()));
}

void frmMain::resizeEvent(QResizeEvent *e)
{
    QMainWindow::resizeEvent(e);
    layoutDocked();
    if (!isMinimized())
        Form_Resize();
}

void frmMain::txtInput_GotFocus()
{
    txtInput->setSelection(0, int(txtInput->text().size()));
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtInput && event->type() == QEvent::FocusIn) {
        // A menu closing only hands back the focus the box had.
        if (static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason)
            txtInput_GotFocus();
    }
    if (event->type() == QEvent::KeyPress) {
        auto *k = static_cast<QKeyEvent *>(event);
        const bool enter = k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter;
        const bool plain = !(k->modifiers() & ~Qt::KeypadModifier);
        if (enter && plain) {
            // Go is the window's default button: Enter in any of its boxes
            // and lists clicks it (a list's entry is chosen by a double
            // click or the arrow keys).
            if (Command1->isEnabled())
                Command1->click();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::setEndAction(std::function<void()> action) { g_endAction = std::move(action); }

void frmMain::End()
{
    if (m_cycle == Cycle::Ended)
        return;
    const bool held = m_cycle == Cycle::Closing;
    m_cycle = Cycle::Ended;
    Timer1->stop();
    m_endWait->stop();
    if (held || saving())
        platform::Screen::setMousePointer(platform::Screen::vbDefault);
    hide();
    if (g_endAction)
        g_endAction();
    else
        QCoreApplication::exit(0);
}

void frmMain::Form_Unload() { End(); }

void frmMain::closeEvent(QCloseEvent *e)
{
    // A save under way, and those waiting for it, finish first.
    if (saving() && m_cycle != Cycle::Ended) {
        e->ignore();
        advance(CycleEvent::CloseAsked);
        return;
    }
    e->accept();
    Form_Unload();
}

void frmMain::holdForSaves()
{
    if (m_cycle == Cycle::Closing)
        return;
    m_cycle = Cycle::Closing;
    Timer1->stop();
    // Nothing more to do in the window but wait.
    m_client->setEnabled(false);
    menuBar()->setEnabled(false);
    platform::Screen::setMousePointer(platform::Screen::vbHourglass);
    m_endWait->start();
}

void frmMain::Timer1_Timer()
{
    // The end waits for the saves clicked, so the program never ends with
    // half a page on disk, and for any dialog on screen.
    advance(CycleEvent::Tick);
}

void frmMain::reportFailure(const QString &what)
{
    // The box comes with the default pointer, whatever is under way.
    const int pointer = platform::Screen::mousePointer();
    platform::Screen::setMousePointer(platform::Screen::vbDefault);
    ++m_dialogs;
    platform::MsgBox(what, vb::vbCritical, caption());
    --m_dialogs;
    if (m_cycle != Cycle::Ended)
        platform::Screen::setMousePointer(pointer);
}
