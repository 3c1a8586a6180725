#include "history/importformat.h"

#include "history/bankhistorycsv.h"
#include "quotes/referencerates.h"

ImportFormat sniffImportFormat(QByteArrayView head)
{
    if (head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06"))
        return ImportFormat::Zip;
    if (head.startsWith(QByteArrayView("SQLite format 3\0", 16)))
        return ImportFormat::HistoryDatabase;
    if (BankHistoryCsv::looksLikeBankHistoryCsv(head))
        return ImportFormat::BankCsv;
    if (ReferenceRates::looksLikeReferenceRates(head))
        return ImportFormat::ReferenceRates;
    return ImportFormat::OfficialRates;
}
