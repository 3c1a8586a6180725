#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>

class HistoryDb;
class UserDialogs;

// Loads a file of official exchange rates into the history database, each rate becoming or
// replacing the record of its currency and day. The file is told apart by its content: the
// official-rates text file (one currency per file), or the central bank's history as CSV, as a zip
// archive of that CSV or as reference-rate XML (daily, 90-day or full history), of which the
// currencies of the listed pairs are stored. The caller shows the hourglass around run(), keeps
// itself painted from the progress callback and lists the database again when run() returns,
// whatever the outcome.
class OfficialRatesImport
{
public:
    struct Result
    {
        enum class Outcome {
            Done,           // every data line stored (possibly none)
            NoFileName,     // no file name was given
            FileNotRead,    // the file could not be opened or read
            LineNotRead,    // a data line could not be read: the lines before it are stored
            DatabaseFailed, // a line could not be stored: the lines before it are stored
            Stopped         // asked to stop: the lines before are stored, without a message
        };
        Outcome outcome = Outcome::Done;
        qint64 recordsWritten = 0; // records added or overwritten
        // 1-based line of the failure in the text file (the CSV inside an archive); 0 when none, and
        // for a failure that is not at a line (an archive that cannot be read, an XML document).
        qint64 failedLine = 0;
        qint64 badDateLines = 0; // lines of a rates file left out for a date that is not a valid date

        // True when a message told the user something went wrong.
        bool failed() const
        {
            return (outcome != Outcome::Done && outcome != Outcome::Stopped) || badDateLines > 0;
        }
    };

    // Called with the work done and the whole work, so that the caller can process paint events:
    // lines of an official-rates file (every progressInterval lines), bytes of the bank's CSV (at
    // least every 64 KiB), days of a reference-rate file. The last call gives the whole as done.
    using Progress = std::function<void(qint64 linesDone, qint64 linesTotal)>;
    static constexpr qint64 progressInterval = 4096;
    // Asked after each progress call: true stops the import, which keeps what it stored so far.
    using StopRequested = std::function<bool()>;
    // The message about lines with an invalid date names this many of them.
    static constexpr qsizetype maxLinesNamed = 10;

    // The file name is taken without the blanks around it. pairItems is the currency list
    // ("EUR/USD - DOLLARO USA - 1"): the bank's files give one record per listed pair "EUR/XXX"
    // and day, from the currency XXX, described by the item; other currencies are skipped. The file
    // must be a regular file; it is read a line (a day) at a time in bounded memory. Every message
    // goes through dialogs. Records are committed as the import goes on and at its end; after a
    // failure the lines (days) before the failing one stay stored and nothing of the failing one is.
    // Lines of a rates file whose first field is not a valid date are left out, and one message at
    // the end names them.
    static Result run(const QString &fileName, const QStringList &pairItems, HistoryDb &db,
                      UserDialogs &dialogs, const Progress &progress = {},
                      const StopRequested &stopRequested = {});

    // The exact message texts, for callers and tests.
    static QString noFileNameMessage();
    static QString fileNotReadMessage(const QString &errorText, const QString &fileName);
    static QString lineNotReadMessage(const QString &errorText, const QString &fileName);
    static QString databaseMessage(const QString &errorText, const QString &query);
    static QString badDateMessage(qint64 count, const QList<qint64> &firstLines);
};
