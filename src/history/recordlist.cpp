#include "recordlist.h"

QString dayMonthYear(const QString &yyyymmdd, QChar separator)
{
    return yyyymmdd.mid(6, 2) + separator + yyyymmdd.mid(4, 2) + separator + yyyymmdd.left(4);
}

QString recordListLine(const QuoteRow &row)
{
    static const QString dash = QStringLiteral(" - ");
    return dayMonthYear(row.Data_Valuta, QLatin1Char('-')) + dash + quoteText(row.Quotazione) + dash +
           row.Tipo_Valuta;
}
