#include "MachineTableModel.h"

#include <QPixmap>
#include <QSet>

#include "Icons.h"
#include "MachineCommands.h"

namespace vesk {

MachineTableModel::MachineTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void MachineTableModel::setEnvironments(const VagrantEnvironmentDictionary& environments)
{
    if (environments.ids() != m_ids) {
        removeMissingRows(environments);
        if (!insertArrivedRows(environments)) {
            // The index reordered its machines: start over (views restore what they can).
            beginResetModel();
            m_ids = environments.ids();
            m_records = environments.values();
            endResetModel();
        }
    }
    // Same ids in the same order now: every record is new, most of them unchanged.
    m_records = environments.values();
    m_rowOfId.clear();
    m_rowOfId.reserve(m_ids.size());
    for (int row = 0; row < m_ids.size(); ++row)
        m_rowOfId.insert(m_ids.at(row), row);
    if (!m_ids.isEmpty())
        Q_EMIT dataChanged(index(0, 0), index(int(m_ids.size()) - 1, ColumnCount - 1));
}

void MachineTableModel::removeMissingRows(const VagrantEnvironmentDictionary& environments)
{
    // From the bottom up, one run of neighbouring rows at a time, so rows above keep their numbers.
    int row = int(m_ids.size()) - 1;
    while (row >= 0) {
        if (environments.contains(m_ids.at(row))) {
            --row;
            continue;
        }
        int first = row;
        while (first > 0 && !environments.contains(m_ids.at(first - 1)))
            --first;
        beginRemoveRows({}, first, row);
        m_ids.remove(first, row - first + 1);
        m_records.remove(first, row - first + 1);
        endRemoveRows();
        row = first - 1;
    }
}

bool MachineTableModel::insertArrivedRows(const VagrantEnvironmentDictionary& environments)
{
    const QSet<QString> present(m_ids.cbegin(), m_ids.cend());
    // What is left must be in the new order already; new machines then only slot in.
    QStringList kept;
    for (const QString& id : environments.ids()) {
        if (present.contains(id))
            kept.append(id);
    }
    if (kept != m_ids)
        return false;
    const QStringList& ids = environments.ids();
    int row = 0;
    while (row < ids.size()) {
        if (row < m_ids.size() && m_ids.at(row) == ids.at(row)) {
            ++row;
            continue;
        }
        int last = row;
        while (last + 1 < ids.size() && !present.contains(ids.at(last + 1)))
            ++last;
        beginInsertRows({}, row, last);
        for (int i = row; i <= last; ++i) {
            m_ids.insert(i, ids.at(i));
            m_records.insert(i, environments.value(ids.at(i)));
        }
        endInsertRows();
        row = last + 1;
    }
    return true;
}

VagrantEnvironmentPtr MachineTableModel::environment(int row) const
{
    return row >= 0 && row < m_records.size() ? m_records.at(row) : nullptr;
}

QString MachineTableModel::machineId(int row) const
{
    return row >= 0 && row < m_ids.size() ? m_ids.at(row) : QString();
}

int MachineTableModel::rowOfMachine(const QString& id) const
{
    return m_rowOfId.value(id, -1);
}

int MachineTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_ids.size());
}

int MachineTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QIcon MachineTableModel::stateIcon(VagrantEnvironmentState state) const
{
    auto it = m_stateIcons.constFind(state);
    if (it == m_stateIcons.constEnd()) {
        const QString image = imageForState(state);
        QIcon icon;
        if (!image.isEmpty()) {
            icon = veskIcon(image);
        } else {
            // No picture for other states, as in the tray, but the same room, so captions align.
            QPixmap blank(16, 16);
            blank.fill(Qt::transparent);
            icon = QIcon(blank);
        }
        it = m_stateIcons.insert(state, icon);
    }
    return *it;
}

QVariant MachineTableModel::data(const QModelIndex& index, int role) const
{
    const VagrantEnvironmentPtr record = environment(index.row());
    if (!record || index.column() < 0 || index.column() >= ColumnCount)
        return {};
    const VagrantEnvironment& e = *record;
    if (role == MachineIdRole)
        return m_ids.at(index.row());
    if (role == Qt::DecorationRole && index.column() == StateColumn)
        return stateIcon(e.state());
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (Column(index.column())) {
    case StateColumn:
        return captionForState(e.stateString().value_or(QString()));
    case NameColumn:
        if (role == Qt::ToolTipRole)
            return QStringLiteral("%1 (%2)").arg(e.name().value_or(QString()), e.shortId());
        return machineTitle(e);
    case ProviderColumn:
        return e.provider().value_or(QString());
    case BoxColumn:
        if (role == Qt::ToolTipRole && e.boxVersion())
            return QStringLiteral("%1, version %2")
                .arg(e.boxName().value_or(QString()), *e.boxVersion());
        return e.boxName().value_or(QString());
    case FolderColumn:
        return e.path().value_or(QString());
    case ColumnCount:
        break;
    }
    return {};
}

QVariant MachineTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (Column(section)) {
    case StateColumn:
        return QStringLiteral("State");
    case NameColumn:
        return QStringLiteral("Name");
    case ProviderColumn:
        return QStringLiteral("Provider");
    case BoxColumn:
        return QStringLiteral("Box");
    case FolderColumn:
        return QStringLiteral("Project Folder");
    case ColumnCount:
        break;
    }
    return {};
}

} // namespace vesk
