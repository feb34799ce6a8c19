#include "toolbar.h"

#include "units.h"

#include <QAction>
#include <QToolButton>

#include <cmath>

namespace platform {

namespace {
constexpr int kSeparatorWidth = 8;
}

Toolbar::Toolbar(QSize buttonSize, QSize imageSize, bool captions, QWidget *parent)
    : QWidget(parent), m_buttonSize(buttonSize), m_imageSize(imageSize), m_captions(captions)
{
    setAutoFillBackground(true);
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
}

}  // namespace platform
