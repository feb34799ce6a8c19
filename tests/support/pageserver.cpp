// Serves the files of one folder over HTTP on 127.0.0.1, for end-to-end runs
// of the browser that must stay off the network. Prints "port N" once it
// listens, then serves until it is ended.
//   pageserver FOLDER
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost)) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *s = server.nextPendingConnection()) {
            QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            QObject::connect(s, &QTcpSocket::readyRead, s, [s, &root] {
                // The request line is all that matters; wait for the whole head.
                s->setProperty("head", s->property("head").toByteArray() + s->readAll());
                const QByteArray head = s->property("head").toByteArray();
                if (!head.contains("\r\n\r\n"))
                    return;
                const QByteArray target = head.left(head.indexOf("\r\n")).split(' ').value(1);
                const QString name = QString::fromUtf8(QByteArray::fromPercentEncoding(target)).section(u'?', 0, 0);
                const QString path = root.filePath(name.mid(1));
                QFile file(path);
                const bool inside = !name.contains(QStringLiteral("..")) && QFileInfo(path).isFile();
                QByteArray status = "200 OK", type, body;
                if (inside && file.open(QIODevice::ReadOnly)) {
                    body = file.readAll();
                    type = QMimeDatabase().mimeTypeForFile(path).name().toLatin1();
                } else {
                    status = "404 Not Found";
                    type = "text/plain";
                    body = "not found";
                }
                s->write("HTTP/1.0 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: "
                         + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                s->disconnectFromHost();
            });
        }
    });
    std::printf("port %d\n", server.serverPort());
    std::fflush(stdout);
    return QCoreApplication::exec();
}
