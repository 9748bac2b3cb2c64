#pragma once

#include <functional>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vesk {

/// Installing VirtualBox or Vagrant the way this system does it: first through the desktop's
/// software installer (PackageKit's session interface, which shows its own dialog), else the
/// vendor's package for this system's package format, else the product's download page.
class SoftwareInstaller
{
public:
    enum class Outcome {
        Installed,   // the desktop's installer did it
        Cancelled,   // the user said no in the desktop's dialog
        Unavailable, // no such interface, or it answered with an error
    };

    /// Asks PackageKit on the session bus to install the packages; `done` runs once, later.
    static void
    installPackageNames(const QStringList& packages,
                        std::function<void(Outcome outcome, const QString& error)> done);

    /// "deb", "rpm", or empty when unknown, from the text of /etc/os-release (ID and ID_LIKE).
    static QString packageFormat(const QByteArray& osRelease);
    /// The package format of this system; the file read can be changed for tests.
    static QString systemPackageFormat();
    static void setOsReleasePath(const QString& path);
};

} // namespace vesk
