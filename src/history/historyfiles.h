#pragma once

#include "base/runtimeerror.h"

#include <QByteArray>
#include <QFile>
#include <QString>

// A history file open for appending whole lines. A new or empty file gets the header first. Each
// append goes out in one unbuffered write, so that nothing is left pending after a failure, and the
// last append can be cut back out of the file. A file that ends inside a line (its last line left
// without an end by an editor, or cut by a run killed in the middle of a write) has that line ended
// before the first append, so that the new lines start lines of their own.
class AppendFile
{
public:
    explicit AppendFile(const QString &path) : m_path(path), m_file(path) {}

    // Creates the file when missing; the error is that of the open itself.
    bool open();
    RuntimeError error() const { return m_error; }

    // Whole lines, already ended.
    bool append(const QByteArray &bytes);
    // Cuts the file back to its size before the last append, while it still ends with what that
    // append wrote: another program may have appended since.
    void takeBackLastWrite();

private:
    void writeHeaderIfEmpty();
    bool endsInsideLine() const;

    QString m_path;
    QFile m_file;
    qint64 m_sizeBefore = 0;
    qint64 m_written = 0;
    bool m_insideLine = false;       // the file ends inside a line
    bool m_insideLineBefore = false; // and did so before the last append
    RuntimeError m_error;
};
