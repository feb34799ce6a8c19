#pragma once
// Runs the current test function again in a new process of the same suite:
// as another user (setpriv), in a namespace of its own (unshare, where a
// test may mount a small file system), or with a library preloaded. The
// run inside sees TARBEL_RERUN set.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace rerun {

inline bool inside() { return qEnvironmentVariableIsSet("TARBEL_RERUN"); }

// The program a wrapper starts, and the current test function (with its
// data row) as its argument. environment holds NAME=value entries. For a
// wrapper that drops to another user, copy makes the suite (and the files
// named in environment) readable by anyone from a folder of their own.
// Verifies that the run passed; its output is in the failure message.
inline void run(const QStringList &wrapper, const QStringList &environment = {}, bool copy = false)
{
    QTemporaryDir bin(QDir::tempPath() + QStringLiteral("/tarbel-XXXXXX"));
    QString program = QCoreApplication::applicationFilePath();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TARBEL_RERUN"), QStringLiteral("1"));
    for (const QString &entry : environment)
        env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    if (copy) {
        const auto all = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                         | QFileDevice::ReadOther | QFileDevice::ExeOther;
        const QString copied = bin.filePath(QStringLiteral("suite"));
        QVERIFY(QFile::copy(program, copied) && QFile::setPermissions(copied, all));
        QVERIFY(QFile::setPermissions(bin.path(), all));
        program = copied;
    }
    QString function = QString::fromLatin1(QTest::currentTestFunction());
    if (const char *row = QTest::currentDataTag())
        function += u':' + QString::fromLatin1(row);
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(wrapper.value(0, program), wrapper.mid(1) + (wrapper.isEmpty() ? QStringList() : QStringList{program})
                                          + QStringList{function});
    QVERIFY2(p.waitForFinished(120000), "the run inside did not finish");
    const QByteArray out = p.readAll();
    QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, out.constData());
    QVERIFY2(out.contains(" passed, 0 failed, 0 skipped"), out.constData());
}

}  // namespace rerun
