#pragma once

#include "core/quotetable.h"
#include "core/shownquote.h"

class HistoryDb;
class UserDialogs;

struct RecordingResult
{
    ShownQuote shown;       // what the quote label shows afterwards: the last row recorded
    qsizetype recorded = 0; // rows stored in the database and in both history files
    bool completed = false; // every row was recorded
};

// Records the quote table into the history database and the two history files (text and ".CSV").
// A row goes into all three or into none: rows are recorded in groups, each group's database changes
// committed only after its lines are written to both files, and lines that fail are taken back out of
// the file they reached. After a failure the rows before the failing one stay recorded. Another
// program recording at the same time is waited for.
class HistoryRecording
{
public:
    // Nothing is recorded while the label marks the quote as not available, nor when the label is
    // empty and the table holds no row. The file name is taken without the blanks around it.
    static RecordingResult run(const ShownQuote &shown, const QString &historyFileName,
                               const QuoteTable &table, HistoryDb &db, UserDialogs &dialogs);

    // The semicolon twin of a text history file: the extension of the file-name part replaced by
    // ".CSV", or ".CSV" appended when there is none. Folders may be written with '/' or '\', and the
    // twin is never the text file itself.
    static QString csvTwinName(const QString &textFileName);

    // The two failure messages: a history file that cannot be opened (named by the text file), and
    // a record or line that cannot be written (the lookup query or the line).
    static QString fileFailureMessage(const QString &errorText, const QString &textFileName);
    static QString recordFailureMessage(const QString &errorText, const QString &what);

    static QString textLine(const QuoteRow &row);
    static QString csvLine(const QuoteRow &row);
    // Both lines of a row at once, the quote text made once.
    struct Lines
    {
        QString text, csv;
    };
    static Lines lines(const QuoteRow &row);
    static const QString &header();
};
