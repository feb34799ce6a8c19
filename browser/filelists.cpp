#include "filelists.h"

#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QStorageInfo>

#include <algorithm>

namespace platform {

// --- drives -------------------------------------------------------------------

DriveListBox::DriveListBox(QWidget *parent) : QComboBox(parent)
{
    Refresh();
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (index != m_shown) {
            m_shown = index;
            emit Change();
        }
    });
}

QStringList DriveListBox::mountedDrives()
{
    QStringList roots;
    for (const QStorageInfo &s : QStorageInfo::mountedVolumes()) {
        if (!s.isValid())
            continue;
        const QString root = s.rootPath();
        // Files mounted on their own are no drives.
        if (!QFileInfo(root).isDir())
            continue;
        if (!roots.contains(root))
            roots << root;
    }
    std::sort(roots.begin(), roots.end(), [](const QString &a, const QString &b) {
        if (a == u"/" || b == u"/")
            return a == u"/" && b != u"/";
        return a < b;
    });
    if (!roots.contains(QStringLiteral("/")))
        roots.prepend(QStringLiteral("/"));
    return roots;
}

void DriveListBox::Refresh()
{
    const QSignalBlocker block(this);
    const QString was = currentText();
    clear();
    addItems(mountedDrives());
    const int i = findText(was);
    setCurrentIndex(i >= 0 ? i : 0);
    m_shown = currentIndex();
}

void DriveListBox::showPopup()
{
    // Drives come and go while the program runs.
    Refresh();
    QComboBox::showPopup();
}

void DriveListBox::showDriveOf(const QString &path)
{
    // The drive is the longest mount path the folder lies under.
    const QString clean = QDir::cleanPath(path);
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < count(); ++i) {
        const QString root = itemText(i);
        const bool under = clean == root || root == u"/"
                           || clean.startsWith(root.endsWith(u'/') ? root : root + u'/');
        if (under && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    const QSignalBlocker block(this);
    setCurrentIndex(best);
    m_shown = best;
}

// --- folders --------------------------------------------------------------------

DirListBox::DirListBox(QWidget *parent) : QListWidget(parent)
{
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        const int row = this->row(item);
        if (row >= 0)
            setPath(folderAt(row));
    });
}

QString DirListBox::folderAt(int row) const
{
    return row >= 0 && row < m_folders.size() ? m_folders.at(row) : QString();
}

void DirListBox::setPath(const QString &path)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    const bool changed = clean != m_path;
    m_path = clean;
    fill();
    if (changed)
        emit Change();
}

void DirListBox::fill()
{
    clear();
    m_folders.clear();
    // The path from the root, one folder a line, indented by depth.
    QStringList chain;
    for (QDir d(m_path);; ) {
        chain.prepend(d.absolutePath());
        if (d.isRoot() || !d.cdUp())
            break;
    }
    int depth = 0;
    for (const QString &folder : chain) {
        const QString name = depth == 0 ? folder : QFileInfo(folder).fileName();
        addItem(QString(depth * 2, u' ') + name);
        m_folders << folder;
        ++depth;
    }
    const int current = int(m_folders.size()) - 1;
    const QStringList subs = QDir(m_path).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                                                    QDir::Name | QDir::IgnoreCase);
    for (const QString &sub : subs) {
        addItem(QString(depth * 2, u' ') + sub);
        m_folders << QDir(m_path).absoluteFilePath(sub);
    }
    setCurrentRow(current);
}

// --- files ------------------------------------------------------------------------

FileListBox::FileListBox(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_quiet && row >= 0)
            emit Click();
    });
}

void FileListBox::focusInEvent(QFocusEvent *event)
{
    // The view makes its first file current when the focus comes by
    // keyboard; that is no choice, so the list stays as it was.
    const int before = currentRow();
    m_quiet = true;
    QListWidget::focusInEvent(event);
    if (currentRow() != before)
        setCurrentRow(before);
    m_quiet = false;
}

void FileListBox::mousePressEvent(QMouseEvent *event)
{
    const int before = currentRow();
    QListWidget::mousePressEvent(event);
    // A click on the file already selected chooses it again.
    const QListWidgetItem *hit = itemAt(event->position().toPoint());
    if (hit && hit == currentItem() && currentRow() == before)
        emit Click();
}

void FileListBox::setPath(const QString &path)
{
    m_path = QDir::cleanPath(QDir(path).absolutePath());
    fill();
}

void FileListBox::setPattern(const QString &pattern)
{
    if (pattern == m_pattern)
        return;
    m_pattern = pattern;
    fill();
}

QString FileListBox::FileName() const
{
    const QListWidgetItem *item = currentItem();
    return item ? item->text() : QString();
}

bool FileListBox::matches(const QString &name) const
{
    const QStringList patterns = m_pattern.split(u';', Qt::SkipEmptyParts);
    for (QString p : patterns) {
        p = p.trimmed();
        if (p == u"*.*" || p == u"*")
            return true;
        const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(p),
                                    QRegularExpression::CaseInsensitiveOption);
        if (re.match(name).hasMatch())
            return true;
    }
    return false;
}

void FileListBox::fill()
{
    m_quiet = true;
    clear();
    if (!m_path.isEmpty()) {
        const QStringList files = QDir(m_path).entryList(QDir::Files | QDir::Hidden | QDir::System,
                                                         QDir::Name | QDir::IgnoreCase);
        for (const QString &f : files)
            if (matches(f))
                addItem(f);
    }
    setCurrentRow(-1);
    m_quiet = false;
}

}  // namespace platform
