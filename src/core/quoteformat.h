#pragma once

#include <QLocale>
#include <QString>

// The number texts of the labels, the record list and the history files, in one locale. Building
// a locale asks the system for its settings, so a listing makes one of these and formats all its
// lines with it.
class QuoteFormat
{
public:
    // The user's locale, or the one a test pinned.
    QuoteFormat() : QuoteFormat(QLocale()) {}
    explicit QuoteFormat(const QLocale &locale);

    // General text form: at most 15 significant digits, no trailing zeros, the locale's decimal
    // separator, no digit grouping (1.07 gives "1,07" in Italian).
    QString generalText(double value) const;

    // The 6-character quote text: the general form with a decimal separator added when it has
    // none, padded with zeros, cut to 6. 1.0734 gives "1,0734", 1.5 "1,5000", 2 "2,0000".
    static constexpr int quoteTextSize = 6;
    QString quoteText(double value) const;
    // The same text written into six characters, with no string made for it.
    void writeQuoteText(double value, char16_t *out) const;

    // A quote whose general text is that of -1: the mark of a quote that could not be had.
    bool isUnavailableMark(double value) const;

private:
    // The general text in ASCII when the locale writes numbers with ASCII digits and signs and a
    // one-character separator and exponent; its length, or -1 when the locale needs QLocale.
    int writePlain(double value, char *out) const;

    QLocale m_locale;
    QString m_decimalPoint;
    bool m_plain = false;
    char16_t m_point = u'.';
    char16_t m_exponent = u'e';
    QString m_unavailable;
};
