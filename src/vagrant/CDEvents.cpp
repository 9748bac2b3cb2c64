// Linux inotify behind the FSEvents-style watcher.
//
// inotify event                          -> CDEvent flags (URL = full path of the changed entry)
//   IN_CREATE                            -> ItemCreated
//   IN_MOVED_TO                          -> ItemCreated | ItemRenamed
//   IN_MOVED_FROM                        -> ItemRenamed
//   IN_DELETE                            -> ItemRemoved
//   IN_MODIFY, IN_CLOSE_WRITE            -> ItemModified
//   IN_ATTRIB                            -> ItemInodeMetaMod
//   IN_ISDIR                             -> ItemIsDir; otherwise ItemIsSymlink for a symbolic
//                                           link (lstat), else ItemIsFile
//   IN_DELETE_SELF / IN_MOVE_SELF on a watched folder or on a folder above it, and the watched
//   folder appearing again            -> RootChanged, URL = the watched folder (only with the
//                                           WatchRoot creation flag, part of the default 5)
//   IN_Q_OVERFLOW                        -> MustScanSubDirs | KernelDropped, one per watched
//                                           folder; the trees are walked again
//   IN_IGNORED, IN_UNMOUNT               -> bookkeeping only
// Entries found when a new folder is scanned are reported as ItemCreated. Nameless events on a
// folder (its own attributes) are reported only for the watched folders themselves; for the
// folders below them the parent's event already says it. Two identical events in a row (a write
// followed by its close) are reported once.
//
// inotify keeps no history: a since-id other than "from now on" is stored and reported, only
// new changes are delivered, and the first batch starts with one HistoryDone | MustScanSubDirs
// event per watched folder, telling the caller to look at the folder itself.

#include "CDEvents.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <climits>

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>

