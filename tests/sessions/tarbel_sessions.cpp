// Random user sessions of Tarbel under invariants (see engine.h).
//
// Actions: keys and typed text, input-method text, clicks, double clicks and
// drags in the text, middle-click paste where the desktop has a selection,
// every menu item (clicked in its menu) and toolbar button, the font and
// size boxes, "find phrase" and the hand-off file another program writes,
// the clipboard another program fills, resizing and the close box.
//
// Invariants, after every action (the table `kRules` below):
//   files  - no file of the user's changes unless a save, Save As, Write
//            File or print of this action named it; nothing else appears
//            (no temporary file outlives its save)
//   saves  - a save that reports no failure leaves the document in its
//            file: read back, the same text and formatting as the window;
//            a save that reports a failure leaves the file as it was; Write
//            File leaves the selection's text
//   kinds  - a save over the document's own file keeps its kind: a plain
//            text file stays plain text, a file that is not text is never
//            written over
//   work   - when the document is replaced or the program ends, nothing was
//            unsaved (the window held what its file holds), or a save
//            question was asked and answered No, or Yes and the save kept it
//   undo   - Undo (and redo) leave a text the document held before
//   ended  - the program ends only on a command that ends it
//   proposal - a document without a file is not offered another file's
//            name to be saved over
#include "engine.h"

#include "drivemapping.h"
#include "frmeditor.h"
#include "rtfdescribe.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QRegularExpression>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QStringDecoder>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>

#include <cmath>

using namespace sessions;
using platform::RichTextBox;

namespace {

// --- commands: what an action asks of the program ---------------------------------

enum class Cmd {
    Edit, New, Open, Save, SaveAs, Exit, InsertFile, WriteFile, PageSetup, Print, Undo, Redo, Cut, Paste,
    Copy, Clear, SelectAll, Time, Wrap, Bold, Italic, Underline, Colour, Find, Replace, Strike, Bullet, Num,
    Image, Phrase, Close
};

struct CmdInfo {
    bool replaces = false;   // may put another document in the window
    bool ends = false;       // may end the program
    bool savesDoc = false;   // writes the document to its file (asking a name when it has none)
    bool saveAs = false;     // writes the document to a name it asks for
    bool writeFile = false;  // writes the selection to a name it asks for
    bool undo = false;       // takes the document back
};

CmdInfo info(Cmd c)
{
    CmdInfo i;
    switch (c) {
    case Cmd::New: case Cmd::Open: case Cmd::Phrase: i.replaces = true; break;
    case Cmd::Exit: case Cmd::Close: i.ends = true; break;
    case Cmd::Save: i.savesDoc = true; break;
    case Cmd::SaveAs: i.saveAs = true; break;
    case Cmd::WriteFile: i.writeFile = true; break;
    case Cmd::Undo: case Cmd::Redo: i.undo = true; break;
    default: break;
    }
    return i;
}

// --- the window's menus and toolbar ---------------------------------------------------

struct MenuItem {
    const char *name;
    QMenu *frmeditor::*menu;
    QAction *frmeditor::*item;
    Cmd cmd;
    double weight;
};

const MenuItem kMenu[] = {
    {"mnunew", &frmeditor::mnufile, &frmeditor::mnunew, Cmd::New, 1},
    {"mnuopen", &frmeditor::mnufile, &frmeditor::mnuopen, Cmd::Open, 2},
    {"mnusave", &frmeditor::mnufile, &frmeditor::mnusave, Cmd::Save, 3},
    {"mnusaveas", &frmeditor::mnufile, &frmeditor::mnusaveas, Cmd::SaveAs, 2},
    {"mnu_insertfile", &frmeditor::mnufile, &frmeditor::mnu_insertfile, Cmd::InsertFile, 1.5},
    {"mnu_writefile", &frmeditor::mnufile, &frmeditor::mnu_writefile, Cmd::WriteFile, 2},
    {"mnu_pagesetup", &frmeditor::mnufile, &frmeditor::mnu_pagesetup, Cmd::PageSetup, 0.3},
    {"mnu_print", &frmeditor::mnufile, &frmeditor::mnu_print, Cmd::Print, 0.5},
    {"mnuexit", &frmeditor::mnufile, &frmeditor::mnuexit, Cmd::Exit, 1.5},
    {"mnu_undo", &frmeditor::mnuedit, &frmeditor::mnu_undo, Cmd::Undo, 2},
    {"mnucut", &frmeditor::mnuedit, &frmeditor::mnucut, Cmd::Cut, 1.5},
    {"mnupaste", &frmeditor::mnuedit, &frmeditor::mnupaste, Cmd::Paste, 1.5},
    {"mnucopy", &frmeditor::mnuedit, &frmeditor::mnucopy, Cmd::Copy, 1},
    {"mnuclear", &frmeditor::mnuedit, &frmeditor::mnuclear, Cmd::Clear, 1},
    {"mnuselect", &frmeditor::mnuedit, &frmeditor::mnuselect, Cmd::SelectAll, 2},
    {"mnu_time", &frmeditor::mnuedit, &frmeditor::mnu_time, Cmd::Time, 0.5},
    {"mnu_wrap", &frmeditor::mnuedit, &frmeditor::mnu_wrap, Cmd::Wrap, 1},
    {"mnu_find", &frmeditor::mnu_search, &frmeditor::mnu_find, Cmd::Find, 1},
    {"mnureplace", &frmeditor::mnu_search, &frmeditor::mnureplace, Cmd::Replace, 1.5},
};

struct Tool {
    const char *key;
    Cmd cmd;
    double weight;
};

const Tool kTools[] = {
    {"open", Cmd::Open, 1.5}, {"save", Cmd::Save, 2}, {"print", Cmd::Print, 0.3}, {"bold", Cmd::Bold, 1},
    {"italics", Cmd::Italic, 1}, {"under", Cmd::Underline, 1}, {"strike", Cmd::Strike, 1},
    {"clour", Cmd::Colour, 0.7}, {"cut", Cmd::Cut, 1}, {"copy", Cmd::Copy, 1}, {"paste", Cmd::Paste, 1},
    {"bullet", Cmd::Bullet, 1}, {"num", Cmd::Num, 0.7}, {"image", Cmd::Image, 1}, {"end", Cmd::Exit, 1},
};

// Keys, as Qt writes them; the window's shortcuts run their commands.
struct Key {
    const char *keys;
    Cmd cmd;
    double weight;
};

const Key kKeys[] = {
    {"Delete", Cmd::Edit, 3}, {"Backspace", Cmd::Edit, 3}, {"Return", Cmd::Edit, 2}, {"Left", Cmd::Edit, 1},
    {"Right", Cmd::Edit, 1}, {"Up", Cmd::Edit, 0.7}, {"Down", Cmd::Edit, 0.7}, {"Home", Cmd::Edit, 0.7},
    {"End", Cmd::Edit, 0.7}, {"Shift+Left", Cmd::Edit, 1}, {"Shift+Right", Cmd::Edit, 1},
    {"Shift+Up", Cmd::Edit, 0.5}, {"Shift+Down", Cmd::Edit, 0.5}, {"Shift+Home", Cmd::Edit, 0.7},
    {"Shift+End", Cmd::Edit, 0.7}, {"Ctrl+Home", Cmd::Edit, 0.7}, {"Ctrl+End", Cmd::Edit, 0.7},
    {"Ctrl+Shift+End", Cmd::Edit, 0.5}, {"Ctrl+Shift+Home", Cmd::Edit, 0.5}, {"PgUp", Cmd::Edit, 0.3},
    {"PgDown", Cmd::Edit, 0.3}, {"Ins", Cmd::Edit, 0.4}, {"Tab", Cmd::Edit, 0.4}, {"Esc", Cmd::Edit, 0.4},
    {"F6", Cmd::Edit, 1}, {"F7", Cmd::Edit, 1}, {"Ctrl+V", Cmd::Edit, 0.7}, {"Ctrl+Y", Cmd::Redo, 0.5},
    {"Ctrl+Shift+Z", Cmd::Redo, 0.5}, {"Ctrl+Backspace", Cmd::Edit, 0.4}, {"Ctrl+Del", Cmd::Edit, 0.4},
    {"Ctrl+N", Cmd::New, 1}, {"Ctrl+O", Cmd::Open, 2}, {"Ctrl+S", Cmd::Save, 4}, {"Ctrl+A", Cmd::SaveAs, 2},
    {"Ctrl+Q", Cmd::Exit, 1.5}, {"Ctrl+T", Cmd::Print, 0.4}, {"Ctrl+Z", Cmd::Undo, 2}, {"Ctrl+X", Cmd::Cut, 1.5},
    {"Ctrl+P", Cmd::Paste, 1.5}, {"Ctrl+C", Cmd::Copy, 1.5}, {"Ctrl+D", Cmd::Clear, 1}, {"F5", Cmd::Time, 0.5},
    {"F3", Cmd::Replace, 1}, {"Ctrl+B", Cmd::Bold, 1}, {"Ctrl+I", Cmd::Italic, 1}, {"Ctrl+U", Cmd::Underline, 1},
    {"Ctrl+L", Cmd::Colour, 0.5},
};

// The program's questions that decide what a command writes, told apart by
// their text; any other Yes/No question of a command that replaces the
// document or ends the program is the save question.
enum class Question { SaveFirst, PlainText };
struct QuestionText {
    const char *fragment;
    Question question;
};
const QuestionText kQuestions[] = {
    {"opened from a plain-text file", Question::PlainText},
};

// Save of a document read from a plain-text file, when plain text would
// lose something, by the answer to the plain-text question: where the
// document goes, always as RTF.
struct PlainTextAnswer {
    const char *answer;
    bool ownFile;   // written over its own file
    bool saveAs;    // written where Save As's dialog names
};
const PlainTextAnswer kPlainTextAnswers[] = {
    {"Yes", true, false},
    {"No", false, true},
    {"Cancel", false, false},
};

Cmd commandOf(const Action &a)
{
    if (a.verb == u"menu")
        for (const MenuItem &m : kMenu)
            if (a.arg(0) == QLatin1String(m.name))
                return m.cmd;
    if (a.verb == u"tool")
        for (const Tool &t : kTools)
            if (a.arg(0) == QLatin1String(t.key))
                return t.cmd;
    if (a.verb == u"key")
        for (const Key &k : kKeys)
            if (a.arg(0) == QLatin1String(k.keys))
                return k.cmd;
    if (a.verb == u"phrase")
        return Cmd::Phrase;
    if (a.verb == u"close")
        return Cmd::Close;
    return Cmd::Edit;
}

// --- the user's files ----------------------------------------------------------------

QByteArray picture(const char *format, QColor colour)
{
    QImage img(8, 8, QImage::Format_RGB32);
    img.fill(colour);
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, format);
    return bytes;
}

