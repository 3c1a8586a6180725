#include "appoptions.h"
#include "batchdialogs.h"
#include "connectionstate.h"
#include "dialup.h"
#include "loginras.h"
#include "mainwindow.h"
#include "remoteaccess.h"
#include "startupfiles.h"
#include "translations.h"
#include "widgetdialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
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

// Unattended: the same start-up, then the day's job (or the import), the record list on standard
// output. Success means nothing failed and every quote found in the page was recorded.
int runBatch(MainWindow &form1, const BatchDialogs &dialogs, const AppOptions &options)
{
    form1.Form_Activate();
    const bool done = options.importFile.isEmpty()
                          ? form1.lastRecording().completed && form1.lastRecording().recorded > 0
                          : !form1.lastImport().failed();
    for (const QString &line : form1.listLines())
        print(stdout, line);
    std::fflush(stdout);
    return done && !form1.programEnded() && dialogs.failureCount() == 0 ? 0 : 1;
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
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "%s\n", qPrintable(message));
        });
    }
    QApplication app(argc, argv);
    installQtTranslations();

    WidgetDialogs widgetDialogs;
    BatchDialogs batchDialogs;
    UserDialogs &dialogs = options.batch ? static_cast<UserDialogs &>(batchDialogs) : widgetDialogs;

    // The login window is never shown: it keeps the credentials for the start-up dial.
    const std::unique_ptr<RemoteAccess> remoteAccess = createRemoteAccess();
    DialUp dialUp(*remoteAccess, dialogs);
    LoginRas loginRas(dialUp);
    const QString credentialsFile = QDir(options.dataDir).filePath(QStringLiteral("RAS_ZU.DLL"));
    if (const auto credentials = StartupFiles::readCredentials(credentialsFile)) {
        loginRas.Text1->setText(credentials->entryName);
        loginRas.Text2->setText(credentials->userName);
        loginRas.Text3->setText(credentials->password);
    }

    MainWindow *window = nullptr;
    SystemConnectionQuery connection([&window] { return window ? window->pageUrl() : QUrl(); },
                                     [&remoteAccess] { return dialUpConnectionActive(*remoteAccess); });
    MainWindow form1(options, dialogs, connection, dialUp, loginRas);
    window = &form1;
    widgetDialogs.setParent(&form1);
    form1.Form_Load();
    if (form1.programEnded())
        return 1;
    if (!options.pair.isEmpty())
        form1.selectPair(options.pair);

    if (options.batch)
        return runBatch(form1, batchDialogs, options);
    form1.show();
    return app.exec();
}
