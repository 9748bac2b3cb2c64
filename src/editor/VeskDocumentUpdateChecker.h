#pragma once

#include <memory>
#include <optional>

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include "DataModel.h"

namespace vesk {

class HTTPRequests;
class UserDefaults;
class VeskDocumentUpdateChecker;

/// "Ignore All Future Updates" stores this revision.
inline constexpr qint64 kIgnoreAllFutureUpdates = 999999999;

/// Receives the one result of an update check. Only the new-version answer is required.
class VeskDocumentUpdateCheckerDelegate
{
public:
    virtual ~VeskDocumentUpdateCheckerDelegate() = default;

    /// A newer, not ignored revision of the same document; `data` is the remote document.
    virtual void newVersionAvilableForUpdateChecker(VeskDocumentUpdateChecker* checker,
                                                    const QByteArray& data) = 0;
    /// Same document, but not newer, or ignored.
    virtual void noUpdateAvailableForUpdateChecker(VeskDocumentUpdateChecker*) {}
    /// The remote copy is a valid document with another UUID.
    virtual void mismatchedUUIDForUpdateChecker(VeskDocumentUpdateChecker*) {}
    /// No reply at all (connection, host, time-out, malformed URL).
    virtual void updateCheckFailedForUpdateChecker(VeskDocumentUpdateChecker*) {}
    /// The model has no remote URL, or an empty one; no request was made.
    virtual void noRemoteURLDefinedForUpdateCheker(VeskDocumentUpdateChecker*) {}
    /// The fetched text is not a valid document.
    virtual void loadedVeskDocumentWasInvalidForUpdateChecker(VeskDocumentUpdateChecker*) {}
};

/// The outcome of comparing a fetched text with the local document.
enum class UpdateDecision { InvalidDocument, MismatchedUUID, NoUpdate, NewVersion };

struct UpdateDecisionResult
{
    UpdateDecision decision = UpdateDecision::InvalidDocument;
    /// The remote revision, once the remote copy parsed and its UUID matched.
    std::optional<qint64> foundVersion;
};

/// The decision step, without a network or preferences. `text` is the fetched body (nullopt when
/// it was not UTF-8); `ignoredRevision` is the ignore-list entry of the local UUID. A local
/// document without a revision counts as revision 1, the revision of every fresh document.
UpdateDecisionResult decideUpdate(const std::optional<QString>& text, const QString& localUUID,
                                  std::optional<qint64> localRevision,
                                  std::optional<qint64> ignoredRevision);

/// One update check of one document: fetches its remote URL, decides, tells the delegate once.
/// Main thread only. The checker deletes itself (later) once it has told its delegate, unless
/// `setDeleteWhenDone(false)`.
class VeskDocumentUpdateChecker : public QObject
{
    Q_OBJECT

public:
    explicit VeskDocumentUpdateChecker(QObject* parent = nullptr);
    ~VeskDocumentUpdateChecker() override;

    /// Held weakly: the delegate should also be a QObject, so that a destroyed one hears nothing.
    void setDelegate(VeskDocumentUpdateCheckerDelegate* delegate);
    VeskDocumentUpdateCheckerDelegate* delegate() const;

    /// The local copy to compare with (the checker keeps its own).
    void setDataModel(std::unique_ptr<DataModel> model);
    DataModel* dataModel() const { return m_dataModel.get(); }

    bool updateCheckWasAutomatic() const { return m_automatic; }
    void setUpdateCheckWasAutomatic(bool automatic) { m_automatic = automatic; }

    std::optional<qint64> foundVersion() const { return m_foundVersion; }

    /// The local document file (set by the update finder).
    QString filePath() const { return m_filePath; }
    void setFilePath(const QString& path) { m_filePath = path; }

    /// Which search of the update finder started this check.
    quint64 searchGeneration() const { return m_searchGeneration; }
    void setSearchGeneration(quint64 generation) { m_searchGeneration = generation; }

    /// The HTTP layer and preferences used (the shared ones unless set).
    void setHTTPRequests(HTTPRequests* requests) { m_requests = requests; }
    void setUserDefaults(UserDefaults* defaults) { m_defaults = defaults; }
    void setDeleteWhenDone(bool deleteWhenDone) { m_deleteWhenDone = deleteWhenDone; }

    /// Starts the check; the result arrives later through exactly one delegate operation.
    void checkForUpdates();
    /// The decision step applied to a fetched text (nullopt: not UTF-8).
    void parseResultString(const std::optional<QString>& text);

    /// Adds `foundVersion` to the ignore list of this document.
    void ignoreCurrentUpdate();
    /// Ignores every future revision of this document.
    void ignoreAllFutureUpdates();
    /// Stores `version` as this document's ignore entry, keeping the other documents' entries.
    void ignoreVersion(qint64 version);

    /// The ignore entry of a UUID, if any.
    static std::optional<qint64> ignoredRevision(UserDefaults& defaults, const QString& uuid);

Q_SIGNALS:
    /// Emitted after the delegate was told (tests, benchmarks).
    void finished();

private:
    UserDefaults& defaults() const;
    void done();

    VeskDocumentUpdateCheckerDelegate* m_delegate = nullptr;
    QPointer<QObject> m_delegateObject;
    bool m_delegateIsObject = false;
    std::unique_ptr<DataModel> m_dataModel;
    bool m_automatic = false;
    std::optional<qint64> m_foundVersion;
    QString m_filePath;
    quint64 m_searchGeneration = 0;
    HTTPRequests* m_requests = nullptr;
    UserDefaults* m_defaults = nullptr;
    bool m_deleteWhenDone = true;
    bool m_started = false;
};

} // namespace vesk
