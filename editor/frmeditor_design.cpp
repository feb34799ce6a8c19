// The window's design: every control with its place and settings, the menu
// tree and the toolbar's buttons.
#include "frmeditor.h"

#include "dialoghost.h"
#include "icons.h"
#include "menus.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTextDocument>
#include <QToolButton>

#include <algorithm>

using platform::RichTextBox;
using platform::StatusPanel;
using platform::ToolbarButton;

namespace {
// Design-time client area, twips.
constexpr double kClientWidth = 9705;
constexpr double kClientHeight = 9030;

const char *const kImages[17] = {
    "open", "save", "bold", "italics", "under", "cut", "copy", "paste", "print",
    "drawer", "end", "lines", "clour", "bullet", "num", "image", "strike"};

struct ButtonRow {
    int separatorsBefore;
    const char *key;
    const char *toolTip;
    int image;
};

// The toolbar, left to right, a group a line; the 26 separators before
// "cut" are the room over which the font boxes sit.
const ButtonRow kButtons[] = {
    {1, "open", "Open the report", 1}, {0, "save", "Save the report", 2}, {0, "print", "Print", 9},
    {1, "bold", "Bold", 3}, {0, "italics", "Italics", 4}, {0, "under", "Underline", 5},
    {0, "strike", "Strike Through", 17}, {0, "clour", "Clour To Text", 13},
    {26, "cut", "Cut", 6}, {0, "copy", "Copy", 7}, {0, "paste", "Paste", 8},
    {1, "bullet", "Bullets", 14}, {0, "num", "Numberings", 15}, {0, "image", "Insert Image", 16},
    {1, "end", "", 11},
};

// A font box on the toolbar, left and width in twips: an editable list that
// adds nothing typed to itself, showing its name until it is filled. What it
// shows it shows from the start (a long face name is cut at its end), the
// whole of it in its tool tip and in its list.
QComboBox *newFontBox(QWidget *toolbar, const QString &name, double left, double width)
{
    auto *box = new QComboBox(toolbar);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    QLineEdit *line = box->lineEdit();
    QObject::connect(line, &QLineEdit::textChanged, box, [box, line](const QString &text) {
        line->setCursorPosition(0);
        box->setToolTip(text);
    });
    box->setEditText(name);
    platform::placeTwips(box, left, 0, width, 315);
    return box;
}

// The width in pixels a box needs to show text whole.
int widthFor(QComboBox *box, const QString &text)
{
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.editable = true;
    const QFontMetrics metrics = box->fontMetrics();
    const QSize contents(metrics.horizontalAdvance(text) + metrics.averageCharWidth(), metrics.height());
    return box->style()->sizeFromContents(QStyle::CT_ComboBox, &option, contents, box).width();
}

}  // namespace

frmeditor::frmeditor(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmeditor"));
    buildDesign();
    connectShell();
    connectDocuments();
    connectEdit();
    connectFormatting();
    connectSearch();
    Form_Load();
    m_loaded = true;
}

frmeditor::~frmeditor()
{
    if (platform::DialogHost::parentWindow() == this)
        platform::DialogHost::setParentWindow(nullptr);
}

void frmeditor::buildDesign()
{
    setWindowTitle(untitledCaption());
    setWindowIcon(platform::svgIcon(QStringLiteral(":/icons/editor/tarbel.svg")));
    platform::DialogHost::setApplicationTitle(QStringLiteral("EDITOR"));
    platform::DialogHost::setParentWindow(this);

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    client->setPalette(pal);
    setCentralWidget(client);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1);

    buildStatusBar();

    tmpeditor = new RichTextBox(client);
    tmpeditor->setObjectName(QStringLiteral("tmpeditor"));
    tmpeditor->setRightMargin(0);
    tmpeditor->moveTwips(0, 360);
    tmpeditor->setWidthTwips(11685);
    tmpeditor->setHeightTwips(9915);
    {
        QFont f(QStringLiteral("MS Sans Serif"));
        f.setPointSizeF(8.5);
        tmpeditor->document()->setDefaultFont(f);
        tmpeditor->setPlainText(QStringLiteral("tmpeditor"));
        tmpeditor->document()->clearUndoRedoStacks();
    }
    QPalette window = tmpeditor->palette();
    window.setColor(QPalette::Base, palette().color(QPalette::Base));
    tmpeditor->setPalette(window);
    tmpeditor->setVisible(false);

    ImageList1.clear();
    for (const char *name : kImages)
        ImageList1.append(platform::svgIcon(QStringLiteral(":/icons/editor/%1.svg").arg(QLatin1String(name))));

    buildToolbar();
    Toolbar1->setParent(client);

    editor = new RichTextBox(client);
    editor->setObjectName(QStringLiteral("editor"));
    editor->setRightMargin(25000);
    editor->moveTwips(-30, 330);
    editor->setWidthTwips(11685);
    editor->setHeightTwips(10035);
    {
        QFont f(QStringLiteral("MS Sans Serif"));
        f.setPointSizeF(8.25);
        editor->document()->setDefaultFont(f);
    }
    QPalette white = editor->palette();
    white.setColor(QPalette::Base, Qt::white);
    white.setColor(QPalette::Text, Qt::black);
    editor->setPalette(white);

    CMDialog1 = new platform::CommonDialog(this);
    CMDialog1->setObjectName(QStringLiteral("CMDialog1"));

    buildMenus();

    // The toolbar stays above the editors that reach under its lower edge.
    Toolbar1->raise();

    // Tab order: editor, tmpeditor, cbosize, cbofont, Command1; the toolbar
    // and the status bar take no focus.
    setTabOrder(editor, tmpeditor);
    setTabOrder(tmpeditor, cbosize);
    setTabOrder(cbosize, cbofont);
    setTabOrder(cbofont, Command1);
    // The first of them holds the focus when the window opens: typing at
    // once goes into the document.
    editor->setFocus(Qt::OtherFocusReason);

    // Wide enough for the whole toolbar, "find phrase" included.
    const int frameExtra = menuBar()->sizeHint().height() + StatusBar1->sizeHint().height();
    resize(std::max(platform::twipsToPixelsX(kClientWidth), Command1->geometry().right() + 1),
           platform::twipsToPixelsY(kClientHeight) + frameExtra);
}

