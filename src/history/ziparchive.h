#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class QIODevice;
struct zip;

// A zip archive holding one file (the central bank publishes its CSV history as such an archive),
// read with libzip. Directory entries and macOS's "__MACOSX/" side folder (which the Finder adds when a
// user zips the file again) are not counted; any other second file, an encrypted file or a compression
// method libzip cannot inflate makes the archive unreadable.
//
// Opening inflates the file once to its end, discarding the bytes, so that a damaged file (checksum)
// or one beyond the size limit is refused before any of it is handed out; content() then inflates it
// again as it is read, never holding it whole. The limit counts the bytes actually inflated (the size
// the archive declares is not trusted): a small archive that inflates to gigabytes stops at the limit.
class ZipArchive
{
public:
    // Far above any history the bank publishes (about 8 MB for a quarter century), far below what
    // would strain a desktop.
    static constexpr qint64 defaultMaxInflatedSize = 256LL * 1024 * 1024;

    ZipArchive();
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    // Opens the archive and its one file; false with errorString() otherwise. maxInflatedSize is the
    // most the file may inflate to.
    bool openFile(const QString &fileName, qint64 maxInflatedSize = defaultMaxInflatedSize);
    bool openData(const QByteArray &data, qint64 maxInflatedSize = defaultMaxInflatedSize);

    // Why the archive could not be opened (Italian, libzip's own text after a colon where it has one).
    QString errorString() const { return m_error; }

    // The one file's name in the archive and the size the archive declares for it (-1 when it declares
    // none).
    QString entryName() const { return m_entryName; }
    qint64 declaredSize() const { return m_declaredSize; }

    // The one file's inflated bytes, a sequential read-only device owned by the archive; null before a
    // successful open. A read still fails (-1, errorString()) when the data is corrupt, its checksum
    // does not match or it inflates beyond the limit, should the archive change after opening.
    QIODevice *content() const;

private:
    bool openArchive(zip *archive, qint64 maxInflatedSize);
    void close();

    QByteArray m_data; // the archive's bytes for openData(), which libzip reads in place
    zip *m_archive = nullptr;
    std::unique_ptr<QIODevice> m_content;
    QString m_entryName;
    qint64 m_declaredSize = 0;
    QString m_error;
};
