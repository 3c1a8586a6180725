#pragma once

#include "base/runtimeerror.h"
#include "core/quotetable.h"

#include <QString>
#include <functional>
#include <optional>

class HistoryDb;
class UserDialogs;

// Records quotes of a source whose rate for a pair and day never changes once published (the
// central bank's reference rates): a pair and day already stored is left alone, in the database and
// in the history files alike, so running again adds nothing. The new rows are written as recording
// writes the day's rows, in the order given, each pair and day once: the database in one
// transaction, committed only after both history files took every line, so that a failure leaves
// nothing half-written.
class NewDaysRecording
{
public:
    struct Result
    {
        qsizetype recorded = 0; // rows new to the database, now in all three places
        bool completed = false; // nothing failed
    };
    // Days written so far out of the days to write, every few hundred days and at the end.
    using Progress = std::function<void(qint64 daysDone, qint64 daysTotal)>;

    // rows in date order. The history file name is taken without the blanks around it; every
    // failure is one message through dialogs.
    static Result run(const QList<QuoteRow> &rows, const QString &historyFileName, HistoryDb &db,
                      UserDialogs &dialogs, const Progress &progress = {});

    // The newest day stored for a pair, as yyyymmdd; nothing when the pair has no record with a
    // valid day. A failing query is reported through dialogs and gives false.
    struct Newest
    {
        bool ok = true;
        std::optional<QString> day;
    };
    static Newest newestStoredDay(HistoryDb &db, const QString &code, UserDialogs &dialogs);
    // Whether a record of the pair and day exists; false as well when the database cannot tell.
    static bool isStored(HistoryDb &db, const QString &code, const QString &date);
};
