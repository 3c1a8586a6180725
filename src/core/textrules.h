#pragma once

#include <QChar>
#include <QStringView>

// An ASCII digit: other scripts' digits never occur in the program's files and pages.
inline bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Drops the spaces at both ends and nothing else: the files and lists written by the program pad
// with spaces, and a tab is a character like any other.
QStringView trimSpaces(QStringView text);
