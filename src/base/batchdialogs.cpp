#include "base/batchdialogs.h"

#include <QRegularExpression>

void BatchDialogs::write(const QString &text)
{
    // Message texts use CR and CR LF as line breaks; a terminal wants LF.
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    std::fputs(plain.trimmed().toLocal8Bit().constData(), m_out);
    std::fputc('\n', m_out);
    std::fflush(m_out);
}

void BatchDialogs::message(const QString &text, const QString &, Icon icon)
{
    if (icon != Icon::Information)
        ++m_failures;
    write(text);
}

UserDialogs::Answer BatchDialogs::question(const QString &text, const QString &, Buttons buttons, Icon)
{
    if (buttons == Buttons::RetryCancel) // only failures offer a retry
        ++m_failures;
    write(text);
    return Answer::Cancel;
}
