#include "quotes/clsstockquote.h"

clsStockQuote::clsStockQuote(UserDialogs &dialogs, PageWriter writePage, QObject *parent)
    : QObject(parent), m_dialogs(dialogs), m_writePage(std::move(writePage))
{}

QuoteOutcome clsStockQuote::fetchQuote(const QString &symbol)
{
    return quoteInPage(fetchPage(), symbol);
}

PageFetcher::Result clsStockQuote::fetchPage()
{
    return m_fetcher.getBytes(m_htmPage);
}

QuoteOutcome clsStockQuote::quoteInPage(const PageFetcher::Result &page, const QString &symbol)
{
    if (!page.ok) {
        QuoteOutcome failed;
        failed.failure = page.failure;
        failed.reason = page.reason;
        return failed;
    }
    const QString text = decodePage(page.body, page.contentType);
    if (m_writePage)
        m_writePage(text);

    const QuoteOutcome outcome = quoteIn(text, symbol);
    if (outcome.kind == QuoteOutcome::Kind::SymbolAbsent)
        m_dialogs.message(QStringLiteral("Simbolo  ") + symbol +
                              QStringLiteral("  non trovato in Internet !"),
                          {}, UserDialogs::Icon::Information);
    return outcome;
}

QString clsStockQuote::getQuote(const QString &symbol)
{
    const QuoteOutcome outcome = fetchQuote(symbol);
    switch (outcome.kind) {
    case QuoteOutcome::Kind::FetchFailed:
    case QuoteOutcome::Kind::SymbolAbsent:
        return QStringLiteral("-1");
    case QuoteOutcome::Kind::Found:
    case QuoteOutcome::Kind::NoFigure:
        break;
    }
    return outcome.figure;
}

QString clsStockQuote::pReplace(QString &strExpression, const QString &strFind,
                                const QString &strReplace) const
{
    if (strExpression.size() < strFind.size())
        return strExpression;
    const qsizetype bound = strExpression.size();
    const qsizetype findSize = strFind.size();
    for (qsizetype i = 0; i < bound; ++i) {
        if (QStringView(strExpression).mid(i, findSize) == strFind)
            strExpression.replace(i, findSize, strReplace);
    }
    return strExpression;
}
