#pragma once
// The services both programs share that need no window: the program folder,
// safe writes, failure texts, text files from other programs, the free-format
// item reader, and the signals a program must not inherit.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "textcodec.h"

namespace platform {

// The folder that holds the running program.
QString appPath();

// Replaces the file at path (a native path) with bytes, and answers true
// only when they are on the disk. The bytes go to a new file beside the one
// finally written (a symbolic link's target: the link stays), which is
// synced, given the old file's owner, group, permissions and extended
// attributes (its ACLs among them), renamed over it, and the folder synced.
// The file is written in place instead where replacing it would lose
// something: it has several hard links, it belongs to someone this user
// cannot give it back to, an attribute cannot be copied, or its folder takes
// no new file. In place, the room is reserved first, the bytes written over
// the old ones and the file then cut to their length and synced.
// Refused: a folder, a read-only file, a named pipe, device or socket, and
// a symbolic link that the system's rule would not follow (one another user
// made in a shared folder such as /tmp). On failure why (when given) holds
// the reason in the system's words, and nothing is left beside the file;
// the old file is untouched unless the failure came while it was written
// in place, or at the last sync. Never throws.
bool writeFileSafely(const QString &path, const QByteArray &bytes);
bool writeFileSafely(const QString &path, const QByteArray &bytes, QString *why);

// The system's message for an error number ("No space left on device").
QString systemReason(int error);

// A failure as both programs report it: the fixed message, and on a second
// line the path and the reason ("Error Saving File\n/home/u/a.rtf: No space
// left on device"). Without a path the second line is the reason alone;
// without either there is no second line.
QString failureText(const QString &message, const QString &path, const QString &reason);

// Text of a small file another program wrote: UTF-16 (little- or
// big-endian, with a byte-order mark, or without one as cmd /u writes it:
// 8-bit text never holds NUL bytes), else UTF-8 or Windows-1252 as
// decodeText tells them.
QString decodeTextFile(const QByteArray &bytes);

// Undoes what a starting program may have inherited and must not keep:
// SIGCHLD ignored (the kernel would then reap the program's children before
// it learns how they ended) or blocked. Called first thing in main().
void resetInheritedSignals();

// Reads free-format items the way the runtime's sequential input does: an
// item ends at a comma or a line end (CR LF, LF or CR); an item that starts
// with a double quote runs to the next double quote and may hold commas and
// line ends (what follows the closing quote up to the next comma or line
// end is dropped); blanks and tabs in front of an item are skipped, and
// blanks at the end of an unquoted item are dropped.
class FreeFormatReader {
public:
    explicit FreeFormatReader(QString text);
    // Reads the next item; false at the end of the text (nothing left to
    // read), which the runtime reports as input past the end of the file.
    bool readItem(QString &item);
    bool atEnd() const;

private:
    QString m_text;
    qsizetype m_pos = 0;
};

// The runtime's Val(): the leading number of a text (blanks skipped), 0 when
// there is none. Saturates instead of overflowing.
double val(const QString &text);

}  // namespace platform
