#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <chrono>

// One blocking HTTP(S) GET. The caller waits in a local event loop that keeps the windows painted and
// timers running but holds back keyboard and mouse input, so nobody can start a second update
// underneath. The HTTP status is not looked at: an error page's text is a page like any other. Only a
// transport failure (no connection, reset, redirect loop, time-out, oversized response, address that
// is not http or https) is a failure.
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
        Transport // no connection, reset, redirect loop...: reason() has the transport's words
    };
    struct Result
    {
        bool ok = false;
        QString text;
        Failure failure = Failure::BadAddress;
        QString reason; // the network layer's own text of a transport failure
    };

    explicit PageFetcher(QObject *parent = nullptr);

    Result get(const QString &address);

    // The whole request, redirects included, must end within this time.
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    std::chrono::milliseconds timeout() const { return m_timeout; }
    // Bodies longer than this (after any content decoding) are refused.
    void setMaxBytes(qint64 bytes) { m_maxBytes = bytes; }
    qint64 maxBytes() const { return m_maxBytes; }

private:
    QNetworkAccessManager m_manager;
    std::chrono::milliseconds m_timeout = kDefaultTimeout;
    qint64 m_maxBytes = kDefaultMaxBytes;
};

// The body as text: with the charset the response declares, else UTF-8 when valid, else
// Windows-1252. Pages declared as Latin-1 or ASCII are read as Windows-1252, as browsers do, since
// such pages often carry the euro sign and typographic quotes in 0x80-0x9F.
QString decodePage(const QByteArray &body, const QByteArray &contentType);
