#pragma once

#include <QString>
#include <QStringList>

// How a file chooser opens for the box it fills: in the folder of the box's file, with that file
// selected, showing the files of the box's kind first. Built from the box alone, so one box's
// choice never shows in the other's chooser.
struct FileChoice
{
    enum class Kind { QuoteHistory, OfficialRates };

    QString folder;
    QString selectedFile; // the box's file with its full path when it exists, else empty
    QStringList nameFilters;
};

// boxText is read as the commands read it (a relative name from the working folder); a box
// whose folder does not exist opens in the program folder.
FileChoice fileChoice(FileChoice::Kind kind, const QString &boxText, const QString &programFolder);
