#pragma once

#include "base/userdialogs.h"

#include <QList>
#include <QQueue>
#include <functional>

// Remembers every message, question and beep in order; questions take their answers from a queue
// (Cancel when it is empty). Used by tests to assert the exact texts the user would read.
class RecordingDialogs : public UserDialogs
{
public:
    struct Entry
    {
        enum class Kind { Message, Question, Beep };
        Kind kind = Kind::Message;
        QString text;
        QString title;
        Icon icon = Icon::None;
        Buttons buttons = Buttons::Ok;
    };

    void message(const QString &text, const QString &title = {}, Icon icon = Icon::None) override;
    Answer question(const QString &text, const QString &title, Buttons buttons,
                    Icon icon = Icon::None) override;
    void beep() override;

    void queueAnswer(Answer answer) { m_answers.enqueue(answer); }
    // Runs while a box is "open": lets a test simulate what happens during the modal wait.
    void setWhileOpen(std::function<void(const Entry &)> hook) { m_whileOpen = std::move(hook); }

    const QList<Entry> &entries() const { return m_entries; }
    QStringList texts() const; // messages and questions, in order
    int beepCount() const;
    void clear() { m_entries.clear(); }

private:
    void record(const Entry &entry);

    QList<Entry> m_entries;
    QQueue<Answer> m_answers;
    std::function<void(const Entry &)> m_whileOpen;
};
