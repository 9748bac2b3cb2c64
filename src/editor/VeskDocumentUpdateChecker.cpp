#include "VeskDocumentUpdateChecker.h"

#include "HTTPRequests.h"
#include "UserDefaults.h"

namespace vesk {

UpdateDecisionResult decideUpdate(const std::optional<QString>& text, const QString& localUUID,
                                  std::optional<qint64> localRevision,
                                  std::optional<qint64> ignoredRevision)
{
    UpdateDecisionResult result;
    if (!text)
        return result;
    DataModel remote;
    if (!remote.loadData(text->toUtf8()))
        return result;
    if (remote.UUID() != localUUID) {
        result.decision = UpdateDecision::MismatchedUUID;
        return result;
    }
    if (remote.revision())
        result.foundVersion = *remote.revision();
    result.decision = UpdateDecision::NoUpdate;
    // A remote copy without a revision is never newer, ignored or not.
    if (!result.foundVersion)
        return result;
    if (ignoredRevision && *result.foundVersion <= *ignoredRevision)
        return result;
    if (*result.foundVersion > localRevision.value_or(1))
        result.decision = UpdateDecision::NewVersion;
    return result;
}

VeskDocumentUpdateChecker::VeskDocumentUpdateChecker(QObject* parent) : QObject(parent) {}

VeskDocumentUpdateChecker::~VeskDocumentUpdateChecker() = default;

void VeskDocumentUpdateChecker::setDelegate(VeskDocumentUpdateCheckerDelegate* delegate)
{
    m_delegate = delegate;
    m_delegateObject = dynamic_cast<QObject*>(delegate);
    m_delegateIsObject = m_delegateObject != nullptr;
}

VeskDocumentUpdateCheckerDelegate* VeskDocumentUpdateChecker::delegate() const
{
    if (m_delegateIsObject && !m_delegateObject)
        return nullptr;
    return m_delegate;
}

void VeskDocumentUpdateChecker::setDataModel(std::unique_ptr<DataModel> model)
{
    m_dataModel = std::move(model);
}

UserDefaults& VeskDocumentUpdateChecker::defaults() const
{
    return m_defaults ? *m_defaults : UserDefaults::standard();
}

void VeskDocumentUpdateChecker::checkForUpdates()
{
    if (m_started)
        return;
    m_started = true;
    const std::optional<QString> remoteURL =
        m_dataModel ? m_dataModel->remoteURL() : std::optional<QString>();
    if (!remoteURL || remoteURL->isEmpty()) {
        if (auto* d = delegate())
            d->noRemoteURLDefinedForUpdateCheker(this);
        done();
        return;
    }
    HTTPRequests& requests = m_requests ? *m_requests : HTTPRequests::shared();
    QPointer<VeskDocumentUpdateChecker> self(this);
    requests.getText(
        *remoteURL,
        [self](const std::optional<QString>& text, int) {
            if (self)
                self->parseResultString(text);
        },
        [self](const HTTPError&) {
            if (!self)
                return;
            if (auto* d = self->delegate())
                d->updateCheckFailedForUpdateChecker(self);
            self->done();
        });
}

void VeskDocumentUpdateChecker::parseResultString(const std::optional<QString>& text)
{
    const QString uuid = m_dataModel ? m_dataModel->UUID() : QString();
    const UpdateDecisionResult result =
        decideUpdate(text, uuid, m_dataModel ? m_dataModel->revision() : std::nullopt,
                     ignoredRevision(defaults(), uuid));
    m_foundVersion = result.foundVersion;
    VeskDocumentUpdateCheckerDelegate* d = delegate();
    if (d) {
        switch (result.decision) {
        case UpdateDecision::InvalidDocument:
            d->loadedVeskDocumentWasInvalidForUpdateChecker(this);
            break;
        case UpdateDecision::MismatchedUUID:
            d->mismatchedUUIDForUpdateChecker(this);
            break;
        case UpdateDecision::NoUpdate:
            d->noUpdateAvailableForUpdateChecker(this);
            break;
        case UpdateDecision::NewVersion:
            d->newVersionAvilableForUpdateChecker(this, text->toUtf8());
            break;
        }
    }
    done();
}

void VeskDocumentUpdateChecker::ignoreCurrentUpdate()
{
    if (m_foundVersion)
        ignoreVersion(*m_foundVersion);
}

void VeskDocumentUpdateChecker::ignoreAllFutureUpdates()
{
    ignoreVersion(kIgnoreAllFutureUpdates);
}

void VeskDocumentUpdateChecker::ignoreVersion(qint64 version)
{
    if (!m_dataModel)
        return;
    QVariantMap ignores = defaults().dictionaryForKey(kUserDefaultsUpdateIgnores);
    ignores.insert(m_dataModel->UUID(), version);
    defaults().setValue(kUserDefaultsUpdateIgnores, ignores);
}

std::optional<qint64> VeskDocumentUpdateChecker::ignoredRevision(UserDefaults& defaults,
                                                                 const QString& uuid)
{
    const QVariant entry = defaults.dictionaryForKey(kUserDefaultsUpdateIgnores).value(uuid);
    bool ok = false;
    const qint64 revision = entry.toLongLong(&ok);
    if (!entry.isValid() || !ok)
        return std::nullopt;
    return revision;
}

void VeskDocumentUpdateChecker::done()
{
    Q_EMIT finished();
    if (m_deleteWhenDone)
        deleteLater();
}

} // namespace vesk
