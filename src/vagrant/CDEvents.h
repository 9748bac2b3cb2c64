#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QUrl>

#include "CDEvent.h"

class QSocketNotifier;
class QThread;

namespace vesk {

class CDEvents;

using CDEventIdentifier = quint64;
using CDEventsEventBlock = std::function<void(CDEvents* watcher, const CDEvent& event)>;

/// Since-id meaning "only changes from now on".
inline constexpr CDEventIdentifier kCDEventsSinceEventNow = ~CDEventIdentifier(0);
inline constexpr double kCDEventsDefaultEventLatency = 3.0;

/// Creation flag bits, with the values of the macOS event stream.
namespace CDEventsStreamCreationFlag {
inline constexpr quint32 UseCFTypes = 0x1;
inline constexpr quint32 NoDefer = 0x2;
/// Report, as root-changed events, when a watched folder or one above it goes or comes back.
inline constexpr quint32 WatchRoot = 0x4;
inline constexpr quint32 IgnoreSelf = 0x8;
inline constexpr quint32 FileEvents = 0x10;
} // namespace CDEventsStreamCreationFlag

inline constexpr quint32 kCDEventsDefaultEventStreamFlags =
    CDEventsStreamCreationFlag::UseCFTypes | CDEventsStreamCreationFlag::WatchRoot;

/// Thrown on creation without watched URLs, or without a block or delegate.
class CDEventsInvalidArgument : public std::invalid_argument
{
public:
    CDEventsInvalidArgument();
};

/// Thrown when the system refuses to give the watcher an event stream.
class CDEventsEventStreamCreationFailureException : public std::runtime_error
{
public:
    CDEventsEventStreamCreationFailureException();
};

/// Receiver of events in the delegate form. Not owned by the watcher: it must outlive it, or be
/// cleared with `setDelegate(nullptr)` first.
class CDEventsDelegate
{
public:
    virtual ~CDEventsDelegate() = default;
    /// Called for every delivered event (URLWatcher:eventOccurred:).
    virtual void URLWatcher(CDEvents* watcher, const CDEvent& event) = 0;
};

/// Watches folders, and everything below them, and reports each change as a `CDEvent` on the
/// thread the watcher lives on, in batches gathered over `notificationLatency` seconds.
///
/// Runs on Linux inotify. Folders that do not exist yet are followed from their nearest existing
/// parent and watched as soon as they appear. The watcher is running from construction until
/// destruction; to destroy it from inside its own block use deleteLater().
class CDEvents : public QObject
{
    Q_OBJECT

public:
    /// Block form with all defaults, delivering on the current thread.
    CDEvents(const QList<QUrl>& URLs, CDEventsEventBlock block, QObject* parent = nullptr);
    /// Block form with all defaults, delivering on `runLoop` (nullptr: the current thread).
    CDEvents(const QList<QUrl>& URLs, CDEventsEventBlock block, QThread* runLoop,
             QObject* parent = nullptr);
    /// Full block form. A watcher for another thread than the current one cannot have a parent.
    CDEvents(const QList<QUrl>& URLs, CDEventsEventBlock block, QThread* runLoop,
             CDEventIdentifier sinceEventIdentifier, double notificationLatency,
             bool ignoreEventsFromSubDirs, const QList<QUrl>& excludeURLs,
             quint32 streamCreationFlags, QObject* parent = nullptr);

    /// Delegate forms: as the block forms, calling the delegate's URLWatcher for each event.
    CDEvents(const QList<QUrl>& URLs, CDEventsDelegate* delegate, QObject* parent = nullptr);
    CDEvents(const QList<QUrl>& URLs, CDEventsDelegate* delegate, QThread* runLoop,
             QObject* parent = nullptr);
    CDEvents(const QList<QUrl>& URLs, CDEventsDelegate* delegate, QThread* runLoop,
             CDEventIdentifier sinceEventIdentifier, double notificationLatency,
             bool ignoreEventsFromSubDirs, const QList<QUrl>& excludeURLs,
             quint32 streamCreationFlags, QObject* parent = nullptr);

    ~CDEvents() override;

