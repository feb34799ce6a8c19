#pragma once
// The common dialog control: one object serving the open, save, colour and
// printer dialogs of a window. FileName, Filter and Color persist from one
// use to the next. A cancelled file dialog empties FileName (the next one
// still starts from the name chosen last, unless startFrom says otherwise);
// a cancelled colour dialog keeps the colour chosen last.
#include <QObject>
#include <QString>
#include <memory>

class QPrinter;

namespace platform {

// Raised by a dialog cancelled while CancelError is set (the runtime's
// error 32755).
struct DialogCancelled {};

class CommonDialog : public QObject {
    Q_OBJECT
public:
    explicit CommonDialog(QObject *parent = nullptr);
    ~CommonDialog() override;

    // Printer-dialog flags.
    static constexpr int cdlPDAllPages = 0;
    static constexpr int cdlPDSelection = 1;
    static constexpr int cdlPDNoPageNums = 8;
    static constexpr int cdlPDReturnDC = 256;

    QString FileName;
    // "Description|patterns|Description|patterns"; patterns separated by ';'.
    QString Filter;
    QString DialogTitle;
    QString InitDir;
    // &H00BBGGRR
    quint32 Color = 0;
    int Flags = 0;
    bool CancelError = false;

    // 1 shows the open dialog, 2 the save dialog.
    void setAction(int action);
    void ShowOpen();
    void ShowSave();
    // The next file dialog starts from fileName; with an empty one, from no
    // name, in the folder of the name it would have started from.
    void startFrom(const QString &fileName);
    // False when cancelled (Color then keeps the colour chosen last).
    bool ShowColor();
    // Returns whether the user chose to print; hDC() is then non-zero.
    bool ShowPrinter();
    bool ShowPageSetup();

    // The device context of the printer chosen last: non-zero after an
    // accepted printer dialog, 0 after a cancelled one.
    quintptr hDC() const { return m_hDC; }
    // The printer the dialogs configure; it keeps paper and margins between
    // uses.
    QPrinter *printer();

    // "Text (*.txt)|*.txt|All|*.*" -> "Text (*.txt) (*.txt);;All (*.*)"
    static QString toQtFilter(const QString &filter);

private:
    void showFileDialog(bool save);

    std::unique_ptr<QPrinter> m_printer;
    QString m_lastFileName;
    quintptr m_hDC = 0;
};

// &H00BBGGRR <-> QColor.
quint32 toOleColor(const class QColor &c);
class QColor fromOleColor(quint32 ole);

}  // namespace platform
