#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "HTTPRequests.h"
#include "LocalHttpServer.h"
#include "TestMain.h"
#include "TestSupport.h"

using namespace vesk;
using vesk::test::LocalHttpServer;

// The encoders and header builders, without a network.
class TestRequestEncoding : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parameters_data()
    {
        QTest::addColumn<QVariantMap>("parameters");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("nested dictionary")
            << QVariantMap{{QStringLiteral("a"),
                            QVariantMap{{QStringLiteral("x"), 1},
                                        {QStringLiteral("y"), QStringLiteral("a b&c")}}}}
            << QByteArray("a%5Bx%5D=1&a%5By%5D=a%20b%26c");
        QTest::newRow("keys sorted, upper before lower") << QVariantMap{{QStringLiteral("b"), 2},
                                                                        {QStringLiteral("B"), 1},
                                                                        {QStringLiteral("a"), 3}}
                                                         << QByteArray("B=1&a=3&b=2");
        QTest::newRow("two levels")
            << QVariantMap{{QStringLiteral("u"),
                            QVariantMap{{QStringLiteral("v"),
                                         QVariantMap{{QStringLiteral("w"), QStringLiteral("z")}}}}}}
            << QByteArray("u%5Bv%5D%5Bw%5D=z");
        QTest::newRow("array") << QVariantMap{{QStringLiteral("tags"),
                                               QVariantList{QStringLiteral("b"), 2}}}
                               << QByteArray("tags%5B%5D=b&tags%5B%5D=2");
        QTest::newRow("set, sorted")
            << QVariantMap{{QStringLiteral("s"),
                            QVariant::fromValue(
                                QSet<QString>{QStringLiteral("pear"), QStringLiteral("apple")})}}
            << QByteArray("s=apple&s=pear");
        QTest::newRow("explicit null") << QVariantMap{{QStringLiteral("flag"), QVariant()},
                                                      {QStringLiteral("g"), QStringLiteral("1")}}
                                       << QByteArray("flag&g=1");
        QTest::newRow("unreserved set kept")
            << QVariantMap{{QStringLiteral("k"), QStringLiteral("Az09-._~/?")}}
            << QByteArray("k=Az09-._~/?");
        QTest::newRow("reserved and space encoded")
            << QVariantMap{{QStringLiteral("k"), QStringLiteral("a+b =;:@!*'()[]#$,")}}
            << QByteArray("k=a%2Bb%20%3D%3B%3A%40%21%2A%27%28%29%5B%5D%23%24%2C");
        QTest::newRow("non-ASCII, upper-case hex")
            << QVariantMap{{QStringLiteral("n\u00e4me"), QStringLiteral("\u00e9\u20ac")}}
            << QByteArray("n%C3%A4me=%C3%A9%E2%82%AC");
        QTest::newRow("numbers and booleans")
            << QVariantMap{{QStringLiteral("d"), 1.5}, {QStringLiteral("t"), true}}
            << QByteArray("d=1.5&t=1");
        QTest::newRow("empty") << QVariantMap{} << QByteArray("");
    }
    void parameters()
    {
        QFETCH(QVariantMap, parameters);
        QFETCH(QByteArray, expected);
        QCOMPARE(encodeParameters(parameters), expected);
    }

    // A character of two code units that straddles a run boundary is encoded whole.
    void longTextKeepsCharactersWhole_data()
    {
        QTest::addColumn<int>("prefix");
        for (int prefix : {48, 49, 50, 99})
            QTest::addRow("%d letters first", prefix) << prefix;
    }
    void longTextKeepsCharactersWhole()
    {
        QFETCH(int, prefix);
        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // U+1F600
        const QString text = QString(prefix, u'a') + emoji + emoji + QStringLiteral(" z");
        const QByteArray expected = QByteArray(prefix, 'a') + "%F0%9F%98%80%F0%9F%98%80%20z";
        QCOMPARE(percentEncode(text), expected);
    }

    void placement_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QVariantMap>("parameters");
        QTest::addColumn<QString>("expectedUrl");
        QTest::addColumn<QByteArray>("expectedBody");
        const QVariantMap p{{QStringLiteral("q"), QStringLiteral("a b")}};
        const QString base = QStringLiteral("https://example.org/find");
        QTest::newRow("GET appends with ?")
            << QByteArray("GET") << base << p << base + QStringLiteral("?q=a%20b") << QByteArray();
        QTest::newRow("GET with query appends with &")
            << QByteArray("GET") << base + QStringLiteral("?x=1") << p
            << base + QStringLiteral("?x=1&q=a%20b") << QByteArray();
        QTest::newRow("HEAD") << QByteArray("HEAD") << base << p
                              << base + QStringLiteral("?q=a%20b") << QByteArray();
        QTest::newRow("DELETE") << QByteArray("DELETE") << base << p
                                << base + QStringLiteral("?q=a%20b") << QByteArray();
        QTest::newRow("POST body")
            << QByteArray("POST") << base << p << base << QByteArray("q=a%20b");
        QTest::newRow("PUT body") << QByteArray("PUT") << base << p << base
                                  << QByteArray("q=a%20b");
        QTest::newRow("GET without parameters untouched")
            << QByteArray("GET") << base + QStringLiteral("?x=1") << QVariantMap{}
            << base + QStringLiteral("?x=1") << QByteArray();
        QTest::newRow("POST without parameters, empty body")
            << QByteArray("POST") << base << QVariantMap{} << base << QByteArray();
    }
    void placement()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, url);
        QFETCH(QVariantMap, parameters);
        QFETCH(QString, expectedUrl);
        QFETCH(QByteArray, expectedBody);
        const EncodedRequest encoded = encodeRequest(method, QUrl(url), parameters);
        QCOMPARE(QString::fromUtf8(encoded.url.toEncoded()), expectedUrl);
        QCOMPARE(encoded.body, expectedBody);
    }

    void acceptLanguage_data()
    {
        QTest::addColumn<QStringList>("languages");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("one") << QStringList{QStringLiteral("en-GB")} << QByteArray("en-GB;q=1");
        QTest::newRow("seven, cut after q=0.5")
            << QStringList{QStringLiteral("de"), QStringLiteral("en"), QStringLiteral("fr"),
                           QStringLiteral("it"), QStringLiteral("nl"), QStringLiteral("pl"),
                           QStringLiteral("sv")}
            << QByteArray("de;q=1, en;q=0.9, fr;q=0.8, it;q=0.7, nl;q=0.6, pl;q=0.5");
        QTest::newRow("none") << QStringList{} << QByteArray();
    }
    void acceptLanguage()
    {
        QFETCH(QStringList, languages);
        QFETCH(QByteArray, expected);
        QCOMPARE(acceptLanguageHeader(languages), expected);
    }

    void userAgent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("ASCII kept") << QStringLiteral("Vesk") << QByteArray("Vesk/1.2 (Linux 6)");
        QTest::newRow("accents dropped")
            << QStringLiteral("V\u00e9sk \u00dcber") << QByteArray("Vesk Uber/1.2 (Linux 6)");
        QTest::newRow("other script transliterated")
            << QStringLiteral("\u0412\u0435\u0441\u043a") << QByteArray("Vesk/1.2 (Linux 6)");
        QTest::newRow("leftovers removed")
            << QStringLiteral("Vesk\u2603") << QByteArray("Vesk/1.2 (Linux 6)");
    }
    void userAgent()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, expected);
        QCOMPARE(userAgentHeader(name, QStringLiteral("1.2"), QStringLiteral("Linux 6")), expected);
    }
};

