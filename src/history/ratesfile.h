#pragma once

#include "base/linereader.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <QStringView>
#include <memory>

// The file of official exchange rates: line 1 is a title, line 2 names the one currency of the
// whole file, line 3 holds column headings and every line from the 4th on is "date,rate,note".
namespace RatesFile {

// Data lines start at this line (1-based).
constexpr int firstDataLine = 4;

// The lines of the file, one at a time, exactly as TextFile::splitLines(TextFile::decode(bytes)) would
// give them, without holding them all at once: a file of any number of lines costs a block and its
// longest line. The constructor reads the file once to decide its encoding and count its lines.
class Lines
{
public:
    // A file open for reading (regular, so that it can be read twice).
    explicit Lines(QIODevice &device);
    // Bytes already in memory.
    explicit Lines(const QByteArray &bytes);
    ~Lines();
    Lines(const Lines &) = delete;
    Lines &operator=(const Lines &) = delete;

    qint64 count() const { return m_reader.lineCount(); }
    // A NUL byte: the file is not text (a UTF-16 file without its byte-order mark, a binary file).
    bool binary() const { return m_reader.hasNul(); }
    // The next line, or false after the last one or on a failure.
    bool next(QString &line);
    LineReader::Failure failure() const { return m_reader.failure(); }

private:
    std::unique_ptr<QBuffer> m_buffer;
    LineReader m_reader;
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
        BadDate, // a first field that is not a valid date: not stored, it would overwrite a dateless record
        Overflow // the rate does not fit a double: the line cannot be read
    };
    Kind kind = Kind::Record;
    QString date; // yyyymmdd, or empty for a line without a date
    double rate = 0;
    QString note;
};

// Splits a data line at its first two commas into date, rate and note. A line with only a date and
// a rate keeps its rate. A line whose first field is not a valid date is BadDate (the whole line as
// note, for the message); a line with no comma, or a comma in first place, has no date field at all
// and is kept whole as a note, without date or rate.
DataLine parseDataLine(QStringView line);

} // namespace RatesFile
