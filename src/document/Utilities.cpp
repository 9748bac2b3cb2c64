#include "Utilities.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QFile>
#include <QStandardPaths>
#include <QUuid>

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace vesk {

namespace {

QString toQString(const icu::UnicodeString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

icu::UnicodeString toUnicode(const QString& text)
{
    return icu::UnicodeString(reinterpret_cast<const char16_t*>(text.utf16()),
                              int32_t(text.size()));
}

std::unique_ptr<icu::SimpleDateFormat> standardFormatter()
{
    UErrorCode status = U_ZERO_ERROR;
    auto formatter = std::make_unique<icu::SimpleDateFormat>(
        icu::UnicodeString(kStandardDatePattern, -1, US_INV), icu::Locale::getDefault(), status);
    if (U_FAILURE(status))
        return nullptr;
    return formatter;
}

} // namespace

QDateTime GMTDate()
{
    const UDate now = UDate(QDateTime::currentMSecsSinceEpoch());
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createDefault());
    int32_t rawOffset = 0;
    int32_t dstOffset = 0;
    UErrorCode status = U_ZERO_ERROR;
    zone->getOffset(now, false, rawOffset, dstOffset, status);
    if (U_FAILURE(status))
        rawOffset = dstOffset = 0;
    return QDateTime::fromMSecsSinceEpoch(qint64(now) - rawOffset - dstOffset);
}

QString standardDateString(const QDateTime& date)
{
    auto formatter = standardFormatter();
    if (!formatter)
        return {};
    icu::UnicodeString text;
    formatter->format(UDate(date.toMSecsSinceEpoch()), text);
    return toQString(text);
}

std::optional<QDateTime> standardDate(const QString& text)
{
    auto formatter = standardFormatter();
    if (!formatter)
        return std::nullopt;
    formatter->setLenient(false);
    const icu::UnicodeString input = toUnicode(text);
    icu::ParsePosition position(0);
    const UDate parsed = formatter->parse(input, position);
    // The whole text must be the date, nothing before or after it.
    if (position.getErrorIndex() >= 0 || position.getIndex() != input.length())
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(qint64(parsed));
}

QString shortDateString(const QDateTime& date)
{
    std::unique_ptr<icu::DateFormat> formatter(
        icu::DateFormat::createDateInstance(icu::DateFormat::kShort, icu::Locale::getDefault()));
    if (!formatter)
        return date.date().toString(Qt::ISODate);
    icu::UnicodeString text;
    formatter->format(UDate(date.toMSecsSinceEpoch()), text);
    return toQString(text);
}

QString UUIDString()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QString applicationSupportDirectory()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString path = QDir(base).filePath(QStringLiteral("Vesk"));
    if (!QFileInfo::exists(path))
        QDir().mkpath(path); // a failure shows up later as templates that are not found
    return path;
}

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Follows a chain of links to the path that is finally written (a dangling end included).
QString followLinks(const QString& path)
{
    QString current = QFileInfo(path).absoluteFilePath();
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            return current;
        current = info.symLinkTarget();
    }
    return current;
}

} // namespace

AtomicFile::AtomicFile(const QString& path, Links links)
    : m_destination(links == Links::Follow ? followLinks(path) : QFileInfo(path).absoluteFilePath())
{
}

AtomicFile::~AtomicFile()
{
    discard();
}

void AtomicFile::discard()
{
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
    m_temporary.clear();
}

