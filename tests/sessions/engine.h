#pragma once
// Random user sessions under invariants: the part both programs' testers
// share. A session starts the real window class in a sandbox folder, takes
// random user actions through real Qt events, answers every dialog through
// the scripted dialog host with a random real answer, and checks the
// invariants after every action. A violation is shrunk to the shortest
// action list that still breaks the same rule; that list, one action a
// line, is a regression row (rows/<program>/*.txt) the tester replays.
//
// Processes: the tester as started is the supervisor. It runs the regression
// rows and then the random sessions in a worker child, which reports each
// session and action on its standard output; a worker that crashes, hangs
// or stops at a sanitizer report is seen by the supervisor, which shrinks
// that session by replaying action lists in children of their own.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QMap>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <random>

#include "scripteddialoghost.h"

namespace sessions {

// --- actions and rows --------------------------------------------------------

// One user action as a row holds it: a verb, its arguments, and the answers
// its dialogs got, in order ("message No", "save C:\docs\a.rtf").
struct Action {
    QString verb;
    QStringList args;
    QStringList answers;
    QString arg(int i) const { return args.value(i); }
};

// A row line: the verb, the arguments, then "; answer" for each answer.
// Words with blanks, quotes, ';', '%' or other than printable characters
// are written in double quotes with %XX escapes for '"', '%' and control
// characters; everything else stands as it is (UTF-8).
QString formatAction(const Action &a);
// nullopt for a blank line or a comment ("#...").
std::optional<Action> parseAction(const QString &line, QString *error = nullptr);
QString quoted(const QString &word);
QStringList splitWords(const QString &text, bool *ok = nullptr);
// The actions of a row file; its comment lines go to header.
QList<Action> readRow(const QString &path, QString *header = nullptr, QString *error = nullptr);
bool writeRow(const QString &path, const QList<Action> &actions, const QString &header);

// --- randomness ----------------------------------------------------------------

class Rng {
public:
    explicit Rng(quint64 seed) : m_gen(seed) {}
    int below(int n);                 // [0, n)
    int between(int lo, int hi);      // [lo, hi]
    bool chance(double p);
    template <typename T>
    const T &pick(const QList<T> &list) { return list.at(below(int(list.size()))); }
    // An index drawn by weight.
    int weighted(const QList<double> &weights);

private:
    std::mt19937_64 m_gen;
};

quint64 sessionSeed(quint64 runSeed, int session);

// --- findings --------------------------------------------------------------------

struct Violation {
    QString rule;     // the invariant: files, work, saves, kinds, undo, ...
    QString detail;
};

// --- files -------------------------------------------------------------------------

// Every file and folder under some roots, with the bytes of each file.
struct Snapshot {
    struct Entry {
        bool dir = false;
        QByteArray bytes;
    };
    QMap<QString, Entry> entries;   // absolute path
    static Snapshot take(const QStringList &roots);
    const Entry *find(const QString &path) const;
    bool hasFile(const QString &path) const;
};

struct FileChange {
    enum Kind { Added, Removed, Modified } kind;
    QString path;
};
QList<FileChange> diff(const Snapshot &before, const Snapshot &after);
QString describeChange(const FileChange &c);

// The session's own folders: HOME, the XDG folders, a Wine prefix and a
// folder for printed files, made afresh for each session and named in the
// environment.
class Sandbox {
public:
    explicit Sandbox(const QString &base);
    ~Sandbox();
    // Empties the sandbox and sets the environment to it.
    void reset();
    QString root() const { return m_root; }
    QString home() const { return m_root + QStringLiteral("/home"); }
    QString wine() const { return m_root + QStringLiteral("/wine"); }
    QString driveC() const { return wine() + QStringLiteral("/drive_c"); }
    QString print() const { return m_root + QStringLiteral("/print"); }
    QString xdg(const QString &which) const { return m_root + QStringLiteral("/xdg/") + which; }
    // The folders whose files the user owns: checked after every action.
    QStringList watched() const { return {home(), wine(), print()}; }
    // Writes a file, making its folders.
    void write(const QString &path, const QByteArray &bytes) const;
    void makeReadOnly(const QString &path) const;
    static bool runningAsRoot();

private:
    void wipe();
    QString m_root;
};

// Same path, or the same path in other letter case (drive C: is case-blind).
bool samePath(const QString &a, const QString &b);

// --- dialogs -----------------------------------------------------------------------

using Prompt = ScriptedDialogHost::Prompt;
using Kind = ScriptedDialogHost::Kind;

// One prompt of the action under way and the answer it got.
struct Exchange {
    Prompt prompt;
    QString answer;    // as in a row: "message Yes", "save PATH", "open cancel"
};

QString kindWord(Kind k);
// The answers a message box offers: OK; OK and Cancel; Yes, No and Cancel;
// Yes and No.
QStringList messageAnswers(int buttons);

// --- the program under test ----------------------------------------------------------

class Engine;

class Program {
public:
    virtual ~Program() = default;
    virtual QString name() const = 0;
    // Fills a fresh sandbox with the session's files.
    virtual void populate(Sandbox &box) = 0;
    // The first action of a session: how the program starts.
    virtual Action startAction(Rng &rng) = 0;
    // Starts the window as the start action says.
    virtual void start(const Action &a) = 0;
    // A random action for the window as it is now.
    virtual Action nextAction(Rng &rng) = 0;
    // Takes the action through real events and lets the window settle.
    virtual void perform(const Action &a) = 0;
    // A random real answer for the prompt, in row form.
    virtual QString answer(const Prompt &p, Rng &rng) = 0;
    // What is captured before each action for the checks after it.
    virtual void before(const Action &a) = 0;
    // The invariants after the action.
    virtual QList<Violation> check(const Action &a, const QList<Exchange> &exchanges) = 0;
    virtual bool ended() const = 0;
    // Closes the session's window for good.
    virtual void finish() = 0;
    // Qt messages that are no misuse (the environment's own chatter).
    virtual bool harmlessMessage(const QString &message) const;
    // The answer for a prompt that a replayed action has no answer for.
    virtual QString defaultAnswer(const Prompt &p) const;
    // A path of a row as this sandbox names it ("{docs}/a.rtf"): rows hold
    // paths that do not depend on the sandbox's place.
    virtual QString expand(const QString &path) const { return path; }

