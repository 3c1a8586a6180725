#pragma once

#include "quotetable.h"

// The record-list line of a row: dd-mm-yyyy, " - ", the 6-character quote text, " - ", the code.
// The chart reads these lines back by character position.
QString recordListLine(const QuoteRow &row);

// dd-mm-yyyy (or dd/mm/yyyy with another separator) from a yyyymmdd text.
QString dayMonthYear(const QString &yyyymmdd, QChar separator);
