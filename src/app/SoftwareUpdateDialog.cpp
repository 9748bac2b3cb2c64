#include "SoftwareUpdateDialog.h"

#include <QLayout>
#include <QPushButton>

#include "ApplicationInfo.h"
#include "Icons.h"
#include "Workspace.h"
#include "ui_SoftwareUpdateDialog.h"

namespace vesk {

SoftwareUpdateDialog::SoftwareUpdateDialog(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::SoftwareUpdateDialog>())
{
    m_ui->setupUi(this);
    setWindowTitle(tr("Software Update"));
    m_ui->lblIcon->setPixmap(veskIcon(QStringLiteral("vesk")).pixmap(64, 64));
    m_ui->lblMessage->setForegroundRole(QPalette::PlaceholderText);
    connect(m_ui->btnDownload, &QPushButton::clicked, this,
            &SoftwareUpdateDialog::openDownloadPage);
    connect(m_ui->btnClose, &QPushButton::clicked, this, &QDialog::reject);
    showChecking();
}

SoftwareUpdateDialog::~SoftwareUpdateDialog() = default;

void SoftwareUpdateDialog::showChecking()
{
    m_downloadPage.clear();
    m_ui->lblTitle->setText(tr("Checking for updates…"));
    m_ui->lblMessage->clear();
    m_ui->lblMessage->hide();
    m_ui->piChecking->show();
    m_ui->btnDownload->hide();
    m_ui->btnClose->setText(tr("Cancel"));
    m_ui->btnClose->setDefault(true);
    fitHeightToText();
}

void SoftwareUpdateDialog::showResult(const UpdateCheckResult& result)
{
    m_ui->piChecking->hide();
    m_ui->lblMessage->show();
    const QString name = applicationName();
    switch (result.status) {
    case UpdateCheckResult::Status::UpToDate:
        m_downloadPage.clear();
        m_ui->lblTitle->setText(tr("You’re up to date!"));
        m_ui->lblMessage->setText(tr("%1 %2 is currently the newest version available.")
                                      .arg(name, result.currentVersion));
        m_ui->btnDownload->hide();
        m_ui->btnClose->setText(tr("OK"));
        m_ui->btnClose->setDefault(true);
        break;
    case UpdateCheckResult::Status::UpdateAvailable:
        m_downloadPage = result.downloadPage;
        m_ui->lblTitle->setText(tr("A new version of %1 is available!").arg(name));
        m_ui->lblMessage->setText(
            tr("%1 %2 is now available — you have %3. Would you like to download it now?")
                .arg(name, result.latestVersion, result.currentVersion));
        m_ui->btnDownload->show();
        m_ui->btnDownload->setDefault(true);
        m_ui->btnClose->setText(tr("Remind Me Later"));
        break;
    case UpdateCheckResult::Status::Failed:
        m_downloadPage.clear();
        m_ui->lblTitle->setText(tr("Update Error!"));
        m_ui->lblMessage->setText(tr("%1 could not check for updates. %2 Please try again later.")
                                      .arg(name, result.error));
        m_ui->btnDownload->hide();
        m_ui->btnClose->setText(tr("OK"));
        m_ui->btnClose->setDefault(true);
        break;
    }
    fitHeightToText();
}

void SoftwareUpdateDialog::fitHeightToText()
{
    // Wrapped labels ask for their height at the dialog's width, not at their narrowest.
    const int width = qMax(this->width(), minimumWidth());
    layout()->activate();
    const int height = layout()->totalHeightForWidth(width);
    if (height > 0)
        resize(width, height);
    else
        adjustSize();
}

void SoftwareUpdateDialog::openDownloadPage()
{
    if (!m_downloadPage.isEmpty())
        Workspace::shared().openUrl(m_downloadPage);
    accept();
}

SoftwareUpdatePresenter::SoftwareUpdatePresenter(SoftwareUpdater& updater, QObject* parent)
    : QObject(parent)
{
    connect(&updater, &SoftwareUpdater::checkStarted, this, [this](bool userInitiated) {
        if (!userInitiated)
            return;
        SoftwareUpdateDialog* dialog = ensureDialog();
        dialog->showChecking();
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    });
    connect(&updater, &SoftwareUpdater::checkFinished, this,
            [this](const UpdateCheckResult& result, bool userInitiated) {
                // Scheduled checks speak up only with good news; a dialog the user closed while
                // checking stays closed.
                if (!userInitiated && result.status != UpdateCheckResult::Status::UpdateAvailable)
                    return;
                if (userInitiated && !(m_dialog && m_dialog->isVisible()))
                    return;
                SoftwareUpdateDialog* dialog = ensureDialog();
                dialog->showResult(result);
                dialog->show();
                dialog->raise();
                dialog->activateWindow();
            });
}

SoftwareUpdatePresenter::~SoftwareUpdatePresenter()
{
    delete m_dialog;
}

SoftwareUpdateDialog* SoftwareUpdatePresenter::ensureDialog()
{
    if (!m_dialog) {
        m_dialog = new SoftwareUpdateDialog;
        m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    return m_dialog;
}

} // namespace vesk
