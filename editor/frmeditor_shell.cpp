// Start-up, layout and closing.
#include "frmeditor.h"

#include "runtime.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QStyle>

void frmeditor::connectItems(std::initializer_list<std::pair<QAction *, Procedure>> items)
{
    for (const auto &[item, procedure] : items)
        connect(item, &QAction::triggered, this, procedure);
}

void frmeditor::connectShell()
{
    connect(Timer1, &QTimer::timeout, this, &frmeditor::Timer1_Timer);
    connect(Toolbar1, &platform::Toolbar::ButtonClick, this, &frmeditor::Toolbar1_ButtonClick);
    connectRecovery();
}

void frmeditor::Form_Load()
{
    platform::Screen::setMousePointer(platform::Screen::vbDefault);
    setTop(0);
    setLeft(0);
    tmpeditor->setWidthTwips(Width() - 50);
    tmpeditor->setHeightTwips(Height());
    editor->setWidthTwips(Width() - 50);
    editor->setHeightTwips(Height());
    Timer1->start();

    // From here on a step that fails is skipped.
    for (int size = 8; size <= 20; size += 2)
        cbosize->addItem(QString::number(size));
    selectListIndex(cbosize, 0);

    // The fonts the printer can use: on this platform every family Qt
    // prints with.
    QStringList seen;
    const QStringList families = QFontDatabase::families();
    for (const QString &entry : families) {
        if (entry.isEmpty() || QFontDatabase::isPrivateFamily(entry))
            continue;
        // A family offered by several foundries is listed once, by name.
        QString family = entry;
        if (const qsizetype bracket = family.indexOf(QLatin1String(" ["));
            bracket > 0 && family.endsWith(u']'))
            family.truncate(bracket);
        if (seen.contains(family))
            continue;
        seen.append(family);
        addSorted(cbofont, family);
    }
    // The list is as wide as its longest name.
    cbofont->view()->setMinimumWidth(cbofont->view()->sizeHintForColumn(0)
                                     + cbofont->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    selectListIndex(cbofont, 0);
}

void frmeditor::Form_Resize()
{
    // The text area keeps its place and reaches to the right edge and down
    // to the status bar, as the window grows and as it shrinks.
    const QWidget *client = centralWidget();
    for (platform::RichTextBox *box : {editor, tmpeditor}) {
        box->setWidthTwips(platform::pixelsToTwipsX(client->width()) - box->leftTwips());
        box->setHeightTwips(platform::pixelsToTwipsY(client->height()) - box->topTwips());
    }
}

void frmeditor::Timer1_Timer()
{
    Timer1->stop();
    // The phrase look-up, once the window is up.
    startupLookup();
}

void frmeditor::resizeEvent(QResizeEvent *e)
{
    QMainWindow::resizeEvent(e);
    layoutDocked();
    if (m_loaded)
        Form_Resize();
}

void frmeditor::closeEvent(QCloseEvent *e)
{
    if (Form_QueryUnload()) {
        e->accept();
        recoveryForget();
    } else
        e->ignore();
}

void frmeditor::layoutDocked()
{
    QWidget *client = centralWidget();
    if (!client)
        return;
    const int barHeight = std::max(platform::twipsToPixelsY(360), Command1->geometry().bottom() + 1);
    Toolbar1->setGeometry(0, 0, client->width(), barHeight);
    editor->setVisibleBottom(client->height());
    tmpeditor->setVisibleBottom(client->height());
}

void frmeditor::selectListIndex(QComboBox *box, int index)
{
    if (index < 0 || index >= box->count())
        return;
    box->setCurrentIndex(index);
    box->setEditText(box->itemText(index));
    if (box == cbofont)
        cbofont_Click();
    else if (box == cbosize)
        cbosize_Click();
}

void frmeditor::addSorted(QComboBox *box, const QString &item)
{
    int lo = 0;
    int hi = box->count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (QString::compare(box->itemText(mid), item, Qt::CaseInsensitive) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    const QString text = box->currentText();
    box->insertItem(lo, item);
    box->setEditText(text);
}
