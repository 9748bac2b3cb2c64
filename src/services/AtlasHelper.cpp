#include "AtlasHelper.h"

#include <exception>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QJsonValue>
#include <QUrl>
#include <QVariantMap>

#include "AtlasLoginWindowController.h"
#include "BuildConfig.h"
#include "CDEvents.h"
#include "HTTPRequests.h"
#include "NotificationCenter.h"
#include "UserDefaults.h"
#include "Utilities.h"

namespace vesk {

namespace {

// A token is a non-empty text under "token"; anything else means the login did not work.
std::optional<QString> tokenFromReply(const std::optional<QJsonValue>& reply)
{
    if (!reply || !reply->isObject())
        return std::nullopt;
    const QJsonValue token = reply->toObject().value(QStringLiteral("token"));
    if (!token.isString() || token.toString().isEmpty())
        return std::nullopt;
    return token.toString();
}

} // namespace

AtlasHelper::AtlasHelper(QObject* parent) : AtlasHelper(Options(), parent) {}

AtlasHelper::AtlasHelper(const Options& options, QObject* parent)
    : QObject(parent),
      m_host(options.host.isEmpty() ? QString::fromUtf8(build::atlasHost) : options.host),
      m_homePath(options.homePath.isEmpty() ? QDir::homePath() : options.homePath),
      m_requests(options.requests)
{
    if (options.watch) {
        try {
            m_cdEventsAtlas = new CDEvents(
                {QUrl::fromLocalFile(pathToAtlasTokenDirectory())},
                [](CDEvents*, const CDEvent&) {
                    NotificationCenter::defaultCenter().post(NOTE_ATLAS_LOGIN_CHANGED);
                },
                this);
        } catch (const std::exception&) {
            // Without the watch the login state is still read afresh whenever it is asked for.
            m_cdEventsAtlas = nullptr;
        }
    }
}

AtlasHelper::~AtlasHelper()
{
    if (QApplication::instance())
        delete m_loginWindowController.data();
}

AtlasHelper& AtlasHelper::sharedInstance()
{
    // Lives until the process ends; nothing is torn down at exit.
    static AtlasHelper* instance = new AtlasHelper;
    return *instance;
}

QString AtlasHelper::pathToAtlasToken() const
{
    return m_homePath + QStringLiteral("/.vagrant.d/data/vagrant_login_token");
}

QString AtlasHelper::pathToAtlasTokenDirectory() const
{
    return QFileInfo(pathToAtlasToken()).path();
}

bool AtlasHelper::userIsLoggedInToAtlas() const
{
    return QFileInfo::exists(pathToAtlasToken());
}

QString AtlasHelper::authenticationUrl() const
{
    return m_host + QStringLiteral("/api/v1/authenticate");
}

QString AtlasHelper::signUpUrl() const
{
    return m_host + QStringLiteral("/account/new");
}

void AtlasHelper::loginToAtlasWithUsername(const QString& username, const QString& password,
                                           CompletionHandler completionHandler,
                                           FailureHandler failureHandler)
{
    const QVariantMap parameters{
        {QStringLiteral("user"),
         QVariantMap{{QStringLiteral("login"), username}, {QStringLiteral("password"), password}}}};
    HTTPRequests& requests = m_requests ? *m_requests : HTTPRequests::shared();
    const QPointer<AtlasHelper> self(this);
    requests.postForJSON(
        authenticationUrl(), parameters,
        [self, completionHandler, failureHandler](const std::optional<QJsonValue>& reply) {
            const std::optional<QString> token = tokenFromReply(reply);
            // A token that did not reach the file is no login: vagrant would not find it.
            if (!token || !self || !self->writeToken(*token)) {
                if (failureHandler)
                    failureHandler();
                return;
            }
            if (completionHandler)
                completionHandler();
        },
        [failureHandler](const HTTPError&) {
            if (failureHandler)
                failureHandler();
        });
}

bool AtlasHelper::writeToken(const QString& token, QString* errorMessage) const
{
    const QString folder = pathToAtlasTokenDirectory();
    if (!QDir().mkpath(folder)) {
        if (errorMessage)
            *errorMessage = QStringLiteral("Cannot create the folder %1").arg(folder);
        return false;
    }
    // The token is a secret: owner-only before a byte of it is written, and never written
    // through a link someone left in its place.
    AtomicFile file(pathToAtlasToken(), AtomicFile::Links::Replace);
    file.setOwnerOnly(true);
    if (!file.write(token.toUtf8()) || !file.commit()) {
        if (errorMessage)
            *errorMessage = file.errorString();
        return false;
    }
    return true;
}

void AtlasHelper::logoutOfAtlas()
{
    UserDefaults::standard().removeObject(UD_ATLAS_USERNAME);
    QFile::remove(pathToAtlasToken());
}

AtlasLoginWindowController* AtlasHelper::loginWindowController() const
{
    return m_loginWindowController.data();
}

void AtlasHelper::showLoginUI()
{
    if (!m_loginWindowController) {
        auto* window = new AtlasLoginWindowController(*this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        connect(window, &AtlasLoginWindowController::windowClosed, this, [this, window] {
            if (m_loginWindowController == window)
                m_loginWindowController = nullptr;
        });
        m_loginWindowController = window;
    }
    m_loginWindowController->show();
    m_loginWindowController->raise();
    m_loginWindowController->activateWindow();
}

} // namespace vesk
