#include "history/historyfilereader.h"

#include "base/linereader.h"
#include "base/textfile.h"
#include "base/userdialogs.h"
#include "core/recordline.h"

#include <QFile>

QStringList HistoryFileReader::run(const QString &fileName, const QString &pairSymbol, UserDialogs &dialogs)
{
    const QString path = fileName.trimmed();
    const auto fail = [&](const QString &errorText) {
        dialogs.message(QStringLiteral("Errore lettura Storico Quotazioni - ") + errorText +
                        QStringLiteral("\r\n\r\n") + path);
    };
    QFile file(path);
    if (const RuntimeError error = TextFile::openForReading(file); error.isError()) {
        fail(error.description);
        return {};
    }
    // A line at a time: the file grows every day and only one pair's lines are kept.
    LineReader reader(file);
    QStringList lines;
    QString line;
    if (reader.scan()) {
        while (reader.next(line)) {
            if (RecordLine::code(line) == pairSymbol)
                lines.append(line);
        }
    }
    if (reader.failure() != LineReader::Failure::None)
        fail(runtimeErrorText(reader.failure() == LineReader::Failure::LineTooLong ? ErrorNumber::Overflow
                                                                                   : ErrorNumber::DeviceIo));
    return lines;
}
