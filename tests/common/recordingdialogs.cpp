#include "common/recordingdialogs.h"

void RecordingDialogs::record(const Entry &entry)
{
    m_entries.append(entry);
    if (m_whileOpen)
        m_whileOpen(entry);
}

void RecordingDialogs::message(const QString &text, const QString &title, Icon icon)
{
    record({Entry::Kind::Message, text, title.isEmpty() ? appTitle() : title, icon, Buttons::Ok});
}

UserDialogs::Answer RecordingDialogs::question(const QString &text, const QString &title, Buttons buttons,
                                               Icon icon)
{
    record({Entry::Kind::Question, text, title.isEmpty() ? appTitle() : title, icon, buttons});
    return m_answers.isEmpty() ? Answer::Cancel : m_answers.dequeue();
}

void RecordingDialogs::beep()
{
    m_entries.append({Entry::Kind::Beep, {}, {}, Icon::None, Buttons::Ok});
}

QStringList RecordingDialogs::texts() const
{
    QStringList result;
    for (const Entry &entry : m_entries) {
        if (entry.kind != Entry::Kind::Beep)
            result.append(entry.text);
    }
    return result;
}

int RecordingDialogs::beepCount() const
{
    return int(std::count_if(m_entries.begin(), m_entries.end(),
                             [](const Entry &entry) { return entry.kind == Entry::Kind::Beep; }));
}
