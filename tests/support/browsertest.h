#pragma once
// What the browser's suites share: a small HTTP server on 127.0.0.1, the
// process set-up for Qt WebEngine in a test, and a window started the way
// the program starts it.
#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

#include "frmMain.h"
#include "scripteddialoghost.h"
#include "webbrowser.h"

// Serves fixed pages; a page may answer only after a delay.
class TestServer : public QObject {
public:
    struct Page {
        QByteArray contentType;
        QByteArray body;
        int delayMs = 0;
        qint64 promised = -1;   // a length promised and never sent: the line is cut after the body
    };

    TestServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection())
                serve(s);
        });
        if (!m_server.listen(QHostAddress::LocalHost))
            qFatal("the test server cannot listen");
    }

    void add(const QByteArray &path, const QByteArray &type, const QByteArray &body, int delayMs = 0)
    {
        m_pages.insert(path, Page{type, body, delayMs});
    }
    void addCutShort(const QByteArray &path, const QByteArray &type, const QByteArray &body, qint64 promised)
    {
        m_pages.insert(path, Page{type, body, 0, promised});
    }
    void addHtml(const QByteArray &path, const QByteArray &html, int delayMs = 0)
    {
        add(path, "text/html; charset=utf-8", html, delayMs);
    }
    QString url(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }
    quint16 port() const { return m_server.serverPort(); }
    int requests(const QByteArray &path) const { return m_hits.value(path); }
    // The last request of a path: its method, a blank and its body.
    QByteArray lastRequest(const QByteArray &path) const { return m_last.value(path); }

    // A port on 127.0.0.1 that nothing listens on.
    static quint16 closedPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();   // closed again when probe goes
    }

private:
    void serve(QTcpSocket *s)
    {
        auto buffer = std::make_shared<QByteArray>();
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        connect(s, &QTcpSocket::readyRead, this, [this, s, buffer] {
            buffer->append(s->readAll());
            // What is no HTTP request (a TLS handshake: an https address of
            // this host) is answered at once, as web servers do, so that the
            // browser's attempt fails now rather than waiting on the line.
            if (!buffer->isEmpty() && !(buffer->at(0) >= 'A' && buffer->at(0) <= 'Z')) {
                buffer->clear();
                s->write("HTTP/1.0 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                s->disconnectFromHost();
                return;
            }
            const qsizetype headEnd = buffer->indexOf("\r\n\r\n");
            if (headEnd < 0)
                return;
            // A request with a body (a form sent by POST) waits for all of it.
            const QByteArray head = buffer->left(headEnd).toLower();
            const qsizetype at = head.indexOf("content-length:");
            const qsizetype length = at < 0 ? 0 : head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toLongLong();
            if (buffer->size() < headEnd + 4 + length)
                return;
            const QList<QByteArray> first = buffer->left(buffer->indexOf("\r\n")).split(' ');
            const QByteArray body = buffer->mid(headEnd + 4, length);
            buffer->clear();
            QByteArray path = first.size() > 1 ? first.at(1) : QByteArray("/");
            if (const qsizetype q = path.indexOf('?'); q >= 0)
                path.truncate(q);
            m_hits[path] += 1;
            m_last[path] = first.value(0) + ' ' + body;
            const auto it = m_pages.constFind(path);
            QByteArray reply;
            if (it == m_pages.constEnd()) {
                reply = "HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: 9\r\n"
                        "Connection: close\r\n\r\nnot found";
            } else {
                reply = "HTTP/1.0 200 OK\r\nContent-Type: " + it->contentType + "\r\nContent-Length: "
                        + QByteArray::number(it->promised >= 0 ? it->promised : it->body.size()) + "\r\nCache-Control: no-store\r\n"
                        + "Connection: close\r\n\r\n" + it->body;
            }
            QPointer<QTcpSocket> guard(s);
            auto send = [guard, reply] {
                if (!guard)
                    return;
                guard->write(reply);
                guard->disconnectFromHost();
            };
            if (it != m_pages.constEnd() && it->delayMs > 0)
                QTimer::singleShot(it->delayMs, this, send);
            else
                send();
        });
    }

    QTcpServer m_server;
    QHash<QByteArray, Page> m_pages;
    QHash<QByteArray, int> m_hits;
    QHash<QByteArray, QByteArray> m_last;
};

// Keeps the suite's Chromium off the network (but for 127.0.0.1) and off the
// GPU; switches the sandbox off when the suite runs as root.
inline void prepareBrowserTestProcess(const char *name)
{
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    flags += ' ' + platform::WebBrowser::offlineChromiumFlags();
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
    qputenv("QTWEBENGINE_DISABLE_GPU", "1");
    platform::WebBrowser::prepareProcess(name);
    QStandardPaths::setTestModeEnabled(true);
}

#define BROWSER_TEST_MAIN(TestClass, name)                           \
    int main(int argc, char *argv[])                                 \
    {                                                                \
        prepareBrowserTestProcess(name);                             \
        QApplication app(argc, argv);                                \
        QApplication::setOrganizationName(QStringLiteral("ZanthTest")); \
        QApplication::setApplicationName(QStringLiteral(name));      \
        TestClass tc;                                                \
        QTEST_SET_MAIN_SOURCE_PATH                                   \
        return QTest::qExec(&tc, argc, argv);                        \
    }

// A program folder holding bckcol.cfg with the given bytes (nullptr: none).
inline std::unique_ptr<QTemporaryDir> programFolderWith(const char *settings)
{
    auto dir = std::make_unique<QTemporaryDir>();
    if (settings) {
        QFile f(dir->filePath(QStringLiteral("bckcol.cfg")));
        f.open(QIODevice::WriteOnly);
        f.write(settings);
    }
    return dir;
}

// Waits for a condition in short slices: QTest::qWaitFor hands its whole
// timeout to processEvents, which keeps going while the web engine posts
// events, and so notices the condition late.
template <typename Pred>
inline bool waitUntil(Pred pred, int timeoutMs = 20000)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

// Waits until the window's caption shows a page with this title and the page
// has loaded.
inline bool waitForTitle(frmMain *w, const QString &title, int timeoutMs = 20000)
{
    return waitUntil([&] { return w->windowTitle() == frmMain::captionPrefix() + title && !w->WebBrowser1->Busy(); },
                     timeoutMs);
}

// A running window whose start page has loaded (here its error page: the
// suites stay off the network).
inline bool waitForStartPage(frmMain *w)
{
    return waitUntil([&] { return w->windowTitle() != frmMain::caption() && !w->WebBrowser1->Busy(); });
}

// Clicks a page's element the way a user does: real mouse events on the
// page area, where the element is shown.
inline bool clickInPage(platform::WebBrowser *view, const QString &selector)
{
    QVariant where;
    bool done = false;
    view->page()->runJavaScript(
        QStringLiteral("(function(){ const e = document.querySelector('%1'); if (!e) return null;"
                       " e.scrollIntoView({block: 'center'}); const r = e.getBoundingClientRect();"
                       " return [r.left + r.width / 2, r.top + r.height / 2]; })()")
            .arg(selector),
        [&](const QVariant &v) {
            where = v;
            done = true;
        });
    if (!waitUntil([&] { return done; }, 10000) || where.toList().size() != 2)
        return false;
    QWidget *target = view->focusProxy() ? view->focusProxy() : view;
    const QPoint at(qRound(where.toList().at(0).toDouble()), qRound(where.toList().at(1).toDouble()));
    QTest::mouseClick(target, Qt::LeftButton, {}, at);
    return true;
}
