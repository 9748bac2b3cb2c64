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
        for (qsizetype i = 0; i < array.size() && !failed(); ++i) {
            const QString where = QStringLiteral("forwarded port %1").arg(i + 1);
            if (!array.at(i).isObject()) {
                fail(QStringLiteral("%1 is not an object").arg(where));
                break;
            }
            const QJsonObject entry = array.at(i).toObject();
            const std::optional<int> from = port(entry, QStringLiteral("from"), where);
            const std::optional<int> to = port(entry, QStringLiteral("to"), where);
            if (from && to)
                list.append(PortForward{*from, *to});
        }
        return list;
    }

    QList<SyncedFolder> syncedDirectories()
    {
        QList<SyncedFolder> list;
        const QJsonArray array = this->array(QStringLiteral("syncedDirectories"));
        list.reserve(array.size());
        for (qsizetype i = 0; i < array.size() && !failed(); ++i) {
            const QString where = QStringLiteral("synced folder %1").arg(i + 1);
            if (!array.at(i).isObject()) {
                fail(QStringLiteral("%1 is not an object").arg(where));
                break;
            }
            const QJsonObject entry = array.at(i).toObject();
            const QJsonValue host = entry.value(QStringLiteral("host"));
            const QJsonValue guest = entry.value(QStringLiteral("guest"));
            if (!host.isString() || !guest.isString()) {
                fail(QStringLiteral("%1 needs the texts \"host\" and \"guest\"").arg(where));
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
    std::optional<int> port(const QJsonObject& entry, const QString& key, const QString& where)
    {
        const QJsonValue value = entry.value(key);
        if (value.isUndefined() || value.isNull()) {
            fail(QStringLiteral("%1 has no \"%2\"").arg(where, key));
            return std::nullopt;
        }
        std::optional<int> number = wholeNumber(value);
        if (!number || *number < 0 || *number > 65535) {
            fail(QStringLiteral("%1 has no valid \"%2\" port").arg(where, key));
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
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
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
    auto normalise = [](std::optional<QString>& field) {
        if (!field || *field == kNullText)
            field = QString();
        return *field;
    };

    QJsonObject object;
    object.insert(QStringLiteral("veskVersion"), 2);
    object.insert(QStringLiteral("bootstrapShellCode"), normalise(m_bootstrapShellCode));
    if (m_boxName)
        object.insert(QStringLiteral("boxName"), *m_boxName);
    object.insert(QStringLiteral("additionalVagrantCommands"),
                  normalise(m_additionalVagrantCommands));

    QJsonArray ports;
    for (const PortForward& forward : std::as_const(m_portForwards))
        ports.append(QJsonObject{{QStringLiteral("from"), forward.from},
                                 {QStringLiteral("to"), forward.to}});
    object.insert(QStringLiteral("portForwards"), ports);

    QJsonArray folders;
    for (const SyncedFolder& folder : std::as_const(m_syncedDirectories))
        folders.append(QJsonObject{{QStringLiteral("host"), folder.host},
                                   {QStringLiteral("guest"), folder.guest}});
    object.insert(QStringLiteral("syncedDirectories"), folders);

    object.insert(QStringLiteral("modificationDate"), standardDateString(GMTDate()));
    if (m_remoteURL)
        object.insert(QStringLiteral("remoteURL"), *m_remoteURL);
    object.insert(QStringLiteral("UUID"), m_UUID);
    object.insert(QStringLiteral("preamble"), normalise(m_preamble));
    if (m_revision)
        object.insert(QStringLiteral("revision"), *m_revision);

    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace vesk
