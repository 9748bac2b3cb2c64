#include "WelcomeWindowController.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QStyle>
#include <QTableWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include "ApplicationInfo.h"
#include "DocumentController.h"
#include "Icons.h"
#include "UserDefaults.h"
#include "WelcomeActionButton.h"
#include "WelcomeWindowRecentView.h"
#include "Workspace.h"
#include "ui_WelcomeWindowController.h"

namespace vesk {

namespace {

constexpr int kRowHeight = 50;

// A thin cross: the close control of a window without a title bar.
QIcon closeIcon(const QColor& colour)
{
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(colour, size / 10.0, Qt::SolidLine, Qt::RoundCap));
        const qreal inset = size * 0.3;
        painter.drawLine(QPointF(inset, inset), QPointF(size - inset, size - inset));
        painter.drawLine(QPointF(size - inset, inset), QPointF(inset, size - inset));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

WelcomeWindowController::WelcomeWindowController(DocumentController& documents, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::WelcomeWindowController>()), m_documents(documents)
{
    m_ui->setupUi(this);
    // No title bar, yet a normal window that takes the keyboard and can be the main one.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFocusPolicy(Qt::StrongFocus);
    // Room for the hairline border painted around the borderless window.
    m_ui->contentLayout->setContentsMargins(1, 1, 1, 1);

    m_ui->lblIcon->setPixmap(veskIcon(QStringLiteral("vesk")).pixmap(112, 112));
    QFont welcomeFont = m_ui->lblWelcome->font();
    welcomeFont.setPointSizeF(welcomeFont.pointSizeF() * 2.0);
    welcomeFont.setWeight(QFont::Bold);
    m_ui->lblWelcome->setFont(welcomeFont);
    m_ui->lblVersion->setForegroundRole(QPalette::PlaceholderText);

    m_ui->btnClose->setIcon(closeIcon(palette().color(QPalette::PlaceholderText)));
    m_ui->btnClose->setIconSize({16, 16});
    m_ui->btnClose->setFocusPolicy(Qt::NoFocus);
    connect(m_ui->btnClose, &QToolButton::clicked, this, &WelcomeWindowController::closeWindow);

    const QColor accent = palette().color(QPalette::Highlight);
    const struct
    {
        WelcomeActionButton* button;
        QIcon icon;
        QString subtitle;
        void (WelcomeWindowController::*slot)();
    } actions[] = {
        {m_ui->btnNewDocument, veskIcon(QStringLiteral("application-x-vesk")),
         tr("Describe a new Vagrant machine"), &WelcomeWindowController::newDocument},
        {m_ui->btnOpenDocument, templateIcon(QStringLiteral("Reveal"), accent),
         tr("Continue with a .vesk file you have"), &WelcomeWindowController::openDocument},
        {m_ui->btnGallery, WelcomeActionButton::galleryIcon(accent),
         tr("Ready-made machines to start from"), &WelcomeWindowController::openGallery},
    };
    for (const auto& action : actions) {
        action.button->setIcon(action.icon);
        action.button->setSubtitle(action.subtitle);
        connect(action.button, &QToolButton::clicked, this, action.slot);
    }

    QCheckBox* showAtLaunch = m_ui->chkShowAtLaunch;
    showAtLaunch->setChecked(UserDefaults::standard().boolForKey(kShowWelcomeWindow));
    connect(showAtLaunch, &QCheckBox::toggled, this,
            [](bool checked) { UserDefaults::standard().setValue(kShowWelcomeWindow, checked); });

    QTableWidget* table = m_ui->tableView;
    table->verticalHeader()->setDefaultSectionSize(kRowHeight);
    table->setFocusPolicy(Qt::StrongFocus);
    // The cells' text is white on the selection, so the selection keeps its colour when the
    // window is not the active one.
    QPalette tablePalette = table->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        tablePalette.setColor(QPalette::Inactive, role, tablePalette.color(QPalette::Active, role));
    table->setPalette(tablePalette);
    table->installEventFilter(this);

    m_placeholder = new QLabel(tr("No Recent Documents"), table->viewport());
    m_placeholder->setObjectName(QStringLiteral("lblNoRecentDocuments"));
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setForegroundRole(QPalette::PlaceholderText);
    QFont placeholderFont = m_placeholder->font();
    placeholderFont.setPointSizeF(placeholderFont.pointSizeF() * 1.15);
    m_placeholder->setFont(placeholderFont);
    auto* placeholderLayout = new QVBoxLayout(table->viewport());
    placeholderLayout->addWidget(m_placeholder);

    auto* closeShortcut = new QShortcut(QKeySequence::Close, this);
    connect(closeShortcut, &QShortcut::activated, this, &WelcomeWindowController::closeWindow);

    // Labels pass mouse presses on, so the whole background moves the window.
    for (QLabel* label : m_ui->welcomePane->findChildren<QLabel*>())
        label->setAttribute(Qt::WA_TransparentForMouseEvents);

    setup();
    resize(sizeHint().expandedTo(QSize(760, 460)));
}

WelcomeWindowController::~WelcomeWindowController() = default;

QTableWidget* WelcomeWindowController::tableView() const
{
    return m_ui->tableView;
}

QLabel* WelcomeWindowController::lblVersion() const
{
    return m_ui->lblVersion;
}

void WelcomeWindowController::setup()
{
    QTableWidget* table = m_ui->tableView;
    connect(table, &QTableWidget::doubleClicked, this, &WelcomeWindowController::doubleClick);
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &WelcomeWindowController::updateRowStyles);

    QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty())
        version = applicationVersion();
    m_ui->lblVersion->setText(tr("Version %1").arg(version));

    reloadData();
    table->setFocus(Qt::OtherFocusReason);
}

void WelcomeWindowController::reloadData()
{
    m_recentDocuments = m_documents.recentDocuments();
    QTableWidget* table = m_ui->tableView;
    table->clearContents();
    table->setRowCount(int(m_recentDocuments.size()));
    const QString home = QDir::homePath();
    for (int row = 0; row < m_recentDocuments.size(); ++row) {
        const QString& path = m_recentDocuments.at(row);
        auto* item = new QTableWidgetItem;
        item->setToolTip(path);
        table->setItem(row, 0, item);
        auto* cell = new WelcomeWindowRecentView;
        cell->lblTitle()->setText(WelcomeWindowRecentView::titleForDocument(path));
        cell->lblSubtitle()->setText(WelcomeWindowRecentView::subtitleForDocument(path, home));
        table->setCellWidget(row, 0, cell);
    }
    m_placeholder->setVisible(m_recentDocuments.isEmpty());
    if (table->rowCount() > 0)
        selectRow(0);
    updateRowStyles();
}

bool WelcomeWindowController::keyDown(QKeyEvent* event)
{
    // Each key is looked at on its own, in this order, as one event may be several of them.
    const int key = event->key();
    bool handled = false;
    if (key == Qt::Key_Escape) {
        closeWindow();
        handled = true;
    }
    const int row = selectedRow();
    const int count = m_ui->tableView->rowCount();
    if (key == Qt::Key_Down) {
        if (row >= 0 && row < count - 1)
            selectRow(row + 1);
        handled = true;
    }
    if (key == Qt::Key_Up) {
        if (row > 0)
            selectRow(row - 1);
        handled = true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        openSelectedDocument();
        handled = true;
    }
    return handled;
}

void WelcomeWindowController::closeWindow()
{
    close();
}

void WelcomeWindowController::newDocument()
{
    DocumentController& documents = m_documents;
    closeWindow();
    documents.newDocument();
}

void WelcomeWindowController::openDocument()
{
    DocumentController& documents = m_documents;
    closeWindow();
    documents.openDocumentWithPanel(nullptr);
}

void WelcomeWindowController::openGallery()
{
    Workspace::shared().openUrl(QUrl(productPage(QStringLiteral("/vesk/gallery/"))));
}

void WelcomeWindowController::openSelectedDocument()
{
    if (m_recentDocuments.isEmpty())
        return;
    const int row = selectedRow();
    if (row < 0 || row >= m_recentDocuments.size())
        return;
    // A document that no longer opens is not worth a message here; the window goes either way.
    m_documents.openDocument(m_recentDocuments.at(row));
    closeWindow();
}

void WelcomeWindowController::doubleClick()
{
    openSelectedDocument();
}

bool WelcomeWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->tableView && event->type() == QEvent::KeyPress &&
        keyDown(static_cast<QKeyEvent*>(event)))
        return true;
    return QWidget::eventFilter(watched, event);
}

void WelcomeWindowController::keyPressEvent(QKeyEvent* event)
{
    if (keyDown(event))
        return;
    QWidget::keyPressEvent(event);
}

void WelcomeWindowController::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    // Let the window manager move it where it can; otherwise follow the mouse ourselves.
    if (windowHandle() && windowHandle()->startSystemMove()) {
        event->accept();
        return;
    }
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    event->accept();
}

void WelcomeWindowController::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging)
        return QWidget::mouseMoveEvent(event);
    move(event->globalPosition().toPoint() - m_dragOffset);
    event->accept();
}

void WelcomeWindowController::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

void WelcomeWindowController::paintEvent(QPaintEvent*)
{
    // Without a frame the window needs an edge of its own against whatever lies behind it.
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void WelcomeWindowController::selectRow(int row)
{
    QTableWidget* table = m_ui->tableView;
    table->setCurrentCell(row, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    table->scrollToItem(table->item(row, 0));
}

int WelcomeWindowController::selectedRow() const
{
    const QModelIndexList rows = m_ui->tableView->selectionModel()->selectedRows();
    int first = -1;
    for (const QModelIndex& index : rows) {
        if (first < 0 || index.row() < first)
            first = index.row();
    }
    return first;
}

void WelcomeWindowController::updateRowStyles()
{
    QTableWidget* table = m_ui->tableView;
    for (int row = 0; row < table->rowCount(); ++row) {
        auto* cell = qobject_cast<WelcomeWindowRecentView*>(table->cellWidget(row, 0));
        if (!cell)
            continue;
        const bool selected = table->selectionModel()->isRowSelected(row, QModelIndex());
        cell->setBackgroundStyle(selected ? WelcomeWindowRecentView::BackgroundStyle::Emphasized
                                          : WelcomeWindowRecentView::BackgroundStyle::Normal);
    }
}

} // namespace vesk
