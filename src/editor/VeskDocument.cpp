#include "VeskDocument.h"

#include <climits>

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "QsciWidgets.h"

#include "AlertPresenter.h"
#include "BootstrapTemplateHelper.h"
#include "BootstrapViewController.h"
#include "BoxPickerSheet.h"
#include "ButtonTitles.h"
#include "CodeEditorStyle.h"
#include "DocumentController.h"
#include "DocumentRecovery.h"
#include "FilePanels.h"
#include "NotificationCenter.h"
#include "Utilities.h"
#include "VagrantFileTemplateHelper.h"
#include "VagrantFileViewController.h"
#include "VeskDocumentWindowController.h"
#include "VeskViewController.h"
#include "ui_ExportProgressSheet.h"
#include "ui_PortForwardSheet.h"
#include "ui_PreambleSheet.h"
#include "ui_RemoteURLSheet.h"
#include "ui_SyncedDirectorySheet.h"
#include "ui_VeskDocumentWindowController.h"

namespace vesk {

struct VeskDocument::Sheets
{
    QDialog* preamble = nullptr;
    Ui::PreambleSheet preambleUi;
    QDialog* remoteURL = nullptr;
    Ui::RemoteURLSheet remoteURLUi;
    QDialog* flush = nullptr;
    Ui::ExportProgressSheet flushUi;
    QDialog* portForward = nullptr;
    Ui::PortForwardSheet portForwardUi;
    QDialog* syncDirectory = nullptr;
    Ui::SyncedDirectorySheet syncDirectoryUi;
};

namespace {

const QString kVeskTitle = QStringLiteral("Vesk File Settings");
const QString kBootstrapTitle = QStringLiteral("Provisioning File");
const QString kVagrantFileTitle = QStringLiteral("Vagrantfile Preview");

template <class Form> QDialog* makeSheet(QWidget* window, Form& form)
{
    auto* sheet = new QDialog(window, Qt::Sheet);
    form.setupUi(sheet);
    sheet->setWindowModality(Qt::WindowModal);
    return sheet;
}

/// Small sheets are as tall as their content at their designed width, never stretched.
void fitHeight(QDialog* sheet)
{
    QLayout* layout = sheet->layout();
    const int height = layout->hasHeightForWidth() ? layout->totalHeightForWidth(sheet->width())
                                                   : layout->totalSizeHint().height();
    sheet->resize(sheet->width(), height);
}

void styleSheetHeading(QLabel* title, QLabel* info)
{
    QFont font = title->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() + 1);
    title->setFont(font);
    QPalette palette = info->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText).darker(140));
    info->setPalette(palette);
}

/// Runs the focused editor's own command (undo, copy ...), whichever kind of editor it is.
void forwardToFocus(const char* slot)
{
    if (QWidget* focus = QApplication::focusWidget())
        QMetaObject::invokeMethod(focus, slot);
}

} // namespace

VeskDocument::VeskDocument(DocumentController* controller)
    : QObject(controller), m_controller(controller)
{
    setupForAllDocuments();
}

VeskDocument::~VeskDocument()
{
    removeDataModelObservers();
    delete m_window.data();
    // Views not yet placed in a window are still ours.
    delete m_vcVesk.data();
    delete m_vcBoot.data();
    delete m_vcVagFile.data();
}

void VeskDocument::setupForAllDocuments()
{
    m_dataModel = std::make_unique<DataModel>();
    m_vcVesk = new VeskViewController;
    m_vcBoot = new BootstrapViewController;
    m_vcVagFile = new VagrantFileViewController;
    m_vcVesk->setObjectName(QStringLiteral("vcVesk"));
    m_vcBoot->setObjectName(QStringLiteral("vcBoot"));
    m_vcVagFile->setObjectName(QStringLiteral("vcVagFile"));

    // Only the settings tab of this document concerns it; other windows post their own.
    NotificationCenter::defaultCenter().observe(
        NOTE_VC_VESK_DATA_CHANGED, this,
        [this](const QVariant& object) { controlDidChange(object); });

    // Typing in the script or the extra commands is an edit too: nothing typed may be lost.
    m_vcBoot->setTextDidChangeHandler([this] { userTypedInEditor(); });
    connect(m_vcVesk->aceAdditionalCommands(), &QsciScintilla::textChanged, this,
            &VeskDocument::userTypedInEditor);

    m_window = new VeskDocumentWindowController;
    m_window->setAttribute(Qt::WA_DeleteOnClose, false);
    m_window->setCloseRequestHandler([this] { close(); });
    buildSheets();
    buildMenusAndToolbar();

    m_autosaveTimer = new QTimer(this);
    m_autosaveTimer->setSingleShot(true);
    connect(m_autosaveTimer, &QTimer::timeout, this, &VeskDocument::autosave);
    m_flushTimer = new QTimer(this);
    m_flushTimer->setInterval(10);
    connect(m_flushTimer, &QTimer::timeout, this, &VeskDocument::timerFakeExporter);

    m_recoveryId = DocumentRecovery::newId();
    // Other programs (git, editors, sync tools) change files too. Their events come in bursts
    // (an atomic replace is a create, a write and a rename), so the file is looked at once the
    // burst is over.
    m_watcher = new QFileSystemWatcher(this);
    m_diskCheckTimer = new QTimer(this);
    m_diskCheckTimer->setSingleShot(true);
    m_diskCheckTimer->setInterval(150);
    connect(m_diskCheckTimer, &QTimer::timeout, this, &VeskDocument::checkFileOnDisk);
    auto schedule = [this] { m_diskCheckTimer->start(); };
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, schedule);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, schedule);
}

