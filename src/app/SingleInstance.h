#pragma once

#include <QHash>
#include <QObject>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

namespace vesk {

/// Keeps one running Vesk per user. The first process listens on a per-user local socket; a later
/// one hands it the documents it was asked to open (or asks it to come to the front) and exits.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum class Role {
        Primary,   ///< this process is the one that runs
        Secondary, ///< another process runs and has received the request
        Failed     ///< neither listening nor reaching the other process worked
    };

    explicit SingleInstance(const QString& serverName = defaultServerName(),
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    /// "vesk-<user id>.socket" in XDG_RUNTIME_DIR when that folder exists, else "vesk-<user id>"
    /// in the temporary folder.
    static QString defaultServerName();

    /// Becomes the primary process, or hands `files` (made absolute against the current folder;
    /// file URLs are accepted) to the one that runs. With no files the request is "activate".
    Role start(const QStringList& files);

    bool isPrimary() const { return m_server != nullptr; }
    QString serverName() const { return m_serverName; }
    /// The socket file the primary process listens on.
    QString socketPath() const;

Q_SIGNALS:
    /// A later process asked for these documents (absolute paths), in its argument order.
    void openFilesRequested(const QStringList& paths);
    /// A later process was started without documents: come to the front.
    void activationRequested();

private:
    enum class Delivery { Delivered, NobodyListening, NoAnswer };

    bool listen();
    Delivery sendToPrimary(const QStringList& paths);
    void acceptConnections();
    void readFrom(QLocalSocket* socket);

    QString m_serverName;
    QLocalServer* m_server = nullptr;
    QHash<QLocalSocket*, QByteArray> m_buffers;
};

} // namespace vesk