namespace vesk {

namespace {

constexpr quint32 kTreeMask = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB |
                              IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
                              IN_EXCL_UNLINK;
// The nearest existing folder above a watched folder that does not exist yet.
constexpr quint32 kFollowMask = IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
// Folders above a watched folder: only their own renaming or removal matters.
constexpr quint32 kSelfMask = IN_DELETE_SELF | IN_MOVE_SELF;

std::atomic<CDEventIdentifier> lastEventIdentifier{0};

const char* const kInvalidArgumentsMessage = "Invalid arguments passed to CDEvents init-method.";
const char* const kStreamCreationFailureMessage = "Failed to create event stream.";

QString standardizedPath(const QUrl& URL)
{
    QString path = URL.isLocalFile() ? URL.toLocalFile() : URL.path();
    if (path.isEmpty())
        return path;
    if (!QDir::isAbsolutePath(path))
        path = QDir::current().absoluteFilePath(path);
    return QDir::cleanPath(path);
}

QString joinPath(const QString& folder, const QString& name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

// "" above the file-system root.
QString parentPath(const QString& path)
{
    if (path.isEmpty() || path == QLatin1String("/"))
        return {};
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

bool isAtOrBelow(const QString& path, const QString& folder)
{
    if (path == folder)
        return true;
    if (folder == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path.size() > folder.size() && path.startsWith(folder) &&
           path.at(folder.size()) == QLatin1Char('/');
}

bool isDirectory(const QString& path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

quint32 entryKind(const QString& path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0) {
        if (S_ISLNK(info.st_mode))
            return CDEventFlag::ItemIsSymlink;
        if (S_ISDIR(info.st_mode))
            return CDEventFlag::ItemIsDir;
    }
    return CDEventFlag::ItemIsFile;
}

int latencyMilliseconds(double seconds)
{
    if (!(seconds > 0))
        return 0;
    const double milliseconds = std::ceil(seconds * 1000.0);
    return milliseconds >= double(INT_MAX) ? INT_MAX : int(milliseconds);
}

CDEventsEventBlock delegateBlock(CDEventsDelegate* delegate)
{
    if (!delegate)
        throw CDEventsInvalidArgument();
    // Reads the watcher's delegate at each event, so a copy (which has none) stays silent.
    return [](CDEvents* watcher, const CDEvent& event) {
        if (CDEventsDelegate* receiver = watcher->delegate())
            receiver->URLWatcher(watcher, event);
    };
}

QString describeURLs(const QList<QUrl>& URLs)
{
    QStringList lines;
    for (const QUrl& URL : URLs)
        lines.append(QStringLiteral("    ") + URL.toString());
    return QStringLiteral("(\n") + lines.join(QStringLiteral(",\n")) + QStringLiteral("\n)");
}

} // namespace

CDEventsInvalidArgument::CDEventsInvalidArgument() : std::invalid_argument(kInvalidArgumentsMessage)
{
}

CDEventsEventStreamCreationFailureException::CDEventsEventStreamCreationFailureException()
    : std::runtime_error(kStreamCreationFailureMessage)
{
}

CDEvents::CDEvents(const QList<QUrl>& URLs, CDEventsEventBlock block, QObject* parent)
    : CDEvents(URLs, std::move(block), nullptr, parent)
{
}

CDEvents::CDEvents(const QList<QUrl>& URLs, CDEventsEventBlock block, QThread* runLoop,
                   QObject* parent)
    : CDEvents(URLs, std::move(block), runLoop, kCDEventsSinceEventNow,
               kCDEventsDefaultEventLatency, false, {}, kCDEventsDefaultEventStreamFlags, parent)
{
}

CDEvents::CDEvents(const QList<QUrl>& URLs, CDEventsEventBlock block, QThread* runLoop,
                   CDEventIdentifier sinceEventIdentifier, double notificationLatency,
                   bool ignoreEventsFromSubDirs, const QList<QUrl>& excludeURLs,
                   quint32 streamCreationFlags, QObject* parent)
    : QObject(parent), m_block(std::move(block)), m_sinceEventIdentifier(sinceEventIdentifier),
      m_notificationLatency(notificationLatency),
      m_ignoreEventsFromSubDirs(ignoreEventsFromSubDirs),
      m_streamCreationFlags(streamCreationFlags), m_watchedURLs(URLs), m_excludedURLs(excludeURLs),
      m_latencyTimer(this)
{
    if (URLs.isEmpty() || !m_block)
        throw CDEventsInvalidArgument();
    // A parent must live on the watcher's thread, so only a parentless watcher can move.
    if (runLoop && runLoop != QThread::currentThread() && parent)
        throw CDEventsInvalidArgument();
    start(runLoop);
}

CDEvents::CDEvents(const QList<QUrl>& URLs, CDEventsDelegate* delegate, QObject* parent)
    : CDEvents(URLs, delegate, nullptr, parent)
{
}

CDEvents::CDEvents(const QList<QUrl>& URLs, CDEventsDelegate* delegate, QThread* runLoop,
                   QObject* parent)
    : CDEvents(URLs, delegate, runLoop, kCDEventsSinceEventNow, kCDEventsDefaultEventLatency, false,
               {}, kCDEventsDefaultEventStreamFlags, parent)
{
}

CDEvents::CDEvents(const QList<QUrl>& URLs, CDEventsDelegate* delegate, QThread* runLoop,
                   CDEventIdentifier sinceEventIdentifier, double notificationLatency,
                   bool ignoreEventsFromSubDirs, const QList<QUrl>& excludeURLs,
                   quint32 streamCreationFlags, QObject* parent)
    : CDEvents(URLs, delegateBlock(delegate), runLoop, sinceEventIdentifier, notificationLatency,
               ignoreEventsFromSubDirs, excludeURLs, streamCreationFlags, parent)
{
    m_delegate = delegate;
}

CDEvents::~CDEvents()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_fd >= 0)
        ::close(m_fd); // drops every watch with it
    m_delegate = nullptr;
}

void CDEvents::start(QThread* runLoop)
{
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        throw CDEventsEventStreamCreationFailureException();
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CDEvents::readEvents);
    m_latencyTimer.setSingleShot(true);
    // A coarse timer may fire up to 5 % early; the batching window is a promise.
    m_latencyTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_latencyTimer, &QTimer::timeout, this, &CDEvents::deliver);

    QSet<QString> seen;
    for (const QUrl& URL : std::as_const(m_watchedURLs)) {
        const QString path = standardizedPath(URL);
        if (!path.isEmpty() && !seen.contains(path)) {
            seen.insert(path);
            m_roots.append(Root{path});
        }
    }
    refreshRoots(true);

    if (m_sinceEventIdentifier != kCDEventsSinceEventNow) {
        for (const Root& root : std::as_const(m_roots))
            enqueue(root.path, CDEventFlag::HistoryDone | CDEventFlag::MustScanSubDirs);
        armLatencyTimer();
    }
    if (runLoop && runLoop != thread())
        moveToThread(runLoop);
}

