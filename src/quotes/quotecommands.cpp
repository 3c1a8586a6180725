#include "quotecommands.h"

#include "quotecut.h"

namespace {

const QString kFailed = QStringLiteral("-1");

QString symbolOf(const QString &item)
{
    return item.left(7);
}

} // namespace

QuoteCommands::QuoteCommands(QuoteTable &table, UserDialogs &dialogs) : m_table(table), m_dialogs(dialogs) {}

QuoteCommands::~QuoteCommands() = default;

void QuoteCommands::setFetchLimits(std::chrono::milliseconds timeout, qint64 maxBytes)
{
    m_timeout = timeout;
    m_maxBytes = maxBytes;
}

void QuoteCommands::Command1(QuoteControls &controls, const QDate &today)
{
    controls.lblData = today.toString(QStringLiteral("dd-MM"));
    const QString Data_Valuta = today.toString(QStringLiteral("yyyyMMdd"));

    // The reader outlives this call, so it writes into a member rather than into the caller's texts.
    m_pageFetched = false;
    m_objQuote = std::make_unique<clsStockQuote>(m_dialogs, [this](const QString &page) {
        m_fetchedPage = page;
        m_pageFetched = true;
    });
    m_objQuote->fetcher().setTimeout(m_timeout);
    m_objQuote->fetcher().setMaxBytes(m_maxBytes);
    m_objQuote->setHtmPage(controls.Text1.trimmed());

    const QString result = m_objQuote->getQuote(symbolOf(controls.Combo1Text));
    if (m_pageFetched)
        controls.Text3 = m_fetchedPage;
    if (result == kFailed) {
        controls.lblQuote = kFailed;
    } else {
        const std::optional<double> quote = readQuote(result);
        controls.lblQuote = quote ? quoteText(*quote) : QString();
    }

    m_table.clear();
    // Cutting the previous page again would record its quotes under today's date.
    if (m_objQuote->fetchFailed())
        return;

    const QStringList items = controls.Combo1Items;
    for (const QString &item : items) {
        const QString symbol = symbolOf(item);
        const QuoteCut cut = cutQuote(controls.Text3, symbol);
        if (!cut.found) {
            controls.lblQuote.clear();
            continue;
        }
        // A currency without a readable figure gets no row: a stored 0 would overwrite the day's
        // good record and show up in the history as a real quote.
        const std::optional<double> quote = readQuote(cut.quote);
        if (!quote) {
            m_dialogs.message(QStringLiteral("Quotazione non disponibile su Internet !!!"));
            controls.lblQuote.clear();
            continue;
        }
        controls.lblQuote = quoteText(*quote);
        m_table.append({symbol, Data_Valuta, *quote, item.trimmed(), QString()});
    }
}

void QuoteCommands::Command7(QuoteControls &controls)
{
    const QString symbol = symbolOf(controls.Combo1Text);
    const QList<QuoteRow> rows = m_table.rows(); // a message box may let the table change under us
    for (const QuoteRow &row : rows) {
        if (row.Tipo_Valuta != symbol)
            continue;
        const QString general = generalText(row.Quotazione);
        if (general.trimmed().isEmpty() || general.trimmed() == kFailed) {
            m_dialogs.message(QStringLiteral("Quotazione  ") + symbol +
                              QStringLiteral("  non disponibile su Internet !!!"));
            controls.lblQuote.clear();
        } else {
            controls.lblQuote = quoteText(row.Quotazione);
        }
        controls.lblData = row.Data_Valuta.mid(6, 2) + QLatin1Char('-') + row.Data_Valuta.mid(4, 2);
    }
}