void VeskDocument::setupForNewDocument(const QString& displayName)
{
    m_untitledName = displayName;
    m_dataModel->setBootstrapShellCode(BootstrapTemplateHelper::templateString());
    loadDataModelIntoUI();
    updateWindowTitle();
}

bool VeskDocument::readFromFile(const QString& path, QString* errorMessage)
{
    const std::optional<QByteArray> data = readRegularFile(path, errorMessage);
    if (!data || !readFromData(*data, errorMessage))
        return false;
    m_fileName = path;
    m_documentWasOpenedSoOnceDoneLoadingUICheckForUpdates = true;
    rememberDiskContent(*data);
    watchFile();
    updateWindowTitle();
    return true;
}

void VeskDocument::makeWindowControllers()
{
    windowControllerDidLoadNib();
}

void VeskDocument::windowControllerDidLoadNib()
{
    addViewToContainer(m_vcVesk);
    addViewToContainer(m_vcBoot);
    addViewToContainer(m_vcVagFile);
    showVesk();
    loadDataModelIntoUI();
    addDataModelObservers();
    if (m_documentWasOpenedSoOnceDoneLoadingUICheckForUpdates)
        checkForUpdatesAutomatically(true);
    configureCodeEditor(acePreamble(), EditorMode::Ruby, EditorTheme::Slate);
    updateWindowTitle();

    // One unobtrusive line above the tabs for what happened to the document behind the user's
    // back (reloaded, removed, recovered); it never blocks the window.
    m_banner = new QFrame(m_window->centralWidget());
    m_banner->setObjectName(QStringLiteral("documentBanner"));
    m_banner->setAutoFillBackground(true);
    QPalette palette = m_banner->palette();
    const QColor window = palette.color(QPalette::Window);
    const QColor highlight = palette.color(QPalette::Highlight);
    palette.setColor(QPalette::Window,
                     QColor::fromRgbF(window.redF() * 0.82 + highlight.redF() * 0.18,
                                      window.greenF() * 0.82 + highlight.greenF() * 0.18,
                                      window.blueF() * 0.82 + highlight.blueF() * 0.18));
    m_banner->setPalette(palette);
    auto* layout = new QHBoxLayout(m_banner);
    layout->setContentsMargins(12, 6, 6, 6);
    m_bannerLabel = new QLabel(m_banner);
    m_bannerLabel->setObjectName(QStringLiteral("lblDocumentBanner"));
    m_bannerLabel->setWordWrap(true);
    m_bannerLabel->setTextFormat(Qt::PlainText);
    layout->addWidget(m_bannerLabel, 1);
    auto* dismiss = new QToolButton(m_banner);
    dismiss->setObjectName(QStringLiteral("btnDismissBanner"));
    dismiss->setAutoRaise(true);
    dismiss->setIcon(m_window->style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    dismiss->setToolTip(QStringLiteral("Dismiss"));
    connect(dismiss, &QToolButton::clicked, m_banner, &QWidget::hide);
    layout->addWidget(dismiss, 0, Qt::AlignTop);
    m_banner->hide();
    if (auto* central = qobject_cast<QBoxLayout*>(m_window->centralWidget()->layout()))
        central->insertWidget(0, m_banner);

    if (m_restored) {
        updateChangeCount(ChangeType::Done);
        showBanner(QStringLiteral("This document was recovered: Vesk ended before it was saved. "
                                  "Save it to keep it."));
    }
}

void VeskDocument::buildSheets()
{
    m_sheets = std::make_unique<Sheets>();
    Sheets& s = *m_sheets;

    s.preamble = makeSheet(m_window, s.preambleUi);
    s.preamble->setObjectName(QStringLiteral("sheetPreamble"));
    styleSheetHeading(s.preambleUi.lblPreambleTitle, s.preambleUi.lblPreambleInfo);
    configureCodeEditor(s.preambleUi.acePreamble, EditorMode::Ruby, EditorTheme::Slate);
    connect(s.preambleUi.btnSavePreamble, &QPushButton::clicked, this, &VeskDocument::savePreamble);
    // There is no cancel: closing the sheet any way keeps what was typed.
    connect(s.preamble, &QDialog::rejected, this, &VeskDocument::savePreamble);

    s.remoteURL = makeSheet(m_window, s.remoteURLUi);
    fitHeight(s.remoteURL);
    s.remoteURL->setObjectName(QStringLiteral("sheetRemoteURL"));
    styleSheetHeading(s.remoteURLUi.lblRemoteURLTitle, s.remoteURLUi.lblRemoteURLInfo);
    connect(s.remoteURLUi.btnSaveRemoteURL, &QPushButton::clicked, this,
            &VeskDocument::saveRemoteURL);
    connect(s.remoteURLUi.btnRemoteURLHelp, &QToolButton::clicked, this,
            &VeskDocument::remoteURLHelp);
    connect(s.remoteURL, &QDialog::rejected, this, &VeskDocument::saveRemoteURL);

    s.flush = makeSheet(m_window, s.flushUi);
    fitHeight(s.flush);
    s.flush->setObjectName(QStringLiteral("sheetFlush"));
    s.flushUi.piFlush->setRange(0, 100);

    s.portForward = makeSheet(m_window, s.portForwardUi);
    fitHeight(s.portForward);
    s.portForward->setObjectName(QStringLiteral("sheetPortForward"));
    styleSheetHeading(s.portForwardUi.lblPortForwardTitle, s.portForwardUi.lblPortForwardInfo);
    connect(s.portForwardUi.btnConfirmPortForward, &QPushButton::clicked, this,
            &VeskDocument::confirmPortForward);
    connect(s.portForwardUi.btnCancelPortForward, &QPushButton::clicked, this,
            &VeskDocument::cancelPortForward);

    s.syncDirectory = makeSheet(m_window, s.syncDirectoryUi);
    fitHeight(s.syncDirectory);
    s.syncDirectory->setObjectName(QStringLiteral("sheetSyncDirectory"));
    styleSheetHeading(s.syncDirectoryUi.lblSyncDirectoryTitle,
                      s.syncDirectoryUi.lblSyncDirectoryInfo);
    connect(s.syncDirectoryUi.btnConfirmDirectory, &QPushButton::clicked, this,
            &VeskDocument::confirmDirectory);
    connect(s.syncDirectoryUi.btnCancelDirectory, &QPushButton::clicked, this,
            &VeskDocument::cancelDirectory);
    connect(s.syncDirectoryUi.btnChooseDirectory, &QPushButton::clicked, this,
            &VeskDocument::chooseDirectory);

    Ui::VeskDocumentWindowController* ui = m_window->ui();
    connect(ui->btnVesk, &QPushButton::clicked, this, &VeskDocument::showVesk);
    connect(ui->btnBootstrap, &QPushButton::clicked, this, &VeskDocument::showBootstrap);
    connect(ui->btnVagrantFile, &QPushButton::clicked, this, &VeskDocument::showVagrantFile);
    for (QPushButton* button : {ui->btnVesk, ui->btnBootstrap, ui->btnVagrantFile})
        button->setMinimumWidth(150);

    auto connectButton = [this](const char* name, void (VeskDocument::*slot)()) {
        if (auto* button = qobject_cast<QAbstractButton*>(m_vcVesk->button(name)))
            connect(button, &QAbstractButton::clicked, this, slot);
    };
    connectButton("btnChooseBox", &VeskDocument::chooseBox);
    connectButton("btnAddPortForward", &VeskDocument::addPortForward);
    connectButton("btnRemovePortForward", &VeskDocument::removePortForward);
    connectButton("btnAddSyncedDirectory", &VeskDocument::addSyncedDirectory);
    connectButton("btnRemoveSyncedDirectory", &VeskDocument::removeSyncedDirectory);
    connectButton("btnEditPreamble", &VeskDocument::editVagrantfilePreamble);
}

void VeskDocument::buildMenusAndToolbar()
{
    QMenuBar* bar = m_window->menuBar();
    auto add = [this](QMenu* menu, const QString& name, const QString& text,
                      const QKeySequence& shortcut, auto&& handler) {
        QAction* action = menu->addAction(text);
        action->setObjectName(name);
        action->setShortcut(shortcut);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };

    if (m_controller->hooks().applicationMenu) {
        QMenu* application = bar->addMenu(QApplication::applicationDisplayName());
        application->setObjectName(QStringLiteral("menuApplication"));
        m_controller->hooks().applicationMenu(application);
    }
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    add(file, QStringLiteral("actionNew"), QStringLiteral("&New"), QKeySequence::New,
        [this] { m_controller->newDocument(); });
    add(file, QStringLiteral("actionOpen"), QStringLiteral("&Open..."), QKeySequence::Open,
        [this] { m_controller->openDocumentWithPanel(m_window); });
    QMenu* recent = file->addMenu(QStringLiteral("Open &Recent"));
    recent->setObjectName(QStringLiteral("menuOpenRecent"));
    connect(recent, &QMenu::aboutToShow, this, [this, recent] {
        recent->clear();
        const QStringList paths = m_controller->recentDocuments();
        for (const QString& path : paths) {
            QAction* item = recent->addAction(QFileInfo(path).fileName());
            item->setToolTip(path);
            connect(item, &QAction::triggered, this,
                    [this, path] { m_controller->openDocument(path, m_window); });
        }
        if (!paths.isEmpty())
            recent->addSeparator();
        QAction* clear = recent->addAction(QStringLiteral("Clear Menu"));
        clear->setEnabled(!paths.isEmpty());
        connect(clear, &QAction::triggered, m_controller,
                &DocumentController::clearRecentDocuments);
    });
    file->addSeparator();
    add(file, QStringLiteral("actionClose"), QStringLiteral("&Close"), QKeySequence::Close,
        [this] { close(); });
    add(file, QStringLiteral("actionSave"), QStringLiteral("&Save"), QKeySequence::Save,
        [this] { saveDocument(); });
    add(file, QStringLiteral("actionSaveAs"), QStringLiteral("Save &As..."), QKeySequence::SaveAs,
        [this] { saveDocumentAs(); });

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    add(edit, QStringLiteral("actionUndo"), QStringLiteral("&Undo"), QKeySequence::Undo,
        [] { forwardToFocus("undo"); });
    add(edit, QStringLiteral("actionRedo"), QStringLiteral("&Redo"), QKeySequence::Redo,
        [] { forwardToFocus("redo"); });
    edit->addSeparator();
    add(edit, QStringLiteral("actionCut"), QStringLiteral("Cu&t"), QKeySequence::Cut,
        [] { forwardToFocus("cut"); });
    add(edit, QStringLiteral("actionCopy"), QStringLiteral("&Copy"), QKeySequence::Copy,
        [] { forwardToFocus("copy"); });
    add(edit, QStringLiteral("actionPaste"), QStringLiteral("&Paste"), QKeySequence::Paste,
        [] { forwardToFocus("paste"); });
    add(edit, QStringLiteral("actionSelectAll"), QStringLiteral("Select &All"),
        QKeySequence::SelectAll, [] { forwardToFocus("selectAll"); });

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    add(view, QStringLiteral("actionShowVesk"), kVeskTitle, QKeySequence(Qt::CTRL | Qt::Key_1),
        [this] { showVesk(); });
    add(view, QStringLiteral("actionShowBootstrap"), kBootstrapTitle,
        QKeySequence(Qt::CTRL | Qt::Key_2), [this] { showBootstrap(); });
    add(view, QStringLiteral("actionShowVagrantFile"), kVagrantFileTitle,
        QKeySequence(Qt::CTRL | Qt::Key_3), [this] { showVagrantFile(); });

    QMenu* document = bar->addMenu(QStringLiteral("&Document"));
    add(document, QStringLiteral("actionChooseBox"), QStringLiteral("Choose &Box..."),
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B), [this] { chooseBox(); });
    add(document, QStringLiteral("actionAddPortForward"), QStringLiteral("Forward a &Port..."),
        QKeySequence(), [this] { addPortForward(); });
    add(document, QStringLiteral("actionAddSyncedDirectory"), QStringLiteral("Share a &Folder..."),
        QKeySequence(), [this] { addSyncedDirectory(); });
    document->addSeparator();
    add(document, QStringLiteral("actionEditPreamble"),
        QStringLiteral("Edit Vagrantfile &Preamble..."), QKeySequence(),
        [this] { editVagrantfilePreamble(); });
    add(document, QStringLiteral("actionEditRemoteURL"), QStringLiteral("&Remote Updates..."),
        QKeySequence(), [this] { editRemoteURL(); });
    add(document, QStringLiteral("actionCheckForDocumentUpdates"),
        QStringLiteral("Check for &Document Updates"), QKeySequence(),
        [this] { checkForDocumentUpdates(); });

    QMenu* machine = bar->addMenu(QStringLiteral("&Machine"));
    QStyle* style = m_window->style();
    QAction* exportAction =
        add(machine, QStringLiteral("actionExport"), QStringLiteral("&Export Vagrantfile"),
            QKeySequence(Qt::CTRL | Qt::Key_E), [this] { exportVagrantfile(); });
    QAction* checkAction =
        add(machine, QStringLiteral("actionCheck"), QStringLiteral("&Check"),
            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K), [this] { check(); });
    machine->addSeparator();
    QAction* upAction = add(machine, QStringLiteral("actionUp"), QStringLiteral("&Up"),
                            QKeySequence(Qt::CTRL | Qt::Key_U), [this] { up(); });
    QAction* reloadAction =
        add(machine, QStringLiteral("actionReload"), QStringLiteral("&Reload"),
            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R), [this] { reload(); });
    QAction* sshAction = add(machine, QStringLiteral("actionSSH"), QStringLiteral("&SSH"),
                             QKeySequence(Qt::CTRL | Qt::Key_T), [this] { SSH(); });

    exportAction->setIcon(style->standardIcon(QStyle::SP_DialogSaveButton));
    upAction->setIcon(style->standardIcon(QStyle::SP_MediaPlay));
    reloadAction->setIcon(style->standardIcon(QStyle::SP_BrowserReload));
    sshAction->setIcon(style->standardIcon(QStyle::SP_ComputerIcon));
    checkAction->setIcon(style->standardIcon(QStyle::SP_DialogApplyButton));
    exportAction->setToolTip(
        QStringLiteral("Write the Vagrantfile and bootstrap.sh beside the document"));
    upAction->setToolTip(QStringLiteral("Bring the machine up"));
    reloadAction->setToolTip(QStringLiteral("Restart the machine with the current Vagrantfile"));
    sshAction->setToolTip(QStringLiteral("Open an SSH session in a terminal"));
    checkAction->setToolTip(
        QStringLiteral("Let Vagrant validate the Vagrantfile this document produces"));

    QToolBar* toolbar = m_window->addToolBar(QStringLiteral("Machine"));
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar->setIconSize(QSize(16, 16));
    toolbar->addAction(exportAction);
    toolbar->addAction(checkAction);
    toolbar->addSeparator();
    toolbar->addAction(upAction);
    toolbar->addAction(reloadAction);
    toolbar->addAction(sshAction);
}

