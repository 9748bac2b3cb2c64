#include <algorithm>
#include <memory>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimeZone>
#include <QTimer>

#include "CDEvents.h"
#include "TestMain.h"
#include "TestSupport.h"

using namespace vesk;

namespace {

// Long enough that only a flush delivers, so tests decide when a batch ends.
constexpr double kFlushOnly = 600.0;

QList<QUrl> urls(const QStringList& paths)
{
    QList<QUrl> list;
    for (const QString& path : paths)
        list.append(QUrl::fromLocalFile(path));
    return list;
}

QString flagNames(quint32 flags)
{
    return QStringLiteral("0x") + QString::number(flags, 16);
}

// Records every call of a watcher's block, and which batch it belonged to.
class Recorder : public QObject
{
public:
    QList<CDEvent> events;
    QList<int> batchOf;
    QList<CDEvents*> watchers;
    int batches = 0;

    CDEventsEventBlock block()
    {
        return [this](CDEvents* watcher, const CDEvent& event) {
            // Calls of one batch come in one go; the next turn of the event loop ends it.
            if (!m_inBatch) {
                m_inBatch = true;
                ++batches;
                QTimer::singleShot(0, this, [this] { m_inBatch = false; });
            }
            events.append(event);
            batchOf.append(batches);
            watchers.append(watcher);
        };
    }

    qsizetype indexOf(const QString& path, quint32 flags) const
    {
        for (qsizetype i = 0; i < events.size(); ++i) {
            if (events.at(i).URL().toLocalFile() == path && events.at(i).flags() == flags)
                return i;
        }
        return -1;
    }
    bool has(const QString& path, quint32 flags) const { return indexOf(path, flags) >= 0; }
    bool hasPath(const QString& path) const
    {
        return std::any_of(events.cbegin(), events.cend(),
                           [&](const CDEvent& e) { return e.URL().toLocalFile() == path; });
    }
    QString dump() const
    {
        QStringList lines;
        for (const CDEvent& event : events)
            lines.append(event.URL().toLocalFile() + QLatin1Char(' ') + flagNames(event.flags()));
        return lines.join(QLatin1Char('\n'));
    }
    void clear()
    {
        events.clear();
        batchOf.clear();
        watchers.clear();
    }

private:
    bool m_inBatch = false;
};

class CountingDelegate : public CDEventsDelegate
{
public:
    void URLWatcher(CDEvents* watcher, const CDEvent& event) override
    {
        watchers.append(watcher);
        events.append(event);
    }
    QList<CDEvents*> watchers;
    QList<CDEvent> events;
};

int openInotifyDescriptors()
{
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd :
         fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[256] = {};
        const QByteArray link = QFile::encodeName(fds.filePath(fd));
        if (::readlink(link.constData(), target, sizeof target - 1) > 0 &&
            QByteArray(target).contains("inotify"))
            ++count;
    }
    return count;
}

bool makeFolder(const QString& path)
{
    return QDir().mkdir(path);
}

bool append(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::Append) && file.write(data) == data.size();
}

} // namespace

class TestCDEvents : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_base;

    QString at(const QString& relative) const { return m_base + QLatin1Char('/') + relative; }

    std::unique_ptr<CDEvents> watch(Recorder& recorder, const QStringList& paths,
                                    double latency = kFlushOnly, bool ignoreSubDirs = false,
                                    const QList<QUrl>& excluded = {},
                                    quint32 flags = kCDEventsDefaultEventStreamFlags,
                                    CDEventIdentifier since = kCDEventsSinceEventNow)
    {
        return std::make_unique<CDEvents>(urls(paths), recorder.block(), nullptr, since, latency,
                                          ignoreSubDirs, excluded, flags);
    }

    QString vagrantIndexFolder() const
    {
        return test::homePath() + QStringLiteral("/.vagrant.d/data/machine-index");
    }

