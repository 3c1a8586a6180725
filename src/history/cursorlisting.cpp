#include "history/cursorlisting.h"

#include "history/listingrules.h"

CursorListingReader::CursorListingReader(std::unique_ptr<RecordCursor> cursor) : m_cursor(std::move(cursor))
{}

RuntimeError CursorListingReader::open()
{
    if (!m_cursor)
        return makeError(ErrorNumber::ApplicationDefined);
    return m_cursor->open();
}

ListingSnapshot CursorListingReader::read(const QString &pair, const QuoteFormat &format,
                                          const ListingSnapshot *)
{
    ListingSnapshot snapshot;
    RecordList::Builder lines(pair, format);
    RecordCursor &cursor = *m_cursor;
    // A record's fields in order, up to the first that cannot be read.
    const auto fill = [&cursor](QuoteRow &row, const QString &code) -> RuntimeError {
        if (!cursor.hasField(RecordCursor::Code))
            return missingFieldError();
        row.Tipo_Valuta = code;
        if (!cursor.hasField(RecordCursor::Date))
            return missingFieldError();
        row.Data_Valuta = cursor.text(RecordCursor::Date);
        if (!cursor.hasField(RecordCursor::Quote))
            return missingFieldError();
        if (const RuntimeError error = cursor.quote(row.Quotazione); error.isError())
            return error;
        if (!cursor.hasField(RecordCursor::Description))
            return missingFieldError();
        if (!cursor.hasField(RecordCursor::Note))
            return missingFieldError();
        return {};
    };

    bool first = true;
    for (; cursor.atRecord(); cursor.next()) {
        QString code;
        if (cursor.hasField(RecordCursor::Code)) {
            code = cursor.text(RecordCursor::Code);
            // Past the first record only codes above a blank are reached: empty, blank and NULL
            // codes are skipped, neither loaded nor counted.
            if (!first && code.isEmpty())
                continue;
        }
        first = false;
        QuoteRow row;
        const RuntimeError error = fill(row, code);
        ++snapshot.count;
        if (row.Tipo_Valuta == pair) {
            snapshot.pairQuotes.last = LastQuote{row.Data_Valuta, row.Quotazione};
            if (format.isUnavailableMark(row.Quotazione))
                ++snapshot.pairQuotes.unavailableMarks;
        }
        if (error.isError()) {
            snapshot.readError = error;
            break;
        }
        if (row.Tipo_Valuta == pair && !row.Data_Valuta.isEmpty())
            lines.append(row.Data_Valuta, row.Quotazione);
    }
    if (!snapshot.readError.isError())
        snapshot.readError = cursor.error();
    snapshot.lines = lines.finish();
    return snapshot;
}
