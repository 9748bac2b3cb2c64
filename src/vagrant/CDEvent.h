#pragma once

#include <optional>

#include <QDataStream>
#include <QDateTime>
#include <QString>
#include <QUrl>
#include <QVariantMap>

namespace vesk {

/// Event flag bits, with the values of the macOS file-system event stream.
namespace CDEventFlag {
inline constexpr quint32 None = 0x00000000;
inline constexpr quint32 MustScanSubDirs = 0x00000001;
inline constexpr quint32 UserDropped = 0x00000002;
inline constexpr quint32 KernelDropped = 0x00000004;
inline constexpr quint32 EventIdsWrapped = 0x00000008;
inline constexpr quint32 HistoryDone = 0x00000010;
inline constexpr quint32 RootChanged = 0x00000020;
inline constexpr quint32 Mount = 0x00000040;
inline constexpr quint32 Unmount = 0x00000080;
inline constexpr quint32 ItemCreated = 0x00000100;
inline constexpr quint32 ItemRemoved = 0x00000200;
inline constexpr quint32 ItemInodeMetaMod = 0x00000400;
inline constexpr quint32 ItemRenamed = 0x00000800;
inline constexpr quint32 ItemModified = 0x00001000;
inline constexpr quint32 ItemFinderInfoMod = 0x00002000;
inline constexpr quint32 ItemChangeOwner = 0x00004000;
inline constexpr quint32 ItemXattrMod = 0x00008000;
inline constexpr quint32 ItemIsFile = 0x00010000;
inline constexpr quint32 ItemIsDir = 0x00020000;
inline constexpr quint32 ItemIsSymlink = 0x00040000;
} // namespace CDEventFlag

/// One change reported by a `CDEvents` watcher. An immutable value.
class CDEvent
{
public:
    CDEvent() = default;
    CDEvent(quint64 identifier, const QDateTime& date, const QUrl& URL, quint32 flags);

    /// The watcher's event id; ids grow monotonically within the process.
    quint64 identifier() const { return m_identifier; }
    /// When the event was delivered to the application (not when the change happened).
    QDateTime date() const { return m_date; }
    /// The file URL of the changed entry.
    QUrl URL() const { return m_URL; }
    quint32 flags() const { return m_flags; }

    bool isGenericChange() const { return m_flags == CDEventFlag::None; }
    bool mustRescanSubDirectories() const { return has(CDEventFlag::MustScanSubDirs); }
    bool isUserDropped() const { return has(CDEventFlag::UserDropped); }
    bool isKernelDropped() const { return has(CDEventFlag::KernelDropped); }
    bool isEventIdentifiersWrapped() const { return has(CDEventFlag::EventIdsWrapped); }
    bool isHistoryDone() const { return has(CDEventFlag::HistoryDone); }
    bool isRootChanged() const { return has(CDEventFlag::RootChanged); }
    bool didVolumeMount() const { return has(CDEventFlag::Mount); }
    bool didVolumeUnmount() const { return has(CDEventFlag::Unmount); }
    bool isCreated() const { return has(CDEventFlag::ItemCreated); }
    bool isRemoved() const { return has(CDEventFlag::ItemRemoved); }
    bool isInodeMetadataModified() const { return has(CDEventFlag::ItemInodeMetaMod); }
    bool isRenamed() const { return has(CDEventFlag::ItemRenamed); }
    bool isModified() const { return has(CDEventFlag::ItemModified); }
    bool isFinderInfoModified() const { return has(CDEventFlag::ItemFinderInfoMod); }
    bool didChangeOwner() const { return has(CDEventFlag::ItemChangeOwner); }
    bool isXattrModified() const { return has(CDEventFlag::ItemXattrMod); }
    bool isFile() const { return has(CDEventFlag::ItemIsFile); }
    bool isDir() const { return has(CDEventFlag::ItemIsDir); }
    bool isSymlink() const { return has(CDEventFlag::ItemIsSymlink); }

    /// "<CDEvent: 0x... { identifier = 7, URL = file:///..., flags = 256, date = ... }>"
    QString description() const;

    /// The archived form, under the keys "identifier", "flags", "date" and "URL".
    QVariantMap archive() const;
    /// Restores an archived event; nothing when a key is missing or holds the wrong kind of value.
    static std::optional<CDEvent> fromArchive(const QVariantMap& archive);

    friend bool operator==(const CDEvent&, const CDEvent&) = default;

private:
    bool has(quint32 bit) const { return (m_flags & bit) != 0; }

    quint64 m_identifier = 0;
    QDateTime m_date;
    QUrl m_URL;
    quint32 m_flags = 0;
};

/// Writes the archived form of the event.
QDataStream& operator<<(QDataStream& stream, const CDEvent& event);
/// Reads an archived event; sets the stream's status to ReadCorruptData if it is not one.
QDataStream& operator>>(QDataStream& stream, CDEvent& event);

} // namespace vesk
