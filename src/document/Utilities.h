#pragma once

#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace vesk {

/// The pattern of dates stored in .vesk files.
inline constexpr const char* kStandardDatePattern = "EEE, MMM dd yyyy hh:mm a";

/// A date whose local wall-clock reading equals the current UTC time. Only meant to be formatted.
QDateTime GMTDate();

/// The date in the standard pattern, with the user's locale and the default time zone.
QString standardDateString(const QDateTime& date);

/// The date read from text in the standard pattern (locale and zone as above); nothing when the
/// text does not match the pattern.
std::optional<QDateTime> standardDate(const QString& text);

/// Today's date in the short numeric style of the user's locale, without time.
QString shortDateString(const QDateTime& date = QDateTime::currentDateTime());

/// A new random UUID: 36 characters, upper-case hex groups of 8-4-4-4-12.
QString UUIDString();

/// The per-user support folder ("Vesk" in the data folder), created when missing.
QString applicationSupportDirectory();

/// One file written safely: the new content goes into a temporary file beside the destination,
/// every write and the final sync are checked, and only a complete file is renamed into place.
/// Until `commit` the old file is untouched; a failure leaves it so and says why.
class AtomicFile
{
public:
    enum class Links {
        /// A symbolic link at the path is followed: the file it names is replaced (documents
        /// that users keep behind a link stay where they are).
        Follow,
        /// A symbolic link at the path is itself replaced by a regular file; nothing is ever
        /// written through it (exported files, scripts).
        Replace,
    };

    explicit AtomicFile(const QString& path, Links links = Links::Follow);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    /// Only the owner may read and write the new file (secrets); it is so from its first byte.
    void setOwnerOnly(bool ownerOnly) { m_ownerOnly = ownerOnly; }

    /// Writes the whole content into the temporary file and syncs it to disk.
    bool write(const QByteArray& data);
    /// Renames the written file over the destination.
    bool commit();
    /// Why the last step failed, in the system's words ("No space left on device").
    QString errorString() const { return m_error; }
    /// Where the file goes (the link's target when links are followed).
    QString destination() const { return m_destination; }

private:
    void discard();

    QString m_destination;
    QByteArray m_temporary;
    QString m_error;
    bool m_ownerOnly = false;
};

/// Writes the file through an AtomicFile: the complete new file or the untouched old one.
/// On failure returns false and, when asked, a readable reason.
bool writeFileAtomically(const QString& path, const QByteArray& data,
                         QString* errorMessage = nullptr,
                         AtomicFile::Links links = AtomicFile::Links::Follow);

/// Documents, the machine index and other files Vesk reads whole are refused beyond this.
inline constexpr qint64 kMaxReadFileSize = 64 * 1024 * 1024;

/// Reads a regular file whole, up to `limit` bytes. A FIFO, a device or a folder is refused
/// without blocking or reading it; so is a larger file. On failure returns nothing and, when
/// asked, a readable reason.
std::optional<QByteArray> readRegularFile(const QString& path, QString* errorMessage = nullptr,
                                          qint64 limit = kMaxReadFileSize);

/// The text with control characters shown as escapes (\n, \t, \x1b, \u009b), so that it
/// stays on one line and sends nothing to a terminal.
QString visibleText(const QString& text);

/// A file name for a one-line message: as it is, or quoted with visible escapes when it holds
/// control characters.
QString displayName(const QString& path);

} // namespace vesk
