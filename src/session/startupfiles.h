#pragma once

#include "base/runtimeerror.h"
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
// One item per line that contains "EUR/", in file order, from the first megabyte of the file; a
// missing, empty or binary file gives none.
QStringList readCurrencyList(const QString &path);

// The same, with what went wrong: for the unattended run, which has to say why it recorded nothing.
struct CurrencyList
{
    QStringList items;
    RuntimeError error;     // the file could not be read
    bool binary = false;    // not a text file: no items taken from it
    bool truncated = false; // longer than a megabyte: the items of its first megabyte
    // What is wrong with the list as the user reads it, empty when nothing is; path is the file's.
    QString problem(const QString &path) const;
};
CurrencyList readCurrencyListFile(const QString &path);

} // namespace StartupFiles
