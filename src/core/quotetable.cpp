#include "core/quotetable.h"

#include <QLocale>

QString generalText(double value)
{
    QLocale locale; // the user's, or the one a test pinned
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'g', 15);
}

QString quoteText(double value)
{
    QString text = generalText(value);
    const QString separator = QLocale().decimalPoint();
    if (!text.contains(separator) && !text.contains(QLatin1Char('e'), Qt::CaseInsensitive))
        text += separator;
    while (text.size() < 6)
        text += QLatin1Char('0');
    return text.left(6);
}
