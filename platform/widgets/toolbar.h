#pragma once
// A toolbar of push buttons and separators laid out at fixed places, the way
// the window designs place other controls on top of it. Each button is a
// QAction named by its Key; a click raises ButtonClick with the button.
//
// When the toolbar is too narrow for all of it, what does not fit is hidden
// and offered in the menu of an overflow button at its right end: buttons as
// themselves, and the controls the window placed on it (addPlacedWidget): a
// push button as an item that clicks it, a list box as a submenu of its
// entries, picking one as a click in the box would.
#include <QIcon>
#include <QList>
#include <QString>
#include <QWidget>

class QAction;
class QMenu;
class QToolButton;

namespace platform {

struct ToolbarButton {
    enum Style { Normal, Separator };
    int Index = 0;            // from 1
    QString Key;
    QString ToolTipText;
    QString Caption;
    int Image = 0;            // index into the image list, from 1; 0: none
    Style style = Normal;
    QAction *action = nullptr;
    QToolButton *widget = nullptr;
};

class Toolbar : public QWidget {
    Q_OBJECT
public:
    // Button and image sizes in pixels at 96 dpi; separators are 8 wide.
    Toolbar(QSize buttonSize, QSize imageSize, bool captions, QWidget *parent = nullptr);
    ~Toolbar() override;

    // The image list the buttons take their pictures from (index from 1).
    void setImageList(const QList<QIcon> &images);

    ToolbarButton &addButton(const QString &key, const QString &toolTip, int image,
                             ToolbarButton::Style style = ToolbarButton::Normal,
                             const QString &caption = {});
    ToolbarButton &addSeparator();
    // A control the window placed on the toolbar, named caption in the
    // overflow menu.
    void addPlacedWidget(QWidget *widget, const QString &caption);
    // The overflow button: shown while something does not fit.
    QToolButton *overflowButton() const { return m_overflow; }

    const QList<ToolbarButton *> &Buttons() const { return m_buttons; }
    ToolbarButton *button(const QString &key) const;

signals:
    void ButtonClick(platform::ToolbarButton *Button);

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    void relayout();
    void fillOverflowMenu();

    QSize m_buttonSize;
    QSize m_imageSize;
    bool m_captions;
    QList<QIcon> m_images;
    QList<ToolbarButton *> m_buttons;
    QList<std::pair<QWidget *, QString>> m_placed;
    QToolButton *m_overflow = nullptr;
    QMenu *m_overflowMenu = nullptr;
};

}  // namespace platform