// The five request forms against a real socket on 127.0.0.1.
class TestHTTPRequests : public QObject
{
    Q_OBJECT

    LocalHttpServer m_server;
    std::unique_ptr<HTTPRequests> m_http;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_server.listen()); }
    void init()
    {
        m_server.clearRequests();
        m_http = std::make_unique<HTTPRequests>();
    }
    void cleanup() { m_http.reset(); }

    void formPostSendsExactBytesAndHeaders()
    {
        QCoreApplication::setApplicationName(QStringLiteral("V\u00e9sk \u00c6ther"));
        QCoreApplication::setApplicationVersion(QStringLiteral("2.0"));
        m_http->setPreferredLanguages(QStringList{QStringLiteral("de-DE"), QStringLiteral("en"),
                                                  QStringLiteral("fr"), QStringLiteral("it"),
                                                  QStringLiteral("nl"), QStringLiteral("pl"),
                                                  QStringLiteral("sv")});
        m_server.setResponse(QStringLiteral("/subscribe"),
                             LocalHttpServer::Response::text("Thanks"));

        std::optional<QString> reply;
        int calls = 0;
        m_http->postForText(
            m_server.url(QStringLiteral("/subscribe")).toString(),
            QVariantMap{
                {QStringLiteral("a"), QVariantMap{{QStringLiteral("x"), 1},
                                                  {QStringLiteral("y"), QStringLiteral("a b&c")}}}},
            [&](const std::optional<QString>& text, int) {
                reply = text;
                ++calls;
            },
            [&](const HTTPError&) { calls += 100; });
        QTRY_COMPARE(calls, 1);
        QCOMPARE(reply, std::optional<QString>(QStringLiteral("Thanks")));

        QCOMPARE(m_server.requests().size(), 1);
        const LocalHttpServer::Request request = m_server.requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.body, QByteArray("a%5Bx%5D=1&a%5By%5D=a%20b%26c"));
        QCOMPARE(request.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(request.header("Accept-Language"),
                 QByteArray("de-DE;q=1, en;q=0.9, fr;q=0.8, it;q=0.7, nl;q=0.6, pl;q=0.5"));
        const QByteArray agent = request.header("User-Agent");
        QVERIFY2(agent.startsWith("Vesk AEther/2.0 ("), agent.constData());
        for (char c : agent)
            QVERIFY(static_cast<unsigned char>(c) < 0x80);
    }

    void callersOwnHeadersWin()
    {
        m_http->getText(m_server.url(QStringLiteral("/x")).toString(), {}, {},
                        HTTPHeaders{{"user-agent", "mine"}, {"Content-Type", "text/plain"}});
        QTRY_COMPARE(m_server.requests().size(), 1);
        QCOMPARE(m_server.requests().first().header("User-Agent"), QByteArray("mine"));
    }

    void jsonReply_data()
    {
        QTest::addColumn<LocalHttpServer::Response>("response");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QString>("error");
        LocalHttpServer::Response html =
            LocalHttpServer::Response::json("<html><body>hi</body></html>");
        html.headers = {{"Content-Type", "text/html; charset=utf-8"}};
        LocalHttpServer::Response bare;
        bare.headers = {};
        bare.body = "";
        LocalHttpServer::Response typelessBody;
        typelessBody.body = "{}";
        QTest::newRow("401 with JSON")
            << LocalHttpServer::Response::json("{\"error\":\"bad\"}", 401) << false << QJsonValue()
            << QStringLiteral("Request failed: Unauthorized (401)");
        QTest::newRow("200 with HTML")
            << html << false << QJsonValue()
            << QStringLiteral("Request failed: unacceptable content-type: text/html");
        QTest::newRow("200, no type, body")
            << typelessBody << false << QJsonValue()
            << QStringLiteral("Request failed: unacceptable content-type: ");
        QTest::newRow("200, empty JSON body: no value")
            << LocalHttpServer::Response::json("") << true << QJsonValue(QJsonValue::Undefined)
            << QString();
        QTest::newRow("200, one space: no value") << LocalHttpServer::Response::json(" ") << true
                                                  << QJsonValue(QJsonValue::Undefined) << QString();
        QTest::newRow("200, no type, no body: no value")
            << bare << true << QJsonValue(QJsonValue::Undefined) << QString();
        QTest::newRow("object") << LocalHttpServer::Response::json("{\"token\":\"t\"}") << true
                                << QJsonValue(
                                       QJsonObject{{QStringLiteral("token"), QStringLiteral("t")}})
                                << QString();
        QTest::newRow("bare string") << LocalHttpServer::Response::json("\"hello\"") << true
                                     << QJsonValue(QStringLiteral("hello")) << QString();
        QTest::newRow("bare number, text/javascript") << [] {
            auto r = LocalHttpServer::Response::json("42");
            r.headers = {{"Content-Type", "text/javascript"}};
            return r;
        }() << true << QJsonValue(42) << QString();
        QTest::newRow("broken JSON")
            << LocalHttpServer::Response::json("{\"a\":") << false << QJsonValue() << QString();
        QTest::newRow("two values")
            << LocalHttpServer::Response::json("1,2") << false << QJsonValue() << QString();
    }
    void jsonReply()
    {
        QFETCH(LocalHttpServer::Response, response);
        QFETCH(bool, succeeds);
        QFETCH(QJsonValue, value);
        QFETCH(QString, error);
        m_server.setResponse(QStringLiteral("/api/v1/authenticate"), response);

        int successes = 0;
        int failures = 0;
        std::optional<QJsonValue> received;
        HTTPError failure;
        m_http->postForJSON(
            m_server.url(QStringLiteral("/api/v1/authenticate")).toString(),
            QVariantMap{{QStringLiteral("user"), QStringLiteral("u")}},
            [&](const std::optional<QJsonValue>& v) {
                received = v;
                ++successes;
            },
            [&](const HTTPError& e) {
                failure = e;
                ++failures;
            });
        QTRY_COMPARE(successes + failures, 1);
        QCOMPARE(successes, succeeds ? 1 : 0);
        if (succeeds) {
            if (value.isUndefined())
                QVERIFY(!received.has_value());
            else
                QCOMPARE(received, std::optional<QJsonValue>(value));
        } else {
            QVERIFY(!failure.message.isEmpty());
            if (!error.isEmpty())
                QCOMPARE(failure.message, error);
        }
        QTest::qWait(20); // a second continuation would show up here
        QCOMPARE(successes + failures, 1);
    }

    void textFetchOf404PageSucceeds()
    {
        LocalHttpServer::Response page;
        page.status = 404;
        page.headers = {{"Content-Type", "text/html"}};
        page.body = "<html><h1>Not Found \xc3\xa9</h1></html>";
        m_server.setResponse(QStringLiteral("/missing.vesk"), page);
        std::optional<QString> text;
        int status = 0;
        bool failed = false;
        m_http->getText(
            m_server.url(QStringLiteral("/missing.vesk")).toString(),
            [&](const std::optional<QString>& t, int s) {
                text = t;
                status = s;
            },
            [&](const HTTPError&) { failed = true; });
        QTRY_VERIFY(text.has_value() || failed);
        QVERIFY(!failed);
        QCOMPARE(*text, QStringLiteral("<html><h1>Not Found \u00e9</h1></html>"));
        QCOMPARE(status, 404);
        QCOMPARE(m_server.requests().first().method, QByteArray("GET"));
    }

    void textFetchOfInvalidUTF8GivesNoText()
    {
        m_server.setResponse(QStringLiteral("/bin"), LocalHttpServer::Response::text("ab\xff\xfe"));
        bool done = false;
        std::optional<QString> text = QStringLiteral("untouched");
        m_http->getText(m_server.url(QStringLiteral("/bin")).toString(),
                        [&](const std::optional<QString>& t, int) {
                            text = t;
                            done = true;
                        },
                        {});
        QTRY_VERIFY(done);
        QVERIFY(!text.has_value());
    }

    void failures_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("networkError");
        QTest::newRow("connection refused")
            << QStringLiteral("refused") << int(QNetworkReply::ConnectionRefusedError);
        QTest::newRow("not a URL")
            << QStringLiteral("not a url at all") << int(QNetworkReply::ProtocolUnknownError);
        QTest::newRow("dropped connection")
            << QStringLiteral("dropped") << int(QNetworkReply::RemoteHostClosedError);
    }
    void failures()
    {
        QFETCH(QString, url);
        QFETCH(int, networkError);
        LocalHttpServer closed;
        QVERIFY(closed.listen());
        const QUrl refused = closed.url(QStringLiteral("/x.vesk"));
        closed.close();
        LocalHttpServer::Response drop;
        drop.dropConnection = true;
        m_server.setResponse(QStringLiteral("/dropped"), drop);
        if (url == QStringLiteral("refused"))
            url = refused.toString();
        else if (url == QStringLiteral("dropped"))
            url = m_server.url(QStringLiteral("/dropped")).toString();

        int successes = 0;
        QList<HTTPError> errors;
        m_http->getText(
            url, [&](const std::optional<QString>&, int) { ++successes; },
            [&](const HTTPError& e) { errors.append(e); });
        m_http->postForJSON(
            url, {}, [&](const std::optional<QJsonValue>&) { ++successes; },
            [&](const HTTPError& e) { errors.append(e); });
        m_http->rawPost(
            QUrl(url), "x", {}, [&](int, const QByteArray&) { ++successes; },
            [&](const HTTPError& e) { errors.append(e); });
        QTRY_COMPARE(errors.size(), 3);
        QCOMPARE(successes, 0);
        for (const HTTPError& e : errors) {
            QCOMPARE(int(e.networkError), networkError);
            QVERIFY(!e.message.isEmpty());
        }
    }

    // Any reply that carries a status is the server's answer for the text and raw forms: a
    // 400 "Invalid email address." is read, not turned into a network failure.
    void statusRepliesAreAnswers_data()
    {
        QTest::addColumn<int>("status");
        for (const int status : {400, 404, 418, 422, 500})
            QTest::addRow("%d", status) << status;
    }
    void statusRepliesAreAnswers()
    {
        QFETCH(int, status);
        m_server.setResponse(QStringLiteral("/answer"),
                             LocalHttpServer::Response::text("Invalid email address.", status));
        const QString url = m_server.url(QStringLiteral("/answer")).toString();
        QList<QPair<int, QString>> answers;
        QList<HTTPError> errors;
        auto text = [&](const std::optional<QString>& body, int code) {
            answers.append({code, body.value_or(QString())});
        };
        auto failed = [&](const HTTPError& error) { errors.append(error); };
        m_http->getText(url, text, failed);
        m_http->postForText(url, {{QStringLiteral("email"), QStringLiteral("x")}}, text, failed);
        m_http->rawPost(
            QUrl(url), "x", {},
            [&](int code, const QByteArray& body) {
                answers.append({code, QString::fromUtf8(body)});
            },
            failed);
        // The JSON form judges the answer itself: a failure that keeps the status.
        m_http->postForJSON(
            url, {}, [&](const std::optional<QJsonValue>&) {}, failed);
        QTRY_COMPARE(answers.size() + errors.size(), 4);
        QCOMPARE(answers.size(), 3);
        for (const auto& [code, body] : answers) {
            QCOMPARE(code, status);
            QCOMPARE(body, QStringLiteral("Invalid email address."));
        }
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.first().statusCode, status);
    }

    // A server that takes the request and never answers: every form ends, as timed out.
    void silentServerTimesOut()
    {
        LocalHttpServer::Response silent = LocalHttpServer::Response::text("too late");
        silent.delayMs = 60000;
        m_server.setResponse(QStringLiteral("/silent"), silent);
        const QString url = m_server.url(QStringLiteral("/silent")).toString();
        constexpr int timeout = 300;
        QList<HTTPError> errors;
        int answers = 0;
        auto failed = [&](const HTTPError& error) { errors.append(error); };
        auto text = [&](const std::optional<QString>&, int) { ++answers; };
        QElapsedTimer timer;
        timer.start();
        m_http->getText(url, text, failed, {}, timeout);
        m_http->postForText(url, {}, text, failed, {}, timeout);
        m_http->postForJSON(
            url, {}, [&](const std::optional<QJsonValue>&) { ++answers; }, failed, {}, timeout);
        m_http->rawPost(
            QUrl(url), "x", {}, [&](int, const QByteArray&) { ++answers; }, failed, timeout);
        QTemporaryDir folder;
        std::optional<DownloadResult> download;
        m_http->download(
            QUrl(url), {}, [&](QNetworkReply*) { return folder.filePath(QStringLiteral("x")); },
            [&](const DownloadResult& result) { download = result; }, timeout);
        QTRY_VERIFY_WITH_TIMEOUT(errors.size() == 4 && download.has_value(), 10000);
        QVERIFY(timer.elapsed() < 10000);
        QCOMPARE(answers, 0);
        QVERIFY(download->error.has_value());
        errors.append(*download->error);
        for (const HTTPError& error : errors) {
            QCOMPARE(error.networkError, QNetworkReply::TimeoutError);
            QVERIFY2(error.message.contains(QStringLiteral("timed out")),
                     qPrintable(error.message));
        }
        QVERIFY(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    void rawPostSendsExactlyWhatTheCallerMade()
    {
        LocalHttpServer::Response teapot = LocalHttpServer::Response::text("nope", 500);
        m_server.setResponse(QStringLiteral("/feedback"), teapot);
        const QByteArray body =
            "--B\r\nContent-Disposition: form-data; name=\"m\"\r\n\r\nhi\r\n--B--";
        int status = 0;
        QByteArray received;
        bool failed = false;
        m_http->rawPost(
            m_server.url(QStringLiteral("/feedback")), body,
            {{"Content-Type", "multipart/form-data; boundary=B"}, {"X-App", "Vesk"}},
            [&](int s, const QByteArray& b) {
                status = s;
                received = b;
            },
            [&](const HTTPError&) { failed = true; });
        QTRY_VERIFY(status != 0 || failed);
        QVERIFY(!failed);
        QCOMPARE(status, 500);
        QCOMPARE(received, QByteArray("nope"));
        const LocalHttpServer::Request request = m_server.requests().first();
        QCOMPARE(request.body, body);
        QCOMPARE(request.header("Content-Type"), QByteArray("multipart/form-data; boundary=B"));
        QCOMPARE(request.header("X-App"), QByteArray("Vesk"));
        QVERIFY(
            !request.header("User-Agent").startsWith(QCoreApplication::applicationName().toUtf8()));
    }

    void downloadReportsProgressAndStoresTheFile()
    {
        QByteArray payload;
        for (int i = 0; i < 400000; ++i)
            payload += char('a' + i % 26);
        LocalHttpServer::Response package;
        package.headers = {{"Content-Type", "application/octet-stream"}};
        package.body = payload;
        m_server.setResponse(QStringLiteral("/vagrant.pkg"), package);
        QTemporaryDir folder;
        const QString target = folder.filePath(QStringLiteral("vagrant.pkg"));

        QList<double> fractions;
        std::optional<DownloadResult> result;
        int completions = 0;
        m_http->download(
            m_server.url(QStringLiteral("/vagrant.pkg")), [&](double f) { fractions.append(f); },
            [&](QNetworkReply* response) { return folder.filePath(response->url().fileName()); },
            [&](const DownloadResult& r) {
                result = r;
                ++completions;
            });
        QTRY_COMPARE(completions, 1);
        QVERIFY(!result->error.has_value());
        QCOMPARE(result->statusCode, 200);
        QCOMPARE(result->storedPath, std::optional<QString>(target));
        QCOMPARE(test::readFile(target), payload);
        QVERIFY(!fractions.isEmpty());
        QCOMPARE(fractions.last(), 1.0);
        QVERIFY(std::is_sorted(fractions.cbegin(), fractions.cend()));
        const LocalHttpServer::Request request = m_server.requests().first();
        // No default headers on a download: only what the HTTP client itself sends.
        QVERIFY(request.header("User-Agent") != m_http->defaultHeaders().first().second);
    }

    // The destination is on another file system than the temporary folder (a tmpfs): the file
    // is written there directly and renamed into place, nothing left beside it.
    void downloadToAnotherFileSystem()
    {
        struct stat shm
        {
        }, temp{};
        if (::stat("/dev/shm", &shm) != 0 ||
            ::stat(QFile::encodeName(QDir::tempPath()).constData(), &temp) != 0 ||
            shm.st_dev == temp.st_dev)
            QSKIP("/dev/shm is not a file system of its own here");
        const QByteArray payload = QByteArray(300000, 'v');
        m_server.setResponse(QStringLiteral("/vagrant.deb"),
                             LocalHttpServer::Response::text(payload));
        QTemporaryDir folder(QStringLiteral("/dev/shm/vesk-test-XXXXXX"));
        QVERIFY(folder.isValid());
        const QString target = folder.filePath(QStringLiteral("vagrant.deb"));
        std::optional<DownloadResult> result;
        m_http->download(
            m_server.url(QStringLiteral("/vagrant.deb")), {},
            [&](QNetworkReply*) { return target; }, [&](const DownloadResult& r) { result = r; });
        QTRY_VERIFY(result.has_value());
        QVERIFY2(!result->error, qPrintable(result->error ? result->error->message : QString()));
        QCOMPARE(result->storedPath, std::optional<QString>(target));
        QCOMPARE(test::readFile(target), payload);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("vagrant.deb")});
    }

    // A write that fails halfway (the disk is full): the download fails, saying why, and no
    // partial file stays behind.
    void failedWriteLeavesNoPartialFile()
    {
        m_server.setResponse(QStringLiteral("/big.deb"),
                             LocalHttpServer::Response::text(QByteArray(400000, 'b')));
        QTemporaryDir folder;
        const QString target = folder.filePath(QStringLiteral("big.deb"));
        std::optional<DownloadResult> result;
        {
            test::ScopedFileSizeLimit limit(64 * 1024);
            m_http->download(
                m_server.url(QStringLiteral("/big.deb")), {},
                [&](QNetworkReply*) { return target; },
                [&](const DownloadResult& r) { result = r; });
            QTRY_VERIFY(result.has_value());
        }
        QVERIFY(result->error.has_value());
        QVERIFY2(result->error->message.contains(QStringLiteral("File too large")),
                 qPrintable(result->error->message));
        QVERIFY(!result->storedPath);
        QCOMPARE(result->destinationPath, target);
        QVERIFY(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    // Moving onto an existing file must not report the old file as the download.
    void downloadOntoExistingFileIsAFailure()
    {
        m_server.setResponse(QStringLiteral("/virtualbox.pkg"),
                             LocalHttpServer::Response::text("new"));
        QTemporaryDir folder;
        const QString target = folder.filePath(QStringLiteral("virtualbox.pkg"));
        QVERIFY(test::writeFile(target, "old"));
        QSignalSpy moveFailed(m_http.get(), &HTTPRequests::downloadMoveFailed);
        std::optional<DownloadResult> result;
        m_http->download(
            m_server.url(QStringLiteral("/virtualbox.pkg")), {},
            [&](QNetworkReply*) { return target; }, [&](const DownloadResult& r) { result = r; });
        QTRY_VERIFY(result.has_value());
        QCOMPARE(result->destinationPath, target);
        QVERIFY(!result->storedPath.has_value());
        QVERIFY(result->error.has_value());
        QCOMPARE(moveFailed.size(), 1);
        QCOMPARE(test::readFile(target), QByteArray("old"));
    }

    void cancelledDownloadEndsOnceWithCancelError()
    {
        LocalHttpServer::Response slow = LocalHttpServer::Response::text("late");
        slow.delayMs = 10000;
        m_server.setResponse(QStringLiteral("/slow.pkg"), slow);
        bool askedForDestination = false;
        QList<DownloadResult> results;
        QPointer<HTTPTask> task = m_http->download(
            m_server.url(QStringLiteral("/slow.pkg")), {},
            [&](QNetworkReply*) {
                askedForDestination = true;
                return QString();
            },
            [&](const DownloadResult& r) { results.append(r); });
        QTRY_COMPARE(m_server.requestsFor(QStringLiteral("/slow.pkg")).size(), 1);
        QVERIFY(task);
        task->cancel();
        QTRY_COMPARE(results.size(), 1);
        QVERIFY(results.first().error.has_value());
        QCOMPARE(results.first().error->networkError, QNetworkReply::OperationCanceledError);
        QVERIFY(!askedForDestination);
        QTRY_VERIFY(!task); // released after its completion
        QTest::qWait(20);
        QCOMPARE(results.size(), 1);
    }
};

VESK_TEST(TestRequestEncoding)
VESK_TEST(TestHTTPRequests)
#include "tst_HTTPRequests.moc"
