#pragma once

#include "pagefetcher.h"
#include "userdialogs.h"

#include <QObject>
#include <QString>
#include <functional>

// The quote page reader: fetches the quote page and cuts one currency's quote out of it. The page
// text goes to the main window's hidden page box through the writer given at construction, so that
// the other currencies can be cut from it without fetching again.
class clsStockQuote : public QObject
{
    Q_OBJECT
public:
    using PageWriter = std::function<void(const QString &)>;

    clsStockQuote(UserDialogs &dialogs, PageWriter writeText3, QObject *parent = nullptr);

    QString htmPage() const { return m_htmPage; }
    void setHtmPage(const QString &address) { m_htmPage = address; }

    // One GET of htmPage; the page text is written out before the cut. Returns the quote following
    // symbol (e.g. "1,0871"), an empty text when the symbol has no figure, or "-1" when the page could
    // not be fetched (no message) or does not hold the symbol (an information message).
    QString getQuote(const QString &symbol);
    // Whether the last getQuote could not fetch the page at all, as opposed to finding no symbol.
    bool fetchFailed() const { return m_fetchFailed; }

    // Replaces strFind by strReplace in strExpression, in place, and returns the result. The scan
    // stops at the length the text had on entry and goes on right after each replaced position, so a
    // replacement containing strFind is scanned again and an empty strFind inserts strReplace before
    // each of the first positions.
    QString pReplace(QString &strExpression, const QString &strFind, const QString &strReplace) const;
    // The non-breaking space entity, to clean page text with pReplace.
    QString sp() const { return QStringLiteral("&nbsp;"); }

    PageFetcher &fetcher() { return m_fetcher; }

private:
    UserDialogs &m_dialogs;
    PageWriter m_writeText3;
    PageFetcher m_fetcher;
    QString m_htmPage;
    bool m_fetchFailed = false;
};
