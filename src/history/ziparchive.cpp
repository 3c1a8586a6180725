#include "history/ziparchive.h"

#include <QFile>
#include <QIODevice>
#include <zip.h>

namespace {

QString libzipText(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = QString::fromLocal8Bit(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

QString openFailure(int code)
{
    switch (code) {
    case ZIP_ER_NOZIP:
        return QStringLiteral("Il file non è un archivio zip");
    case ZIP_ER_NOENT:
    case ZIP_ER_OPEN:
    case ZIP_ER_READ:
        return QStringLiteral("Impossibile leggere l'archivio zip: %1").arg(libzipText(code));
    default:
        return QStringLiteral("Archivio zip non valido: %1").arg(libzipText(code));
    }
}

QString unreadable(const QString &why)
{
    return QStringLiteral("Impossibile leggere il file nell'archivio zip: %1").arg(why);
}

// Entries that are not the archive's content: folders, and the resource forks macOS keeps beside
// every file it zips.
bool isSideEntry(const QString &name)
{
    return name.endsWith(u'/') || name.startsWith(QStringLiteral("__MACOSX/"));
}

// The inflated bytes of one file of an open archive, counted against the limit as they come.
class ZipFileDevice : public QIODevice
{
public:
    ZipFileDevice(zip_file_t *file, qint64 maxSize) : m_file(file), m_maxSize(maxSize)
    {
        open(QIODevice::ReadOnly);
    }
    ~ZipFileDevice() override
    {
        close();
        zip_fclose(m_file);
    }

    bool isSequential() const override { return true; }
    // The base class takes an empty buffer of a sequential device for its end.
    bool atEnd() const override { return m_end && QIODevice::atEnd(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (m_failed)
            return -1;
        if (m_end || maxSize <= 0)
            return 0;
        // One byte past the limit, so that a file of exactly the limit still reads to its end.
        const qint64 wanted = std::min(maxSize, m_maxSize - m_inflated + 1);
        const zip_int64_t got = zip_fread(m_file, data, zip_uint64_t(wanted));
        if (got < 0) {
            fail(QStringLiteral("dati danneggiati (%1)")
                     .arg(QString::fromLocal8Bit(zip_file_strerror(m_file))));
            return -1;
        }
        m_inflated += got;
        if (m_inflated > m_maxSize) {
            fail(QStringLiteral("oltre %1 MiB una volta espanso").arg(m_maxSize / (1024 * 1024)));
            return -1;
        }
        if (got == 0)
            m_end = true;
        return got;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    void fail(const QString &text)
    {
        m_failed = true;
        setErrorString(text);
    }

    zip_file_t *m_file;
    qint64 m_maxSize;
    qint64 m_inflated = 0;
    bool m_end = false;
    bool m_failed = false;
};

} // namespace

ZipArchive::ZipArchive() = default;

ZipArchive::~ZipArchive()
{
    close();
}

void ZipArchive::close()
{
    m_content.reset(); // closes the file before its archive
    if (m_archive)
        zip_discard(m_archive);
    m_archive = nullptr;
    m_data.clear();
    m_entryName.clear();
    m_declaredSize = 0;
    m_error.clear();
}

bool ZipArchive::openFile(const QString &fileName, qint64 maxInflatedSize)
{
    close();
    int code = ZIP_ER_OK;
    zip *archive = zip_open(QFile::encodeName(fileName).constData(), ZIP_RDONLY, &code);
    if (!archive) {
        m_error = openFailure(code);
        return false;
    }
    return openArchive(archive, maxInflatedSize);
}

bool ZipArchive::openData(const QByteArray &data, qint64 maxInflatedSize)
{
    close();
    m_data = data;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source =
        zip_source_buffer_create(m_data.constData(), zip_uint64_t(m_data.size()), 0, &error);
    zip *archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (!archive) {
        if (source)
            zip_source_free(source);
        m_error = openFailure(zip_error_code_zip(&error));
        zip_error_fini(&error);
        m_data.clear();
        return false;
    }
    zip_error_fini(&error);
    return openArchive(archive, maxInflatedSize);
}

bool ZipArchive::openArchive(zip *archive, qint64 maxInflatedSize)
{
    m_archive = archive;
    const auto failed = [this](const QString &text) {
        close();
        m_error = text;
        return false;
    };

    const zip_int64_t entries = zip_get_num_entries(archive, 0);
    zip_int64_t chosen = -1;
    zip_stat_t stat;
    for (zip_int64_t i = 0; i < entries; ++i) {
        zip_stat_init(&stat);
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME))
            return failed(QStringLiteral("Archivio zip non valido: %1")
                              .arg(QString::fromLocal8Bit(zip_strerror(archive))));
        if (isSideEntry(QString::fromUtf8(stat.name)))
            continue;
        if (chosen >= 0)
            return failed(QStringLiteral("L'archivio zip contiene più di un file"));
        chosen = i;
    }
    if (chosen < 0)
        return failed(QStringLiteral("L'archivio zip non contiene alcun file"));

    zip_stat_init(&stat);
    zip_stat_index(archive, zip_uint64_t(chosen), 0, &stat);
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
        return failed(QStringLiteral("Il file nell'archivio zip è cifrato"));
    if ((stat.valid & ZIP_STAT_COMP_METHOD) && !zip_compression_method_supported(stat.comp_method, 0))
        return failed(QStringLiteral("Il file nell'archivio zip è compresso con un metodo non supportato"));

    // A damaged file shows itself only at its end, where the checksum is compared: inflate it once to
    // the end before handing any of it out, so that no day of a damaged archive is ever stored.
    zip_file_t *checked = zip_fopen_index(archive, zip_uint64_t(chosen), 0);
    if (!checked)
        return failed(unreadable(QString::fromLocal8Bit(zip_strerror(archive))));
    {
        ZipFileDevice whole(checked, maxInflatedSize);
        QByteArray chunk(64 * 1024, Qt::Uninitialized);
        qint64 got = 0;
        while ((got = whole.read(chunk.data(), chunk.size())) > 0) {
        }
        if (got < 0)
            return failed(unreadable(whole.errorString()));
    }
    zip_file_t *file = zip_fopen_index(archive, zip_uint64_t(chosen), 0);
    if (!file)
        return failed(unreadable(QString::fromLocal8Bit(zip_strerror(archive))));
    m_entryName = QString::fromUtf8(stat.name);
    m_declaredSize = (stat.valid & ZIP_STAT_SIZE) ? qint64(stat.size) : -1;
    m_content = std::make_unique<ZipFileDevice>(file, maxInflatedSize);
    return true;
}

QIODevice *ZipArchive::content() const
{
    return m_content.get();
}
