#pragma once

#include <memory>

#include <QList>
#include <QVariant>
#include <QWidget>

#include "DataModel.h"

class QAbstractItemModel;
class QLineEdit;
class QTableView;
class QsciScintilla;

namespace Ui {
class VeskViewController;
}

namespace vesk {

/// The settings tab: box name, forwarded ports, synced folders and the additional Vagrantfile
/// commands. The tables only show the lists; the document edits them through its sheets.
class VeskViewController : public QWidget
{
    Q_OBJECT

public:
    explicit VeskViewController(QWidget* parent = nullptr);
    ~VeskViewController() override;

    QLineEdit* txtBoxName() const;
    QTableView* tblPortForwards() const;
    QTableView* tblDirectories() const;
    QsciScintilla* aceAdditionalCommands() const;
    /// The buttons whose actions belong to the document.
    QWidget* button(const char* objectName) const;

    QList<PortForward> portForwards() const { return m_portForwards; }
    /// Replaces the shown list and reloads its table.
    void setPortForwards(const QList<PortForward>& list);
    QList<SyncedFolder> syncedDirectories() const { return m_syncedDirectories; }
    void setSyncedDirectories(const QList<SyncedFolder>& list);

    // Table data source.
    int numberOfRowsInTableView(const QTableView* tableView) const;
    QVariant objectValueForTableColumn(const QTableView* tableView, const QString& column,
                                       int row) const;

    /// The selected row of a table, -1 when none.
    static int selectedRow(const QTableView* tableView);

    /// Called when the user edits the box name: posts NOTE_VC_VESK_DATA_CHANGED with this
    /// controller as the object, so only the owning document counts it.
    void controlTextDidChange();

private:
    void setup();

    std::unique_ptr<Ui::VeskViewController> m_ui;
    QList<PortForward> m_portForwards;
    QList<SyncedFolder> m_syncedDirectories;
    QAbstractItemModel* m_portModel = nullptr;
    QAbstractItemModel* m_folderModel = nullptr;
};

} // namespace vesk