QByteArray reportRtf()
{
    return QByteArrayLiteral(
               "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\froman Times New Roman;}{\\f1\\fswiss Arial;}}"
               "{\\colortbl;\\red200\\green0\\blue0;\\red0\\green0\\blue160;}\n"
               "\\f0\\fs24 The pump {\\b engine} failed at {\\i noon}.\\par\n"
               "{\\cf1 Spare parts} are on order: {\\f1\\fs32 gasket}, {\\ul valve}, {\\strike seal}.\\par\n"
               "{\\pntext\\'b7\\tab}{\\*\\pn\\pnlvlblt{\\pntxtb\\'b7}}\\fi-360\\li720 first point\\par\n"
               "{\\pntext\\'b7\\tab}second point with caf\\'e9\\par\\pard\n"
               "Picture: {\\pict\\pngblip\\picw8\\pich8\\picwgoal240\\pichgoal240 ")
           + picture("PNG", QColor(200, 40, 40)).toHex() + QByteArrayLiteral("}\\par\n{\\cf2 The engine} runs again.\\par}\n");
}

struct PoolFile {
    const char *path;   // {docs}, {home}, {drivec}
    QByteArray bytes;
    bool readOnly = false;
};

QList<PoolFile> poolFiles()
{
    return {
        {"{docs}/report.rtf", reportRtf()},
        {"{docs}/letter.rtf", "{\\rtf1\\ansi Dear engine team,\\par the spare {\\b engine} arrives Monday.\\par}"},
        {"{docs}/notes.txt", "The pump engine failed.\r\nSpare parts: gasket, valve.\r\n"},
        {"{docs}/empty.txt", ""},
        {"{docs}/pic.png", picture("PNG", QColor(30, 160, 30))},
        {"{docs}/pic.bmp", picture("BMP", QColor(30, 30, 200))},
        {"{docs}/readonly.rtf", "{\\rtf1\\ansi Read-only engine notes.\\par}", true},
        {"{docs}/locked/inside.rtf", "{\\rtf1\\ansi Inside a read-only folder: engine.\\par}"},
        {"{docs}/My Files/space name.rtf", "{\\rtf1\\ansi A name with blanks: {\\i engine} room.\\par}"},
        {"{docs}/\u00dcn\u00efc\u00f6d\u00e9/na\u00efve.rtf", "{\\rtf1\\ansi Na\\'efve engine r\\'e9sum\\'e9.\\par}"},
        {"{home}/work/draft.rtf", "{\\rtf1\\ansi A draft about the {\\b spare} engine.\\par Second line.\\par}"},
    };
}

