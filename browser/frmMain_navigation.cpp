// Go with its address normalisation, the toolbar, the browse menu, Exit,
// and the update after every completed navigation.
#include "frmMain.h"

#include <QAction>

#include <exception>

void frmMain::connectNavigation()
{
    connect(Command1, &QPushButton::clicked, this, &frmMain::Command1_Click);
    connect(Toolbar1, &platform::Toolbar::ButtonClick, this, &frmMain::Toolbar1_ButtonClick);
    connect(mnuKestoBack, &QAction::triggered, this, &frmMain::mnuKestoBack_Click);
    connect(mnuKestoForward, &QAction::triggered, this, &frmMain::mnuKestoForward_Click);
    connect(mnuKestoHome, &QAction::triggered, this, &frmMain::mnuKestoHome_Click);
    connect(mnuKestoRefresh, &QAction::triggered, this, &frmMain::mnuKestoRefresh_Click);
    connect(mnuKestoStop, &QAction::triggered, this, &frmMain::mnuKestoStop_Click);
    connect(mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    connect(WebBrowser1, &platform::WebBrowser::NavigateComplete2, this, &frmMain::WebBrowser1_NavigateComplete2);
}

void frmMain::Command1_Click()
{
    try {
        if (txtInput->text() != QString())
            WebBrowser1->Navigate(txtInput->text());
        strURL = txtInput->text();
        txtInput->setText(goBoxText(strURL));
        txtInput->setSelection(0, int(txtInput->text().size()));
    } catch (const platform::WebBrowserError &e) {
        reportFailure(e.description);
    } catch (const std::exception &e) {
        reportFailure(QString::fromLocal8Bit(e.what()));
    }
}

QString frmMain::goBoxText(const QString &typed)
{
    // An address that names its scheme (https:, file:, a local or C: path
    // the page area opens as a file) stays as typed: "http://" in front of
    // it would name another address, and a second Go would go there.
    const QString bare = typed.trimmed();
    if (bare.left(7).toLower() == u"http://" || bare.left(6).toLower() == u"ftp://")
        return typed;
    const QUrl url = platform::WebBrowser::addressUrl(typed);
    if (!bare.isEmpty() && url.isValid() && !url.scheme().isEmpty() && url.scheme() != u"http")
        return typed;
    return QStringLiteral("http://") + typed;
}

void frmMain::Toolbar1_ButtonClick(platform::ToolbarButton *Button)
{
    if (!Button)
        return;
    // Failures of the toolbar's actions are passed over in silence.
    try {
        const QString &key = Button->Key;
        if (key == u"Back")
            WebBrowser1->GoBack();
        else if (key == u"Forward")
            WebBrowser1->GoForward();
        else if (key == u"Stop")
            WebBrowser1->Stop();
        else if (key == u"Reload")
            WebBrowser1->Refresh();
        else if (key == u"Home")
            WebBrowser1->GoHome();
        else if (key == u"Search")
            WebBrowser1->GoSearch();
        else if (key == u"Exit")
            mnuFileExit_Click();
    } catch (...) {
    }
}

void frmMain::mnuKestoBack_Click()
{
    try {
        WebBrowser1->GoBack();
    } catch (...) {
    }
}

void frmMain::mnuKestoForward_Click()
{
    try {
        WebBrowser1->GoForward();
    } catch (...) {
    }
}

void frmMain::mnuKestoHome_Click()
{
    try {
        WebBrowser1->GoHome();
    } catch (const platform::WebBrowserError &e) {
        reportFailure(e.description);
    }
}

void frmMain::mnuKestoRefresh_Click()
{
    try {
        WebBrowser1->Refresh();
    } catch (const platform::WebBrowserError &e) {
        reportFailure(e.description);
    }
}

void frmMain::mnuKestoStop_Click()
{
    try {
        WebBrowser1->Stop();
    } catch (const platform::WebBrowserError &e) {
        reportFailure(e.description);
    }
}

void frmMain::mnuFileExit_Click()
{
    close();
}

void frmMain::WebBrowser1_NavigateComplete2(QObject *, const QVariant &)
{
    // The page as a whole, also when a frame of it completed.
    try {
        txtInput->setText(WebBrowser1->LocationURL());
        setWindowTitle(captionPrefix() + WebBrowser1->LocationName());
        txtInput->setSelection(0, int(txtInput->text().size()));
    } catch (const std::exception &e) {
        reportFailure(QString::fromLocal8Bit(e.what()));
    }
}
