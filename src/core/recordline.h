#pragma once

#include "core/quotetable.h"

#include <QString>
#include <QStringView>

// The record-list line and the line of the text history file share one layout: dd-mm-yyyy,
// " - ", the 6-character quote text, " - ", then the currency code (the record list) or the
// description, which begins with the code (the history file). Lines are read back by position,
// so the positions live here and nowhere else.
namespace RecordLine {

// The line of a row ending in `tail`: the code for the record list, the description for the file.
QString make(const QuoteRow &row, const QString &tail);
// The same from the row's date (yyyymmdd) and its quote text already made.
QString make(const QString &yyyymmdd, const QString &quote, const QString &tail);
// The record-list line of a row.
inline QString ofRecord(const QuoteRow &row)
{
    return make(row, row.Tipo_Valuta);
}

// Fields of a line as written; a short line gives what it has.
inline QStringView date(QStringView line) // dd-mm-yyyy
{
    return line.left(10);
}
inline QStringView day(QStringView line)
{
    return line.left(2);
}
inline QStringView month(QStringView line)
{
    return line.mid(3, 2);
}
inline QStringView year(QStringView line)
{
    return line.mid(6, 4);
}
// The quote with the blank before it (characters 13-19).
inline QStringView quoteField(QStringView line)
{
    return line.mid(12, 7);
}
// The seven characters where the code stands (23-29).
inline QStringView code(QStringView line)
{
    return line.mid(22, 7);
}

} // namespace RecordLine

// dd-mm-yyyy (or dd/mm/yyyy with another separator) from a yyyymmdd text.
QString dayMonthYear(const QString &yyyymmdd, QChar separator);
// dd-mm from a yyyymmdd text, as the date label shows the day of a quote.
QString dayMonth(const QString &yyyymmdd);
