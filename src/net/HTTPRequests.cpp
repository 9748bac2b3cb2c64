#include "HTTPRequests.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <memory>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSet>
#include <QStringDecoder>
#include <QSysInfo>
#include <QTemporaryFile>
#include <QUrlQuery>

#include <unistd.h>

#include <unicode/translit.h>
#include <unicode/unistr.h>

namespace vesk {

namespace {

// Runs are at most this many UTF-16 code units long.
constexpr qsizetype kEncodingRun = 50;

bool isNullValue(const QVariant& value)
{
    return !value.isValid() || value.typeId() == QMetaType::Nullptr;
}

void flattenInto(const QString& field, const QVariant& value,
                 QList<QPair<QString, std::optional<QString>>>& pairs)
{
    const auto nested = [&field](const QString& key) {
        return field.isEmpty() ? key : field + u'[' + key + u']';
    };
    if (isNullValue(value)) {
        pairs.append({field, std::nullopt});
        return;
    }
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        // QVariantMap keeps its keys in ascending order already.
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            flattenInto(nested(it.key()), it.value(), pairs);
        return;
    }
    case QMetaType::QVariantHash: {
        const QVariantHash hash = value.toHash();
        QStringList keys = hash.keys();
        std::sort(keys.begin(), keys.end());
        for (const QString& key : keys)
            flattenInto(nested(key), hash.value(key), pairs);
        return;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        const QVariantList list = value.toList();
        for (const QVariant& element : list)
            flattenInto(field + QStringLiteral("[]"), element, pairs);
        return;
    }
    case QMetaType::Bool:
        pairs.append({field, value.toBool() ? QStringLiteral("1") : QStringLiteral("0")});
        return;
    default:
        break;
    }
    if (value.metaType() == QMetaType::fromType<QSet<QString>>()) {
        QStringList elements = value.value<QSet<QString>>().values();
        std::sort(elements.begin(), elements.end());
        for (const QString& element : elements)
            flattenInto(field, element, pairs);
        return;
    }
    pairs.append({field, value.toString()});
}

bool isASCII(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

QString transliterateToASCII(const QString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> transliterator(icu::Transliterator::createInstance(
        icu::UnicodeString::fromUTF8("Any-Latin; Latin-ASCII; [:^ASCII:] Remove"), UTRANS_FORWARD,
        status));
    if (U_FAILURE(status) || !transliterator)
        return text;
    icu::UnicodeString unicode(reinterpret_cast<const UChar*>(text.utf16()),
                               static_cast<int32_t>(text.size()));
    transliterator->transliterate(unicode);
    return QString(reinterpret_cast<const QChar*>(unicode.getBuffer()), unicode.length());
}

QString systemDescription()
{
#ifdef Q_OS_MACOS
    return QStringLiteral("Mac OS X ") + QSysInfo::productVersion();
#else
    return QSysInfo::prettyProductName();
#endif
}

bool hasHeader(const HTTPHeaders& headers, const QByteArray& name)
{
    return std::any_of(headers.cbegin(), headers.cend(), [&name](const auto& header) {
        return header.first.compare(name, Qt::CaseInsensitive) == 0;
    });
}

int statusOf(QNetworkReply* reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

const char* const kCancelledProperty = "veskCancelled";

HTTPError transportError(QNetworkReply* reply)
{
    // A transfer timeout aborts the reply like a cancel does; only ours sets the mark.
    if (reply->error() == QNetworkReply::OperationCanceledError &&
        !reply->property(kCancelledProperty).toBool()) {
        const int seconds = (reply->request().transferTimeout() + 999) / 1000;
        return HTTPError{QStringLiteral("The request timed out: the server sent nothing for %1 "
                                        "seconds.")
                             .arg(seconds),
                         QNetworkReply::TimeoutError, statusOf(reply)};
    }
    return HTTPError{reply->errorString(), reply->error(), statusOf(reply)};
}

// Qt reports HTTP error statuses (400, 418, 500 ...) as reply errors. A reply that carries a
// status is the server's answer, whatever the status; only an exchange that broke (nothing
// came, the connection dropped, a timeout, a cancel) is a transport failure.
bool isTransportFailure(QNetworkReply* reply)
{
    if (reply->error() == QNetworkReply::NoError)
        return false;
    if (statusOf(reply) == 0)
        return true;
    const int code = reply->error();
    return code < QNetworkReply::ContentAccessDenied || code == QNetworkReply::ProtocolFailure;
}

} // namespace

QList<QPair<QString, std::optional<QString>>> flattenParameters(const QVariantMap& parameters)
{
    QList<QPair<QString, std::optional<QString>>> pairs;
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
        flattenInto(it.key(), it.value(), pairs);
    return pairs;
}

QByteArray percentEncode(const QString& text)
{
    QByteArray encoded;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype length = std::min(kEncodingRun, text.size() - start);
        // Never end a run between the two halves of a surrogate pair.
        if (start + length < text.size() && text.at(start + length - 1).isHighSurrogate() &&
            text.at(start + length).isLowSurrogate())
            --length;
        encoded += text.mid(start, length).toUtf8().toPercentEncoding("/?");
        start += length;
    }
    return encoded;
}

