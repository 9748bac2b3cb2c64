#pragma once

#include <QString>

#include "OutputWindowController.h"
#include "VagrantEnvironment.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace vesk {

class ShareOutputWindowController;

/// Hears when the user ends a share from its window.
class ShareOutputWindowControllerDelegate
{
public:
    virtual ~ShareOutputWindowControllerDelegate() = default;
    virtual void endSharing(ShareOutputWindowController* controller) = 0;
};

/// The window of one `vagrant share`: the command's output, the public address once the command
/// has printed it, a button to open it and one to end the share.
class ShareOutputWindowController : public OutputWindowController
{
    Q_OBJECT

public:
    explicit ShareOutputWindowController(QWidget* parent = nullptr);
    ~ShareOutputWindowController() override;

    /// Told when the user ends sharing; not owned.
    ShareOutputWindowControllerDelegate* delegate() const { return m_delegate; }
    void setDelegate(ShareOutputWindowControllerDelegate* delegate) { m_delegate = delegate; }

    VagrantEnvironmentPtr environment() const { return m_environment; }
    void setEnvironment(VagrantEnvironmentPtr environment)
    {
        m_environment = std::move(environment);
    }

    /// Shows the address and enables the open button.
    void setURL(const QString& url);
    QString URL() const;

    QLineEdit* txtURL() const { return m_txtURL; }
    QPushButton* btnOpen() const { return m_btnOpen; }
    QPushButton* btnEndSharing() const { return m_btnEndSharing; }

public Q_SLOTS:
    /// Opens the address in the user's web browser.
    void openURL();
    /// Asks the delegate to end the share.
    void endSharing();

private:
    ShareOutputWindowControllerDelegate* m_delegate = nullptr;
    VagrantEnvironmentPtr m_environment;
    QLabel* m_lblURL = nullptr;
    QLineEdit* m_txtURL = nullptr;
    QPushButton* m_btnOpen = nullptr;
    QPushButton* m_btnEndSharing = nullptr;
};

} // namespace vesk
