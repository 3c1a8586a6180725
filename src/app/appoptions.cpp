#include "app/appoptions.h"

#include "history/databaseurl.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#ifndef QUOTE_SITE_HOST
#define QUOTE_SITE_HOST ""
#endif
#ifndef QUOTE_SITE_SCHEME
#define QUOTE_SITE_SCHEME "http"
#endif

QString pageUrlFor(const QString &quoteSiteHost, const QString &scheme)
{
    if (quoteSiteHost.isEmpty())
        return QStringLiteral("https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml");
    return scheme + QStringLiteral("://") + quoteSiteHost + QStringLiteral("/delay/valute/index.shtml");
}

QString defaultPageUrl()
{
    return pageUrlFor(QStringLiteral(QUOTE_SITE_HOST), QStringLiteral(QUOTE_SITE_SCHEME));
}

QString credentialsFile(const AppOptions &options)
{
    return QDir(options.dataDir).filePath(QStringLiteral("RAS_ZU.DLL"));
}

ParsedOptions parseOptions(const QStringList &arguments, const QString &programFolder)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Storico giornaliero delle quotazioni dell'euro (EUR/USD, EUR/CHF, EUR/JPY, EUR/GBP)."));
    // Our own help option: Qt's describes itself in English only, and its Qt-specific options
    // mean nothing to the user.
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Mostra le opzioni della riga di comando."));
    parser.addOption(helpOption);
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption dataDir(QStringLiteral("data-dir"),
                                     QStringLiteral("Cartella dei dati (database, elenco valute, storici)."),
                                     QStringLiteral("CARTELLA"));
    const QCommandLineOption pageUrl(QStringLiteral("page-url"),
                                     QStringLiteral("Indirizzo della pagina delle quotazioni."),
                                     QStringLiteral("URL"));
    const QCommandLineOption pair(QStringLiteral("pair"),
                                  QStringLiteral("Valuta da selezionare, es. EUR/GBP."),
                                  QStringLiteral("SIMBOLO"));
    const QCommandLineOption importFile(
        QStringLiteral("import"),
        QStringLiteral("Carica il file dei cambi ufficiali invece del ciclo giornaliero."),
        QStringLiteral("FILE"));
    const QCommandLineOption database(
        QStringLiteral("database"),
        QStringLiteral(
            "Storico su un server PostgreSQL invece di VALUTE.MDB, es. postgresql://utente@server/valute."),
        QStringLiteral("URL"));
    const QCommandLineOption batch(QStringLiteral("batch"),
                                   QStringLiteral("Nessuna finestra: messaggi su stderr, elenco su stdout."));
    parser.addOptions({dataDir, pageUrl, pair, importFile, database, batch});

    ParsedOptions result;
    if (!parser.parse(arguments)) {
        result.exitCode = 2;
        result.output = parser.errorText();
        return result;
    }
    if (parser.isSet(helpOption)) {
        result.output = parser.helpText();
        return result;
    }
    if (parser.isSet(versionOption)) {
        result.output = QCoreApplication::applicationName() + QLatin1Char(' ') +
                        QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.exitCode = 2;
        result.output = QStringLiteral("Argomento non previsto: ") + parser.positionalArguments().first();
        return result;
    }

    AppOptions options;
    options.dataDir = programFolder;
    if (parser.isSet(dataDir)) {
        const QFileInfo folder(parser.value(dataDir));
        if (!folder.isDir()) {
            result.exitCode = 2;
            result.output = QStringLiteral("La cartella dei dati non esiste: ") + parser.value(dataDir);
            return result;
        }
        options.dataDir = folder.absoluteFilePath();
    }
    options.dataDir = QDir::cleanPath(options.dataDir);
    options.pageUrl = parser.isSet(pageUrl) ? parser.value(pageUrl) : defaultPageUrl();
    options.pair = parser.value(pair);
    if (parser.isSet(importFile))
        options.importFile = QFileInfo(parser.value(importFile)).absoluteFilePath();
    if (parser.isSet(database)) {
        QString reason;
        if (!DatabaseUrl::parse(parser.value(database), &reason)) {
            // The URL itself is not repeated: it may hold a password.
            result.exitCode = 2;
            result.output = QStringLiteral("Indirizzo del database non valido: ") + reason;
            return result;
        }
        options.databaseUrl = parser.value(database);
    }
    options.batch = parser.isSet(batch);
    result.options = options;
    return result;
}
