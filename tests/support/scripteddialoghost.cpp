#include "scripteddialoghost.h"

#include <QPrinter>
#include <QTest>

namespace {
const char *kindName(ScriptedDialogHost::Kind k)
{
    switch (k) {
    case ScriptedDialogHost::Kind::Message: return "message box";
    case ScriptedDialogHost::Kind::Input: return "input box";
    case ScriptedDialogHost::Kind::OpenFile: return "open dialog";
    case ScriptedDialogHost::Kind::SaveFile: return "save dialog";
    case ScriptedDialogHost::Kind::Color: return "colour dialog";
    case ScriptedDialogHost::Kind::Printer: return "printer dialog";
    case ScriptedDialogHost::Kind::PageSetup: return "page set-up dialog";
    }
    return "?";
}
}  // namespace

ScriptedDialogHost::ScriptedDialogHost() { m_previous = platform::DialogHost::install(this); }

ScriptedDialogHost::~ScriptedDialogHost() { platform::DialogHost::install(m_previous); }

void ScriptedDialogHost::clear()
{
    m_answers.clear();
    m_prompts.clear();
}

QStringList ScriptedDialogHost::messages() const
{
    QStringList out;
    for (const Prompt &p : m_prompts)
        if (p.kind == Kind::Message)
            out << p.text;
    return out;
}

ScriptedDialogHost &ScriptedDialogHost::answerMessage(int answer)
{
    m_answers.append({Kind::Message, answer, {}, {}, {}});
    return *this;
}
ScriptedDialogHost &ScriptedDialogHost::answerInput(const QString &text)
{
    m_answers.append({Kind::Input, 0, text, {}, {}});
    return *this;
}
ScriptedDialogHost &ScriptedDialogHost::answerOpenFile(const QString &path)
{
    m_answers.append({Kind::OpenFile, 0, path, {}, {}});
    return *this;
}
ScriptedDialogHost &ScriptedDialogHost::answerSaveFile(const QString &path)
{
    m_answers.append({Kind::SaveFile, 0, path, {}, {}});
    return *this;
}
ScriptedDialogHost &ScriptedDialogHost::answerColor(std::optional<QColor> color)
{
    m_answers.append({Kind::Color, 0, {}, color, {}});
    return *this;
}
ScriptedDialogHost &ScriptedDialogHost::answerPrinter(bool accept, std::function<void(QPrinter *)> action)
{
    m_answers.append({Kind::Printer, accept ? 1 : 0, {}, {}, std::move(action)});
    return *this;
}
ScriptedDialogHost &ScriptedDialogHost::answerPageSetup(bool accept)
{
    m_answers.append({Kind::PageSetup, accept ? 1 : 0, {}, {}, {}});
    return *this;
}

std::optional<ScriptedDialogHost::Answer> ScriptedDialogHost::take(Kind kind, const Prompt &prompt)
{
    m_prompts.append(prompt);
    if (m_answers.isEmpty() && m_responder)
        m_responder(prompt);
    if (m_answers.isEmpty() || m_answers.first().kind != kind) {
        const QString msg = QStringLiteral("unexpected %1: \"%2\"%3")
                                .arg(QLatin1String(kindName(kind)), prompt.text,
                                     m_answers.isEmpty() ? QString()
                                                         : QStringLiteral(" (expected a %1)")
                                                               .arg(QLatin1String(kindName(m_answers.first().kind))));
        QTest::qFail(qPrintable(msg), __FILE__, __LINE__);
        return std::nullopt;
    }
    return m_answers.takeFirst();
}

int ScriptedDialogHost::messageBox(const QString &text, int buttons, const QString &title)
{
    Prompt p{Kind::Message, text, title, buttons, {}, {}, false};
    auto a = take(Kind::Message, p);
    if (!a)
        return (buttons & 7) == 0 ? vb::vbOK : vb::vbCancel;
    return a->number;
}

QString ScriptedDialogHost::inputBox(const QString &prompt, const QString &title, const QString &defaultText)
{
    Prompt p{Kind::Input, prompt, title, 0, defaultText, {}, false};
    auto a = take(Kind::Input, p);
    return a ? a->text : QString();
}

QString ScriptedDialogHost::openFile(const platform::FileDialogRequest &request)
{
    Prompt p{Kind::OpenFile, request.title, request.title, 0, {}, request, false};
    auto a = take(Kind::OpenFile, p);
    return a ? a->text : QString();
}

QString ScriptedDialogHost::saveFile(const platform::FileDialogRequest &request)
{
    Prompt p{Kind::SaveFile, request.title, request.title, 0, {}, request, false};
    auto a = take(Kind::SaveFile, p);
    return a ? a->text : QString();
}

std::optional<QColor> ScriptedDialogHost::color(const QColor &initial)
{
    Prompt p{Kind::Color, initial.name(), {}, 0, {}, {}, false};
    auto a = take(Kind::Color, p);
    return a ? a->color : std::nullopt;
}

bool ScriptedDialogHost::printer(const platform::PrinterDialogRequest &request)
{
    Prompt p{Kind::Printer, {}, {}, 0, {}, {}, request.selectionChosen};
    auto a = take(Kind::Printer, p);
    if (!a)
        return false;
    if (a->action && request.printer)
        a->action(request.printer);
    return a->number != 0;
}

bool ScriptedDialogHost::pageSetup(QPrinter *)
{
    Prompt p{Kind::PageSetup, {}, {}, 0, {}, {}, false};
    auto a = take(Kind::PageSetup, p);
    return a && a->number != 0;
}
