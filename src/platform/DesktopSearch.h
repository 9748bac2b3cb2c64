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
class QTimer;

namespace vesk {

struct SearchTool;

/// One search of the desktop for files whose name ends in a suffix, in any letter case. Start
/// it once; it then reports once, on the thread that owns it: `finishedGathering` when the
/// results are complete, or `failed` when the source could not answer (which is not the same as
/// finding nothing). Stopping a search means it never reports.
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
    /// Which source answered ("tracker3", "walk", ...).
    virtual QString source() const = 0;

    /// The desktop's own search: its file index (GNOME's, then KDE's), then the locate
    /// database, then a walk of the home folder, each asked when the one before fails.
    static std::unique_ptr<DesktopSearch> create();
    /// The tools of the desktop that are installed now, in the order they are asked.
    static QList<SearchTool> installedTools();
    /// How long a tool may take before it counts as failed (milliseconds).
    static void setToolTimeout(int milliseconds);
    static int toolTimeout();

Q_SIGNALS:
    void finishedGathering();
    void failed(const QString& reason);

protected:
    /// Stores the results and announces them (unless stopped).
    void finish(const QStringList& results);
    /// Announces that the source could not answer (unless stopped).
    void fail(const QString& reason);
    bool m_stopped = false;

private:
    QStringList m_results;
};

/// A search program of the desktop and how to read its answer.
struct SearchTool
{
    QString name;
    QString program;
    /// The index service the program asks, when it asks one: a service that is not running is
    /// not started for a search, and counts as a failed tool.
    QString busName;
    /// An index answers only for the folders it covers: finding nothing there is no answer.
    bool emptyIsNoAnswer = false;
    /// The arguments for a suffix.
    std::function<QStringList(const QString& suffix)> arguments;
    /// The paths in what the program printed; none when its answer means it failed.
    std::function<std::optional<QStringList>(const QByteArray& output, const QByteArray& errors,
                                             int exitCode)>
        read;
};

/// Asks one tool, asynchronously, and keeps the paths that end in the suffix.
class ToolDesktopSearch : public DesktopSearch
{
    Q_OBJECT

public:
    explicit ToolDesktopSearch(SearchTool tool, QObject* parent = nullptr);
    ~ToolDesktopSearch() override;

    void start(const QString& suffix) override;
    void stop() override;
    QString source() const override { return m_tool.name; }

private:
    void run();
    void ended(int exitCode, bool crashed);

    SearchTool m_tool;
    QString m_suffix;
    QProcess* m_process = nullptr;
    QTimer* m_timeout = nullptr;
};

/// Walks folders on a worker thread: hidden files and folders, the trash and other file systems
/// are left out, and links are not followed.
class WalkDesktopSearch : public DesktopSearch
{
    Q_OBJECT

public:
    /// Walks `roots` (the home folder when empty).
    explicit WalkDesktopSearch(const QStringList& roots = {}, QObject* parent = nullptr);
    ~WalkDesktopSearch() override;

    void start(const QString& suffix) override;
    void stop() override;
    QString source() const override { return QStringLiteral("walk"); }

    /// The walk itself (any thread); stops early when `cancelled` becomes true.
    static QStringList walk(const QStringList& roots, const QString& suffix,
                            const std::atomic_bool& cancelled);

private:
    QStringList m_roots;
    std::shared_ptr<std::atomic_bool> m_cancelled;
    QFutureWatcher<QStringList> m_watcher;
};

/// Asks one search after the other until one answers; fails only when all of them fail.
class ChainedDesktopSearch : public DesktopSearch
{
    Q_OBJECT

public:
    explicit ChainedDesktopSearch(QList<Factory> steps, QObject* parent = nullptr);
    ~ChainedDesktopSearch() override;

    void start(const QString& suffix) override;
    void stop() override;
    QString source() const override { return m_source; }
    /// Why each source asked before the one that answered did not answer.
    QStringList failures() const { return m_failures; }

private:
    void next();

    QList<Factory> m_steps;
    QString m_suffix;
    std::unique_ptr<DesktopSearch> m_current;
    QString m_source;
    QStringList m_failures;
};

/// Reports the paths it was given, on the next turn of the event loop (tests).
class FakeDesktopSearch : public DesktopSearch
{
    Q_OBJECT

public:
    explicit FakeDesktopSearch(const QStringList& paths, QObject* parent = nullptr);
    void start(const QString& suffix) override;
    void stop() override { m_stopped = true; }
    QString source() const override { return QStringLiteral("fake"); }

private:
    QStringList m_paths;
};

} // namespace vesk
