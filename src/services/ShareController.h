#pragma once

#include <optional>

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include "ShareOutputWindowController.h"
#include "VagrantEnvironment.h"

namespace vesk {

class AtlasHelper;
class KRNTaskHelper;
class VagrantHelper;

/// Starts and ends `vagrant share` for running machines, one share window per machine. Sharing
/// needs an Atlas login; without one the login window shows instead.
class ShareController : public QObject, public ShareOutputWindowControllerDelegate
{
    Q_OBJECT

public:
    ShareController(AtlasHelper& atlas, VagrantHelper& vagrant, QObject* parent = nullptr);
    ~ShareController() override;

    /// The application's instance, over the application's Atlas and Vagrant helpers.
    static ShareController& sharedInstance();

    /// Shares the machine in a window of its own. A machine that is being shared already gets
    /// its window brought to the front instead of a second share.
    void shareEnvironment(const VagrantEnvironmentPtr& environment);
    /// Interrupts the share shown in that window (SIGINT) and closes the window at once.
    void endSharing(ShareOutputWindowController* controller) override;

    /// The share command of each machine id, kept after it ends.
    const QHash<QString, KRNTaskHelper*>& taskHelpers() const { return m_taskHelpers; }
    /// The window of the machine's current share; null when there is none.
    ShareOutputWindowController* shareWindow(const QString& machineId) const;

    /// "<vagrant> share <id>", both quoted for bash.
    static QString shareCommandLine(const QString& vagrant, const QString& machineId);
    /// The address a chunk of output announces: from the first "http://" to the end of its line
    /// (or of the chunk). None when the chunk holds no "http://".
    static std::optional<QString> urlInOutput(const QString& chunk);

private:
    void retireWindow(const QString& machineId);

    AtlasHelper& m_atlas;
    VagrantHelper& m_vagrant;
    QHash<QString, KRNTaskHelper*> m_taskHelpers;
    QHash<QString, QPointer<ShareOutputWindowController>> m_windows;
    // Ended shares' windows still open; they go when closed, or with this controller.
    QList<QPointer<ShareOutputWindowController>> m_retiredWindows;
};

} // namespace vesk
