#pragma once

#include "base/userdialogs.h"

#include <cstdio>

// Unattended runs: every message goes to standard error, every question gets its non-destructive
// answer (Cancel), and any message other than an information counts as a failure.
class BatchDialogs : public UserDialogs
{
public:
    explicit BatchDialogs(FILE *out = stderr) : m_out(out) {}

    void message(const QString &text, const QString &title = {}, Icon icon = Icon::None) override;
    Answer question(const QString &text, const QString &title, Buttons buttons,
                    Icon icon = Icon::None) override;
    void beep() override {}

    int failureCount() const { return m_failures; }

private:
    void write(const QString &text);

    FILE *m_out;
    int m_failures = 0;
};
