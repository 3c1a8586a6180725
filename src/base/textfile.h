#pragma once

#include "base/runtimeerror.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class QFile;

// Files the program reads may come from Windows: they are taken as UTF-8 when valid, otherwise as
// Windows-1252; a byte-order mark (UTF-8 or UTF-16, as Notepad's "Unicode" writes it) decides
// first. Files it writes are UTF-8 with CR LF line ends.
namespace TextFile {

QString decode(const QByteArray &bytes);
QString decodeWindows1252(QByteArrayView bytes);
// UTF-8 without a mark: only the one at the start of a file is a mark, so a U+FEFF at the start of
// these bytes is kept as a character (QString::fromUtf8 would drop it).
QString decodeUtf8(QByteArrayView bytes);

// Splits at LF, CR and CR LF; a final line end does not start another line.
QStringList splitLines(const QString &text);

// The small files read whole at start (currency list, credentials) are read up to this size.
constexpr qint64 smallFileLimit = 1024 * 1024;

// Opens an existing regular file for reading. A folder, a FIFO or a device such as /dev/zero is
// refused ("Errore di accesso al percorso/file") before a byte is read: a FIFO would block until a
// writer came and a device may never end. The error of a failed open is that of the open itself.
RuntimeError openForReading(QFile &file);
// Opens a file for appending, creating it when missing, unbuffered so that a failed write shows at
// once; the error is that of the open itself. A FIFO or a socket is refused ("Errore di accesso al
// percorso/file") without waiting for a reader.
RuntimeError openForAppending(QFile &file);

struct ReadResult
{
    QStringList lines;
    RuntimeError error;     // number 0 when the file was read
    bool truncated = false; // the file is longer than the limit: only the whole lines before it
    bool binary = false;    // the bytes read hold a NUL, which no text file does
};
// Reads a regular file of at most maxBytes; on failure returns the catalogue error and no lines.
ReadResult readLines(const QString &path, qint64 maxBytes = smallFileLimit);

// Appends the lines, each followed by CR LF, as one write so that a failure leaves no half line.
RuntimeError appendLines(const QString &path, const QStringList &lines);

} // namespace TextFile
