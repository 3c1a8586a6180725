#include "appoptions.h"
#include "batchdialogs.h"
#include "connectionstate.h"
#include "mainwindow.h"
#include "widgetdialogs.h"

#include <QApplication>
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("quotazioni"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUOTAZIONI_VERSION));

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const ParsedOptions parsed = parseOptions(arguments, executableFolder(argv[0]));
    if (!parsed.options) {
        print(parsed.exitCode == 0 ? stdout : stderr, parsed.output);
        return parsed.exitCode;
    }
    const AppOptions &options = *parsed.options;

    // Unattended runs need no display at all.
    if (options.batch)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    WidgetDialogs widgetDialogs;
    BatchDialogs batchDialogs;
    UserDialogs &dialogs = options.batch ? static_cast<UserDialogs &>(batchDialogs) : widgetDialogs;

    MainWindow *window = nullptr;
    SystemConnectionQuery connection([&window] { return window ? window->pageUrl() : QUrl(); }, {});
    MainWindow form1(options, dialogs, connection);
    window = &form1;
    widgetDialogs.setParent(&form1);
    form1.Form_Load();

    if (options.batch) {
        for (const QString &line : form1.listLines())
            print(stdout, line);
        return batchDialogs.failureCount() == 0 ? 0 : 1;
    }
    form1.show();
    return app.exec();
}
