#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>

// One blocking HTTP(S) GET. The caller waits in a local event loop that keeps the windows painted and
// timers running but holds back keyboard and mouse input, so nobody can start a second update
// underneath. The body is read as it arrives, through a small read buffer, and the request is
// abandoned as soon as it passes its size limit: an endless page costs no more than the limit. A
// status of 400 or more is a failure: an error page may well carry the symbols, never the quotes.
class QNetworkReply;

class PageFetcher : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kDefaultTimeout{30000};
    static constexpr qint64 kDefaultMaxBytes = 16 * 1024 * 1024;

    enum class Failure {
        None,
        BadAddress, // not an http or https address with a host
        TimedOut,
        TooLarge,
        Transport,  // no connection, reset, redirect loop...
        HttpStatus, // the server answered with a status of 400 or more
        Abandoned   // abandon() was called, or the event loop was told to quit
    };
    struct Result
    {
        bool ok = false;
        QString text;
        Failure failure = Failure::BadAddress;
        // Why, for a person: the network layer's own words for a transport failure, the status and
        // its phrase ("HTTP 500 Internal Server Error"), or what the limits refused.
        QString reason;
        QByteArray body; // as received
        QByteArray contentType;
    };
    // Bytes received so far and the announced length (-1 when unknown), as they arrive.
    using Progress = std::function<void(qint64 received, qint64 total)>;

    explicit PageFetcher(QObject *parent = nullptr);

    // The body as text (see decodePage) and as bytes.
    Result get(const QString &address);
    // The body as bytes only: documents that declare their own encoding, and large ones.
    Result getBytes(const QString &address);
    void setProgress(Progress progress) { m_progress = std::move(progress); }
    // Ends the request under way at once, as a failure; nothing when none is.
    void abandon();

    // The whole request, redirects included, must end within this time.
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    std::chrono::milliseconds timeout() const { return m_timeout; }
    // Bodies longer than this (after any content decoding) are refused.
    void setMaxBytes(qint64 bytes) { m_maxBytes = bytes; }
    qint64 maxBytes() const { return m_maxBytes; }

    // How much of the body Qt may hold before it is read out.
    static constexpr qint64 kReadBufferSize = 64 * 1024;

private:
    QNetworkAccessManager m_manager;
    QNetworkReply *m_current = nullptr;
    bool m_abandoned = false;
    std::chrono::milliseconds m_timeout = kDefaultTimeout;
    qint64 m_maxBytes = kDefaultMaxBytes;
    Progress m_progress;
};

// The body as text: with the charset the response declares, else UTF-8 when valid, else
// Windows-1252. Pages declared as Latin-1 or ASCII are read as Windows-1252, as browsers do, since
// such pages often carry the euro sign and typographic quotes in 0x80-0x9F.
QString decodePage(const QByteArray &body, const QByteArray &contentType);
