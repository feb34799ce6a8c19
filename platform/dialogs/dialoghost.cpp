#include "dialoghost.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>

namespace platform {

namespace {
QtDialogHost &qtHost()
{
    static QtDialogHost host;
    return host;
}
DialogHost *g_host = nullptr;
QString g_title;
QPointer<QWidget> g_parent;
}  // namespace

DialogHost::~DialogHost() = default;

DialogHost &DialogHost::current()
{
    return g_host ? *g_host : qtHost();
}

DialogHost *DialogHost::install(DialogHost *host)
{
    DialogHost *previous = g_host;
    g_host = host;
    return previous;
}

QString DialogHost::applicationTitle()
{
    return g_title.isEmpty() ? QCoreApplication::applicationName() : g_title;
}

void DialogHost::setApplicationTitle(const QString &title) { g_title = title; }

QWidget *DialogHost::parentWindow()
{
    if (g_parent)
        return g_parent;
    return QApplication::activeWindow();
}

void DialogHost::setParentWindow(QWidget *w) { g_parent = w; }

int QtDialogHost::messageBox(const QString &text, int buttons, const QString &title)
{
    QMessageBox box(parentWindow());
    box.setText(text);
    box.setWindowTitle(title.isEmpty() ? applicationTitle() : title);
    switch (buttons & 0x70) {
    case vb::vbCritical: box.setIcon(QMessageBox::Critical); break;
    case vb::vbQuestion: box.setIcon(QMessageBox::Question); break;
    case vb::vbExclamation: box.setIcon(QMessageBox::Warning); break;
    case vb::vbInformation: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    switch (buttons & 0x7) {
    case vb::vbYesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case vb::vbYesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case vb::vbOKCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    box.exec();
    QAbstractButton *clicked = box.clickedButton();
    switch (clicked ? box.standardButton(clicked) : QMessageBox::Cancel) {
    case QMessageBox::Yes: return vb::vbYes;
    case QMessageBox::No: return vb::vbNo;
    case QMessageBox::Ok: return vb::vbOK;
    default: return (buttons & 0x7) == vb::vbOKOnly ? vb::vbOK : vb::vbCancel;
    }
}

QString QtDialogHost::inputBox(const QString &prompt, const QString &title, const QString &defaultText)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parentWindow(), title.isEmpty() ? applicationTitle() : title,
                                               prompt, QLineEdit::Normal, defaultText, &ok);
    return ok ? text : QString();
}

QString QtDialogHost::openFile(const FileDialogRequest &r)
{
    QString start = r.fileName.isEmpty() ? r.directory : r.fileName;
    return QFileDialog::getOpenFileName(parentWindow(), r.title, start, r.qtFilter);
}

QString QtDialogHost::saveFile(const FileDialogRequest &r)
{
    QString start = r.fileName.isEmpty() ? r.directory : r.fileName;
    return QFileDialog::getSaveFileName(parentWindow(), r.title, start, r.qtFilter);
}

std::optional<QColor> QtDialogHost::color(const QColor &initial)
{
    const QColor c = QColorDialog::getColor(initial, parentWindow());
    if (!c.isValid())
        return std::nullopt;
    return c;
}

bool QtDialogHost::printer(const PrinterDialogRequest &r)
{
    if (!r.printer)
        return false;
    QPrintDialog dialog(r.printer, parentWindow());
    QAbstractPrintDialog::PrintDialogOptions options = QAbstractPrintDialog::PrintToFile
        | QAbstractPrintDialog::PrintShowPageSize | QAbstractPrintDialog::PrintCollateCopies;
    if (r.selectionChosen)
        options |= QAbstractPrintDialog::PrintSelection;
    if (r.allowPageRange)
        options |= QAbstractPrintDialog::PrintPageRange;
    dialog.setOptions(options);
    if (r.selectionChosen)
        dialog.setPrintRange(QAbstractPrintDialog::Selection);
    return dialog.exec() == QDialog::Accepted;
}

bool QtDialogHost::pageSetup(QPrinter *printer)
{
    if (!printer)
        return false;
    QPageSetupDialog dialog(printer, parentWindow());
    return dialog.exec() == QDialog::Accepted;
}

int MsgBox(const QString &text, int buttons, const QString &title)
{
    return DialogHost::current().messageBox(text, buttons, title);
}

QString InputBox(const QString &prompt, const QString &title, const QString &defaultText)
{
    return DialogHost::current().inputBox(prompt, title, defaultText);
}

}  // namespace platform
