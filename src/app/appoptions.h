#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// What the command line asks for. Without options the program behaves as an ordinary desktop
// program whose files live in its own folder.
struct AppOptions
{
    QString dataDir; // where the database, currency list, credentials and default files live
    QString pageUrl; // empty: the built-in quote page address
    QString pair;    // select this pair after start-up
    QString importFile;
    QString databaseUrl; // empty: VALUTE.MDB in the data folder
    bool batch = false;
};

struct ParsedOptions
{
    std::optional<AppOptions> options; // empty when the program should exit at once
    int exitCode = 0;
    QString output; // text for standard output (--help, --version) or standard error (errors)
};

// The dial-up credentials file of the data folder.
QString credentialsFile(const AppOptions &options);

// Parses the arguments (argv[0] included); programFolder is the executable's folder.
ParsedOptions parseOptions(const QStringList &arguments, const QString &programFolder);

// The quote page address of a build: the central bank's daily reference rates when no quote site
// is configured, else the quote site's page at its fixed path.
QString pageUrlFor(const QString &quoteSiteHost, const QString &scheme);
// The address this build was configured with (-DQUOTE_SITE_HOST, -DQUOTE_SITE_SCHEME).
QString defaultPageUrl();