QByteArray encodeParameters(const QVariantMap& parameters)
{
    QByteArrayList parts;
    for (const auto& [field, value] : flattenParameters(parameters)) {
        if (value)
            parts.append(percentEncode(field) + '=' + percentEncode(*value));
        else
            parts.append(percentEncode(field));
    }
    return parts.join('&');
}

EncodedRequest encodeRequest(const QByteArray& method, const QUrl& url,
                             const QVariantMap& parameters)
{
    EncodedRequest request{url, {}, false};
    if (parameters.isEmpty())
        return request;
    const QByteArray encoded = encodeParameters(parameters);
    const QByteArray upper = method.toUpper();
    if (upper == "GET" || upper == "HEAD" || upper == "DELETE") {
        QByteArray full = url.toEncoded();
        const qsizetype fragment = full.indexOf('#');
        QByteArray tail;
        if (fragment >= 0) {
            tail = full.mid(fragment);
            full.truncate(fragment);
        }
        full += (url.hasQuery() ? '&' : '?') + encoded + tail;
        request.url = QUrl::fromEncoded(full);
    } else {
        request.body = encoded;
        request.isForm = true;
    }
    return request;
}

QByteArray userAgentHeader(const QString& name, const QString& version, const QString& system)
{
    QString agent = name + u'/' + version + QStringLiteral(" (") + system + u')';
    if (!isASCII(agent))
        agent = transliterateToASCII(agent);
    return agent.toLatin1();
}

QByteArray acceptLanguageHeader(const QStringList& languages)
{
    QByteArrayList entries;
    for (qsizetype n = 0; n < languages.size(); ++n) {
        // q in tenths keeps the cut exact: 1, 0.9, ... 0.5.
        const int tenths = 10 - static_cast<int>(n);
        entries.append(languages.at(n).toUtf8() +
                       ";q=" + QByteArray::number(tenths / 10.0, 'g', 1));
        if (tenths <= 5)
            break;
    }
    return entries.join(", ");
}

JSONReplyResult judgeJSONReply(int statusCode, const QString& reasonPhrase,
                               const QByteArray& contentType, const QByteArray& body)
{
    if (statusCode < 200 || statusCode > 299) {
        const QString text =
            QStringLiteral("Request failed: %1 (%2)")
                .arg(reasonPhrase.isEmpty() ? QStringLiteral("status") : reasonPhrase)
                .arg(statusCode);
        return {std::nullopt, HTTPError{text, QNetworkReply::NoError, statusCode}};
    }
    const QByteArray mimeType = contentType.split(';').value(0).trimmed().toLower();
    const bool acceptable =
        mimeType == "application/json" || mimeType == "text/json" || mimeType == "text/javascript";
    if (!acceptable && !(mimeType.isEmpty() && body.isEmpty())) {
        const QString text = QStringLiteral("Request failed: unacceptable content-type: %1")
                                 .arg(QString::fromLatin1(mimeType));
        return {std::nullopt, HTTPError{text, QNetworkReply::NoError, statusCode}};
    }
    if (body.isEmpty() || body == " ")
        return {std::nullopt, std::nullopt};
    // Wrapped in an array so that a bare string or number parses as well.
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson('[' + body + ']', &parseError);
    if (parseError.error != QJsonParseError::NoError || document.array().size() != 1) {
        const QString text = parseError.error != QJsonParseError::NoError
                                 ? parseError.errorString()
                                 : QStringLiteral("garbage at the end of the document");
        return {std::nullopt, HTTPError{text, QNetworkReply::NoError, statusCode}};
    }
    return {document.array().at(0), std::nullopt};
}

