#include "quotes/pagefetcher.h"

#include "base/textfile.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

namespace {

QByteArray charsetOf(const QByteArray &contentType)
{
    const QList<QByteArray> parts = contentType.split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray part = parts.at(i).trimmed();
        const qsizetype equals = part.indexOf('=');
        if (equals < 0 || part.left(equals).trimmed().toLower() != "charset")
            continue;
        QByteArray value = part.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        return value.trimmed().toLower();
    }
    return {};
}

bool isLatin1Label(const QByteArray &charset)
{
    static const QByteArrayList labels = {"iso-8859-1", "iso8859-1",    "latin1",     "l1",
                                          "us-ascii",   "ascii",        "iso_8859-1", "cp819",
                                          "ibm819",     "windows-1252", "cp1252"};
    return labels.contains(charset);
}

// What has arrived, up to `most` bytes: asking for more than has arrived would set aside a buffer
// of the whole limit at every chunk.
QByteArray readAvailable(QNetworkReply &reply, qint64 most)
{
    return reply.read(std::min(reply.bytesAvailable(), most));
}

qint64 announcedLength(const QNetworkReply &reply)
{
    bool known = false;
    const qint64 length = reply.header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    return known ? length : -1;
}

// A limit as a person reads it: "16 MiB", "64 KiB".
QString sizeText(qint64 bytes)
{
    constexpr double kib = 1024, mib = 1024 * 1024;
    return bytes >= mib ? QString::number(double(bytes) / mib, 'g', 3) + QStringLiteral(" MiB")
                        : QString::number(double(bytes) / kib, 'g', 3) + QStringLiteral(" KiB");
}

} // namespace

QString decodePage(const QByteArray &body, const QByteArray &contentType)
{
    const QByteArray charset = charsetOf(contentType);
    if (!charset.isEmpty()) {
        QStringDecoder decoder(isLatin1Label(charset) ? "windows-1252" : charset.constData(),
                               QStringDecoder::Flag::Stateless);
        if (decoder.isValid())
            return decoder.decode(body);
    }
    return TextFile::decode(body);
}

PageFetcher::PageFetcher(QObject *parent) : QObject(parent) {}

void PageFetcher::abandon()
{
    m_abandoned = true;
    if (m_current)
        m_current->abort();
}

PageFetcher::Result PageFetcher::get(const QString &address)
{
    Result result = getBytes(address);
    if (result.ok)
        result.text = decodePage(result.body, result.contentType);
    return result;
}

PageFetcher::Result PageFetcher::getBytes(const QString &address)
{
    const QUrl url(address.trimmed());
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"http" && scheme != u"https")) {
        Result refused;
        refused.reason = QStringLiteral("indirizzo non valido (serve http o https)");
        return refused;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(20);
    m_abandoned = false;
    QNetworkReply *reply = m_manager.get(request);
    // Without a bound Qt reads the body as fast as the network brings it, whether or not it is read
    // out: an endless page would fill memory long before the size limit is looked at.
    reply->setReadBufferSize(kReadBufferSize);
    m_current = reply;

    QByteArray body;
    bool refused = false;
    Failure refusal = Failure::None;
    const auto refuse = [&](Failure why) {
        refused = true;
        refusal = why;
        reply->abort();
    };
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, reply, [&] { refuse(Failure::TimedOut); });
    // These lambdas see this frame's locals: they must not outlive it (the reply is deleted later).
    const QMetaObject::Connection onHeaders = connect(reply, &QNetworkReply::metaDataChanged, reply, [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > m_maxBytes)
            refuse(Failure::TooLarge);
    });
    const QMetaObject::Connection onData = connect(reply, &QNetworkReply::readyRead, reply, [&] {
        body += readAvailable(*reply, m_maxBytes - body.size() + 1);
        if (body.size() > m_maxBytes)
            refuse(Failure::TooLarge);
        else if (m_progress)
            m_progress(body.size(), announcedLength(*reply));
    });
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);

    if (!reply->isFinished() && !m_abandoned) {
        deadline.start(m_timeout);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    deadline.stop();
    m_current = nullptr;
    // The loop also ends when the application is told to quit: what came so far is not a page.
    if (!refused && (m_abandoned || !reply->isFinished())) {
        refused = true;
        refusal = Failure::Abandoned;
        reply->abort();
    }

    Result result;
    const QNetworkReply::NetworkError error = reply->error();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (refused) {
        result.failure = refusal;
        switch (refusal) {
        case Failure::TimedOut:
            result.reason = QStringLiteral("nessuna risposta completa entro %1 secondi")
                                .arg(std::chrono::duration<double>(m_timeout).count());
            break;
        case Failure::TooLarge:
            result.reason = QStringLiteral("risposta oltre %1").arg(sizeText(m_maxBytes));
            break;
        default:
            result.reason = QStringLiteral("lettura interrotta");
            break;
        }
    } else if (status >= 400) {
        result.failure = Failure::HttpStatus;
        result.reason = QStringLiteral("HTTP %1 %2")
                            .arg(status)
                            .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString())
                            .trimmed();
    } else if (error == QNetworkReply::NoError) {
        body += readAvailable(*reply, m_maxBytes - body.size() + 1);
        if (body.size() <= m_maxBytes) {
            result.ok = true;
            result.failure = Failure::None;
            result.body = std::move(body);
            result.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
        } else {
            result.failure = Failure::TooLarge;
            result.reason = QStringLiteral("risposta oltre %1").arg(sizeText(m_maxBytes));
        }
    } else {
        result.failure = Failure::Transport;
        result.reason = reply->errorString();
    }
    disconnect(onHeaders);
    disconnect(onData);
    reply->deleteLater();
    return result;
}
