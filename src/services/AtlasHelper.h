#pragma once

#include <functional>
#include <optional>

#include <QObject>
#include <QPointer>
#include <QString>

namespace vesk {

class AtlasLoginWindowController;
class CDEvents;
class HTTPRequests;

/// The login to HashiCorp Atlas that `vagrant share` needs: a token in Vagrant's data folder.
/// Owns the token file, the login request, the watch on the token's folder (posting
/// NOTE_ATLAS_LOGIN_CHANGED for every change there) and the one login window.
class AtlasHelper : public QObject
{
    Q_OBJECT

public:
    using CompletionHandler = std::function<void()>;
    using FailureHandler = std::function<void()>;

    struct Options
    {
        /// The Atlas server, e.g. "https://atlas.hashicorp.com"; the build's own when empty.
        QString host;
        /// The folder "~" stands for; the user's home when empty.
        QString homePath;
        /// Watch the token's folder.
        bool watch = true;
        /// The HTTP layer to send through; the process-wide one when null.
        HTTPRequests* requests = nullptr;
    };

    explicit AtlasHelper(QObject* parent = nullptr);
    explicit AtlasHelper(const Options& options, QObject* parent = nullptr);
    ~AtlasHelper() override;

    /// The application's instance, created on first use (it starts the watch).
    static AtlasHelper& sharedInstance();

    /// "~/.vagrant.d/data/vagrant_login_token".
    QString pathToAtlasToken() const;
    /// The token path without its last component.
    QString pathToAtlasTokenDirectory() const;

    /// True when a file exists at the token path, whatever it holds.
    bool userIsLoggedInToAtlas() const;

    /// Posts the credentials to "/api/v1/authenticate". When the reply carries a token and it
    /// has been written, `completionHandler` runs; otherwise `failureHandler`. Exactly one of
    /// them runs, later, on the main thread.
    void loginToAtlasWithUsername(const QString& username, const QString& password,
                                  CompletionHandler completionHandler,
                                  FailureHandler failureHandler);

    /// Forgets the stored user name and deletes the token file; errors are ignored.
    void logoutOfAtlas();

    /// Shows the login window (one at a time) and brings it to the front.
    void showLoginUI();
    AtlasLoginWindowController* loginWindowController() const;

    /// Writes the token as the file's whole content, atomically and readable by the owner only.
    /// False (with a reason, when asked) when it could not be written.
    bool writeToken(const QString& token, QString* errorMessage = nullptr) const;

    /// The watch on the token's folder; null when switched off or not possible.
    CDEvents* cdEventsAtlas() const { return m_cdEventsAtlas; }

    QString host() const { return m_host; }
    /// The Atlas endpoint that takes the credentials.
    QString authenticationUrl() const;
    /// The page where a new Atlas account is made.
    QString signUpUrl() const;

private:
    QString m_host;
    QString m_homePath;
    HTTPRequests* m_requests = nullptr;
    CDEvents* m_cdEventsAtlas = nullptr;
    QPointer<AtlasLoginWindowController> m_loginWindowController;
};

} // namespace vesk