QString VeskDocument::displayName() const
{
    return m_fileName ? QFileInfo(*m_fileName).fileName() : m_untitledName;
}

void VeskDocument::updateWindowTitle()
{
    if (!m_window)
        return;
    m_window->setWindowTitle(displayName() + QStringLiteral("[*]"));
    m_window->setWindowFilePath(m_fileName.value_or(QString()));
    m_window->setWindowModified(isDocumentEdited());
}

void VeskDocument::updateChangeCount(ChangeType type)
{
    const bool wasEdited = isDocumentEdited();
    if (type == ChangeType::Done)
        ++m_changeCount;
    else
        m_changeCount = 0;
    if (m_window)
        m_window->setWindowModified(isDocumentEdited());
    // Documents without a file are autosaved too, into the recovery folder.
    if (type == ChangeType::Done)
        m_autosaveTimer->start(m_controller->autosaveDelay());
    if (wasEdited != isDocumentEdited())
        Q_EMIT editedChanged(isDocumentEdited());
}

void VeskDocument::controlDidChange(const QVariant& sender)
{
    if (sender.value<QObject*>() == m_vcVesk.data())
        updateChangeCount(ChangeType::Done);
}

void VeskDocument::userTypedInEditor()
{
    if (!m_loadingUI)
        updateChangeCount(ChangeType::Done);
}

