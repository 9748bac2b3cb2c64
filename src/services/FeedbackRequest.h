#pragma once

#include <optional>

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include "HTTPRequests.h"

namespace vesk {

/// What one feedback post says, before it is encoded.
struct FeedbackReport
{
    QString appName;
    QString appVersion;
    QString systemVersion;
    /// Only when the user chose to include it.
    std::optional<QString> email;
    /// "support", "feature" or "bug" (crash reports are bugs).
    QString type;
    QString message;
    /// Feature requests only.
    std::optional<QString> importance;
    /// Sent as critical = "1"; otherwise the field is left out.
    bool critical = false;
};

using FeedbackFields = QList<QPair<QString, QString>>;

/// The fields in the order they are sent: appname, appversion, systemversion, appstore ("0"),
/// email, type, message, importance, critical (the optional ones only when present).
FeedbackFields feedbackFields(const FeedbackReport& report);

/// A value as the feedback service reads it: "&" as "%26" and "=" as "%3d", nothing else changed.
QString escapeFeedbackValue(const QString& value);

/// "name=value&..." with escaped values, converted to ASCII lossily (accents dropped, other
/// characters without an ASCII form become "?").
QByteArray encodeFeedbackBody(const FeedbackFields& fields);

/// The two headers of the post: Content-Length of the body and the form content type.
HTTPHeaders feedbackHeaders(const QByteArray& body);

/// The message of a bug report and of a crash report.
QString bugReportMessage(const QString& whatHappened, const QString& stepsToReproduce);
QString crashReportMessage(const QString& crashDescription, const QString& stepsToReproduce);

/// The system's version from the text of an os-release file: PRETTY_NAME, else VERSION_ID.
std::optional<QString> systemVersionFromOsRelease(const QByteArray& content);

/// The operating system's product version, read once and then kept.
QString operatingSystemVersion();

/// The running executable's file name, as crash logs are named after it ("vesk"); the
/// application's name when there is none.
QString applicationExecutableName();

} // namespace vesk
