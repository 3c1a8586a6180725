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

CurrencyList readCurrencyListFile(const QString &path)
{
    CurrencyList list;
    const TextFile::ReadResult read = TextFile::readLines(path);
    list.error = read.error;
    list.binary = read.binary;
    list.truncated = read.truncated;
    if (read.binary)
        return list;
    for (const QString &line : read.lines) {
        if (line.contains(QLatin1String("EUR/")))
            list.items.append(currencyItem(line));
    }
    return list;
}

QStringList readCurrencyList(const QString &path)
{
    return readCurrencyListFile(path).items;
}

QString CurrencyList::problem(const QString &path) const
{
    if (error.isError())
        return QStringLiteral("Elenco valute non letto - ") + error.description + QStringLiteral("\r\n\r\n") +
               path;
    if (binary)
        return QStringLiteral("Elenco valute non valido (non è un file di testo): ") + path;
    if (items.isEmpty())
        return QStringLiteral("Elenco valute senza righe EUR/: ") + path;
    if (truncated)
        return QStringLiteral("Elenco valute oltre 1 MiB, lette solo le righe del primo MiB: ") + path;
    return {};
}

} // namespace StartupFiles