private Q_SLOTS:
    void init()
    {
        m_dir =
            std::make_unique<QTemporaryDir>(test::homePath() + QStringLiteral("/events-XXXXXX"));
        QVERIFY(m_dir->isValid());
        m_base = m_dir->path();
        QVERIFY(makeFolder(at(QStringLiteral("w"))));
    }

    void cleanup()
    {
        m_dir.reset();
        QDir(test::homePath() + QStringLiteral("/.vagrant.d")).removeRecursively();
    }

    void creationErrors_data()
    {
        QTest::addColumn<int>("form");
        QTest::newRow("no URLs, block form") << 0;
        QTest::newRow("no block") << 1;
        QTest::newRow("no URLs, full block form") << 2;
        QTest::newRow("no URLs, delegate form") << 3;
        QTest::newRow("no delegate") << 4;
        QTest::newRow("no delegate, full delegate form") << 5;
        QTest::newRow("parent on another thread") << 6;
    }
    void creationErrors()
    {
        QFETCH(int, form);
        const QList<QUrl> some = urls({at(QStringLiteral("w"))});
        const CDEventsEventBlock block = [](CDEvents*, const CDEvent&) {};
        CountingDelegate delegate;
        QThread other;
        QObject parent;
        QString message;
        try {
            switch (form) {
            case 0:
                CDEvents({}, block);
                break;
            case 1:
                CDEvents(some, CDEventsEventBlock());
                break;
            case 2:
                CDEvents({}, block, nullptr, 0, 1.0, false, {}, 5);
                break;
            case 3:
                CDEvents({}, &delegate);
                break;
            case 4:
                CDEvents(some, static_cast<CDEventsDelegate*>(nullptr));
                break;
            case 5:
                CDEvents(some, static_cast<CDEventsDelegate*>(nullptr), nullptr,
                         kCDEventsSinceEventNow, 1.0, false, {}, 5);
                break;
            case 6:
                CDEvents(some, block, &other, &parent);
                break;
            }
        } catch (const std::invalid_argument& error) {
            QVERIFY(dynamic_cast<const CDEventsInvalidArgument*>(&error));
            message = QString::fromUtf8(error.what());
        }
        QCOMPARE(message, QStringLiteral("Invalid arguments passed to CDEvents init-method."));
    }

    void streamCreationFailure()
    {
        // With every descriptor up to the limit in use, the system cannot give out an inotify
        // instance.
        struct rlimit saved;
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
        const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        QVERIFY(lowestFree >= 0);
        ::close(lowestFree);
        struct rlimit tight = saved;
        tight.rlim_cur = rlim_t(lowestFree);
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &tight), 0);
        QString message;
        try {
            CDEvents watcher(urls({at(QStringLiteral("w"))}), [](CDEvents*, const CDEvent&) {});
        } catch (const CDEventsEventStreamCreationFailureException& error) {
            message = QString::fromUtf8(error.what());
        } catch (...) {
        }
        ::setrlimit(RLIMIT_NOFILE, &saved);
        QCOMPARE(message, QStringLiteral("Failed to create event stream."));
    }

    void defaults_data()
    {
        QTest::addColumn<bool>("delegateForm");
        QTest::addColumn<bool>("onRunLoop");
        QTest::newRow("block") << false << false;
        QTest::newRow("block on the current run loop") << false << true;
        QTest::newRow("delegate") << true << false;
        QTest::newRow("delegate on the current run loop") << true << true;
    }
    void defaults()
    {
        QFETCH(bool, delegateForm);
        QFETCH(bool, onRunLoop);
        const QList<QUrl> watched = urls({at(QStringLiteral("w")), at(QStringLiteral("missing"))});
        CountingDelegate delegate;
        QObject parent;
        std::unique_ptr<CDEvents> watcher;
        if (delegateForm && onRunLoop)
            watcher = std::make_unique<CDEvents>(watched, &delegate, QThread::currentThread());
        else if (delegateForm)
            watcher = std::make_unique<CDEvents>(watched, &delegate, &parent);
        else if (onRunLoop)
            watcher = std::make_unique<CDEvents>(
                watched, [](CDEvents*, const CDEvent&) {}, QThread::currentThread());
        else
            watcher = std::make_unique<CDEvents>(
                watched, [](CDEvents*, const CDEvent&) {}, &parent);

        QCOMPARE(watcher->watchedURLs(), watched);
        QCOMPARE(watcher->sinceEventIdentifier(), ~quint64(0));
        QCOMPARE(watcher->notificationLatency(), 3.0);
        QCOMPARE(watcher->ignoreEventsFromSubDirectories(), false);
        QVERIFY(watcher->excludedURLs().isEmpty());
        QCOMPARE(watcher->eventStreamCreationFlags(), quint32(5));
        QCOMPARE(watcher->thread(), QThread::currentThread());
        QVERIFY(!watcher->lastEvent().has_value());
        QVERIFY(bool(watcher->eventBlock()));
        QCOMPARE(watcher->delegate(), delegateForm ? &delegate : nullptr);
        QCOMPARE(watcher->parent(), onRunLoop ? nullptr : &parent);
    }

    void fullFormKeepsItsArguments()
    {
        const QList<QUrl> excluded = urls({at(QStringLiteral("w/tmp"))});
        Recorder recorder;
        CDEvents watcher(urls({at(QStringLiteral("w"))}), recorder.block(), nullptr, 42, 0.25, true,
                         excluded, 0x15);
        QCOMPARE(watcher.sinceEventIdentifier(), quint64(42));
        QCOMPARE(watcher.notificationLatency(), 0.25);
        QCOMPARE(watcher.ignoreEventsFromSubDirectories(), true);
        QCOMPARE(watcher.excludedURLs(), excluded);
        QCOMPARE(watcher.eventStreamCreationFlags(), quint32(0x15));
        watcher.setIgnoreEventsFromSubDirectories(false);
        QCOMPARE(watcher.ignoreEventsFromSubDirectories(), false);
    }

    void deliversOnTheGivenRunLoop()
    {
        QThread worker;
        worker.start();
        QMutex lock;
        QList<QThread*> threads;
        const auto block = [&](CDEvents*, const CDEvent&) {
            QMutexLocker locker(&lock);
            threads.append(QThread::currentThread());
        };
        auto* watcher = new CDEvents(urls({at(QStringLiteral("w"))}), block, &worker,
                                     kCDEventsSinceEventNow, 0.05, false, {}, 5);
        QCOMPARE(watcher->thread(), &worker);
        QVERIFY(test::writeFile(at(QStringLiteral("w/f")), "x"));
        const auto delivered = [&] {
            QMutexLocker locker(&lock);
            return !threads.isEmpty();
        };
        QTRY_VERIFY(delivered());
        QMetaObject::invokeMethod(
            watcher, [watcher] { delete watcher; }, Qt::BlockingQueuedConnection);
        worker.quit();
        worker.wait();
        for (QThread* thread : std::as_const(threads))
            QCOMPARE(thread, &worker);
    }

    void batchesChangesOverTheLatency()
    {
        Recorder recorder;
        auto watcher = watch(recorder, {at(QStringLiteral("w"))}, 0.2);
        // All three changes are queued before the event loop runs again.
        const QStringList names{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
        for (const QString& name : names)
            QVERIFY(test::writeFile(at(QStringLiteral("w/") + name), "data"));
        const quint32 created = CDEventFlag::ItemCreated | CDEventFlag::ItemIsFile;
        QTRY_VERIFY(recorder.has(at(QStringLiteral("w/c")), created));

        QCOMPARE(recorder.batches, 1);
        QVERIFY(recorder.indexOf(at(QStringLiteral("w/a")), created) <
                recorder.indexOf(at(QStringLiteral("w/b")), created));
        QVERIFY(recorder.indexOf(at(QStringLiteral("w/b")), created) <
                recorder.indexOf(at(QStringLiteral("w/c")), created));
        for (qsizetype i = 0; i < recorder.events.size(); ++i) {
            QCOMPARE(recorder.watchers.at(i), watcher.get());
            // One call per event, in order, all stamped with the delivery time.
            QCOMPARE(recorder.events.at(i).date(), recorder.events.constFirst().date());
            if (i > 0)
                QVERIFY(recorder.events.at(i).identifier() >
                        recorder.events.at(i - 1).identifier());
        }
        QCOMPARE(watcher->lastEvent(), recorder.events.constLast());
        QVERIFY(CDEvents::currentEventIdentifier() >= recorder.events.constLast().identifier());

        // A later change starts a new batch.
        recorder.clear();
        QVERIFY(append(at(QStringLiteral("w/a")), "more"));
        QTRY_VERIFY(recorder.has(at(QStringLiteral("w/a")),
                                 CDEventFlag::ItemModified | CDEventFlag::ItemIsFile));
        QCOMPARE(recorder.batches, 2);
    }

    void flushDeliversPendingChanges()
    {
        Recorder recorder;
        auto watcher = watch(recorder, {at(QStringLiteral("w"))});
        const quint32 created = CDEventFlag::ItemCreated | CDEventFlag::ItemIsFile;
        QVERIFY(test::writeFile(at(QStringLiteral("w/one")), "1"));
        QTest::qWait(100); // the change is read, but the latency keeps it back
        QVERIFY(recorder.events.isEmpty());

        watcher->flushAsynchronously();
        QVERIFY(recorder.events.isEmpty());
        QTRY_VERIFY(recorder.has(at(QStringLiteral("w/one")), created));

        QVERIFY(test::writeFile(at(QStringLiteral("w/two")), "2"));
        watcher->flushSynchronously();
        QVERIFY(recorder.has(at(QStringLiteral("w/two")), created));

        // Nothing pending: flushing delivers nothing.
        const qsizetype count = recorder.events.size();
        watcher->flushSynchronously();
        QCOMPARE(recorder.events.size(), count);
    }

    void inotifyEventsMapOntoFlags_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("path");
        QTest::addColumn<quint32>("flags");
        using namespace CDEventFlag;
        QTest::newRow("create file") << "create file"
                                     << "w/new" << (ItemCreated | ItemIsFile);
        QTest::newRow("create folder") << "create folder"
                                       << "w/newdir" << (ItemCreated | ItemIsDir);
        QTest::newRow("write file") << "write"
                                    << "w/existing" << (ItemModified | ItemIsFile);
        QTest::newRow("change permissions") << "chmod"
                                            << "w/existing" << (ItemInodeMetaMod | ItemIsFile);
        QTest::newRow("remove file") << "remove file"
                                     << "w/existing" << (ItemRemoved | ItemIsFile);
        QTest::newRow("remove folder") << "remove folder"
                                       << "w/dir" << (ItemRemoved | ItemIsDir);
        QTest::newRow("rename file, old name") << "rename"
                                               << "w/existing" << (ItemRenamed | ItemIsFile);
        QTest::newRow("rename file, new name")
            << "rename"
            << "w/renamed" << (ItemCreated | ItemRenamed | ItemIsFile);
        QTest::newRow("rename folder, new name")
            << "rename folder"
            << "w/dir2" << (ItemCreated | ItemRenamed | ItemIsDir);
        QTest::newRow("create symbolic link") << "symlink"
                                              << "w/link" << (ItemCreated | ItemIsSymlink);
        QTest::newRow("watched folder's own permissions") << "chmod watched"
                                                          << "w" << (ItemInodeMetaMod | ItemIsDir);
    }
    void inotifyEventsMapOntoFlags()
    {
        QFETCH(QString, operation);
        QFETCH(QString, path);
        QFETCH(quint32, flags);
        QVERIFY(test::writeFile(at(QStringLiteral("w/existing")), "old"));
        QVERIFY(makeFolder(at(QStringLiteral("w/dir"))));
        Recorder recorder;
        auto watcher = watch(recorder, {at(QStringLiteral("w"))});

        if (operation == QLatin1String("create file"))
            QVERIFY(test::writeFile(at(QStringLiteral("w/new")), ""));
        else if (operation == QLatin1String("create folder"))
            QVERIFY(makeFolder(at(QStringLiteral("w/newdir"))));
        else if (operation == QLatin1String("write"))
            QVERIFY(append(at(QStringLiteral("w/existing")), "new"));
        else if (operation == QLatin1String("chmod"))
            QVERIFY(QFile::setPermissions(at(QStringLiteral("w/existing")),
                                          QFile::ReadOwner | QFile::WriteOwner));
        else if (operation == QLatin1String("remove file"))
            QVERIFY(QFile::remove(at(QStringLiteral("w/existing"))));
        else if (operation == QLatin1String("remove folder"))
            QVERIFY(QDir().rmdir(at(QStringLiteral("w/dir"))));
        else if (operation == QLatin1String("rename"))
            QVERIFY(
                QFile::rename(at(QStringLiteral("w/existing")), at(QStringLiteral("w/renamed"))));
        else if (operation == QLatin1String("rename folder"))
            QVERIFY(QDir().rename(at(QStringLiteral("w/dir")), at(QStringLiteral("w/dir2"))));
        else if (operation == QLatin1String("symlink"))
            QVERIFY(QFile::link(at(QStringLiteral("w/existing")), at(QStringLiteral("w/link"))));
        else if (operation == QLatin1String("chmod watched"))
            QVERIFY(QFile::setPermissions(at(QStringLiteral("w")),
                                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        watcher->flushSynchronously();
        QVERIFY2(recorder.has(at(path), flags), qPrintable(recorder.dump()));
        QVERIFY(!recorder.events.constFirst().isGenericChange());
    }

    void subfoldersAreWatchedAsTheTreeGrows()
    {
        Recorder recorder;
        auto watcher = watch(recorder, {at(QStringLiteral("w"))});
        using namespace CDEventFlag;

        QVERIFY(makeFolder(at(QStringLiteral("w/a"))));
        watcher->flushSynchronously();
        QVERIFY2(recorder.has(at(QStringLiteral("w/a")), ItemCreated | ItemIsDir),
                 qPrintable(recorder.dump()));

        // Folders and a file made faster than the watcher can follow: found by listing the new
        // folders right after watching them.
        QVERIFY(QDir().mkpath(at(QStringLiteral("w/a/b/c"))));
        QVERIFY(test::writeFile(at(QStringLiteral("w/a/b/c/f.txt")), "f"));
        watcher->flushSynchronously();
        QVERIFY2(recorder.has(at(QStringLiteral("w/a/b")), ItemCreated | ItemIsDir),
                 qPrintable(recorder.dump()));
        QVERIFY(recorder.has(at(QStringLiteral("w/a/b/c")), ItemCreated | ItemIsDir));
        QVERIFY(recorder.has(at(QStringLiteral("w/a/b/c/f.txt")), ItemCreated | ItemIsFile));

        // The deepest folder is watched too.
        recorder.clear();
        QVERIFY(append(at(QStringLiteral("w/a/b/c/f.txt")), "more"));
        watcher->flushSynchronously();
        QVERIFY2(recorder.has(at(QStringLiteral("w/a/b/c/f.txt")), ItemModified | ItemIsFile),
                 qPrintable(recorder.dump()));

        recorder.clear();
        QVERIFY(QFile::remove(at(QStringLiteral("w/a/b/c/f.txt"))));
        QVERIFY(QDir().rmdir(at(QStringLiteral("w/a/b/c"))));
        watcher->flushSynchronously();
        QVERIFY(recorder.has(at(QStringLiteral("w/a/b/c/f.txt")), ItemRemoved | ItemIsFile));
        QVERIFY(recorder.has(at(QStringLiteral("w/a/b/c")), ItemRemoved | ItemIsDir));
    }

    void folderMadeAgainUnderTheSameName()
    {
        // Each round leaves a removed watch whose end notice is still queued when the next folder
        // of the same name is watched.
        Recorder recorder;
        auto watcher = watch(recorder, {at(QStringLiteral("w"))});
        for (int round = 0; round < 3; ++round) {
            QVERIFY(makeFolder(at(QStringLiteral("w/d"))));
            QVERIFY(test::writeFile(at(QStringLiteral("w/d/f")), "f"));
            QVERIFY(QDir(at(QStringLiteral("w/d"))).removeRecursively());
        }
        QVERIFY(makeFolder(at(QStringLiteral("w/d"))));
        QVERIFY(test::writeFile(at(QStringLiteral("w/d/g")), "g"));
        watcher->flushSynchronously();
        QVERIFY(recorder.has(at(QStringLiteral("w/d/g")),
                             CDEventFlag::ItemCreated | CDEventFlag::ItemIsFile));

        for (int round = 0; round < 3; ++round) {
            recorder.clear();
            QVERIFY(append(at(QStringLiteral("w/d/g")), "more"));
            watcher->flushSynchronously();
            QVERIFY2(recorder.has(at(QStringLiteral("w/d/g")),
                                  CDEventFlag::ItemModified | CDEventFlag::ItemIsFile),
                     qPrintable(recorder.dump()));
        }
    }

    void movedFolders_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("inside");
        QTest::newRow("renamed inside the watched folder") << "w/a"
                                                           << "w/b" << true;
        QTest::newRow("moved deeper inside the watched folder") << "w/a"
                                                                << "w/x/a" << true;
        QTest::newRow("moved out of the watched folder") << "w/a"
                                                         << "out/a" << false;
        QTest::newRow("moved into the watched folder") << "out/a"
                                                       << "w/a" << true;
    }
    void movedFolders()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, inside);
        QVERIFY(makeFolder(at(QStringLiteral("out"))));
        QVERIFY(makeFolder(at(QStringLiteral("w/x"))));
        QVERIFY(test::writeFile(at(from + QStringLiteral("/sub/old.txt")), "old"));
        Recorder recorder;
        auto watcher = watch(recorder, {at(QStringLiteral("w"))});

        QVERIFY(QDir().rename(at(from), at(to)));
        watcher->flushSynchronously();
        const bool movedIn = from.startsWith(QLatin1String("out/"));
        // Contents moved in are new to the watcher; a move inside reports only the move.
        QVERIFY2(recorder.has(at(to + QStringLiteral("/sub/old.txt")),
                              CDEventFlag::ItemCreated | CDEventFlag::ItemIsFile) == movedIn,
                 qPrintable(recorder.dump()));

        recorder.clear();
        QVERIFY(test::writeFile(at(to + QStringLiteral("/sub/new.txt")), "new"));
        watcher->flushSynchronously();
        if (inside) {
            QVERIFY2(recorder.has(at(to + QStringLiteral("/sub/new.txt")),
                                  CDEventFlag::ItemCreated | CDEventFlag::ItemIsFile),
                     qPrintable(recorder.dump()));
            QVERIFY(!recorder.hasPath(at(from + QStringLiteral("/sub/new.txt"))));
        } else {
            QVERIFY2(recorder.events.isEmpty(), qPrintable(recorder.dump()));
        }
    }

    void folderThatDoesNotExistYet_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::newRow("one folder at a time") << "step";
        QTest::newRow("whole path at once") << "path";
        QTest::newRow("folder and index together") << "together";
        QTest::newRow("made, removed and made again") << "again";
    }
    void folderThatDoesNotExistYet()
    {
        QFETCH(QString, steps);
        const QString home = test::homePath();
        const QString root = vagrantIndexFolder();
        const QString index = root + QStringLiteral("/index");
        QVERIFY(!QFileInfo::exists(home + QStringLiteral("/.vagrant.d")));
        Recorder recorder;
        auto watcher = watch(recorder, {root});

        if (steps == QLatin1String("step")) {
            QString made = home;
            for (const QString& name : {QStringLiteral(".vagrant.d"), QStringLiteral("data"),
                                        QStringLiteral("machine-index")}) {
                made += QLatin1Char('/') + name;
                QVERIFY(makeFolder(made));
                watcher->flushSynchronously();
                if (made != root) // folders on the way are not reported
                    QVERIFY2(recorder.events.isEmpty(), qPrintable(recorder.dump()));
            }
            QVERIFY(test::writeFile(index, "{}"));
        } else if (steps == QLatin1String("path")) {
            QVERIFY(QDir().mkpath(root));
            watcher->flushSynchronously();
            QVERIFY(test::writeFile(index, "{}"));
        } else if (steps == QLatin1String("together")) {
            QVERIFY(test::writeFile(index, "{}"));
        } else {
            QVERIFY(test::writeFile(index, "{}"));
            watcher->flushSynchronously();
            QVERIFY(recorder.hasPath(index));
            QVERIFY(QDir(home + QStringLiteral("/.vagrant.d")).removeRecursively());
            watcher->flushSynchronously();
            QVERIFY2(recorder.has(root, CDEventFlag::RootChanged), qPrintable(recorder.dump()));
            recorder.clear();
            QVERIFY(test::writeFile(index, "{}"));
        }
        watcher->flushSynchronously();
        QVERIFY2(recorder.has(root, CDEventFlag::RootChanged), qPrintable(recorder.dump()));
        QVERIFY2(recorder.has(index, CDEventFlag::ItemCreated | CDEventFlag::ItemIsFile),
                 qPrintable(recorder.dump()));
        for (const CDEvent& event : std::as_const(recorder.events))
            QVERIFY2(event.URL().toLocalFile().startsWith(root), qPrintable(recorder.dump()));

        // From now on the index is watched like any other file.
        recorder.clear();
        QVERIFY(test::writeFile(index, "{\"machines\":{}}"));
        watcher->flushSynchronously();
        QVERIFY(recorder.has(index, CDEventFlag::ItemModified | CDEventFlag::ItemIsFile));
    }

    void vagrantIndexWithDefaultSettings()
    {
        // As the machine list watches it: block form, all defaults, index folder not there yet.
        Recorder recorder;
        CDEvents watcher(urls({vagrantIndexFolder()}), recorder.block());
        const QString home = test::homePath();
        QVERIFY(makeFolder(home + QStringLiteral("/.vagrant.d")));
        QTest::qWait(50);
        QVERIFY(makeFolder(home + QStringLiteral("/.vagrant.d/data")));
        QTest::qWait(50);
        QVERIFY(makeFolder(vagrantIndexFolder()));
        QTest::qWait(50);
        const QString index = vagrantIndexFolder() + QStringLiteral("/index");
        QVERIFY(test::writeFile(index, "{}"));
        QTRY_VERIFY_WITH_TIMEOUT(recorder.hasPath(index), 20000);
        QVERIFY(watcher.lastEvent().has_value());
    }

    void ignoreEventsFromSubDirectories_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("trailingSlash");
        QTest::addColumn<bool>("excludeWatched");
        QTest::addColumn<bool>("delivered");
        QTest::newRow("the watched folder itself") << "chmod"
                                                   << "w" << false << false << true;
        QTest::newRow("watched URL with a trailing slash") << "chmod"
                                                           << "w" << true << false << true;
        QTest::newRow("exclusions are not consulted") << "chmod"
                                                      << "w" << false << true << true;
        QTest::newRow("a file in the watched folder") << "write"
                                                      << "w/f" << false << false << false;
        QTest::newRow("a subfolder") << "mkdir"
                                     << "w/sub/new" << false << false << false;
        QTest::newRow("a file in a subfolder") << "write"
                                               << "w/sub/f" << false << false << false;
    }
    void ignoreEventsFromSubDirectories()
    {
        QFETCH(QString, change);
        QFETCH(QString, path);
        QFETCH(bool, trailingSlash);
        QFETCH(bool, excludeWatched);
        QFETCH(bool, delivered);
        QVERIFY(makeFolder(at(QStringLiteral("w/sub"))));
        const QString watched = at(QStringLiteral("w"));
        QList<QUrl> watchedURLs = urls({watched});
        if (trailingSlash)
            watchedURLs = {QUrl(QStringLiteral("file://") + watched + QLatin1Char('/'))};
        const QList<QUrl> excluded = excludeWatched ? urls({watched}) : QList<QUrl>();
        Recorder filtered;
        Recorder control;
        CDEvents filtering(watchedURLs, filtered.block(), nullptr, kCDEventsSinceEventNow,
                           kFlushOnly, true, excluded, 5);
        auto unfiltered = watch(control, {watched});

        if (change == QLatin1String("chmod"))
            QVERIFY(QFile::setPermissions(at(path),
                                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        else if (change == QLatin1String("mkdir"))
            QVERIFY(makeFolder(at(path)));
        else
            QVERIFY(test::writeFile(at(path), "x"));
        filtering.flushSynchronously();
        unfiltered->flushSynchronously();

        QVERIFY2(control.hasPath(at(path)), qPrintable(control.dump()));
        QCOMPARE(filtered.hasPath(at(path)), delivered);
        for (const CDEvent& event : std::as_const(filtered.events))
            QCOMPARE(event.URL().toLocalFile(), watched);

        // The setting can be switched off later; it filters the next batches, and the
        // exclusions count again.
        filtering.setIgnoreEventsFromSubDirectories(false);
        QVERIFY(test::writeFile(at(QStringLiteral("w/later")), "x"));
        filtering.flushSynchronously();
        QCOMPARE(filtered.hasPath(at(QStringLiteral("w/later"))), !excludeWatched);
    }

    void excludedURLs_data()
    {
        QTest::addColumn<QString>("excluded");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("delivered");
        QTest::newRow("inside the excluded folder") << "w/tmp"
                                                    << "w/tmp/x" << false;
        QTest::newRow("the excluded folder itself") << "w/tmp"
                                                    << "w/tmp" << false;
        QTest::newRow("name that merely begins like it") << "w/tmp"
                                                         << "w/tmpfile" << false;
        QTest::newRow("excluded URL with a trailing slash") << "w/tmp/"
                                                            << "w/tmp/x" << false;
        QTest::newRow("another folder") << "w/tmp"
                                        << "w/other/x" << true;
        QTest::newRow("a file beside it") << "w/tmp"
                                          << "w/tm" << true;
    }
    void excludedURLs()
    {
        QFETCH(QString, excluded);
        QFETCH(QString, path);
        QFETCH(bool, delivered);
        QVERIFY(makeFolder(at(QStringLiteral("w/tmp"))));
        QVERIFY(makeFolder(at(QStringLiteral("w/other"))));
        Recorder filtered;
        Recorder control;
        const QList<QUrl> excludedURLs{QUrl(QStringLiteral("file://") + at(excluded))};
        auto filtering =
            watch(filtered, {at(QStringLiteral("w"))}, kFlushOnly, false, excludedURLs);
        auto unfiltered = watch(control, {at(QStringLiteral("w"))});
        QCOMPARE(filtering->excludedURLs(), excludedURLs);

        if (path == QLatin1String("w/tmp"))
            QVERIFY(QFile::setPermissions(at(path),
                                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        else
            QVERIFY(test::writeFile(at(path), "x"));
        filtering->flushSynchronously();
        unfiltered->flushSynchronously();
        QVERIFY2(control.hasPath(at(path)), qPrintable(control.dump()));
        QCOMPARE(filtered.hasPath(at(path)), delivered);

        // Changing the list changes the filtering of later batches.
        filtering->setExcludedURLs({});
        QVERIFY(test::writeFile(at(QStringLiteral("w/tmp/later")), "x"));
        filtering->flushSynchronously();
        QVERIFY(filtered.hasPath(at(QStringLiteral("w/tmp/later"))));
    }

    void emptyExcludedURLExcludesNothing()
    {
        Recorder recorder;
        auto watcher = watch(recorder, {at(QStringLiteral("w"))}, kFlushOnly, false, {QUrl()});
        QVERIFY(test::writeFile(at(QStringLiteral("w/f")), "x"));
        watcher->flushSynchronously();
        QVERIFY(recorder.hasPath(at(QStringLiteral("w/f"))));
    }

    void droppedBatchLeavesLastEvent()
    {
        Recorder recorder;
        auto watcher = watch(recorder, {at(QStringLiteral("w"))}, kFlushOnly, false,
                             urls({at(QStringLiteral("w/tmp"))}));
        QVERIFY(test::writeFile(at(QStringLiteral("w/keep")), "x"));
        watcher->flushSynchronously();
        QVERIFY(!recorder.events.isEmpty());
        const CDEvent last = recorder.events.constLast();
        QCOMPARE(watcher->lastEvent(), last);

        QVERIFY(test::writeFile(at(QStringLiteral("w/tmp/dropped")), "x"));
        watcher->flushSynchronously();
        QCOMPARE(recorder.events.constLast(), last);
        QCOMPARE(watcher->lastEvent(), last);
    }

    void rootChanged_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("movedTo"); // where the old folder went, if it still exists
        QTest::addColumn<quint32>("creationFlags");
        QTest::newRow("watched folder removed") << "remove"
                                                << "" << quint32(5);
        QTest::newRow("watched folder renamed") << "rename"
                                                << "p/w2" << quint32(5);
        QTest::newRow("parent folder renamed") << "rename parent"
                                               << "p2/w" << quint32(5);
        QTest::newRow("parent folder removed") << "remove parent"
                                               << "" << quint32(5);
        QTest::newRow("renamed, without watching the root")
            << "rename"
            << "p/w2" << quint32(CDEventsStreamCreationFlag::UseCFTypes);
    }
    void rootChanged()
    {
        QFETCH(QString, change);
        QFETCH(QString, movedTo);
        QFETCH(quint32, creationFlags);
        const QString root = at(QStringLiteral("p/w"));
        QVERIFY(test::writeFile(root + QStringLiteral("/sub/f"), "f"));
        Recorder recorder;
        auto watcher = watch(recorder, {root}, kFlushOnly, false, {}, creationFlags);

        if (change == QLatin1String("remove"))
            QVERIFY(QDir(root).removeRecursively());
        else if (change == QLatin1String("remove parent"))
            QVERIFY(QDir(at(QStringLiteral("p"))).removeRecursively());
        else if (change == QLatin1String("rename"))
            QVERIFY(QDir().rename(root, at(movedTo)));
        else
            QVERIFY(QDir().rename(at(QStringLiteral("p")), at(QStringLiteral("p2"))));
        watcher->flushSynchronously();
        const bool reported = creationFlags & CDEventsStreamCreationFlag::WatchRoot;
        QVERIFY2(recorder.has(root, CDEventFlag::RootChanged) == reported,
                 qPrintable(recorder.dump()));
        if (reported)
            QVERIFY(recorder.events.constLast().isRootChanged());

        // The folder that went away is not watched any more.
        if (!movedTo.isEmpty()) {
            recorder.clear();
            QVERIFY(test::writeFile(at(movedTo + QStringLiteral("/sub/g")), "g"));
            QVERIFY(test::writeFile(at(movedTo + QStringLiteral("/h")), "h"));
            watcher->flushSynchronously();
            QVERIFY2(recorder.events.isEmpty(), qPrintable(recorder.dump()));
        }

        // The watcher follows the path: a new folder there is watched again.
        recorder.clear();
        QVERIFY(QDir().mkpath(root));
        watcher->flushSynchronously();
        QCOMPARE(recorder.has(root, CDEventFlag::RootChanged), reported);
        QVERIFY(test::writeFile(root + QStringLiteral("/again"), "a"));
        watcher->flushSynchronously();
        QVERIFY2(recorder.has(root + QStringLiteral("/again"),
                              CDEventFlag::ItemCreated | CDEventFlag::ItemIsFile),
                 qPrintable(recorder.dump()));
    }

    void flagPredicates_data()
    {
        QTest::addColumn<quint32>("flags");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("none") << quint32(0) << QStringList{QStringLiteral("isGenericChange")};
        const QList<std::pair<const char*, quint32>> bits{{"mustRescanSubDirectories", 0x1},
                                                          {"isUserDropped", 0x2},
                                                          {"isKernelDropped", 0x4},
                                                          {"isEventIdentifiersWrapped", 0x8},
                                                          {"isHistoryDone", 0x10},
                                                          {"isRootChanged", 0x20},
                                                          {"didVolumeMount", 0x40},
                                                          {"didVolumeUnmount", 0x80},
                                                          {"isCreated", 0x100},
                                                          {"isRemoved", 0x200},
                                                          {"isInodeMetadataModified", 0x400},
                                                          {"isRenamed", 0x800},
                                                          {"isModified", 0x1000},
                                                          {"isFinderInfoModified", 0x2000},
                                                          {"didChangeOwner", 0x4000},
                                                          {"isXattrModified", 0x8000},
                                                          {"isFile", 0x10000},
                                                          {"isDir", 0x20000},
                                                          {"isSymlink", 0x40000}};
        for (const auto& [name, bit] : bits)
            QTest::newRow(name) << bit << QStringList{QString::fromLatin1(name)};
        QTest::newRow("created, modified file")
            << quint32(0x100 | 0x1000 | 0x10000)
            << QStringList{QStringLiteral("isCreated"), QStringLiteral("isModified"),
                           QStringLiteral("isFile")};
        QTest::newRow("unknown bit only") << quint32(0x80000000) << QStringList();
    }
    void flagPredicates()
    {
        QFETCH(quint32, flags);
        QFETCH(QStringList, expected);
        const CDEvent event(1, QDateTime::currentDateTime(), QUrl::fromLocalFile(m_base), flags);
        const QList<std::pair<QString, bool>> predicates{
            {QStringLiteral("isGenericChange"), event.isGenericChange()},
            {QStringLiteral("mustRescanSubDirectories"), event.mustRescanSubDirectories()},
            {QStringLiteral("isUserDropped"), event.isUserDropped()},
            {QStringLiteral("isKernelDropped"), event.isKernelDropped()},
            {QStringLiteral("isEventIdentifiersWrapped"), event.isEventIdentifiersWrapped()},
            {QStringLiteral("isHistoryDone"), event.isHistoryDone()},
            {QStringLiteral("isRootChanged"), event.isRootChanged()},
            {QStringLiteral("didVolumeMount"), event.didVolumeMount()},
            {QStringLiteral("didVolumeUnmount"), event.didVolumeUnmount()},
            {QStringLiteral("isCreated"), event.isCreated()},
            {QStringLiteral("isRemoved"), event.isRemoved()},
            {QStringLiteral("isInodeMetadataModified"), event.isInodeMetadataModified()},
            {QStringLiteral("isRenamed"), event.isRenamed()},
            {QStringLiteral("isModified"), event.isModified()},
            {QStringLiteral("isFinderInfoModified"), event.isFinderInfoModified()},
            {QStringLiteral("didChangeOwner"), event.didChangeOwner()},
            {QStringLiteral("isXattrModified"), event.isXattrModified()},
            {QStringLiteral("isFile"), event.isFile()},
            {QStringLiteral("isDir"), event.isDir()},
            {QStringLiteral("isSymlink"), event.isSymlink()}};
        QStringList reported;
        for (const auto& [name, value] : predicates) {
            if (value)
                reported.append(name);
        }
        QCOMPARE(reported, expected);
    }

    void copyIsANewRunningWatcher()
    {
        Recorder recorder;
        const QList<QUrl> excluded = urls({at(QStringLiteral("w/tmp"))});
        auto original = watch(recorder, {at(QStringLiteral("w"))}, kFlushOnly, false, excluded,
                              CDEventsStreamCreationFlag::UseCFTypes, 7);
        original->setIgnoreEventsFromSubDirectories(true);
        original->setIgnoreEventsFromSubDirectories(false);
        const std::unique_ptr<CDEvents> copy = original->copy();
        QVERIFY(copy.get() != original.get());
        QCOMPARE(copy->watchedURLs(), original->watchedURLs());
        QCOMPARE(copy->excludedURLs(), excluded);
        QCOMPARE(copy->sinceEventIdentifier(), quint64(7));
        QCOMPARE(copy->notificationLatency(), kFlushOnly);
        QCOMPARE(copy->ignoreEventsFromSubDirectories(), false);
        QCOMPARE(copy->eventStreamCreationFlags(), CDEventsStreamCreationFlag::UseCFTypes);
        QCOMPARE(copy->thread(), QThread::currentThread());

        QVERIFY(test::writeFile(at(QStringLiteral("w/f")), "x"));
        original->flushSynchronously();
        copy->flushSynchronously();
        // Both run the same block; each tells it which watcher is calling.
        for (const CDEvents* watcher : {original.get(), copy.get()}) {
            QStringList seen;
            for (qsizetype i = 0; i < recorder.events.size(); ++i) {
                if (recorder.watchers.at(i) == watcher)
                    seen.append(recorder.events.at(i).URL().toLocalFile() + QLatin1Char(' ') +
                                flagNames(recorder.events.at(i).flags()));
            }
            QVERIFY2(seen.contains(at(QStringLiteral("w")) + QStringLiteral(" 0x11")),
                     qPrintable(seen.join(QLatin1Char('\n'))));
            QVERIFY2(seen.contains(at(QStringLiteral("w/f")) + QStringLiteral(" 0x10100")),
                     qPrintable(seen.join(QLatin1Char('\n'))));
        }
    }

    void copyDoesNotCarryTheDelegate()
    {
        CountingDelegate delegate;
        CDEvents original(urls({at(QStringLiteral("w"))}), &delegate, nullptr,
                          kCDEventsSinceEventNow, kFlushOnly, false, {}, 5);
        const std::unique_ptr<CDEvents> copy = original.copy();
        QCOMPARE(copy->delegate(), nullptr);
        QVERIFY(test::writeFile(at(QStringLiteral("w/f")), "x"));
        copy->flushSynchronously();
        original.flushSynchronously();
        QVERIFY(!delegate.events.isEmpty());
        for (CDEvents* watcher : std::as_const(delegate.watchers))
            QCOMPARE(watcher, &original);

        // A delegate given to the copy later receives its events.
        CountingDelegate second;
        copy->setDelegate(&second);
        QVERIFY(test::writeFile(at(QStringLiteral("w/g")), "x"));
        copy->flushSynchronously();
        QVERIFY(!second.events.isEmpty());
        QCOMPARE(second.watchers.constFirst(), copy.get());
    }

    void sinceIdentifierCannotReplayHistory_data()
    {
        QTest::addColumn<quint64>("since");
        QTest::newRow("from the beginning") << quint64(0);
        QTest::newRow("from the latest event") << quint64(CDEvents::currentEventIdentifier());
        QTest::newRow("from an id of an earlier run") << quint64(1u << 31);
    }
    void sinceIdentifierCannotReplayHistory()
    {
        QFETCH(quint64, since);
        Recorder recorder;
        const QStringList roots{at(QStringLiteral("w")), at(QStringLiteral("missing"))};
        auto watcher = watch(recorder, roots, kFlushOnly, false, {}, 5, since);
        QCOMPARE(watcher->sinceEventIdentifier(), since);
        watcher->flushSynchronously();
        // One notice per watched folder: the history is done, look at the folder itself.
        QCOMPARE(recorder.events.size(), 2);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(recorder.events.at(i).URL().toLocalFile(), roots.at(i));
            QCOMPARE(recorder.events.at(i).flags(),
                     CDEventFlag::HistoryDone | CDEventFlag::MustScanSubDirs);
        }
        QVERIFY(recorder.events.at(0).isHistoryDone());

        recorder.clear();
        QVERIFY(test::writeFile(at(QStringLiteral("w/new")), "x"));
        watcher->flushSynchronously();
        QVERIFY(recorder.has(at(QStringLiteral("w/new")),
                             CDEventFlag::ItemCreated | CDEventFlag::ItemIsFile));
        QVERIFY(std::none_of(recorder.events.cbegin(), recorder.events.cend(),
                             [](const CDEvent& e) { return e.isHistoryDone(); }));
    }

    void fromNowOnStartsQuietly()
    {
        QVERIFY(test::writeFile(at(QStringLiteral("w/before")), "x"));
        Recorder recorder;
        auto watcher = watch(recorder, {at(QStringLiteral("w"))});
        watcher->flushSynchronously();
        QVERIFY2(recorder.events.isEmpty(), qPrintable(recorder.dump()));
    }

    void archive_data()
    {
        QTest::addColumn<QVariantMap>("archive");
        QTest::addColumn<bool>("valid");
        const QDateTime date(QDate(2026, 12, 6), QTime(23, 54, 1), QTimeZone::utc());
        const QUrl url = QUrl::fromLocalFile(QStringLiteral("/w/index"));
        const QVariantMap good{{QStringLiteral("identifier"), QVariant::fromValue<qulonglong>(9)},
                               {QStringLiteral("flags"), QVariant::fromValue<uint>(0x11100)},
                               {QStringLiteral("date"), date},
                               {QStringLiteral("URL"), url}};
        QTest::newRow("complete") << good << true;
        QVariantMap intNumbers = good;
        intNumbers[QStringLiteral("identifier")] = 9;
        intNumbers[QStringLiteral("flags")] = 0x11100;
        QTest::newRow("plain integers") << intNumbers << true;
        for (const QString& key : good.keys()) {
            QVariantMap missing = good;
            missing.remove(key);
            QTest::newRow(qPrintable(QStringLiteral("without ") + key)) << missing << false;
        }
        QVariantMap text = good;
        text[QStringLiteral("flags")] = QStringLiteral("256");
        QTest::newRow("flags as text") << text << false;
        QVariantMap negative = good;
        negative[QStringLiteral("identifier")] = -1;
        QTest::newRow("negative identifier") << negative << false;
        QVariantMap wide = good;
        wide[QStringLiteral("flags")] = QVariant::fromValue<qulonglong>(1ull << 32);
        QTest::newRow("flags wider than 32 bits") << wide << false;
        QVariantMap urlText = good;
        urlText[QStringLiteral("URL")] = QStringLiteral("file:///w/index");
        QTest::newRow("URL as text") << urlText << false;
    }
    void archive()
    {
        QFETCH(QVariantMap, archive);
        QFETCH(bool, valid);
        const std::optional<CDEvent> restored = CDEvent::fromArchive(archive);
        QCOMPARE(restored.has_value(), valid);
        if (valid) {
            QCOMPARE(restored->identifier(), quint64(9));
            QCOMPARE(restored->flags(), quint32(0x11100));
            QCOMPARE(restored->URL(), QUrl::fromLocalFile(QStringLiteral("/w/index")));
            QCOMPARE(restored->archive().keys(),
                     (QStringList{QStringLiteral("URL"), QStringLiteral("date"),
                                  QStringLiteral("flags"), QStringLiteral("identifier")}));
            QCOMPARE(CDEvent::fromArchive(restored->archive()), restored);
        }

        // The same through a data stream.
        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out << archive;
        }
        QDataStream in(bytes);
        CDEvent event;
        in >> event;
        QCOMPARE(in.status() == QDataStream::Ok, valid);
        if (valid) {
            QCOMPARE(event, *restored);
            QByteArray again;
            QDataStream out(&again, QIODevice::WriteOnly);
            out << event;
            QDataStream back(again);
            CDEvent copy;
            back >> copy;
            QCOMPARE(copy, event);
        }
    }

    void descriptions()
    {
        const CDEvent event(12, QDateTime(QDate(2026, 12, 6), QTime(23, 54, 1), QTimeZone::utc()),
                            QUrl::fromLocalFile(QStringLiteral("/w/index")), 0x11100);
        QVERIFY2(
            QRegularExpression(QStringLiteral("^<CDEvent: 0x[0-9a-f]+ \\{ identifier = 12, URL = "
                                              "file:///w/index, flags = 69888, date = 2026-12-06 "
                                              "23:54:01 \\+0000 \\}>$"))
                .match(event.description())
                .hasMatch(),
            qPrintable(event.description()));

        Recorder recorder;
        auto watcher = watch(recorder, {at(QStringLiteral("w")), at(QStringLiteral("v"))}, 0.5);
        const QString expected = QStringLiteral("^<CDEvents: 0x[0-9a-f]+ \\{ watchedURLs = \\(\n"
                                                "    file://%1,\n    file://%2\n\\) \\}>$")
                                     .arg(QRegularExpression::escape(at(QStringLiteral("w"))),
                                          QRegularExpression::escape(at(QStringLiteral("v"))));
        QVERIFY2(QRegularExpression(expected).match(watcher->description()).hasMatch(),
                 qPrintable(watcher->description()));
        QVERIFY(watcher->description().contains(
            QString::asprintf("%p", static_cast<void*>(watcher.get()))));
        const QString stream = watcher->streamDescription();
        QVERIFY2(stream.contains(at(QStringLiteral("v"))), qPrintable(stream));
        QVERIFY2(stream.contains(QStringLiteral("latency = 0.500000")), qPrintable(stream));
        QVERIFY2(stream.contains(QStringLiteral("flags = 0x00000005")), qPrintable(stream));
    }

    void closesItsDescriptorWhenDestroyed()
    {
        const int before = openInotifyDescriptors();
        {
            Recorder recorder;
            auto watcher = watch(recorder, {at(QStringLiteral("w"))});
            QCOMPARE(openInotifyDescriptors(), before + 1);
            QVERIFY(test::writeFile(at(QStringLiteral("w/pending")), "x"));
        }
        QCOMPARE(openInotifyDescriptors(), before);
    }

    void blockMayDeleteItsWatcherLater()
    {
        CDEvents* watcher = nullptr;
        int calls = 0;
        watcher = new CDEvents(
            urls({at(QStringLiteral("w"))}),
            [&](CDEvents* self, const CDEvent&) {
                ++calls;
                self->deleteLater();
            },
            nullptr, kCDEventsSinceEventNow, 0.01, false, {}, 5);
        QPointer<CDEvents> alive(watcher);
        QVERIFY(test::writeFile(at(QStringLiteral("w/a")), "x"));
        QTRY_VERIFY(alive.isNull());
        QVERIFY(calls >= 1);
    }

    void overflowAsksForARescan()
    {
        QFile limitFile(QStringLiteral("/proc/sys/fs/inotify/max_queued_events"));
        QVERIFY(limitFile.open(QIODevice::ReadOnly));
        const int limit = limitFile.readAll().trimmed().toInt();
        if (limit <= 0 || limit > 100000)
            QSKIP("the inotify queue is too long to fill in a test");
        Recorder recorder;
        auto watcher = watch(recorder, {at(QStringLiteral("w"))});
        // Nothing is read while the queue fills up.
        for (int i = 0; i <= limit; ++i) {
            const QByteArray name = QFile::encodeName(at(QStringLiteral("w/f%1").arg(i)));
            const int fd = ::open(name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        // Made while events are being dropped: only a new walk of the tree can find it.
        QVERIFY(makeFolder(at(QStringLiteral("w/late"))));
        watcher->flushSynchronously();
        QVERIFY(recorder.has(at(QStringLiteral("w")),
                             CDEventFlag::MustScanSubDirs | CDEventFlag::KernelDropped));
        QVERIFY(recorder.events.constLast().isKernelDropped());

        recorder.clear();
        QVERIFY(test::writeFile(at(QStringLiteral("w/late/x")), "x"));
        watcher->flushSynchronously();
        QVERIFY2(recorder.has(at(QStringLiteral("w/late/x")),
                              CDEventFlag::ItemCreated | CDEventFlag::ItemIsFile),
                 qPrintable(recorder.dump()));
    }

    void eventIdentifiersIncrease()
    {
        const CDEventIdentifier start = CDEvents::currentEventIdentifier();
        Recorder recorder;
        auto first = watch(recorder, {at(QStringLiteral("w"))});
        auto second = watch(recorder, {at(QStringLiteral("w"))});
        QVERIFY(test::writeFile(at(QStringLiteral("w/a")), "x"));
        first->flushSynchronously();
        second->flushSynchronously();
        QVERIFY(test::writeFile(at(QStringLiteral("w/b")), "x"));
        second->flushSynchronously();
        first->flushSynchronously();
        QVERIFY(recorder.events.size() >= 4);
        QSet<CDEventIdentifier> seen;
        for (const CDEvent& event : std::as_const(recorder.events)) {
            QVERIFY(event.identifier() > start);
            QVERIFY(event.identifier() <= CDEvents::currentEventIdentifier());
            QVERIFY(!seen.contains(event.identifier()));
            seen.insert(event.identifier());
        }
    }
};

VESK_TEST(TestCDEvents)
#include "tst_CDEvents.moc"
