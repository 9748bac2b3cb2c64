#pragma once

#include <functional>

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

namespace vesk {

/// What an alert says and offers. The first button is the default one.
struct Alert
{
    QMessageBox::Icon icon = QMessageBox::Warning;
    QString messageText;
    QString informativeText;
    QStringList buttons;
    /// Shown as a check box under the text when not empty.
    QString suppressionText;
    /// Blocks the whole application instead of only the window it belongs to.
    bool applicationModal = false;
};

struct AlertResponse
{
    int button = 0; // index into Alert::buttons
    bool suppressionChecked = false;
};

/// What is said when an SSH session could not be opened (no terminal, no script), with the
/// reason SSHHelper gives.
Alert sshFailureAlert(const QString& reason);

/// The one way the editor shows alerts: a window-modal sheet on the document window (or an
/// application-modal box). Tests install a responder that answers at once and sees every alert.
class AlertPresenter
{
public:
    using Completion = std::function<void(const AlertResponse&)>;
    using Responder = std::function<AlertResponse(QWidget* window, const Alert& alert)>;

    /// Shows the alert and calls `completion` (if any) once it is answered.
    static void present(QWidget* window, const Alert& alert, Completion completion = {});
    /// Shows the alert and waits for the answer. Only for questions inside a flow that is
    /// itself modal (a file panel); everything else uses `present`.
    static AlertResponse ask(QWidget* window, const Alert& alert);

    /// The box as it would be shown, not yet visible (screenshots and `present`).
    static QMessageBox* createMessageBox(QWidget* parent, const Alert& alert);

    /// Answers every following alert synchronously; an empty responder restores real boxes.
    static void setResponder(Responder responder);

    /// The wording of the suppression check box.
    static QString defaultSuppressionText();
};

} // namespace vesk
