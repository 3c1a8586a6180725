#include "history/historyfilereader.h"

#include "base/textfile.h"
#include "base/userdialogs.h"
#include "core/recordline.h"

QStringList HistoryFileReader::run(const QString &fileName, const QString &pairSymbol, UserDialogs &dialogs)
{
    const QString path = fileName.trimmed();
    const TextFile::ReadResult read = TextFile::readLines(path);
    if (read.error.isError()) {
        dialogs.message(QStringLiteral("Errore lettura Storico Quotazioni - ") + read.error.description +
                        QStringLiteral("\r\n\r\n") + path);
        return {};
    }
    QStringList lines;
    for (const QString &line : read.lines) {
        if (RecordLine::code(line) == pairSymbol)
            lines.append(line);
    }
    return lines;
}
