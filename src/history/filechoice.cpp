#include "history/filechoice.h"

#include <QDir>
#include <QFileInfo>

FileChoice fileChoice(FileChoice::Kind kind, const QString &boxText, const QString &programFolder)
{
    FileChoice choice;
    choice.nameFilters = {kind == FileChoice::Kind::QuoteHistory
                              ? QStringLiteral("Storico quotazioni (*.TXT *.txt)")
                              : QStringLiteral("Cambi ufficiali (*.csv *.CSV *.zip *.xml)"),
                          QStringLiteral("Tutti i file (*)")};
    choice.folder = programFolder;
    const QString name = boxText.trimmed();
    if (name.isEmpty())
        return choice;
    const QFileInfo file(name);
    if (file.absoluteDir().exists())
        choice.folder = file.absolutePath();
    if (file.isFile())
        choice.selectedFile = file.absoluteFilePath();
    return choice;
}
