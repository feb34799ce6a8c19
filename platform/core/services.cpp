#include "services.h"

#include <QCoreApplication>
#include <QStringDecoder>

#include <cmath>
#include <cstring>
#include <cstdlib>
#include <limits>

#include <signal.h>

namespace platform {

QString appPath() { return QCoreApplication::applicationDirPath(); }

QString systemReason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

QString failureText(const QString &message, const QString &path, const QString &reason)
{
    if (path.isEmpty() && reason.isEmpty())
        return message;
    if (path.isEmpty())
        return message + u'\n' + reason;
    if (reason.isEmpty())
        return message + u'\n' + path;
    return message + u'\n' + path + QStringLiteral(": ") + reason;
}

QString decodeTextFile(const QByteArray &bytes)
{
    auto utf16 = [&bytes](QStringConverter::Encoding encoding, qsizetype skip) {
        QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
        return QString(decoder.decode(QByteArrayView(bytes).sliced(skip)));
    };
    if (bytes.startsWith("\xFF\xFE"))
        return utf16(QStringConverter::Utf16LE, 2);
    if (bytes.startsWith("\xFE\xFF"))
        return utf16(QStringConverter::Utf16BE, 2);
    if (bytes.contains('\0')) {
        // Text in the Latin script: the NULs are the high bytes.
        qsizetype even = 0, odd = 0;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            if (bytes.at(i) == '\0')
                ++(i % 2 ? odd : even);
        }
        return utf16(odd >= even ? QStringConverter::Utf16LE : QStringConverter::Utf16BE, 0);
    }
    return decodeText(bytes);
}

void resetInheritedSignals()
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(SIGCHLD, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGCHLD);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
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
