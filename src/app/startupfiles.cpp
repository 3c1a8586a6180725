#include "startupfiles.h"

#include "textfile.h"

namespace StartupFiles {

namespace {
const QString kMarker = QStringLiteral("RAS_ZU.DLL");
} // namespace

QString trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

std::optional<Credentials> readCredentials(const QString &path)
{
    // Four short lines are all that matter; a huge file is not read whole.
    const QStringList lines = TextFile::readLines(path, 64 * 1024).lines;
    if (lines.size() < 4 || trimSpaces(lines.at(0)) != kMarker)
        return std::nullopt;
    return Credentials{trimSpaces(lines.at(1)), trimSpaces(lines.at(2)), trimSpaces(lines.at(3))};
}

QString currencyItem(const QString &line)
{
    const qsizetype space = line.indexOf(QLatin1Char(' '));
    const QString symbol = space < 0 ? line : line.left(space);
    QString description;
    if (symbol == QLatin1String("EUR/CHF"))
        description = QStringLiteral("FRANCO SVIZZERO - 2");
    else if (symbol == QLatin1String("EUR/GBP"))
        description = QStringLiteral("STERLINA INGLESE - 4");
    else if (symbol == QLatin1String("EUR/JPY"))
        description = QStringLiteral("YEN GIAPPONESE - 3");
    else if (symbol == QLatin1String("EUR/USD"))
        description = QStringLiteral("DOLLARO USA - 1");
    return symbol + QStringLiteral(" - ") + description;
}

QStringList readCurrencyList(const QString &path)
{
    QStringList items;
    for (const QString &line : TextFile::readLines(path).lines) {
        if (line.contains(QLatin1String("EUR/")))
            items.append(currencyItem(line));
    }
    return items;
}

} // namespace StartupFiles
