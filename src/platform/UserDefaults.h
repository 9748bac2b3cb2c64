#pragma once

#include <memory>

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

class QSettings;

namespace vesk {

// Keys of the user's preferences.
inline const QString kShowWelcomeWindow = QStringLiteral("showWelcomeWindow");
inline const QString kLaunchCount = QStringLiteral("launchCount");
inline const QString kAutoCloseOutputWindow = QStringLiteral("autoCloseOutputWindow");
inline const QString kUserDefaultsSuppressVirtualBoxNotInstalledWarning =
    QStringLiteral("kUserDefaultsSuppressVirtualBoxNotInstalledWarning");
inline const QString kUserDefaultsSuppressVagrantNotInstalledWarning =
    QStringLiteral("kUserDefaultsSuppressVagrantNotInstalledWarning");
inline const QString kUserDefaultsUpdateIgnores = QStringLiteral("kUserDefaultsUpdateIgnores");
/// Documents Vesk saved, which the search for updates checks wherever the desktop's index is.
inline const QString kSavedDocuments = QStringLiteral("savedDocuments");
inline const QString kNewsletterSubscribed = QStringLiteral("newsletterSubscribed");
inline const QString UD_ATLAS_USERNAME = QStringLiteral("UD_ATLAS_USERNAME");
inline const QString GBLastCrashCheckTime = QStringLiteral("GBLastCrashCheckTime");

/// The user's preferences over QSettings, with a registered-defaults layer below them that is
/// never written to disk. Every write is synced at once. A missing key reads as false, 0 or empty.
class UserDefaults : public QObject
{
    Q_OBJECT

public:
    /// The application's own preferences (QSettings' user scope, "Vesk").
    static UserDefaults& standard();

    /// Preferences kept in the given INI file (tests).
    explicit UserDefaults(const QString& settingsPath, QObject* parent = nullptr);
    ~UserDefaults() override;

    /// Adds values that apply to keys the user has not set.
    void registerDefaults(const QVariantMap& defaults);
    /// Registers the members of a JSON object file (e.g. ":/Defaults.json"); false when unreadable.
    bool registerDefaultsFromFile(const QString& path);
    QVariantMap registeredDefaults() const { return m_registered; }

    QVariant value(const QString& key) const;
    bool boolForKey(const QString& key) const;
    qint64 integerForKey(const QString& key) const;
    QString stringForKey(const QString& key) const;
    QVariantMap dictionaryForKey(const QString& key) const;

    void setValue(const QString& key, const QVariant& value);
    void removeObject(const QString& key);

    /// Forgets every stored value (tests).
    void clear();

Q_SIGNALS:
    /// A key was set or removed.
    void changed(const QString& key);

private:
    std::unique_ptr<QSettings> m_settings;
    QVariantMap m_registered;
};

} // namespace vesk
