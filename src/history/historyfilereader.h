#pragma once

#include <QStringList>

class UserDialogs;

// Lists the lines of the text history file that belong to a pair: the code stands where the
// record-list line has it.
class HistoryFileReader
{
public:
    // Whole lines in file order; a file that cannot be read gives its message and no lines. The
    // file name is taken without the blanks around it.
    static QStringList run(const QString &fileName, const QString &pairSymbol, UserDialogs &dialogs);
};
