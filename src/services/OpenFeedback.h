#pragma once

#include <optional>

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include "CrashLogFinder.h"
#include "OFController.h"

namespace vesk {

/// The feedback front object the application menu talks to: it owns the feedback window and
/// looks for crash logs written since the last look.
class OpenFeedback : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        OFController::Options controller;
        /// The Library folders searched for logs; the user's and the computer's when empty.
        QStringList libraryFolders;
    };

    explicit OpenFeedback(QObject* parent = nullptr);
    explicit OpenFeedback(const Options& options, QObject* parent = nullptr);
    ~OpenFeedback() override;

    /// The window, made on first use.
    OFController* windowController();

    void presentFeedbackPanelForSupport();
    void presentFeedbackPanelForFeature();
    void presentFeedbackPanelForBug();
    /// When logs newer than the last check exist, opens the crash report with the newest one.
    /// Records now as the last check in any case. True when the window was opened.
    bool presentFeedbackPanelIfCrashed();

    /// When logs were last looked for (GBLastCrashCheckTime); none before the first look.
    std::optional<QDateTime> lastCrashCheckTime() const;
    void setLastCrashCheckTime(const QDateTime& date);

    QStringList crashLogsSince(const std::optional<QDateTime>& date) const;
    static std::optional<QString> latestCrashLogContents(const QStringList& paths);
    const CrashLogFinder& crashLogFinder() const { return m_finder; }

private:
    OFController::Options m_controllerOptions;
    CrashLogFinder m_finder;
    QPointer<OFController> m_windowController;
};

} // namespace vesk
