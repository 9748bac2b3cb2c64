#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

#include "HTTPRequests.h"
#include "LocalHttpServer.h"
#include "TestMain.h"
#include "UpdateTestSupport.h"
#include "UserDefaults.h"
#include "VeskDocumentUpdateChecker.h"

using namespace vesk;
using vesk::test::kOtherUUID;
using vesk::test::kUUID;
using vesk::test::LocalHttpServer;
using vesk::test::veskDocument;

Q_DECLARE_METATYPE(std::optional<qint64>)
Q_DECLARE_METATYPE(vesk::UpdateDecision)

// The decision step alone: fetched text, local identity and revision, ignore entry.
class TestUpdateDecision : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decide_data()
    {
        using R = std::optional<qint64>;
        QTest::addColumn<std::optional<QString>>("text");
        QTest::addColumn<R>("localRevision");
        QTest::addColumn<R>("ignored");
        QTest::addColumn<UpdateDecision>("decision");
        QTest::addColumn<R>("found");
        const auto remote = [](R revision, const QString& uuid = kUUID) {
            return std::optional<QString>(QString::fromUtf8(
                veskDocument(uuid, revision, QStringLiteral("http://127.0.0.1:1/x.vesk"))));
        };
        const R none;
        QTest::newRow("equal") << remote(3) << R(3) << none << UpdateDecision::NoUpdate << R(3);
        QTest::newRow("lower") << remote(2) << R(3) << none << UpdateDecision::NoUpdate << R(2);
        QTest::newRow("higher") << remote(4) << R(3) << none << UpdateDecision::NewVersion << R(4);
        QTest::newRow("ignored 5, remote 5")
            << remote(5) << R(1) << R(5) << UpdateDecision::NoUpdate << R(5);
        QTest::newRow("ignored 5, remote 6")
            << remote(6) << R(1) << R(5) << UpdateDecision::NewVersion << R(6);
        QTest::newRow("ignore all, remote 999999999")
            << remote(999999999) << R(1) << R(kIgnoreAllFutureUpdates) << UpdateDecision::NoUpdate
            << R(999999999);
        QTest::newRow("ignore all, remote 1000000000")
            << remote(1000000000) << R(1) << R(kIgnoreAllFutureUpdates)
            << UpdateDecision::NewVersion << R(1000000000);
        QTest::newRow("mismatched UUID, higher revision")
            << remote(9, kOtherUUID) << R(1) << none << UpdateDecision::MismatchedUUID << none;
        QTest::newRow("UUID differs only in case")
            << remote(9, kUUID.toLower()) << R(1) << none << UpdateDecision::MismatchedUUID << none;
        QTest::newRow("HTML body")
            << std::optional<QString>(QStringLiteral("<html><body>Not Found</body></html>")) << R(1)
            << none << UpdateDecision::InvalidDocument << none;
        QTest::newRow("not UTF-8")
            << std::optional<QString>() << R(1) << none << UpdateDecision::InvalidDocument << none;
        QTest::newRow("unknown format version")
            << std::optional<QString>(QStringLiteral("{\"veskVersion\":3,\"UUID\":\"x\"}")) << R(1)
            << none << UpdateDecision::InvalidDocument << none;
        QTest::newRow("missing remote revision")
            << remote(none) << R(1) << none << UpdateDecision::NoUpdate << none;
        QTest::newRow("missing remote revision, ignore entry")
            << remote(none) << R(1) << R(5) << UpdateDecision::NoUpdate << none;
        QTest::newRow("local without revision counts as 1, remote 1")
            << remote(1) << none << none << UpdateDecision::NoUpdate << R(1);
        QTest::newRow("local without revision counts as 1, remote 2")
            << remote(2) << none << none << UpdateDecision::NewVersion << R(2);
        QTest::newRow("local revision 0 (letters typed), remote 1")
            << remote(1) << R(0) << none << UpdateDecision::NewVersion << R(1);
    }
    void decide()
    {
        QFETCH(std::optional<QString>, text);
        QFETCH(std::optional<qint64>, localRevision);
        QFETCH(std::optional<qint64>, ignored);
        QFETCH(UpdateDecision, decision);
        QFETCH(std::optional<qint64>, found);
        const UpdateDecisionResult result = decideUpdate(text, kUUID, localRevision, ignored);
        QCOMPARE(result.decision, decision);
        QCOMPARE(result.foundVersion, found);
    }
};

