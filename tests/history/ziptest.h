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

// A libzip source of `size` bytes, the prefix then the filler byte, produced as libzip asks for them:
// archives that inflate to hundreds of megabytes without ever holding them.
struct Filler
{
    QByteArray prefix;
    char filler = 0;
    zip_uint64_t size = 0;
    zip_uint64_t position = 0;
    zip_error_t error;
};

inline zip_int64_t fill(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command)
{
    auto *source = static_cast<Filler *>(state);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        source->position = 0;
        return 0;
    case ZIP_SOURCE_READ: {
        const zip_uint64_t n = std::min(length, source->size - source->position);
        auto *out = static_cast<char *>(data);
        for (zip_uint64_t i = 0; i < n; ++i) {
            const zip_uint64_t at = source->position + i;
            out[i] =
                at < zip_uint64_t(source->prefix.size()) ? source->prefix[qsizetype(at)] : source->filler;
        }
        source->position += n;
        return zip_int64_t(n);
    }
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto *stat = static_cast<zip_stat_t *>(data);
        zip_stat_init(stat);
        stat->size = source->size;
        stat->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&source->error, data, length);
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
        zip_error_set(&source->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

// Writes the archive; the entries' data must live until then. filler, when given, is one more entry.
inline QByteArray makeZip(const QString &path, const Entries &entries, Filler *filler = nullptr)
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
    if (filler) {
        zip_error_init(&filler->error);
        zip_source_t *source = zip_source_function(archive, fill, filler);
        const zip_int64_t index = zip_file_add(archive, "eurofxref-hist.csv", source, 0);
        zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_DEFLATE, 1);
    }
    return zip_close(archive) == 0 ? fileBytes(path) : QByteArray();
}

Q_DECLARE_METATYPE(Entries)
