#pragma once

#include <optional>

#include <QByteArray>
#include <QColor>
#include <QDateTime>
#include <QString>

class QAbstractButton;

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

/// The blue of selected tab titles.
QColor titleBlue();

/// Sets a button's title centred and drawn in the colour; font and the rest stay as they are.
void setTitle(QAbstractButton* button, const QString& title, const QColor& color);

/// Writes the file through a temporary file and a rename, so readers never see half of it.
/// On failure returns false and, when asked, a readable reason.
bool writeFileAtomically(const QString& path, const QByteArray& data,
                         QString* errorMessage = nullptr);

} // namespace vesk
