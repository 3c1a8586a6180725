#include "clsstockquote.h"

#include "quotecut.h"

clsStockQuote::clsStockQuote(UserDialogs &dialogs, PageWriter writeText3, QObject *parent)
    : QObject(parent), m_dialogs(dialogs), m_writeText3(std::move(writeText3))
{}

QString clsStockQuote::getQuote(const QString &symbol)
{
    const PageFetcher::Result page = m_fetcher.get(m_htmPage);
    m_fetchFailed = !page.ok;
    if (!page.ok)
        return QStringLiteral("-1");
    if (m_writeText3)
        m_writeText3(page.text);

    const QuoteCut cut = cutQuote(page.text, symbol);
    if (!cut.found) {
        m_dialogs.message(QStringLiteral("Simbolo  ") + symbol +
                              QStringLiteral("  non trovato in Internet !"),
                          {}, UserDialogs::Icon::Information);
        return QStringLiteral("-1");
    }
    return cut.quote;
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
