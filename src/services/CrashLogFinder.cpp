#include "CrashLogFinder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "FeedbackRequest.h"

namespace vesk {

CrashLogFinder::CrashLogFinder(const QString& applicationName, const QStringList& libraryFolders)
    : m_applicationName(applicationName), m_libraryFolders(libraryFolders)
{
}

QString CrashLogFinder::userLibraryFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Vesk");
}

QString CrashLogFinder::systemLibraryFolder()
{
#ifdef Q_OS_MACOS
    return QStringLiteral("/Library");
#else
    // Variable data of our own that outlives a reboot; an administrator or a packaged crash
    // hook can collect logs there in the same layout as the per-user folder.
    return QStringLiteral("/var/lib/vesk");
#endif
}

CrashLogFinder CrashLogFinder::standard()
{
    return CrashLogFinder(applicationExecutableName(),
                          {userLibraryFolder(), systemLibraryFolder()});
}

QStringList CrashLogFinder::crashLogsSince(const std::optional<QDateTime>& date) const
{
    QStringList found;
    for (const QString& library : m_libraryFolders) {
        const QString crashFolder = library + QStringLiteral("/Logs/CrashReporter");
        if (QFileInfo(crashFolder).isDir()) {
            const QDir base(crashFolder);
            const QString prefix = m_applicationName + u'_';
            QDirIterator it(crashFolder, QDir::Files | QDir::Hidden | QDir::System,
                            QDirIterator::Subdirectories);
            QStringList logs;
            while (it.hasNext()) {
                const QString path = it.next();
                if (base.relativeFilePath(path).startsWith(prefix) &&
                    QFileInfo(path).suffix() == QStringLiteral("crash"))
                    logs.append(path);
            }
            // In name order, so which of two equally new logs is shown does not depend on
            // the order the file system lists them in.
            logs.sort();
            found += logs;
        }
        const QString hangFolder =
            library + QStringLiteral("/Logs/HangReporter/") + m_applicationName;
        if (QFileInfo(hangFolder).isDir()) {
            QDirIterator it(hangFolder, QDir::Files | QDir::Hidden | QDir::System,
                            QDirIterator::Subdirectories);
            QStringList logs;
            while (it.hasNext()) {
                const QString path = it.next();
                if (QFileInfo(path).suffix() == QStringLiteral("hang"))
                    logs.append(path);
            }
            logs.sort();
            found += logs;
        }
    }
    QStringList newer;
    for (const QString& path : std::as_const(found)) {
        if (fileIsNewerThan(path, date))
            newer.append(path);
    }
    return newer;
}

std::optional<QDateTime> CrashLogFinder::modificationTimeOfFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    const QDateTime modified = info.lastModified();
    if (!modified.isValid())
        return std::nullopt;
    return modified;
}

bool CrashLogFinder::fileIsNewerThan(const QString& path, const std::optional<QDateTime>& date)
{
    if (!date)
        return true;
    const std::optional<QDateTime> modified = modificationTimeOfFile(path);
    return !modified || *modified >= *date;
}

std::optional<QString> CrashLogFinder::latestCrashLogContents(const QStringList& paths)
{
    std::optional<QString> latest;
    // No date yet stands for the earliest possible one: the first file always wins it.
    std::optional<QDateTime> best;
    for (const QString& path : paths) {
        if (!fileIsNewerThan(path, best))
            continue;
        latest = path;
        best = modificationTimeOfFile(path);
    }
    if (!latest)
        return std::nullopt;
    QFile file(*latest);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromUtf8(file.readAll());
}

} // namespace vesk
