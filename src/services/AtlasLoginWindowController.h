#pragma once

#include <memory>

#include <QWidget>

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace Ui {
class AtlasLoginWindowController;
}

namespace vesk {

class AtlasHelper;

/// The Atlas login window: user name, password, Sign In (busy while the request runs) and a
/// button to the sign-up page. On success it tells the user and closes.
class AtlasLoginWindowController : public QWidget
{
    Q_OBJECT

public:
    explicit AtlasLoginWindowController(AtlasHelper& helper, QWidget* parent = nullptr);
    ~AtlasLoginWindowController() override;

    /// Busy: focus to the user name, the fields and the button disabled, the spinner running.
    void setNetworkActivity(bool active);
    bool networkActivity() const { return m_networkActivity; }

    QLineEdit* txtUsername() const;
    QLineEdit* txtPassword() const;
    QPushButton* btnLogin() const;
    QPushButton* btnSignUp() const;
    QProgressBar* spinner() const;

public Q_SLOTS:
    /// Sends the two fields' texts, as typed, to Atlas.
    void login();
    /// Opens the Atlas sign-up page in the browser.
    void signUp();

Q_SIGNALS:
    void windowClosed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void loginSucceeded();
    void loginFailed();

    std::unique_ptr<Ui::AtlasLoginWindowController> m_ui;
    AtlasHelper& m_helper;
    bool m_networkActivity = false;
};

} // namespace vesk
