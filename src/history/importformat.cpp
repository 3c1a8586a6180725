#include "history/importformat.h"

#include "base/textfile.h"
#include "history/bankhistorycsv.h"
#include "quotes/referencerates.h"

#include <QFile>

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

ImportFormat sniffImportFile(const QString &fileName)
{
    // A FIFO or a device is not opened here either: the official-rates import refuses it by name.
    QFile file(fileName);
    if (TextFile::openForReading(file).isError())
        return ImportFormat::OfficialRates;
    return sniffImportFormat(file.read(importFormatHeadSize));
}
