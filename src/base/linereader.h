#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

class QIODevice;

// Reads a text file a line at a time in bounded memory, giving the lines that
// TextFile::splitLines(TextFile::decode(all its bytes)) would give. The encoding belongs to the whole
// file (a byte-order mark, else UTF-8 when all of it is valid UTF-8, else Windows-1252), so scan()
// reads the file once to decide it, and counts the lines on the way, before next() hands them out.
// A file of any length costs a block and the longest line; a line longer than the limit is a failure,
// not a reason to hold gigabytes.
class LineReader
{
public:
    static constexpr qint64 defaultMaxLineBytes = 1024 * 1024;
    static constexpr qint64 defaultBlockSize = 256 * 1024;

    enum class Failure {
        None,
        Read,       // the device reported an error
        LineTooLong // a line is longer than the limit
    };

    // The device must be open, at its start and seekable (a regular file or a buffer).
    explicit LineReader(QIODevice &device, qint64 maxLineBytes = defaultMaxLineBytes,
                        qint64 blockSize = defaultBlockSize);

    // The first pass. It stops at the first NUL character, the mark of a file that is not text
    // (the line count is then unknown). False when the device could not be read.
    bool scan();
    qint64 lineCount() const { return m_lineCount; }
    bool hasNul() const { return m_hasNul; }

    // The next line; false after the last one, or on a failure.
    bool next(QString &line);
    Failure failure() const { return m_failure; }

private:
    enum class Encoding { Utf8, Windows1252, Utf16LE, Utf16BE };
    bool wide() const { return m_encoding == Encoding::Utf16LE || m_encoding == Encoding::Utf16BE; }
    // Reads one block into the buffer of the second pass; false at the end or on a failure.
    bool fill();
    bool fail(Failure failure);
    QString lineAt(qsizetype from, qsizetype length) const;
    char16_t unitAt(qsizetype index) const;

    QIODevice &m_device;
    qint64 m_maxLineBytes;
    qint64 m_blockSize;
    Encoding m_encoding = Encoding::Utf8;
    qint64 m_dataStart = 0; // after the byte-order mark
    qint64 m_lineCount = 0;
    bool m_hasNul = false;
    Failure m_failure = Failure::None;

    // Second pass: the bytes (or, for UTF-16, the text) read and not yet handed out.
    QByteArray m_bytes;
    QString m_text;
    QStringDecoder m_wideDecoder;
    qint64 m_wideBytes = 0;   // UTF-16 bytes decoded so far
    qsizetype m_position = 0; // start of the next line in the buffer
    qsizetype m_searched = 0; // the buffer holds no line end between m_position and this
    bool m_atEnd = false;
};
