#include "statusbar.h"

#include "units.h"

#include <QDateTime>
#include <QStyle>
#include <QGuiApplication>
#include <QLocale>
#include <QProgressBar>
#include <QTimer>

#include <dlfcn.h>
#include <optional>

namespace platform {

namespace {
// The X keyboard's indicator LEDs, read through libX11 when the program runs
// on X11 (loaded at run time so that no X11 headers are needed to build).
std::optional<unsigned> x11Indicators()
{
#if defined(Q_OS_LINUX)
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->display())
        return std::nullopt;
    using GetState = int (*)(void *, unsigned, unsigned *);
    static GetState getState = [] {
        void *lib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
        return lib ? reinterpret_cast<GetState>(dlsym(lib, "XkbGetIndicatorState")) : nullptr;
    }();
    if (!getState)
        return std::nullopt;
    unsigned state = 0;
    constexpr unsigned XkbUseCoreKbd = 0x0100;
    if (getState(x11->display(), XkbUseCoreKbd, &state) != 0)
        return std::nullopt;
    return state;
#else
    return std::nullopt;
#endif
}
}  // namespace

std::optional<bool> StatusBar::capsLockOn()
{
    if (auto s = x11Indicators())
        return (*s & 1u) != 0;
    return std::nullopt;
}

std::optional<bool> StatusBar::numLockOn()
{
    if (auto s = x11Indicators())
        return (*s & 2u) != 0;
    return std::nullopt;
}

StatusBar::StatusBar(QWidget *parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    m_timer = new QTimer(this);
    m_timer->setInterval(500);
    connect(m_timer, &QTimer::timeout, this, &StatusBar::refresh);
    m_timer->start();
}

StatusBar::~StatusBar() { qDeleteAll(m_panels); }

StatusPanel &StatusBar::addPanel(StatusPanel::Kind kind, double minWidthTwips, bool autoSize)
{
    auto *p = new StatusPanel;
    p->kind = kind;
    p->autoSize = autoSize;
    p->label = new QLabel(this);
    p->label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    p->label->setMinimumWidth(twipsToPixelsX(minWidthTwips));
    if (!autoSize)
        p->label->setMaximumWidth(twipsToPixelsX(minWidthTwips));
    p->label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    p->label->setContentsMargins(3, 0, 3, 0);
    switch (kind) {
    case StatusPanel::CapsLock: p->text = QStringLiteral("CAPS"); break;
    case StatusPanel::NumLock: p->text = QStringLiteral("NUM"); break;
    case StatusPanel::Insert: p->text = QStringLiteral("INS"); break;
    default: break;
    }
    p->label->setText(p->text);
    addPermanentWidget(p->label, autoSize ? 1 : 0);
    m_panels.append(p);
    refresh();
    fitPanels();
    return *p;
}

void StatusBar::resizeEvent(QResizeEvent *e)
{
    fitPanels();
    QStatusBar::resizeEvent(e);
}

void StatusBar::fitPanels()
{
    // The room a panel takes beside its own width: the layout's spacing.
    const int spacing = style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing) + 4;
    int needed = 0;
    for (const StatusPanel *p : m_panels)
        needed += p->label->minimumWidth() + spacing;
    QList<StatusPanel *> order;   // the first gives way first
    for (auto it = m_panels.crbegin(); it != m_panels.crend(); ++it)
        if ((*it)->kind == StatusPanel::Text && (*it)->label->text().isEmpty())
            order.append(*it);
    for (auto it = m_panels.crbegin(); it != m_panels.crend(); ++it)
        if (!order.contains(*it))
            order.append(*it);
    QList<StatusPanel *> hidden;
    for (StatusPanel *p : order) {
        if (needed <= width())
            break;
        needed -= p->label->minimumWidth() + spacing;
        hidden.append(p);
    }
    for (StatusPanel *p : m_panels)
        p->label->setVisible(!hidden.contains(p));
}

void StatusBar::showProgress(int value, int maximum)
{
    if (m_panels.isEmpty())
        return;
    QLabel *panel = m_panels.first()->label;
    if (!m_progress) {
        m_progress = new QProgressBar(panel);
        m_progress->setTextVisible(false);
    }
    if (m_progress->parentWidget() != panel)
        m_progress->setParent(panel);
    m_progress->setGeometry(panel->contentsRect());
    m_progress->setRange(0, maximum);
    m_progress->setValue(value);
    m_progress->show();
}

void StatusBar::endProgress()
{
    if (m_progress)
        m_progress->hide();
}

void StatusBar::refresh()
{
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    for (StatusPanel *p : m_panels) {
        switch (p->kind) {
        case StatusPanel::CapsLock: p->label->setEnabled(capsLockOn().value_or(false)); break;
        case StatusPanel::NumLock: p->label->setEnabled(numLockOn().value_or(false)); break;
        case StatusPanel::Insert: p->label->setEnabled(m_insertMode ? m_insertMode() : true); break;
        case StatusPanel::Time:
            p->text = locale.toString(now.time(), QLocale::ShortFormat);
            p->label->setText(p->text);
            break;
        case StatusPanel::Date:
            p->text = locale.toString(now.date(), QLocale::ShortFormat);
            p->label->setText(p->text);
            break;
        case StatusPanel::Text: break;
        }
    }
}

}  // namespace platform
