#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

#include "LocalHttpServer.h"
#include "TestMain.h"

using vesk::test::LocalHttpServer;

// The fixture other tests rely on: canned answers by path, recorded requests, delays.
class TestLocalHttpServer : public QObject
{
    Q_OBJECT

    QNetworkAccessManager m_network;

    QNetworkReply* waitFor(QNetworkReply* reply)
    {
        QSignalSpy finished(reply, &QNetworkReply::finished);
        if (!reply->isFinished() && !finished.wait(10000))
            return nullptr;
        return reply;
    }

private Q_SLOTS:
    void answersByPathAndRecordsRequests()
    {
        LocalHttpServer server;
        QVERIFY(server.listen());
        LocalHttpServer::Response created;
        created.status = 201;
        created.headers = {{"Content-Type", "application/json"}, {"X-Token", "abc"}};
        created.body = "{\"ok\":true}";
        server.setResponse(QStringLiteral("/api/items"), created);

        QNetworkRequest request(server.url(QStringLiteral("/api/items?page=2")));
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QStringLiteral("application/x-www-form-urlencoded"));
        request.setRawHeader("X-Client", "tests");
        std::unique_ptr<QNetworkReply> reply(
            waitFor(m_network.post(request, QByteArray("name=web&size=2"))));
        QVERIFY(reply);
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 201);
        QCOMPARE(reply->rawHeader("X-Token"), QByteArray("abc"));
        QCOMPARE(reply->readAll(), QByteArray("{\"ok\":true}"));

        QCOMPARE(server.requests().size(), 1);
        const LocalHttpServer::Request recorded = server.requests().first();
        QCOMPARE(recorded.method, QByteArray("POST"));
        QCOMPARE(recorded.target, QByteArray("/api/items?page=2"));
        QCOMPARE(recorded.path, QStringLiteral("/api/items"));
        QCOMPARE(recorded.header("x-client"), QByteArray("tests"));
        QCOMPARE(recorded.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(recorded.body, QByteArray("name=web&size=2"));
        QCOMPARE(server.requestsFor(QStringLiteral("/api/items")).size(), 1);
        QCOMPARE(server.requestsFor(QStringLiteral("/other")).size(), 0);
    }

    void unknownPathIs404AndExactTargetWins()
    {
        LocalHttpServer server;
        QVERIFY(server.listen());
        server.setResponse(QStringLiteral("/a"), LocalHttpServer::Response::text("plain"));
        server.setResponse(QStringLiteral("/a?v=1"), LocalHttpServer::Response::text("exact"));
        std::unique_ptr<QNetworkReply> missing(
            waitFor(m_network.get(QNetworkRequest(server.url(QStringLiteral("/b"))))));
        QCOMPARE(missing->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 404);
        std::unique_ptr<QNetworkReply> exact(
            waitFor(m_network.get(QNetworkRequest(server.url(QStringLiteral("/a?v=1"))))));
        QCOMPARE(exact->readAll(), QByteArray("exact"));
        std::unique_ptr<QNetworkReply> plain(
            waitFor(m_network.get(QNetworkRequest(server.url(QStringLiteral("/a?v=2"))))));
        QCOMPARE(plain->readAll(), QByteArray("plain"));
    }

    void delayedAnswerCanTimeOut()
    {
        LocalHttpServer server;
        QVERIFY(server.listen());
        LocalHttpServer::Response slow = LocalHttpServer::Response::text("late");
        slow.delayMs = 3000;
        server.setResponse(QStringLiteral("/slow"), slow);
        QNetworkRequest request(server.url(QStringLiteral("/slow")));
        request.setTransferTimeout(200);
        std::unique_ptr<QNetworkReply> reply(waitFor(m_network.get(request)));
        QVERIFY(reply);
        QCOMPARE(reply->error(), QNetworkReply::OperationCanceledError);
        QCOMPARE(server.requests().size(), 1);
    }
};

VESK_TEST(TestLocalHttpServer)
#include "tst_LocalHttpServer.moc"
