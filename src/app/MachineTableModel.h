#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QStringList>

#include "VagrantEnvironment.h"

namespace vesk {

/// The machines of Vagrant's index as table rows, in index order. A new reading of the index is
/// applied as the rows that left, the rows that arrived and the rows that changed, so views keep
/// their selection and scroll position.
class MachineTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { StateColumn, NameColumn, ProviderColumn, BoxColumn, FolderColumn, ColumnCount };
    enum Role {
        /// The machine id of the row (text).
        MachineIdRole = Qt::UserRole + 1,
    };

    explicit MachineTableModel(QObject* parent = nullptr);

    /// Takes a new reading of the index.
    void setEnvironments(const VagrantEnvironmentDictionary& environments);

    VagrantEnvironmentPtr environment(int row) const;
    QString machineId(int row) const;
    /// The row of a machine id, or -1.
    int rowOfMachine(const QString& id) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void removeMissingRows(const VagrantEnvironmentDictionary& environments);
    bool insertArrivedRows(const VagrantEnvironmentDictionary& environments);
    QIcon stateIcon(VagrantEnvironmentState state) const;

    QStringList m_ids;
    QList<VagrantEnvironmentPtr> m_records;
    QHash<QString, int> m_rowOfId;
    mutable QHash<int, QIcon> m_stateIcons;
};

} // namespace vesk
