#pragma once

#include <QByteArrayView>

// The kinds of file the official-rates import takes, told apart by their first bytes, never by their
// name: users rename files, and the bank's own names say nothing of the content.
enum class ImportFormat {
    Zip,             // a zip archive ("PK" and a local file header, or an empty archive's end record)
    ReferenceRates,  // the bank's euro reference-rate XML (daily, 90-day or full history)
    BankCsv,         // the bank's history CSV, "Date,USD,JPY,...,"
    HistoryDatabase, // a history database of this program: an SQLite file ("SQLite format 3" and a NUL)
    OfficialRates    // anything else: the official-rates text file, which decides for itself
};

// How many first bytes sniffImportFormat() looks at; fewer are enough for a short file.
inline constexpr qsizetype importFormatHeadSize = 4096;

ImportFormat sniffImportFormat(QByteArrayView head);
