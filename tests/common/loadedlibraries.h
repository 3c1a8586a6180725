#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

// What a run of the program mapped, read from the dynamic loader's own account of it: the program runs
// with LD_DEBUG=libs and LD_DEBUG_OUTPUT=<prefix>, and the loader writes <prefix>.<pid>.
namespace loadedlibraries {

inline QStringList environment(const QString &prefix)
{
    return {QStringLiteral("LD_DEBUG=libs"), QStringLiteral("LD_DEBUG_OUTPUT=") + prefix};
}

// Forgets the accounts of earlier runs.
inline void clear(const QString &prefix)
{
    const QFileInfo info(prefix);
    for (const QString &name :
         QDir(info.path()).entryList({info.fileName() + QStringLiteral(".*")}, QDir::Files))
        QFile::remove(info.dir().filePath(name));
}

// The file names of the shared objects mapped, in the order they were started (every one this
// program meets has code to run at start).
inline QStringList all(const QString &prefix)
{
    static const QRegularExpression mapped(QStringLiteral("calling init: (\\S+)"));
    const QFileInfo info(prefix);
    QStringList names;
    for (const QString &name :
         QDir(info.path()).entryList({info.fileName() + QStringLiteral(".*")}, QDir::Files)) {
        QFile file(info.dir().filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromLocal8Bit(file.readAll());
        for (auto match = mapped.globalMatch(text); match.hasNext();)
            names.append(QFileInfo(match.next().captured(1)).fileName());
    }
    return names;
}

// Those of them that only the window needs: Qt's Gui, Widgets and PrintSupport, the window system's
// and the window module.
inline QStringList window(const QStringList &libraries)
{
    static const QRegularExpression windowOnly(QStringLiteral(
        "^(libQt6(Gui|Widgets|PrintSupport|XcbQpa|OpenGL)|libX11|libxcb|libGL|libEGL|libfontconfig|"
        "libfreetype|libharfbuzz|libxkbcommon|quotazioni-window)"));
    QStringList found;
    for (const QString &library : libraries)
        if (windowOnly.match(library).hasMatch())
            found.append(library);
    return found;
}

} // namespace loadedlibraries
