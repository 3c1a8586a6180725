#include "app/windowentry.h"

#include "app/appoptions.h"
#include "app/mainwindow.h"
#include "app/translations.h"
#include "app/widgetdialogs.h"
#include "dialup/connectionstate.h"
#include "dialup/dialup.h"
#include "dialup/loginras.h"
#include "dialup/remoteaccess.h"
#include "session/startupfiles.h"

#include <QApplication>

extern "C" Q_DECL_EXPORT const char *quotazioniWindowVersion()
{
    return QUOTAZIONI_VERSION;
}

extern "C" Q_DECL_EXPORT int quotazioniWindowMain(int &argc, char **argv, const AppOptions &options)
{
    QApplication app(argc, argv);
    installQtTranslations();
    WidgetDialogs dialogs;

    // The login window is never shown: it keeps the credentials for the start-up dial.
    const std::unique_ptr<RemoteAccess> remoteAccess = createRemoteAccess();
    DialUp dialUp(*remoteAccess, dialogs);
    LoginRas loginRas(dialUp);
    if (const auto credentials = StartupFiles::readCredentials(credentialsFile(options)))
        loginRas.setCredentials(*credentials);

    MainWindow *window = nullptr;
    SystemConnectionQuery connection([&window] { return window ? window->pageUrl() : QUrl(); },
                                     [&remoteAccess] { return dialUpConnectionActive(*remoteAccess); });
    MainWindow form1(options, dialogs, connection, dialUp, loginRas);
    window = &form1;
    dialogs.setParent(&form1);
    form1.Form_Load();
    if (form1.programEnded())
        return 1;
    if (!options.pair.isEmpty())
        form1.selectPair(options.pair);
    form1.show();
    return app.exec();
}