std::optional<QString> decodeUTF8(const QByteArray& body)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(body);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

HTTPTask::HTTPTask(QNetworkReply* reply, QObject* parent) : QObject(parent), m_reply(reply) {}

void HTTPTask::cancel()
{
    if (m_reply && m_reply->isRunning()) {
        m_reply->setProperty(kCancelledProperty, true);
        m_reply->abort();
    }
}

int HTTPTask::statusCode() const
{
    return m_reply ? statusOf(m_reply) : 0;
}

HTTPRequests::HTTPRequests(QObject* parent)
    : QObject(parent), m_manager(new QNetworkAccessManager(this))
{
}

HTTPRequests::~HTTPRequests() = default;

HTTPRequests& HTTPRequests::shared()
{
    static HTTPRequests* instance = new HTTPRequests(QCoreApplication::instance());
    return *instance;
}

void HTTPRequests::setPreferredLanguages(const std::optional<QStringList>& languages)
{
    m_languages = languages;
}

QStringList HTTPRequests::preferredLanguages() const
{
    return m_languages ? *m_languages : QLocale::system().uiLanguages();
}

HTTPHeaders HTTPRequests::defaultHeaders() const
{
    QString name = QCoreApplication::applicationName();
    if (name.isEmpty())
        name = QCoreApplication::organizationDomain();
    return {{"User-Agent",
             userAgentHeader(name, QCoreApplication::applicationVersion(), systemDescription())},
            {"Accept-Language", acceptLanguageHeader(preferredLanguages())}};
}

QNetworkReply* HTTPRequests::send(const QByteArray& method, const QString& url,
                                  const QVariantMap& parameters, const HTTPHeaders& headers,
                                  int timeout)
{
    const EncodedRequest encoded = encodeRequest(method, QUrl(url), parameters);
    QNetworkRequest request(encoded.url);
    request.setTransferTimeout(timeout);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    for (const auto& [name, value] : defaultHeaders()) {
        if (!hasHeader(headers, name))
            request.setRawHeader(name, value);
    }
    if (encoded.isForm && !hasHeader(headers, "Content-Type"))
        request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
    if (method == "POST")
        return m_manager->post(request, encoded.body);
    return m_manager->sendCustomRequest(request, method, encoded.body);
}

QPointer<HTTPTask> HTTPRequests::textRequest(QNetworkReply* reply, TextSuccess success,
                                             Failure failure)
{
    auto* task = new HTTPTask(reply, reply);
    connect(reply, &QNetworkReply::finished, this, [reply, success, failure] {
        reply->deleteLater();
        if (isTransportFailure(reply)) {
            if (failure)
                failure(transportError(reply));
            return;
        }
        if (success)
            success(decodeUTF8(reply->readAll()), statusOf(reply));
    });
    return task;
}

QPointer<HTTPTask> HTTPRequests::getText(const QString& url, TextSuccess success, Failure failure,
                                         const HTTPHeaders& headers, int timeout)
{
    return textRequest(send("GET", url, {}, headers, timeout), std::move(success),
                       std::move(failure));
}

QPointer<HTTPTask> HTTPRequests::postForText(const QString& url, const QVariantMap& parameters,
                                             TextSuccess success, Failure failure,
                                             const HTTPHeaders& headers, int timeout)
{
    return textRequest(send("POST", url, parameters, headers, timeout), std::move(success),
                       std::move(failure));
}

QPointer<HTTPTask> HTTPRequests::postForJSON(const QString& url, const QVariantMap& parameters,
                                             JSONSuccess success, Failure failure,
                                             const HTTPHeaders& headers, int timeout)
{
    QNetworkReply* reply = send("POST", url, parameters, headers, timeout);
    auto* task = new HTTPTask(reply, reply);
    connect(reply, &QNetworkReply::finished, this, [reply, success, failure] {
        reply->deleteLater();
        if (isTransportFailure(reply)) {
            if (failure)
                failure(transportError(reply));
            return;
        }
        const JSONReplyResult result = judgeJSONReply(
            statusOf(reply),
            reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString(),
            reply->header(QNetworkRequest::ContentTypeHeader).toByteArray(), reply->readAll());
        if (result.error) {
            if (failure)
                failure(*result.error);
        } else if (success) {
            success(result.value);
        }
    });
    return task;
}

namespace {

// One download on its way to disk: written in the destination's own folder, so that putting it
// in place is a rename on one file system, never a copy that can fail halfway.
struct DownloadFile
{
    bool asked = false;
    QString destination;
    std::unique_ptr<QTemporaryFile> file;
    QString error;

