#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "DesktopSearch.h"
#include "DocumentController.h"
#include "EditorTestSupport.h"
#include "VeskDocument.h"
#include "HTTPRequests.h"
#include "LocalHttpServer.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "UpdateTestSupport.h"
#include "UserDefaults.h"
#include "VeskUpdateFinder.h"

using namespace vesk;
using vesk::test::kOtherUUID;
using vesk::test::kUUID;
using vesk::test::LocalHttpServer;
using vesk::test::veskDocument;
using vesk::test::EditorWorld;

Q_DECLARE_METATYPE(QList<VeskUpdateFinder::Entry>)

// The finder with real searches of a temporary tree and real checks against 127.0.0.1.
class TestUpdateFinder : public QObject
{
    Q_OBJECT

    LocalHttpServer m_server;
    QUrl m_refused;

    QString url(const QString& path) const { return m_server.url(path).toString(); }

    static QString uuidFor(int n)
    {
        return QStringLiteral("00000000-0000-0000-0000-%1").arg(n, 12, 10, QLatin1Char('0'));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_server.listen());
        LocalHttpServer closed;
        QVERIFY(closed.listen());
        m_refused = closed.url(QStringLiteral("/gone.vesk"));
    }
    void init()
    {
        UserDefaults::standard().clear();
        m_server.clearRequests();
    }

    void walkFindsDocumentsInAnyCaseAndSkipsHiddenFolders()
    {
        QTemporaryDir tree;
        const QString root = tree.path();
        const QStringList wanted{root + QStringLiteral("/a/site.vesk"),
                                 root + QStringLiteral("/b/deep/er/UPPER.VESK"),
                                 root + QStringLiteral("/Mixed.Vesk")};
        for (const QString& path : wanted)
            QVERIFY(test::writeFile(path, "{}"));
        QVERIFY(test::writeFile(root + QStringLiteral("/.hidden/secret.vesk"), "{}"));
        QVERIFY(test::writeFile(root + QStringLiteral("/a/.dot.vesk"), "{}"));
        QVERIFY(test::writeFile(root + QStringLiteral("/a/site.vesk.bak"), "{}"));
        QVERIFY(test::writeFile(root + QStringLiteral("/a/notes.txt"), "{}"));
        QVERIFY(QFile::link(root + QStringLiteral("/a"), root + QStringLiteral("/a/loop")));

        WalkDesktopSearch search({root});
        QSignalSpy finished(&search, &DesktopSearch::finishedGathering);
        search.start(QStringLiteral(".vesk"));
        QTRY_COMPARE(finished.size(), 1);
        QStringList found = search.results();
        found.sort();
        QStringList expected = wanted;
        expected.sort();
        QCOMPARE(found, expected);
    }

    void stoppedSearchNeverReports()
    {
        QTemporaryDir tree;
        QVERIFY(test::writeFile(tree.path() + QStringLiteral("/x.vesk"), "{}"));
        WalkDesktopSearch search({tree.path()});
        QSignalSpy finished(&search, &DesktopSearch::finishedGathering);
        search.start(QStringLiteral(".vesk"));
        search.stop();
        QTest::qWait(100);
        QCOMPARE(finished.size(), 0);
    }

    void listsOnlyNewerNotIgnoredDocuments()
    {
        QTemporaryDir tree;
        const QString root = tree.path();
        struct Case
        {
            QString file;
            QString uuid;
            int local;
            std::optional<int> remote; // nothing: no remote URL
            QString remoteUUID;
        };
        const QList<Case> cases{
            {QStringLiteral("web/site.vesk"), uuidFor(1), 1, 2, uuidFor(1)},
            {QStringLiteral("db/UPPER.VESK"), uuidFor(2), 3, 4, uuidFor(2)},
            {QStringLiteral("same/same.vesk"), uuidFor(3), 4, 4, uuidFor(3)},
            {QStringLiteral("ignored/ignored.vesk"), uuidFor(4), 1, 5, uuidFor(4)},
            {QStringLiteral("local/no-remote.vesk"), uuidFor(5), 1, std::nullopt, QString()},
            {QStringLiteral("other/mismatch.vesk"), uuidFor(6), 1, 9, kOtherUUID},
            {QStringLiteral(".hidden/hidden.vesk"), uuidFor(7), 1, 2, uuidFor(7)},
        };
        for (const Case& c : cases) {
            std::optional<QString> remoteURL;
            if (c.remote) {
                const QString path = u'/' + c.uuid + QStringLiteral(".vesk");
                remoteURL = url(path);
                m_server.setResponse(path, LocalHttpServer::Response::text(veskDocument(
                                               c.remoteUUID, *c.remote, std::nullopt)));
            }
            QVERIFY(
                test::writeFile(root + u'/' + c.file, veskDocument(c.uuid, c.local, remoteURL)));
        }
        QVERIFY(test::writeFile(root + QStringLiteral("/down/offline.vesk"),
                                veskDocument(uuidFor(8), 1, m_refused.toString())));
        QVERIFY(test::writeFile(root + QStringLiteral("/junk/broken.vesk"), "not json"));
        UserDefaults::standard().setValue(kUserDefaultsUpdateIgnores, QVariantMap{{uuidFor(4), 5}});

        HTTPRequests http;
        VeskUpdateFinder finder;
        finder.setHTTPRequests(&http);
        finder.setSearchFactory(
            [root] { return std::make_unique<WalkDesktopSearch>(QStringList{root}); });
        QSignalSpy gathered(&finder, &VeskUpdateFinder::gatheringFinished);
        QSignalSpy replies(http.manager(), &QNetworkAccessManager::finished);
        QSignalSpy changed(&finder, &VeskUpdateFinder::changed);
        finder.beginSearching();
        QCOMPARE(changed.size(), 1);
        QTRY_COMPARE(gathered.size(), 1);
        QCOMPARE(gathered.first().first().toStringList().size(), 8);
        // Requests for the five documents with a remote URL, the unreachable one included.
        QTRY_COMPARE(replies.size(), 6);
        QCoreApplication::processEvents();

        QStringList found = finder.availableUpdates();
        found.sort();
        QCOMPARE(found, (QStringList{root + QStringLiteral("/db/UPPER.VESK"),
                                     root + QStringLiteral("/web/site.vesk")}));
        QCOMPARE(changed.size(), 3);
        QList<VeskUpdateFinder::Entry> entries = finder.updatesMenuEntries();
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.title < b.title; });
        QCOMPARE(entries,
                 (QList<VeskUpdateFinder::Entry>{{QStringLiteral("UPPER.VESK - Update Available"),
                                                  root + QStringLiteral("/db/UPPER.VESK")},
                                                 {QStringLiteral("site.vesk - Update Available"),
                                                  root + QStringLiteral("/web/site.vesk")}}));
        QVERIFY(m_server.requestsFor(u'/' + uuidFor(7) + QStringLiteral(".vesk")).isEmpty());
        QVERIFY(finder.isNextSearchScheduled());
        QVERIFY(finder.remainingUntilNextSearch() > VeskUpdateFinder::kSearchInterval - 60000);

        // A new search starts empty, so a stale entry never lingers.
        finder.beginSearching();
        QVERIFY(finder.availableUpdates().isEmpty());
        QVERIFY(!finder.isNextSearchScheduled());
    }

    void nothingFoundStillSearchesAgain()
    {
        QTemporaryDir empty;
        VeskUpdateFinder finder;
        int searches = 0;
        finder.setSearchFactory([&] {
            ++searches;
            return std::make_unique<WalkDesktopSearch>(QStringList{empty.path()});
        });
        finder.setSearchInterval(20);
        QSignalSpy gathered(&finder, &VeskUpdateFinder::gatheringFinished);
        finder.beginSearching();
        QTRY_VERIFY(gathered.size() >= 2);
        QVERIFY(searches >= 2);
        QVERIFY(finder.availableUpdates().isEmpty());
        QVERIFY(finder.updatesMenuEntries().isEmpty());
    }

    // Decision: answers of an earlier search's checks are dropped once a new search started.
    void answersOfAnEarlierSearchAreDropped()
    {
        QTemporaryDir tree;
        const QString file = tree.path() + QStringLiteral("/late.vesk");
        LocalHttpServer::Response slow =
            LocalHttpServer::Response::text(veskDocument(kUUID, 9, std::nullopt));
        slow.delayMs = 150;
        m_server.setResponse(QStringLiteral("/late.vesk"), slow);
        QVERIFY(test::writeFile(file, veskDocument(kUUID, 1, url(QStringLiteral("/late.vesk")))));

        HTTPRequests http;
        VeskUpdateFinder finder;
        finder.setHTTPRequests(&http);
        QList<QStringList> results{{file}, {}};
        finder.setSearchFactory([&] {
            return std::make_unique<FakeDesktopSearch>(results.isEmpty() ? QStringList{}
                                                                         : results.takeFirst());
        });
        QSignalSpy gathered(&finder, &VeskUpdateFinder::gatheringFinished);
        QSignalSpy replies(http.manager(), &QNetworkAccessManager::finished);
        finder.beginSearching();
        QTRY_COMPARE(gathered.size(), 1);
        QTRY_COMPARE(m_server.requestsFor(QStringLiteral("/late.vesk")).size(), 1);
        finder.beginSearching();
        QTRY_COMPARE(gathered.size(), 2);
        QTRY_COMPARE(replies.size(), 1);
        QCoreApplication::processEvents();
        QVERIFY(finder.availableUpdates().isEmpty());

        // The same answer within its own search is listed.
        results = {{file}};
        finder.beginSearching();
        QTRY_COMPARE(replies.size(), 2);
        QTRY_COMPARE(finder.availableUpdates(), QStringList{file});
    }

    // Decision: a search started at launch or after an alert replaces the scheduled one.
    void newSearchReplacesTheScheduledOne()
    {
        VeskUpdateFinder finder;
        int searches = 0;
        finder.setSearchFactory([&] {
            ++searches;
            return std::make_unique<FakeDesktopSearch>(QStringList{});
        });
        QSignalSpy gathered(&finder, &VeskUpdateFinder::gatheringFinished);
        finder.beginSearching();
        QTRY_COMPARE(gathered.size(), 1);
        QVERIFY(finder.isNextSearchScheduled());
        finder.beginSearching(); // e.g. after an "Update Available" answer
        QVERIFY(!finder.isNextSearchScheduled());
        QTRY_COMPARE(gathered.size(), 2);
        QVERIFY(finder.isNextSearchScheduled());
        QCOMPARE(searches, 2);
        // A search stopped before it gathered never reports.
        finder.beginSearching();
        finder.beginSearching();
        QTRY_COMPARE(gathered.size(), 3);
        QTest::qWait(20);
        QCOMPARE(gathered.size(), 3);
        QCOMPARE(searches, 4);
    }

    void documentsVeskSavesJoinEverySearch()
    {
        // Saved through the document window, as a user does.
        EditorWorld world;
        VeskDocument* document = world.controller().newDocument();
        const QString path = world.folder(QStringLiteral("fresh")) + QStringLiteral("/new.vesk");
        world.panels.answer(path);
        QVERIFY(document->saveDocument());
        QVERIFY(VeskUpdateFinder::sharedInstance().savedDocuments().contains(path));

        // The desktop's search does not know it yet, or fails altogether: it is checked anyway.
        const QList<DesktopSearch::Factory> searches{
            [] { return std::make_unique<FakeDesktopSearch>(QStringList{}); },
            [] { return std::make_unique<ChainedDesktopSearch>(QList<DesktopSearch::Factory>{}); },
        };
        for (const DesktopSearch::Factory& factory : searches) {
            VeskUpdateFinder finder;
            finder.noteSavedDocument(path);
            finder.noteSavedDocument(world.folder() + QStringLiteral("/deleted-since.vesk"));
            finder.setSearchFactory(factory);
            QSignalSpy gathered(&finder, &VeskUpdateFinder::gatheringFinished);
            finder.beginSearching();
            QTRY_COMPARE(gathered.size(), 1);
            QCOMPARE(gathered.first().first().toStringList(), QStringList{path});
            QVERIFY(finder.isNextSearchScheduled());
        }

        // Known from an earlier launch, and one file found through two paths is checked once.
        const QString link = world.folder() + QStringLiteral("/linked");
        QVERIFY(QFile::link(world.folder(QStringLiteral("fresh")), link));
        VeskUpdateFinder next;
        next.setSearchFactory([link] {
            return std::make_unique<FakeDesktopSearch>(QStringList{link + QStringLiteral("/new.vesk")});
        });
        QSignalSpy gathered(&next, &VeskUpdateFinder::gatheringFinished);
        next.beginSearching();
        QTRY_COMPARE(gathered.size(), 1);
        QCOMPARE(gathered.first().first().toStringList(),
                 QStringList{link + QStringLiteral("/new.vesk")});
    }
};

VESK_TEST(TestUpdateFinder)
#include "tst_UpdateFinder.moc"
