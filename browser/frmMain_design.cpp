// The window's design: every control with its place and settings, the menu
// tree and the toolbar's buttons.
#include "frmMain.h"

#include "dialoghost.h"
#include "icons.h"
#include "menus.h"
#include "runtime.h"
#include "units.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

using platform::ToolbarButton;

namespace {
// Design-time client area, twips.
constexpr double kClientWidth = 11880;
constexpr double kClientHeight = 7980;

// The image list, from index 1.
const char *const kImages[10] = {"back", "forward", "stop", "reload", "home",
                                 "books", "traffic", "info", "question", "exit"};

struct ButtonRow {
    const char *key;   // also the caption
    int image;
};

// The toolbar, left to right.
const ButtonRow kButtons[] = {
    {"Back", 1}, {"Forward", 2}, {"Home", 5}, {"Reload", 4}, {"Stop", 3}, {"Search", 6}, {"Exit", 10},
};

// A command button whose caption wraps over several lines, as a square
// button shows a long caption.
class WrappingButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter p(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QString text = option.text;
        option.text.clear();
        p.drawControl(QStyle::CE_PushButton, option);
        const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this).adjusted(1, 1, -1, -1);
        p.setFont(font());
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        p.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, text);
    }
};

// The window's font, "MS Sans Serif" 8.25 point, or a sans serif of its
// width where that is missing.
QFont windowFont()
{
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("Arial"), QStringLiteral("Nimbus Sans")});
    f.setPointSizeF(8.25);
    return f;
}

QFont buttonFont()
{
    QFont f = windowFont();
    f.setBold(true);
    return f;
}

// Labels wrap their caption within their width; a label one line high keeps
// its caption on that line, where a wrapped word would be out of sight.
QLabel *label(QWidget *parent, const char *name, const QString &caption, bool wrap = false)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(wrap);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setText(caption);
    return l;
}
}  // namespace

frmMain::frmMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    programFolder = platform::appPath();
    buildDesign();
    connectStartup();
    connectNavigation();
    connectSaving();
}

frmMain::~frmMain()
{
    if (platform::DialogHost::parentWindow() == this)
        platform::DialogHost::setParentWindow(nullptr);
}

void frmMain::buildDesign()
{
    setWindowTitle(caption());
    setWindowIcon(platform::svgIcon(QStringLiteral(":/icons/browser/vennik.svg")));
    platform::DialogHost::setApplicationTitle(caption());
    platform::DialogHost::setParentWindow(this);

    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setAutoFillBackground(true);
    QPalette pal = m_client->palette();
    pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    m_client->setPalette(pal);
    m_client->setFont(windowFont());
    setCentralWidget(m_client);

    Text1 = new QLineEdit(m_client);
    Text1->setObjectName(QStringLiteral("Text1"));
    platform::placeTwips(Text1, 1080, 2880, 4335, 285);

    File1 = new platform::FileListBox(m_client);
    File1->setObjectName(QStringLiteral("File1"));
    platform::placeTwips(File1, 1080, 2280, 4335, 675);
    File1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    Dir1 = new platform::DirListBox(m_client);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    platform::placeTwips(Dir1, 1080, 1320, 4335, 990);
    Dir1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    Drive1 = new platform::DriveListBox(m_client);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    platform::placeTwips(Drive1, 1080, 1080, 4335, 315);

    // At creation the lists show the process's current drive and folder.
    {
        const QSignalBlocker b1(Dir1), b2(File1);
        Dir1->setPath(QDir::currentPath());
        File1->setPath(Dir1->Path());
        Drive1->showDriveOf(Dir1->Path());
    }

    ImageList1.clear();
    for (const char *name : kImages)
        ImageList1.append(platform::svgIcon(QStringLiteral(":/icons/browser/%1.svg").arg(QLatin1String(name))));

    buildToolbar();

    Timer1 = new QTimer(Toolbar1);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1111);

    Command2 = new WrappingButton(QStringLiteral("7Save     Zanth  address/htm"), m_client);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setToolTip(QStringLiteral("Click Here to Save Zanth Info"));
    Command2->setFont(buttonFont());
    platform::placeTwips(Command2, 5400, 2280, 855, 855);

    cmdOpen = new platform::CommonDialog(this);
    cmdOpen->setObjectName(QStringLiteral("cmdOpen"));

    Command1 = new QPushButton(QStringLiteral("Go"), m_client);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setFont(buttonFont());
    Command1->setDefault(true);
    platform::placeTwips(Command1, 5400, 840, 495, 255);

    txtInput = new QLineEdit(m_client);
    txtInput->setObjectName(QStringLiteral("txtInput"));
    platform::placeTwips(txtInput, 1080, 840, 4335, 285);

    WebBrowser1 = new platform::WebBrowser(m_client);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    platform::placeTwips(WebBrowser1, 0, 3240, 11895, 4755);

    Label6 = label(m_client, "Label6", QStringLiteral("6 Save htm as:"));
    platform::placeTwips(Label6, 0, 2880, 1095, 255);
    Label5 = label(m_client, "Label5", QStringLiteral("5              Files:"), true);
    platform::placeTwips(Label5, 0, 2280, 1095, 615);
    Label4 = label(m_client, "Label4", QStringLiteral("4           Folder:"), true);
    platform::placeTwips(Label4, 0, 1320, 1095, 975);
    Label3 = label(m_client, "Label3", QStringLiteral("3            Drive:"));
    platform::placeTwips(Label3, 0, 1080, 1095, 255);
    Label2 = label(m_client, "Label2", QStringLiteral("ADDRESS"));
    platform::placeTwips(Label2, 0, 0, 855, 255);
    Label1 = label(m_client, "Label1", QStringLiteral("2        Address:"));
    platform::placeTwips(Label1, 0, 840, 1095, 255);

    // Controls created later lie above earlier ones; the labels, created
    // last, would cover the lists they overlap by a pixel, and the toolbar
    // docked at the top covers the label under it.
    for (QWidget *w : {static_cast<QWidget *>(Text1), static_cast<QWidget *>(File1),
                       static_cast<QWidget *>(Dir1), static_cast<QWidget *>(Drive1),
                       static_cast<QWidget *>(txtInput)})
        w->raise();
    Toolbar1->raise();

    buildMenus();

    // Tab order: txtInput, WebBrowser1, Command1, Command2, (Toolbar1),
    // Drive1, Dir1, File1, (labels), Text1.
    setTabOrder(txtInput, WebBrowser1);
    setTabOrder(WebBrowser1, Command1);
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Drive1);
    setTabOrder(Drive1, Dir1);
    setTabOrder(Dir1, File1);
    setTabOrder(File1, Text1);
    txtInput->setFocus(Qt::OtherFocusReason);

    // Enter in a text box or list clicks the default button.
    for (QWidget *w : {static_cast<QWidget *>(txtInput), static_cast<QWidget *>(Text1),
                       static_cast<QWidget *>(Drive1), static_cast<QWidget *>(Dir1),
                       static_cast<QWidget *>(File1)})
        w->installEventFilter(this);

    resize(platform::twipsToPixelsX(kClientWidth),
           platform::twipsToPixelsY(kClientHeight) + menuBar()->sizeHint().height());
}