    Engine *engine = nullptr;
};

// --- running sessions --------------------------------------------------------------

struct Outcome {
    QList<Action> actions;           // as performed, with the answers given
    std::optional<Violation> violation;
    int violationAt = -1;            // index into actions
    bool ended = false;
};

class Engine {
public:
    Engine(Program &program, const QString &sandboxBase);
    ~Engine();

    Program &program() { return m_program; }
    Sandbox &sandbox() { return *m_sandbox; }
    int printedPdfs = 0;

    // A random session from seed, up to maxActions actions.
    Outcome generate(quint64 seed, int maxActions);
    // Replays a row: answers come from the actions, missing ones are
    // defaulted.
    Outcome replay(const QList<Action> &actions);

    // For a program whose dialogs are real windows (the real-X variant):
    // the answer for a prompt seen, random or as the replayed action
    // recorded it, logged as the scripted host logs its answers; and the
    // last answer put right when the dialog turned out to offer another.
    QString take(const Prompt &p);
    void amendLast(const QString &answer);

    // Set while an action runs; every line of the protocol goes through it.
    bool announce = false;
    // Rules whose violations are let pass (while a known fault awaits its
    // mend, or to see what else a run finds).
    QStringList ignored;
    static void emitLine(const QString &line);

private:
    Outcome run(const std::function<std::optional<Action>(int, Rng &)> &next, quint64 seed);
    Program &m_program;
    std::unique_ptr<Sandbox> m_sandbox;
    std::unique_ptr<ScriptedDialogHost> m_host;
    QList<Exchange> m_exchanges;
    const Action *m_current = nullptr;
    int m_replayAnswer = 0;
    bool m_replaying = false;
    Rng *m_rng = nullptr;
    int m_index = 0;
    void respond(const Prompt &p);
    void feedHost(const Prompt &p, const QString &value, bool cancel);
};

// Drops actions (never the first, the start) while fails says the list
// still breaks the rule; fails may cut the list after the action that broke
// it. Stops at the deadline with the shortest list found.
QList<Action> shrinkList(QList<Action> actions, qint64 deadlineMs,
                         const std::function<bool(const QList<Action> &, QList<Action> *cut)> &fails);

// While one lives, the tester itself waits (for a page to load, a save to
// end): the action's own clock stops, and only an event loop that stops
// turning counts as a hang.
class Waiting {
public:
    Waiting();
    ~Waiting();

private:
    qint64 m_since;
    qint64 m_start;
    qint64 m_delayStart;
};

// How long, in ms, the window thread has stood ready to run while the CPUs
// were busy with other work (Linux schedstat; 0 where there is none): a wait
// measured by the clock less this is what the program itself took.
qint64 cpuWaitMs();

// The same for work done outside the window thread: every thread of this
// process and of the processes it started (a web engine's own processes do
// a page save). longestMs() is the longest any one of them has stood ready
// to run since the watch began: discounting it is never more than the work
// itself was held up by the machine.
class CpuWaitWatch {
public:
    CpuWaitWatch();
    qint64 longestMs() const;

private:
    QHash<qint64, qint64> m_start;  // thread -> run_delay, ns
};

// Qt messages since the last call that are warnings or worse.
QStringList takeQtWarnings();
void installMessageCapture();

// Runs the tester: supervisor, worker or replay, as the arguments say.
//   [--seconds S] [--seed N] [--rows DIR] [--found DIR] [--shrink-seconds S]
//   [--max-actions N] [--ignore RULE,RULE] [--shrink-total S]
//   --replay FILE      replays one row; exit 1 when it breaks a rule
// make is called in every process that runs sessions (after QApplication).
int main(int argc, char **argv, const std::function<std::unique_ptr<Program>()> &make,
         const std::function<void()> &beforeApplication = {});

}  // namespace sessions
