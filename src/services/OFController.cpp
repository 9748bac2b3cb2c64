#include "OFController.h"

#include <QLineEdit>
#include <QPointer>
#include <QShortcut>
#include <QSignalBlocker>
#include <QUrl>

#include "AlertPresenter.h"
#include "ApplicationInfo.h"
#include "BuildConfig.h"
#include "HTTPRequests.h"
#include "ui_OFController.h"

namespace vesk {

OFController::OFController(QWidget* parent) : OFController(Options(), parent) {}

OFController::OFController(const Options& options, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::OFController>()),
      m_feedbackUrl(options.feedbackUrl.isEmpty() ? QString::fromUtf8(build::feedbackUrl)
                                                  : options.feedbackUrl),
      m_appName(options.appName.isEmpty() ? applicationExecutableName() : options.appName),
      m_requests(options.requests)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::Window);

    populateEmailAddresses();
    setWindowTitle(tr("%1 Feedback").arg(applicationName()));
    m_ui->txtCrashTitle->setText(
        m_ui->txtCrashTitle->text().replace(QStringLiteral("%@"), applicationName()));
    m_ui->cboEmailAddress->lineEdit()->setPlaceholderText(tr("you@example.com"));
    m_ui->cboEmailAddress->setEnabled(m_ui->btnIncludeMyEmail->isChecked());
    QSizePolicy policy = m_ui->piStatus->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    m_ui->piStatus->setSizePolicy(policy);
    m_ui->piStatus->hide();

    connect(m_ui->tabs, &QTabWidget::currentChanged, this, &OFController::selectedTabDidChange);
    connect(m_ui->btnIncludeMyEmail, &QCheckBox::toggled, this, &OFController::chkIncludeEmail);
    for (QPlainTextEdit* text :
         {m_ui->txtQuestion, m_ui->txtFeature, m_ui->txtWhatHappened, m_ui->txtStepsToReproduce,
          m_ui->txtCrashDescription, m_ui->txtCrashStepsToReproduce})
        connect(text, &QPlainTextEdit::textChanged, this, &OFController::textDidChange);
    connect(m_ui->cboEmailAddress, &QComboBox::currentIndexChanged, this,
            &OFController::comboBoxSelectionDidChange);
    connect(m_ui->cboEmailAddress, &QComboBox::editTextChanged, this, &OFController::textDidChange);
    connect(m_ui->btnSend, &QPushButton::clicked, this, &OFController::sendFeedback);
    auto* closeShortcut = new QShortcut(QKeySequence::Close, this);
    connect(closeShortcut, &QShortcut::activated, this, &QWidget::close);

    updateSendButton();
}

OFController::~OFController() = default;

void OFController::populateEmailAddresses()
{
    // The desktop offers no contacts card of the user's own, so the box starts empty and the
    // user types the address.
    m_ui->cboEmailAddress->clear();
}

OFController::Tab OFController::selectedTab() const
{
    return Tab(m_ui->tabs->currentIndex());
}

void OFController::showFeedbackWindow()
{
    show();
    raise();
    activateWindow();
}

void OFController::presentFeedbackPanelForSupport()
{
    openTab(SupportTab);
}

void OFController::presentFeedbackPanelForFeature()
{
    openTab(FeatureTab);
}

void OFController::presentFeedbackPanelForBug()
{
    m_crashReportMode = false;
    m_ui->tabs->setTabText(BugTab, tr("Bug Report"));
    presentFeedbackPanelForBugOrCrash();
}

void OFController::presentFeedbackPanelForCrash(const QString& crashLog)
{
    m_crashReportMode = true;
    m_ui->tabs->setTabText(BugTab, tr("Crash Report"));
    m_ui->txtCrashDescription->setPlainText(
        tr("\n\n\n\nThe text below is application's crash log, please leave it unchanged to help "
           "us determine possible cause!\n\n%1")
            .arg(crashLog));
    presentFeedbackPanelForBugOrCrash();
}

void OFController::presentFeedbackPanelForBugOrCrash()
{
    openTab(BugTab);
}

void OFController::selectedTabDidChange(int index)
{
    if (index >= SupportTab && index <= BugTab)
        openTab(Tab(index));
}

void OFController::openTab(Tab tab)
{
    showFeedbackWindow();
    {
        const QSignalBlocker blocker(m_ui->tabs);
        m_ui->tabs->setCurrentIndex(tab);
    }
    QPlainTextEdit* first = nullptr;
    switch (tab) {
    case SupportTab:
        first = m_ui->txtQuestion;
        break;
    case FeatureTab:
        first = m_ui->txtFeature;
        break;
    case BugTab:
        m_ui->tabView->setCurrentWidget(m_crashReportMode ? m_ui->viewCrash : m_ui->viewBug);
        first = m_crashReportMode ? m_ui->txtCrashDescription : m_ui->txtWhatHappened;
        break;
    }
    updateSendButton();
    if (first) {
        first->setFocus();
        // The crash log follows the blank lines left for the user's own words.
        first->moveCursor(QTextCursor::Start);
    }
}

