#pragma once

#include <memory>

#include <QString>
#include <QWidget>

#include "FeedbackRequest.h"

namespace Ui {
class OFController;
}

namespace vesk {

class HTTPRequests;
class OpenFeedback;

/// The feedback window: a support question, a feature request, or a bug report (which becomes a
/// crash report with the crash log when the application crashed last time), sent as a form to
/// the maker's feedback address.
class OFController : public QWidget
{
    Q_OBJECT

public:
    enum Tab { SupportTab = 0, FeatureTab = 1, BugTab = 2 };

    struct Options
    {
        /// Where feedback is posted; the build's own address when empty.
        QString feedbackUrl;
        /// The application as the report names it; the executable's name when empty.
        QString appName;
        /// The HTTP layer to send through; the process-wide one when null.
        HTTPRequests* requests = nullptr;
    };

    explicit OFController(QWidget* parent = nullptr);
    explicit OFController(const Options& options, QWidget* parent = nullptr);
    ~OFController() override;

    OpenFeedback* openFeedback() const { return m_openFeedback; }
    void setOpenFeedback(OpenFeedback* openFeedback) { m_openFeedback = openFeedback; }

    /// Open the window on a tab, in front, with the focus in the tab's first text.
    void presentFeedbackPanelForSupport();
    void presentFeedbackPanelForFeature();
    /// The third tab as a bug report.
    void presentFeedbackPanelForBug();
    /// The third tab as a crash report, its description holding the crash log.
    void presentFeedbackPanelForCrash(const QString& crashLog);
    /// The third tab in its current mode.
    void presentFeedbackPanelForBugOrCrash();
    void showFeedbackWindow();

    bool crashReportMode() const { return m_crashReportMode; }
    Tab selectedTab() const;
    /// The current tab's main text is not empty and, when the address is to be included, the
    /// address is not empty either (and nothing is being sent).
    bool sendButtonIsEnabled() const;
    /// The user's own addresses; without a contacts service of the desktop there are none.
    void populateEmailAddresses();

    /// What Send would post now.
    FeedbackReport currentReport() const;
    bool isSending() const { return m_sending; }

public Q_SLOTS:
    void sendFeedback();
    void selectedTabDidChange(int index);
    void chkIncludeEmail();
    void textDidChange();
    void comboBoxSelectionDidChange();

private:
    void openTab(Tab tab);
    void updateSendButton();
    void setSending(bool sending);
    void feedbackFinished();
    void feedbackFailed();

    std::unique_ptr<Ui::OFController> m_ui;
    OpenFeedback* m_openFeedback = nullptr;
    QString m_feedbackUrl;
    QString m_appName;
    HTTPRequests* m_requests = nullptr;
    bool m_crashReportMode = false;
    bool m_sending = false;
};

} // namespace vesk