QByteArray VeskDocument::dataOfType()
{
    loadUIIntoDataModel();
    return m_dataModel->dataRepresentation();
}

bool VeskDocument::readFromData(const QByteArray& data, QString* errorMessage)
{
    return m_dataModel->loadData(data, errorMessage);
}

bool VeskDocument::saveDocument()
{
    if (!m_fileName)
        return saveDocumentAs();
    return writeToPath(*m_fileName);
}

bool VeskDocument::saveDocumentAs()
{
    const QString suggested =
        m_fileName ? *m_fileName
                   : QDir(QDir::homePath()).filePath(displayName() + QStringLiteral(".vesk"));
    const std::optional<QString> path = FilePanels::saveDocument(m_window, suggested);
    if (!path)
        return false;
    if (!writeToPath(*path))
        return false;
    const QString absolute = QFileInfo(*path).absoluteFilePath();
    if (m_fileName != absolute) {
        m_fileName = absolute;
        watchFile();
        updateWindowTitle();
        Q_EMIT fileNameChanged(absolute);
    }
    return true;
}

bool VeskDocument::writeToPath(const QString& path)
{
    QString reason;
    if (!writeContent(path, dataOfType(), &reason)) {
        showWriteFailure(path, reason);
        return false;
    }
    Q_EMIT saved(path);
    return true;
}

