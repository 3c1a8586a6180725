#include "session/startupfiles.h"

#include "base/textfile.h"
#include "core/textrules.h"

namespace StartupFiles {

namespace {
const QString kMarker = QStringLiteral("RAS_ZU.DLL");
} // namespace

std::optional<DialCredentials> readCredentials(const QString &path)
{
    // Four short lines are all that matter: only the first megabyte is read. Only spaces are trimmed,
    // as the files are read: tabs and other white space stay.
    const QStringList lines = TextFile::readLines(path).lines;
    if (lines.size() < 4 || trimSpaces(lines.at(0)) != kMarker)
        return std::nullopt;
    return DialCredentials{trimSpaces(lines.at(1)).toString(), trimSpaces(lines.at(2)).toString(),
                           trimSpaces(lines.at(3)).toString()};
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
