#include "SingleInstance.h"

#include <unistd.h>

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QUrl>

namespace vesk {

namespace {

// The message: magic, command ("open" or "activate"), paths; answered with one "ok" line.
const QString kMagic = QStringLiteral("vesk-single-instance/1");
const QString kOpen = QStringLiteral("open");
const QString kActivate = QStringLiteral("activate");
constexpr qint64 kMaximumMessageSize = 1024 * 1024;
constexpr int kClientTimeoutMs = 5000;
constexpr int kServerTimeoutMs = 10000;

QString absolutePath(const QString& argument)
{
    const QUrl url(argument);
    if (url.isLocalFile())
        return QFileInfo(url.toLocalFile()).absoluteFilePath();
    return QFileInfo(argument).absoluteFilePath();
}

} // namespace

SingleInstance::SingleInstance(const QString& serverName, QObject* parent)
    : QObject(parent), m_serverName(serverName)
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultServerName()
{
    const QString user = QString::number(::getuid());
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(QStringLiteral("vesk-") + user + QStringLiteral(".socket"));
    return QStringLiteral("vesk-") + user;
}

QString SingleInstance::socketPath() const
{
    if (m_server)
        return m_server->fullServerName();
    return QDir::isAbsolutePath(m_serverName) ? m_serverName
                                              : QDir(QDir::tempPath()).filePath(m_serverName);
}

SingleInstance::Role SingleInstance::start(const QStringList& files)
{
    QStringList paths;
    for (const QString& file : files)
        paths.append(absolutePath(file));

    // Two attempts cover a primary that quits between our listen and our connect.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (listen())
            return Role::Primary;
        // In a shared temporary folder the name may belong to someone else: never talk to it.
        const QFileInfo socketFile(socketPath());
        if (socketFile.exists() && socketFile.ownerId() != ::getuid())
            return Role::Failed;
        switch (sendToPrimary(paths)) {
        case Delivery::Delivered:
            return Role::Secondary;
        case Delivery::NoAnswer:
            // Someone is there but does not answer: never take the socket from a live process.
            return Role::Failed;
        case Delivery::NobodyListening:
            // A process that crashed left its socket behind.
            QLocalServer::removeServer(m_serverName);
            break;
        }
    }
    return Role::Failed;
}

bool SingleInstance::listen()
{
    // No socket options: with them Qt binds elsewhere and renames over the name, which would
    // take the socket from a running process. Plain bind fails when the name exists.
    auto* server = new QLocalServer(this);
    if (!server->listen(m_serverName)) {
        delete server;
        return false;
    }
    QFile::setPermissions(server->fullServerName(), QFile::ReadOwner | QFile::WriteOwner);
    m_server = server;
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return true;
}

SingleInstance::Delivery SingleInstance::sendToPrimary(const QStringList& paths)
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(kClientTimeoutMs)) {
        const QLocalSocket::LocalSocketError error = socket.error();
        return error == QLocalSocket::ConnectionRefusedError ||
                       error == QLocalSocket::ServerNotFoundError
                   ? Delivery::NobodyListening
                   : Delivery::NoAnswer;
    }
    QByteArray message;
    {
        QDataStream stream(&message, QIODevice::WriteOnly);
        stream.setVersion(QDataStream::Qt_6_4);
        stream << kMagic << (paths.isEmpty() ? kActivate : kOpen) << paths;
    }
    QByteArray framed;
    {
        QDataStream stream(&framed, QIODevice::WriteOnly);
        stream.setVersion(QDataStream::Qt_6_4);
        stream << message;
    }
    socket.write(framed);
    if (!socket.waitForBytesWritten(kClientTimeoutMs))
        return Delivery::NoAnswer;
    // The answer means the primary process has taken the request.
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kClientTimeoutMs))
            return Delivery::NoAnswer;
    }
    return socket.readLine().trimmed() == "ok" ? Delivery::Delivered : Delivery::NoAnswer;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
        // A client that never finishes its message is not kept forever.
        QTimer::singleShot(kServerTimeoutMs, socket, [socket] { socket->abort(); });
    }
}

void SingleInstance::readFrom(QLocalSocket* socket)
{
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    if (buffer.size() < 4)
        return;
    QDataStream header(buffer);
    header.setVersion(QDataStream::Qt_6_4);
    quint32 length = 0;
    header >> length;
    if (length == 0xffffffffu || length > kMaximumMessageSize) {
        socket->abort();
        return;
    }
    if (quint64(buffer.size()) < 4 + quint64(length))
        return;

    QDataStream stream(buffer.mid(4, length));
    stream.setVersion(QDataStream::Qt_6_4);
    QString magic;
    QString command;
    QStringList paths;
    stream >> magic >> command >> paths;
    m_buffers.remove(socket);
    if (stream.status() != QDataStream::Ok || magic != kMagic ||
        (command != kOpen && command != kActivate)) {
        socket->abort();
        return;
    }
    socket->write("ok\n");
    socket->flush();
    socket->disconnectFromServer();
    if (command == kOpen && !paths.isEmpty())
        Q_EMIT openFilesRequested(paths);
    else
        Q_EMIT activationRequested();
}

} // namespace vesk
