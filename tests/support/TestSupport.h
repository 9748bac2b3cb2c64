#pragma once

#include <optional>

#include <QByteArray>
#include <QProcess>
#include <QtGlobal>
#include <QString>

class QPixmap;
class QWidget;

namespace vesk::test {

/// The private home folder of this test process.
QString homePath();

/// Writes a file, creating its folders; fails the calling test on error via the return value.
bool writeFile(const QString& path, const QByteArray& data);

/// Reads a whole file; empty when it cannot be read.
QByteArray readFile(const QString& path);

/// Switches the default time zone of dates formatted by the program, e.g. "Europe/Paris".
void setTimeZone(const QByteArray& ianaId);

/// Switches the locale used for dates, e.g. "en_US" or "de_DE".
void setLocale(const char* localeName);

// Sets or removes an environment variable for the rest of the scope.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char* name, const std::optional<QByteArray>& value)
        : m_name(name),
          m_old(qEnvironmentVariableIsSet(name) ? std::optional<QByteArray>(qgetenv(name))
                                                : std::nullopt)
    {
        set(value);
    }
    ~ScopedEnvironment() { set(m_old); }

private:
    void set(const std::optional<QByteArray>& value)
    {
        if (value)
            qputenv(m_name, *value);
        else
            qunsetenv(m_name);
    }
    const char* m_name;
    std::optional<QByteArray> m_old;
};

/// A real "disk full" for this process: files may not grow past `bytes` while it lives, and
/// writes past it fail with EFBIG instead of killing the process (SIGXFSZ is ignored).
class ScopedFileSizeLimit
{
public:
    explicit ScopedFileSizeLimit(qint64 bytes);
    ~ScopedFileSizeLimit();
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

private:
    qint64 m_oldSoft = 0;
    void (*m_oldHandler)(int) = nullptr;
};

/// A session bus of the test's own (`dbus-daemon --session`), made the process's session bus.
/// Start it before anything in the process connects to a session bus.
class PrivateSessionBus
{
public:
    ~PrivateSessionBus();
    /// Starts the daemon and sets DBUS_SESSION_BUS_ADDRESS; returns the address, empty when the
    /// daemon could not be started.
    QByteArray start();

private:
    QProcess m_daemon;
};

/// Keeps vagrant off the network and on the test-only provider of tests/fixtures.
void useTestVagrantEnvironment();

/// Renders a widget (offscreen) into build/screenshots/<name>.png and returns the path.
QString saveScreenshot(QWidget* widget, const QString& name);
/// The same for a picture already made.
QString saveScreenshot(const QPixmap& picture, const QString& name);

} // namespace vesk::test
