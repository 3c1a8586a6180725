#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// The file of official exchange rates: line 1 is a title, line 2 names the one currency of the
// whole file, line 3 holds column headings and every line from the 4th on is "date,rate,note".
namespace RatesFile {

// Data lines start at this line (1-based).
constexpr int firstDataLine = 4;

// The lines of the file, one at a time, exactly as TextFile::splitLines(TextFile::decode(bytes))
// gives them, without holding them all at once: a file of millions of lines costs one line of
// memory beyond its bytes.
class Lines
{
public:
    explicit Lines(const QByteArray &bytes);

    qint64 count() const { return m_count; }
    // The next line, or false after the last one.
    bool next(QString &line);

private:
    QByteArray m_bytes;
    QString m_text; // the decoded file, when it is not UTF-8
    bool m_utf8 = true;
    qsizetype m_position = 0;
    qint64 m_count = 0;
};

struct Currency
{
    QString code;        // first 7 characters of the description, a trailing blank kept ("FRANCO ")
    QString description; // e.g. "EUR/USD - DOLLARO USA"
};

// The currency named by line 2 ("Valuta selezionata: Dollaro USA"); empty code and description when
// the line does not name one. Every dollar is filed under EUR/USD, the only dollar pair we keep, and
// the Swiss franc, the yen and the pound sterling under EUR/CHF, EUR/JPY and EUR/GBP, so that the
// pairs of the currency list find them.
Currency currencyOf(QStringView secondLine);

// yyyymmdd of a d/m/yyyy date (one or two digits for day and month); an empty text when the field
// is not a valid calendar date, so that no made-up date ever reaches the database.
QString dateOf(QStringView field);

struct DataLine
{
    enum class Kind {
        Record,  // store date, rate and note
        Blank,   // nothing but blanks: skipped
        Overflow // the rate does not fit a double: the line cannot be read
    };
    Kind kind = Kind::Record;
    QString date; // yyyymmdd, or empty for a line without a date
    double rate = 0;
    QString note;
};

// Splits a data line at its first two commas into date, rate and note. A line with only a date and
// a rate keeps its rate; a line whose first field is not a valid date is kept whole as a note,
// without date or rate, like a line with no comma at all.
DataLine parseDataLine(QStringView line);

} // namespace RatesFile
