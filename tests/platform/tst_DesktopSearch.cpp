#include <unistd.h>

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "DesktopSearch.h"
#include "TestMain.h"
#include "TestSupport.h"

using namespace vesk;

// The desktop's own search, with stand-ins for its tools on PATH: which one is asked, what it
// is asked, and what happens when it fails.
class TestDesktopSearchSources : public QObject
{
    Q_OBJECT

    QTemporaryDir m_bin;
    QByteArray m_oldPath;
    test::PrivateSessionBus m_bus;
    QStringList m_owned;

    QDBusConnection index() const
    {
        return QDBusConnection::connectToBus(QString(), QStringLiteral("index"));
    }

    // A stand-in that records its arguments, one per line, then runs `body`.
    void tool(const QString& name, const QByteArray& body)
    {
        const QString path = m_bin.filePath(name);
        QVERIFY(test::writeFile(path, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n" + body));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner |
                                                QFile::ExeOwner));
    }
    QStringList argumentsOf(const QString& name) const
    {
        return QString::fromUtf8(test::readFile(m_bin.filePath(name + QStringLiteral(".args"))))
            .split(u'\n', Qt::SkipEmptyParts);
    }

    struct Answer
    {
        QString source;
        QStringList results;
        QStringList failures;
    };
    static Answer search()
    {
        std::unique_ptr<DesktopSearch> search = DesktopSearch::create();
        QSignalSpy finished(search.get(), &DesktopSearch::finishedGathering);
        search->start(QStringLiteral(".vesk"));
        if (!finished.wait(20000))
            return {};
        QStringList results = search->results();
        results.sort();
        return {search->source(), results,
                static_cast<ChainedDesktopSearch*>(search.get())->failures()};
    }

private Q_SLOTS:
    void initTestCase()
    {
        // A session bus of the test's own, where the desktop's index services are names that
        // the test owns or not.
        const QByteArray address = m_bus.start();
        QVERIFY2(!address.isEmpty(), "dbus-daemon could not be started");
        QVERIFY(QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("index"))
                    .isConnected());
        m_oldPath = qgetenv("PATH");
        DesktopSearch::setToolTimeout(1500);
        QVERIFY(test::writeFile(QDir::homePath() + QStringLiteral("/projects/walked.vesk"), "{}"));
    }
    void init()
    {
        // Only the stand-ins of the row are installed.
        for (const QString& name : QDir(m_bin.path()).entryList(QDir::Files))
            QFile::remove(m_bin.filePath(name));
        qputenv("PATH", m_bin.path().toUtf8());
    }
    void cleanup()
    {
        for (const QString& name : std::as_const(m_owned))
            index().unregisterService(name);
        m_owned.clear();
    }
    void cleanupTestCase()
    {
        qputenv("PATH", m_oldPath);
        QDBusConnection::disconnectFromBus(QStringLiteral("index"));
    }

    void eachSourceAndItsFallBack_data()
    {
        QTest::addColumn<QStringList>("tools"); // name=body pairs, in the order written
        QTest::addColumn<QStringList>("running"); // index services on the bus
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("results");
        QTest::addColumn<int>("failures");

        const QString walked = QDir::homePath() + QStringLiteral("/projects/walked.vesk");
        const QString urls = "printf 'Results:\\n  file:///srv/a.vesk\\n"
                                "  file:///srv/b%%20c,d.VESK\\n  file:///srv/notes.txt\\n'";
        const QStringList gnome{"org.freedesktop.LocalSearch3",
                                "org.freedesktop.Tracker3.Miner.Files"};
        QTest::newRow("GNOME's LocalSearch comes first")
            << QStringList{"tinysparql=" + urls, "tracker3=exit 3", "plocate=exit 3"} << gnome
            << "localsearch" << QStringList{"/srv/a.vesk", "/srv/b c,d.VESK"} << 0;
        QTest::newRow("older GNOME: Tracker")
            << QStringList{"tracker3=" + urls} << gnome << "tracker3"
            << QStringList{"/srv/a.vesk", "/srv/b c,d.VESK"} << 0;
        QTest::newRow("an index that is not running is not woken")
            << QStringList{"tinysparql=" + urls, "tracker3=" + urls} << QStringList{} << "walk"
            << QStringList{walked} << 2;
        QTest::newRow("an index that finds nothing hands over")
            << QStringList{"tracker3=printf 'Results:\\n'", "plocate=printf '/srv/i.vesk\\0'"}
            << gnome << "plocate" << QStringList{"/srv/i.vesk"} << 1;
        QTest::newRow("Tracker fails, KDE's Baloo answers")
            << QStringList{"tracker3=echo 'Could not connect' >&2; exit 1",
                           "baloosearch=printf '/srv/k.vesk\\n/srv/vesk-notes.txt\\n'"}
            << gnome << "baloosearch" << QStringList{"/srv/k.vesk"} << 1;
        QTest::newRow("a complaint and nothing found is a failure")
            << QStringList{"tracker3=echo 'The name is not activatable' >&2",
                           "plocate=printf '/srv/l.vesk\\0'"}
            << gnome << "plocate" << QStringList{"/srv/l.vesk"} << 1;
        QTest::newRow("trash and hidden folders of an answer are left out")
            << QStringList{"baloosearch=printf '" + QDir::homePath() +
                           "/.local/share/Trash/files/old.vesk\\n" + QDir::homePath() +
                           "/.cache/x.vesk\\n" + QDir::homePath() + "/web/site.vesk\\n'"}
            << QStringList{} << "baloosearch" << QStringList{QDir::homePath() + "/web/site.vesk"}
            << 0;
        QTest::newRow("locate without a database: the walk")
            << QStringList{"plocate=echo 'plocate.db: No such file or directory' >&2; exit 1"}
            << QStringList{} << "walk" << QStringList{walked} << 1;
        QTest::newRow("locate matched nothing: no documents")
            << QStringList{"plocate=exit 1"} << QStringList{} << "plocate" << QStringList{} << 0;
        QTest::newRow("a tool that hangs or crashes is passed over")
            << QStringList{"tracker3=exec sleep 30", "baloosearch=kill -SEGV $$",
                           "locate=printf '/srv/m.vesk\\0'"}
            << gnome << "locate" << QStringList{"/srv/m.vesk"} << 2;
        QTest::newRow("no tool: the walk")
            << QStringList{} << QStringList{} << "walk" << QStringList{walked} << 0;
    }
    void eachSourceAndItsFallBack()
    {
        QFETCH(QStringList, tools);
        QFETCH(QStringList, running);
        for (const QString& name : running) {
            QVERIFY(index().registerService(name));
            m_owned.append(name);
        }
        for (const QString& entry : tools) {
            const qsizetype at = entry.indexOf(u'=');
            tool(entry.left(at), entry.mid(at + 1).toUtf8());
        }
        if (tools.join(u' ').contains(QStringLiteral("sleep")))
            QVERIFY(QFile::link(QStringLiteral("/bin/sleep"), m_bin.filePath(QStringLiteral("sleep"))));
        QFETCH(int, failures);
        const Answer answer = search();
        QVERIFY2(answer.failures.size() == failures, qPrintable(answer.failures.join(u'\n')));
        QTEST(answer.source, "source");
        QTEST(answer.results, "results");
    }

    void theToolsAreAskedForTheSuffix()
    {
        for (const char* name :
             {"org.freedesktop.LocalSearch3", "org.freedesktop.Tracker3.Miner.Files"}) {
            QVERIFY(index().registerService(QString::fromLatin1(name)));
            m_owned.append(QString::fromLatin1(name));
        }
        for (const char* name : {"tinysparql", "tracker3", "baloosearch6", "plocate"})
            tool(QString::fromLatin1(name), "exit 1");
        search();
        const QStringList sparql = argumentsOf(QStringLiteral("tinysparql"));
        QCOMPARE(sparql.mid(0, 3), (QStringList{"query", "--dbus-service",
                                                "org.freedesktop.LocalSearch3"}));
        QVERIFY2(sparql.last().contains(QStringLiteral("STRENDS(LCASE(?url), \".vesk\")")),
                 qPrintable(sparql.last()));
        const QStringList tracker = argumentsOf(QStringLiteral("tracker3"));
        QCOMPARE(tracker.mid(0, 4), (QStringList{"sparql", "--dbus-service",
                                                 "org.freedesktop.Tracker3.Miner.Files",
                                                 "--query"}));
        QCOMPARE(argumentsOf(QStringLiteral("baloosearch6")), QStringList{"vesk"});
        QCOMPARE(argumentsOf(QStringLiteral("plocate")),
                 (QStringList{"-i", "-b", "-0", "*.vesk"}));
    }

    void theWalkStaysOnItsFileSystemAndOutOfTheTrash()
    {
        QTemporaryDir tree;
        const QString root = tree.path();
        QVERIFY(test::writeFile(root + QStringLiteral("/web/site.vesk"), "{}"));
        // A trash that is not hidden, as XDG_DATA_HOME may put it.
        const QByteArray oldData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toUtf8());
        QVERIFY(test::writeFile(root + QStringLiteral("/data/Trash/files/old.vesk"), "{}"));
        QVERIFY(test::writeFile(root + QStringLiteral("/data/kept.vesk"), "{}"));
        // Another file system below the root (a network share or a disk, say).
        const QString mount = root + QStringLiteral("/mnt");
        QVERIFY(QDir().mkpath(mount));
        const bool mounted =
            ::geteuid() == 0 &&
            QProcess::execute(QStringLiteral("/bin/mount"), {"-t", "tmpfs", "vesk-test", mount}) == 0;
        if (mounted)
            QVERIFY(test::writeFile(mount + QStringLiteral("/elsewhere.vesk"), "{}"));

        const std::atomic_bool cancelled = false;
        QStringList found = WalkDesktopSearch::walk({root}, QStringLiteral(".vesk"), cancelled);
        found.sort();
        if (mounted)
            QProcess::execute(QStringLiteral("/bin/umount"), {mount});
        qputenv("XDG_DATA_HOME", oldData);
        QCOMPARE(found, (QStringList{root + QStringLiteral("/data/kept.vesk"),
                                     root + QStringLiteral("/web/site.vesk")}));
        if (!mounted)
            QSKIP("No file system could be mounted here: only the trash was tried");
    }
};

VESK_TEST(TestDesktopSearchSources)
#include "tst_DesktopSearch.moc"