// File names a user gives the file dialogs, by what they name.
const QStringList kExisting{
    "C:\\docs\\report.rtf", "C:\\DOCS\\REPORT.RTF", "c:\\Docs\\Letter.rtf", "{docs}/letter.rtf",
    "C:\\docs\\My Files\\space name.rtf", "C:\\docs\\\u00dcn\u00efc\u00f6d\u00e9\\na\u00efve.rtf",
    "{home}/work/draft.rtf", "{docs}/empty.txt"};
const QStringList kNew{"C:\\docs\\new.rtf", "C:\\DOCS\\NEW UPPER.RTF", "C:\\docs\\My Files\\neu datei.rtf",
                       "C:\\docs\\\u00dcn\u00efc\u00f6d\u00e9\\\u00e9t\u00e9.rtf", "{home}/work/new 2.rtf",
                       "{docs}/fresh.rtf"};
const QStringList kFolders{"C:\\docs", "C:\\docs\\", "{docs}", "{docs}/", "{home}/work/"};
const QStringList kReadOnly{"C:\\docs\\readonly.rtf", "C:\\docs\\locked\\inside.rtf", "C:\\docs\\locked\\new.rtf"};
const QStringList kOther{"C:\\docs\\notes.txt", "{docs}/notes.txt", "C:\\docs\\pic.png", "C:\\docs\\pic.bmp"};
const QStringList kMissing{"C:\\docs\\missing.rtf", "C:\\nowhere\\x.rtf"};

const QStringList kTyped{
    "hello", "engine", " spare parts", "d\u00e9j\u00e0 vu", "na\u00efve caf\u00e9", "\u00c6\u00d8\u00c5 \u00e6\u00f8\u00e5",
    "\u05e9\u05dc\u05d5\u05dd \u05e2\u05d5\u05dc\u05dd", "\u0645\u0631\u062d\u0628\u0627", "\U0001F600", "a\U0001F44Db",
    "\n", "line one\nline two", "x", "  ", "Tab\there", "\u201equotes\u201c", "\u65e5\u672c\u8a9e", "pump engine, spare"};
const QStringList kInputs{"engine", "spare", "", "a", "e", "d\u00e9j\u00e0", "\U0001F600", "pump engine", ",", "Engine"};
const QStringList kPhrases{"engine", "Engine", "spare", "pump engine", "zzz", "\"engine, spare\""};
const QStringList kHandOffDocs{"C:\\docs\\report.rtf", "C:\\DOCS\\Report.RTF", "c:\\docs\\letter.rtf", "{docs}/notes.txt",
                               "C:\\docs\\missing.rtf", "C:\\docs\\My Files\\space name.rtf", "C:\\docs\\pic.png",
                               "{home}/work/draft.rtf"};
const QStringList kColours{"#c80000", "#00a000", "#0000c8", "#000000", "#ffff00", "#808080"};

// --- reading files back ------------------------------------------------------------

enum class FileKind { Missing, Empty, Rtf, Text, Binary };

FileKind kindOf(const Snapshot::Entry *e)
{
    if (!e || e->dir)
        return FileKind::Missing;
    if (e->bytes.isEmpty())
        return FileKind::Empty;
    if (e->bytes.startsWith("{\\rtf"))
        return FileKind::Rtf;
    if (e->bytes.contains('\0'))
        return FileKind::Binary;
    QStringDecoder utf8(QStringDecoder::Utf8);
    (void)utf8.decode(e->bytes);
    int controls = 0;
    for (char c : e->bytes)
        if (uchar(c) < 32 && c != '\r' && c != '\n' && c != '\t' && c != '\f')
            ++controls;
    return controls * 20 > e->bytes.size() ? FileKind::Binary : FileKind::Text;
}

// A description of the document as it shows: a paragraph's indent steps
// (which the control shows as a left margin) are counted in its margin.
QString describeShown(const QTextDocument *doc)
{
    // (Qt's clone of an empty document whose paragraph is a list item
    // crashes; a list item's indent is its list's anyway. An empty paragraph
    // out of a list, as Backspace leaves one, keeps its indent.)
    if (doc->isEmpty() && doc->begin().textList())
        return rtftest::describe(doc);
    std::unique_ptr<QTextDocument> copy(doc->clone());
    QTextCursor c(copy.get());
    for (QTextBlock b = copy->begin(); b.isValid(); b = b.next()) {
        QTextBlockFormat f = b.blockFormat();
        if (f.indent() == 0 || b.textList())
            continue;
        f.setLeftMargin(f.leftMargin() + f.indent() * copy->indentWidth());
        f.setIndent(0);
        c.setPosition(b.position());
        c.setBlockFormat(f);
    }
    return rtftest::describe(copy.get());
}

// Sizes as a document file holds them: in half points.
QString halfPoints(const QString &desc)
{
    static const QRegularExpression size(QStringLiteral("(<[^<>]*?) (\\d+(?:\\.\\d+)?)((?: [^<>]*)?>)"));
    QString out;
    qsizetype last = 0;
    for (auto it = size.globalMatch(desc); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(desc).mid(last, m.capturedStart() - last);
        out += m.captured(1) + u' ' + QString::number(std::round(m.captured(2).toDouble() * 2) / 2) + m.captured(3);
        last = m.capturedEnd();
    }
    return out + QStringView(desc).mid(last).toString();
}

