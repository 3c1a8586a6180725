#include "core/recordline.h"

QString dayMonthYear(const QString &yyyymmdd, QChar separator)
{
    return yyyymmdd.mid(6, 2) + separator + yyyymmdd.mid(4, 2) + separator + yyyymmdd.left(4);
}

QString dayMonth(const QString &yyyymmdd)
{
    return yyyymmdd.mid(6, 2) + QLatin1Char('-') + yyyymmdd.mid(4, 2);
}

namespace RecordLine {

QString make(const QuoteRow &row, const QString &tail)
{
    return make(row.Data_Valuta, quoteText(row.Quotazione), tail);
}

QString make(const QString &yyyymmdd, const QString &quote, const QString &tail)
{
    static const QString dash = QStringLiteral(" - ");
    return dayMonthYear(yyyymmdd, QLatin1Char('-')) + dash + quote + dash + tail;
}

} // namespace RecordLine
