#include "FeedbackRequest.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include "ApplicationInfo.h"

namespace vesk {

FeedbackFields feedbackFields(const FeedbackReport& report)
{
    FeedbackFields fields{
        {QStringLiteral("appname"), report.appName},
        {QStringLiteral("appversion"), report.appVersion},
        {QStringLiteral("systemversion"), report.systemVersion},
        {QStringLiteral("appstore"), QStringLiteral("0")},
    };
    if (report.email)
        fields.append({QStringLiteral("email"), *report.email});
    fields.append({QStringLiteral("type"), report.type});
    fields.append({QStringLiteral("message"), report.message});
    if (report.importance)
        fields.append({QStringLiteral("importance"), *report.importance});
    if (report.critical)
        fields.append({QStringLiteral("critical"), QStringLiteral("1")});
    return fields;
}

QString escapeFeedbackValue(const QString& value)
{
    QString escaped = value;
    escaped.replace(u'&', QStringLiteral("%26"));
    escaped.replace(u'=', QStringLiteral("%3d"));
    return escaped;
}

namespace {

QByteArray toAsciiLossily(const QString& text)
{
    // Letters keep their base letter ("é" is "e"); what has no ASCII form at all becomes "?".
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QByteArray ascii;
    ascii.reserve(decomposed.size());
    for (qsizetype i = 0; i < decomposed.size(); ++i) {
        const QChar c = decomposed.at(i);
        if (c.unicode() < 0x80) {
            ascii.append(char(c.unicode()));
            continue;
        }
        if (c.category() == QChar::Mark_NonSpacing ||
            c.category() == QChar::Mark_SpacingCombining || c.category() == QChar::Mark_Enclosing)
            continue;
        // One "?" for a character outside the basic plane, not one per code unit.
        if (c.isHighSurrogate() && i + 1 < decomposed.size() &&
            decomposed.at(i + 1).isLowSurrogate())
            ++i;
        ascii.append('?');
    }
    return ascii;
}

} // namespace

QByteArray encodeFeedbackBody(const FeedbackFields& fields)
{
    QString text;
    for (const auto& [name, value] : fields) {
        if (!text.isEmpty())
            text += u'&';
        text += name + u'=' + escapeFeedbackValue(value);
    }
    return toAsciiLossily(text);
}

HTTPHeaders feedbackHeaders(const QByteArray& body)
{
    return {{"Content-Length", QByteArray::number(body.size())},
            {"Content-Type", "application/x-www-form-urlencoded"}};
}

QString bugReportMessage(const QString& whatHappened, const QString& stepsToReproduce)
{
    return QStringLiteral("What did you expect to happen?\n") + whatHappened +
           QStringLiteral("\n\nWhat steps will reproduce the problem?\n") + stepsToReproduce;
}

QString crashReportMessage(const QString& crashDescription, const QString& stepsToReproduce)
{
    return QStringLiteral("Crash description:\n") + crashDescription +
           QStringLiteral("\n\nWhat steps will reproduce the problem?\n") + stepsToReproduce;
}

std::optional<QString> systemVersionFromOsRelease(const QByteArray& content)
{
    // Shell-style assignments: KEY=value, KEY="value" or KEY='value'; lines with # are comments.
    auto valueOf = [&content](const QByteArray& key) -> std::optional<QString> {
        for (QByteArray line : content.split('\n')) {
            line = line.trimmed();
            if (!line.startsWith(QByteArray(key + '=')))
                continue;
            QByteArray value = line.mid(key.size() + 1);
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front()) {
                const char quote = value.front();
                value = value.mid(1, value.size() - 2);
                if (quote == '"') {
                    QByteArray unescaped;
                    for (qsizetype i = 0; i < value.size(); ++i) {
                        if (value.at(i) == '\\' && i + 1 < value.size())
                            ++i;
                        unescaped.append(value.at(i));
                    }
                    value = unescaped;
                }
            }
            const QString text = QString::fromUtf8(value).trimmed();
            if (!text.isEmpty())
                return text;
        }
        return std::nullopt;
    };
    if (std::optional<QString> pretty = valueOf("PRETTY_NAME"))
        return pretty;
    return valueOf("VERSION_ID");
}

namespace {

QString readOperatingSystemVersion()
{
#ifdef Q_OS_MACOS
    // The product version of /System/Library/CoreServices/SystemVersion.plist.
    return QSysInfo::productVersion();
#else
    for (const QString& path :
         {QStringLiteral("/etc/os-release"), QStringLiteral("/usr/lib/os-release")}) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        if (std::optional<QString> version = systemVersionFromOsRelease(file.readAll()))
            return *version;
    }
    return QSysInfo::productVersion();
#endif
}

} // namespace

QString operatingSystemVersion()
{
    static const QString version = readOperatingSystemVersion();
    return version;
}

QString applicationExecutableName()
{
    // The same name the crash reporter gives its logs.
    if (QCoreApplication::instance()) {
        const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        if (!name.isEmpty())
            return name;
    }
    return applicationName();
}

} // namespace vesk
