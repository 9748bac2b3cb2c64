#pragma once

#include <memory>

#include <QAbstractListModel>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace vesk {

class CDEvents;

/// A box in Vagrant's data folder.
struct InstalledBox
{
    QString name;          // as written in a Vagrantfile, "owner/box"
    QStringList versions;  // newest first
    QStringList providers; // of all versions, sorted

    bool operator==(const InstalledBox&) const = default;
};

/// The boxes installed on this computer, as a list for completing box names, kept up to date by
/// watching Vagrant's boxes folder (no polling). Rows show the name with its versions and
/// providers; `NameRole` is the name alone.
class InstalledBoxes : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role { NameRole = Qt::UserRole + 1 };

    explicit InstalledBoxes(const QString& boxesFolder = defaultBoxesFolder(),
                            QObject* parent = nullptr);
    ~InstalledBoxes() override;

    /// The application's list, made on first use.
    static InstalledBoxes& shared();
    /// $VAGRANT_HOME/boxes, else ~/.vagrant.d/boxes.
    static QString defaultBoxesFolder();
    /// The boxes under `folder`, by name. Folders that cannot be read, and boxes without a
    /// complete version, are left out.
    static QList<InstalledBox> read(const QString& folder);
    /// "name — versions · providers", as a row shows it.
    static QString describe(const InstalledBox& box);

    QString boxesFolder() const { return m_folder; }
    QList<InstalledBox> boxes() const { return m_boxes; }
    /// Why the folder is not followed (its watcher could not be made); empty when it is.
    QString watchError() const { return m_watchError; }
    void reload();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    void reloaded();

private:
    QString m_folder;
    QList<InstalledBox> m_boxes;
    QTimer m_reloadTimer;
    std::unique_ptr<CDEvents> m_watcher;
    QString m_watchError;
};

} // namespace vesk