void frmMain::buildToolbar()
{
    Toolbar1 = new platform::Toolbar(QSize(47, 52), QSize(32, 32), true, m_client);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setImageList(ImageList1);
    for (const ButtonRow &row : kButtons)
        Toolbar1->addButton(QLatin1String(row.key), QString(), row.image, ToolbarButton::Normal,
                            QLatin1String(row.key));
    layoutDocked();
}

void frmMain::buildMenus()
{
    QMenuBar *bar = menuBar();

    mnuFile = platform::addMenu(bar, "mnuFile", QStringLiteral("&File"));
    mnuFileOpen = platform::addMenuItem(mnuFile, "mnuFileOpen", QStringLiteral("&Open"), QKeySequence(Qt::CTRL | Qt::Key_O));
    Hyphen1 = platform::addMenuSeparator(mnuFile, "Hyphen1");
    mnuFileExit = platform::addMenuItem(mnuFile, "mnuFileExit", QStringLiteral("&Exit"));

    mnuKesto = platform::addMenu(bar, "mnuKesto", QStringLiteral("&Zanth browse"));
    mnuKestoBack = platform::addMenuItem(mnuKesto, "mnuKestoBack", QStringLiteral("&Back"), QKeySequence(Qt::CTRL | Qt::Key_B));
    mnuKestoForward = platform::addMenuItem(mnuKesto, "mnuKestoForward", QStringLiteral("&Forward"), QKeySequence(Qt::CTRL | Qt::Key_F));
    mnuKestoHome = platform::addMenuItem(mnuKesto, "mnuKestoHome", QStringLiteral("&Home"), QKeySequence(Qt::CTRL | Qt::Key_H));
    mnuKestoRefresh = platform::addMenuItem(mnuKesto, "mnuKestoRefresh", QStringLiteral("&Refresh"), QKeySequence(Qt::CTRL | Qt::Key_R));
    mnuKestoStop = platform::addMenuItem(mnuKesto, "mnuKestoStop", QStringLiteral("&Stop"), QKeySequence(Qt::CTRL | Qt::Key_S));
}

void frmMain::layoutDocked()
{
    if (!Toolbar1 || !m_client)
        return;
    const int width = std::max(m_client->width(), platform::twipsToPixelsX(kClientWidth));
    Toolbar1->setGeometry(0, 0, m_client->width() > 0 ? m_client->width() : width,
                          platform::twipsToPixelsY(870));
}

double frmMain::Width() const { return platform::pixelsToTwipsX(frameGeometry().width()); }
double frmMain::Height() const { return platform::pixelsToTwipsY(frameGeometry().height()); }
