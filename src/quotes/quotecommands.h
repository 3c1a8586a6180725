#pragma once

#include "clsstockquote.h"
#include "quotetable.h"
#include "userdialogs.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <chrono>
#include <memory>

// The texts of the main window's controls that the quote commands read and write. The window copies
// its controls in, runs a command and copies the results back.
struct QuoteControls
{
    QString Text1;           // in: the quote page address
    QString Combo1Text;      // in: the current text of Combo1; its first 7 characters are the symbol
    QStringList Combo1Items; // in: the items of Combo1's list, e.g. "EUR/USD - DOLLARO USA - 1"
    QString Text3;           // in and out: the page text, replaced by a successful fetch
    QString lblQuote;        // in and out
    QString lblData;         // in and out
};

// The two quote commands of the main window: Command1 fetches the quote page once and fills the quote
// table with today's quote of every listed currency; Command7 shows the selected currency's row.
class QuoteCommands
{
public:
    QuoteCommands(QuoteTable &table, UserDialogs &dialogs);
    ~QuoteCommands();

    // today is read once by the caller and serves the whole run.
    void Command1(QuoteControls &controls, const QDate &today);
    void Command7(QuoteControls &controls);

    // The page reader of the last Command1 (none before the first).
    clsStockQuote *objQuote() const { return m_objQuote.get(); }

    // Applied to the page reader each Command1 creates.
    void setFetchLimits(std::chrono::milliseconds timeout, qint64 maxBytes);

private:
    QuoteTable &m_table;
    UserDialogs &m_dialogs;
    std::unique_ptr<clsStockQuote> m_objQuote;
    std::chrono::milliseconds m_timeout = PageFetcher::kDefaultTimeout;
    qint64 m_maxBytes = PageFetcher::kDefaultMaxBytes;
    QString m_fetchedPage;
    bool m_pageFetched = false;
};
