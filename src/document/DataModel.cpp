#include "DataModel.h"

#include <cmath>
#include <limits>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

#include "Utilities.h"

namespace vesk {

namespace {

const QString kNullText = QStringLiteral("(null)");

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The four hex digits of a \u escape at `at` (just past the "u"), or -1.
int escapedUnit(const QByteArray& data, qsizetype at)
{
    if (at + 4 > data.size())
        return -1;
    int unit = 0;
    for (qsizetype i = at; i < at + 4; ++i) {
        const int digit = hexDigit(data.at(i));
        if (digit < 0)
            return -1;
        unit = unit * 16 + digit;
    }
    return unit;
}

// Qt's reader takes any backslash escape ("\q" reads as "q") and keeps a lone surrogate, which
// shows as U+FFFD on screen but is written as "?". Refuses the first and turns the second into
// U+FFFD here, in place, so that every reader of the text sees one and the same character.
// Returns the offset of an invalid escape, or -1.
qsizetype checkStringEscapes(QByteArray& data)
{
    bool inString = false;
    qsizetype pendingHigh = -1; // offset of a \u escape holding a high surrogate not yet paired
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char c = data.at(i);
        if (!inString) {
            inString = c == '"';
            continue;
        }
        if (c != '\\') {
            if (pendingHigh >= 0)
                data.replace(pendingHigh, 6, "\\ufffd");
            pendingHigh = -1;
            inString = c != '"';
            continue;
        }
        if (i + 1 >= data.size())
            return i;
        const char escaped = data.at(i + 1);
        if (escaped != 'u') {
            if (!QByteArrayView("\"\\/bfnrt").contains(escaped))
                return i;
            if (pendingHigh >= 0)
                data.replace(pendingHigh, 6, "\\ufffd");
            pendingHigh = -1;
            ++i;
            continue;
        }
        const int unit = escapedUnit(data, i + 2);
        if (unit < 0)
            return i;
        const bool high = unit >= 0xd800 && unit <= 0xdbff;
        const bool low = unit >= 0xdc00 && unit <= 0xdfff;
        if (low && pendingHigh < 0)
            data.replace(i, 6, "\\ufffd");
        if (pendingHigh >= 0 && !low)
            data.replace(pendingHigh, 6, "\\ufffd");
        pendingHigh = high ? i : -1;
        if (low)
            pendingHigh = -1;
        i += 5;
    }
    return -1;
}

// What a reader found in a file, checked before any of it reaches the model.
struct Contents
{
    std::optional<QString> bootstrapShellCode;
    std::optional<QString> boxName;
    std::optional<QString> additionalVagrantCommands;
    QList<PortForward> portForwards;
    QList<SyncedFolder> syncedDirectories;
};

class Reader
{
public:
    explicit Reader(const QJsonObject& object) : m_object(object) {}

    bool failed() const { return !m_error.isEmpty(); }
    QString error() const { return m_error; }

    bool has(const QString& key) const
    {
        return m_object.contains(key) && !m_object.value(key).isNull();
    }

    std::optional<QString> text(const QString& key)
    {
        const QJsonValue value = m_object.value(key);
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        if (!value.isString()) {
            fail(QStringLiteral("\"%1\" is not text").arg(key));
            return std::nullopt;
        }
        return value.toString();
    }

    std::optional<int> integer(const QString& key, const QString& what)
    {
        const QJsonValue value = m_object.value(key);
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        std::optional<int> number = wholeNumber(value);
        if (!number)
            fail(QStringLiteral("%1 is not a whole number").arg(what));
        return number;
    }

    QList<PortForward> portForwards()
    {
        QList<PortForward> list;
        const QJsonArray array = this->array(QStringLiteral("portForwards"));
        list.reserve(array.size());
        const QLatin1StringView fromKey("from");
        const QLatin1StringView toKey("to");
        qsizetype index = 0;
        for (const QJsonValue& value : array) {
            ++index;
            if (!value.isObject()) {
                fail(QStringLiteral("forwarded port %1 is not an object").arg(index));
                break;
            }
            const QJsonObject entry = value.toObject();
            const std::optional<int> from = port(entry, fromKey, index);
            const std::optional<int> to = port(entry, toKey, index);
            if (!from || !to)
                break;
            list.append(PortForward{*from, *to});
        }
        return list;
    }

    QList<SyncedFolder> syncedDirectories()
    {
        QList<SyncedFolder> list;
        const QJsonArray array = this->array(QStringLiteral("syncedDirectories"));
        list.reserve(array.size());
        const QLatin1StringView hostKey("host");
        const QLatin1StringView guestKey("guest");
        qsizetype index = 0;
        for (const QJsonValue& value : array) {
            ++index;
            if (!value.isObject()) {
                fail(QStringLiteral("synced folder %1 is not an object").arg(index));
                break;
            }
            const QJsonObject entry = value.toObject();
            const QJsonValue host = entry.value(hostKey);
            const QJsonValue guest = entry.value(guestKey);
            if (!host.isString() || !guest.isString()) {
                fail(QStringLiteral("synced folder %1 needs the texts \"host\" and \"guest\"")
                         .arg(index));
                break;
            }
            list.append(SyncedFolder{host.toString(), guest.toString()});
        }
        return list;
    }

