#include "app/windowmodule.h"

#include "app/windowentry.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <cstdio>

#ifndef QUOTAZIONI_WINDOW_MODULE
#define QUOTAZIONI_WINDOW_MODULE "quotazioni-window.so"
#endif
#ifndef QUOTAZIONI_INSTALLED_MODULE_DIR
#define QUOTAZIONI_INSTALLED_MODULE_DIR "../../lib/quotazioni"
#endif

namespace {

int fail(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    return 1;
}

} // namespace

QStringList windowModuleCandidates(const QString &programFolder)
{
    const QDir folder(programFolder);
    const QString name = QStringLiteral(QUOTAZIONI_WINDOW_MODULE);
    return {QDir::cleanPath(folder.filePath(name)),
            QDir::cleanPath(folder.filePath(QStringLiteral(QUOTAZIONI_INSTALLED_MODULE_DIR "/") + name))};
}

int runWindowModule(int &argc, char **argv, const AppOptions &options, const QString &programFolder)
{
    const QStringList candidates = windowModuleCandidates(programFolder);
    QString path;
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).isFile()) {
            path = candidate;
            break;
        }
    }
    const QString cannotStart = QStringLiteral("Impossibile aprire la finestra del programma: ");
    if (path.isEmpty())
        return fail(cannotStart + QStringLiteral("manca il modulo della finestra (cercato come ") +
                    candidates.join(QStringLiteral(" e ")) + QStringLiteral(")."));

    // Never unloaded: the window's objects live until the program ends. Every symbol is bound at
    // once, so a module that does not fit the program fails here and not in the middle of the work.
    QLibrary module(path);
    module.setLoadHints(QLibrary::ResolveAllSymbolsHint);
    if (!module.load())
        return fail(cannotStart + QStringLiteral("il modulo ") + path + QStringLiteral(" non si carica (") +
                    module.errorString() + QStringLiteral(")."));
    const auto version = reinterpret_cast<WindowVersionFunction>(module.resolve(kWindowVersionName));
    const auto windowMain = reinterpret_cast<WindowMainFunction>(module.resolve(kWindowMainName));
    if (!version || !windowMain || qstrcmp(version(), QUOTAZIONI_VERSION) != 0)
        return fail(cannotStart + QStringLiteral("il modulo ") + path +
                    QStringLiteral(" non è della versione " QUOTAZIONI_VERSION " del programma."));
    return windowMain(argc, argv, options);
}
