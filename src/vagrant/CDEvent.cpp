#include "CDEvent.h"

#include <limits>

#include <QTimeZone>

namespace vesk {

namespace {

const QString kIdentifierKey = QStringLiteral("identifier");
const QString kFlagsKey = QStringLiteral("flags");
const QString kDateKey = QStringLiteral("date");
const QString kURLKey = QStringLiteral("URL");

// Archives may come from other writers: accept any non-negative integer that fits.
std::optional<quint64> unsignedNumber(const QVariant& value, quint64 maximum)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong: {
        const qlonglong number = value.toLongLong();
        if (number < 0 || quint64(number) > maximum)
            return std::nullopt;
        return quint64(number);
    }
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const qulonglong number = value.toULongLong();
        if (number > maximum)
            return std::nullopt;
        return number;
    }
    default:
        return std::nullopt;
    }
}

} // namespace

CDEvent::CDEvent(quint64 identifier, const QDateTime& date, const QUrl& URL, quint32 flags)
    : m_identifier(identifier), m_date(date), m_URL(URL), m_flags(flags)
{
}

QString CDEvent::description() const
{
    const QString date =
        m_date.isValid()
            ? m_date.toTimeZone(QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                  QStringLiteral(" +0000")
            : QStringLiteral("(null)");
    return QStringLiteral("<CDEvent: %1 { identifier = %2, URL = %3, flags = %4, date = %5 }>")
        .arg(QString::asprintf("%p", static_cast<const void*>(this)))
        .arg(m_identifier)
        .arg(m_URL.isEmpty() ? QStringLiteral("(null)") : m_URL.toString())
        .arg(m_flags)
        .arg(date);
}

QVariantMap CDEvent::archive() const
{
    return {{kIdentifierKey, QVariant::fromValue<qulonglong>(m_identifier)},
            {kFlagsKey, QVariant::fromValue<uint>(m_flags)},
            {kDateKey, m_date},
            {kURLKey, m_URL}};
}

std::optional<CDEvent> CDEvent::fromArchive(const QVariantMap& archive)
{
    const QVariant date = archive.value(kDateKey);
    const QVariant url = archive.value(kURLKey);
    const std::optional<quint64> identifierNumber =
        unsignedNumber(archive.value(kIdentifierKey), std::numeric_limits<quint64>::max());
    const std::optional<quint64> flagsNumber =
        unsignedNumber(archive.value(kFlagsKey), std::numeric_limits<quint32>::max());
    if (!identifierNumber || !flagsNumber || date.typeId() != QMetaType::QDateTime ||
        url.typeId() != QMetaType::QUrl)
        return std::nullopt;
    return CDEvent(*identifierNumber, date.toDateTime(), url.toUrl(), quint32(*flagsNumber));
}

QDataStream& operator<<(QDataStream& stream, const CDEvent& event)
{
    return stream << event.archive();
}

QDataStream& operator>>(QDataStream& stream, CDEvent& event)
{
    QVariantMap archive;
    stream >> archive;
    if (stream.status() != QDataStream::Ok)
        return stream;
    if (const std::optional<CDEvent> restored = CDEvent::fromArchive(archive))
        event = *restored;
    else
        stream.setStatus(QDataStream::ReadCorruptData);
    return stream;
}

} // namespace vesk
