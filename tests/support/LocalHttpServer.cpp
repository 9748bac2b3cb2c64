#include "LocalHttpServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace vesk::test {

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
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

bool hasHeader(const LocalHttpServer::Headers& headers, const QByteArray& name)
{
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

LocalHttpServer::Response LocalHttpServer::Response::json(const QByteArray& body, int status)
{
    Response response;
    response.status = status;
    response.headers = {{"Content-Type", "application/json"}};
    response.body = body;
    return response;
}

LocalHttpServer::Response LocalHttpServer::Response::text(const QByteArray& body, int status)
{
    Response response;
    response.status = status;
    response.headers = {{"Content-Type", "text/plain; charset=utf-8"}};
    response.body = body;
    return response;
}

QByteArray LocalHttpServer::Request::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

LocalHttpServer::LocalHttpServer(QObject* parent)
    : QObject(parent), m_server(new QTcpServer(this)), m_default(Response::text("not found\n", 404))
{
    connect(m_server, &QTcpServer::newConnection, this, &LocalHttpServer::acceptConnections);
}

LocalHttpServer::~LocalHttpServer() = default;

bool LocalHttpServer::listen(quint16 port)
{
    return m_server->listen(QHostAddress::LocalHost, port);
}

void LocalHttpServer::close()
{
    m_server->close();
}

quint16 LocalHttpServer::port() const
{
    return m_server->serverPort();
}

QUrl LocalHttpServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port()) + path);
}

void LocalHttpServer::setResponse(const QString& path, const Response& response)
{
    m_responses.insert(path, response);
}

void LocalHttpServer::setDefaultResponse(const Response& response)
{
    m_default = response;
}

QList<LocalHttpServer::Request> LocalHttpServer::requestsFor(const QString& path) const
{
    QList<Request> found;
    for (const Request& request : m_requests) {
        if (request.path == path)
            found.append(request);
    }
    return found;
}

void LocalHttpServer::acceptConnections()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void LocalHttpServer::readFrom(QTcpSocket* socket)
{
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    // Several requests may arrive on one connection; answer each complete one.
    for (;;) {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        Request request;
        request.method = requestLine.value(0);
        request.target = requestLine.value(1);
        request.path = QString::fromUtf8(request.target.left(
            request.target.contains('?') ? request.target.indexOf('?') : request.target.size()));
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        }
        const qsizetype length = request.header("Content-Length").toLongLong();
        if (buffer.size() < headerEnd + 4 + length)
            return;
        request.body = buffer.mid(headerEnd + 4, length);
        buffer.remove(0, headerEnd + 4 + length);
        m_requests.append(request);
        Q_EMIT requestReceived(request);
        answer(socket, request);
    }
}

void LocalHttpServer::answer(QTcpSocket* socket, const Request& request)
{
    Response response = m_default;
    if (m_responses.contains(QString::fromUtf8(request.target)))
        response = m_responses.value(QString::fromUtf8(request.target));
    else if (m_responses.contains(request.path))
        response = m_responses.value(request.path);

    QPointer<QTcpSocket> target(socket);
    const bool head = request.method == "HEAD";
    auto send = [target, response, head] {
        if (!target)
            return;
        if (response.dropConnection) {
            target->abort();
            return;
        }
        QByteArray bytes = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                           reasonPhrase(response.status) + "\r\n";
        for (const auto& [name, value] : response.headers)
            bytes += name + ": " + value + "\r\n";
        if (!hasHeader(response.headers, "Content-Length"))
            bytes += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        // One request per connection keeps the fixture simple; clients open a new one.
        bytes += "Connection: close\r\n\r\n";
        if (!head)
            bytes += response.body;
        target->write(bytes);
        target->disconnectFromHost();
    };
    if (response.delayMs > 0)
        QTimer::singleShot(response.delayMs, socket, send);
    else
        send();
}

} // namespace vesk::test