// What a document file can hold of a text: control characters (from a
// binary file's text) and an object mark standing for no picture (from
// pasted plain text) are not characters of a document.
QString storable(QString s)
{
    s.removeIf([](QChar c) {
        return (c.unicode() < 32 && c != u'\t' && c != u'\r' && c != u'\n' && c != u'\v') || c == QChar::ObjectReplacementCharacter;
    });
    return s;
}

// The same for a description: and a run left with no character goes.
QString storableDesc(const QString &desc)
{
    static const QRegularExpression emptyRun(QStringLiteral("<[^<>]*>(?=<|$)"), QRegularExpression::MultilineOption);
    static const QRegularExpression tag(QStringLiteral("<[^<>]*>"));
    // Runs that read alike once stored are one run.
    QStringList lines = storable(desc).remove(emptyRun).split(u'\n');
    for (QString &line : lines) {
        QString out, last;
        qsizetype at = 0;
        for (auto it = tag.globalMatch(line); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            out += QStringView(line).mid(at, m.capturedStart() - at);
            if (m.captured() != last)
                out += m.captured();
            last = m.captured();
            at = m.capturedEnd();
        }
        line = out + QStringView(line).mid(at).toString();
    }
    return lines.join(u'\n');
}

struct Reading {
    bool rtf = false;
    QString text;
    QString desc;
};

QString lineEnds(QString s)
{
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(u'\r', u'\n');
    while (s.endsWith(u'\n'))
        s.chop(1);
    return s;
}

// What the window shows, as the checks compare it.
struct DocState {
    bool open = false;
    QString caption;
    QString text;
    QString desc;
    QString selection;
};

QString shortText(const QString &s)
{
    QString t = s.left(60);
    t.replace(u'\r', QStringLiteral("\\r")).replace(u'\n', QStringLiteral("\\n"));
    return u'"' + t + (s.size() > 60 ? QStringLiteral("...\"") : QStringLiteral("\""));
}

// Where a file read back and the window part.
QString difference(const Reading &read, const DocState &s)
{
    Reading r = read;
    r.text = storable(r.text);
    const QString text = storable(s.text);
    if (r.text != text) {
        qsizetype i = 0;
        while (i < r.text.size() && i < text.size() && r.text.at(i) == text.at(i))
            ++i;
        const qsizetype from = std::max<qsizetype>(0, i - 10);
        return QStringLiteral("text from character %1 reads %2 instead of %3")
            .arg(i).arg(shortText(r.text.mid(from, 30)), shortText(text.mid(from, 30)));
    }
    const QStringList a = r.desc.split(u'\n'), b = s.desc.split(u'\n');
    for (int i = 0; i < std::max(a.size(), b.size()); ++i)
        if (a.value(i) != b.value(i))
            return QStringLiteral("paragraph %1 reads %2 instead of %3").arg(i + 1).arg(shortText(a.value(i)), shortText(b.value(i)));
    return QStringLiteral("nothing");
}

// --- the tester -----------------------------------------------------------------------

class TarbelProgram : public Program {
public:
    QString name() const override { return QStringLiteral("tarbel"); }

    void populate(Sandbox &box) override
    {
        m_box = &box;
        for (const PoolFile &f : poolFiles())
            box.write(expand(QString::fromUtf8(f.path)), f.bytes);
        box.makeReadOnly(expand(QStringLiteral("{docs}/readonly.rtf")));
        box.makeReadOnly(expand(QStringLiteral("{docs}/locked")));
        QGuiApplication::clipboard()->setText(QStringLiteral("clipboard engine"));
        if (QGuiApplication::clipboard()->supportsSelection())
            QGuiApplication::clipboard()->setText(QStringLiteral("selected engine"), QClipboard::Selection);
        m_pdfs = 0;
    }

    QString expand(const QString &s) const override
    {
        QString out = s;
        out.replace(QLatin1String("{docs}"), m_box->driveC() + QStringLiteral("/docs"));
        out.replace(QLatin1String("{home}"), m_box->home());
        out.replace(QLatin1String("{drivec}"), m_box->driveC());
        out.replace(QLatin1String("{print}"), m_box->print());
        out.replace(QLatin1String("{sandbox}"), m_box->root());
        return out;
    }

    QString portable(const QString &path) const
    {
        QString out = path;
        out.replace(m_box->driveC() + QStringLiteral("/docs"), QStringLiteral("{docs}"));
        out.replace(m_box->home(), QStringLiteral("{home}"));
        out.replace(m_box->root(), QStringLiteral("{sandbox}"));
        return out;
    }

    // --- actions ----------------------------------------------------------------------

    Action startAction(Rng &rng) override
    {
        const int how = rng.weighted({5, 4, 1.5});
        if (how == 1)
            return {QStringLiteral("start"), {QStringLiteral("handoff"), rng.pick(kHandOffDocs), rng.pick(kPhrases)}, {}};
        if (how == 2)
            return {QStringLiteral("start"), {QStringLiteral("file"), QStringLiteral("{docs}/report.rtf")}, {}};
        return {QStringLiteral("start"), {}, {}};
    }

