#pragma once

#include <memory>

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "AlertPresenter.h"
#include "FilePanels.h"

class QLineEdit;
class QMessageBox;

namespace vesk {
class DocumentController;
class RecordingCommandRunner;
class RecordingWorkspace;
class VeskDocument;
} // namespace vesk

namespace vesk::test {

/// Answers every alert at once and remembers what it said.
class ScriptedAlerts
{
public:
    struct Shown
    {
        Alert alert;
        QString answer;
    };

    ScriptedAlerts();
    ~ScriptedAlerts();

    /// The next alert is answered with the button titled `button` (which must exist) and the
    /// suppression box in the given state. Without queued answers the last button is chosen.
    void answer(const QString& button, bool suppress = false);

    QList<Shown> shown;
    QStringList titles() const;
    const Alert& last() const { return shown.last().alert; }
    int count() const { return int(shown.size()); }
    /// Set when an alert had no button of the queued title.
    QString problem;

private:
    QList<QPair<QString, bool>> m_answers;
};

/// Answers open, save and folder panels with queued paths (none: the panel is cancelled).
class ScriptedPanels
{
public:
    struct Asked
    {
        FilePanels::Kind kind;
        QString startPath;
    };
    ScriptedPanels();
    ~ScriptedPanels();
    void answer(const QString& path) { m_answers.append(path); }
    QList<Asked> asked;

private:
    QStringList m_answers;
};

/// A private world for one test: alerts and panels scripted, the workspace recording, vagrant
/// commands recorded instead of run, and Vagrant and VirtualBox "installed" unless told otherwise.
class EditorWorld
{
public:
    EditorWorld();
    ~EditorWorld();

    void setInstalled(bool vagrant, bool virtualBox);
    /// A folder of this world, created on demand.
    QString folder(const QString& relative = {}) const;
    /// Copies a fixture document into the world and returns its path.
    QString copyFixture(const QString& fixture, const QString& relativeTarget);

    DocumentController& controller() { return *m_controller; }
    RecordingCommandRunner& runner() { return *m_runner; }
    RecordingWorkspace& workspace() { return *m_workspace; }

    ScriptedAlerts alerts;
    ScriptedPanels panels;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<DocumentController> m_controller;
    RecordingCommandRunner* m_runner = nullptr;
    RecordingWorkspace* m_workspace = nullptr;
};

/// The real alert on screen (AlertPresenter without a responder), once it is shown; null when
/// none appears in time.
QMessageBox* shownAlert(int timeout = 5000);
/// Clicks the alert's button with that title, as the user would.
bool pressAlertButton(QMessageBox* box, const QString& title);

/// Types into a line edit as a user would (textEdited is emitted).
void typeInto(QLineEdit* field, const QString& text);

/// A document saved at `path` with a box, ports, folders and a script, its window shown.
VeskDocument* openRealisticDocument(EditorWorld& world, const QString& path);

} // namespace vesk::test
