#pragma once
// The drive, folder and file lists of the local file panel. On Linux a
// "drive" is a mounted file system, named by the path it is mounted at.
#include <QComboBox>
#include <QListWidget>
#include <QString>
#include <QStringList>

namespace platform {

// The path separator of this system's paths.
#ifdef Q_OS_WIN
inline constexpr char16_t kSeparator = u'\\';
#else
inline constexpr char16_t kSeparator = u'/';
#endif

// A drop-down list of the mounted file systems, "/" first, then the others
// by path, read afresh each time the list opens. Change is raised when the
// user picks another drive.
class DriveListBox : public QComboBox {
    Q_OBJECT
public:
    explicit DriveListBox(QWidget *parent = nullptr);
    QString Drive() const { return currentText(); }
    // Selects the drive holding path, without raising Change.
    void showDriveOf(const QString &path);
    void Refresh();
    static QStringList mountedDrives();
    void showPopup() override;

signals:
    void Change();

private:
    int m_shown = -1;
};

// The current folder's path from the root, one line per folder, followed by
// its subfolders. Opening a line (a double click) makes it the path; every
// change of the path raises Change. Arrow keys only move the highlight.
class DirListBox : public QListWidget {
    Q_OBJECT
public:
    explicit DirListBox(QWidget *parent = nullptr);
    QString Path() const { return m_path; }
    // Throws nothing; a folder that cannot be listed shows only its path.
    void setPath(const QString &path);
    // The folder of a line.
    QString folderAt(int row) const;

signals:
    void Change();

private:
    void fill();
    QString m_path;
    QStringList m_folders;   // the folder of every line
};

// Every file of a folder that matches the pattern, hidden ones too. "*.*"
// (and "*") match every name, names without a dot included. Click is raised
// when the user chooses a file: a click on it (also on the selected one) or
// an arrow key moving to it. The focus arriving chooses nothing.
class FileListBox : public QListWidget {
    Q_OBJECT
public:
    explicit FileListBox(QWidget *parent = nullptr);
    QString Path() const { return m_path; }
    void setPath(const QString &path);
    QString Pattern() const { return m_pattern; }
    // Re-reads the folder when the pattern changes; the same pattern again
    // keeps the list and its selection.
    void setPattern(const QString &pattern);
    // The selected (current) file's bare name; empty when there is none.
    QString FileName() const;
    bool matches(const QString &name) const;

signals:
    void Click();

protected:
    void focusInEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void fill();
    QString m_path;
    QString m_pattern = QStringLiteral("*.*");
    bool m_quiet = false;   // the current row changes, but nobody chose
};

}  // namespace platform
