#pragma once

#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <QTcpServer>
#include <QUrl>

// A small real HTTP/1.0 server on 127.0.0.1 for tests. Each path has a canned behaviour.
class HttpServer : public QObject
{
    Q_OBJECT
public:
    struct Reply
    {
        // Endless: a chunked body that never ends, written as fast as the client reads it.
        enum class Kind { Body, Hang, Close, RedirectLoop, Redirect, Endless };
        Kind kind = Kind::Body;
        int status = 200;
        QByteArray contentType = "text/html";
        QByteArray body;
        QByteArray location; // for Redirect
    };

    explicit HttpServer(QObject *parent = nullptr);

    void setReply(const QString &path, const Reply &reply) { m_replies.insert(path, reply); }
    void setPage(const QString &path, const QByteArray &body, int status = 200,
                 const QByteArray &contentType = "text/html");
    QUrl url(const QString &path) const;
    int requestCount() const { return m_requests; }
    // The paths asked for, in order.
    const QStringList &requestedPaths() const { return m_paths; }
    void clearRequests() { m_paths.clear(); }

private:
    void onNewConnection();
    void answer(QTcpSocket *socket, const QByteArray &path);

    QTcpServer m_server;
    QHash<QString, Reply> m_replies;
    int m_requests = 0;
    QStringList m_paths;
};
