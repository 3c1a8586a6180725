#include "common/httpserver.h"

#include <QTcpSocket>

namespace {

// The phrase a real server sends, so that messages quoting it read as they would in use.
QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

} // namespace

HttpServer::HttpServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &HttpServer::onNewConnection);
    m_server.listen(QHostAddress::LocalHost, 0);
}

void HttpServer::setPage(const QString &path, const QByteArray &body, int status,
                         const QByteArray &contentType)
{
    Reply reply;
    reply.body = body;
    reply.status = status;
    reply.contentType = contentType;
    setReply(path, reply);
}

QUrl HttpServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
}

void HttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            if (!buffer->contains("\r\n\r\n"))
                return;
            const QList<QByteArray> requestLine = buffer->left(buffer->indexOf("\r\n")).split(' ');
            buffer->clear();
            answer(socket, requestLine.value(1));
        });
    }
}

void HttpServer::answer(QTcpSocket *socket, const QByteArray &path)
{
    ++m_requests;
    m_paths.append(QString::fromLatin1(path));
    const auto it = m_replies.constFind(QString::fromLatin1(path));
    if (it == m_replies.constEnd()) {
        socket->write("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        socket->disconnectFromHost();
        return;
    }
    const Reply &reply = *it;
    switch (reply.kind) {
    case Reply::Kind::Hang:
        return; // keep the connection open and never answer
    case Reply::Kind::Close:
        socket->abort();
        return;
    case Reply::Kind::RedirectLoop:
        socket->write("HTTP/1.0 302 Found\r\nLocation: " + path + "\r\nContent-Length: 0\r\n\r\n");
        socket->disconnectFromHost();
        return;
    case Reply::Kind::Redirect:
        socket->write("HTTP/1.0 302 Found\r\nLocation: " + reply.location + "\r\nContent-Length: 0\r\n\r\n");
        socket->disconnectFromHost();
        return;
    case Reply::Kind::Endless: {
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n");
        const QByteArray text = QByteArray("EUR/USD 1,0871<BR>").repeated(3641); // 65538 bytes
        const QByteArray chunk = QByteArray::number(text.size(), 16) + "\r\n" + text + "\r\n";
        const auto more = [socket, chunk] {
            while (socket->state() == QAbstractSocket::ConnectedState &&
                   socket->bytesToWrite() < 4 * chunk.size())
                socket->write(chunk);
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, more);
        more();
        return;
    }
    case Reply::Kind::Body:
        break;
    }
    QByteArray head =
        "HTTP/1.0 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    head += "Content-Type: " + reply.contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n\r\n";
    socket->write(head);
    socket->write(reply.body);
    socket->disconnectFromHost();
}
