#pragma once

#include "history/officialrates.h"

class HistoryDb;
class UserDialogs;

// Copies the records of another history database of this program (an SQLite VALUTE.MDB) into the
// history, so that a computer's file can move to the server or two computers' files be merged. Each
// pair and day of the file replaces whatever the history holds for it, duplicates included, and is
// stored once: the last of the file's records for it. All or nothing: the records go in one
// transaction, which a failure rolls back whole.
class HistoryImport
{
public:
    using Result = OfficialRatesImport::Result;

    // The messages are the official-rates import's: the file that cannot be opened or read, and the
    // database that cannot store.
    static Result run(const QString &fileName, HistoryDb &db, UserDialogs &dialogs,
                      const OfficialRatesImport::Progress &progress = {});

    // Records per statement while they are copied.
    static constexpr int rowsPerStatement = 256;
};
