#pragma once
// A dialog host for tests: answers come from a queue the test fills, every
// prompt is recorded with its texts, and a prompt the test did not expect
// (or of another kind than the next queued answer) fails the test.
#include "dialoghost.h"

#include <QColor>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

class ScriptedDialogHost : public platform::DialogHost {
public:
    enum class Kind { Message, Input, OpenFile, SaveFile, Color, Printer, PageSetup };

    struct Prompt {
        Kind kind;
        QString text;      // message text or input prompt
        QString title;     // as passed (empty: the program's title)
        int buttons = 0;   // message boxes: buttons + icon
        QString defaultText;
        platform::FileDialogRequest file;
        bool selectionChosen = false;
    };

    ScriptedDialogHost();   // installs itself
    ~ScriptedDialogHost() override;  // restores the previous host

    // Queue answers, in the order the prompts will come.
    ScriptedDialogHost &answerMessage(int answer);
    ScriptedDialogHost &answerInput(const QString &text);
    ScriptedDialogHost &answerOpenFile(const QString &path);   // "" = Cancel
    ScriptedDialogHost &answerSaveFile(const QString &path);   // "" = Cancel
    ScriptedDialogHost &answerColor(std::optional<QColor> color);
    // The action runs on the printer before the answer is returned (set an
    // output file name, a print range ...).
    ScriptedDialogHost &answerPrinter(bool accept, std::function<void(QPrinter *)> action = {});
    ScriptedDialogHost &answerPageSetup(bool accept);

    // Answers the prompts no queued answer is left for: the responder is
    // called with the prompt and queues an answer of its kind (a random
    // tester answers as it goes).
    void setResponder(std::function<void(const Prompt &)> responder) { m_responder = std::move(responder); }

    const QList<Prompt> &prompts() const { return m_prompts; }
    const Prompt &last() const { return m_prompts.last(); }
    qsizetype pending() const { return m_answers.size(); }
    void clear();
    // The texts of every message box shown so far.
    QStringList messages() const;

    int messageBox(const QString &text, int buttons, const QString &title) override;
    QString inputBox(const QString &prompt, const QString &title, const QString &defaultText) override;
    QString openFile(const platform::FileDialogRequest &request) override;
    QString saveFile(const platform::FileDialogRequest &request) override;
    std::optional<QColor> color(const QColor &initial) override;
    bool printer(const platform::PrinterDialogRequest &request) override;
    bool pageSetup(QPrinter *printer) override;

private:
    struct Answer {
        Kind kind;
        int number = 0;
        QString text;
        std::optional<QColor> color;
        std::function<void(QPrinter *)> action;
    };
    std::optional<Answer> take(Kind kind, const Prompt &prompt);

    QList<Answer> m_answers;
    QList<Prompt> m_prompts;
    std::function<void(const Prompt &)> m_responder;
    platform::DialogHost *m_previous = nullptr;
};