bool AtomicFile::write(const QByteArray& data)
{
    discard();
    const QFileInfo destination(m_destination);
    // Found now rather than at the rename, so that files written together fail together.
    if (destination.isDir() && !destination.isSymLink()) {
        m_error = systemError(EISDIR);
        return false;
    }
    // Beside the destination, so the rename never crosses file systems.
    QByteArray pattern = QFile::encodeName(destination.absolutePath() + QStringLiteral("/.") +
                                           destination.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        m_error = systemError(errno);
        return false;
    }
    m_temporary = pattern;

    // The new file gets the old one's permissions, or what the user's umask gives a new file.
    struct stat old;
    mode_t mode;
    if (m_ownerOnly) {
        mode = 0600;
    } else if (::lstat(QFile::encodeName(m_destination).constData(), &old) == 0 &&
               S_ISREG(old.st_mode)) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = ::fchmod(fd, mode) == 0;
    int error = errno;
    const char* next = data.constData();
    qsizetype left = data.size();
    while (ok && left > 0) {
        const ssize_t written = ::write(fd, next, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            ok = false;
            error = written < 0 ? errno : EIO;
            break;
        }
        next += written;
        left -= written;
    }
    // A file system that cannot sync (EINVAL) has nothing more to give; anything else is a
    // failure that a full disk may only report here.
    if (ok && ::fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP) {
        ok = false;
        error = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        m_error = systemError(error);
        discard();
    }
    return ok;
}

bool AtomicFile::commit()
{
    if (m_temporary.isEmpty()) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("Nothing was written.");
        return false;
    }
    if (::rename(m_temporary.constData(), QFile::encodeName(m_destination).constData()) != 0) {
        m_error = systemError(errno);
        discard();
        return false;
    }
    m_temporary.clear();
    return true;
}

bool writeFileAtomically(const QString& path, const QByteArray& data, QString* errorMessage,
                         AtomicFile::Links links)
{
    AtomicFile file(path, links);
    if (file.write(data) && file.commit())
        return true;
    if (errorMessage)
        *errorMessage = file.errorString();
    return false;
}

std::optional<QByteArray> readRegularFile(const QString& path, QString* errorMessage, qint64 limit)
{
    const auto fail = [errorMessage](const QString& reason) -> std::optional<QByteArray> {
        if (errorMessage)
            *errorMessage = reason;
        return std::nullopt;
    };
    // Non-blocking, so that opening a FIFO with no writer returns at once.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(systemError(errno));
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0)
        return fail(systemError(errno));
    if (S_ISDIR(status.st_mode))
        return fail(systemError(EISDIR));
    if (!S_ISREG(status.st_mode))
        return fail(QStringLiteral("not a regular file"));
    const QString tooLarge =
        QStringLiteral("larger than %1")
            .arg(QLocale::c().formattedDataSize(limit, 0, QLocale::DataSizeTraditionalFormat));
    if (status.st_size > limit)
        return fail(tooLarge);
    QByteArray data;
    data.resize(qsizetype(status.st_size));
    qsizetype filled = 0;
    for (;;) {
        // The file may grow while it is read; one byte past the limit is enough to tell.
        if (filled == data.size()) {
            if (data.size() > limit)
                return fail(tooLarge);
            data.resize(qMin<qint64>(qMax<qint64>(data.size() * 2, 4096), limit + 1));
        }
        const ssize_t count = ::read(fd, data.data() + filled, size_t(data.size() - filled));
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return fail(systemError(errno));
        }
        if (count == 0)
            break;
        filled += count;
    }
    if (filled > limit)
        return fail(tooLarge);
    data.resize(filled);
    return data;
}

QString visibleText(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code >= 0x20 && code != 0x7f && !(code >= 0x80 && code < 0xa0)) {
            shown += c;
            continue;
        }
        switch (code) {
        case u'\n':
            shown += QLatin1String("\\n");
            break;
        case u'\r':
            shown += QLatin1String("\\r");
            break;
        case u'\t':
            shown += QLatin1String("\\t");
            break;
        default:
            shown += code < 0x80 ? QStringLiteral("\\x%1").arg(int(code), 2, 16, QLatin1Char('0'))
                                 : QStringLiteral("\\u%1").arg(int(code), 4, 16, QLatin1Char('0'));
        }
    }
    return shown;
}

QString displayName(const QString& path)
{
    const QString shown = visibleText(path);
    if (shown == path)
        return path;
    QString quoted = path;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    quoted.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + visibleText(quoted) + QLatin1Char('"');
}

} // namespace vesk