    Action nextAction(Rng &rng) override
    {
        auto frac = [&] { return QString::number(rng.between(2, 98) / 100.0); };
        const bool selection = QGuiApplication::clipboard()->supportsSelection();
        const QList<double> weights{14, 2, 22, 5, 2, 3, selection ? 2.0 : 0.0, 14, 10, 1.5, 1.5, 0.5, 2, 1, 2, 0.5, 1, 0.2};
        switch (rng.weighted(weights)) {
        case 0: return {QStringLiteral("type"), {rng.pick(kTyped)}, {}};
        case 1: return {QStringLiteral("compose"), {rng.pick(kTyped)}, {}};
        case 2: {
            QList<double> w;
            for (const Key &k : kKeys)
                w << k.weight;
            return {QStringLiteral("key"), {QLatin1String(kKeys[rng.weighted(w)].keys)}, {}};
        }
        case 3: return {QStringLiteral("click"), {frac(), frac()}, {}};
        case 4: return {QStringLiteral("dclick"), {frac(), frac()}, {}};
        case 5: return {QStringLiteral("drag"), {frac(), frac(), frac(), frac()}, {}};
        case 6: return {QStringLiteral("middle"), {frac(), frac()}, {}};
        case 7: {
            QList<double> w;
            for (const MenuItem &m : kMenu)
                w << m.weight;
            return {QStringLiteral("menu"), {QLatin1String(kMenu[rng.weighted(w)].name)}, {}};
        }
        case 8: {
            QList<double> w;
            for (const Tool &t : kTools)
                w << t.weight;
            return {QStringLiteral("tool"), {QLatin1String(kTools[rng.weighted(w)].key)}, {}};
        }
        case 9: return {QStringLiteral("font"), {QString::number(rng.below(m_w ? std::max(1, m_w->cbofont->count()) : 1))}, {}};
        case 10: return {QStringLiteral("size"), {QString::number(rng.below(7))}, {}};
        case 11: return {QStringLiteral("boxkey"), {rng.chance(0.5) ? QStringLiteral("font") : QStringLiteral("size"),
                                                   rng.pick(QStringList{"a", "Backspace", "Return", "Delete", "1"})}, {}};
        case 12: return {QStringLiteral("phrase"), {}, {}};
        case 13: return {QStringLiteral("handoff"), {rng.pick(kHandOffDocs), rng.pick(kPhrases)}, {}};
        case 14: return {QStringLiteral("clip"), {rng.chance(0.4) ? QString() : rng.pick(kTyped)}, {}};
        case 15: return {QStringLiteral("resize"), {QString::number(rng.between(300, 1100)), QString::number(rng.between(200, 800))}, {}};
        case 16: return {QStringLiteral("close"), {}, {}};
        default: return {QStringLiteral("pause"), {QString::number(rng.between(100, 2500))}, {}};
        }
    }

    QString answer(const Prompt &p, Rng &rng) override
    {
        switch (p.kind) {
        case Kind::Message: return QStringLiteral("message ") + rng.pick(messageAnswers(p.buttons));
        case Kind::Input: {
            if (rng.chance(0.4) && m_w && m_w->activeEditor()) {
                const QStringList words = m_w->activeEditor()->Text().split(QRegularExpression(QStringLiteral("\\W+")), Qt::SkipEmptyParts);
                if (!words.isEmpty())
                    return QStringLiteral("input ") + rng.pick(words);
            }
            return QStringLiteral("input ") + rng.pick(kInputs);
        }
        case Kind::OpenFile:
        case Kind::SaveFile: {
            const bool save = p.kind == Kind::SaveFile;
            const QString word = save ? QStringLiteral("save ") : QStringLiteral("open ");
            const bool pictures = p.file.qtFilter.contains(QLatin1String("bmp"), Qt::CaseInsensitive);
            QList<double> w{save ? 4.0 : 5.0, save ? 5.0 : 0.5, 1, save ? 1.5 : 0.5, pictures ? 4.0 : 1.5, save ? 0.0 : 1, 2, 1.5};
            switch (rng.weighted(w)) {
            case 0: return word + rng.pick(kExisting);
            case 1: return word + rng.pick(kNew);
            case 2: return word + rng.pick(kFolders);
            case 3: return word + rng.pick(kReadOnly);
            case 4: return word + rng.pick(kOther);
            case 5: return word + rng.pick(kMissing);
            case 6: return p.file.fileName.isEmpty() ? word + QStringLiteral("cancel") : word + portable(p.file.fileName);
            default: return word + QStringLiteral("cancel");
            }
        }
        case Kind::Color: return QStringLiteral("color ") + (rng.chance(0.3) ? QStringLiteral("cancel") : rng.pick(kColours));
        case Kind::Printer:
            return rng.chance(0.5) ? QStringLiteral("printer cancel")
                                   : QStringLiteral("printer pdf {print}/out-%1.pdf").arg(++m_pdfs);
        case Kind::PageSetup: return rng.chance(0.5) ? QStringLiteral("pagesetup ok") : QStringLiteral("pagesetup cancel");
        }
        return {};
    }

    void start(const Action &a) override
    {
        if (a.arg(0) == u"handoff")
            writeHandOff(a.arg(1), a.arg(2));
        m_w = std::make_unique<frmeditor>();
        if (a.arg(0) == u"file")
            m_w->openAtStartup(expand(a.arg(1)));
        m_w->resize(800, 600);
        m_w->show();
        m_w->activateWindow();
        (void)QTest::qWaitForWindowActive(m_w.get(), 2000);
        // The start-up look-up runs on the first tick once the window shows.
        for (int i = 0; i < 20 && m_w->Timer1->isActive(); ++i)
            QTest::qWait(5);
        settle();
        if (RichTextBox *e = m_w->activeEditor())
            e->setFocus();
        m_snapshot = Snapshot::take(m_box->watched());
        m_seen.clear();
        follow();
    }

    void writeHandOff(const QString &doc, const QString &phrase)
    {
        m_box->write(m_box->driveC() + QStringLiteral("/Autodesk/Slls.txt"),
                     (expand(doc) + QStringLiteral("\r\n") + phrase + QStringLiteral("\r\n")).toUtf8());
    }

    // Keys go where the focus is; a user who finds it on a button clicks
    // into the text first.
    QWidget *keyTarget() const
    {
        QWidget *f = QApplication::focusWidget();
        if (qobject_cast<QAbstractButton *>(f))
            if (RichTextBox *e = m_w->activeEditor()) {
                e->setFocus();
                f = e;
            }
        return f && f->window() == m_w.get() ? f : m_w.get();
    }

    QPoint at(QWidget *w, const QString &x, const QString &y) const
    {
        return QPoint(int(x.toDouble() * w->width()), int(y.toDouble() * w->height()));
    }

    void typeText(QWidget *target, const QString &text)
    {
        for (qsizetype i = 0; i < text.size();) {
            const char32_t cp = text.at(i).isHighSurrogate() && i + 1 < text.size()
                                    ? QChar::surrogateToUcs4(text.at(i), text.at(i + 1)) : text.at(i).unicode();
            const QString ch = text.mid(i, cp > 0xFFFF ? 2 : 1);
            i += ch.size();
            QWidget *t = keyTarget() ? keyTarget() : target;
            if (ch == u"\n") {
                QTest::keyClick(t, Qt::Key_Return);
            } else if (ch == u"\t") {
                QTest::keyClick(t, Qt::Key_Tab);
            } else {
                const bool upper = ch.size() == 1 && ch.at(0).isUpper();
                const int key = cp > 0xFFFF ? int(Qt::Key_unknown) : int(QChar(char16_t(cp)).toUpper().unicode());
                QTest::sendKeyEvent(QTest::Click, t, Qt::Key(key), ch, upper ? Qt::ShiftModifier : Qt::NoModifier);
            }
        }
    }