void frmeditor::buildToolbar()
{
    Toolbar1 = new platform::Toolbar(QSize(23, 22), QSize(16, 16), false, this);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setImageList(ImageList1);
    for (const ButtonRow &row : kButtons) {
        for (int i = 0; i < row.separatorsBefore; ++i)
            Toolbar1->addSeparator();
        Toolbar1->addButton(QLatin1String(row.key), QString::fromUtf8(row.toolTip), row.image);
    }
    // The wider pictures keep their own proportions.
    for (const char *key : {"bullet", "num", "image", "strike"})
        Toolbar1->button(QLatin1String(key))->widget->setIconSize(
            QSize(platform::twipsToPixelsX(20 * 15), platform::twipsToPixelsY(18 * 15)));

    Command1 = new QPushButton(QStringLiteral("find phrase"), Toolbar1);
    Command1->setObjectName(QStringLiteral("Command1"));
    platform::placeTwips(Command1, 8760, 0, 975, 375);
    // Wide enough for its caption in the desktop's font.
    Command1->resize(std::max(Command1->width(), Command1->sizeHint().width()), Command1->height());

    cbofont = newFontBox(Toolbar1, QStringLiteral("cbofont"), 3120, 2085);
    cbosize = newFontBox(Toolbar1, QStringLiteral("cbosize"), 5370, 645);
    // The size box as wide as a size such as 10.25 needs, to the left of its
    // right edge; the font box gives up that much and keeps the gap.
    const QRect size = cbosize->geometry();
    const int wider = std::max(0, widthFor(cbosize, QStringLiteral("88.25")) - size.width());
    cbosize->setGeometry(size.adjusted(-wider, 0, 0, 0));
    cbofont->setGeometry(cbofont->geometry().adjusted(0, 0, -wider, 0));
    Toolbar1->addPlacedWidget(cbofont, QStringLiteral("Font"));
    Toolbar1->addPlacedWidget(cbosize, QStringLiteral("Size"));
    Toolbar1->addPlacedWidget(Command1, Command1->text());
}

void frmeditor::buildStatusBar()
{
    StatusBar1 = new platform::StatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->addPanel(StatusPanel::CapsLock, 1440, false);
    StatusBar1->addPanel(StatusPanel::NumLock, 1440, false);
    StatusBar1->addPanel(StatusPanel::Insert, 1440, false);
    StatusBar1->addPanel(StatusPanel::Text, 1440, false);
    StatusBar1->addPanel(StatusPanel::Text, 1440, true);
    StatusBar1->addPanel(StatusPanel::Text, 1440, true);
    StatusBar1->addPanel(StatusPanel::Time, 1440, true);
    StatusBar1->addPanel(StatusPanel::Date, 1440, true);
    // The panels keep their widths and do not hold the window wide: in a
    // narrow window the last of them are cut off.
    StatusBar1->setMinimumWidth(1);
    StatusBar1->setInsertModeSource([this] {
        const RichTextBox *e = activeEditor();
        return !(e && e->overwriteMode());
    });
    setStatusBar(StatusBar1);
}

