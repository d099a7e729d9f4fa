#pragma once

#include "widgets/dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>

// Stands in for every box and dialog while installed. A test declares each
// message box it expects (kind and exact text, in order) and the answers of
// questions, text inputs and save dialogs beforehand. A box that nobody declared,
// or a declared one that never came, is a problem: `problems()` lists them and the
// test fixture fails the test on any. Everything shown is also recorded in `shown`.
class ScriptedDialogs final : public UserDialogs
{
public:
    struct Shown
    {
        QString kind; // "information", "warning", "error", "question", "input", "save"
        QString text; // message text as the program passed it ("\r" kept)
    };

    ScriptedDialogs() { setDialogs(this); }
    // A fixture left behind by a failed check may die after its successor was
    // installed; it must not take the successor's place away (a real box would wait forever).
    ~ScriptedDialogs() override
    {
        if (&dialogs() == this)
            setDialogs(nullptr);
    }
    ScriptedDialogs(const ScriptedDialogs &) = delete;
    ScriptedDialogs &operator=(const ScriptedDialogs &) = delete;

    // Message boxes to come, in order.
    void expectInformation(const QString &text) { m_expected.push_back({QStringLiteral("information"), text}); }
    void expectWarning(const QString &text) { m_expected.push_back({QStringLiteral("warning"), text}); }
    void expectError(const QString &text) { m_expected.push_back({QStringLiteral("error"), text}); }

    // Questions are declared with their answer: the text must match.
    void answerQuestion(const QString &text, bool yes) { m_questions.push_back({text, yes}); }
    void answerInput(std::optional<QString> text) { m_inputs.push_back(std::move(text)); }
    void answerSave(const QString &path) { m_saves.push_back(path); } // empty path = cancel

    QList<Shown> shown;
    QString lastSaveProposal; // the path the program proposed in its last save dialog
    QString lastInputInitial; // the text the program pre-filled in its last input box
    std::function<void(const Shown &)> onShown; // runs inside the box, e.g. to quit a test's event loop

    QStringList texts(const QString &kind) const
    {
        QStringList out;
        for (const Shown &s : shown)
            if (s.kind == kind)
                out << s.text;
        return out;
    }

    // Boxes nobody declared and declarations nothing matched; empty when all is well.
    QStringList problems() const
    {
        QStringList all = m_unexpected;
        for (const Shown &e : m_expected)
            all << QStringLiteral("declared but never shown: ") + e.kind + QStringLiteral(": ") + e.text;
        for (const auto &q : m_questions)
            all << QStringLiteral("question declared but never asked: ") + q.first;
        if (!m_inputs.empty())
            all << QStringLiteral("%1 input answer(s) never asked for").arg(m_inputs.size());
        if (!m_saves.empty())
            all << QStringLiteral("%1 save answer(s) never asked for").arg(m_saves.size());
        return all;
    }

    void message(QWidget *, Kind kind, const QString &text) override
    {
        const QString name = kind == Kind::Information ? QStringLiteral("information")
                             : kind == Kind::Warning   ? QStringLiteral("warning")
                                                       : QStringLiteral("error");
        if (!m_expected.empty() && m_expected.front().kind == name && m_expected.front().text == text)
            m_expected.pop_front();
        else
            m_unexpected << name + QStringLiteral(": ") + text;
        record(name, text);
    }

    bool question(QWidget *, const QString &text) override
    {
        bool yes = false;
        if (!m_questions.empty() && m_questions.front().first == text) {
            yes = m_questions.front().second;
            m_questions.pop_front();
        } else {
            m_unexpected << QStringLiteral("question: ") + text;
        }
        record(QStringLiteral("question"), text);
        return yes;
    }

    std::optional<QString> inputText(QWidget *, const QString &, const QString &prompt, const QString &initial,
                                     bool) override
    {
        lastInputInitial = initial;
        std::optional<QString> answer;
        if (!m_inputs.empty()) {
            answer = m_inputs.front();
            m_inputs.pop_front();
        } else {
            m_unexpected << QStringLiteral("input: ") + prompt;
        }
        record(QStringLiteral("input"), prompt);
        return answer;
    }

    QString saveFileName(QWidget *, const QString &title, const QString &, const QString &proposedPath,
                         const QString &) override
    {
        lastSaveProposal = proposedPath;
        QString path;
        if (!m_saves.empty()) {
            path = m_saves.front();
            m_saves.pop_front();
        } else {
            m_unexpected << QStringLiteral("save: ") + title;
        }
        record(QStringLiteral("save"), title);
        return path;
    }

private:
    void record(const QString &kind, const QString &text)
    {
        shown.append({kind, text});
        if (onShown)
            onShown(shown.constLast());
    }

    std::deque<Shown> m_expected;
    std::deque<std::pair<QString, bool>> m_questions;
    std::deque<std::optional<QString>> m_inputs;
    std::deque<QString> m_saves;
    QStringList m_unexpected;
};