    // The part both format versions share.
    Contents commonContents()
    {
        Contents contents;
        contents.bootstrapShellCode = text(QStringLiteral("bootstrapShellCode"));
        contents.boxName = text(QStringLiteral("boxName"));
        contents.additionalVagrantCommands = text(QStringLiteral("additionalVagrantCommands"));
        contents.portForwards = portForwards();
        contents.syncedDirectories = syncedDirectories();
        for (std::optional<QString>* field :
             {&contents.bootstrapShellCode, &contents.additionalVagrantCommands}) {
            if (*field == kNullText)
                *field = QString();
        }
        return contents;
    }

    QJsonValue value(const QString& key) const { return m_object.value(key); }

private:
    void fail(const QString& message)
    {
        if (m_error.isEmpty())
            m_error = message;
    }

    QJsonArray array(const QString& key)
    {
        const QJsonValue value = m_object.value(key);
        if (value.isUndefined() || value.isNull())
            return {};
        if (!value.isArray()) {
            fail(QStringLiteral("\"%1\" is not a list").arg(key));
            return {};
        }
        return value.toArray();
    }

    // A port is a whole number from 0 to 65535, or text holding one.
    std::optional<int> port(const QJsonObject& entry, QLatin1StringView key, qsizetype index)
    {
        const QJsonValue value = entry.value(key);
        if (value.isUndefined() || value.isNull()) {
            fail(QStringLiteral("forwarded port %1 has no \"%2\"").arg(index).arg(key));
            return std::nullopt;
        }
        std::optional<int> number = wholeNumber(value);
        if (!number || *number < 0 || *number > 65535) {
            fail(QStringLiteral("forwarded port %1 has no valid \"%2\" port").arg(index).arg(key));
            return std::nullopt;
        }
        return number;
    }

    static std::optional<int> wholeNumber(const QJsonValue& value)
    {
        if (value.isDouble()) {
            const double number = value.toDouble();
            if (std::trunc(number) != number || number < std::numeric_limits<int>::min() ||
                number > std::numeric_limits<int>::max())
                return std::nullopt;
            return int(number);
        }
        if (value.isString()) {
            bool ok = false;
            const int number = value.toString().trimmed().toInt(&ok, 10);
            if (ok)
                return number;
        }
        return std::nullopt;
    }

    QJsonObject m_object;
    QString m_error;
};

// `veskVersion` counts by its value: a number, or text beginning with digits; absent is 0.
qint64 versionNumber(const QJsonValue& value)
{
    if (value.isDouble()) {
        const double number = value.toDouble();
        if (!std::isfinite(number) || std::abs(number) > 1e15)
            return 0;
        return qint64(number);
    }
    if (value.isString()) {
        const QString text = value.toString().trimmed();
        qsizetype end = 0;
        if (end < text.size() && (text[end] == u'-' || text[end] == u'+'))
            ++end;
        while (end < text.size() && text[end].isDigit() && end < 18)
            ++end;
        return text.left(end).toLongLong();
    }
    return 0;
}

// Appends the text as a JSON string literal, UTF-8, escaping what JSON requires.
void appendJsonString(QByteArray& out, const QString& text)
{
    static const char hex[] = "0123456789abcdef";
    const QByteArray utf8 = text.toUtf8();
    out += '"';
    const char* run = utf8.constData();
    const char* const end = run + utf8.size();
    for (const char* p = run; p != end; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(run, p - run);
        run = p + 1;
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 0xf];
        }
    }
    out.append(run, end - run);
    out += '"';
}

void setError(QString* errorMessage, const QString& message)
{
    if (errorMessage)
        *errorMessage = message;
}

} // namespace

DataModel::DataModel(QObject* parent) : QObject(parent), m_UUID(UUIDString()) {}

void DataModel::setPortForwards(const QList<PortForward>& list)
{
    if (list != m_portForwards)
        m_portForwards = list;
    Q_EMIT portForwardsChanged();
}

void DataModel::setSyncedDirectories(const QList<SyncedFolder>& list)
{
    if (list != m_syncedDirectories)
        m_syncedDirectories = list;
    Q_EMIT syncedDirectoriesChanged();
}

