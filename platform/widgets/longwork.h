#pragma once
// Long work on the window's thread, done in pieces between which the window
// goes on living: the busy pointer from the start, after a short delay a
// progress bar over the status bar's first panel, and the window's events
// handled at every piece (it repaints and answers the desktop). What a user
// does meanwhile cannot reach the document: keys, clicks, the wheel, drops,
// input methods and closing the window are swallowed, not kept for later.
// Escape cancels work that was started as cancellable, until it says it has
// passed the point where cancelling would lose something.
//
// The work reports through progress(): a callback taking (done, total)
// that answers false once the work is to stop. Work started while other
// long work runs (Save inside Open's save-first question) joins it.
#include <QElapsedTimer>
#include <QPointer>

#include <functional>
#include <memory>

#include "runtime.h"

namespace platform {

class StatusBar;

using Progress = std::function<bool(qint64 done, qint64 total)>;

class LongWork {
public:
    enum Cancel { CannotCancel, MayCancel };
    LongWork(StatusBar *bar, Cancel cancel);
    ~LongWork();
    LongWork(const LongWork &) = delete;
    LongWork &operator=(const LongWork &) = delete;

    // The work has done done of total: handles the window's events when
    // their time has come, and shows the progress. False once the user
    // cancelled.
    bool update(qint64 done, qint64 total);
    Progress progress()
    {
        return [this](qint64 done, qint64 total) { return update(done, total); };
    }
    bool cancelled() const;
    // From here on the work finishes whatever the user does.
    void finishFromHere();

    // Is long work running now?
    static bool running();
    // How long before the bar shows, and how often events are handled
    // (milliseconds); tests shorten them to keep their documents small.
    static void setTiming(int showAfterMs, int eventsEveryMs);

private:
    class Filter;
    bool outermost() const { return m_outer == nullptr; }
    void handleEvents();

    LongWork *m_outer = nullptr;
    QPointer<StatusBar> m_bar;
    Screen::BusyPointer m_busy;
    bool m_mayCancel = false;
    bool m_cancelled = false;
    bool m_shown = false;
    QElapsedTimer m_started;
    QElapsedTimer m_sinceEvents;
    std::unique_ptr<Filter> m_filter;
};

}  // namespace platform
