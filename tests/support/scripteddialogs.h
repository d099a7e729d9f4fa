#pragma once

#include "widgets/dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>

// Stands in for every box and dialog while installed. Message boxes are recorded;
// questions, text inputs and save dialogs take their answers from queues the test
// filled beforehand. A dialog that finds its queue empty is recorded in
// `unexpected` (and answered No / cancel), so a test can fail on any box nobody
// asked for: check `unexpected` at the end of each test.
class ScriptedDialogs final : public UserDialogs
{
public:
    struct Shown
    {
        QString kind; // "information", "warning", "error", "question", "input", "save"
        QString text; // message text as the program passed it ("\r" kept)
    };

    ScriptedDialogs() { setDialogs(this); }
    ~ScriptedDialogs() override { setDialogs(nullptr); }
    ScriptedDialogs(const ScriptedDialogs &) = delete;
    ScriptedDialogs &operator=(const ScriptedDialogs &) = delete;

    void answerQuestion(bool yes) { m_questions.push_back(yes); }
    void answerInput(std::optional<QString> text) { m_inputs.push_back(std::move(text)); }
    void answerSave(const QString &path) { m_saves.push_back(path); } // empty path = cancel

    QList<Shown> shown;
    QStringList unexpected;
    QString lastSaveProposal; // the path the program proposed in its last save dialog
    std::function<void(const Shown &)> onShown; // runs inside the box, e.g. to quit a test's event loop

    QStringList texts(const QString &kind) const
    {
        QStringList out;
        for (const Shown &s : shown)
            if (s.kind == kind)
                out << s.text;
        return out;
    }
    void clear()
    {
        shown.clear();
        unexpected.clear();
    }

    void message(QWidget *, Kind kind, const QString &text) override
    {
        record(kind == Kind::Information ? "information" : kind == Kind::Warning ? "warning" : "error", text);
    }

    bool question(QWidget *, const QString &text) override
    {
        record("question", text);
        if (m_questions.empty()) {
            unexpected << QStringLiteral("question: ") + text;
            return false;
        }
        const bool yes = m_questions.front();
        m_questions.pop_front();
        return yes;
    }

    std::optional<QString> inputText(QWidget *, const QString &, const QString &prompt, const QString &,
                                     bool) override
    {
        record("input", prompt);
        if (m_inputs.empty()) {
            unexpected << QStringLiteral("input: ") + prompt;
            return std::nullopt;
        }
        auto answer = m_inputs.front();
        m_inputs.pop_front();
        return answer;
    }

    QString saveFileName(QWidget *, const QString &title, const QString &, const QString &proposedPath,
                         const QString &) override
    {
        lastSaveProposal = proposedPath;
        record("save", title);
        if (m_saves.empty()) {
            unexpected << QStringLiteral("save: ") + title;
            return {};
        }
        const QString path = m_saves.front();
        m_saves.pop_front();
        return path;
    }

private:
    void record(const char *kind, const QString &text)
    {
        shown.append({QString::fromLatin1(kind), text});
        if (onShown)
            onShown(shown.constLast());
    }

    std::deque<bool> m_questions;
    std::deque<std::optional<QString>> m_inputs;
    std::deque<QString> m_saves;
};