    void clickMenu(const MenuItem &m)
    {
        QMenuBar *bar = m_w->menuBar();
        QMenu *menu = m_w.get()->*m.menu;
        QAction *item = m_w.get()->*m.item;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
        for (int i = 0; i < 50 && !menu->isVisible(); ++i)
            QTest::qWait(5);
        if (!menu->isVisible())
            return;
        if (!item->isEnabled() || !item->isVisible()) {
            QTest::keyClick(menu, Qt::Key_Escape);
            return;
        }
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    }

    void pickFromBox(QComboBox *box, int index)
    {
        if (index < 0 || index >= box->count())
            return;
        QStyleOptionComboBox opt;
        opt.initFrom(box);
        opt.editable = box->isEditable();
        opt.subControls = QStyle::SC_All;
        const QRect arrow = box->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxArrow, box);
        QTest::mouseClick(box, Qt::LeftButton, {}, arrow.center());
        QAbstractItemView *view = box->view();
        for (int i = 0; i < 50 && !view->isVisible(); ++i)
            QTest::qWait(5);
        if (!view->isVisible())
            return;
        const QModelIndex mi = box->model()->index(index, box->modelColumn());
        view->scrollTo(mi);
        QTest::qWait(1);
        const QPoint p = view->visualRect(mi).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, p);
        if (view->isVisible())
            box->hidePopup();
    }

    void perform(const Action &a) override
    {
        frmeditor *w = m_w.get();
        RichTextBox *box = w->activeEditor();
        QWidget *area = box ? box->viewport() : static_cast<QWidget *>(w);
        const QString &v = a.verb;
        if (v == u"type") {
            typeText(keyTarget(), a.arg(0));
        } else if (v == u"compose") {
            QInputMethodEvent ev;
            ev.setCommitString(a.arg(0));
            QApplication::sendEvent(keyTarget(), &ev);
        } else if (v == u"key") {
            const QKeyCombination k = QKeySequence::fromString(a.arg(0))[0];
            QTest::keyClick(keyTarget(), k.key(), k.keyboardModifiers());
        } else if (v == u"click") {
            QTest::mouseClick(area, Qt::LeftButton, {}, at(area, a.arg(0), a.arg(1)));
        } else if (v == u"dclick") {
            QTest::mouseDClick(area, Qt::LeftButton, {}, at(area, a.arg(0), a.arg(1)));
        } else if (v == u"drag") {
            QTest::mousePress(area, Qt::LeftButton, {}, at(area, a.arg(0), a.arg(1)));
            QTest::mouseMove(area, at(area, a.arg(2), a.arg(3)));
            QTest::mouseRelease(area, Qt::LeftButton, {}, at(area, a.arg(2), a.arg(3)));
        } else if (v == u"middle") {
            QTest::mouseClick(area, Qt::MiddleButton, {}, at(area, a.arg(0), a.arg(1)));
        } else if (v == u"menu") {
            for (const MenuItem &m : kMenu)
                if (a.arg(0) == QLatin1String(m.name))
                    clickMenu(m);
        } else if (v == u"tool") {
            if (platform::ToolbarButton *b = w->Toolbar1->button(a.arg(0)); b && b->widget)
                QTest::mouseClick(b->widget, Qt::LeftButton);
        } else if (v == u"font" || v == u"size") {
            pickFromBox(v == u"font" ? w->cbofont : w->cbosize, a.arg(0).toInt());
        } else if (v == u"boxkey") {
            QComboBox *cb = a.arg(0) == u"font" ? w->cbofont : w->cbosize;
            QWidget *target = cb->lineEdit() ? static_cast<QWidget *>(cb->lineEdit()) : cb;
            QTest::mouseClick(target, Qt::LeftButton);
            const QKeyCombination k = QKeySequence::fromString(a.arg(1))[0];
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : target, k.key(), k.keyboardModifiers());
        } else if (v == u"phrase") {
            QTest::mouseClick(w->Command1, Qt::LeftButton);
        } else if (v == u"handoff") {
            writeHandOff(a.arg(0), a.arg(1));
        } else if (v == u"clip") {
            QGuiApplication::clipboard()->setText(a.arg(0));
            if (QGuiApplication::clipboard()->supportsSelection())
                QGuiApplication::clipboard()->setText(a.arg(0), QClipboard::Selection);
        } else if (v == u"resize") {
            w->resize(a.arg(0).toInt(), a.arg(1).toInt());
        } else if (v == u"close") {
            w->close();
        } else if (v == u"pause") {
            QTest::qWait(a.arg(0).toInt());
        }
        settle();
    }

    void settle()
    {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        // A popup left open (a menu whose item did nothing) is closed, as a
        // user would.
        while (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
        if (m_w && m_w->isVisible() && !m_w->isActiveWindow()) {
            m_w->activateWindow();
            QCoreApplication::processEvents();
        }
    }

    // --- the document as the user sees it ---------------------------------------------

    DocState capture() const
    {
        DocState s;
        s.open = m_w && m_w->isVisible();
        if (!m_w)
            return s;
        s.caption = m_w->windowTitle();
        if (RichTextBox *e = m_w->activeEditor()) {
            s.text = e->Text();
            s.desc = storableDesc(halfPoints(describeShown(e->document())));
            s.selection = e->SelText();
        }
        return s;
    }

    // Follows the texts the document passes through, for the undo rule.
    void follow()
    {
        RichTextBox *e = m_w ? m_w->activeEditor() : nullptr;
        QTextDocument *doc = e ? e->document() : nullptr;
        // (Word Wrap moves the document to the other box: the same document
        // in another editor is followed afresh.)
        if (doc == m_followed && e == m_followedBox)
            return;
        QObject::disconnect(m_followConnection);
        m_followed = doc;
        m_followedBox = e;
        if (doc)
            m_followConnection = QObject::connect(doc, &QTextDocument::contentsChanged, doc, [this, e, doc] {
                if (m_w && m_w->activeEditor() == e && e->document() == doc)
                    m_passing.insert(e->Text());
            });
    }

    // The file as Open would show it in the window now: read by a box with
    // the window's default font, against which formats resolve.
    Reading read(const QByteArray &bytes)
    {
        if (!m_reader)
            m_reader = std::make_unique<RichTextBox>();
        RichTextBox *e = m_w ? m_w->activeEditor() : nullptr;
        const QFont font = e ? e->document()->defaultFont() : QFont();
        const QByteArray key = QCryptographicHash::hash(bytes + font.toString().toUtf8(), QCryptographicHash::Sha1);
        if (const auto it = m_readings.constFind(key); it != m_readings.constEnd())
            return *it;
        m_reader->document()->setDefaultFont(font);
        m_reader->setTextRTF(bytes);
        Reading r{bytes.startsWith("{\\rtf"), m_reader->Text(), storableDesc(halfPoints(describeShown(m_reader->document())))};
        m_readings.insert(key, r);
        return r;
    }

    bool holds(const Snapshot::Entry *e, const DocState &s)
    {
        if (!e || e->dir)
            return false;
        const Reading r = read(e->bytes);
        if (r.rtf)
            return storable(r.text) == storable(s.text) && r.desc == s.desc;
        return lineEnds(storable(r.text)) == lineEnds(storable(s.text));
    }

    QString captionPath(const QString &caption) const
    {
        if (caption == frmeditor::untitledCaption() || !caption.startsWith(QLatin1String("Editor [")) || !caption.endsWith(u']'))
            return {};
        return caption.mid(8, caption.size() - 9);
    }

    // Nothing of the document would be lost: it is what its file holds, or
    // an empty document without a file.
    bool safe(const DocState &s, const Snapshot &snap)
    {
        if (!s.open)
            return true;
        const QString path = captionPath(s.caption);
        if (path.isEmpty())
            return s.text.isEmpty();
        const Snapshot::Entry *e = snap.find(platform::mapDrivePath(path));
        if (!e || e->dir)
            return s.text.isEmpty();
        return holds(e, s);
    }

    void before(const Action &) override
    {
        m_before = capture();
        m_snapBefore = m_snapshot;
        m_passing.clear();
        follow();
    }

    QList<Violation> check(const Action &a, const QList<Exchange> &ex) override
    {
        QList<Violation> out;
        if (a.verb == u"start") {
            m_snapshot = Snapshot::take(m_box->watched());
            const DocState s = capture();
            m_seen.insert(s.text);
            const QString file = captionPath(s.caption);
            m_docKind = file.isEmpty() ? FileKind::Missing : kindOf(m_snapshot.find(platform::mapDrivePath(file)));
            return out;
        }
        const DocState after = capture();
        const Snapshot snap = Snapshot::take(m_box->watched());
        m_snapshot = snap;
        const Cmd cmd = commandOf(a);
        const CmdInfo ci = info(cmd);
        const QString what = formatAction(a);

        // What the dialogs of this action said.
        bool yes = false, no = false, cancel = false, failure = false;
        const PlainTextAnswer *plain = nullptr;   // the plain-text question's answer
        QStringList saveAnswers, pdfs;
        QList<Prompt> saveDialogs;
        for (const Exchange &e : ex) {
            const QString value = e.answer.section(u' ', 1);
            if (e.prompt.kind == Kind::Message) {
                const int set = e.prompt.buttons & 7;
                Question q = Question::SaveFirst;
                for (const QuestionText &t : kQuestions)
                    if (e.prompt.text.contains(QLatin1String(t.fragment)))
                        q = t.question;
                if (q == Question::PlainText) {
                    for (const PlainTextAnswer &p : kPlainTextAnswers)
                        if (value == QLatin1String(p.answer))
                            plain = &p;
                } else if ((ci.replaces || ci.ends) && (set == vb::vbYesNoCancel || set == vb::vbYesNo)) {
                    yes |= value == u"Yes";
                    no |= value == u"No";
                    cancel |= value == u"Cancel";
                }
                // A box that says a save or a write failed ("Error Saving
                // File"); not the look-up's or the search's notes.
                static const QRegularExpression saveFailed(QStringLiteral("sav|writ|error"), QRegularExpression::CaseInsensitiveOption);
                if (set == vb::vbOKOnly && e.prompt.text.contains(saveFailed)
                    && !e.prompt.text.contains(QLatin1String("not found"), Qt::CaseInsensitive))
                    failure = true;
            } else if (e.prompt.kind == Kind::SaveFile) {
                saveDialogs << e.prompt;
                if (value != u"cancel")
                    saveAnswers << platform::mapDrivePath(expand(value));
            } else if (e.prompt.kind == Kind::Printer && value.startsWith(QLatin1String("pdf "))) {
                pdfs << expand(value.section(u' ', 1));
            }
        }

        // The saves this action made, and where.
        const QString ownFile = captionPath(m_before.caption).isEmpty() ? QString()
                                                                        : platform::mapDrivePath(captionPath(m_before.caption));
        QStringList docTargets;   // the document written whole
        if ((ci.savesDoc || yes) && (!plain || plain->ownFile))
            docTargets << (ownFile.isEmpty() ? saveAnswers.mid(0, 1) : QStringList{ownFile});
        if (ci.saveAs || (plain && plain->saveAs))
            docTargets << saveAnswers.mid(0, 1);
        // The user chose RTF: Save As, or the plain-text question's Yes or No.
        const bool rtfChosen = ci.saveAs || plain;
        const QStringList writeTargets = ci.writeFile ? saveAnswers.mid(0, 1) : QStringList();
        QStringList allowed = docTargets + writeTargets + pdfs;
        if (a.verb == u"handoff")
            allowed << m_box->driveC() + QStringLiteral("/Autodesk") << m_box->driveC() + QStringLiteral("/Autodesk/Slls.txt");

        // files
        for (const FileChange &c : diff(m_snapBefore, snap)) {
            bool ok = false;
            for (const QString &t : allowed)
                ok |= samePath(c.path, t);
            if (!ok)
                out << Violation{QStringLiteral("files"), describeChange(c) + QStringLiteral(" on ") + what};
        }

        // kinds, then saves
        for (const QString &t : docTargets) {
            const Snapshot::Entry *was = m_snapBefore.find(t);
            const Snapshot::Entry *now = snap.find(t);
            const bool changedFile = (was ? was->bytes : QByteArray()) != (now ? now->bytes : QByteArray())
                                     || bool(was) != bool(now);
            if (samePath(t, ownFile) && changedFile) {
                if (m_docKind == FileKind::Binary)
                    out.prepend(Violation{QStringLiteral("kinds"), QStringLiteral("%1 wrote a document over %2, a file that is not text").arg(what, t)});
                else if (m_docKind == FileKind::Text && kindOf(now) == FileKind::Rtf && !rtfChosen)
                    out.prepend(Violation{QStringLiteral("kinds"), QStringLiteral("%1 saved %2, opened as plain text, as RTF").arg(what, t)});
            }
            if (failure) {
                if (changedFile)
                    out << Violation{QStringLiteral("saves"), QStringLiteral("%1 reported a failure but changed %2").arg(what, t)};
            } else if (!now || now->dir) {
                out << Violation{QStringLiteral("saves"), QStringLiteral("%1 reported no failure but %2 holds no file").arg(what, t)};
            } else if (!holds(now, m_before) && !holds(now, after)) {
                out << Violation{QStringLiteral("saves"), QStringLiteral("%1: %2 read back differs from the window: %3")
                                                               .arg(what, t, difference(read(now->bytes), m_before))};
            }
        }
        for (const QString &t : writeTargets) {
            const Snapshot::Entry *now = snap.find(t);
            if (failure || !now || now->dir) {
                if (!failure)
                    out << Violation{QStringLiteral("saves"), QStringLiteral("%1 reported no failure but %2 holds no file").arg(what, t)};
                continue;
            }
            const QString want = lineEnds(m_before.selection);
            const QString utf8 = lineEnds(QString::fromUtf8(now->bytes));
            QStringDecoder cp1252("windows-1252");
            const QString ansi = lineEnds(cp1252.decode(now->bytes));
            if (utf8 != want && ansi != want)
                out << Violation{QStringLiteral("saves"), QStringLiteral("%1: %2 holds %3, not the selection %4")
                                                               .arg(what, t, shortText(utf8), shortText(m_before.selection))};
        }

        // ended
        if (!after.open && !ci.ends)
            out << Violation{QStringLiteral("ended"), QStringLiteral("the program ended on %1").arg(what)};

        // work
        // (A caption that changed only to the name the save question's save
        // gave the document is no other document.)
        bool renamedBySave = false;
        if (const QString named = captionPath(after.caption); !named.isEmpty())
            for (const QString &t : docTargets)
                renamedBySave |= samePath(platform::mapDrivePath(named), t);
        const bool replaced = !after.open
                              || (ci.replaces && ((after.caption != m_before.caption && !renamedBySave)
                                                  || after.text != m_before.text || after.desc != m_before.desc));
        if (replaced && !safe(m_before, m_snapBefore)) {
            bool kept = no;
            for (const QString &t : docTargets)
                kept |= holds(snap.find(t), m_before);
            if (!kept) {
                const QString how = !after.open ? QStringLiteral("ended the program") : QStringLiteral("replaced the document");
                const QString asked = yes ? QStringLiteral("the save question was answered Yes but the document was not saved")
                                    : cancel ? QStringLiteral("the save question was answered Cancel")
                                             : QStringLiteral("no save question was asked");
                out << Violation{QStringLiteral("work"), QStringLiteral("%1 %2 holding unsaved work %3 (%4)")
                                                              .arg(what, how, shortText(m_before.text), asked)};
            }
        }

        // undo
        if (ci.undo && after.text != m_before.text && !m_seen.contains(after.text))
            out << Violation{QStringLiteral("undo"), QStringLiteral("%1 turned %2 into %3, which the document never held")
                                                          .arg(what, shortText(m_before.text), shortText(after.text))};

        // proposal
        if ((ci.savesDoc || ci.saveAs || yes) && captionPath(m_before.caption).isEmpty()) {
            for (const Prompt &p : saveDialogs) {
                const QString proposed = p.file.fileName;
                if (!proposed.isEmpty() && m_snapBefore.hasFile(platform::mapDrivePath(proposed)))
                    out << Violation{QStringLiteral("proposal"), QStringLiteral("%1: the save dialog of a document without a file proposed %2")
                                                                      .arg(what, portable(proposed))};
            }
        }

        // The kind of file the document came from, or went to last.
        const QString nowFile = captionPath(after.caption);
        if (replaced || (!failure && !docTargets.isEmpty()))
            m_docKind = nowFile.isEmpty() ? FileKind::Missing : kindOf(snap.find(platform::mapDrivePath(nowFile)));

        // The texts seen from now on.
        if (replaced)
            m_seen.clear();
        m_seen.unite(m_passing);
        m_seen.insert(after.text);
        follow();
        return out;
    }

    bool ended() const override { return !m_w || !m_w->isVisible(); }

    void finish() override
    {
        QObject::disconnect(m_followConnection);
        m_followed = nullptr;
        m_followedBox = nullptr;
        if (m_w) {
            m_w->hide();
            m_w.reset();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        m_readings.clear();
    }

private:
    Sandbox *m_box = nullptr;
    std::unique_ptr<frmeditor> m_w;
    std::unique_ptr<RichTextBox> m_reader;
    QHash<QByteArray, Reading> m_readings;
    Snapshot m_snapshot, m_snapBefore;
    DocState m_before;
    QSet<QString> m_seen, m_passing;
    QTextDocument *m_followed = nullptr;
    RichTextBox *m_followedBox = nullptr;
    QMetaObject::Connection m_followConnection;
    int m_pdfs = 0;
    FileKind m_docKind = FileKind::Missing;
};

}  // namespace

int main(int argc, char **argv)
{
    return sessions::main(argc, argv, [] {
        // Drags select text; none starts a drag and drop, which would wait
        // for a mouse that no test moves.
        QApplication::setStartDragDistance(1 << 20);
        return std::make_unique<TarbelProgram>();
    });
}
