#include "InstalledBoxes.h"

#include <algorithm>
#include <exception>

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QVersionNumber>

#include "CDEvents.h"
#include "Utilities.h"

namespace vesk {

namespace {

// Vagrant writes "/" in box names as this in folder names.
const QString kSlash = QStringLiteral("-VAGRANTSLASH-");
const QString kMetadata = QStringLiteral("metadata.json");
// Changes come in bursts while a box is unpacked; one reading after the burst is enough.
constexpr double kLatency = 0.3;

QStringList subfolders(const QString& path)
{
    return QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Readable, QDir::Name);
}

bool versionIsNewer(const QString& a, const QString& b)
{
    const QVersionNumber va = QVersionNumber::fromString(a);
    const QVersionNumber vb = QVersionNumber::fromString(b);
    if (va != vb)
        return va > vb;
    return a > b;
}

} // namespace

InstalledBoxes::InstalledBoxes(const QString& boxesFolder, QObject* parent)
    : QAbstractListModel(parent), m_folder(boxesFolder)
{
    m_boxes = read(m_folder);
    // One reading for a whole batch of events.
    m_reloadTimer.setSingleShot(true);
    m_reloadTimer.setInterval(0);
    connect(&m_reloadTimer, &QTimer::timeout, this, &InstalledBoxes::reload);
    try {
        m_watcher = std::make_unique<CDEvents>(
            QList<QUrl>{QUrl::fromLocalFile(m_folder)},
            [this](CDEvents*, const CDEvent&) { m_reloadTimer.start(); }, nullptr, kCDEventsSinceEventNow,
            kLatency, false, QList<QUrl>{}, kCDEventsDefaultEventStreamFlags);
    } catch (const std::exception& error) {
        m_watchError = QString::fromLocal8Bit(error.what());
    }
}

InstalledBoxes::~InstalledBoxes() = default;

InstalledBoxes& InstalledBoxes::shared()
{
    static InstalledBoxes* boxes = new InstalledBoxes;
    return *boxes;
}

QString InstalledBoxes::defaultBoxesFolder()
{
    const QString home = qEnvironmentVariable("VAGRANT_HOME");
    return QDir(home.isEmpty() ? QDir::homePath() + QStringLiteral("/.vagrant.d") : home)
        .filePath(QStringLiteral("boxes"));
}

QList<InstalledBox> InstalledBoxes::read(const QString& folder)
{
    QList<InstalledBox> boxes;
    for (const QString& entry : subfolders(folder)) {
        InstalledBox box;
        box.name = QString(entry).replace(kSlash, QStringLiteral("/"));
        const QString boxFolder = QDir(folder).filePath(entry);
        for (const QString& version : subfolders(boxFolder)) {
            const QString versionFolder = QDir(boxFolder).filePath(version);
            QStringList providers;
            // version/provider, or version/architecture/provider since boxes have architectures.
            for (const QString& child : subfolders(versionFolder)) {
                const QString childFolder = QDir(versionFolder).filePath(child);
                if (QFileInfo(QDir(childFolder).filePath(kMetadata)).isFile()) {
                    providers.append(child);
                    continue;
                }
                for (const QString& grandchild : subfolders(childFolder)) {
                    if (QFileInfo(QDir(childFolder).filePath(grandchild + u'/' + kMetadata))
                            .isFile())
                        providers.append(grandchild);
                }
            }
            if (providers.isEmpty())
                continue;
            box.versions.append(version);
            for (const QString& provider : providers) {
                if (!box.providers.contains(provider))
                    box.providers.append(provider);
            }
        }
        if (box.versions.isEmpty())
            continue;
        std::sort(box.versions.begin(), box.versions.end(), versionIsNewer);
        box.providers.sort();
        boxes.append(box);
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(boxes.begin(), boxes.end(), [&collator](const InstalledBox& a, const InstalledBox& b) {
        return collator.compare(a.name, b.name) < 0;
    });
    return boxes;
}

QString InstalledBoxes::describe(const InstalledBox& box)
{
    return visibleText(box.name) + QStringLiteral(" — ") +
           visibleText(box.versions.join(QStringLiteral(", "))) + QStringLiteral(" · ") +
           visibleText(box.providers.join(QStringLiteral(", ")));
}

void InstalledBoxes::reload()
{
    QList<InstalledBox> boxes = read(m_folder);
    if (boxes == m_boxes)
        return;
    beginResetModel();
    m_boxes = std::move(boxes);
    endResetModel();
    Q_EMIT reloaded();
}

int InstalledBoxes::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_boxes.size());
}

QVariant InstalledBoxes::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_boxes.size())
        return {};
    const InstalledBox& box = m_boxes[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return describe(box);
    case Qt::EditRole:
    case NameRole:
        return box.name;
    case Qt::ToolTipRole:
        return QStringLiteral("%1\nVersions: %2\nProviders: %3")
            .arg(visibleText(box.name), box.versions.join(QStringLiteral(", ")),
                 box.providers.join(QStringLiteral(", ")));
    default:
        return {};
    }
}

} // namespace vesk
