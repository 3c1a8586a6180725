#pragma once

#include "base/runtimeerror.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Files the program reads may come from Windows: they are taken as UTF-8 when valid, otherwise as
// Windows-1252. Files it writes are UTF-8 with CR LF line ends.
namespace TextFile {

QString decode(const QByteArray &bytes);

// Splits at LF, CR and CR LF; a final line end does not start another line.
QStringList splitLines(const QString &text);

struct ReadResult
{
    QStringList lines;
    RuntimeError error; // number 0 when the whole file was read
};
// Reads the whole file, or only its first maxBytes when maxBytes >= 0; on failure returns the catalogue
// error and no lines.
ReadResult readLines(const QString &path, qint64 maxBytes = -1);

// Appends the lines, each followed by CR LF, as one write so that a failure leaves no half line.
RuntimeError appendLines(const QString &path, const QStringList &lines);

} // namespace TextFile
