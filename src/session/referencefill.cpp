#include "session/referencefill.h"

#include "base/userdialogs.h"
#include "core/pairsymbol.h"
#include "history/historydb.h"
#include "history/newdaysrecording.h"

#include <QSet>

namespace ReferenceFill {

namespace {

const QString kDayFormat = QStringLiteral("yyyyMMdd");

// The history's days before the daily day, each giving the listed pairs it quotes.
QList<QuoteRow> historyRows(const ReferenceRates::Document &history, const QList<QuoteRow> &dayRows,
                            QDate dailyDay)
{
    QList<QuoteRow> rows;
    rows.reserve(history.days.size() * dayRows.size());
    for (const RateDay &day : history.days) {
        if (day.day >= dailyDay)
            break; // ascending: the rest is the daily file's day or later
        const QString date = day.day.toString(kDayFormat);
        for (const QuoteRow &pair : dayRows) {
            const QString code = currencyOf(pair.Tipo_Valuta);
            for (const CurrencyRate &rate : day.rates) {
                if (rate.code == code) {
                    rows.append({pair.Tipo_Valuta, date, rate.rate, pair.Descrizione, QString()});
                    break;
                }
            }
        }
    }
    return rows;
}

} // namespace

bool isReferenceDocument(const PageFetcher::Result &page, const QUrl &address)
{
    if (ReferenceRates::looksLikeReferenceRates(page.body))
        return true;
    const QByteArray type = page.contentType.toLower();
    if (type.contains("/xml") || type.contains("+xml"))
        return true;
    return address.path().endsWith(QLatin1StringView(".xml"), Qt::CaseInsensitive);
}

QString currencyOf(const QString &pairSymbol)
{
    if (pairSymbol.size() != PairSymbol::length || !pairSymbol.startsWith(QLatin1StringView("EUR/")))
        return QString();
    return pairSymbol.mid(4);
}

QList<QuoteRow> dayRows(const RateDay &day, const QStringList &items)
{
    QList<QuoteRow> rows;
    const QString date = day.day.toString(kDayFormat);
    for (const QString &item : items) {
        const QString symbol = PairSymbol::of(item);
        const QString code = currencyOf(symbol);
        if (code.isEmpty())
            continue;
        for (const CurrencyRate &rate : day.rates) {
            if (rate.code == code) {
                rows.append({symbol, date, rate.rate, item.trimmed(), QString()});
                break;
            }
        }
    }
    return rows;
}

QString historyFailureMessage(const QString &errorText, const QUrl &address)
{
    return QStringLiteral("Impossibile scaricare lo storico dei cambi di riferimento - ") + errorText +
           QStringLiteral("\r\n\r\n") + address.toString();
}

Outcome record(const Request &request, HistoryDb &db, UserDialogs &dialogs, const ProgressCallback &progress)
{
    Outcome outcome;
    if (request.dayRows.isEmpty()) {
        dialogs.message(QStringLiteral("Quotazione non disponibile su Internet !!!"));
        return outcome;
    }
    if (request.historyFileName.trimmed().isEmpty()) {
        dialogs.message(QStringLiteral("Indicare il nome del file Storico Quotazione !!!"));
        return outcome;
    }

    const auto stopped = [&request] { return request.stopRequested && request.stopRequested(); };
    if (stopped())
        return outcome;

    // Each pair the daily file quotes once, with its newest stored day.
    QList<QDate> newest;
    QSet<QString> pairs, codes;
    for (const QuoteRow &row : request.dayRows) {
        if (pairs.contains(row.Tipo_Valuta))
            continue;
        pairs.insert(row.Tipo_Valuta);
        codes.insert(currencyOf(row.Tipo_Valuta));
        const NewDaysRecording::Newest stored =
            NewDaysRecording::newestStoredDay(db, row.Tipo_Valuta, dialogs);
        if (!stored.ok)
            return outcome;
        newest.append(stored.day ? QDate::fromString(*stored.day, kDayFormat) : QDate());
    }

    QList<QuoteRow> rows;
    const ReferenceRates::HistoryFile choice = ReferenceRates::historyFileFor(request.dailyDay, newest);
    if (choice != ReferenceRates::HistoryFile::None) {
        outcome.historyRequested = choice == ReferenceRates::HistoryFile::NinetyDays
                                       ? ReferenceRates::ninetyDayUrl(request.dailyAddress)
                                       : ReferenceRates::fullHistoryUrl(request.dailyAddress);
        PageFetcher own;
        PageFetcher &fetcher = request.fetcher ? *request.fetcher : own;
        fetcher.setTimeout(request.timeout);
        fetcher.setMaxBytes(request.maxBytes);
        fetcher.setProgress([&progress](qint64 received, qint64 total) {
            if (progress)
                progress({Progress::Stage::Downloading, received, total});
        });
        PageFetcher::Result download = fetcher.getBytes(outcome.historyRequested.toString());
        fetcher.setProgress({});
        if (stopped())
            return outcome;
        QString failure;
        if (!download.ok) {
            failure = download.reason.isEmpty() ? QStringLiteral("lettura non riuscita") : download.reason;
        } else {
            const ReferenceRates::Document history =
                ReferenceRates::parse(QByteArrayView(download.body), codes);
            download.body.clear();
            if (history.ok())
                rows = historyRows(history, request.dayRows, request.dailyDay);
            else
                failure = history.error;
        }
        if (!failure.isEmpty())
            dialogs.message(historyFailureMessage(failure, outcome.historyRequested));
    }
    rows += request.dayRows;

    NewDaysRecording::Progress recording;
    if (progress) {
        recording = [&progress](qint64 done, qint64 total) {
            progress({Progress::Stage::Recording, done, total});
        };
    }
    const NewDaysRecording::Result written =
        NewDaysRecording::run(rows, request.historyFileName, db, dialogs, recording);
    outcome.recorded = written.recorded;
    outcome.completed = written.completed;
    return outcome;
}

} // namespace ReferenceFill
