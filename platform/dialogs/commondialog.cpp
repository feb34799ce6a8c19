#include "commondialog.h"

#include "dialoghost.h"

#include <QColor>
#include <QPrinter>
#include <QStringList>

#include <algorithm>

namespace platform {

CommonDialog::CommonDialog(QObject *parent) : QObject(parent) {}
CommonDialog::~CommonDialog() = default;

QString CommonDialog::toQtFilter(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts.at(i).trimmed();
        QStringList patterns = parts.at(i + 1).split(u';', Qt::SkipEmptyParts);
        for (QString &p : patterns)
            p = p.trimmed();
        if (patterns.isEmpty())
            continue;
        // "*.*" means every file, names without a dot included.
        for (QString &p : patterns)
            if (p == QLatin1String("*.*"))
                p = QStringLiteral("*");
        if (description.isEmpty())
            description = patterns.join(u' ');
        out << QStringLiteral("%1 (%2)").arg(description, patterns.join(u' '));
    }
    return out.join(QStringLiteral(";;"));
}

void CommonDialog::setAction(int action)
{
    if (action == 1)
        ShowOpen();
    else if (action == 2)
        ShowSave();
}

void CommonDialog::showFileDialog(bool save)
{
    // The name chosen last starts the next dialog, but a cancelled dialog
    // chose nothing: it leaves FileName empty, so no command mistakes the
    // earlier name for a choice (a cancelled Save As would otherwise write
    // over that file).
    if (!FileName.isEmpty())
        m_lastFileName = FileName;
    const FileDialogRequest request{DialogTitle, m_lastFileName, toQtFilter(Filter), InitDir};
    DialogHost &host = DialogHost::current();
    const QString chosen = save ? host.saveFile(request) : host.openFile(request);
    if (chosen.isEmpty()) {
        FileName.clear();
        if (CancelError)
            throw DialogCancelled{};
        return;
    }
    FileName = chosen;
    m_lastFileName = chosen;
}

void CommonDialog::ShowOpen() { showFileDialog(false); }

void CommonDialog::ShowSave() { showFileDialog(true); }

void CommonDialog::startFrom(const QString &fileName)
{
    if (fileName.isEmpty()) {
        const QString last = FileName.isEmpty() ? m_lastFileName : FileName;
        // A Windows path (C:\docs\a.rtf) has its folder before the last
        // backslash.
        const qsizetype slash = std::max(last.lastIndexOf(u'/'), last.lastIndexOf(u'\\'));
        if (slash > 0)
            InitDir = last.left(slash);
    }
    FileName = fileName;
    m_lastFileName = fileName;
}

bool CommonDialog::ShowColor()
{
    const auto chosen = DialogHost::current().color(fromOleColor(Color));
    if (!chosen) {
        if (CancelError)
            throw DialogCancelled{};
        return false;
    }
    Color = toOleColor(*chosen);
    return true;
}

QPrinter *CommonDialog::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return m_printer.get();
}

bool CommonDialog::ShowPrinter()
{
    PrinterDialogRequest request;
    request.printer = printer();
    request.selectionChosen = (Flags & cdlPDSelection) != 0;
    request.allowPageRange = (Flags & cdlPDNoPageNums) == 0;
    const bool accepted = DialogHost::current().printer(request);
    m_hDC = accepted ? reinterpret_cast<quintptr>(m_printer.get()) : 0;
    if (!accepted && CancelError)
        throw DialogCancelled{};
    return accepted;
}

bool CommonDialog::ShowPageSetup()
{
    return DialogHost::current().pageSetup(printer());
}

quint32 toOleColor(const QColor &c)
{
    const QColor rgb = c.toRgb();
    return quint32(rgb.red()) | (quint32(rgb.green()) << 8) | (quint32(rgb.blue()) << 16);
}

QColor fromOleColor(quint32 ole)
{
    return QColor(int(ole & 0xFF), int((ole >> 8) & 0xFF), int((ole >> 16) & 0xFF));
}

}  // namespace platform
