#include "history/historyfiles.h"

#include "base/textfile.h"
#include "history/historyrecording.h"

#include <QFileInfo>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// A new history file appears with its header already in it: the header is written to an unnamed file
// of the same folder, which then takes the name (unless another program has just made the file), so
// that a run killed in between leaves no file without a header. Where the file system cannot, the
// file is created when it is opened and its header written then.
void createWithHeader(const QString &path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0)
        return;
    const QByteArray header = HistoryRecording::header().toUtf8() + "\r\n";
    if (::write(fd, header.constData(), size_t(header.size())) == header.size()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, QFile::encodeName(path).constData(),
                 AT_SYMLINK_FOLLOW);
    }
    ::close(fd);
}

} // namespace

bool AppendFile::open()
{
    if (!QFileInfo::exists(m_file.fileName()))
        createWithHeader(m_file.fileName());
    m_error = TextFile::openForAppending(m_file);
    if (m_error.isError())
        return false;
    writeHeaderIfEmpty();
    m_insideLine = endsInsideLine();
    return true;
}

bool AppendFile::endsInsideLine() const
{
    if (m_file.isSequential() || m_file.size() == 0)
        return false;
    QFile tail(m_path); // the file opened from its descriptor has no name
    char last = '\n';
    if (TextFile::openForReading(tail).isError() || !tail.seek(tail.size() - 1) || !tail.getChar(&last))
        return false;
    return last != '\n' && last != '\r';
}

bool AppendFile::append(const QByteArray &bytes)
{
    m_sizeBefore = m_file.isSequential() ? 0 : m_file.size();
    m_insideLineBefore = m_insideLine;
    const QByteArray out = m_insideLine ? "\r\n" + bytes : bytes;
    m_written = out.size();
    if (m_file.write(out) == out.size()) {
        m_insideLine = false;
        return true;
    }
    // A short write may carry no error at all: the disk is full.
    m_error = m_file.error() == QFileDevice::NoError ? makeError(ErrorNumber::DiskFull) : fileError(m_file);
    return false;
}

void AppendFile::takeBackLastWrite()
{
    if (!m_file.isSequential() && m_file.size() <= m_sizeBefore + m_written && m_file.resize(m_sizeBefore))
        m_insideLine = m_insideLineBefore;
}

// A new history file starts with the header, and so does one left empty by a run that ended between
// creating it and writing its header. The lock keeps two programs recording at once from both
// writing it.
void AppendFile::writeHeaderIfEmpty()
{
    if (m_file.isSequential())
        return;
    const int fd = m_file.handle();
    ::flock(fd, LOCK_EX);
    if (m_file.size() == 0)
        m_file.write(HistoryRecording::header().toUtf8() + "\r\n"); // a failure shows at the first line
    ::flock(fd, LOCK_UN);
}
