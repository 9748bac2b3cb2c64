#pragma once

#include <functional>

#include <QObject>
#include <QString>
#include <QVariant>

namespace vesk {

// Notification names.
inline const QString NOTE_MACHINE_INDEX_CHANGED = QStringLiteral("NOTE_MACHINE_INDEX_CHANGED");
inline const QString NOTE_VC_VESK_DATA_CHANGED = QStringLiteral("NOTE_VC_VESK_DATA_CHANGED");
inline const QString NOTE_ATLAS_LOGIN_CHANGED = QStringLiteral("NOTE_ATLAS_LOGIN_CHANGED");

/// The process-wide notification centre: services post by name, observers listen by name.
/// Everything happens on the main thread; posting delivers at once.
class NotificationCenter : public QObject
{
    Q_OBJECT

public:
    static NotificationCenter& defaultCenter();

    /// Delivers the notification to every observer of `name`, in the order they registered.
    void post(const QString& name, const QVariant& object = {});

    /// Calls `handler` with the object of every notification `name` until `context` is destroyed
    /// or the returned connection is disconnected.
    QMetaObject::Connection observe(const QString& name, const QObject* context,
                                    std::function<void(const QVariant& object)> handler);

Q_SIGNALS:
    void posted(const QString& name, const QVariant& object);
};

} // namespace vesk
