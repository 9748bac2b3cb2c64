#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>

class QTcpServer;
class QTcpSocket;

namespace vesk::test {

/// An HTTP/1.1 server on 127.0.0.1 that answers with canned responses, chosen by request path,
/// and records every request it receives. Lives on the test's thread and event loop.
class LocalHttpServer : public QObject
{
    Q_OBJECT

public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    struct Response
    {
        int status = 200;
        Headers headers;
        QByteArray body;
        /// Milliseconds to wait before answering (to test timeouts and cancelling).
        int delayMs = 0;
        /// Close the connection without any answer.
        bool dropConnection = false;

        static Response json(const QByteArray& body, int status = 200);
        static Response text(const QByteArray& body, int status = 200);
    };

    struct Request
    {
        QByteArray method;
        /// The request target as sent, e.g. "/feed.json?x=1".
        QByteArray target;
        /// The target without its query.
        QString path;
        Headers headers;
        QByteArray body;

        /// The first header of that name, compared without case; empty when absent.
        QByteArray header(const QByteArray& name) const;
    };

    explicit LocalHttpServer(QObject* parent = nullptr);
    ~LocalHttpServer() override;

    /// Starts listening on 127.0.0.1 on a free port (or the given one).
    bool listen(quint16 port = 0);
    void close();
    quint16 port() const;
    /// "http://127.0.0.1:<port>" + path.
    QUrl url(const QString& path) const;

    /// The answer for a path (exact target with query first, then the path alone).
    void setResponse(const QString& path, const Response& response);
    /// The answer for paths without one of their own: 404 "not found" unless set.
    void setDefaultResponse(const Response& response);

    QList<Request> requests() const { return m_requests; }
    /// Requests received for one path.
    QList<Request> requestsFor(const QString& path) const;
    void clearRequests() { m_requests.clear(); }

Q_SIGNALS:
    void requestReceived(const vesk::test::LocalHttpServer::Request& request);

private:
    void acceptConnections();
    void readFrom(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const Request& request);

    QTcpServer* m_server;
    QHash<QString, Response> m_responses;
    Response m_default;
    QList<Request> m_requests;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

} // namespace vesk::test

Q_DECLARE_METATYPE(vesk::test::LocalHttpServer::Response)
Q_DECLARE_METATYPE(vesk::test::LocalHttpServer::Request)
