// The commands of a document window: export, the machine commands and their checks, and the
// sheets that edit the two lists.
#include "VeskDocument.h"

#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTableView>
#include <QTimer>
#include <QUrl>

#include "AlertPresenter.h"
#include "BoxPickerSheet.h"
#include "DocumentController.h"
#include "DocumentExport.h"
#include "FilePanels.h"
#include "OutputWindowController.h"
#include "SSHHelper.h"
#include "UserDefaults.h"
#include "VagrantHelper.h"
#include "VeskDocumentWindowController.h"
#include "VeskViewController.h"

namespace vesk {

namespace {

struct ForbiddenFolder
{
    const char* path; // "~" is the home folder
    const char* name;
};

// Vagrant shares the Vagrantfile's folder with the machine, so these must not be project folders.
constexpr ForbiddenFolder kForbiddenFolders[] = {
    {"~/Desktop", "Desktop"},
    {"~/Documents", "Documents"},
    {"/Applications", "Applications"},
    {"~/Applications", "Applications"},
    {"~/Downloads", "Downloads"},
    {"~/Dropbox", "Dropbox"},
    {"~/Movies", "Movies"},
    {"~/Music", "Music"},
    {"~/Pictures", "Pictures"},
    {"~/Public", "Public"},
    {"~/", "Home"},
};

QString expandTilde(const QString& path)
{
    if (path.startsWith(QLatin1Char('~')))
        return QDir::homePath() + path.mid(1);
    return path;
}

QString comparable(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

void VeskDocument::showUnsavedDocumentAlert(const QString& informativeText)
{
    Alert alert;
    alert.messageText = QStringLiteral("Vesk Document Not Saved");
    alert.informativeText = informativeText;
    alert.buttons = {QStringLiteral("Save..."), QStringLiteral("Cancel")};
    AlertPresenter::present(m_window, alert, [this](const AlertResponse& response) {
        if (response.button == 0)
            saveDocument();
    });
}

bool VeskDocument::exportVagrantfile()
{
    if (!m_fileName) {
        showUnsavedDocumentAlert(QStringLiteral(
            "You must save your Vesk document before you can export a Vagrantfile."));
        return false;
    }
    loadUIIntoDataModel();
    const ExportResult result = exportDocument(*m_dataModel, *m_fileName);
    if (!result.ok) {
        // A file that was not written must not be reported as exported.
        Alert alert;
        alert.icon = QMessageBox::Critical;
        alert.messageText = QStringLiteral("The Vagrantfile Could Not Be Exported");
        alert.informativeText =
            QStringLiteral("The file “%1” could not be written: %2")
                .arg(QDir::toNativeSeparators(result.failedFile), result.reason);
        alert.buttons = {QStringLiteral("OK")};
        AlertPresenter::present(m_window, alert);
        return false;
    }
    displayFakeExporter();
    return true;
}

bool VeskDocument::exportVagrantfileToCurrentFolderIfNoneExists()
{
    if (!m_fileName)
        return exportVagrantfile();
    const QString folder = QFileInfo(*m_fileName).absolutePath();
    if (QFileInfo::exists(QDir(folder).filePath(QStringLiteral("Vagrantfile"))))
        return true;
    return exportVagrantfile();
}

void VeskDocument::displayFakeExporter()
{
    txtFlush()->setText(QStringLiteral("Generating Vagrantfile..."));
    m_flushProgress = 0;
    piFlush()->setValue(0);
    sheetFlush()->open();
    m_flushTimer->start();
    timerFakeExporter();
}

void VeskDocument::timerFakeExporter()
{
    ++m_flushProgress;
    piFlush()->setValue(m_flushProgress);
    if (m_flushProgress == 33)
        txtFlush()->setText(QStringLiteral("Writing changes to disk..."));
    else if (m_flushProgress == 66)
        txtFlush()->setText(QStringLiteral("Reticulating splines..."));
    else if (m_flushProgress >= 100) {
        m_flushTimer->stop();
        sheetFlush()->accept();
    }
}

void VeskDocument::check()
{
    if (!componentsCheck())
        return;
    runCheck(true, [](bool passed, OutputWindowController* window) {
        if (!passed && window) {
            window->raise();
            window->activateWindow();
        }
    });
}

void VeskDocument::up()
{
    if (!componentsCheck())
        return;
    if (!fileLocationIsAGoodPath())
        return;
    if (!m_fileName) {
        showUnsavedDocumentAlert(QStringLiteral(
            "You must save your Vesk document before you can up the virtual machine."));
        return;
    }
    // The Up whose check runs goes on by itself; another one now would bring the machine up twice.
    if (m_checkBeforeUpRunning)
        return;
    if (!upNeedsCheck()) {
        continueUp(false);
        return;
    }
    m_checkBeforeUpRunning = true;
    runCheck(false, [this](bool passed, OutputWindowController* window) {
        m_checkBeforeUpRunning = false;
        if (!passed) {
            // The failure is the answer to Up: its output stays in front.
            if (window) {
                window->raise();
                window->activateWindow();
            }
            return;
        }
        // Up's own window follows; the passed check needs no window of its own.
        if (window)
            window->close();
        continueUp(true);
    });
}

void VeskDocument::continueUp(bool linesChanged)
{
    if (!m_fileName)
        return;
    // Lines just checked must be the ones Up runs, so they are exported even over an earlier
    // export. Otherwise Up uses what was exported last, and exports only when nothing was.
    const bool exported = linesChanged ? exportVagrantfile()
                                       : exportVagrantfileToCurrentFolderIfNoneExists();
    // Bringing a machine up without the Vagrantfile it needs would only fail in the output window.
    if (!exported)
        return;
    VagrantHelper::sharedInstance().upVeskFileURL(QUrl::fromLocalFile(*m_fileName));
}

QString VeskDocument::rubyLines() const
{
    return m_dataModel->preamble().value_or(QString()) + QChar(u'\0') +
           m_dataModel->additionalVagrantCommands().value_or(QString());
}

bool VeskDocument::upNeedsCheck()
{
    loadUIIntoDataModel();
    // Everything else the Vagrantfile holds is written by the template, quoted; only these lines
    // are Ruby as typed.
    if (m_dataModel->preamble().value_or(QString()).trimmed().isEmpty() &&
        m_dataModel->additionalVagrantCommands().value_or(QString()).trimmed().isEmpty())
        return false;
    return rubyLines() != m_lastPassedRubyLines;
}

void VeskDocument::runCheck(bool announceSuccess,
                           std::function<void(bool, OutputWindowController*)> completion)
{
    loadUIIntoDataModel();
    const QString lines = rubyLines();
    const QPointer<VeskDocument> self(this);
    auto window = std::make_shared<QPointer<OutputWindowController>>();
    *window = VagrantHelper::sharedInstance().checkVeskDocument(
        *m_dataModel, m_fileName.value_or(QString()), displayName(),
        [self, lines, window, completion = std::move(completion)](bool passed) {
            if (!self)
                return;
            if (passed)
                self->m_lastPassedRubyLines = lines;
            completion(passed, window->data());
        },
        {}, announceSuccess);
}

void VeskDocument::reload()
{
    if (!componentsCheck())
        return;
    if (!m_fileName) {
        showUnsavedDocumentAlert(QStringLiteral(
            "You must save your Vesk document before you can reload the virtual machine."));
        return;
    }
    VagrantHelper::sharedInstance().reloadVeskFileURL(QUrl::fromLocalFile(*m_fileName));
}

void VeskDocument::SSH()
{
    if (!componentsCheck())
        return;
    if (!m_fileName) {
        showUnsavedDocumentAlert(QStringLiteral(
            "You must save your Vesk document before you can log into the virtual machine."));
        return;
    }
    QString reason;
    if (!SSHHelper::sshVeskFileURL(QUrl::fromLocalFile(*m_fileName), &reason))
        AlertPresenter::present(m_window, sshFailureAlert(reason));
}

bool VeskDocument::componentsCheck()
{
    VagrantHelper& helper = VagrantHelper::sharedInstance();
    UserDefaults& defaults = UserDefaults::standard();
    if (!helper.virtualBoxIsInstalled() &&
        !defaults.boolForKey(kUserDefaultsSuppressVirtualBoxNotInstalledWarning)) {
        showComponentAlert(true);
        return false;
    }
    if (!helper.vagrantIsInstalled() &&
        !defaults.boolForKey(kUserDefaultsSuppressVagrantNotInstalledWarning)) {
        showComponentAlert(false);
        return false;
    }
    return true;
}

void VeskDocument::showComponentAlert(bool virtualBox)
{
    Alert alert;
    alert.messageText = virtualBox ? QStringLiteral("VirtualBox Is Not Installed")
                                   : QStringLiteral("Vagrant Is Not Installed");
    alert.informativeText =
        virtualBox
            ? QStringLiteral("Before you can run your Vagrantfile, you must first install "
                             "VirtualBox or another virtual machine provider. Would you like to "
                             "install VirtualBox now?")
            : QStringLiteral("Before you can run your Vagrantfile, you must first install "
                             "Vagrant. Would you like to install Vagrant now?");
    alert.buttons = {QStringLiteral("Install..."), QStringLiteral("No")};
    alert.suppressionText = AlertPresenter::defaultSuppressionText();
    const QString key = virtualBox ? kUserDefaultsSuppressVirtualBoxNotInstalledWarning
                                   : kUserDefaultsSuppressVagrantNotInstalledWarning;
    DocumentController* controller = m_controller;
    AlertPresenter::present(
        m_window, alert, [controller, key, virtualBox](const AlertResponse& response) {
            if (response.suppressionChecked)
                UserDefaults::standard().setValue(key, true);
            if (response.button != 0)
                return;
            const DocumentHooks& hooks = controller->hooks();
            const auto& install = virtualBox ? hooks.installVirtualBox : hooks.installVagrant;
            if (install)
                install();
        });
}

std::optional<QString> VeskDocument::forbiddenFolderName(const QString& folder)
{
    const QString candidate = comparable(folder);
    for (const ForbiddenFolder& forbidden : kForbiddenFolders) {
        if (comparable(expandTilde(QString::fromUtf8(forbidden.path))) == candidate)
            return QString::fromUtf8(forbidden.name);
    }
    return std::nullopt;
}

bool VeskDocument::fileLocationIsAGoodPath()
{
    if (!m_fileName)
        return true;
    const std::optional<QString> name = forbiddenFolderName(QFileInfo(*m_fileName).absolutePath());
    if (!name)
        return true;
    Alert alert;
    alert.messageText =
        QStringLiteral("Vagrant Machines Should Not Be Launched From Your %1 Folder").arg(*name);
    alert.informativeText =
        QStringLiteral("By default, Vagrant automatically shares your Vagrantfile's folder with "
                       "the virtual machine. Because of this, we don't allow you to create a new "
                       "virtual machine in your %1 folder.\n\nWe suggest moving this Vesk "
                       "document to its own sub-folder.\n\nIf you know what you're doing and "
                       "really want to do this, you can manually \"up\" your Vagrantfile from "
                       "the command line.")
            .arg(*name);
    alert.buttons = {QStringLiteral("OK")};
    AlertPresenter::present(m_window, alert);
    return false;
}

void VeskDocument::addPortForward()
{
    txtPortFrom()->clear();
    txtPortTo()->clear();
    sheetPortForward()->open();
    txtPortFrom()->setFocus();
}

void VeskDocument::confirmPortForward()
{
    if (txtPortFrom()->text().isEmpty() || txtPortTo()->text().isEmpty())
        return;
    const int from = intValue(txtPortFrom()->text());
    if (from < 1024) {
        Alert alert;
        alert.messageText = QStringLiteral("From Port Cannot Be Less Than 1024");
        alert.informativeText = QStringLiteral("Due to security restrictions built into OS X, "
                                               "the \"From Port\" cannot be less than 1024.");
        alert.buttons = {QStringLiteral("OK")};
        alert.applicationModal = true;
        AlertPresenter::present(sheetPortForward(), alert);
        return;
    }
    loadUIIntoDataModel();
    QList<PortForward> list = m_dataModel->portForwards();
    list.append(PortForward{from, intValue(txtPortTo()->text())});
    m_dataModel->setPortForwards(list);
    loadDataModelIntoUI();
    sheetPortForward()->accept();
}

void VeskDocument::cancelPortForward()
{
    sheetPortForward()->reject();
}

void VeskDocument::removePortForward()
{
    const int row = VeskViewController::selectedRow(m_vcVesk->tblPortForwards());
    QList<PortForward> list = m_dataModel->portForwards();
    if (row < 0 || row >= list.size())
        return;
    list.removeAt(row);
    m_dataModel->setPortForwards(list);
    loadUIIntoDataModel();
    loadDataModelIntoUI();
}

void VeskDocument::addSyncedDirectory()
{
    txtFromDirectory()->clear();
    txtToDirectory()->clear();
    sheetSyncDirectory()->open();
    txtFromDirectory()->setFocus();
}

void VeskDocument::chooseDirectory()
{
    const QString typed = expandTilde(txtFromDirectory()->text());
    const QString start = !typed.isEmpty() && QFileInfo(typed).isDir() ? typed : QDir::homePath();
    if (const std::optional<QString> folder = FilePanels::chooseFolder(sheetSyncDirectory(), start))
        txtFromDirectory()->setText(*folder);
}

void VeskDocument::confirmDirectory()
{
    if (txtFromDirectory()->text().isEmpty() || txtToDirectory()->text().isEmpty())
        return;
    loadUIIntoDataModel();
    QList<SyncedFolder> list = m_dataModel->syncedDirectories();
    list.append(SyncedFolder{txtFromDirectory()->text(), txtToDirectory()->text()});
    m_dataModel->setSyncedDirectories(list);
    loadDataModelIntoUI();
    sheetSyncDirectory()->accept();
}

void VeskDocument::cancelDirectory()
{
    sheetSyncDirectory()->reject();
}

void VeskDocument::removeSyncedDirectory()
{
    const int row = VeskViewController::selectedRow(m_vcVesk->tblDirectories());
    QList<SyncedFolder> list = m_dataModel->syncedDirectories();
    if (row < 0 || row >= list.size())
        return;
    list.removeAt(row);
    m_dataModel->setSyncedDirectories(list);
    loadUIIntoDataModel();
    loadDataModelIntoUI();
}

void VeskDocument::chooseBox()
{
    if (!m_boxPicker) {
        m_boxPicker = new BoxPickerSheet(m_window);
        m_boxPicker->setBoxNameField(m_vcVesk->txtBoxName());
        connect(m_boxPicker, &BoxPickerSheet::boxChosen, this,
                [this] { updateChangeCount(ChangeType::Done); });
    }
    m_boxPicker->open();
}

void VeskDocument::cancelBox()
{
    if (m_boxPicker)
        m_boxPicker->cancelBox();
}

} // namespace vesk
