#include "base/runtimeerror.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>
#include <QHash>

namespace {

const QHash<int, QString> &catalogue()
{
    static const QHash<int, QString> texts = {
        {3, QStringLiteral("Return senza GoSub")},
        {5, QStringLiteral("Chiamata di routine o argomento non validi")},
        {6, QStringLiteral("Overflow")},
        {7, QStringLiteral("Memoria esaurita")},
        {9, QStringLiteral("Indice non incluso nell'intervallo")},
        {11, QStringLiteral("Divisione per zero")},
        {13, QStringLiteral("Tipo non corrispondente")},
        {28, QStringLiteral("Spazio di stack esaurito")},
        {52, QStringLiteral("Nome o numero di file non valido")},
        {53, QStringLiteral("Impossibile trovare il file")},
        {54, QStringLiteral("Modalità del file non valida")},
        {55, QStringLiteral("File già aperto")},
        {57, QStringLiteral("Errore di I/O della periferica")},
        {58, QStringLiteral("File già esistente")},
        {61, QStringLiteral("Disco pieno")},
        {62, QStringLiteral("Input oltre la fine del file")},
        {67, QStringLiteral("Troppi file")},
        {68, QStringLiteral("Periferica non disponibile")},
        {70, QStringLiteral("Autorizzazione negata")},
        {71, QStringLiteral("Disco non pronto")},
        {75, QStringLiteral("Errore di accesso al percorso/file")},
        {76, QStringLiteral("Impossibile trovare il percorso")},
        {91, QStringLiteral("Variabile oggetto o variabile del blocco With non impostata")},
        {94, QStringLiteral("Utilizzo non valido di Null")},
    };
    return texts;
}

} // namespace

QString runtimeErrorText(int number)
{
    return catalogue().value(number, QStringLiteral("Errore definito dall'applicazione o dall'oggetto"));
}

RuntimeError makeError(int number)
{
    return {number, runtimeErrorText(number)};
}

RuntimeError fileError(const QFileDevice &file)
{
    using namespace ErrorNumber;
    switch (file.error()) {
    case QFileDevice::OpenError: {
        const QFileInfo info(file.fileName());
        if (file.fileName().isEmpty())
            return makeError(52);
        if (!info.dir().exists())
            return makeError(PathNotFound);
        if (!info.exists() && !(file.openMode() & QIODevice::WriteOnly))
            return makeError(FileNotFound);
        if (info.exists() && (!info.isReadable() || (info.isFile() && !info.isWritable())))
            return makeError(PermissionDenied);
        return makeError(PathFileAccess);
    }
    case QFileDevice::PermissionsError:
        return makeError(PermissionDenied);
    case QFileDevice::ReadError:
        return makeError(DeviceIo);
    case QFileDevice::WriteError:
    case QFileDevice::ResizeError:
    case QFileDevice::ResourceError: // no space left on the device
        return makeError(DiskFull);
    default:
        return makeError(PathFileAccess);
    }
}
