#include "base/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TextFile {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80-0x9F.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

// The catalogue error of a failed open(2). A missing name is a missing file when its folder exists
// and a missing path otherwise; the folder is looked at only to tell those two apart.
RuntimeError openError(int error, const QString &path)
{
    using namespace ErrorNumber;
    switch (error) {
    case ENOENT:
        return makeError(QFileInfo(path).dir().exists() ? FileNotFound : PathNotFound);
    case ENOTDIR:
        return makeError(PathNotFound);
    case EACCES:
    case EPERM:
    case EROFS:
        return makeError(PermissionDenied);
    case ENOSPC:
    case EDQUOT:
        return makeError(DiskFull);
    case EMFILE:
    case ENFILE:
        return makeError(TooManyFiles);
    case ENAMETOOLONG:
        return makeError(BadFileName);
    default:
        return makeError(PathFileAccess);
    }
}

// Which files an open takes: reads take regular files only; appends also take a device such as
// /dev/null, but no FIFO or socket, whose reader may never come or never read.
enum class Accepted { RegularOnly, NoPipe };

RuntimeError openDescriptor(QFile &file, int flags, QIODevice::OpenMode mode, Accepted accepted)
{
    const QString path = file.fileName();
    if (path.isEmpty())
        return makeError(ErrorNumber::BadFileName);
    // Without O_NONBLOCK the open of a FIFO waits for its other end; with it, a FIFO nobody reads
    // fails to open for writing (ENXIO).
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return openError(errno, path);
    struct stat status = {};
    const bool refused =
        ::fstat(fd, &status) != 0 ||
        (accepted == Accepted::RegularOnly ? !S_ISREG(status.st_mode)
                                           : S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
    if (refused) {
        ::close(fd);
        return makeError(ErrorNumber::PathFileAccess);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return makeError(ErrorNumber::PathFileAccess);
    }
    return {};
}

} // namespace

QString decodeWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = (byte >= 0x80 && byte < 0xA0) ? QChar(kCp1252High[byte - 0x80]) : QChar(byte);
    }
    return text;
}

QString decodeUtf8(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return utf8.decode(bytes);
}

QString decode(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return decodeUtf8(QByteArrayView(bytes).sliced(3));
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                             QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        const QByteArrayView units = QByteArrayView(bytes).sliced(2);
        const qsizetype wholeUnits = units.size() - units.size() % 2;
        QString text = utf16.decode(units.first(wholeUnits));
        // Half a unit at the end cannot be read: always one replacement character (Qt's decoder
        // drops a lone byte but replaces one that follows whole units).
        if (wholeUnits < units.size())
            text += QChar::ReplacementCharacter;
        return text;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return decodeWindows1252(bytes);
}

QStringList splitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            continue;
        lines.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines.append(text.mid(start));
    return lines;
}

RuntimeError openForReading(QFile &file)
{
    return openDescriptor(file, O_RDONLY, QIODevice::ReadOnly, Accepted::RegularOnly);
}

RuntimeError openForAppending(QFile &file)
{
    return openDescriptor(file, O_WRONLY | O_APPEND | O_CREAT,
                          QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered, Accepted::NoPipe);
}

ReadResult readLines(const QString &path, qint64 maxBytes)
{
    QFile file(path);
    if (const RuntimeError error = openForReading(file); error.isError())
        return {{}, error};
    QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return {{}, fileError(file)};
    ReadResult result;
    if (bytes.size() > maxBytes) {
        // The line the limit cuts is not a line of the file: only those before it are.
        result.truncated = true;
        bytes.truncate(
            std::max(bytes.lastIndexOf('\n', maxBytes - 1), bytes.lastIndexOf('\r', maxBytes - 1)) + 1);
    }
    result.binary = bytes.contains('\0') && !bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF");
    result.lines = splitLines(decode(bytes));
    return result;
}

RuntimeError appendLines(const QString &path, const QStringList &lines)
{
    QFile file(path);
    if (const RuntimeError error = openForAppending(file); error.isError())
        return error;
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toUtf8() + "\r\n";
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const RuntimeError error = fileError(file);
        file.close();
        return error;
    }
    return {};
}

} // namespace TextFile