namespace {

// Records which delegate operation was sent; implements all of them.
class RecordingDelegate : public QObject, public VeskDocumentUpdateCheckerDelegate
{
public:
    QStringList calls;
    QByteArray data;
    std::optional<qint64> found;

    void newVersionAvilableForUpdateChecker(VeskDocumentUpdateChecker* c,
                                            const QByteArray& d) override
    {
        calls.append(QStringLiteral("newVersion"));
        data = d;
        found = c->foundVersion();
    }
    void noUpdateAvailableForUpdateChecker(VeskDocumentUpdateChecker* c) override
    {
        calls.append(QStringLiteral("noUpdate"));
        found = c->foundVersion();
    }
    void mismatchedUUIDForUpdateChecker(VeskDocumentUpdateChecker*) override
    {
        calls.append(QStringLiteral("mismatchedUUID"));
    }
    void updateCheckFailedForUpdateChecker(VeskDocumentUpdateChecker*) override
    {
        calls.append(QStringLiteral("failed"));
    }
    void noRemoteURLDefinedForUpdateCheker(VeskDocumentUpdateChecker*) override
    {
        calls.append(QStringLiteral("noRemoteURL"));
    }
    void loadedVeskDocumentWasInvalidForUpdateChecker(VeskDocumentUpdateChecker*) override
    {
        calls.append(QStringLiteral("invalid"));
    }
};

} // namespace

// The checker against a real socket, with the ignore list in the preferences.
class TestUpdateChecker : public QObject
{
    Q_OBJECT

    LocalHttpServer m_server;
    QUrl m_refused;

