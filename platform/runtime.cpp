#include "runtime.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QCursor>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace platform {

namespace Screen {
namespace {
int g_pointer = vbDefault;
}

void setMousePointer(int pointer)
{
    if (pointer == g_pointer)
        return;
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
        if (pointer == vbHourglass)
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
    g_pointer = pointer;
}

int mousePointer() { return g_pointer; }
}  // namespace Screen

namespace Clipboard {
QString GetText()
{
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard);
}

void SetText(const QString &text)
{
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}
}  // namespace Clipboard

QString appPath() { return QCoreApplication::applicationDirPath(); }

bool writeFileSafely(const QString &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (info.isDir() || (info.exists() && !info.isWritable()))
        return false;
    // QSaveFile follows a symbolic link to the file it names and writes
    // the temporary file beside that one. When the folder refuses the
    // temporary file, it writes the file itself: the bytes are all in
    // hand, so the time the file is incomplete is as short as it gets.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

FreeFormatReader::FreeFormatReader(QString text) : m_text(std::move(text)) {}

bool FreeFormatReader::atEnd() const { return m_pos >= m_text.size(); }

bool FreeFormatReader::readItem(QString &item)
{
    const qsizetype n = m_text.size();
    auto isBlank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (m_pos < n && isBlank(m_text.at(m_pos)))
        ++m_pos;
    if (m_pos >= n)
        return false;
    auto skipLineEnd = [&] {
        // At a line end: CR LF, LF or CR counts as one.
        if (m_pos < n && m_text.at(m_pos) == u'\r')
            ++m_pos;
        if (m_pos < n && m_text.at(m_pos) == u'\n')
            ++m_pos;
    };
    auto skipToDelimiter = [&] {
        while (m_pos < n) {
            const QChar c = m_text.at(m_pos);
            if (c == u',') {
                ++m_pos;
                return;
            }
            if (c == u'\r' || c == u'\n') {
                skipLineEnd();
                return;
            }
            ++m_pos;
        }
    };
    if (m_text.at(m_pos) == u'"') {
        const qsizetype start = m_pos + 1;
        qsizetype close = m_text.indexOf(u'"', start);
        if (close < 0) {
            item = m_text.mid(start);
            m_pos = n;
            return true;
        }
        item = m_text.mid(start, close - start);
        m_pos = close + 1;
        skipToDelimiter();
        return true;
    }
    const qsizetype start = m_pos;
    while (m_pos < n) {
        const QChar c = m_text.at(m_pos);
        if (c == u',' || c == u'\r' || c == u'\n')
            break;
        ++m_pos;
    }
    qsizetype end = m_pos;
    while (end > start && isBlank(m_text.at(end - 1)))
        --end;
    item = m_text.mid(start, end - start);
    if (m_pos < n) {
        if (m_text.at(m_pos) == u',')
            ++m_pos;
        else
            skipLineEnd();
    }
    return true;
}

double val(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text.at(i) == u' ' || text.at(i) == u'\t'))
        ++i;
    qsizetype start = i;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-'))
        ++i;
    qsizetype digits = 0;
    while (i < n && text.at(i).isDigit() && text.at(i).unicode() < 128) {
        ++i;
        ++digits;
    }
    if (i < n && text.at(i) == u'.') {
        ++i;
        while (i < n && text.at(i).unicode() < 128 && text.at(i).isDigit()) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0;
    if (i < n && (text.at(i) == u'e' || text.at(i) == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (text.at(j) == u'+' || text.at(j) == u'-'))
            ++j;
        if (j < n && text.at(j).isDigit()) {
            while (j < n && text.at(j).unicode() < 128 && text.at(j).isDigit())
                ++j;
            i = j;
        }
    }
    const QByteArray number = text.mid(start, i - start).toLatin1();
    double v = std::strtod(number.constData(), nullptr);
    if (std::isnan(v))
        return 0.0;
    if (std::isinf(v))
        v = std::copysign(std::numeric_limits<double>::max(), v);
    return v;
}

}  // namespace platform
