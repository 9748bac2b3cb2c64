#include "UserDefaults.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>

namespace vesk {

UserDefaults& UserDefaults::standard()
{
    static UserDefaults defaults(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
        QStringLiteral("/Vesk/Vesk.conf"));
    return defaults;
}

UserDefaults::UserDefaults(const QString& settingsPath, QObject* parent)
    : QObject(parent), m_settings(std::make_unique<QSettings>(settingsPath, QSettings::IniFormat))
{
}

UserDefaults::~UserDefaults() = default;

void UserDefaults::registerDefaults(const QVariantMap& defaults)
{
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        m_registered.insert(it.key(), it.value());
}

bool UserDefaults::registerDefaultsFromFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject())
        return false;
    registerDefaults(document.object().toVariantMap());
    return true;
}

QVariant UserDefaults::value(const QString& key) const
{
    if (m_settings->contains(key))
        return m_settings->value(key);
    return m_registered.value(key);
}

bool UserDefaults::boolForKey(const QString& key) const
{
    const QVariant v = value(key);
    // INI files give back text; "true"/"1" mean yes.
    if (v.typeId() == QMetaType::QString)
        return v.toString() == QStringLiteral("true") || v.toString().toLongLong() != 0;
    return v.toBool();
}

qint64 UserDefaults::integerForKey(const QString& key) const
{
    return value(key).toLongLong();
}

QString UserDefaults::stringForKey(const QString& key) const
{
    return value(key).toString();
}

QVariantMap UserDefaults::dictionaryForKey(const QString& key) const
{
    return value(key).toMap();
}

void UserDefaults::setValue(const QString& key, const QVariant& value)
{
    m_settings->setValue(key, value);
    m_settings->sync();
    Q_EMIT changed(key);
}

void UserDefaults::removeObject(const QString& key)
{
    m_settings->remove(key);
    m_settings->sync();
    Q_EMIT changed(key);
}

void UserDefaults::clear()
{
    m_settings->clear();
    m_settings->sync();
}

} // namespace vesk
