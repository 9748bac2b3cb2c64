#pragma once

#include <optional>

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace vesk {

/// Finds the application's crash and hang logs in the user's and the computer's Library folders:
/// "Logs/CrashReporter" (entries "<app>_....crash") and "Logs/HangReporter/<app>" ("*.hang").
class CrashLogFinder
{
public:
    /// `applicationName` is what the logs are named after; the Library folders are searched in
    /// this order.
    CrashLogFinder(const QString& applicationName, const QStringList& libraryFolders);

    /// Vesk's data folder (where our crash reporter writes "Logs/CrashReporter").
    static QString userLibraryFolder();
    /// The computer-wide folder: "/var/lib/vesk" ("/Library" on macOS).
    static QString systemLibraryFolder();
    /// The finder the application uses: its executable name over both folders.
    static CrashLogFinder standard();

    /// The logs whose modification date is the same as or later than `date` (all without one),
    /// user's folder first.
    QStringList crashLogsSince(const std::optional<QDateTime>& date) const;
    /// The text (UTF-8) of the newest log; of equal dates the later in the list. None for an
    /// empty list or an unreadable file.
    static std::optional<QString> latestCrashLogContents(const QStringList& paths);
    /// True without a date, when the file's date cannot be read, or when it is not earlier.
    static bool fileIsNewerThan(const QString& path, const std::optional<QDateTime>& date);
    static std::optional<QDateTime> modificationTimeOfFile(const QString& path);

    QString applicationName() const { return m_applicationName; }
    QStringList libraryFolders() const { return m_libraryFolders; }

private:
    QString m_applicationName;
    QStringList m_libraryFolders;
};

} // namespace vesk
