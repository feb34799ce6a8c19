// The recovery copy: while the document has unsaved changes, a copy of it is
// kept in the user's state folder, so that work lost to a crash, a kill or a
// power cut is offered back at the next start.
//
// When: an edit of either editor restarts a short pause; the copy is written
// when the user pauses, and when typing goes on and on, at the first short
// gap after a while (at the latest a while later). At that moment `changed` decides: 1 writes the copy, any
// other value removes it. Every command is followed by the same check, so
// Save, New, Open and the like remove the copy as soon as they clear
// `changed`, however they do it. Replacing the document (the look-up) and
// ending the program remove it outright.
//
// What: a document that plain text holds whole (what Save may write as a
// text file, and no more: the box's own face, nothing a paragraph break or
// the text decoder would change) is kept as its text in UTF-8, which comes
// back through the loader that opens text files, as fast as opening it;
// any other is kept as RTF. Which it is shows as the bytes are made: the
// first paragraph that is not plain sends the copy back to the start as RTF.
//
// Cost: the copy's bytes are made on the window's thread once the user
// pauses, a slice of a few milliseconds at a time between events, so that
// neither a key nor a repaint waits for a large document
// (bench/recovery_bench.cpp); an edit in between makes the slices start
// again at the next pause. A child process writes the bytes, so that a file
// system that hangs never holds up the window, and the window never waits
// for the child: it looks in every few milliseconds whether the child has
// ended. The child does not make the bytes itself: it could hang for ever
// in any code that takes a lock (platform/core/recoverycopy.h).
//
// At start-up the newest copy a Tarbel that ended left behind is offered
// before anything else is loaded. Yes takes it back (the copy goes once this
// window's own copy holds the work, or the work is saved or let go), No
// removes it, and Cancel, Escape or the close box keep it for the next
// start.
#include "frmeditor.h"

#include "longwork.h"

#include "dialoghost.h"
#include "documentformat.h"
#include "recoverycontent.h"
#include "recoverycopy.h"
#include "rtf/rtf.h"
#include "runtime.h"

#include <QAction>
#include <QLocale>
#include <QPointer>
#include <QTextDocument>
#include <QTimer>

#include <cerrno>
#include <memory>
#include <utility>

using platform::RecoveryCopy;
using platform::RecoveryStore;
using platform::RichTextBox;

