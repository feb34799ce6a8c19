#include "menus.h"

#include "units.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>

namespace platform {

QMenu *addMenu(QMenuBar *bar, const char *name, const QString &caption)
{
    QMenu *m = bar->addMenu(caption);
    m->setObjectName(QLatin1String(name));
    m->menuAction()->setObjectName(QLatin1String(name));
    return m;
}

QAction *addMenuItem(QMenu *menu, const char *name, const QString &caption, const QKeySequence &shortcut)
{
    QAction *a = menu->addAction(caption);
    a->setObjectName(QLatin1String(name));
    a->setShortcut(shortcut);
    return a;
}

QAction *addMenuSeparator(QMenu *menu, const char *name)
{
    QAction *a = menu->addSeparator();
    a->setObjectName(QLatin1String(name));
    return a;
}

bool isWindowShortcut(const QWidget *window, const QKeyEvent *e)
{
    if (!window)
        return false;
    const QKeySequence pressed(e->keyCombination());
    const auto actions = window->findChildren<QAction *>();
    for (const QAction *a : actions)
        for (const QKeySequence &s : a->shortcuts())
            if (s == pressed)
                return true;
    return false;
}

void placeTwips(QWidget *w, double left, double top, double width, double height)
{
    w->setGeometry(twipsToPixelsX(left), twipsToPixelsY(top), twipsToPixelsX(width), twipsToPixelsY(height));
}

}  // namespace platform