std::unique_ptr<CDEvents> CDEvents::copy() const
{
    return std::make_unique<CDEvents>(watchedURLs(), m_block, nullptr, m_sinceEventIdentifier,
                                      m_notificationLatency, m_ignoreEventsFromSubDirs,
                                      excludedURLs(), m_streamCreationFlags);
}

QList<QUrl> CDEvents::watchedURLs() const
{
    QMutexLocker locker(&m_lock);
    return m_watchedURLs;
}

void CDEvents::setWatchedURLs(const QList<QUrl>& URLs)
{
    QMutexLocker locker(&m_lock);
    m_watchedURLs = URLs;
}

QList<QUrl> CDEvents::excludedURLs() const
{
    QMutexLocker locker(&m_lock);
    return m_excludedURLs;
}

void CDEvents::setExcludedURLs(const QList<QUrl>& URLs)
{
    QMutexLocker locker(&m_lock);
    m_excludedURLs = URLs;
}

std::optional<CDEvent> CDEvents::lastEvent() const
{
    QMutexLocker locker(&m_lock);
    return m_lastEvent;
}

void CDEvents::flushSynchronously()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &CDEvents::flushSynchronously,
                                  Qt::BlockingQueuedConnection);
        return;
    }
    readEvents();
    deliver();
}

void CDEvents::flushAsynchronously()
{
    QMetaObject::invokeMethod(this, &CDEvents::flushSynchronously, Qt::QueuedConnection);
}

CDEventIdentifier CDEvents::currentEventIdentifier()
{
    return lastEventIdentifier.load();
}

QString CDEvents::description() const
{
    return QStringLiteral("<%1: %2 { watchedURLs = %3 }>")
        .arg(QString::fromLatin1(metaObject()->className()).section(QLatin1String("::"), -1),
             QString::asprintf("%p", static_cast<const void*>(this)), describeURLs(watchedURLs()));
}

QString CDEvents::streamDescription() const
{
    QStringList paths;
    for (const Root& root : m_roots)
        paths.append(root.path);
    return QStringLiteral("inotify stream @ %1:\n"
                          "   fd = %2\n"
                          "   numPathsToWatch = %3\n"
                          "   pathsToWatch = (%4)\n"
                          "   numWatches = %5\n"
                          "   since_when = %6\n"
                          "   latest_id = %7\n"
                          "   latency = %8 (seconds)\n"
                          "   flags = 0x%9\n"
                          "   pending = %10")
        .arg(QString::asprintf("%p", static_cast<const void*>(this)))
        .arg(m_fd)
        .arg(paths.size())
        .arg(paths.join(QStringLiteral(", ")))
        .arg(m_watches.size())
        .arg(m_sinceEventIdentifier)
        .arg(currentEventIdentifier())
        .arg(m_notificationLatency, 0, 'f', 6)
        .arg(m_streamCreationFlags, 8, 16, QLatin1Char('0'))
        .arg(m_pending.size());
}

void CDEvents::readEvents()
{
    alignas(struct inotify_event) char buffer[16 * 1024];
    bool refresh = false;
    bool overflow = false;
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            break; // EAGAIN: drained
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + offset);
            offset += ssize_t(sizeof(struct inotify_event)) + event->len;
            if (event->mask & IN_Q_OVERFLOW) {
                overflow = true;
                for (const Root& root : std::as_const(m_roots))
                    enqueue(root.path, CDEventFlag::MustScanSubDirs | CDEventFlag::KernelDropped);
                continue;
            }
            const QString name = event->len ? QFile::decodeName(event->name) : QString();
            handleEvent(event->wd, event->mask, event->cookie, name, refresh);
        }
    }
    // Folders moved out of the trees: their watches now follow folders elsewhere.
    for (const QString& from : std::as_const(m_movedFolders)) {
        removeTreeUnder(from);
        if (touchesRoot(from))
            refresh = true;
    }
    m_movedFolders.clear();
    if (overflow)
        resynchronize();
    else if (refresh)
        refreshRoots(false);
    armLatencyTimer();
}

