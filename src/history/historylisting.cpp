#include "history/historylisting.h"

#include "base/userdialogs.h"
#include "history/historydb.h"

namespace {

QString openFailureText(const RuntimeError &error, const QString &path)
{
    return QStringLiteral("ERRORE IN APERTURA DATABASE !!!") + QStringLiteral("\r\r") +
           QString::number(error.number) + QStringLiteral(" - ") + error.description +
           QStringLiteral("\r\r") + path;
}

QString queryFailureText(const RuntimeError &error)
{
    return QStringLiteral("Errore manca Tabella:  Storico_Quotazioni") + QStringLiteral("\r\n\r\n") +
           QStringLiteral("Database Server assente o scollegato !") + QStringLiteral("\r\n\r\n") +
           error.description;
}

QString readFailureText(const RuntimeError &error)
{
    return QStringLiteral("Errore in lettura file di input  ERR=") + QString::number(error.number) +
           QStringLiteral(" - ") + error.description;
}

// What every listing shows at its end, read anew or not.
ListingResult finish(const ListingSnapshot &snapshot, const QString &pair, QuoteTable &table,
                     UserDialogs &dialogs)
{
    table.setListing(snapshot.count, pair, snapshot.pairQuotes);
    if (snapshot.readError.isError()) {
        dialogs.beep();
        dialogs.message(readFailureText(snapshot.readError));
    }
    ListingResult result;
    result.lines = snapshot.lines;
    result.count = snapshot.count;
    dialogs.beep();
    result.selectIndex = result.lines.size() - 1;
    return result;
}

} // namespace

QString ListingResult::countText() const
{
    return QStringLiteral("Numero records nel Database: ") + QString::number(count);
}

ListingResult HistoryListing::run(HistoryDb &db, const QString &location, const QString &pairSymbol,
                                  QuoteTable &table, UserDialogs &dialogs)
{
    table.clear();
    const QLocale locale;
    if (m_previous && m_previous->location == location && m_previous->pair == pairSymbol &&
        m_previous->locale == locale && db.isOpenOn(location) && db.changeToken() == m_previous->token)
        return finish(m_previous->snapshot, pairSymbol, table, dialogs);
    m_previous.reset();

    ListingResult result;
    const RuntimeError openError = db.open(location);
    if (openError.isError()) {
        dialogs.beep();
        dialogs.message(openFailureText(openError, HistoryDb::displayName(location)), {},
                        UserDialogs::Icon::Critical);
        result.openFailed = true;
        return result;
    }

    const std::unique_ptr<ListingReader> reader = db.listingReader();
    for (RuntimeError error = reader->open(); error.isError(); error = reader->open()) {
        if (dialogs.question(queryFailureText(error), {}, UserDialogs::Buttons::RetryCancel) !=
            UserDialogs::Answer::Retry) {
            result.cancelled = true;
            return result;
        }
    }
    const ListingSnapshot snapshot = reader->read(pairSymbol, QuoteFormat(locale));
    if (const std::optional<ChangeToken> token = reader->changeToken())
        m_previous = Previous{location, pairSymbol, locale, *token, snapshot};
    return finish(snapshot, pairSymbol, table, dialogs);
}
