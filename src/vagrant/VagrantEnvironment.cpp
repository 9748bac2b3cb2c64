#include "VagrantEnvironment.h"

#include <QFileInfo>

namespace vesk {

namespace {

QString orNull(const std::optional<QString>& value)
{
    return value.value_or(QStringLiteral("(null)"));
}

qsizetype withoutTrailingSlashes(const QString& path)
{
    qsizetype length = path.size();
    while (length > 1 && path.at(length - 1) == u'/')
        --length;
    return length;
}

} // namespace

VagrantEnvironmentState VagrantEnvironment::state() const
{
    if (!m_stateString)
        return VagrantEnvironmentStateOther;
    if (*m_stateString == QLatin1String("poweroff"))
        return VagrantEnvironmentStatePowerOff;
    if (*m_stateString == QLatin1String("running"))
        return VagrantEnvironmentStateRunning;
    if (*m_stateString == QLatin1String("saved"))
        return VagrantEnvironmentStateSaved;
    return VagrantEnvironmentStateOther;
}

QString VagrantEnvironment::shortId() const
{
    return m_hexId.value_or(QString()).left(7);
}

std::optional<QString> VagrantEnvironment::friendlyName() const
{
    if (m_name && *m_name == QLatin1String("default")) {
        if (!m_path)
            return std::nullopt;
        return lastPathComponent(*m_path);
    }
    return m_name;
}

bool VagrantEnvironment::vagrantFileExists() const
{
    if (!m_path)
        return false;
    return QFileInfo::exists(*m_path + QStringLiteral("/Vagrantfile"));
}

QString VagrantEnvironment::description() const
{
    return orNull(m_hexId) + QStringLiteral(", ") + orNull(m_name) + QStringLiteral(", ") +
           orNull(m_provider) + QStringLiteral(", ") + orNull(m_stateString) +
           QStringLiteral(", ") + orNull(m_path);
}

QList<VagrantEnvironmentPtr> VagrantEnvironmentDictionary::values() const
{
    QList<VagrantEnvironmentPtr> records;
    records.reserve(m_ids.size());
    for (const QString& id : m_ids)
        records.append(m_records.value(id));
    return records;
}

void VagrantEnvironmentDictionary::insert(const QString& id, VagrantEnvironmentPtr record)
{
    auto existing = m_records.find(id);
    if (existing != m_records.end()) {
        *existing = std::move(record);
        return;
    }
    m_ids.append(id);
    m_records.insert(id, std::move(record));
}

void VagrantEnvironmentDictionary::clear()
{
    m_ids.clear();
    m_records.clear();
}

void VagrantEnvironmentDictionary::reserve(qsizetype size)
{
    m_ids.reserve(size);
    m_records.reserve(size);
}

QString lastPathComponent(const QString& path)
{
    const qsizetype length = withoutTrailingSlashes(path);
    if (length == 1 && path.at(0) == u'/')
        return QStringLiteral("/");
    const qsizetype slash = path.lastIndexOf(u'/', length - 1);
    return path.mid(slash + 1, length - slash - 1);
}

QString deletingLastPathComponent(const QString& path)
{
    const qsizetype length = withoutTrailingSlashes(path);
    if (length == 0 || (length == 1 && path.at(0) == u'/'))
        return path.left(length);
    const qsizetype slash = path.lastIndexOf(u'/', length - 1);
    if (slash < 0)
        return QString();
    QString parent = path.left(slash);
    const qsizetype parentLength = withoutTrailingSlashes(parent);
    if (parentLength == 0)
        return QStringLiteral("/");
    parent.truncate(parentLength);
    return parent;
}

} // namespace vesk
