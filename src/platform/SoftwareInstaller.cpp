#include "SoftwareInstaller.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>
#include <QVariantMap>

namespace vesk {

namespace {

QString& osReleasePath()
{
    static QString path = QStringLiteral("/etc/os-release");
    return path;
}

// The desktop's installer may show its dialog for as long as the user reads it.
constexpr int kInstallTimeout = 60 * 60 * 1000;

QString osReleaseValue(const QByteArray& text, const QByteArray& key)
{
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (!line.startsWith(QByteArray(key + '=')))
            continue;
        QByteArray value = line.mid(key.size() + 1).trimmed();
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        return QString::fromUtf8(value).toLower();
    }
    return {};
}

} // namespace

void SoftwareInstaller::installPackageNames(
    const QStringList& packages, std::function<void(Outcome outcome, const QString& error)> done)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        done(Outcome::Unavailable, QStringLiteral("no session bus"));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.PackageKit"), QStringLiteral("/org/freedesktop/PackageKit"),
        QStringLiteral("org.freedesktop.PackageKit.Modify2"),
        QStringLiteral("InstallPackageNames"));
    call << packages << QString() << QStringLiteral("vesk.desktop") << QVariantMap();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kInstallTimeout));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [done](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         const QDBusPendingReply<> reply = *finished;
                         if (!reply.isError()) {
                             done(Outcome::Installed, QString());
                             return;
                         }
                         const QDBusError error = reply.error();
                         // The user closed the desktop's dialog: nothing more is wanted.
                         if (error.name().endsWith(QStringLiteral(".Cancelled")))
                             done(Outcome::Cancelled, error.message());
                         else
                             done(Outcome::Unavailable,
                                  error.name() + QStringLiteral(": ") + error.message());
                     });
}

QString SoftwareInstaller::packageFormat(const QByteArray& osRelease)
{
    const QString both =
        osReleaseValue(osRelease, "ID") + u' ' + osReleaseValue(osRelease, "ID_LIKE");
    const QStringList ids = both.split(u' ', Qt::SkipEmptyParts);
    const QStringList debian = {QStringLiteral("debian"), QStringLiteral("ubuntu")};
    const QStringList redHat = {QStringLiteral("fedora"),   QStringLiteral("rhel"),
                                QStringLiteral("centos"),   QStringLiteral("suse"),
                                QStringLiteral("opensuse"), QStringLiteral("mageia")};
    for (const QString& id : ids) {
        if (debian.contains(id))
            return QStringLiteral("deb");
        if (redHat.contains(id) || id.startsWith(QStringLiteral("opensuse")))
            return QStringLiteral("rpm");
    }
    return {};
}

QString SoftwareInstaller::systemPackageFormat()
{
    QFile file(osReleasePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return packageFormat(file.read(64 * 1024));
}

void SoftwareInstaller::setOsReleasePath(const QString& path)
{
    osReleasePath() = path;
}

} // namespace vesk
