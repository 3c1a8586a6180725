#include "history/historylisting.h"

#include "base/userdialogs.h"
#include "history/historydb.h"

#include <utility>

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
    const QuoteFormat format(locale);
    std::optional<Previous> previous = std::exchange(m_previous, std::nullopt);
    if (previous && (previous->location != location || previous->pair != pairSymbol ||
                     previous->locale != locale || !db.isOpenOn(location)))
        previous.reset();
    const std::optional<ChangeToken> token = previous ? db.changeToken() : std::nullopt;
    if (previous && token == previous->token) {
        m_previous = std::move(previous);
        return finish(m_previous->snapshot, pairSymbol, table, dialogs);
    }

    // Written to by this program alone: on the same connection the reader may read only what changed.
    // Anything that keeps it from reading is told as a fresh opening would tell it.
    if (previous && token && token->connection == previous->token.connection &&
        token->others == previous->token.others) {
        const std::unique_ptr<ListingReader> reader = db.listingReader();
        if (!reader->open().isError()) {
            const ListingSnapshot snapshot = reader->read(pairSymbol, format, &previous->snapshot);
            if (const std::optional<ChangeToken> read = reader->changeToken())
                m_previous = Previous{location, pairSymbol, locale, *read, snapshot};
            return finish(snapshot, pairSymbol, table, dialogs);
        }
    }

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
    const ListingSnapshot snapshot = reader->read(pairSymbol, format, nullptr);
    if (const std::optional<ChangeToken> read = reader->changeToken())
        m_previous = Previous{location, pairSymbol, locale, *read, snapshot};
    return finish(snapshot, pairSymbol, table, dialogs);
}