bool VeskDocument::writeContent(const QString& path, const QByteArray& data, QString* reason)
{
    if (!writeFileAtomically(path, data, reason))
        return false;
    // From now on the file holds what this window holds: its content is the one to compare
    // the disk with, and the recovery copy has done its work.
    rememberDiskContent(data);
    if (m_diskState == DiskState::Missing && m_banner)
        m_banner->hide(); // the file is back where it was
    m_diskState = DiskState::InSync;
    DocumentRecovery::discard(m_recoveryId);
    m_autosaveTimer->stop();
    m_autosaveFailureShown = false;
    updateChangeCount(ChangeType::Cleared);
    return true;
}

void VeskDocument::showWriteFailure(const QString& path, const QString& reason)
{
    Alert alert;
    alert.icon = QMessageBox::Critical;
    alert.messageText = QStringLiteral("The document “%1” could not be saved.").arg(displayName());
    alert.informativeText =
        QStringLiteral("The file “%1” could not be written: %2. Your changes are still in "
                       "this window.")
            .arg(QDir::toNativeSeparators(path), reason);
    alert.buttons = {QStringLiteral("OK")};
    AlertPresenter::present(m_window, alert);
}

void VeskDocument::autosave()
{
    if (!isDocumentEdited())
        return;
    if (!m_fileName || m_diskState == DiskState::Missing) {
        storeRecovery();
        return;
    }
    // Never over a change another program made: that needs the question first. Until it is
    // answered, what is typed here is kept in the recovery folder.
    if (m_diskState == DiskState::ChangedElsewhere) {
        storeRecovery();
        return;
    }
    const std::optional<QByteArray> onDisk = readRegularFile(*m_fileName);
    if (!onDisk || QCryptographicHash::hash(*onDisk, QCryptographicHash::Sha256) != m_diskDigest) {
        storeRecovery();
        checkFileOnDisk();
        return;
    }
    // A failing disk would otherwise repeat its alert after every keystroke; one is enough until
    // a write succeeds again. The document stays edited either way, and its content is kept in
    // the recovery folder meanwhile.
    QString reason;
    const QByteArray data = dataOfType();
    if (writeContent(*m_fileName, data, &reason)) {
        Q_EMIT saved(*m_fileName);
        return;
    }
    DocumentRecovery::store(m_recoveryId, data);
    if (!m_autosaveFailureShown)
        showWriteFailure(*m_fileName, reason);
    m_autosaveFailureShown = true;
}

