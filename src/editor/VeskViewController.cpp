#include "VeskViewController.h"

#include <QAbstractItemView>
#include <QAbstractTableModel>
#include <QCompleter>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTableView>

#include "QsciWidgets.h"

#include "CodeEditorStyle.h"
#include "InstalledBoxes.h"
#include "NotificationCenter.h"
#include "ui_VeskViewController.h"

namespace vesk {

namespace {

/// Shows one of the controller's lists; every value comes from the controller's data source.
class ListTableModel : public QAbstractTableModel
{
public:
    ListTableModel(VeskViewController* controller, QTableView* view, QStringList titles)
        : QAbstractTableModel(controller), m_controller(controller), m_view(view),
          m_titles(std::move(titles))
    {
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : m_controller->numberOfRowsInTableView(m_view);
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : 2;
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
            return {};
        const QString column =
            index.column() == 0 ? QStringLiteral("host") : QStringLiteral("guest");
        return m_controller->objectValueForTableColumn(m_view, column, index.row());
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
            return m_titles.value(section);
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    void reload()
    {
        beginResetModel();
        endResetModel();
    }

private:
    VeskViewController* m_controller;
    QTableView* m_view;
    QStringList m_titles;
};

void prepareTable(QTableView* table, QAbstractItemModel* model)
{
    table->setModel(model);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    table->setMinimumHeight(150);
}

} // namespace

VeskViewController::VeskViewController(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::VeskViewController>())
{
    m_ui->setupUi(this);
    m_portModel = new ListTableModel(this, m_ui->tblPortForwards,
                                     {QStringLiteral("Host Port"), QStringLiteral("Guest Port")});
    m_folderModel =
        new ListTableModel(this, m_ui->tblDirectories,
                           {QStringLiteral("Host Folder"), QStringLiteral("Guest Folder")});
    prepareTable(m_ui->tblPortForwards, m_portModel);
    prepareTable(m_ui->tblDirectories, m_folderModel);

    QFont heading = m_ui->lblPortForwards->font();
    heading.setBold(true);
    for (QWidget* label :
         {static_cast<QWidget*>(m_ui->lblPortForwards), static_cast<QWidget*>(m_ui->lblDirectories),
          static_cast<QWidget*>(m_ui->lblAdditionalCommands),
          static_cast<QWidget*>(m_ui->lblBoxName)})
        label->setFont(heading);
    for (QWidget* small : {static_cast<QWidget*>(m_ui->btnAddPortForward),
                           static_cast<QWidget*>(m_ui->btnRemovePortForward),
                           static_cast<QWidget*>(m_ui->btnAddSyncedDirectory),
                           static_cast<QWidget*>(m_ui->btnRemoveSyncedDirectory)})
        small->setFixedSize(26, 22);

    // textEdited, not textChanged: filling the field from the model is not an edit.
    connect(m_ui->txtBoxName, &QLineEdit::textEdited, this,
            &VeskViewController::controlTextDidChange);

    // Names of the boxes already on this computer; any other name can still be typed.
    auto* completer = new QCompleter(&InstalledBoxes::shared(), m_ui->txtBoxName);
    completer->setCompletionRole(InstalledBoxes::NameRole);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    completer->setMaxVisibleItems(12);
    completer->popup()->setObjectName(QStringLiteral("boxCompletions"));
    m_ui->txtBoxName->setCompleter(completer);
    // A chosen name is set by the completer, not typed: it is an edit all the same.
    connect(completer, qOverload<const QString&>(&QCompleter::activated), this,
            [this] { controlTextDidChange(); });
    setup();
}

VeskViewController::~VeskViewController() = default;

void VeskViewController::setup()
{
    configureCodeEditor(m_ui->aceAdditionalCommands, EditorMode::Ruby, EditorTheme::Slate);
    setPortForwards({});
    setSyncedDirectories({});
}

QLineEdit* VeskViewController::txtBoxName() const
{
    return m_ui->txtBoxName;
}

QTableView* VeskViewController::tblPortForwards() const
{
    return m_ui->tblPortForwards;
}

QTableView* VeskViewController::tblDirectories() const
{
    return m_ui->tblDirectories;
}

QsciScintilla* VeskViewController::aceAdditionalCommands() const
{
    return m_ui->aceAdditionalCommands;
}

QWidget* VeskViewController::button(const char* objectName) const
{
    return findChild<QWidget*>(QString::fromLatin1(objectName));
}

void VeskViewController::setPortForwards(const QList<PortForward>& list)
{
    m_portForwards = list;
    static_cast<ListTableModel*>(m_portModel)->reload();
}

void VeskViewController::setSyncedDirectories(const QList<SyncedFolder>& list)
{
    m_syncedDirectories = list;
    static_cast<ListTableModel*>(m_folderModel)->reload();
}

int VeskViewController::numberOfRowsInTableView(const QTableView* tableView) const
{
    if (tableView == m_ui->tblPortForwards)
        return int(m_portForwards.size());
    if (tableView == m_ui->tblDirectories)
        return int(m_syncedDirectories.size());
    return 0;
}

QVariant VeskViewController::objectValueForTableColumn(const QTableView* tableView,
                                                       const QString& column, int row) const
{
    const bool host = column == QStringLiteral("host");
    if (tableView == m_ui->tblPortForwards && row >= 0 && row < m_portForwards.size()) {
        const PortForward& entry = m_portForwards.at(row);
        return QString::number(host ? entry.from : entry.to);
    }
    if (tableView == m_ui->tblDirectories && row >= 0 && row < m_syncedDirectories.size()) {
        const SyncedFolder& entry = m_syncedDirectories.at(row);
        return host ? entry.host : entry.guest;
    }
    return {};
}

int VeskViewController::selectedRow(const QTableView* tableView)
{
    if (!tableView || !tableView->selectionModel())
        return -1;
    const QModelIndexList rows = tableView->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void VeskViewController::controlTextDidChange()
{
    NotificationCenter::defaultCenter().post(NOTE_VC_VESK_DATA_CHANGED,
                                             QVariant::fromValue<QObject*>(this));
}

} // namespace vesk