namespace {

constexpr int kPauseMs = 2000;      // no edit for this long: write
constexpr int kCeilingMs = 30000;   // editing on and on: write at the next
constexpr int kGapMs = 500;         //   gap this long, or a ceiling later anyway
constexpr int kSliceMs = 8;        // the copy's bytes are made in slices this long
constexpr int kPollMs = 20;         // looks for the writing child's end
constexpr int kChildSeconds = 60;   // the child ends itself after this
constexpr int kStuckMs = 65000;     // a child still there after this is stopped

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
        for (QTimer *t : {&pause, &ceiling})
            t->setSingleShot(true);
        connect(&pause, &QTimer::timeout, this, &RecoveryKeeper::due);
        connect(&ceiling, &QTimer::timeout, this, &RecoveryKeeper::overdue);
        pause.setInterval(kPauseMs);
        ceiling.setInterval(kCeilingMs);
        poll.setInterval(kPollMs);
        connect(&poll, &QTimer::timeout, this, &RecoveryKeeper::collect);
        connect(&slices, &QTimer::timeout, this, &RecoveryKeeper::slice);
    }

    void edited()
    {
        stopSlicing();
        dirty = true;
        pause.start(late ? kGapMs : kPauseMs);
        if (!ceiling.isActive())
            ceiling.start();
    }

    // The bytes are made on the window's thread: a copy overdue waits for
    // a gap in the typing, so that no key waits for it, but not for ever.
    void overdue()
    {
        if (late)
            return due();
        late = true;
        pause.start(kGapMs);
        ceiling.start();
    }

    void due()
    {
        pause.stop();
        ceiling.stop();
        late = false;
        if (w->changed != 1)
            return drop();
        if (!dirty)
            return;
        if (writer.running() || serialiser) {   // the next one once this one is done
            pause.start(kPauseMs);
            return;
        }
        RichTextBox *box = w->activeEditor();
        if (!box)
            return;
        dirty = false;
        source = box->document();
        serialiser = std::make_unique<RecoveryContent>(source, box->hasPlainDefaults());
        // Any change, of text or format, makes the bytes so far worthless.
        watch = connect(source, &QTextDocument::contentsChanged, this, &RecoveryKeeper::edited);
        slices.start(0);
        slice();
    }

    void slice()
    {
        if (!serialiser)
            return;
        RichTextBox *box = w->activeEditor();
        if (!source || !box || box->document() != source || w->changed != 1) {
            // Another document, or no work left to keep: the next check decides.
            stopSlicing();
            dirty = true;
            pause.start(kPauseMs);
            return;
        }
        if (!serialiser->step(kSliceMs))
            return;
        const RecoveryCopy::Content kind = serialiser->kind();
        const QByteArray content = serialiser->result();
        stopSlicing();
        write(content, kind);
    }

    void stopSlicing()
    {
        slices.stop();
        disconnect(watch);
        serialiser.reset();
        source = nullptr;
    }

    void write(const QByteArray &content, RecoveryCopy::Content kind)
    {
        const RecoveryCopy copy = RecoveryCopy::ofThisProcess(w->curfile, w->windowTitle(), content, kind,
                                                              w->documentFormat().name());
        int err = 0;
        if (!writer.start(store, copy, kChildSeconds, &err))
            return report(err);
        timedOut = false;
        poll.start();
    }

    void collect()
    {
        std::optional<int> err = writer.finished();
        if (!err) {
            // The child's own limit ends it; this is for one that could
            // not even do that.
            if (writer.runningFor() > kStuckMs) {
                timedOut = true;
                writer.cancel();
            }
            return;
        }
        poll.stop();
        if (*err == ECANCELED && timedOut)
            err = ETIMEDOUT;
        if (*err != ECANCELED)
            report(*err);
        // The work was saved or let go while the child wrote: no copy.
        if (w->changed != 1)
            store.removeOwn();
        if (*err == 0 || w->changed != 1)
            letGoOfInherited();
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
        panel->label->setToolTip(store.ownFile() + QStringLiteral(": ") + platform::systemReason(err));
    }

    // No copy is wanted: a child still writing one is stopped, and looked
    // for until it has ended (collect removes what it may still have made).
    void drop()
    {
        stopSlicing();
        pause.stop();
        ceiling.stop();
        late = false;
        writer.cancel();
        store.removeOwn();
        dirty = false;
        if (w->changed != 1)
            letGoOfInherited();
    }

    // The copy taken back at start-up goes once it is no longer the only
    // place of its work.
    void letGoOfInherited()
    {
        if (!inherited.isEmpty())
            RecoveryStore::discard(std::exchange(inherited, QString()));
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
    QTimer pause, ceiling, poll, slices;
    std::unique_ptr<RecoveryContent> serialiser;    // the copy's bytes being made
    QPointer<QTextDocument> source;                 // of this document
    QMetaObject::Connection watch;
    QString inherited;          // a copy taken back, until its work is safe
    bool dirty = false;         // edits the copy does not hold yet
    bool late = false;          // overdue: written at the next gap
    bool timedOut = false;
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
    store.removeStale();
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
                                        vb::vbYesNoCancel + vb::vbQuestion);
    if (answer == vb::vbNo)
        RecoveryStore::discard(copy.file);
    RichTextBox *box = activeEditor();
    if (answer != vb::vbYes || !box)
        return;
    {
        // Cancelling would leave the work in neither the window nor a copy
        // this window keeps: taking it back always finishes.
        platform::LongWork work(StatusBar1, platform::LongWork::CannotCancel);
        showDocument(box, copy.content, copy.kind == RecoveryCopy::Text ? RecoveryContent::textFormat() : DocumentFormat(),
                     work.progress());
    }
    // The document is of the kind it was (what Save writes and offers);
    // a copy that does not say takes it from its file.
    if (const std::optional<DocumentFormat> format = DocumentFormat::named(copy.format))
        setCurrentFile(copy.document, 1, *format);
    else
        setCurrentFile(copy.document, 1);
    focusDocument(box);
    // The work is this window's now: the old copy goes once this window's
    // own copy holds it.
    m_recovery->drop();
    m_recovery->inherited = copy.file;
    m_recovery->write(copy.content, copy.kind);
}
