#pragma once

#include <memory>
#include <optional>

#include <QHash>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

namespace vesk {

/// A machine's state as far as the commands offered for it are concerned.
enum VagrantEnvironmentState {
    VagrantEnvironmentStatePowerOff = 0,
    VagrantEnvironmentStateRunning = 1,
    VagrantEnvironmentStateSaved = 2,
    VagrantEnvironmentStateOther = 3,
};

/// One machine of Vagrant's machine index. A plain value holder: it never reads the index and
/// never changes by itself, so a record taken before a reload keeps its old values.
class VagrantEnvironment
{
public:
    std::optional<QString> hexId() const { return m_hexId; }
    std::optional<QString> name() const { return m_name; }
    std::optional<QString> provider() const { return m_provider; }
    std::optional<QString> stateString() const { return m_stateString; }
    /// The project folder: the index's local_data_path without its last component.
    std::optional<QString> path() const { return m_path; }
    std::optional<QString> boxName() const { return m_boxName; }
    std::optional<QString> boxProvider() const { return m_boxProvider; }
    std::optional<QString> boxVersion() const { return m_boxVersion; }

    void setHexId(std::optional<QString> value) { m_hexId = std::move(value); }
    void setName(std::optional<QString> value) { m_name = std::move(value); }
    void setProvider(std::optional<QString> value) { m_provider = std::move(value); }
    void setStateString(std::optional<QString> value) { m_stateString = std::move(value); }
    void setPath(std::optional<QString> value) { m_path = std::move(value); }
    void setBoxName(std::optional<QString> value) { m_boxName = std::move(value); }
    void setBoxProvider(std::optional<QString> value) { m_boxProvider = std::move(value); }
    void setBoxVersion(std::optional<QString> value) { m_boxVersion = std::move(value); }

    /// From stateString, compared exactly: "poweroff", "running", "saved", anything else.
    VagrantEnvironmentState state() const;
    /// The first seven characters of the id (the whole id when shorter; empty without one).
    QString shortId() const;
    /// The name users see: the project folder's name for a machine called "default", else the
    /// machine's name. Absent when the value it comes from is absent.
    std::optional<QString> friendlyName() const;
    /// True when the project folder holds a file named "Vagrantfile".
    bool vagrantFileExists() const;

    bool canUp() const { return state() != VagrantEnvironmentStateRunning; }
    bool canHalt() const { return state() != VagrantEnvironmentStatePowerOff; }
    bool canReload() const { return true; }
    bool canSuspend() const { return state() != VagrantEnvironmentStatePowerOff; }
    bool canResume() const { return state() == VagrantEnvironmentStateSaved; }
    bool canProvision() const { return true; }
    bool canDestroy() const { return true; }
    bool canSSH() const { return state() == VagrantEnvironmentStateRunning; }
    bool canShare() const { return state() == VagrantEnvironmentStateRunning; }

    /// "id, name, provider, state, path"; a missing value prints as "(null)".
    QString description() const;

private:
    std::optional<QString> m_hexId;
    std::optional<QString> m_name;
    std::optional<QString> m_provider;
    std::optional<QString> m_stateString;
    std::optional<QString> m_path;
    std::optional<QString> m_boxName;
    std::optional<QString> m_boxProvider;
    std::optional<QString> m_boxVersion;
};

using VagrantEnvironmentPtr = std::shared_ptr<VagrantEnvironment>;

/// The records of one reading of the machine index: keyed by machine id, enumerated in the
/// order in which the index lists the machines.
class VagrantEnvironmentDictionary
{
public:
    /// The machine ids, in index order.
    const QStringList& ids() const { return m_ids; }
    /// The records, in index order.
    QList<VagrantEnvironmentPtr> values() const;
    /// The record stored under the id, or null.
    VagrantEnvironmentPtr value(const QString& id) const { return m_records.value(id); }
    bool contains(const QString& id) const { return m_records.contains(id); }
    qsizetype size() const { return m_ids.size(); }
    bool isEmpty() const { return m_ids.isEmpty(); }

    /// Stores the record under the id; an id seen before keeps its place and gets the record.
    void insert(const QString& id, VagrantEnvironmentPtr record);
    void clear();
    void reserve(qsizetype size);

private:
    QStringList m_ids;
    QHash<QString, VagrantEnvironmentPtr> m_records;
};

/// The last component of a path, as a file browser names it ("/a/web/" gives "web", "/" gives
/// "/").
QString lastPathComponent(const QString& path);
/// The path without its last component ("/a/web/.vagrant" gives "/a/web", "/a" gives "/",
/// "web" gives "").
QString deletingLastPathComponent(const QString& path);

} // namespace vesk

Q_DECLARE_METATYPE(vesk::VagrantEnvironmentPtr)
Q_DECLARE_METATYPE(vesk::VagrantEnvironmentDictionary)
