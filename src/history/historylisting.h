#pragma once

#include "core/quotetable.h"
#include "core/recordlist.h"
#include "history/listingreader.h"

#include <QLocale>
#include <QString>
#include <optional>

class HistoryDb;
class UserDialogs;

// What a listing leaves for the window to show.
struct ListingResult
{
    RecordList lines;           // the record-list lines of the selected currency, in date order
    qsizetype count = 0;        // records loaded into the quote table
    qsizetype selectIndex = -1; // the line to select (the most recent), -1 when there is none
    bool openFailed = false;    // the database could not be opened: the program must end now
    bool cancelled = false;     // the user gave up on a failing query: nothing was read

    QString countText() const; // the caption of the record count
};

// Lists the history database: every record loaded into the quote table in date order and counted,
// the record-list lines of the pair picked. All messages and beeps go through the dialogs; the
// window keeps the hourglass, the buttons and the event processing.
//
// A listing of a database that nothing has written to since the previous listing, for the same
// pair, gives that listing's result again (its messages and beeps included) without reading it
// anew. One that only this program wrote to since is read on the same connection, where the engine
// may read just the records that changed. Otherwise the database is opened anew and read.
class HistoryListing
{
public:
    // The location is the file's path or the server's URL (see HistoryDb::open).
    ListingResult run(HistoryDb &db, const QString &location, const QString &pairSymbol, QuoteTable &table,
                      UserDialogs &dialogs);

private:
    struct Previous
    {
        QString location;
        QString pair;
        QLocale locale;
        ChangeToken token;
        ListingSnapshot snapshot;
    };
    std::optional<Previous> m_previous;
};
