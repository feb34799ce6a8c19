#pragma once
// Recovery copies: a program keeps its unsaved document in the user's state
// folder ($XDG_STATE_HOME/<program>/recovery, else ~/.local/state/...), one
// file per running process, so that a later start can offer what a crash, a
// kill or a power cut would otherwise have lost.
//
// A copy is a short text header (the document's path, the window caption,
// the time, who wrote it: process id, boot and start time, program, and what
// the content is) followed by the document's bytes: RTF, or the document's
// text in UTF-8, a paragraph a line (LF), where that holds it whole. It is written atomically (a temporary
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
    enum Content { Rtf, Text };
    Content kind = Rtf;    // what content holds:
    QByteArray content;    //   the document
    QString format;        // what the program keeps of its document's kind,
                           // in its own words; empty when the copy does not say

    // Header and content as stored; decode answers nothing for bytes that
    // are not a whole copy (a foreign or truncated file).
    QByteArray encode() const;
    QByteArray head() const;   // what comes before the content
    static std::optional<RecoveryCopy> decode(QByteArray bytes);
    // A copy stamped as written now by this process.
    static RecoveryCopy ofThisProcess(const QString &document, const QString &caption,
                                      const QByteArray &content, Content kind = Rtf,
                                      const QString &format = {});
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

    // Writes this process's copy atomically, here and now (RecoveryWriter
    // writes it without waiting). On failure the previous copy is left as
    // it was and error holds the system error number.
    bool write(const RecoveryCopy &copy, int *error = nullptr) const;
    // Removes this process's copy.
    void removeOwn() const;
    // Copies whose writer is no longer running, newest first. Copies that
    // cannot be read are listed in unreadable, newest first.
    QList<RecoveryCopy> orphans(QStringList *unreadable = nullptr) const;
    // Removes the temporary files of writers that ended before they were
    // done (each is a whole private copy of a document).
    void removeStale() const;
    static bool discard(const QString &file);
    // A copy that cannot be read is reported once: the mark is a file
    // beside it.
    static bool reported(const QString &file);
    static void markReported(const QString &file);

private:
    friend class RecoveryWriter;
    QString m_folder;
    QString m_ownFile;
};

// Writes this process's copy in a child process, so that a file system that
// hangs (a hard NFS mount, a FUSE folder that stopped answering) can never
// hold up the window, and a window that ends leaves nothing behind: the
// child keeps no descriptor of this process's (the display connection among
// them), and ends itself when the time limit is up.
//
// The bytes are made here, before the fork. The child then runs nothing but
// system calls on memory prepared for it (mkdir, open, write, fdatasync,
// rename, fsync, close: all async-signal-safe): no allocation, no library
// code, no lock. A child of a process with threads (the display
// connection's, Qt's thread pool) inherits their locks in whatever state they
// were, and a picture conversion or any code that takes one of them would
// hang it forever; this child cannot.
struct RecoveryPlan;

class RecoveryWriter {
public:
    // A running child is stopped, not waited for.
    ~RecoveryWriter();
    // Starts a child that writes bytes (a whole encoded copy) as store's own
    // copy, and ends itself after seconds. False when none could be started
    // (error holds why) or one is still running.
    bool start(const RecoveryStore &store, const QByteArray &bytes, int seconds = 60, int *error = nullptr);
    // The same for copy, encoded, without a copy of its content.
    bool start(const RecoveryStore &store, const RecoveryCopy &copy, int seconds = 60, int *error = nullptr);
    // A child has been started and not yet seen to end.
    bool running() const { return m_child > 0; }
    // Milliseconds since the running child was started.
    qint64 runningFor() const;
    // Once the child has ended: 0 when the copy was written, ECANCELED after
    // cancel(), else the system error number. Nothing while it runs; never
    // waits.
    std::optional<int> finished();
    // Stops a running child (SIGKILL) without waiting for it: a child held
    // in the kernel ends when the kernel lets it go, and finished() tells.
    void cancel();

private:
    bool start(const RecoveryPlan &plan, int seconds, int *error);
    pid_t m_child = -1;
    bool m_cancelled = false;
    qint64 m_started = 0;
};

}  // namespace platform