    /// A new running watcher with the same URLs, block, since-id, latency, subfolder setting,
    /// excluded URLs and creation flags, delivering on the current thread; no delegate.
    std::unique_ptr<CDEvents> copy() const;

    /// Changing the URL lists after creation changes only the filtering of later batches.
    QList<QUrl> watchedURLs() const;
    void setWatchedURLs(const QList<QUrl>& URLs);
    QList<QUrl> excludedURLs() const;
    void setExcludedURLs(const QList<QUrl>& URLs);

    CDEventsEventBlock eventBlock() const { return m_block; }
    CDEventsDelegate* delegate() const { return m_delegate; }
    void setDelegate(CDEventsDelegate* delegate) { m_delegate = delegate; }

    /// inotify keeps no history: with any since-id but kCDEventsSinceEventNow, the first batch
    /// starts with one HistoryDone | MustScanSubDirs event per watched folder, then only new
    /// changes follow.
    CDEventIdentifier sinceEventIdentifier() const { return m_sinceEventIdentifier; }
    double notificationLatency() const { return m_notificationLatency; }
    /// When set, only events whose path is exactly a watched folder are delivered. Event URLs
    /// name the changed entry, so that leaves the watched folders' own changes.
    bool ignoreEventsFromSubDirectories() const { return m_ignoreEventsFromSubDirs; }
    void setIgnoreEventsFromSubDirectories(bool ignore) { m_ignoreEventsFromSubDirs = ignore; }
    /// Of the creation flags only WatchRoot changes what is reported; events always name entries.
    quint32 eventStreamCreationFlags() const { return m_streamCreationFlags; }

    /// The last event delivered in the latest batch that delivered any.
    std::optional<CDEvent> lastEvent() const;

    /// Delivers every pending change before returning.
    void flushSynchronously();
    /// Asks for prompt delivery of pending changes and returns at once.
    void flushAsynchronously();

    /// The id of the most recent event of any watcher in this process.
    static CDEventIdentifier currentEventIdentifier();

    /// "<CDEvents: 0x... { watchedURLs = (...) }>"
    QString description() const;
    /// A text description of the underlying inotify stream.
    QString streamDescription() const;

private:
    struct Watch
    {
        QString path;
        bool tree = false; // contents reported
        quint32 aux = 0;   // extra mask bits while it is on the way to a watched folder
        quint64 mark = 0;
    };
    struct Root
    {
        QString path;
        bool present = false;
        quint64 device = 0;
        quint64 inode = 0;
    };
    struct Pending
    {
        CDEventIdentifier identifier;
        QString path;
        quint32 flags;
    };

    void start(QThread* runLoop);
    void readEvents();
    void handleEvent(int wd, quint32 mask, quint32 cookie, const QString& name, bool& refresh);
    void deliver();
    void enqueue(const QString& path, quint32 flags);
    void armLatencyTimer();

    int install(const QString& path, bool tree, quint32 aux);
    void dropWatch(int wd);
    void addTree(const QString& path, bool reportContents, bool fullWalk);
    void removeTreeUnder(const QString& path);
    void renameTreeUnder(const QString& from, const QString& to);
    void refreshRoots(bool initial);
    void resynchronize();
    bool touchesRoot(const QString& path) const;
    bool leadsToMissingRoot(const QString& path) const;
    bool isRootPath(const QString& path) const;

    CDEventsEventBlock m_block;
    CDEventsDelegate* m_delegate = nullptr;
    CDEventIdentifier m_sinceEventIdentifier;
    double m_notificationLatency;
    bool m_ignoreEventsFromSubDirs;
    quint32 m_streamCreationFlags;

    mutable QMutex m_lock; // guards the three fields below
    QList<QUrl> m_watchedURLs;
    QList<QUrl> m_excludedURLs;
    std::optional<CDEvent> m_lastEvent;

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_latencyTimer;
    QList<Root> m_roots;
    QHash<int, Watch> m_watches;
    QHash<QString, int> m_wdByPath;
    QSet<int> m_removing;                   // removed by us, their IN_IGNORED still to come
    QHash<quint32, QString> m_movedFolders; // rename cookie -> old path
    QList<Pending> m_pending;
    quint64 m_mark = 0;
};

} // namespace vesk