void CDEvents::handleEvent(int wd, quint32 mask, quint32 cookie, const QString& name, bool& refresh)
{
    if (mask & IN_IGNORED) {
        if (m_removing.remove(wd))
            return; // we removed it ourselves; the number may already name a new watch
        const auto it = m_watches.constFind(wd);
        if (it == m_watches.cend())
            return;
        const QString path = it->path;
        if (m_wdByPath.value(path, -1) == wd)
            m_wdByPath.remove(path);
        m_watches.erase(it);
        if (touchesRoot(path))
            refresh = true;
        return;
    }
    const auto it = m_watches.constFind(wd);
    if (it == m_watches.cend())
        return;              // queued before we dropped the watch
    const Watch watch = *it; // the handling below may change the table
    if (mask & IN_UNMOUNT) {
        refresh = true;
        return;
    }
    if (mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
        // Folders inside a tree are reported by their parent; only the way to a root matters.
        if (touchesRoot(watch.path))
            refresh = true;
        return;
    }
    const QString path = name.isEmpty() ? watch.path : joinPath(watch.path, name);
    if ((mask & (IN_CREATE | IN_MOVED_TO)) && leadsToMissingRoot(path))
        refresh = true;
    if (!watch.tree)
        return;
    if (name.isEmpty() && !isRootPath(watch.path))
        return;

    quint32 flags = 0;
    if (mask & IN_CREATE)
        flags |= CDEventFlag::ItemCreated;
    if (mask & IN_MOVED_TO)
        flags |= CDEventFlag::ItemCreated | CDEventFlag::ItemRenamed;
    if (mask & IN_MOVED_FROM)
        flags |= CDEventFlag::ItemRenamed;
    if (mask & IN_DELETE)
        flags |= CDEventFlag::ItemRemoved;
    if (mask & (IN_MODIFY | IN_CLOSE_WRITE))
        flags |= CDEventFlag::ItemModified;
    if (mask & IN_ATTRIB)
        flags |= CDEventFlag::ItemInodeMetaMod;
    if (flags == 0)
        return;
    const bool isDir = (mask & IN_ISDIR) || name.isEmpty();
    if (isDir)
        flags |= CDEventFlag::ItemIsDir;
    else if (mask & (IN_DELETE | IN_MOVED_FROM))
        flags |= CDEventFlag::ItemIsFile; // gone: nothing left to look at
    else
        flags |= entryKind(path) == CDEventFlag::ItemIsSymlink ? CDEventFlag::ItemIsSymlink
                                                               : CDEventFlag::ItemIsFile;
    enqueue(path, flags);

    if (!isDir || name.isEmpty())
        return;
    if (mask & IN_CREATE) {
        // Watch the new folder at once, then list it: whatever was created in it before the
        // watch existed is found by the listing.
        addTree(path, true, false);
    } else if (mask & IN_MOVED_FROM) {
        m_movedFolders.insert(cookie, path);
        if (touchesRoot(path))
            refresh = true;
    } else if (mask & IN_MOVED_TO) {
        const auto from = m_movedFolders.constFind(cookie);
        if (from != m_movedFolders.cend()) {
            renameTreeUnder(*from, path);
            if (touchesRoot(*from))
                refresh = true;
            m_movedFolders.erase(from);
        } else {
            addTree(path, true, false); // moved in from outside the trees
        }
    } else if ((mask & IN_DELETE) && touchesRoot(path)) {
        refresh = true;
    }
}

void CDEvents::enqueue(const QString& path, quint32 flags)
{
    if (!m_pending.isEmpty() && m_pending.constLast().path == path &&
        m_pending.constLast().flags == flags)
        return;
    m_pending.append(Pending{++lastEventIdentifier, path, flags});
}

void CDEvents::armLatencyTimer()
{
    if (!m_pending.isEmpty() && !m_latencyTimer.isActive())
        m_latencyTimer.start(latencyMilliseconds(m_notificationLatency));
}

