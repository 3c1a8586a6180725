#pragma once

#include <QStringList>

class UserDialogs;

// Lists the lines of the text history file that belong to the selected currency: the code stands
// at positions 23-29 of an entry line.
class HistoryFileReader
{
public:
    // Whole lines in file order; a file that cannot be read gives its message and no lines.
    static QStringList run(const QString &text2Text, const QString &combo1Text, UserDialogs &dialogs);
};