    VeskDocumentUpdateChecker* makeChecker(RecordingDelegate* delegate,
                                           const std::optional<QString>& remoteURL,
                                           std::optional<int> revision = 1)
    {
        auto model = std::make_unique<DataModel>();
        model->setUUID(kUUID);
        model->setRevision(revision);
        model->setRemoteURL(remoteURL);
        auto* checker = new VeskDocumentUpdateChecker(this);
        checker->setDelegate(delegate);
        checker->setDataModel(std::move(model));
        return checker;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_server.listen());
        LocalHttpServer closed;
        QVERIFY(closed.listen());
        m_refused = closed.url(QStringLiteral("/web.vesk"));
    }
    void init()
    {
        UserDefaults::standard().clear();
        m_server.clearRequests();
    }

    void results_data()
    {
        QTest::addColumn<QString>("remoteURL");
        QTest::addColumn<LocalHttpServer::Response>("response");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("requests");
        const auto serve = [](const QByteArray& body, int status = 200) {
            return LocalHttpServer::Response::text(body, status);
        };
        const QString url = QStringLiteral("/web.vesk");
        QTest::newRow("newer") << url << serve(veskDocument(kUUID, 2, std::nullopt))
                               << QStringLiteral("newVersion") << 1;
        QTest::newRow("same") << url << serve(veskDocument(kUUID, 1, std::nullopt))
                              << QStringLiteral("noUpdate") << 1;
        QTest::newRow("other UUID") << url << serve(veskDocument(kOtherUUID, 2, std::nullopt))
                                    << QStringLiteral("mismatchedUUID") << 1;
        QTest::newRow("404 page") << url << serve("<html>gone</html>", 404)
                                  << QStringLiteral("invalid") << 1;
        QTest::newRow("500 with a newer document")
            << url << serve(veskDocument(kUUID, 2, std::nullopt), 500)
            << QStringLiteral("newVersion") << 1;
        QTest::newRow("no remote URL")
            << QStringLiteral("none") << serve("") << QStringLiteral("noRemoteURL") << 0;
        QTest::newRow("empty remote URL")
            << QString() << serve("") << QStringLiteral("noRemoteURL") << 0;
        QTest::newRow("connection refused")
            << QStringLiteral("refused") << serve("") << QStringLiteral("failed") << 0;
        QTest::newRow("not an absolute URL")
            << QStringLiteral("web.vesk") << serve("") << QStringLiteral("failed") << 0;
    }
    void results()
    {
        QFETCH(QString, remoteURL);
        QFETCH(LocalHttpServer::Response, response);
        QFETCH(QString, expected);
        QFETCH(int, requests);
        m_server.setResponse(QStringLiteral("/web.vesk"), response);
        std::optional<QString> url = remoteURL;
        if (remoteURL == QStringLiteral("none"))
            url.reset();
        else if (remoteURL == QStringLiteral("refused"))
            url = m_refused.toString();
        else if (remoteURL.startsWith(u'/'))
            url = m_server.url(remoteURL).toString();

        RecordingDelegate delegate;
        VeskDocumentUpdateChecker* checker = makeChecker(&delegate, url);
        QSignalSpy finished(checker, &VeskDocumentUpdateChecker::finished);
        checker->checkForUpdates();
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(delegate.calls, QStringList{expected});
        QCOMPARE(m_server.requests().size(), requests);
        if (expected == QStringLiteral("newVersion"))
            QCOMPARE(delegate.data, response.body);
        if (requests > 0) {
            const auto request = m_server.requests().first();
            QCOMPARE(request.method, QByteArray("GET"));
            QCOMPARE(request.target, QByteArray("/web.vesk"));
        }
    }

    void ignoreListKeepsOtherDocumentsAndSurvivesRestart()
    {
        UserDefaults::standard().setValue(kUserDefaultsUpdateIgnores,
                                          QVariantMap{{kOtherUUID, 3}, {kUUID, 2}});
        m_server.setResponse(QStringLiteral("/web.vesk"),
                             LocalHttpServer::Response::text(veskDocument(kUUID, 7, std::nullopt)));
        RecordingDelegate delegate;
        VeskDocumentUpdateChecker* checker =
            makeChecker(&delegate, m_server.url(QStringLiteral("/web.vesk")).toString());
        checker->setDeleteWhenDone(false);
        checker->checkForUpdates();
        QTRY_COMPARE(delegate.calls, QStringList{QStringLiteral("newVersion")});
        checker->ignoreCurrentUpdate();
        QCOMPARE(UserDefaults::standard().dictionaryForKey(kUserDefaultsUpdateIgnores),
                 (QVariantMap{{kOtherUUID, 3}, {kUUID, 7}}));
        checker->ignoreAllFutureUpdates();
        QCOMPARE(VeskDocumentUpdateChecker::ignoredRevision(UserDefaults::standard(), kUUID),
                 std::optional<qint64>(999999999));

        // A second check of the same revision is now silent.
        RecordingDelegate again;
        VeskDocumentUpdateChecker* second =
            makeChecker(&again, m_server.url(QStringLiteral("/web.vesk")).toString());
        second->checkForUpdates();
        QTRY_COMPARE(again.calls, QStringList{QStringLiteral("noUpdate")});
        delete checker;
    }

    // The delegate is held weakly: a document closed before the reply hears nothing.
    void destroyedDelegateHearsNothing()
    {
        LocalHttpServer::Response slow =
            LocalHttpServer::Response::text(veskDocument(kUUID, 5, std::nullopt));
        slow.delayMs = 100;
        m_server.setResponse(QStringLiteral("/slow.vesk"), slow);
        auto delegate = std::make_unique<RecordingDelegate>();
        VeskDocumentUpdateChecker* checker =
            makeChecker(delegate.get(), m_server.url(QStringLiteral("/slow.vesk")).toString());
        checker->setDeleteWhenDone(false);
        QSignalSpy finished(checker, &VeskDocumentUpdateChecker::finished);
        checker->checkForUpdates();
        QCOMPARE(checker->delegate(), delegate.get());
        delegate.reset();
        QCOMPARE(checker->delegate(), nullptr);
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(checker->foundVersion(), std::optional<qint64>(5));
        delete checker;
    }
};

VESK_TEST(TestUpdateDecision)
VESK_TEST(TestUpdateChecker)
#include "tst_UpdateChecker.moc"