void VeskDocument::canClose(std::function<void(bool)> completion)
{
    if (m_controller && m_controller->sessionEnding()) {
        // The session ends: nothing is asked, and what is unsaved stays kept.
        preserveForSessionEnd();
        completion(true);
        return;
    }
    noteOpenSheetEdits();
    if (!isDocumentEdited()) {
        completion(true);
        return;
    }
    if (m_fileName && m_diskState != DiskState::Missing) {
        // Documents with a file save in place: closing writes what autosave has not yet written,
        // unless another program changed the file: then the user chooses which version stays.
        refreshDiskState(false);
        if (m_diskState == DiskState::ChangedElsewhere) {
            askAboutExternalChange(completion);
            return;
        }
        if (m_diskState == DiskState::InSync) {
            QString reason;
            if (writeContent(*m_fileName, dataOfType(), &reason)) {
                Q_EMIT saved(*m_fileName);
                completion(true);
            } else {
                askBeforeClosingAfterWriteFailure(reason, completion);
            }
            return;
        }
    }
    Alert alert;
    alert.messageText =
        QStringLiteral("Do you want to save the changes you made to “%1”?").arg(displayName());
    alert.informativeText = QStringLiteral("Your changes will be lost if you don't save them.");
    alert.buttons = {QStringLiteral("Save..."), QStringLiteral("Don't Save"),
                     QStringLiteral("Cancel")};
    askSaveOrDrop(alert, &VeskDocument::saveDocument, std::move(completion));
}

void VeskDocument::askBeforeClosingAfterWriteFailure(const QString& reason,
                                                     std::function<void(bool)> completion)
{
    // A file that cannot be written (read-only, full disk, gone folder) must not keep the window
    // open for ever: the user can put the document elsewhere, or let it go.
    Alert alert;
    alert.icon = QMessageBox::Critical;
    alert.messageText = QStringLiteral("The document “%1” could not be saved.").arg(displayName());
    alert.informativeText =
        QStringLiteral("The file “%1” could not be written: %2. Save the document somewhere else, "
                       "or close it without saving your changes.")
            .arg(QDir::toNativeSeparators(m_fileName.value_or(QString())), reason);
    alert.buttons = {QStringLiteral("Save As..."), QStringLiteral("Don't Save"),
                     QStringLiteral("Cancel")};
    askSaveOrDrop(alert, &VeskDocument::saveDocumentAs, std::move(completion));
}

void VeskDocument::askSaveOrDrop(const Alert& alert, bool (VeskDocument::*save)(),
                                 std::function<void(bool)> completion)
{
    // The first button saves, the second lets the changes go, the last keeps the window open.
    if (m_window) {
        m_window->show();
        m_window->raise();
    }
    AlertPresenter::present(m_window, alert,
                            [this, save, completion](const AlertResponse& response) {
                                if (response.button == 0)
                                    completion((this->*save)());
                                else
                                    completion(response.button == 1);
                            });
}

