#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QObject>
#include <QPointer>
#include <QString>

#include "DataModel.h"

class QAction;
class QDialog;
class QFileSystemWatcher;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTimer;
class QWidget;
class QsciScintilla;

namespace vesk {

struct Alert;

class BootstrapViewController;
class BoxPickerSheet;
class DocumentController;
class VagrantFileViewController;
class OutputWindowController;
class VeskDocumentWindowController;
class VeskViewController;

/// One open .vesk document: its model, its window with the three tabs, and the window's commands.
///
/// The editors, not the model, hold what the user types: `loadUIIntoDataModel` copies the
/// controls into the model before anything reads it (saving, the preview, export, list edits)
/// and `loadDataModelIntoUI` refills the controls when the model changed underneath them.
class VeskDocument : public QObject
{
    Q_OBJECT

public:
    enum class ChangeType { Done, Cleared };

    /// A document with a fresh model; the controller then makes it new or reads a file into it.
    explicit VeskDocument(DocumentController* controller);
    ~VeskDocument() override;

    /// A new, untitled document named `displayName`, starting with the provisioning template.
    void setupForNewDocument(const QString& displayName);
    /// Reads the file into the model. On failure returns false with a short reason.
    bool readFromFile(const QString& path, QString* errorMessage);
    /// Builds the window's content; the window is shown by the caller.
    void makeWindowControllers();

    DataModel* dataModel() const { return m_dataModel.get(); }
    VeskViewController* vcVesk() const;
    BootstrapViewController* vcBoot() const;
    VagrantFileViewController* vcVagFile() const;
    VeskDocumentWindowController* window() const;
    DocumentController* controller() const { return m_controller; }

    /// Where the document is stored; nothing for an untitled document.
    std::optional<QString> fileName() const { return m_fileName; }
    /// The name in the window title: the file name, or "Untitled", "Untitled 2" ...
    QString displayName() const;
    bool isDocumentEdited() const { return m_changeCount != 0; }
    void updateChangeCount(ChangeType type);
    bool documentWasOpenedSoOnceDoneLoadingUICheckForUpdates() const
    {
        return m_documentWasOpenedSoOnceDoneLoadingUICheckForUpdates;
    }

    /// The file content: the controls copied into the model, then the model's bytes.
    QByteArray dataOfType();
    bool readFromData(const QByteArray& data, QString* errorMessage = nullptr);

    /// Saves to the document's file, or asks where for an untitled one. True when written.
    bool saveDocument();
    /// Asks where, then saves there; the document moves to the new file. True when written.
    bool saveDocumentAs();
    /// Writes the document to `path`. A failure is reported in an alert naming the file and the
    /// reason, and the document stays edited. True when written.
    bool writeToPath(const QString& path);
    /// Writes pending changes: to the document's own file when it has one that nobody else
    /// changed, otherwise into the recovery folder.
    void autosave();

    /// How the file on disk stands with what this window last read or wrote there.
    enum class DiskState {
        InSync,
        /// Another program changed it and the question which version to keep is open (or the
        /// new content cannot be read as a document).
        ChangedElsewhere,
        /// It was moved or deleted; the content lives on in this window (and in recovery).
        Missing,
    };
    DiskState diskState() const { return m_diskState; }
    /// Looks at the file now rather than when the watcher next reports.
    void checkFileOnDisk();

    /// A new, untitled, edited document with content kept by an earlier run.
    bool restoreFromRecovery(const QString& recoveryId, const QByteArray& content,
                             const QString& displayName, QString* errorMessage = nullptr);
    /// Where this document's content is kept while it has no file to be written to.
    QString recoveryId() const { return m_recoveryId; }
    /// The session ends: no question may be asked. Unsaved work of a document with a file is
    /// written there (when nobody else changed it), everything else goes to the recovery
    /// folder. The window stays as it is.
    void preserveForSessionEnd();
    /// The line at the top of the window that says what happened to the document; empty when
    /// hidden.
    QString bannerText() const;

    /// Decides whether the document may close: unsaved edits of a document with a file are
    /// written, those of an untitled one need Save / Don't Save / Cancel. Calls `completion` with
    /// true when nothing would be lost (or the user chose to drop it).
    void canClose(std::function<void(bool shouldClose)> completion);
    /// Closes the window and the document once `canClose` agrees; `completion` says if it did.
    void close(std::function<void(bool closed)> completion = {});

    void loadDataModelIntoUI();
    void loadUIIntoDataModel();
    void addDataModelObservers();
    void removeDataModelObservers();
    /// Takes a new model as a whole (remote updates): observers move over, the controls refill.
    void replaceDataModel(std::unique_ptr<DataModel> model);

    // Tabs.
    void showVesk();
    void showBootstrap();
    void showVagrantFile();
    void showView(QWidget* view);
    void addViewToContainer(QWidget* view);

    // Sheets of this window.
    void editVagrantfilePreamble();
    void savePreamble();
    void editRemoteURL();
    void saveRemoteURL();
    void remoteURLHelp();
    void checkForDocumentUpdates();
    void checkForUpdatesAutomatically(bool automatic);

