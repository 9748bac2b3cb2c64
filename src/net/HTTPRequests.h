#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

class QNetworkAccessManager;

namespace vesk {

/// Header fields as (name, value) pairs, in the order they are sent.
using HTTPHeaders = QList<QPair<QByteArray, QByteArray>>;

/// Why a request failed. `message` holds the texts below or the network layer's own error.
struct HTTPError
{
    QString message;
    /// The network layer's code; NoError for a rejected reply (status, content type, JSON).
    QNetworkReply::NetworkError networkError = QNetworkReply::NoError;
    /// The HTTP status, 0 when no reply arrived.
    int statusCode = 0;
};

/// The pieces of one encoded request (see encodeRequest).
struct EncodedRequest
{
    QUrl url;
    QByteArray body;
    /// True when the parameters went into the body (so it is a form).
    bool isForm = false;
};

// ---- Pure helpers (no network, no event loop) ----

/// Flattens parameters into (field, value) pairs: keys in ascending order, nested maps as
/// "outer[inner]", lists as "outer[]" per element, sets (QSet<QString>) sorted under the same
/// field. A null or invalid QVariant value yields std::nullopt (the field alone).
QList<QPair<QString, std::optional<QString>>> flattenParameters(const QVariantMap& parameters);

/// Percent-encodes UTF-8 with upper-case hex, leaving letters, digits and "-._~/?" alone.
/// A space is "%20".
QByteArray percentEncode(const QString& text);

/// "field=value&field=value..." for the flattened, encoded parameters.
QByteArray encodeParameters(const QVariantMap& parameters);

/// Places parameters: in the URL's query for GET, HEAD and DELETE (after "?" or "&"), otherwise
/// in the body. No parameters leave the URL untouched and the body empty.
EncodedRequest encodeRequest(const QByteArray& method, const QUrl& url,
                             const QVariantMap& parameters);

/// "name/version (system)", transliterated to ASCII when it is not ASCII already.
QByteArray userAgentHeader(const QString& name, const QString& version, const QString& system);

/// "en-GB, en;q=0.9, fr;q=0.8, ..." stopping after q=0.5 (at most six entries).
QByteArray acceptLanguageHeader(const QStringList& languages);

/// The JSON reply rules: status 200-299, a JSON content type (or no type and no body), then the
/// body: empty or one space is success with no value, else parsed JSON or the parser's error.
/// Returns the value (nullopt for "no value") or the error.
struct JSONReplyResult
{
    std::optional<QJsonValue> value;
    std::optional<HTTPError> error;
};
JSONReplyResult judgeJSONReply(int statusCode, const QString& reasonPhrase,
                               const QByteArray& contentType, const QByteArray& body);

/// The body as UTF-8 text; nullopt when it is not valid UTF-8.
std::optional<QString> decodeUTF8(const QByteArray& body);

// ---- Requests ----

/// One running request. Deleted by the layer once its continuation ran; hold it in a QPointer.
class HTTPTask : public QObject
{
    Q_OBJECT

public:
    /// Stops the transfer; its failure (or the download's completion) runs with
    /// QNetworkReply::OperationCanceledError, once, on the main thread.
    void cancel();
    /// The HTTP status once response headers arrived, else 0.
    int statusCode() const;

private:
    friend class HTTPRequests;
    explicit HTTPTask(QNetworkReply* reply, QObject* parent);
    QPointer<QNetworkReply> m_reply;
};

/// What the download form reports when it ends.
struct DownloadResult
{
    /// HTTP status of the response; 0 when no response arrived.
    int statusCode = 0;
    /// The path the destination callback chose; empty when it was never asked.
    QString destinationPath;
    /// Where the body now is: the destination, only when the file was really moved there.
    std::optional<QString> storedPath;
    /// A transfer error, or the failed move into place.
    std::optional<HTTPError> error;
};

/// The program's five HTTP request forms on one QNetworkAccessManager. Main thread only: every
/// continuation runs on the thread that owns this object, exactly once per request.
class HTTPRequests : public QObject
{
    Q_OBJECT

public:
    using Failure = std::function<void(const HTTPError& error)>;
    /// The body as UTF-8 text; nullopt when it is not valid UTF-8.
    using TextSuccess = std::function<void(const std::optional<QString>& text, int statusCode)>;
    /// The parsed JSON value; nullopt for an empty (or single-space) body.
    using JSONSuccess = std::function<void(const std::optional<QJsonValue>& value)>;
    /// Fraction done, 0.0 to 1.0 (unknown total: not reported).
    using Progress = std::function<void(double fraction)>;
    /// Asked once the response's headers have arrived: where to store the body.
    using Destination = std::function<QString(QNetworkReply* response)>;
    using DownloadCompletion = std::function<void(const DownloadResult& result)>;
    /// The whole reply arrived, whatever its status.
    using RawFinished = std::function<void(int statusCode, const QByteArray& body)>;