void VeskDocument::close(std::function<void(bool)> completion)
{
    canClose([this, completion](bool shouldClose) {
        if (shouldClose) {
            m_autosaveTimer->stop();
            m_flushTimer->stop();
            m_diskCheckTimer->stop();
            // Saved, unedited or let go with "Don't Save": nothing is left to recover. At the end
            // of a session the copy stays for the next start.
            if (!m_controller || !m_controller->sessionEnding())
                DocumentRecovery::discard(m_recoveryId);
            if (m_window)
                m_window->closeWithoutAsking();
            Q_EMIT closed();
        }
        if (completion)
            completion(shouldClose);
    });
}

void VeskDocument::loadDataModelIntoUI()
{
    m_loadingUI = true;
    auto setIfDifferent = [](auto* editor, const QString& text) {
        // Refilling with the same text would throw away the cursor and the undo history.
        if (editor->text() != text)
            editor->setText(text);
    };
    if (m_vcBoot && m_vcBoot->getCode() != m_dataModel->bootstrapShellCode().value_or(QString()))
        m_vcBoot->setCode(m_dataModel->bootstrapShellCode().value_or(QString()));
    if (m_vcVesk) {
        setIfDifferent(m_vcVesk->txtBoxName(), m_dataModel->boxName().value_or(QString()));
        setIfDifferent(m_vcVesk->aceAdditionalCommands(),
                       m_dataModel->additionalVagrantCommands().value_or(QString()));
        m_vcVesk->setPortForwards(m_dataModel->portForwards());
        m_vcVesk->setSyncedDirectories(m_dataModel->syncedDirectories());
    }
    if (m_dataModel->preamble())
        setIfDifferent(acePreamble(), *m_dataModel->preamble());
    if (m_dataModel->remoteURL())
        setIfDifferent(txtRemoteURL(), *m_dataModel->remoteURL());
    txtRevisionNumber()->setText(m_dataModel->revision() ? QString::number(*m_dataModel->revision())
                                                         : QStringLiteral("1"));
    m_loadingUI = false;
}

void VeskDocument::loadUIIntoDataModel()
{
    if (m_vcBoot)
        m_dataModel->setBootstrapShellCode(m_vcBoot->getCode());
    if (m_vcVesk) {
        m_dataModel->setBoxName(m_vcVesk->txtBoxName()->text());
        m_dataModel->setAdditionalVagrantCommands(m_vcVesk->aceAdditionalCommands()->text());
    }
    m_dataModel->setPreamble(acePreamble()->text());
    m_dataModel->setRemoteURL(txtRemoteURL()->text());
    m_dataModel->setRevision(intValue(txtRevisionNumber()->text()));
}

void VeskDocument::addDataModelObservers()
{
    removeDataModelObservers();
    DataModel* model = m_dataModel.get();
    auto changed = [this, model] {
        if (model == m_dataModel.get())
            updateChangeCount(ChangeType::Done);
    };
    m_modelConnections.append(connect(model, &DataModel::portForwardsChanged, this, changed));
    m_modelConnections.append(connect(model, &DataModel::syncedDirectoriesChanged, this, changed));
}

void VeskDocument::removeDataModelObservers()
{
    for (const QMetaObject::Connection& connection : std::as_const(m_modelConnections))
        disconnect(connection);
    m_modelConnections.clear();
}

void VeskDocument::replaceDataModel(std::unique_ptr<DataModel> model)
{
    removeDataModelObservers();
    m_dataModel = std::move(model);
    loadDataModelIntoUI();
    // The new model is taken whole: a value it lacks must not survive from the old one in the
    // editors and be written back with the next save.
    m_loadingUI = true;
    if (!m_dataModel->preamble() && !acePreamble()->text().isEmpty())
        acePreamble()->setText(QString());
    if (!m_dataModel->remoteURL())
        txtRemoteURL()->clear();
    m_loadingUI = false;
    addDataModelObservers();
}

void VeskDocument::setTabTitles(QWidget* selected)
{
    Ui::VeskDocumentWindowController* ui = m_window->ui();
    const QColor normal = QApplication::palette().color(QPalette::ButtonText);
    const struct
    {
        QPushButton* button;
        QString title;
        QWidget* view;
    } tabs[] = {{ui->btnVesk, kVeskTitle, m_vcVesk},
                {ui->btnBootstrap, kBootstrapTitle, m_vcBoot},
                {ui->btnVagrantFile, kVagrantFileTitle, m_vcVagFile}};
    for (const auto& tab : tabs) {
        setTitle(tab.button, tab.title, tab.view == selected ? titleBlue() : normal);
        tab.button->setChecked(tab.view == selected);
    }
}

void VeskDocument::showVesk()
{
    setTabTitles(m_vcVesk);
    showView(m_vcVesk);
}

void VeskDocument::showBootstrap()
{
    setTabTitles(m_vcBoot);
    showView(m_vcBoot);
}