bool DataModel::loadData(const QByteArray& data, QString* errorMessage)
{
    QByteArray text = data;
    if (const qsizetype at = checkStringEscapes(text); at >= 0) {
        setError(errorMessage,
                 QStringLiteral("not JSON (invalid escape sequence at byte %1)").arg(at));
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        setError(errorMessage, QStringLiteral("not JSON (%1 at byte %2)")
                                   .arg(parseError.errorString())
                                   .arg(parseError.offset));
        return false;
    }
    if (!document.isObject()) {
        setError(errorMessage, QStringLiteral("not a Vesk document (no JSON object)"));
        return false;
    }
    const QJsonObject object = document.object();
    const qint64 version = versionNumber(object.value(QStringLiteral("veskVersion")));
    if (version == 2)
        return loadVersion2(object, errorMessage);
    if (version == 1)
        return loadVersion1(object, errorMessage);
    if (!object.contains(QStringLiteral("veskVersion")))
        setError(errorMessage, QStringLiteral("not a Vesk document (no veskVersion)"));
    else
        setError(errorMessage, QStringLiteral("unsupported veskVersion %1").arg(version));
    return false;
}

bool DataModel::loadVersion1(const QJsonObject& object, QString* errorMessage)
{
    Reader reader(object);
    Contents contents = reader.commonContents();
    if (reader.failed()) {
        setError(errorMessage, reader.error());
        return false;
    }
    m_bootstrapShellCode = contents.bootstrapShellCode;
    m_boxName = contents.boxName;
    m_additionalVagrantCommands = contents.additionalVagrantCommands;
    setPortForwards(contents.portForwards);
    setSyncedDirectories(contents.syncedDirectories);
    return true;
}

bool DataModel::loadVersion2(const QJsonObject& object, QString* errorMessage)
{
    Reader reader(object);
    Contents contents = reader.commonContents();
    const std::optional<QString> remoteURL = reader.text(QStringLiteral("remoteURL"));
    const std::optional<QString> uuid = reader.text(QStringLiteral("UUID"));
    std::optional<QString> preamble = reader.text(QStringLiteral("preamble"));
    const std::optional<int> revision =
        reader.integer(QStringLiteral("revision"), QStringLiteral("\"revision\""));
    if (reader.failed()) {
        setError(errorMessage, reader.error());
        return false;
    }
    if (preamble == kNullText)
        preamble = QString();

    m_bootstrapShellCode = contents.bootstrapShellCode;
    m_boxName = contents.boxName;
    m_additionalVagrantCommands = contents.additionalVagrantCommands;
    setPortForwards(contents.portForwards);
    setSyncedDirectories(contents.syncedDirectories);

    // The stored date is informative only; one that does not parse is simply not kept.
    const QJsonValue date = reader.value(QStringLiteral("modificationDate"));
    if (date.isUndefined())
        m_modificationDate = GMTDate();
    else
        m_modificationDate = date.isString() ? standardDate(date.toString()) : std::nullopt;

    m_remoteURL = remoteURL;
    m_UUID = uuid ? *uuid : UUIDString();
    m_preamble = preamble;
    m_revision = revision;
    return true;
}

QByteArray DataModel::dataRepresentation()
{
    auto normalise = [](std::optional<QString>& field) -> const QString& {
        if (!field || *field == kNullText)
            field = QString();
        return *field;
    };

    // Written by hand: it is several times faster than building a QJsonObject, and it keeps the
    // keys in a readable order.
    QByteArray out;
    out.reserve(256 + 32 * m_portForwards.size() + 96 * m_syncedDirectories.size());
    out += "{\"veskVersion\":2,\"bootstrapShellCode\":";
    appendJsonString(out, normalise(m_bootstrapShellCode));
    if (m_boxName) {
        out += ",\"boxName\":";
        appendJsonString(out, *m_boxName);
    }
    out += ",\"additionalVagrantCommands\":";
    appendJsonString(out, normalise(m_additionalVagrantCommands));

    out += ",\"portForwards\":[";
    for (qsizetype i = 0; i < m_portForwards.size(); ++i) {
        if (i)
            out += ',';
        out += "{\"from\":";
        out += QByteArray::number(m_portForwards[i].from);
        out += ",\"to\":";
        out += QByteArray::number(m_portForwards[i].to);
        out += '}';
    }
    out += "],\"syncedDirectories\":[";
    for (qsizetype i = 0; i < m_syncedDirectories.size(); ++i) {
        if (i)
            out += ',';
        out += "{\"host\":";
        appendJsonString(out, m_syncedDirectories[i].host);
        out += ",\"guest\":";
        appendJsonString(out, m_syncedDirectories[i].guest);
        out += '}';
    }
    out += "],\"modificationDate\":";
    appendJsonString(out, standardDateString(GMTDate()));
    if (m_remoteURL) {
        out += ",\"remoteURL\":";
        appendJsonString(out, *m_remoteURL);
    }
    out += ",\"UUID\":";
    appendJsonString(out, m_UUID);
    out += ",\"preamble\":";
    appendJsonString(out, normalise(m_preamble));
    if (m_revision) {
        out += ",\"revision\":";
        out += QByteArray::number(*m_revision);
    }
    out += '}';
    return out;
}

} // namespace vesk
