#include "app/appoptions.h"
#include "app/translations.h"
#include "app/windowmodule.h"
#include "base/batchdialogs.h"
#include "dialup/connectionstate.h"
#include "dialup/connectionwait.h"
#include "dialup/dialup.h"
#include "dialup/remoteaccess.h"
#include "session/quotesession.h"
#include "session/startupfiles.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

namespace {

// The executable's folder, known before the application object exists.
QString executableFolder(const char *argv0)
{
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    if (self.exists())
        return QFileInfo(self.canonicalFilePath()).absolutePath();
    return QFileInfo(QString::fromLocal8Bit(argv0)).absolutePath();
}

void print(FILE *out, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), out);
    if (!text.endsWith(QLatin1Char('\n')))
        std::fputc('\n', out);
}

// The record list on standard output, one line per item, written in blocks: a long history is
// hundreds of thousands of lines.
void printLines(FILE *out, const RecordList &lines)
{
    QString block;
    RecordList::LineBuffer buffer;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        block += lines.line(i, buffer);
        block += QLatin1Char('\n');
        if (block.size() >= 64 * 1024 || i + 1 == lines.size()) {
            const QByteArray bytes = block.toLocal8Bit();
            std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
            block.clear();
        }
    }
}

// Unattended: the window's start-up and first job on the same session, with no window and no
// window system: defaults, listing, connection wait, the pair asked for, then the day's job (or
// the import). The record list goes to standard output. Success means nothing failed and every
// listed pair got its quote recorded; every other end leaves at least one line on standard error
// saying why.
int runBatch(int argc, char **argv, const AppOptions &options)
{
    QCoreApplication app(argc, argv);
    installQtTranslations();
    BatchDialogs dialogs;
    const std::unique_ptr<RemoteAccess> remoteAccess = createRemoteAccess();
    DialUp dialUp(*remoteAccess, dialogs);
    const DialCredentials credentials =
        StartupFiles::readCredentials(credentialsFile(options)).value_or(DialCredentials{});

    QuoteSession session(options.dataDir, dialogs);
    session.setExplainFailures(true);
    session.setDatabaseLocation(options.databaseUrl);
    session.setWarningSink([](const QString &text) { print(stderr, text); });
    session.loadDefaults(options.pageUrl);
    session.list();
    if (session.ended())
        return 1;
    SystemConnectionQuery connection([&session] { return QUrl(session.pageAddress().trimmed()); },
                                     [&remoteAccess] { return dialUpConnectionActive(*remoteAccess); });
    // No window to notify: the dial is followed by polling alone.
    ConnectionWait wait(
        dialUp, [&connection] { return connection.query(); }, [&credentials] { return credentials; }, 0);
    wait.run();
    QCoreApplication::processEvents();

    if (!options.pair.isEmpty()) {
        const int index = session.findPair(options.pair);
        if (index >= 0) {
            session.choosePair(session.pairItems().at(index));
            session.list();
            session.show();
        }
    }

    bool done = false;
    if (options.importFile.isEmpty()) {
        const RecordingResult recording = session.runDailyJob(QDate::currentDate());
        // A reference rate is stored once: a run that finds every pair's newest day stored by an
        // earlier one has done its job without recording anything.
        const bool storedOnce = session.source() == QuoteSession::Source::ReferenceRates;
        done = recording.completed && (storedOnce || recording.recorded > 0) &&
               session.unrecordedPairs().isEmpty();
        if (!session.unrecordedPairs().isEmpty())
            dialogs.message(QStringLiteral("Quotazioni non registrate: ") +
                            session.unrecordedPairs().join(QStringLiteral(", ")));
    } else {
        session.setRatesFileName(options.importFile);
        done = !session.importRates().failed();
        session.list();
    }
    printLines(stdout, session.lines());
    std::fflush(stdout);
    const bool succeeded = done && !session.ended() && dialogs.failureCount() == 0;
    if (!succeeded && dialogs.failureCount() == 0)
        dialogs.message(options.importFile.isEmpty() ? QStringLiteral("Nessuna quotazione registrata")
                                                     : QStringLiteral("Importazione non completata"));
    return succeeded ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("quotazioni"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUOTAZIONI_VERSION));

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const QString programFolder = executableFolder(argv[0]);
    ParsedOptions parsed = parseOptions(arguments, programFolder);
    if (!parsed.options) {
        // Help, version and mistakes need no display. Read again once Qt's part of the text can
        // speak the user's language.
        QCoreApplication app(argc, argv);
        installQtTranslations();
        parsed = parseOptions(arguments, programFolder);
        print(parsed.exitCode == 0 ? stdout : stderr, parsed.output);
        return parsed.exitCode;
    }
    const AppOptions &options = *parsed.options;

    // Unattended runs need no display at all, and their standard error carries the program's own
    // messages only: Qt's warnings about the missing desktop session would read like failures.
    if (options.batch) {
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "%s\n", qPrintable(message));
        });
        return runBatch(argc, argv, options);
    }
    // The window's libraries are loaded only now, with its module.
    return runWindowModule(argc, argv, options, programFolder);
}
