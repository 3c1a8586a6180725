#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>

class HistoryDb;
class UserDialogs;

// Loads a file of official exchange rates (one currency per file) into the history database, each
// data line becoming or replacing the record of its currency and day. The caller shows the
// hourglass around run(), keeps itself painted from the progress callback and lists the database
// again when run() returns, whatever the outcome.
class OfficialRatesImport
{
public:
    struct Result
    {
        enum class Outcome {
            Done,          // every data line stored (possibly none)
            NoFileName,    // no file name was given
            FileNotRead,   // the file could not be opened or read
            LineNotRead,   // a data line could not be read: the lines before it are stored
            DatabaseFailed // a line could not be stored: the lines before it are stored
        };
        Outcome outcome = Outcome::Done;
        qint64 recordsWritten = 0; // records added or overwritten
        qint64 failedLine = 0;     // 1-based line of the failure, 0 when none

        // True when a message told the user something went wrong.
        bool failed() const { return outcome != Outcome::Done; }
    };

    // Called with the number of lines handled and the file's line count every progressInterval
    // lines, so that the caller can process paint events.
    using Progress = std::function<void(qint64 linesDone, qint64 linesTotal)>;
    static constexpr qint64 progressInterval = 4096;

    // The file name is taken without the blanks around it. Every message goes through dialogs;
    // all lines are written in one transaction, and after a failure the lines before the failing
    // one stay stored and nothing of the failing one is.
    static Result run(const QString &fileName, HistoryDb &db, UserDialogs &dialogs,
                      const Progress &progress = {});

    // The exact message texts, for callers and tests.
    static QString noFileNameMessage();
    static QString fileNotReadMessage(const QString &errorText, const QString &fileName);
    static QString lineNotReadMessage(const QString &errorText, const QString &fileName);
    static QString databaseMessage(const QString &errorText, const QString &query);
};
