// The recovery copy: while the document has unsaved changes, a copy of it is
// kept in the user's state folder, so that work lost to a crash, a kill or a
// power cut is offered back at the next start.
//
// When: an edit of either editor restarts a short pause; the copy is written
// when the user pauses, and at the latest a while after the first edit of a
// run of typing. At that moment `changed` decides: 1 writes the copy, any
// other value removes it. Every command is followed by the same check, so
// Save, New, Open and the like remove the copy as soon as they clear
// `changed`, however they do it. Replacing the document (the look-up) and
// ending the program remove it outright.
//
// Cost: serialising a large document takes longer than a keystroke may wait,
// and so does copying it. The copy is therefore written by a forked child,
// whose memory is a copy-on-write snapshot of the window's: the window pays
// for the fork only (bench/recovery_bench.cpp).
#include "frmeditor.h"

#include "dialoghost.h"
#include "recoverycopy.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLocale>
#include <QTimer>

#include <cerrno>
#include <cstring>

using platform::RecoveryCopy;
using platform::RecoveryStore;
using platform::RichTextBox;

namespace {

constexpr int kPauseMs = 2000;      // no edit for this long: write
constexpr int kCeilingMs = 30000;   // editing on and on: write anyway
constexpr int kPollMs = 20;         // looks for the writing child's end
constexpr int kChildMs = 60000;     // a child still writing after this is stuck

const QString kEnded = QStringLiteral("Tarbel ended before these changes were saved: ");
const QString kRecover = QStringLiteral("Recover them?");
const QString kUntitled = QStringLiteral("Untitled");
const QString kUnreadable = QStringLiteral("A recovery copy could not be read. It is kept at:");
const QString kCopyFailed = QStringLiteral("No recovery copy");

}  // namespace

class RecoveryKeeper : public QObject {
public:
    explicit RecoveryKeeper(frmeditor *window) : QObject(window), w(window)
    {
        for (QTimer *t : {&pause, &ceiling}) {
            t->setSingleShot(true);
            connect(t, &QTimer::timeout, this, &RecoveryKeeper::due);
        }
        pause.setInterval(kPauseMs);
        ceiling.setInterval(kCeilingMs);
        poll.setInterval(kPollMs);
        connect(&poll, &QTimer::timeout, this, &RecoveryKeeper::collect);
    }

    void edited()
    {
        dirty = true;
        pause.start();
        if (!ceiling.isActive())
            ceiling.start();
    }

    void due()
    {
        pause.stop();
        ceiling.stop();
        if (w->changed != 1)
            return drop();
        if (!dirty)
            return;
        if (writer.running()) {   // the next one once this one is done
            pause.start();
            return;
        }
        RichTextBox *box = w->activeEditor();
        if (!box)
            return;
        RecoveryCopy copy = RecoveryCopy::ofThisProcess(w->curfile, w->windowTitle(), {});
        dirty = false;
        if (writer.start(store, copy, [box] { return box->TextRTF(); })) {
            writing.start();
            poll.start();
            return;
        }
        // No child to be had: a pause now beats losing the work.
        int err = 0;
        copy.content = box->TextRTF();
        store.write(copy, &err);
        report(err);
    }

    void collect()
    {
        std::optional<int> err = writer.finished();
        if (!err && writing.hasExpired(kChildMs)) {
            writer.cancel();
            err = ETIMEDOUT;
        }
        if (err) {
            poll.stop();
            report(*err);
        }
    }

    // Editing goes on whatever happens to the copy; a failure is said once
    // and the next copy tries again.
    void report(int err)
    {
        platform::StatusPanel *panel = notePanel();
        if (err == 0) {
            if (failureSaid && panel) {
                panel->text.clear();
                panel->label->clear();
                panel->label->setToolTip({});
            }
            failureSaid = false;
            return;
        }
        dirty = true;
        ceiling.start();
        if (failureSaid || !panel)
            return;
        failureSaid = true;
        panel->text = kCopyFailed;
        panel->label->setText(kCopyFailed);
        panel->label->setToolTip(store.ownFile() + QStringLiteral(": ") +
                                 QString::fromLocal8Bit(std::strerror(err)));
    }

    void drop()
    {
        pause.stop();
        ceiling.stop();
        poll.stop();
        writer.cancel();
        store.removeOwn();
        dirty = false;
    }

    // The first panel that shows text (the ones before it show key states).
    platform::StatusPanel *notePanel() const
    {
        for (platform::StatusPanel *p : w->StatusBar1->Panels()) {
            if (p->kind == platform::StatusPanel::Text)
                return p;
        }
        return nullptr;
    }

    frmeditor *w;
    RecoveryStore store{QStringLiteral("tarbel")};
    platform::RecoveryWriter writer;
    QTimer pause, ceiling, poll;
    QElapsedTimer writing;
    bool dirty = false;         // edits the copy does not hold yet
    bool failureSaid = false;
};

void frmeditor::connectRecovery()
{
    m_recovery = new RecoveryKeeper(this);
    for (RichTextBox *box : {editor, tmpeditor})
        connect(box, &QTextEdit::textChanged, m_recovery, &RecoveryKeeper::edited);
    // After the command has run, whatever it did to changed.
    auto afterCommand = [this] { QTimer::singleShot(0, this, &frmeditor::recoveryFollow); };
    const QList<QAction *> actions = findChildren<QAction *>();
    for (QAction *action : actions)
        connect(action, &QAction::triggered, this, afterCommand);
    connect(Toolbar1, &platform::Toolbar::ButtonClick, this, afterCommand);
    connect(Command1, &QPushButton::clicked, this, afterCommand);
}

void frmeditor::recoveryFollow()
{
    if (changed != 1)
        m_recovery->drop();
}

void frmeditor::recoveryForget() { m_recovery->drop(); }

QString frmeditor::recoveryFile() const { return m_recovery->store.ownFile(); }

void frmeditor::offerRecovery()
{
    RecoveryStore &store = m_recovery->store;
    QStringList unreadable;
    const QList<RecoveryCopy> orphans = store.orphans(&unreadable);
    // A copy that cannot be read stays where it is for the user to rescue,
    // and is mentioned once.
    unreadable.removeIf([](const QString &file) { return RecoveryStore::reported(file); });
    if (!unreadable.isEmpty()) {
        for (const QString &file : unreadable)
            RecoveryStore::markReported(file);
        platform::MsgBox(kUnreadable + u'\n' + unreadable.join(u'\n'), vb::vbOKOnly + vb::vbExclamation);
    }
    // The newest one; the others wait for later starts.
    if (orphans.isEmpty())
        return;
    const RecoveryCopy &copy = orphans.first();
    const QString name = copy.document.isEmpty() ? kUntitled : copy.document;
    const QString when = QLocale::system().toString(copy.time.toLocalTime(), QLocale::ShortFormat);
    const int answer = platform::MsgBox(kEnded + name + QStringLiteral(", ") + when + u'\n' + kRecover,
                                        vb::vbYesNo + vb::vbQuestion);
    if (answer == vb::vbNo)
        RecoveryStore::discard(copy.file);
    RichTextBox *box = activeEditor();
    if (answer != vb::vbYes || !box)
        return;
    box->setTextRTF(copy.content);
    setCurrentFile(copy.document, 1);
    focusDocument(box);
    // The work is this window's now: its own copy holds it before the old
    // one goes.
    m_recovery->drop();
    int err = 0;
    if (store.write(RecoveryCopy::ofThisProcess(curfile, windowTitle(), copy.content), &err))
        RecoveryStore::discard(copy.file);
    m_recovery->report(err);
}
