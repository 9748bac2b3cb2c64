#include "SoftwareUpdater.h"

#include <algorithm>
#include <limits>

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>

#include "ApplicationInfo.h"
#include "BuildConfig.h"
#include "UserDefaults.h"

namespace vesk {

namespace {

const QString kLastCheckTime = QStringLiteral("SULastCheckTime");
// A feed is a few dozen bytes; anything far larger is not one.
constexpr qint64 kMaximumFeedSize = 64 * 1024;
constexpr int kTransferTimeoutMs = 30000;

struct Version
{
    QList<quint64> numbers;
    QString suffix;
};

std::optional<Version> parseVersion(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^[vV]?(\\d{1,9}(?:\\.\\d{1,9})*)([-+~][0-9A-Za-z.\\-+~]*)?$"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    Version version;
    const QStringList parts = match.captured(1).split(u'.');
    for (const QString& part : parts)
        version.numbers.append(part.toULongLong());
    while (version.numbers.size() > 1 && version.numbers.last() == 0)
        version.numbers.removeLast();
    version.suffix = match.captured(2);
    return version;
}

} // namespace

SoftwareUpdater::SoftwareUpdater(UserDefaults& defaults, QObject* parent)
    : QObject(parent), m_defaults(defaults), m_feedUrl(QUrl(QString::fromUtf8(build::updateFeed))),
      m_currentVersion(applicationVersion())
{
    qRegisterMetaType<vesk::UpdateCheckResult>();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &SoftwareUpdater::checkForUpdatesInBackground);
}

SoftwareUpdater::~SoftwareUpdater()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

SoftwareUpdater& SoftwareUpdater::sharedUpdater()
{
    static SoftwareUpdater updater(UserDefaults::standard());
    return updater;
}

void SoftwareUpdater::setAutomaticallyChecksForUpdates(bool automatic)
{
    m_automatic = automatic;
    scheduleNextCheck();
}

void SoftwareUpdater::setUpdateCheckInterval(int seconds)
{
    m_interval = std::max(1, seconds);
    scheduleNextCheck();
}

void SoftwareUpdater::checkForUpdates()
{
    startCheck(true);
}

void SoftwareUpdater::checkForUpdatesInBackground()
{
    startCheck(false);
}

std::optional<QDateTime> SoftwareUpdater::lastUpdateCheckDate() const
{
    const QDateTime date =
        QDateTime::fromString(m_defaults.stringForKey(kLastCheckTime), Qt::ISODateWithMs);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

std::optional<QDateTime> SoftwareUpdater::nextScheduledCheck() const
{
    if (!m_timer.isActive())
        return std::nullopt;
    return QDateTime::currentDateTimeUtc().addMSecs(m_timer.remainingTime());
}

void SoftwareUpdater::startCheck(bool userInitiated)
{
    m_timer.stop();
    if (m_reply) {
        // One request at a time; a user who asks during a background check sees its result.
        if (userInitiated && !m_userInitiated) {
            m_userInitiated = true;
            Q_EMIT checkStarted(true);
        }
        return;
    }
    m_userInitiated = userInitiated;
    m_tooLarge = false;
    if (!m_network)
        m_network = new QNetworkAccessManager(this);

    QNetworkRequest request(m_feedUrl);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QString(applicationName() + u'/' + m_currentVersion));
    request.setRawHeader("Accept", "application/json");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(kTransferTimeoutMs);
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (received > kMaximumFeedSize && m_reply) {
            m_tooLarge = true;
            m_reply->abort();
        }
    });
    connect(m_reply, &QNetworkReply::finished, this, &SoftwareUpdater::finishCheck);
    Q_EMIT checkStarted(userInitiated);
}

void SoftwareUpdater::finishCheck()
{
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    reply->deleteLater();
    const bool userInitiated = m_userInitiated;
    m_userInitiated = false;

    UpdateCheckResult result;
    result.currentVersion = m_currentVersion;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (m_tooLarge) {
        result.error = tr("The update information is too large.");
    } else if (reply->error() == QNetworkReply::OperationCanceledError) {
        result.error = tr("The update server did not answer in time.");
    } else if (status != 0 && status != 200) {
        result.error = tr("The update server answered with status %1.").arg(status);
    } else if (reply->error() != QNetworkReply::NoError) {
        result.error = reply->errorString();
    } else {
        result = evaluateFeed(reply->readAll(), m_currentVersion);
    }

    m_defaults.setValue(kLastCheckTime,
                        QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    scheduleNextCheck();
    Q_EMIT checkFinished(result, userInitiated);
}

void SoftwareUpdater::scheduleNextCheck()
{
    m_timer.stop();
    if (!m_automatic || m_reply)
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    std::optional<QDateTime> last = lastUpdateCheckDate();
    if (!last) {
        // The clock starts with the first launch, so a fresh install stays quiet at first.
        last = now;
        m_defaults.setValue(kLastCheckTime, now.toString(Qt::ISODateWithMs));
    }
    const qint64 delay = millisecondsUntilNextCheck(*last, now, m_interval);
    m_timer.start(int(std::min<qint64>(delay, std::numeric_limits<int>::max())));
}

int SoftwareUpdater::compareVersions(const QString& a, const QString& b)
{
    const std::optional<Version> left = parseVersion(a);
    const std::optional<Version> right = parseVersion(b);
    if (!left || !right)
        return int(left.has_value()) - int(right.has_value());
    const qsizetype count = std::max(left->numbers.size(), right->numbers.size());
    for (qsizetype i = 0; i < count; ++i) {
        const quint64 l = left->numbers.value(i, 0);
        const quint64 r = right->numbers.value(i, 0);
        if (l != r)
            return l < r ? -1 : 1;
    }
    if (left->suffix.isEmpty() != right->suffix.isEmpty())
        return left->suffix.isEmpty() ? 1 : -1;
    const int order = QString::compare(left->suffix, right->suffix);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

bool SoftwareUpdater::isValidVersion(const QString& version)
{
    return parseVersion(version).has_value();
}

UpdateCheckResult SoftwareUpdater::evaluateFeed(const QByteArray& body,
                                                const QString& currentVersion)
{
    UpdateCheckResult result;
    result.currentVersion = currentVersion;
    const QString unreadable = tr("The update information could not be read.");
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        result.error = unreadable;
        return result;
    }
    const QJsonObject feed = document.object();
    const QJsonValue version = feed.value(QStringLiteral("version"));
    const QJsonValue url = feed.value(QStringLiteral("url"));
    if (!version.isString() || !isValidVersion(version.toString()) || !url.isString()) {
        result.error = unreadable;
        return result;
    }
    // Only web pages are opened from what a server sends.
    const QUrl page(url.toString(), QUrl::StrictMode);
    if (!page.isValid() || page.host().isEmpty() ||
        (page.scheme() != QStringLiteral("https") && page.scheme() != QStringLiteral("http"))) {
        result.error = unreadable;
        return result;
    }
    result.latestVersion = version.toString().trimmed();
    result.downloadPage = page;
    result.status = compareVersions(result.latestVersion, currentVersion) > 0
                        ? UpdateCheckResult::Status::UpdateAvailable
                        : UpdateCheckResult::Status::UpToDate;
    return result;
}

qint64 SoftwareUpdater::millisecondsUntilNextCheck(const QDateTime& last, const QDateTime& now,
                                                   int interval)
{
    const qint64 elapsed = last.msecsTo(now);
    if (elapsed < 0) // the clock went back: wait a whole interval from now
        return qint64(interval) * 1000;
    return std::max<qint64>(0, qint64(interval) * 1000 - elapsed);
}

} // namespace vesk
