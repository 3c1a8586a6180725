#pragma once

#include <QStringView>

// How a number is written where it is read leniently.
struct NumberRules
{
    bool commaIsPoint = false;   // "," serves as the decimal point as well as "."
    bool newlineIsBlank = false; // LF is skipped like a space or a tab
};

struct LenientNumber
{
    double value = 0;
    bool found = false;     // the text starts with a number (a digit before any exponent)
    bool overflow = false;  // too large for a double: value stays 0
    bool underflow = false; // too small for a double: value 0
};

// The number at the start of the text: optional sign, digits, an optional fraction after the
// first decimal point, an optional exponent (E or D) that counts only when a digit follows it.
// Blanks anywhere are skipped and reading stops at the first character that cannot continue the
// number.
LenientNumber readLenientNumber(QStringView text, NumberRules rules = {});
