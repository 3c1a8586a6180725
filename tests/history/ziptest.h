#pragma once

// Zip archives written by the tests with libzip, the library the program reads them with.

#include "common/files.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QMetaType>
#include <QString>
#include <zip.h>

// An archive entry as the tests write it with libzip.
struct Entry
{
    QByteArray name;
    QByteArray data;
    zip_int32_t method = ZIP_CM_DEFLATE;
    zip_uint16_t encryption = ZIP_EM_NONE;
};
using Entries = QList<Entry>;

// `size` bytes, the prefix then the filler byte, given to libzip as fragments of one 1 MiB buffer:
// archives that inflate to hundreds of megabytes without ever holding them.
struct Filler
{
    QByteArray prefix;
    char filler = 0;
    qint64 size = 0;
};

// Writes the archive; the entries' data must live until then. filler, when given, is one more entry.
inline QByteArray makeZip(const QString &path, const Entries &entries, const Filler *filler = nullptr)
{
    int code = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive)
        return QByteArray();
    for (const Entry &entry : entries) {
        zip_int64_t index = -1;
        if (entry.name.endsWith('/')) {
            index = zip_dir_add(archive, entry.name.constData(), ZIP_FL_ENC_UTF_8);
        } else {
            zip_source_t *source = zip_source_buffer(archive, entry.data.constData(), entry.data.size(), 0);
            index = zip_file_add(archive, entry.name.constData(), source, ZIP_FL_ENC_UTF_8);
            zip_set_file_compression(archive, zip_uint64_t(index), entry.method, 0);
            if (entry.encryption != ZIP_EM_NONE)
                zip_file_set_encryption(archive, zip_uint64_t(index), entry.encryption, "segreto");
        }
        if (index < 0)
            return QByteArray();
    }
    QByteArray prefix, chunk;
    QList<zip_buffer_fragment_t> fragments;
    if (filler) {
        prefix = filler->prefix;
        chunk = QByteArray(1024 * 1024, filler->filler);
        fragments.append({reinterpret_cast<zip_uint8_t *>(prefix.data()), zip_uint64_t(prefix.size())});
        for (qint64 left = filler->size - prefix.size(); left > 0; left -= chunk.size())
            fragments.append({reinterpret_cast<zip_uint8_t *>(chunk.data()),
                              zip_uint64_t(std::min<qint64>(left, chunk.size()))});
        zip_source_t *source =
            zip_source_buffer_fragment(archive, fragments.constData(), fragments.size(), 0);
        const zip_int64_t index = zip_file_add(archive, "eurofxref-hist.csv", source, 0);
        zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_DEFLATE, 1);
    }
    return zip_close(archive) == 0 ? fileBytes(path) : QByteArray();
}

Q_DECLARE_METATYPE(Entries)