    explicit HTTPRequests(QObject* parent = nullptr);
    ~HTTPRequests() override;

    /// The process-wide instance, created on first use on the main thread.
    static HTTPRequests& shared();

    QNetworkAccessManager* manager() const { return m_manager; }

    /// Preferred languages for "Accept-Language"; the system's UI languages unless set.
    void setPreferredLanguages(const std::optional<QStringList>& languages);
    QStringList preferredLanguages() const;

    /// The default headers added to the first three forms (the caller's own headers win).
    HTTPHeaders defaultHeaders() const;

    /// How long a request may go without receiving anything before it fails as timed out
    /// (milliseconds); every form takes its own value, this one unless told otherwise.
    static constexpr int kDefaultTimeout = 30000;

    /// Text fetch: GET; any reply with an HTTP status is a success, whatever status and type.
    QPointer<HTTPTask> getText(const QString& url, TextSuccess success, Failure failure,
                               const HTTPHeaders& headers = {}, int timeout = kDefaultTimeout);

    /// Form post with JSON reply (see judgeJSONReply).
    QPointer<HTTPTask> postForJSON(const QString& url, const QVariantMap& parameters,
                                   JSONSuccess success, Failure failure,
                                   const HTTPHeaders& headers = {}, int timeout = kDefaultTimeout);

    /// Form post with text reply: handled like the text fetch.
    QPointer<HTTPTask> postForText(const QString& url, const QVariantMap& parameters,
                                   TextSuccess success, Failure failure,
                                   const HTTPHeaders& headers = {}, int timeout = kDefaultTimeout);

    /// File download: GET without added headers. The destination is asked once the response's
    /// headers are in; the body goes to a temporary file in the destination's folder, every
    /// write checked, and is renamed into place once complete and synced. On any failure the
    /// partial file is removed. Progress and destination run on the main thread too.
    QPointer<HTTPTask> download(const QUrl& url, Progress progress, Destination destination,
                                DownloadCompletion completion, int timeout = kDefaultTimeout);

    /// Raw post: exactly this body and these headers; nothing is added.
    QPointer<HTTPTask> rawPost(const QUrl& url, const QByteArray& body, const HTTPHeaders& headers,
                               RawFinished finished, Failure failure,
                               int timeout = kDefaultTimeout);

Q_SIGNALS:
    /// A finished download could not be moved into place (the completion also says so).
    void downloadMoveFailed(const QString& temporaryPath, const QString& destinationPath,
                            const QString& reason);

private:
    QNetworkReply* send(const QByteArray& method, const QString& url, const QVariantMap& parameters,
                        const HTTPHeaders& headers, int timeout);
    QPointer<HTTPTask> textRequest(QNetworkReply* reply, TextSuccess success, Failure failure);

    QNetworkAccessManager* m_manager;
    std::optional<QStringList> m_languages;
};

} // namespace vesk
