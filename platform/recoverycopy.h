#pragma once
// Recovery copies: a program keeps its unsaved document in the user's state
// folder ($XDG_STATE_HOME/<program>/recovery, else ~/.local/state/...), one
// file per running process, so that a later start can offer what a crash, a
// kill or a power cut would otherwise have lost.
//
// A copy is a short text header (the document's path, the window caption,
// the time, and who wrote it: process id, boot and start time, program)
// followed by the document's bytes. It is written atomically (a temporary
// file, synced, renamed over the copy) and private to the user (files 0600,
// folder 0700).
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

#include <sys/types.h>

namespace platform {

struct RecoveryCopy {
    QString file;          // where the copy lives
    QString document;      // the document's path; empty while untitled
    QString caption;       // the window caption when it was written
    QDateTime time;        // when it was written (UTC)
    qint64 pid = 0;        // the writer: process id,
    QString boot;          //   the boot it ran in,
    qint64 started = 0;    //   its start time in clock ticks since that boot,
    QString program;       //   its program's file name
    QByteArray content;    // the document

    // Header and content as stored; decode answers nothing for bytes that
    // are not a whole copy (a foreign or truncated file).
    QByteArray encode() const;
    static std::optional<RecoveryCopy> decode(const QByteArray &bytes);
    // A copy stamped as written now by this process.
    static RecoveryCopy ofThisProcess(const QString &document, const QString &caption,
                                      const QByteArray &content);
    // True while the process that wrote it is running: the same boot, the
    // process id alive, started when the writer started and running the
    // same program. A reused process id is not taken for the writer.
    bool writerRunning() const;
};

class RecoveryStore {
public:
    explicit RecoveryStore(const QString &program);

    QString folder() const { return m_folder; }
    // This process's copy.
    QString ownFile() const { return m_ownFile; }

    // Writes this process's copy atomically. On failure the previous copy is
    // left as it was and error holds the system error number. Uses only
    // system calls once the bytes are built, so a forked child may call it.
    bool write(const RecoveryCopy &copy, int *error = nullptr) const;
    // Removes this process's copy (and a temporary file a write left).
    void removeOwn() const;
    // Copies whose writer is no longer running, newest first. Copies that
    // cannot be read are listed in unreadable, newest first.
    QList<RecoveryCopy> orphans(QStringList *unreadable = nullptr) const;
    static bool discard(const QString &file);
    // A copy that cannot be read is reported once: the mark is a file
    // beside it.
    static bool reported(const QString &file);
    static void markReported(const QString &file);

private:
    QString m_folder;
    QString m_ownFile;
};

// Writes a copy in a forked child: the child's memory is a copy-on-write
// snapshot of this process, so the document can be serialised there while
// this process goes on editing; the caller pays only for the fork.
class RecoveryWriter {
public:
    ~RecoveryWriter();
    // Starts writing content() with the header of copy into store. False
    // when no child could be started (nothing is written then).
    bool start(const RecoveryStore &store, const RecoveryCopy &copy,
               const std::function<QByteArray()> &content);
    bool running() const { return m_child > 0; }
    // Once the child has ended: 0 when the copy was written, else the
    // system error number. Nothing while it runs.
    std::optional<int> finished();
    // Stops a running child and waits for it.
    void cancel();

private:
    pid_t m_child = -1;
};

}  // namespace platform