    // Commands.
    /// Writes the Vagrantfile and bootstrap.sh and shows the progress sheet; a write failure is
    /// reported instead of the sheet. True when both files were written.
    bool exportVagrantfile();
    /// Exports only when the document's folder has no Vagrantfile. False when an export failed.
    bool exportVagrantfileToCurrentFolderIfNoneExists();
    void displayFakeExporter();
    void timerFakeExporter();
    /// Runs vagrant validate on what the document would export, in an output window.
    void check();
    /// Brings the machine up; first checks the document when its Ruby lines changed since the
    /// last check that passed, and stops at a failed check.
    void up();
    void reload();
    void SSH();
    /// True when Up would check first.
    bool upNeedsCheck();
    bool componentsCheck();
    bool fileLocationIsAGoodPath();
    /// The name shown for a folder in which machines must not be brought up, if it is one.
    static std::optional<QString> forbiddenFolderName(const QString& folder);

    void addPortForward();
    void confirmPortForward();
    void cancelPortForward();
    void removePortForward();
    void addSyncedDirectory();
    void chooseDirectory();
    void confirmDirectory();
    void cancelDirectory();
    void removeSyncedDirectory();
    void chooseBox();
    void cancelBox();

    // Outlets.
    QDialog* sheetPreamble() const;
    QsciScintilla* acePreamble() const;
    QDialog* sheetRemoteURL() const;
    QLineEdit* txtRemoteURL() const;
    QLineEdit* txtRevisionNumber() const;
    QDialog* sheetFlush() const;
    QProgressBar* piFlush() const;
    QLabel* txtFlush() const;
    QDialog* sheetPortForward() const;
    QLineEdit* txtPortFrom() const;
    QLineEdit* txtPortTo() const;
    QDialog* sheetSyncDirectory() const;
    QLineEdit* txtFromDirectory() const;
    QLineEdit* txtToDirectory() const;
    BoxPickerSheet* boxPicker() const;
    /// A window command by object name, e.g. "actionExport".
    QAction* action(const QString& objectName) const;

    /// NSString-style integer value: optional blanks and sign, then leading decimal digits;
    /// text without digits gives 0; values beyond 32 bits are clamped.
    static int intValue(const QString& text);

Q_SIGNALS:
    void editedChanged(bool edited);
    void fileNameChanged(const QString& path);
    /// The document was written to `path` (save, save as or autosave).
    void saved(const QString& path);
    void closed();

private:
    struct Sheets;

    void setupForAllDocuments();
    void windowControllerDidLoadNib();
    void buildSheets();
    void buildMenusAndToolbar();
    void updateWindowTitle();
    void controlDidChange(const QVariant& sender);
    void userTypedInEditor();
    void showUnsavedDocumentAlert(const QString& informativeText);
    bool writeContent(const QString& path, const QByteArray& data, QString* reason);
    void showWriteFailure(const QString& path, const QString& reason);
    void askSaveOrDrop(const Alert& alert, bool (VeskDocument::*save)(),
                       std::function<void(bool)> completion);
    void askBeforeClosingAfterWriteFailure(const QString& reason,
                                           std::function<void(bool)> completion);
    void askAboutExternalChange(std::function<void(bool)> completion);
    bool reloadFromDisk(const QByteArray& data);
    void refreshDiskState(bool askWhenChanged);
    void noteOpenSheetEdits();
    void watchFile();
    void rememberDiskContent(const QByteArray& data);
    bool storeRecovery();
    void showBanner(const QString& text);
    void showComponentAlert(bool virtualBox);
    void setTabTitles(QWidget* selected);
    /// A passed check that only leads on to Up is not announced on the desktop.
    void runCheck(bool announceSuccess,
                  std::function<void(bool passed, OutputWindowController* window)> completion);
    void continueUp(bool linesChanged);
    /// The lines of free Ruby the check is about: the preamble and the additional lines.
    QString rubyLines() const;

    DocumentController* m_controller;
    std::unique_ptr<DataModel> m_dataModel;
    QPointer<VeskViewController> m_vcVesk;
    QPointer<BootstrapViewController> m_vcBoot;
    QPointer<VagrantFileViewController> m_vcVagFile;
    QPointer<VeskDocumentWindowController> m_window;
    std::unique_ptr<Sheets> m_sheets;
    QPointer<BoxPickerSheet> m_boxPicker;
    QTimer* m_autosaveTimer = nullptr;
    QTimer* m_flushTimer = nullptr;
    std::optional<QString> m_fileName;
    QString m_untitledName;
    int m_changeCount = 0;
    int m_flushProgress = 0;
    bool m_loadingUI = false;
    bool m_autosaveFailureShown = false;
    bool m_documentWasOpenedSoOnceDoneLoadingUICheckForUpdates = false;
    QList<QMetaObject::Connection> m_modelConnections;
    QString m_recoveryId;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_diskCheckTimer = nullptr;
    QByteArray m_diskDigest; // of the bytes last read from or written to the file
    DiskState m_diskState = DiskState::InSync;
    bool m_externalChangeAsked = false;
    QList<std::function<void(bool)>> m_externalChangeWaiters;
    bool m_restored = false;
    std::optional<QString> m_lastPassedRubyLines;
    bool m_checkBeforeUpRunning = false;
    QFrame* m_banner = nullptr;
    QLabel* m_bannerLabel = nullptr;
};

} // namespace vesk
