#pragma once
// A status bar that keeps its panels up to date by itself: key-state
// indicators drawn enabled while their state is on, a live time and date.
// Panels keep their least width; in a bar too narrow for all of them, the
// empty text panels give way first, then the others from the right.
#include <QLabel>
#include <QList>
#include <QStatusBar>
#include <functional>
#include <optional>

class QProgressBar;
class QTimer;

namespace platform {

struct StatusPanel {
    enum Kind { Text, CapsLock, NumLock, Insert, Time, Date };
    Kind kind = Text;
    QString text;
    bool autoSize = false;
    QLabel *label = nullptr;
};

class StatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusBar(QWidget *parent = nullptr);

    // minWidthTwips: the panel's width, and its least width when it sizes
    // itself.
    StatusPanel &addPanel(StatusPanel::Kind kind, double minWidthTwips, bool autoSize);
    const QList<StatusPanel *> &Panels() const { return m_panels; }
    // Where insert mode comes from (true: inserting, false: overwriting).
    void setInsertModeSource(std::function<bool()> source) { m_insertMode = std::move(source); }
    // Reads the key states and the clock now.
    void refresh();
    ~StatusBar() override;

    // A progress bar over the first panel, at value of maximum; the panel
    // shows again once the progress ends.
    void showProgress(int value, int maximum);
    void endProgress();
    QProgressBar *progressBar() const { return m_progress; }

    // The keyboard's lock states, where the windowing system tells them.
    static std::optional<bool> capsLockOn();
    static std::optional<bool> numLockOn();

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    void fitPanels();

    QList<StatusPanel *> m_panels;
    std::function<bool()> m_insertMode;
    QTimer *m_timer = nullptr;
    QProgressBar *m_progress = nullptr;
};

}  // namespace platform
