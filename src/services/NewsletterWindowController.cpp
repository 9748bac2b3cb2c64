#include "NewsletterWindowController.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

#include "AlertPresenter.h"
#include "ApplicationInfo.h"
#include "BuildConfig.h"
#include "HTTPRequests.h"
#include "Icons.h"
#include "UserDefaults.h"
#include "ui_NewsletterWindowController.h"

namespace vesk {

NewsletterWindowController::NewsletterWindowController(QWidget* parent)
    : NewsletterWindowController(Options(), parent)
{
}

NewsletterWindowController::NewsletterWindowController(const Options& options, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::NewsletterWindowController>()),
      m_host(options.host.isEmpty() ? QString::fromUtf8(build::newsletterHost) : options.host),
      m_list(options.list.isEmpty() ? QString::fromUtf8(build::newsletterList) : options.list),
      m_requests(options.requests)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::Window);
    setWindowTitle(tr("%1 Newsletter").arg(applicationName()));
    m_ui->lblIcon->setPixmap(veskIcon(QStringLiteral("vesk")).pixmap(48, 48));
    QFont titleFont = m_ui->lblTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.15);
    m_ui->lblTitle->setFont(titleFont);
    m_ui->lblTitle->setText(tr("Subscribe to the %1 newsletter").arg(applicationName()));
    m_ui->lblMessage->setForegroundRole(QPalette::PlaceholderText);
    QSizePolicy policy = m_ui->spinner->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    m_ui->spinner->setSizePolicy(policy);
    m_ui->spinner->hide();

    connect(m_ui->subscribeButton, &QPushButton::clicked, this,
            &NewsletterWindowController::subscribe);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &NewsletterWindowController::cancel);
    connect(m_ui->emailTextField, &QLineEdit::returnPressed, this,
            &NewsletterWindowController::subscribe);
    auto* closeShortcut = new QShortcut(QKeySequence::Close, this);
    connect(closeShortcut, &QShortcut::activated, this, &QWidget::close);

    setFixedSize(sizeHint().expandedTo(QSize(440, 0)));
    m_ui->emailTextField->setFocus();
}

NewsletterWindowController::~NewsletterWindowController() = default;

QLineEdit* NewsletterWindowController::emailTextField() const
{
    return m_ui->emailTextField;
}

QPushButton* NewsletterWindowController::subscribeButton() const
{
    return m_ui->subscribeButton;
}

QPushButton* NewsletterWindowController::cancelButton() const
{
    return m_ui->cancelButton;
}

QProgressBar* NewsletterWindowController::spinner() const
{
    return m_ui->spinner;
}

NewsletterWindowController::Reply
NewsletterWindowController::replyKind(const std::optional<QString>& text)
{
    if (!text)
        return Reply::Failed;
    if (*text == QStringLiteral("1"))
        return Reply::Subscribed;
    if (*text == QStringLiteral("Already subscribed."))
        return Reply::AlreadySubscribed;
    if (*text == QStringLiteral("Invalid email address."))
        return Reply::InvalidAddress;
    return Reply::Failed;
}

QVariantMap NewsletterWindowController::subscriptionParameters(const QString& email,
                                                               const QString& list)
{
    return {{QStringLiteral("email"), email},
            {QStringLiteral("list"), list},
            {QStringLiteral("boolean"), QStringLiteral("true")}};
}

QString NewsletterWindowController::senderAddress()
{
    return QStringLiteral("newsletter@") + QUrl(QString::fromUtf8(build::productSite)).host();
}

void NewsletterWindowController::subscribe()
{
    if (m_sending)
        return;
    const QString email = m_ui->emailTextField->text().trimmed();
    if (email.isEmpty()) {
        Alert alert;
        alert.icon = QMessageBox::Warning;
        alert.messageText = tr("Please Enter Your Email Address");
        alert.informativeText = tr("You must enter a valid email address to subscribe.");
        alert.buttons = {tr("OK")};
        AlertPresenter::present(this, alert);
        return;
    }

    setSending(true);
    const QPointer<NewsletterWindowController> self(this);
    // The answer is evaluated even when the window has gone meanwhile (cancel), so the
    // preference is written all the same.
    auto answer = [self](const std::optional<QString>& text) {
        const Reply reply = replyKind(text);
        if (reply == Reply::Subscribed || reply == Reply::AlreadySubscribed)
            UserDefaults::standard().setValue(kNewsletterSubscribed, true);
        if (!self)
            return;
        self->setSending(false);
        self->m_ui->emailTextField->setFocus();
        QTimer::singleShot(0, self, [self, reply] {
            if (self)
                self->showReply(reply);
        });
    };
    HTTPRequests& requests = m_requests ? *m_requests : HTTPRequests::shared();
    requests.postForText(
        m_host + QStringLiteral("/subscribe"), subscriptionParameters(email, m_list),
        [answer](const std::optional<QString>& text, int) { answer(text); },
        [answer](const HTTPError&) { answer(std::nullopt); });
}

void NewsletterWindowController::setSending(bool sending)
{
    m_sending = sending;
    m_ui->emailTextField->setEnabled(!sending);
    m_ui->subscribeButton->setEnabled(!sending);
    m_ui->spinner->setVisible(sending);
}

void NewsletterWindowController::showReply(Reply reply)
{
    Alert alert;
    alert.buttons = {tr("OK")};
    bool closeAfterwards = false;
    switch (reply) {
    case Reply::Subscribed:
        alert.icon = QMessageBox::Information;
        alert.messageText = tr("Success!");
        alert.informativeText = tr("You have been successfully subscribed to our newsletter. "
                                   "Thanks for your interest!");
        closeAfterwards = true;
        break;
    case Reply::AlreadySubscribed:
        alert.icon = QMessageBox::Information;
        alert.messageText = tr("That email address is already subscribed.");
        alert.informativeText =
            tr("Your email address is already a member of our newsletter. If you're not "
               "receiving our emails, please check your spam folder.") +
            u' ' + tr("Our newsletter is sent from %1.").arg(senderAddress());
        break;
    case Reply::InvalidAddress:
        alert.icon = QMessageBox::Warning;
        alert.messageText = tr("Invalid email address.");
        alert.informativeText = tr("The email address you entered is not valid.");
        break;
    case Reply::Failed:
        alert.icon = QMessageBox::Warning;
        alert.messageText = tr("Oops! Something went wrong.");
        alert.informativeText =
            tr("We encountered an error when trying to subscribe you. Try again?");
        break;
    }
    const QPointer<NewsletterWindowController> self(this);
    AlertPresenter::present(this, alert, [self, closeAfterwards](const AlertResponse&) {
        if (self && closeAfterwards)
            self->close();
    });
}

void NewsletterWindowController::cancel()
{
    close();
}

void NewsletterWindowController::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT windowClosed();
}

void NewsletterWindowController::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cancel();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace vesk
