#include "DesktopNotices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace vesk {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// A service that does not answer must not leave calls waiting for long.
constexpr int kCallTimeout = 10000;

} // namespace

DesktopNotices& DesktopNotices::shared()
{
    static DesktopNotices* notices = new DesktopNotices;
    return *notices;
}

DesktopNotices::DesktopNotices(QObject* parent) : QObject(parent) {}

void DesktopNotices::listen()
{
    if (m_listening)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    m_listening = bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                              SLOT(actionInvoked(uint, QString))) &&
                  bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"),
                              this, SLOT(notificationClosed(uint, uint)));
}

void DesktopNotices::show(const QString& summary, const QString& body,
                          std::function<void()> activated)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    listen();
    Notice notice{summary, body, std::move(activated)};
    if (m_capabilities) {
        send(notice);
        return;
    }
    m_waiting.append(std::move(notice));
    if (m_askedCapabilities)
        return;
    m_askedCapabilities = true;
    const QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                             QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kCallTimeout), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<QStringList> reply = *finished;
                m_askedCapabilities = false;
                // No service: the notices go nowhere, and the next one asks again.
                if (reply.isError()) {
                    m_waiting.clear();
                    return;
                }
                m_capabilities = reply.value();
                const QList<Notice> waiting = std::exchange(m_waiting, {});
                for (const Notice& notice : waiting)
                    send(notice);
            });
}

void DesktopNotices::send(const Notice& notice)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QStringList actions;
    if (notice.activated && m_capabilities->contains(QStringLiteral("actions")))
        actions = {QStringLiteral("default"), QStringLiteral("Show")};
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("vesk")}};
    QString body = notice.body;
    // A service that reads markup would take the command's "<" and "&" for tags.
    if (m_capabilities->contains(QStringLiteral("body-markup"))) {
        body.replace(u'&', QStringLiteral("&amp;"))
            .replace(u'<', QStringLiteral("&lt;"))
            .replace(u'>', QStringLiteral("&gt;"));
    }
    call << QStringLiteral("Vesk") << uint(0) << QStringLiteral("vesk") << notice.summary << body
         << actions << hints << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kCallTimeout), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, activated = notice.activated](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<uint> reply = *finished;
                // A service that refused: the notice is simply not shown.
                if (reply.isError())
                    return;
                const uint id = reply.value();
                if (activated)
                    m_activations.insert(id, activated);
                Q_EMIT shown(id);
            });
}

void DesktopNotices::actionInvoked(uint id, const QString& actionKey)
{
    if (actionKey != QLatin1String("default"))
        return;
    const std::function<void()> activated = m_activations.take(id);
    if (activated)
        activated();
}

void DesktopNotices::notificationClosed(uint id, uint)
{
    m_activations.remove(id);
}

} // namespace vesk