void OFController::chkIncludeEmail()
{
    m_ui->cboEmailAddress->setEnabled(m_ui->btnIncludeMyEmail->isChecked());
    updateSendButton();
}

void OFController::textDidChange()
{
    updateSendButton();
}

void OFController::comboBoxSelectionDidChange()
{
    updateSendButton();
}

bool OFController::sendButtonIsEnabled() const
{
    if (m_sending)
        return false;
    QString mainText;
    switch (selectedTab()) {
    case SupportTab:
        mainText = m_ui->txtQuestion->toPlainText();
        break;
    case FeatureTab:
        mainText = m_ui->txtFeature->toPlainText();
        break;
    case BugTab:
        mainText = m_crashReportMode ? m_ui->txtCrashDescription->toPlainText()
                                     : m_ui->txtWhatHappened->toPlainText();
        break;
    }
    if (mainText.isEmpty())
        return false;
    return !m_ui->btnIncludeMyEmail->isChecked() || !m_ui->cboEmailAddress->currentText().isEmpty();
}

void OFController::updateSendButton()
{
    m_ui->btnSend->setEnabled(sendButtonIsEnabled());
}

FeedbackReport OFController::currentReport() const
{
    FeedbackReport report;
    report.appName = m_appName;
    report.appVersion = applicationVersion();
    report.systemVersion = operatingSystemVersion();
    if (m_ui->btnIncludeMyEmail->isChecked())
        report.email = m_ui->cboEmailAddress->currentText();
    switch (selectedTab()) {
    case SupportTab:
        report.type = QStringLiteral("support");
        report.message = m_ui->txtQuestion->toPlainText();
        break;
    case FeatureTab:
        report.type = QStringLiteral("feature");
        report.message = m_ui->txtFeature->toPlainText();
        report.importance = m_ui->btnImportance->currentText();
        break;
    case BugTab:
        report.type = QStringLiteral("bug");
        if (m_crashReportMode) {
            report.message = crashReportMessage(m_ui->txtCrashDescription->toPlainText(),
                                                m_ui->txtCrashStepsToReproduce->toPlainText());
            report.critical = true;
        } else {
            report.message = bugReportMessage(m_ui->txtWhatHappened->toPlainText(),
                                              m_ui->txtStepsToReproduce->toPlainText());
            report.critical = m_ui->btnIsCritical->isChecked();
        }
        break;
    }
    return report;
}

void OFController::setSending(bool sending)
{
    m_sending = sending;
    m_ui->piStatus->setVisible(sending);
    updateSendButton();
}

void OFController::sendFeedback()
{
    if (!sendButtonIsEnabled())
        return;
    setSending(true);
    const QByteArray body = encodeFeedbackBody(feedbackFields(currentReport()));
    HTTPRequests& requests = m_requests ? *m_requests : HTTPRequests::shared();
    const QPointer<OFController> self(this);
    requests.rawPost(
        QUrl(m_feedbackUrl), body, feedbackHeaders(body),
        [self](int, const QByteArray&) {
            if (self)
                self->feedbackFinished();
        },
        [self](const HTTPError&) {
            if (self)
                self->feedbackFailed();
        });
}

void OFController::feedbackFinished()
{
    setSending(false);
    Alert alert;
    alert.icon = QMessageBox::Information;
    alert.messageText = tr("Feedback Sent");
    alert.informativeText = tr("Your feedback has been sent successfully. Thank you!");
    alert.buttons = {tr("OK")};
    // The crash texts stay: they belong to the crash, not to what was just sent.
    for (QPlainTextEdit* text :
         {m_ui->txtQuestion, m_ui->txtFeature, m_ui->txtWhatHappened, m_ui->txtStepsToReproduce})
        text->clear();
    const QPointer<OFController> self(this);
    AlertPresenter::present(this, alert, [self](const AlertResponse&) {
        if (self)
            self->close();
    });
}

void OFController::feedbackFailed()
{
    setSending(false);
    Alert alert;
    alert.icon = QMessageBox::Warning;
    alert.messageText = tr("Can't Send Feedback");
    alert.informativeText = tr("We were unable to send your feedback. Please check your internet "
                               "connection and try again.");
    alert.buttons = {tr("OK")};
    AlertPresenter::present(this, alert);
}

} // namespace vesk