void CDEvents::deliver()
{
    m_latencyTimer.stop();
    if (m_pending.isEmpty())
        return;
    const QList<Pending> batch = std::exchange(m_pending, {});

    // The lists are read once per batch; they may change while the block runs.
    QStringList watched;
    QStringList excluded;
    for (const QUrl& URL : watchedURLs())
        watched.append(standardizedPath(URL));
    for (const QUrl& URL : excludedURLs()) {
        const QString path = standardizedPath(URL);
        if (!path.isEmpty()) // an empty prefix excludes nothing
            excluded.append(path);
    }
    const bool ignoreSubDirs = m_ignoreEventsFromSubDirs;
    const QDateTime now = QDateTime::currentDateTime();

    QPointer<CDEvents> alive(this);
    std::optional<CDEvent> last;
    for (const Pending& pending : batch) {
        if (ignoreSubDirs) {
            if (!watched.contains(pending.path))
                continue;
        } else if (std::any_of(excluded.cbegin(), excluded.cend(), [&](const QString& prefix) {
                       return pending.path.startsWith(prefix);
                   })) {
            continue;
        }
        CDEvent event(pending.identifier, now, QUrl::fromLocalFile(pending.path), pending.flags);
        m_block(this, event);
        if (!alive)
            return;
        last = std::move(event);
    }
    if (last) {
        QMutexLocker locker(&m_lock);
        m_lastEvent = std::move(last);
    }
}

int CDEvents::install(const QString& path, bool tree, quint32 aux)
{
    // Watched folders and followed parents may be symbolic links; folders inside trees are not
    // followed, so a link cannot make a tree loop.
    const bool follow = isRootPath(path) || (aux & IN_CREATE);
    quint32 mask = (tree ? kTreeMask : 0) | aux;
    if (tree || follow)
        mask |= IN_ONLYDIR;
    if (!follow)
        mask |= IN_DONT_FOLLOW;
    const int wd = ::inotify_add_watch(m_fd, QFile::encodeName(path).constData(), mask);
    if (wd < 0)
        return -1; // gone, unreadable or out of watches: nothing to report from there
    const auto known = m_wdByPath.constFind(path);
    if (known != m_wdByPath.cend() && *known != wd)
        dropWatch(*known); // the path names another folder now
    const auto same = m_watches.constFind(wd);
    if (same != m_watches.cend() && same->path != path && m_wdByPath.value(same->path) == wd)
        m_wdByPath.remove(same->path);
    Watch& watch = m_watches[wd];
    watch.path = path;
    watch.tree = tree;
    watch.aux = aux;
    m_wdByPath.insert(path, wd);
    return wd;
}

void CDEvents::dropWatch(int wd)
{
    const auto it = m_watches.constFind(wd);
    if (it == m_watches.cend())
        return;
    ::inotify_rm_watch(m_fd, wd);
    // Its IN_IGNORED is still to come (ours, or the kernel's if the folder went first).
    m_removing.insert(wd);
    if (m_wdByPath.value(it->path, -1) == wd)
        m_wdByPath.remove(it->path);
    m_watches.erase(it);
}

void CDEvents::addTree(const QString& path, bool reportContents, bool fullWalk)
{
    QStringList folders{path};
    for (qsizetype i = 0; i < folders.size(); ++i) {
        const QString folder = folders.at(i);
        const int knownWd = m_wdByPath.value(folder, -1);
        const Watch known = m_watches.value(knownWd);
        const int wd = install(folder, true, known.aux);
        if (wd < 0)
            continue;
        m_watches[wd].mark = m_mark;
        if (wd == knownWd && known.tree && !fullWalk)
            continue; // already watched and listed

        DIR* dir = ::opendir(QFile::encodeName(folder).constData());
        if (!dir)
            continue;
        while (const struct dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            const QString child = joinPath(folder, QFile::decodeName(name));
            quint32 kind;
            if (entry->d_type == DT_DIR)
                kind = CDEventFlag::ItemIsDir;
            else if (entry->d_type == DT_LNK)
                kind = CDEventFlag::ItemIsSymlink;
            else if (entry->d_type == DT_UNKNOWN)
                kind = entryKind(child);
            else
                kind = CDEventFlag::ItemIsFile;
            if (reportContents)
                enqueue(child, CDEventFlag::ItemCreated | kind);
            if (kind == CDEventFlag::ItemIsDir)
                folders.append(child);
        }
        ::closedir(dir);
    }
}

void CDEvents::removeTreeUnder(const QString& path)
{
    QList<int> stale;
    for (auto it = m_watches.cbegin(); it != m_watches.cend(); ++it) {
        if (it->tree && isAtOrBelow(it->path, path))
            stale.append(it.key());
    }
    for (int wd : std::as_const(stale))
        dropWatch(wd);
}

