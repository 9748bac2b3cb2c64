#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

namespace vesk::test {

/// The bytes of a small version-2 .vesk document.
inline QByteArray veskDocument(const QString& uuid, std::optional<qint64> revision,
                               const std::optional<QString>& remoteURL,
                               const QString& boxName = QStringLiteral("debian/bookworm64"))
{
    QByteArray json = "{\"veskVersion\":2,\"boxName\":\"" + boxName.toUtf8() +
                      "\",\"bootstrapShellCode\":\"echo hi\\n\",\"portForwards\":[],"
                      "\"syncedDirectories\":[],\"UUID\":\"" +
                      uuid.toUtf8() + "\"";
    if (revision)
        json += ",\"revision\":" + QByteArray::number(*revision);
    if (remoteURL)
        json += ",\"remoteURL\":\"" + remoteURL->toUtf8() + "\"";
    return json + '}';
}

inline const QString kUUID = QStringLiteral("6F1C2D3E-4B5A-4C6D-8E7F-90A1B2C3D4E5");
inline const QString kOtherUUID = QStringLiteral("0A0B0C0D-1111-2222-3333-444455556666");

} // namespace vesk::test
