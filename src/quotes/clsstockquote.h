#pragma once

#include "base/userdialogs.h"
#include "quotes/pagefetcher.h"
#include "quotes/quotecut.h"

#include <QObject>
#include <QString>
#include <functional>

// The quote page reader: fetches the quote page and cuts one currency's quote out of it. The page
// text goes out through the writer given at construction, so that the other currencies can be cut
// from it without fetching again.
class clsStockQuote : public QObject
{
    Q_OBJECT
public:
    using PageWriter = std::function<void(const QString &)>;

    clsStockQuote(UserDialogs &dialogs, PageWriter writePage, QObject *parent = nullptr);

    QString htmPage() const { return m_htmPage; }
    void setHtmPage(const QString &address) { m_htmPage = address; }

    // One GET of htmPage; the page text is written out before the cut. A symbol the page does not
    // hold gets an information message; a failed fetch gets none.
    QuoteOutcome fetchQuote(const QString &symbol);
    // The two halves of fetchQuote, for a caller that looks at what came before cutting it: the GET,
    // the body kept as bytes, and the cut of a page so fetched.
    PageFetcher::Result fetchPage();
    QuoteOutcome quoteInPage(const PageFetcher::Result &page, const QString &symbol);
    // The same as text, the reader's documented interface: the quote following symbol (e.g.
    // "1,0871"), the figure as written when it is not a number (empty when there is none), or "-1"
    // when the page could not be fetched or does not hold the symbol.
    QString getQuote(const QString &symbol);

    // Replaces strFind by strReplace in strExpression, in place, and returns the result. The scan
    // stops at the length the text had on entry and goes on right after each replaced position, so a
    // replacement containing strFind is scanned again and an empty strFind inserts strReplace before
    // each of the first positions.
    QString pReplace(QString &strExpression, const QString &strFind, const QString &strReplace) const;

    PageFetcher &fetcher() { return m_fetcher; }

private:
    UserDialogs &m_dialogs;
    PageWriter m_writePage;
    PageFetcher m_fetcher;
    QString m_htmPage;
};
