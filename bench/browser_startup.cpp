// Start-up benchmark: process start to the first local page's completed
// navigation, and peak memory, for Vennik beside a bare QWebEngineView.
//
//   browser_startup            runs both, five times each, and prints medians
//   browser_startup child vennik|minimal FILEURL
//                              one run; prints "done <main peak kB> <all kB>"
#include "frmMain.h"
#include "runtime.h"
#include "webbrowser.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>

namespace {

qint64 statusField(const QString &pid, const char *field)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

// Resident memory of this process and of every process below it (the web
// engine's helpers), kB.
qint64 treeResident(const QString &pid)
{
    qint64 total = statusField(pid, "VmRSS:");
    const QStringList all = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &p : all) {
        bool ok = false;
        p.toInt(&ok);
        if (!ok)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(p));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray s = stat.readAll();
        const QList<QByteArray> rest = s.mid(s.lastIndexOf(')') + 2).split(' ');
        if (rest.value(1) == pid.toLatin1())
            total += treeResident(p);
    }
    return total;
}

void report()
{
    const QString self = QString::number(QCoreApplication::applicationPid());
    std::printf("done %lld %lld\n", statusField(self, "VmHWM:"), treeResident(self));
    std::fflush(stdout);
}

int child(int argc, char *argv[])
{
    platform::WebBrowser::prepareProcess("browser_startup");
    QApplication app(argc, argv);
    const QString mode = QString::fromLocal8Bit(argv[2]);
    const QUrl page(QString::fromLocal8Bit(argv[3]));
    if (mode == u"minimal") {
        QWebEngineView view;
        view.resize(800, 400);
        QObject::connect(&view, &QWebEngineView::loadFinished, [&] {
            report();
            QCoreApplication::exit(0);
        });
        view.load(page);
        view.show();
        return app.exec();
    }
    frmMain::setEndAction([] { QCoreApplication::exit(0); });
    std::unique_ptr<frmMain> w;
    if (frmMain::Start(platform::appPath(), w) != 0)
        return 1;
    // As for the bare view: the page loaded (the window shows its address
    // earlier, when the navigation commits).
    QObject::connect(w->WebBrowser1, &QWebEngineView::loadFinished, [&] {
        if (w->WebBrowser1->url() == page) {
            report();
            QCoreApplication::exit(0);
        }
    });
    w->txtInput->setText(page.toString());
    w->Command1_Click();
    return app.exec();
}

}  // namespace

int main(int argc, char *argv[])
{
    if (argc >= 4 && qstrcmp(argv[1], "child") == 0)
        return child(argc, argv);

    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("page.html"));
    {
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write("<html><head><title>Bench page</title></head><body><h1>Local page</h1>"
                "<p>Some text to lay out.</p></body></html>");
    }
    const QString url = QUrl::fromLocalFile(file).toString();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS")))
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
                   QString::fromLatin1(platform::WebBrowser::offlineChromiumFlags()));
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));

    const int runs = 5;
    for (const char *mode : {"minimal", "vennik"}) {
        QList<qint64> times, peaks, totals;
        for (int i = 0; i < runs; ++i) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.setProcessChannelMode(QProcess::SeparateChannels);
            QElapsedTimer t;
            t.start();
            p.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("child"), QLatin1String(mode), url});
            QByteArray out;
            qint64 elapsed = -1;
            while (p.waitForReadyRead(60000)) {
                out += p.readAllStandardOutput();
                if (out.contains("done ")) {
                    elapsed = t.elapsed();
                    break;
                }
            }
            p.waitForFinished(30000);
            out += p.readAllStandardOutput();
            const QList<QByteArray> f = out.mid(out.indexOf("done ")).trimmed().split(' ');
            if (elapsed < 0 || f.size() < 3) {
                std::fprintf(stderr, "%s: run %d failed\n", mode, i);
                continue;
            }
            times << elapsed;
            peaks << f.at(1).toLongLong();
            totals << f.at(2).toLongLong();
        }
        auto median = [](QList<qint64> v) {
            std::sort(v.begin(), v.end());
            return v.isEmpty() ? qint64(-1) : v.at(v.size() / 2);
        };
        std::printf("%-8s start to completed local page: median %lld ms (min %lld)  peak RSS of the main "
                    "process %lld MB, all processes at completion %lld MB  (%lld runs)\n",
                    mode, median(times), times.isEmpty() ? -1 : *std::min_element(times.begin(), times.end()),
                    median(peaks) / 1024, median(totals) / 1024, qint64(times.size()));
    }
    return 0;
}