void CDEvents::renameTreeUnder(const QString& from, const QString& to)
{
    QList<int> moved;
    for (auto it = m_watches.cbegin(); it != m_watches.cend(); ++it) {
        if (isAtOrBelow(it->path, from))
            moved.append(it.key());
    }
    for (int wd : std::as_const(moved)) {
        Watch& watch = m_watches[wd];
        if (m_wdByPath.value(watch.path, -1) == wd)
            m_wdByPath.remove(watch.path);
        watch.path = to + watch.path.mid(from.size());
        m_wdByPath.insert(watch.path, wd);
    }
}

void CDEvents::refreshRoots(bool initial)
{
    const bool reportRoots = m_streamCreationFlags & CDEventsStreamCreationFlag::WatchRoot;
    const auto wantedAuxiliaryWatches = [this] {
        QHash<QString, quint32> wanted;
        for (const Root& root : std::as_const(m_roots)) {
            QString folder = parentPath(root.path);
            if (!root.present) {
                while (!folder.isEmpty() && !isDirectory(folder))
                    folder = parentPath(folder);
                if (folder.isEmpty())
                    continue;
                wanted[folder] |= kFollowMask;
                folder = parentPath(folder);
            }
            for (; !folder.isEmpty() && folder != QLatin1String("/"); folder = parentPath(folder))
                wanted[folder] |= kSelfMask;
        }
        return wanted;
    };

    // Folders may appear while the watches are being moved; go round until nothing changed.
    for (int round = 0; round < 64; ++round) {
        for (Root& root : m_roots) {
            struct stat info;
            const bool isDir = ::stat(QFile::encodeName(root.path).constData(), &info) == 0 &&
                               S_ISDIR(info.st_mode);
            const bool same = isDir && root.present && quint64(info.st_dev) == root.device &&
                              quint64(info.st_ino) == root.inode;
            if (root.present && !same) {
                removeTreeUnder(root.path);
                root.present = false;
                if (reportRoots)
                    enqueue(root.path, CDEventFlag::RootChanged);
            }
            if (!root.present && isDir) {
                root.present = true;
                root.device = quint64(info.st_dev);
                root.inode = quint64(info.st_ino);
                if (!initial && reportRoots)
                    enqueue(root.path, CDEventFlag::RootChanged);
                addTree(root.path, !initial, false);
            }
        }

        const QHash<QString, quint32> wanted = wantedAuxiliaryWatches();
        QList<int> unwanted;
        for (auto it = m_watches.cbegin(); it != m_watches.cend(); ++it) {
            if (it->aux && !wanted.contains(it->path))
                unwanted.append(it.key());
        }
        for (int wd : std::as_const(unwanted)) {
            const Watch watch = m_watches.value(wd);
            if (watch.tree)
                install(watch.path, true, 0);
            else
                dropWatch(wd);
        }
        for (auto it = wanted.cbegin(); it != wanted.cend(); ++it) {
            // Installed again even when known: the path may name another folder by now.
            const Watch known = m_watches.value(m_wdByPath.value(it.key(), -1));
            install(it.key(), known.tree, it.value());
        }

        const bool settled =
            std::all_of(m_roots.cbegin(), m_roots.cend(),
                        [](const Root& root) { return root.present == isDirectory(root.path); }) &&
            wantedAuxiliaryWatches() == wanted;
        if (settled)
            break;
    }
}

void CDEvents::resynchronize()
{
    refreshRoots(false);
    ++m_mark;
    for (const Root& root : std::as_const(m_roots)) {
        if (root.present)
            addTree(root.path, false, true);
    }
    QList<int> unseen;
    for (auto it = m_watches.cbegin(); it != m_watches.cend(); ++it) {
        if (it->tree && it->mark != m_mark)
            unseen.append(it.key());
    }
    for (int wd : std::as_const(unseen)) {
        const Watch watch = m_watches.value(wd);
        if (watch.aux)
            install(watch.path, false, watch.aux);
        else
            dropWatch(wd);
    }
}

bool CDEvents::touchesRoot(const QString& path) const
{
    return std::any_of(m_roots.cbegin(), m_roots.cend(),
                       [&](const Root& root) { return isAtOrBelow(root.path, path); });
}

bool CDEvents::leadsToMissingRoot(const QString& path) const
{
    return std::any_of(m_roots.cbegin(), m_roots.cend(), [&](const Root& root) {
        return !root.present && isAtOrBelow(root.path, path);
    });
}

bool CDEvents::isRootPath(const QString& path) const
{
    return std::any_of(m_roots.cbegin(), m_roots.cend(),
                       [&](const Root& root) { return root.path == path; });
}

} // namespace vesk
