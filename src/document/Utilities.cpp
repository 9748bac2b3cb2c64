#include "Utilities.h"

#include <memory>

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QPalette>
#include <QSaveFile>
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
    return icu::UnicodeString(reinterpret_cast<const char16_t*>(text.utf16()), int32_t(text.size()));
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

QColor titleBlue()
{
    return QColor::fromRgbF(0.119f, 0.399f, 0.964f, 1.0f);
}

void setTitle(QAbstractButton* button, const QString& title, const QColor& color)
{
    if (!button)
        return;
    button->setText(title);
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, color);
    palette.setColor(QPalette::WindowText, color);
    button->setPalette(palette);
}

bool writeFileAtomically(const QString& path, const QByteArray& data, QString* errorMessage)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (errorMessage)
            *errorMessage = file.errorString();
        return false;
    }
    if (file.write(data) != data.size()) {
        if (errorMessage)
            *errorMessage = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (errorMessage)
            *errorMessage = file.errorString();
        return false;
    }
    return true;
}

} // namespace vesk
