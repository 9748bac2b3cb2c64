#pragma once

#include <QString>
#include <QStringList>

namespace vesk {

/// The crash and usage client started at launch. It keeps the application secret and the names
/// of the services it was started with, sends nothing anywhere, and writes a crash log when the
/// process dies of a fatal signal: "<executable>_<YYYY-MM-DD-HHMMSS>.crash" in `logFolder()`,
/// with the signal and a backtrace, where the feedback form finds it.
class CrashReporter
{
public:
    static CrashReporter& sharedInstance();

    /// Records the secret and services and installs the fatal-signal handlers (once; a second
    /// call only updates what is recorded). Returns false when the log folder cannot be made.
    bool start(const QString& secret, const QStringList& services);

    bool isStarted() const { return m_started; }
    QString secret() const { return m_secret; }
    QStringList services() const { return m_services; }

    /// Vesk's data folder + "Logs/CrashReporter", e.g. ~/.local/share/Vesk/Logs/CrashReporter.
    static QString logFolder();

private:
    CrashReporter() = default;

    bool m_started = false;
    QString m_secret;
    QStringList m_services;
};

} // namespace vesk
