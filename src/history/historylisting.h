#pragma once

#include "core/quotetable.h"

#include <QStringList>

class HistoryDb;
class UserDialogs;

// What a listing leaves for the window to show.
struct ListingResult
{
    QStringList lines;          // the record-list lines of the selected currency, in date order
    qsizetype count = 0;        // records loaded into the quote table
    qsizetype selectIndex = -1; // the line to select (the most recent), -1 when there is none
    bool openFailed = false;    // the database could not be opened: the program must end now
    bool cancelled = false;     // the user gave up on a failing query: nothing was read

    QString countText() const; // the caption of the record count
};

// Opens the history database anew (the file's path or the server's URL: see HistoryDb::open), loads every
// record into the quote table in date order and picks the record-list lines of the pair. All messages and
// beeps go through the dialogs; the window keeps the hourglass, the buttons and the event processing.
class HistoryListing
{
public:
    static ListingResult run(HistoryDb &db, const QString &location, const QString &pairSymbol,
                             QuoteTable &table, UserDialogs &dialogs);
};
