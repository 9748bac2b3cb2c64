#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace vesk {

/// The per-user folder where the content of documents that have no file of their own is kept
/// between autosaves, so that a crash, a kill or a logout loses nothing. One file per document,
/// named by an id that the document keeps for its life; only the owner may read the folder.
class DocumentRecovery
{
public:
    struct Entry
    {
        QString id;
        QByteArray content;
    };

    /// $XDG_STATE_HOME/vesk/recovery, or ~/.local/state/vesk/recovery.
    static QString folder();
    /// A fresh id for a document.
    static QString newId();
    /// Writes the document's content atomically. False, with a reason, when it could not.
    static bool store(const QString& id, const QByteArray& content,
                      QString* errorMessage = nullptr);
    /// Forgets the document's content (saved to a file, or closed without saving).
    static void discard(const QString& id);
    /// What earlier runs left, oldest first. Unreadable entries are left where they are.
    static QList<Entry> pending();
};

} // namespace vesk
