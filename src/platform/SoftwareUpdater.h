#pragma once

#include <optional>

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace vesk {

class UserDefaults;

/// What one look at the update feed found.
struct UpdateCheckResult
{
    enum class Status { UpToDate, UpdateAvailable, Failed };

    Status status = Status::Failed;
    QString currentVersion;
    /// The feed's version (empty when the feed could not be read).
    QString latestVersion;
    /// The page where the newer version can be downloaded.
    QUrl downloadPage;
    /// Why the check failed, for people.
    QString error;
};

/// Checks a JSON feed {"version": "1.2.3", "url": "https://..."} for a newer version of the
/// application: on request, and every `updateCheckInterval()` seconds while automatic checks are
/// on. Knows nothing of windows: results arrive through `checkFinished`.
class SoftwareUpdater : public QObject
{
    Q_OBJECT

public:
    /// Keeps the time of its last check in `defaults` (key "SULastCheckTime").
    explicit SoftwareUpdater(UserDefaults& defaults, QObject* parent = nullptr);
    ~SoftwareUpdater() override;

    /// The application's updater, reading the feed named by the build configuration.
    static SoftwareUpdater& sharedUpdater();

    QUrl feedUrl() const { return m_feedUrl; }
    void setFeedUrl(const QUrl& url) { m_feedUrl = url; }

    /// The version the feed is compared with; the application's own by default.
    QString currentVersion() const { return m_currentVersion; }
    void setCurrentVersion(const QString& version) { m_currentVersion = version; }

    bool automaticallyChecksForUpdates() const { return m_automatic; }
    /// Switching automatic checks on schedules the next one; off cancels it.
    void setAutomaticallyChecksForUpdates(bool automatic);

    /// Seconds between automatic checks (43200 by default).
    int updateCheckInterval() const { return m_interval; }
    void setUpdateCheckInterval(int seconds);

    /// A check the user asked for: its result, good or bad, is for showing.
    void checkForUpdates();
    /// A scheduled check: only a newer version is worth showing.
    void checkForUpdatesInBackground();

    bool isChecking() const { return m_reply != nullptr; }
    std::optional<QDateTime> lastUpdateCheckDate() const;
    /// When the next automatic check will run; none while automatic checks are off.
    std::optional<QDateTime> nextScheduledCheck() const;

    /// Orders two version strings by their numbers ("1.10.0" > "1.9.3", "1.2" == "1.2.0"); a
    /// suffix ("1.2.0-beta") sorts before the plain version. Negative, 0 or positive.
    static int compareVersions(const QString& a, const QString& b);
    /// Whether a text is a version that compareVersions understands.
    static bool isValidVersion(const QString& version);
    /// Reads a feed document and compares it with `currentVersion`.
    static UpdateCheckResult evaluateFeed(const QByteArray& body, const QString& currentVersion);
    /// Milliseconds from `now` until the check that is due `interval` seconds after `last`.
    static qint64 millisecondsUntilNextCheck(const QDateTime& last, const QDateTime& now,
                                             int interval);

Q_SIGNALS:
    void checkStarted(bool userInitiated);
    void checkFinished(const vesk::UpdateCheckResult& result, bool userInitiated);

private:
    void startCheck(bool userInitiated);
    void finishCheck();
    void scheduleNextCheck();

    UserDefaults& m_defaults;
    QUrl m_feedUrl;
    QString m_currentVersion;
    bool m_automatic = false;
    int m_interval = 43200;
    bool m_userInitiated = false;
    bool m_tooLarge = false;
    QTimer m_timer;
    QNetworkAccessManager* m_network = nullptr;
    QNetworkReply* m_reply = nullptr;
};

} // namespace vesk

Q_DECLARE_METATYPE(vesk::UpdateCheckResult)
