#pragma once

#include "core/dialcredentials.h"

#include <QString>
#include <QStringList>
#include <optional>

// The two small files read at start: the dial-up credentials and the currency list.
namespace StartupFiles {

// The credentials file: a marker line "RAS_ZU.DLL" (spaces around it allowed, case-sensitive), then
// connection name, user name and password. Anything less than all four lines gives nothing.
std::optional<DialCredentials> readCredentials(const QString &path);

// The item of a currency list line: the text before its first space, " - ", the known description.
QString currencyItem(const QString &line);
// One item per line that contains "EUR/", in file order; a missing or empty file gives none.
QStringList readCurrencyList(const QString &path);

} // namespace StartupFiles
