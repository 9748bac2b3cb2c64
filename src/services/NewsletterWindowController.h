#pragma once

#include <memory>
#include <optional>

#include <QString>
#include <QVariantMap>
#include <QWidget>

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace Ui {
class NewsletterWindowController;
}

namespace vesk {

class HTTPRequests;

/// The newsletter window: one address, sent to the mailing-list service, whose short answer
/// decides what the user is told. A confirmed (or existing) subscription is remembered.
class NewsletterWindowController : public QWidget
{
    Q_OBJECT

public:
    struct Options
    {
        /// The mailing-list service; the build's own when empty.
        QString host;
        /// The list's identifier; the build's own when empty.
        QString list;
        /// The HTTP layer to send through; the process-wide one when null.
        HTTPRequests* requests = nullptr;
    };

    /// How the service answered.
    enum class Reply { Subscribed, AlreadySubscribed, InvalidAddress, Failed };

    explicit NewsletterWindowController(QWidget* parent = nullptr);
    explicit NewsletterWindowController(const Options& options, QWidget* parent = nullptr);
    ~NewsletterWindowController() override;

    /// The reply text compared exactly (no trimming, case-sensitive); none is a failure.
    static Reply replyKind(const std::optional<QString>& text);
    /// The form fields: email, list, boolean = "true".
    static QVariantMap subscriptionParameters(const QString& email, const QString& list);
    /// The address the newsletter is sent from, named in the "already subscribed" alert.
    static QString senderAddress();

    QLineEdit* emailTextField() const;
    QPushButton* subscribeButton() const;
    QPushButton* cancelButton() const;
    QProgressBar* spinner() const;
    bool isSending() const { return m_sending; }

public Q_SLOTS:
    /// Checks the address is not blank and sends it.
    void subscribe();
    /// Closes the window; a request under way still has its answer evaluated.
    void cancel();

Q_SIGNALS:
    void windowClosed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setSending(bool sending);
    void showReply(Reply reply);

    std::unique_ptr<Ui::NewsletterWindowController> m_ui;
    QString m_host;
    QString m_list;
    HTTPRequests* m_requests = nullptr;
    bool m_sending = false;
};

} // namespace vesk