void frmeditor::buildMenus()
{
    QMenuBar *bar = menuBar();

    mnufile = platform::addMenu(bar, "mnufile", QStringLiteral("&File"));
    mnunew = platform::addMenuItem(mnufile, "mnunew", QStringLiteral("&New"), QKeySequence(Qt::CTRL | Qt::Key_N));
    mnuopen = platform::addMenuItem(mnufile, "mnuopen", QStringLiteral("&Open"), QKeySequence(Qt::CTRL | Qt::Key_O));
    mnusave = platform::addMenuItem(mnufile, "mnusave", QStringLiteral("&Save"), QKeySequence(Qt::CTRL | Qt::Key_S));
    mnusaveas = platform::addMenuItem(mnufile, "mnusaveas", QStringLiteral("Save &As"), QKeySequence(Qt::CTRL | Qt::Key_A));
    mnu_line3 = platform::addMenuSeparator(mnufile, "mnu_line3");
    mnu_insertfile = platform::addMenuItem(mnufile, "mnu_insertfile", QStringLiteral("&Insert File"));
    mnu_writefile = platform::addMenuItem(mnufile, "mnu_writefile", QStringLiteral("&Write File"));
    mnu_line5 = platform::addMenuSeparator(mnufile, "mnu_line5");
    mnu_pagesetup = platform::addMenuItem(mnufile, "mnu_pagesetup", QStringLiteral("Page S&etup"));
    mnu_print = platform::addMenuItem(mnufile, "mnu_print", QStringLiteral("&Print"), QKeySequence(Qt::CTRL | Qt::Key_T));
    mnu_line4 = platform::addMenuSeparator(mnufile, "mnu_line4");
    mnuexit = platform::addMenuItem(mnufile, "mnuexit", QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_Q));

    mnuedit = platform::addMenu(bar, "mnuedit", QStringLiteral("&Edit"));
    mnu_undo = platform::addMenuItem(mnuedit, "mnu_undo", QStringLiteral("Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z));
    mnu_line = platform::addMenuSeparator(mnuedit, "mnu_line");
    mnucut = platform::addMenuItem(mnuedit, "mnucut", QStringLiteral("&Cut"), QKeySequence(Qt::CTRL | Qt::Key_X));
    mnupaste = platform::addMenuItem(mnuedit, "mnupaste", QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_P));
    mnucopy = platform::addMenuItem(mnuedit, "mnucopy", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
    mnuclear = platform::addMenuItem(mnuedit, "mnuclear", QStringLiteral("Clea&r"), QKeySequence(Qt::CTRL | Qt::Key_D));
    mnu_tab1 = platform::addMenuSeparator(mnuedit, "mnu_tab1");
    mnuselect = platform::addMenuItem(mnuedit, "mnuselect", QStringLiteral("&Select All"));
    mnu_time = platform::addMenuItem(mnuedit, "mnu_time", QStringLiteral("Time && Date "), QKeySequence(Qt::Key_F5));
    mnu_line1 = platform::addMenuSeparator(mnuedit, "mnu_line1");
    mnu_wrap = platform::addMenuItem(mnuedit, "mnu_wrap", QStringLiteral("Word Wrap"));
    mnu_wrap->setCheckable(true);
    mnu_wrap->setChecked(false);
    keyRedo = new QAction(this);
    keyRedo->setObjectName(QStringLiteral("keyRedo"));
    keyRedo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Y));
    addAction(keyRedo);

    mnuoption = platform::addMenu(bar, "mnuoption", QStringLiteral("&Option"));
    mnubold = platform::addMenuItem(mnuoption, "mnubold", QStringLiteral("&Bold"), QKeySequence(Qt::CTRL | Qt::Key_B));
    mnuunderline = platform::addMenuItem(mnuoption, "mnuunderline", QStringLiteral("&Underline"), QKeySequence(Qt::CTRL | Qt::Key_U));
    mnuitalics = platform::addMenuItem(mnuoption, "mnuitalics", QStringLiteral("&Italics"), QKeySequence(Qt::CTRL | Qt::Key_I));
    mnu_clour = platform::addMenuItem(mnuoption, "mnu_clour", QStringLiteral("&Colour"), QKeySequence(Qt::CTRL | Qt::Key_L));
    mnuoption->menuAction()->setVisible(false);
    mnuoption->menuAction()->setEnabled(false);
    mnuoption->setEnabled(false);

    mnu_search = platform::addMenu(bar, "mnu_search", QStringLiteral("&Search"));
    mnu_find = platform::addMenuItem(mnu_search, "mnu_find", QStringLiteral("&Find"));
    mnureplace = platform::addMenuItem(mnu_search, "mnureplace", QStringLiteral("Replace Text"), QKeySequence(Qt::Key_F3));
}

platform::RichTextBox *frmeditor::activeEditor() const
{
    if (editor && editor->isVisibleTo(this))
        return editor;
    if (tmpeditor && tmpeditor->isVisibleTo(this))
        return tmpeditor;
    return nullptr;
}

double frmeditor::Width() const { return platform::pixelsToTwipsX(frameGeometry().width()); }
double frmeditor::Height() const { return platform::pixelsToTwipsY(frameGeometry().height()); }

void frmeditor::setTop(double twips)
{
    move(frameGeometry().x(), platform::twipsToPixelsY(twips));
}

void frmeditor::setLeft(double twips)
{
    move(platform::twipsToPixelsX(twips), frameGeometry().y());
}
