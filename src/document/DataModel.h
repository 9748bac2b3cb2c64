#pragma once

#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

namespace vesk {

/// One forwarded port: `from` on the host to `to` in the guest.
struct PortForward
{
    int from = 0;
    int to = 0;
    bool operator==(const PortForward&) const = default;
};

/// One folder shared between the host path and the guest path.
struct SyncedFolder
{
    QString host;
    QString guest;
    bool operator==(const SyncedFolder&) const = default;
};

/// The content of one .vesk document. It turns itself into bytes and fills itself from bytes; it
/// knows nothing of windows or files.
///
/// Values of the wrong JSON type are not guessed at: a file whose lists are not lists, whose
/// entries lack a member or hold one of the wrong type, or whose texts are not texts is refused
/// as a whole, so that saving it again can never silently drop what it held. Ports given as text
/// count by the decimal integer they begin with, as the Vagrantfile generator reads them.
class DataModel : public QObject
{
    Q_OBJECT

public:
    explicit DataModel(QObject* parent = nullptr);

    /// Fills a freshly made model from the bytes of a .vesk file. Returns false, leaving the model
    /// untouched, for bytes that are not a JSON object, an unknown `veskVersion` or values of the
    /// wrong type; `errorMessage` then says why in a few words.
    bool loadData(const QByteArray& data, QString* errorMessage = nullptr);
    bool loadVersion1(const QJsonObject& object, QString* errorMessage = nullptr);
    bool loadVersion2(const QJsonObject& object, QString* errorMessage = nullptr);

    /// The file content as compact JSON, format version 2. Normalises the model's absent or
    /// "(null)" script, extra commands and preamble to empty text.
    QByteArray dataRepresentation();

    std::optional<QString> bootstrapShellCode() const { return m_bootstrapShellCode; }
    void setBootstrapShellCode(const std::optional<QString>& value)
    {
        m_bootstrapShellCode = value;
    }

    std::optional<QString> boxName() const { return m_boxName; }
    void setBoxName(const std::optional<QString>& value) { m_boxName = value; }

    std::optional<QString> additionalVagrantCommands() const { return m_additionalVagrantCommands; }
    void setAdditionalVagrantCommands(const std::optional<QString>& value)
    {
        m_additionalVagrantCommands = value;
    }

    /// A copy of the list; change it through the setter so that observers hear of it.
    QList<PortForward> portForwards() const { return m_portForwards; }
    /// Keeps the held list when equal; notifies observers on every call all the same.
    void setPortForwards(const QList<PortForward>& list);

    QList<SyncedFolder> syncedDirectories() const { return m_syncedDirectories; }
    void setSyncedDirectories(const QList<SyncedFolder>& list);

    std::optional<QDateTime> modificationDate() const { return m_modificationDate; }
    void setModificationDate(const std::optional<QDateTime>& value) { m_modificationDate = value; }

    QString UUID() const { return m_UUID; }
    void setUUID(const QString& value) { m_UUID = value; }

    std::optional<QString> remoteURL() const { return m_remoteURL; }
    void setRemoteURL(const std::optional<QString>& value) { m_remoteURL = value; }

    std::optional<QString> preamble() const { return m_preamble; }
    void setPreamble(const std::optional<QString>& value) { m_preamble = value; }

    std::optional<int> revision() const { return m_revision; }
    void setRevision(const std::optional<int>& value) { m_revision = value; }

Q_SIGNALS:
    void portForwardsChanged();
    void syncedDirectoriesChanged();

private:
    std::optional<QString> m_bootstrapShellCode;
    std::optional<QString> m_boxName;
    std::optional<QString> m_additionalVagrantCommands;
    QList<PortForward> m_portForwards;
    QList<SyncedFolder> m_syncedDirectories;
    std::optional<QDateTime> m_modificationDate;
    QString m_UUID;
    std::optional<QString> m_remoteURL;
    std::optional<QString> m_preamble;
    std::optional<int> m_revision = 1;
};

} // namespace vesk
