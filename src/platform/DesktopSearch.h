#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QStringList>

class QProcess;

namespace vesk {

/// One search of the desktop for files whose name ends in a suffix, in any letter case. Start
/// it once; `finishedGathering` is emitted once, on the thread that owns the search, when the
/// results are complete. Stopping a search means it never reports.
class DesktopSearch : public QObject
{
    Q_OBJECT

public:
    using Factory = std::function<std::unique_ptr<DesktopSearch>()>;

    explicit DesktopSearch(QObject* parent = nullptr) : QObject(parent) {}
    ~DesktopSearch() override = default;

    /// Starts looking for names ending in `suffix` (e.g. ".vesk"), letter case ignored.
    virtual void start(const QString& suffix) = 0;
    /// Stops the search; no result is reported after this.
    virtual void stop() = 0;
    /// The paths found, complete once `finishedGathering` was emitted.
    QStringList results() const { return m_results; }

    /// The desktop's own search: the locate database when there is one, else a walk of the home
    /// folder.
    static std::unique_ptr<DesktopSearch> create();
    /// The locate program ("plocate" or "locate") when it and its database exist.
    static std::optional<QString> locateProgram();

Q_SIGNALS:
    void finishedGathering();

protected:
    /// Stores the results and announces them (unless stopped).
    void finish(const QStringList& results);
    bool m_stopped = false;

private:
    QStringList m_results;
};

/// Walks folders on a worker thread, skipping hidden files and folders and not following links.
class WalkDesktopSearch : public DesktopSearch
{
    Q_OBJECT

public:
    /// Walks `roots` (the home folder when empty).
    explicit WalkDesktopSearch(const QStringList& roots = {}, QObject* parent = nullptr);
    ~WalkDesktopSearch() override;

    void start(const QString& suffix) override;
    void stop() override;

    /// The walk itself (any thread); stops early when `cancelled` becomes true.
    static QStringList walk(const QStringList& roots, const QString& suffix,
                            const std::atomic_bool& cancelled);

private:
    QStringList m_roots;
    std::shared_ptr<std::atomic_bool> m_cancelled;
    QFutureWatcher<QStringList> m_watcher;
};

/// Asks the locate database (`plocate`/`locate`) asynchronously; falls back to a walk of the
/// home folder when the program fails.
class LocateDesktopSearch : public DesktopSearch
{
    Q_OBJECT

public:
    explicit LocateDesktopSearch(const QString& program, QObject* parent = nullptr);
    ~LocateDesktopSearch() override;

    void start(const QString& suffix) override;
    void stop() override;

private:
    void fallBackToWalk();

    QString m_program;
    QString m_suffix;
    QProcess* m_process = nullptr;
    std::unique_ptr<WalkDesktopSearch> m_fallback;
};

/// Reports the paths it was given, on the next turn of the event loop (tests).
class FakeDesktopSearch : public DesktopSearch
{
    Q_OBJECT

public:
    explicit FakeDesktopSearch(const QStringList& paths, QObject* parent = nullptr);
    void start(const QString& suffix) override;
    void stop() override { m_stopped = true; }

private:
    QStringList m_paths;
};

} // namespace vesk
