#pragma once

#include <functional>
#include <optional>

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

namespace vesk {

/// Notices on the desktop through its notification service (org.freedesktop.Notifications on
/// the session bus). Everything is asynchronous; without a bus or a service nothing is shown and
/// nothing waits.
class DesktopNotices : public QObject
{
    Q_OBJECT

public:
    static DesktopNotices& shared();

    /// Shows a notice. `activated` runs when the user activates it (clicks it, or its "Show"
    /// button), at most
    /// once; it is dropped when the notice is closed.
    void show(const QString& summary, const QString& body, std::function<void()> activated = {});

    /// Notices shown and not yet closed or activated.
    qsizetype pendingCount() const { return m_activations.size(); }

Q_SIGNALS:
    /// The service answered a notice with its id (tests wait for this).
    void shown(uint id);

private Q_SLOTS:
    void actionInvoked(uint id, const QString& actionKey);
    void notificationClosed(uint id, uint reason);

private:
    struct Notice
    {
        QString summary;
        QString body;
        std::function<void()> activated;
    };

    explicit DesktopNotices(QObject* parent = nullptr);
    void listen();
    void send(const Notice& notice);

    QHash<uint, std::function<void()>> m_activations;
    bool m_listening = false;
    // What the service can do, once it has said; notices wait for that answer.
    std::optional<QStringList> m_capabilities;
    bool m_askedCapabilities = false;
    QList<Notice> m_waiting;
};

} // namespace vesk
