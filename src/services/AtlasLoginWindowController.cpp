#include "AtlasLoginWindowController.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QShortcut>
#include <QUrl>

#include "AlertPresenter.h"
#include "AtlasHelper.h"
#include "Icons.h"
#include "Workspace.h"
#include "ui_AtlasLoginWindowController.h"

namespace vesk {

AtlasLoginWindowController::AtlasLoginWindowController(AtlasHelper& helper, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::AtlasLoginWindowController>()), m_helper(helper)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::Window);
    m_ui->lblIcon->setPixmap(veskIcon(QStringLiteral("vesk")).pixmap(48, 48));
    QFont titleFont = m_ui->lblTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.15);
    m_ui->lblTitle->setFont(titleFont);
    m_ui->lblMessage->setForegroundRole(QPalette::PlaceholderText);
    // Keeps its place while hidden, so the buttons do not jump when a login starts.
    QSizePolicy policy = m_ui->spinner->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    m_ui->spinner->setSizePolicy(policy);
    m_ui->spinner->hide();

    connect(m_ui->btnLogin, &QPushButton::clicked, this, &AtlasLoginWindowController::login);
    connect(m_ui->btnSignUp, &QPushButton::clicked, this, &AtlasLoginWindowController::signUp);
    connect(m_ui->txtUsername, &QLineEdit::returnPressed, m_ui->txtPassword,
            qOverload<>(&QWidget::setFocus));
    connect(m_ui->txtPassword, &QLineEdit::returnPressed, this, &AtlasLoginWindowController::login);
    auto* closeShortcut = new QShortcut(QKeySequence::Close, this);
    connect(closeShortcut, &QShortcut::activated, this, &QWidget::close);

    setFixedSize(sizeHint().expandedTo(QSize(440, 0)));
    m_ui->txtUsername->setFocus();
}

AtlasLoginWindowController::~AtlasLoginWindowController() = default;

QLineEdit* AtlasLoginWindowController::txtUsername() const
{
    return m_ui->txtUsername;
}

QLineEdit* AtlasLoginWindowController::txtPassword() const
{
    return m_ui->txtPassword;
}

QPushButton* AtlasLoginWindowController::btnLogin() const
{
    return m_ui->btnLogin;
}

QPushButton* AtlasLoginWindowController::btnSignUp() const
{
    return m_ui->btnSignUp;
}

QProgressBar* AtlasLoginWindowController::spinner() const
{
    return m_ui->spinner;
}

void AtlasLoginWindowController::setNetworkActivity(bool active)
{
    m_networkActivity = active;
    if (active)
        m_ui->txtUsername->setFocus();
    m_ui->txtUsername->setEnabled(!active);
    m_ui->txtPassword->setEnabled(!active);
    m_ui->btnLogin->setEnabled(!active);
    m_ui->spinner->setVisible(active);
}

void AtlasLoginWindowController::login()
{
    if (m_networkActivity)
        return;
    setNetworkActivity(true);
    const QPointer<AtlasLoginWindowController> self(this);
    m_helper.loginToAtlasWithUsername(
        m_ui->txtUsername->text(), m_ui->txtPassword->text(),
        [self] {
            if (self)
                self->loginSucceeded();
        },
        [self] {
            if (self)
                self->loginFailed();
        });
}

void AtlasLoginWindowController::loginSucceeded()
{
    setNetworkActivity(false);
    Alert alert;
    alert.icon = QMessageBox::Information;
    alert.messageText = tr("Logged Into Atlas");
    alert.informativeText =
        tr("You are now logged into Hashicorp Atlas and can share your virtual machines.");
    alert.buttons = {tr("OK")};
    const QPointer<AtlasLoginWindowController> self(this);
    AlertPresenter::present(this, alert, [self](const AlertResponse&) {
        if (self)
            self->close();
    });
}

void AtlasLoginWindowController::loginFailed()
{
    setNetworkActivity(false);
    Alert alert;
    alert.icon = QMessageBox::Information;
    alert.messageText = tr("Could Not Sign Into Atlas");
    alert.informativeText =
        tr("An error occurred while attempting to sign into Atlas. Please try again.");
    alert.buttons = {tr("OK")};
    AlertPresenter::present(this, alert);
}

void AtlasLoginWindowController::signUp()
{
    Workspace::shared().openUrl(QUrl(m_helper.signUpUrl()));
}

void AtlasLoginWindowController::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT windowClosed();
}

void AtlasLoginWindowController::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace vesk
