#pragma once

#include <functional>
#include <optional>

#include <QString>
#include <QStringList>

class QWidget;

namespace vesk {

/// Open and save panels of the editor. Tests install a responder that answers without a dialog.
class FilePanels
{
public:
    enum class Kind { OpenDocuments, SaveDocument, ChooseFolder };

    /// Receives the panel kind and the path it starts at; returns the chosen paths, none when
    /// the user cancelled.
    using Responder = std::function<QStringList(Kind kind, const QString& startPath)>;

    /// .vesk files to open; empty when cancelled.
    static QStringList openDocuments(QWidget* parent, const QString& startFolder);
    /// Where to save a document, ".vesk" appended when missing; nothing when cancelled.
    static std::optional<QString> saveDocument(QWidget* parent, const QString& suggestedPath);
    /// One existing folder (new ones may be created in the panel); nothing when cancelled.
    static std::optional<QString> chooseFolder(QWidget* parent, const QString& startFolder);

    static void setResponder(Responder responder);
};

} // namespace vesk
