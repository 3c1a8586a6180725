#include "historyfilereader.h"

#include "historylisting.h"
#include "textfile.h"
#include "userdialogs.h"

QStringList HistoryFileReader::run(const QString &text2Text, const QString &combo1Text, UserDialogs &dialogs)
{
    const QString path = text2Text.trimmed();
    const TextFile::ReadResult read = TextFile::readLines(path);
    if (read.error.isError()) {
        dialogs.message(QStringLiteral("Errore lettura Storico Quotazioni - ") + read.error.description +
                        QStringLiteral("\r\n\r\n") + path);
        return {};
    }
    const QString selected = HistoryListing::selectedCode(combo1Text);
    QStringList lines;
    for (const QString &line : read.lines) {
        if (QStringView(line).mid(22, 7) == selected)
            lines.append(line);
    }
    return lines;
}