void VeskDocument::showVagrantFile()
{
    setTabTitles(m_vcVagFile);
    loadUIIntoDataModel();
    m_vcVagFile->setCode(
        VagrantFileTemplateHelper(*m_dataModel).displayTemplateString().value_or(QString()));
    showView(m_vcVagFile);
}

void VeskDocument::showView(QWidget* view)
{
    auto* stack = m_window->ui()->tabContainerView;
    if (stack->indexOf(view) >= 0)
        stack->setCurrentWidget(view);
}

void VeskDocument::addViewToContainer(QWidget* view)
{
    // The stack fills the container and keeps every view; showView only picks the visible one.
    auto* stack = m_window->ui()->tabContainerView;
    if (stack->indexOf(view) < 0)
        stack->addWidget(view);
}

void VeskDocument::editVagrantfilePreamble()
{
    m_sheets->preamble->open();
    acePreamble()->setFocus();
}

void VeskDocument::savePreamble()
{
    if (m_dataModel->preamble() != acePreamble()->text())
        updateChangeCount(ChangeType::Done);
    if (m_sheets->preamble->isVisible())
        m_sheets->preamble->accept();
}

void VeskDocument::editRemoteURL()
{
    m_sheets->remoteURL->open();
    txtRemoteURL()->setFocus();
}

void VeskDocument::saveRemoteURL()
{
    bool changed = m_dataModel->remoteURL() != txtRemoteURL()->text();
    const int revision = intValue(txtRevisionNumber()->text());
    if (!m_dataModel->revision() || *m_dataModel->revision() != revision)
        changed = true;
    if (changed)
        updateChangeCount(ChangeType::Done);
    if (m_sheets->remoteURL->isVisible())
        m_sheets->remoteURL->accept();
}

void VeskDocument::remoteURLHelp()
{
    if (m_controller->hooks().remoteURLHelp)
        m_controller->hooks().remoteURLHelp(this);
}

void VeskDocument::checkForDocumentUpdates()
{
    checkForUpdatesAutomatically(false);
}

void VeskDocument::checkForUpdatesAutomatically(bool automatic)
{
    loadUIIntoDataModel();
    if (m_controller->hooks().checkForUpdates)
        m_controller->hooks().checkForUpdates(this, automatic);
}

VeskViewController* VeskDocument::vcVesk() const
{
    return m_vcVesk;
}
BootstrapViewController* VeskDocument::vcBoot() const
{
    return m_vcBoot;
}
VagrantFileViewController* VeskDocument::vcVagFile() const
{
    return m_vcVagFile;
}
VeskDocumentWindowController* VeskDocument::window() const
{
    return m_window;
}
BoxPickerSheet* VeskDocument::boxPicker() const
{
    return m_boxPicker;
}
QDialog* VeskDocument::sheetPreamble() const
{
    return m_sheets->preamble;
}
QsciScintilla* VeskDocument::acePreamble() const
{
    return m_sheets->preambleUi.acePreamble;
}
QDialog* VeskDocument::sheetRemoteURL() const
{
    return m_sheets->remoteURL;
}
QLineEdit* VeskDocument::txtRemoteURL() const
{
    return m_sheets->remoteURLUi.txtRemoteURL;
}
QLineEdit* VeskDocument::txtRevisionNumber() const
{
    return m_sheets->remoteURLUi.txtRevisionNumber;
}
QDialog* VeskDocument::sheetFlush() const
{
    return m_sheets->flush;
}
QProgressBar* VeskDocument::piFlush() const
{
    return m_sheets->flushUi.piFlush;
}
QLabel* VeskDocument::txtFlush() const
{
    return m_sheets->flushUi.txtFlush;
}
QDialog* VeskDocument::sheetPortForward() const
{
    return m_sheets->portForward;
}
QLineEdit* VeskDocument::txtPortFrom() const
{
    return m_sheets->portForwardUi.txtPortFrom;
}
QLineEdit* VeskDocument::txtPortTo() const
{
    return m_sheets->portForwardUi.txtPortTo;
}
QDialog* VeskDocument::sheetSyncDirectory() const
{
    return m_sheets->syncDirectory;
}
QLineEdit* VeskDocument::txtFromDirectory() const
{
    return m_sheets->syncDirectoryUi.txtFromDirectory;
}
QLineEdit* VeskDocument::txtToDirectory() const
{
    return m_sheets->syncDirectoryUi.txtToDirectory;
}

QAction* VeskDocument::action(const QString& objectName) const
{
    return m_window ? m_window->findChild<QAction*>(objectName) : nullptr;
}

int VeskDocument::intValue(const QString& text)
{
    int i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    qint64 value = 0;
    for (; i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9');
         ++i) {
        value = value * 10 + (text.at(i).unicode() - '0');
        if (value > qint64(INT_MAX) + 1)
            break;
    }
    if (negative)
        value = -value;
    return int(qBound(qint64(INT_MIN), value, qint64(INT_MAX)));
}

} // namespace vesk
