#pragma once

#include <memory>

#include <QList>
#include <QString>
#include <QUrl>

namespace vesk {

/// What the desktop does for us: open addresses and files, run a script in a terminal.
/// The application uses `shared()`; tests replace it with a RecordingWorkspace.
class Workspace
{
public:
    virtual ~Workspace() = default;

    /// Opens a web address or file URL with its default application. With `activate` false the
    /// application is asked not to come to the front (where the desktop allows it).
    virtual bool openUrl(const QUrl& url, bool activate = true) = 0;
    /// Opens a local file with its default application.
    virtual bool openFile(const QString& path) = 0;
    /// Shows the file in the file manager.
    virtual bool revealFile(const QString& path) = 0;
    /// Runs an executable script in the user's terminal emulator, in a window of its own. On
    /// failure returns false and, when asked, a readable reason (what was tried, what to do).
    virtual bool runInTerminal(const QString& scriptPath, QString* errorMessage = nullptr) = 0;

    static Workspace& shared();
    /// Replaces the shared workspace (tests); passing nullptr restores the desktop one.
    static void setShared(std::unique_ptr<Workspace> workspace);
};

/// The desktop's own workspace.
class DesktopWorkspace : public Workspace
{
public:
    bool openUrl(const QUrl& url, bool activate = true) override;
    bool openFile(const QString& path) override;
    bool revealFile(const QString& path) override;
    bool runInTerminal(const QString& scriptPath, QString* errorMessage = nullptr) override;
};

/// Records every request and performs none of them.
class RecordingWorkspace : public Workspace
{
public:
    struct Call
    {
        QString kind; // "openUrl", "openFile", "revealFile", "runInTerminal"
        QString target;
        bool activate = true;
    };

    bool openUrl(const QUrl& url, bool activate = true) override;
    bool openFile(const QString& path) override;
    bool revealFile(const QString& path) override;
    bool runInTerminal(const QString& scriptPath, QString* errorMessage = nullptr) override;

    QList<Call> calls;
    bool result = true;
};

} // namespace vesk
