#pragma once
// Every modal interaction of both programs goes through the one DialogHost
// that is installed: message boxes, input boxes, file, colour, printer and
// page set-up dialogs. The real host shows Qt's dialogs; the test suites
// install a scripted one.
#include <QColor>
#include <QString>
#include <optional>

class QPrinter;
class QWidget;

namespace vb {
// Message box buttons and icons, as the runtime numbers them.
constexpr int vbOKOnly = 0;
constexpr int vbOKCancel = 1;
constexpr int vbYesNoCancel = 3;
constexpr int vbYesNo = 4;
constexpr int vbCritical = 16;
constexpr int vbQuestion = 32;
constexpr int vbExclamation = 48;
constexpr int vbInformation = 64;
// Answers.
constexpr int vbOK = 1;
constexpr int vbCancel = 2;
constexpr int vbYes = 6;
constexpr int vbNo = 7;
}  // namespace vb

namespace platform {

struct FileDialogRequest {
    QString title;          // empty: the dialog's own title
    QString fileName;       // preselected name (the dialog's FileName)
    QString qtFilter;       // Qt form: "Desc (*.a *.b);;Other (*)"; empty: none
    QString directory;      // start folder; empty: the current one
};

struct PrinterDialogRequest {
    QPrinter *printer = nullptr;
    bool selectionChosen = false;   // open with "selection" as the print range
    bool allowPageRange = false;
};

class DialogHost {
public:
    virtual ~DialogHost();

    // Buttons and icon are added together as the runtime does (vbYesNoCancel +
    // vbInformation). An empty title shows the program's title. Returns
    // vbOK, vbCancel, vbYes or vbNo; closing the box answers vbCancel
    // (vbOK for a box with an OK button only).
    virtual int messageBox(const QString &text, int buttons, const QString &title) = 0;
    // The text typed, or an empty string on Cancel.
    virtual QString inputBox(const QString &prompt, const QString &title,
                             const QString &defaultText) = 0;
    // The chosen path, or an empty string on Cancel.
    virtual QString openFile(const FileDialogRequest &request) = 0;
    virtual QString saveFile(const FileDialogRequest &request) = 0;
    // The chosen colour, or nothing on Cancel.
    virtual std::optional<QColor> color(const QColor &initial) = 0;
    // True when the user chose to print; the printer then holds the choices.
    virtual bool printer(const PrinterDialogRequest &request) = 0;
    // True when accepted; the printer then holds the page layout.
    virtual bool pageSetup(QPrinter *printer) = 0;

    // The host in force; the Qt host unless another one is installed.
    static DialogHost &current();
    // Installs a host (not owned) and returns the previous one; nullptr
    // restores the Qt host.
    static DialogHost *install(DialogHost *host);

    // The program's title, shown by boxes without a title of their own.
    static QString applicationTitle();
    static void setApplicationTitle(const QString &title);
    // The window dialogs are parented to.
    static QWidget *parentWindow();
    static void setParentWindow(QWidget *w);
};

// Shows Qt's own dialogs.
class QtDialogHost : public DialogHost {
public:
    int messageBox(const QString &text, int buttons, const QString &title) override;
    QString inputBox(const QString &prompt, const QString &title,
                     const QString &defaultText) override;
    QString openFile(const FileDialogRequest &request) override;
    QString saveFile(const FileDialogRequest &request) override;
    std::optional<QColor> color(const QColor &initial) override;
    bool printer(const PrinterDialogRequest &request) override;
    bool pageSetup(QPrinter *printer) override;
};

// The runtime's MsgBox and InputBox, through the host in force.
int MsgBox(const QString &text, int buttons = vb::vbOKOnly, const QString &title = {});
QString InputBox(const QString &prompt, const QString &title = {}, const QString &defaultText = {});

}  // namespace platform
