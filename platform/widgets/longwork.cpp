#include "longwork.h"

#include "statusbar.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>

namespace platform {

namespace {
LongWork *g_current = nullptr;
int g_showAfterMs = 400;
int g_eventsEveryMs = 40;
}  // namespace

// Keeps the user's input from the document while the work runs.
class LongWork::Filter : public QObject {
public:
    explicit Filter(LongWork *work) : m_work(work) { qApp->installEventFilter(this); }
    ~Filter() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        switch (e->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent *>(e)->key() == Qt::Key_Escape && m_work->m_mayCancel)
                m_work->m_cancelled = true;
            return true;
        case QEvent::Close:
            // Closing waits for the work: the window stays, the user may
            // close it again once the work is done.
            e->ignore();
            return true;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::InputMethod:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            return true;
        default:
            return false;
        }
    }

private:
    LongWork *m_work;
};

LongWork::LongWork(StatusBar *bar, Cancel cancel)
    : m_outer(g_current), m_bar(bar), m_mayCancel(cancel == MayCancel)
{
    if (m_outer) {
        // Joins the work already running: cancellable only if both are.
        m_mayCancel = m_mayCancel && m_outer->m_mayCancel;
        return;
    }
    g_current = this;
    m_started.start();
    m_sinceEvents.start();
    m_filter = std::make_unique<Filter>(this);
}

LongWork::~LongWork()
{
    if (!outermost())
        return;
    m_filter.reset();
    if (m_shown && m_bar)
        m_bar->endProgress();
    g_current = nullptr;
}

bool LongWork::running() { return g_current != nullptr; }

void LongWork::setTiming(int showAfterMs, int eventsEveryMs)
{
    g_showAfterMs = showAfterMs;
    g_eventsEveryMs = eventsEveryMs;
}

bool LongWork::cancelled() const
{
    const LongWork *top = m_outer ? m_outer : this;
    return m_mayCancel && top->m_cancelled;
}

void LongWork::finishFromHere()
{
    m_mayCancel = false;
    if (m_outer)
        return;
    m_cancelled = false;
}

bool LongWork::update(qint64 done, qint64 total)
{
    LongWork *top = m_outer ? m_outer : this;
    if (top->m_sinceEvents.elapsed() >= g_eventsEveryMs) {
        if (top->m_started.elapsed() >= g_showAfterMs && top->m_bar) {
            top->m_shown = true;
            const int permille = total > 0 ? int(qBound<qint64>(qint64(0), done * 1000 / total, qint64(1000))) : 0;
            top->m_bar->showProgress(permille, 1000);
        }
        top->handleEvents();
    }
    return !cancelled();
}

void LongWork::handleEvents()
{
    // What is waiting now, once: a busy timer never holds the work up.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sinceEvents.restart();
}

}  // namespace platform
