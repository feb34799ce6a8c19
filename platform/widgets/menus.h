#pragma once
// Building a window's menu tree and placing its controls, by their names.
#include <QKeySequence>
#include <QString>

class QAction;
class QKeyEvent;
class QMenu;
class QMenuBar;
class QWidget;

namespace platform {

// A menu on the bar; the menu and its action carry the name.
QMenu *addMenu(QMenuBar *bar, const char *name, const QString &caption);
QAction *addMenuItem(QMenu *menu, const char *name, const QString &caption, const QKeySequence &shortcut = {});
QAction *addMenuSeparator(QMenu *menu, const char *name);
// Is the key one of the shortcuts of window's actions (its menu items and
// the keys it adds itself), enabled or not?
bool isWindowShortcut(const QWidget *window, const QKeyEvent *e);
// Places a control at a rectangle given in twips.
void placeTwips(QWidget *w, double left, double top, double width, double height);

}  // namespace platform
