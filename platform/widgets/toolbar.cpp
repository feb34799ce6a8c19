#include "toolbar.h"

#include "units.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QStyle>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <functional>

namespace platform {

namespace {
constexpr int kSeparatorWidth = 8;
}

Toolbar::Toolbar(QSize buttonSize, QSize imageSize, bool captions, QWidget *parent)
    : QWidget(parent), m_buttonSize(buttonSize), m_imageSize(imageSize), m_captions(captions)
{
    setAutoFillBackground(true);
    m_overflowMenu = new QMenu(this);
    m_overflowMenu->setObjectName(QStringLiteral("overflowMenu"));
    connect(m_overflowMenu, &QMenu::aboutToShow, this, &Toolbar::fillOverflowMenu);
    m_overflow = new QToolButton(this);
    m_overflow->setObjectName(QStringLiteral("overflow"));
    m_overflow->setIcon(style()->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton));
    m_overflow->setToolTip(tr("More"));
    m_overflow->setAutoRaise(true);
    m_overflow->setFocusPolicy(Qt::NoFocus);
    m_overflow->setPopupMode(QToolButton::InstantPopup);
    m_overflow->setMenu(m_overflowMenu);
    m_overflow->hide();
}

Toolbar::~Toolbar() { qDeleteAll(m_buttons); }

void Toolbar::setImageList(const QList<QIcon> &images)
{
    m_images = images;
    for (ToolbarButton *b : m_buttons)
        if (b->action && b->Image > 0 && b->Image <= m_images.size())
            b->action->setIcon(m_images.at(b->Image - 1));
}

ToolbarButton &Toolbar::addButton(const QString &key, const QString &toolTip, int image,
                                  ToolbarButton::Style style, const QString &caption)
{
    auto *b = new ToolbarButton;
    b->Index = int(m_buttons.size()) + 1;
    b->Key = key;
    b->ToolTipText = toolTip;
    b->Caption = caption;
    b->Image = image;
    b->style = style;
    b->action = new QAction(this);
    b->action->setObjectName(key);
    if (style == ToolbarButton::Separator) {
        b->action->setSeparator(true);
    } else {
        b->action->setText(caption.isEmpty() ? key : caption);
        b->action->setToolTip(toolTip);
        if (image > 0 && image <= m_images.size())
            b->action->setIcon(m_images.at(image - 1));
        b->widget = new QToolButton(this);
        b->widget->setDefaultAction(b->action);
        b->widget->setAutoRaise(true);
        b->widget->setFocusPolicy(Qt::NoFocus);
        b->widget->setToolButtonStyle(m_captions ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
        // No tool tip at all when the button has none (QAction would show
        // its text otherwise).
        b->widget->setToolTip(toolTip);
        if (toolTip.isEmpty())
            b->widget->setAttribute(Qt::WA_AlwaysShowToolTips, false);
        connect(b->action, &QAction::triggered, this, [this, b] { emit ButtonClick(b); });
    }
    m_buttons.append(b);
    relayout();
    return *b;
}

ToolbarButton &Toolbar::addSeparator() { return addButton({}, {}, 0, ToolbarButton::Separator); }

void Toolbar::addPlacedWidget(QWidget *widget, const QString &caption)
{
    m_placed.append({widget, caption});
    relayout();
}

void Toolbar::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    relayout();
}

ToolbarButton *Toolbar::button(const QString &key) const
{
    for (ToolbarButton *b : m_buttons)
        if (b->style == ToolbarButton::Normal && b->Key == key)
            return b;
    return nullptr;
}

void Toolbar::relayout()
{
    // Sizes are given for 96 dpi and follow the logical DPI.
    const double f = 15.0 / twipsPerPixelX();
    auto scaled = [f](int v) { return int(std::lround(v * f)); };
    const QSize bs(scaled(m_buttonSize.width()), scaled(m_buttonSize.height()));
    const QSize is(scaled(m_imageSize.width()), scaled(m_imageSize.height()));
    int x = 0;
    for (ToolbarButton *b : m_buttons) {
        if (b->style == ToolbarButton::Separator) {
            x += scaled(kSeparatorWidth);
            continue;
        }
        b->widget->setIconSize(is);
        b->widget->setGeometry(x, 1, bs.width(), bs.height());
        x += bs.width();
    }

    // What reaches past the right edge goes into the overflow menu, which
    // takes a button's room at that edge.
    int right = x;
    for (const auto &[w, caption] : m_placed)
        right = std::max(right, w->geometry().right() + 1);
    const bool overflowing = right > width();
    const int limit = overflowing ? width() - bs.width() : width();
    for (ToolbarButton *b : m_buttons)
        if (b->widget)
            b->widget->setVisible(b->widget->geometry().right() < limit);
    for (const auto &[w, caption] : m_placed)
        w->setVisible(w->geometry().right() < limit);
    m_overflow->setIconSize(is);
    m_overflow->setGeometry(std::max(0, limit), 1, bs.width(), bs.height());
    m_overflow->setVisible(overflowing);
    m_overflow->raise();
}

void Toolbar::fillOverflowMenu()
{
    m_overflowMenu->clear();
    // Left to right, as on the toolbar.
    QList<std::pair<int, std::function<void()>>> entries;
    for (ToolbarButton *b : m_buttons) {
        if (!b->widget || b->widget->isVisibleTo(this))
            continue;
        entries.append({b->widget->x(), [this, b] {
                            QString text = b->ToolTipText.isEmpty() ? b->Caption : b->ToolTipText;
                            if (text.isEmpty() && !b->Key.isEmpty())
                                text = b->Key.at(0).toUpper() + b->Key.mid(1);
                            QAction *a = m_overflowMenu->addAction(b->action->icon(), text);
                            a->setEnabled(b->action->isEnabled());
                            connect(a, &QAction::triggered, b->action, &QAction::trigger);
                        }});
    }
    for (const auto &[w, caption] : m_placed) {
        if (w->isVisibleTo(this))
            continue;
        QWidget *widget = w;
        const QString text = caption;
        entries.append({widget->x(), [this, widget, text] {
                            if (auto *box = qobject_cast<QComboBox *>(widget)) {
                                QMenu *sub = m_overflowMenu->addMenu(text);
                                for (int i = 0; i < box->count(); ++i) {
                                    QAction *a = sub->addAction(box->itemText(i));
                                    a->setCheckable(true);
                                    a->setChecked(box->itemText(i) == box->currentText());
                                    connect(a, &QAction::triggered, box, [box, i] {
                                        box->setCurrentIndex(i);
                                        emit box->activated(i);
                                    });
                                }
                            } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
                                QAction *a = m_overflowMenu->addAction(text);
                                connect(a, &QAction::triggered, button, &QAbstractButton::click);
                            }
                        }});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &entry : entries)
        entry.second();
}

}  // namespace platform