    // Straight to the descriptor: a buffered write would only fail later, and say less.
    bool writeAll(const QByteArray& chunk)
    {
        if (!file || !error.isEmpty())
            return error.isEmpty();
        const char* data = chunk.constData();
        qsizetype left = chunk.size();
        while (left > 0) {
            const ssize_t written = ::write(file->handle(), data, size_t(left));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                error = QString::fromLocal8Bit(std::strerror(written < 0 ? errno : ENOSPC));
                return false;
            }
            data += written;
            left -= written;
        }
        return true;
    }
};

} // namespace

QPointer<HTTPTask> HTTPRequests::download(const QUrl& url, Progress progress,
                                          Destination destination, DownloadCompletion completion,
                                          int timeout)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(timeout);
    QNetworkReply* reply = m_manager->get(request);
    auto* task = new HTTPTask(reply, reply);
    auto state = std::make_shared<DownloadFile>();

    // Asked once the final response's headers are in (its body is about to come).
    auto prepare = [reply, state, destination] {
        if (state->asked)
            return;
        state->asked = true;
        state->destination = destination ? destination(reply) : QString();
        if (state->destination.isEmpty())
            return; // not stored: the body is read and dropped
        const QFileInfo target(state->destination);
        state->file =
            std::make_unique<QTemporaryFile>(target.absolutePath() + QStringLiteral("/.") +
                                             target.fileName() + QStringLiteral(".part-XXXXXX"));
        if (!state->file->open())
            state->error = state->file->errorString();
    };

    connect(reply, &QNetworkReply::readyRead, this, [reply, state, prepare] {
        prepare();
        const QByteArray chunk = reply->readAll();
        if (!state->writeAll(chunk))
            reply->abort();
    });
    connect(reply, &QNetworkReply::downloadProgress, this,
            [progress](qint64 received, qint64 total) {
                if (progress && total > 0)
                    progress(std::clamp(double(received) / double(total), 0.0, 1.0));
            });
    connect(reply, &QNetworkReply::finished, this, [this, reply, state, prepare, completion] {
        reply->deleteLater();
        DownloadResult result;
        result.statusCode = statusOf(reply);
        const bool broken = isTransportFailure(reply) && state->error.isEmpty();
        if (!broken)
            prepare();
        result.destinationPath = state->destination;
        if (!state->error.isEmpty()) {
            result.error =
                HTTPError{state->error, QNetworkReply::UnknownContentError, result.statusCode};
        } else if (broken) {
            result.error = transportError(reply);
        } else {
            QString reason;
            if (state->destination.isEmpty()) {
                reason = QStringLiteral("No destination for the downloaded file");
            } else if (!state->writeAll(reply->readAll())) {
                reason = state->error;
            } else if (::fsync(state->file->handle()) != 0) {
                reason = QString::fromLocal8Bit(std::strerror(errno));
            } else if (QFileInfo::exists(state->destination)) {
                reason =
                    QStringLiteral("A file named \"%1\" already exists").arg(state->destination);
            } else {
                state->file->close();
                if (!state->file->rename(state->destination))
                    reason = state->file->errorString();
            }
            if (reason.isEmpty()) {
                state->file->setAutoRemove(false);
                result.storedPath = state->destination;
            } else {
                result.error =
                    HTTPError{reason, QNetworkReply::UnknownContentError, result.statusCode};
                Q_EMIT downloadMoveFailed(state->file ? state->file->fileName() : QString(),
                                          state->destination, reason);
            }
        }
        // Whatever did not reach its place is removed with the temporary file.
        state->file.reset();
        if (completion)
            completion(result);
    });
    return task;
}

QPointer<HTTPTask> HTTPRequests::rawPost(const QUrl& url, const QByteArray& body,
                                         const HTTPHeaders& headers, RawFinished finished,
                                         Failure failure, int timeout)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(timeout);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    QNetworkReply* reply = m_manager->post(request, body);
    auto* task = new HTTPTask(reply, reply);
    connect(reply, &QNetworkReply::finished, this, [reply, finished, failure] {
        reply->deleteLater();
        if (isTransportFailure(reply)) {
            if (failure)
                failure(transportError(reply));
            return;
        }
        if (finished)
            finished(statusOf(reply), reply->readAll());
    });
    return task;
}

} // namespace vesk
