#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <memory>

namespace {
QString SocketPath(const QString& folder) {
    return QDir(folder).filePath(QStringLiteral("vostrand-uploader.socket"));
}
} // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent), m_Folder(folder),
      m_Lock(QDir(folder).filePath(QStringLiteral("vostrand-uploader.lock"))) {
    // A lock left by a crashed instance is taken over once its process is gone.
    m_Lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::DefaultFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    }
    return folder;
}

bool SingleInstance::Acquire() {
    QDir().mkpath(m_Folder);
    if (!m_Lock.tryLock(0)) {
        return false;
    }
    // A socket file left behind by an instance that did not end cleanly: ours now.
    QLocalServer::removeServer(SocketPath(m_Folder));
    m_Server = new QLocalServer(this);
    m_Server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_Server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_Server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            auto received = std::make_shared<QByteArray>();
            connect(socket, &QLocalSocket::readyRead, socket, [this, socket, received] {
                *received += socket->readAll();
                // Each path ends in NUL, the one byte a path cannot hold; "\n" ends the list.
                if (!received->endsWith('\n')) {
                    return;
                }
                QStringList files;
                for (const QByteArray& path : received->chopped(1).split('\0')) {
                    if (!path.isEmpty()) {
                        files << QString::fromUtf8(path);
                    }
                }
                received->clear();
                socket->write("\n");
                socket->flush();
                emit FilesReceived(files);
            });
        }
    });
    m_Server->listen(SocketPath(m_Folder));
    return true;
}

bool SingleInstance::HandOver(const QStringList& files, int timeoutMs) const {
    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // The first instance may hold the lock a moment before it listens.
    for (;;) {
        socket.connectToServer(SocketPath(m_Folder));
        if (socket.waitForConnected(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())))) {
            break;
        }
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(50);
    }
    QByteArray data;
    for (const QString& file : files) {
        data += file.toUtf8();
        data += '\0';
    }
    data += '\n';
    socket.write(data);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(
                static_cast<int>(qMax<qint64>(1, deadline.remainingTime())))) {
            return false;
        }
    }
    // The first instance answers once it has taken the files.
    return socket.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime()))) &&
           socket.read(1) == "\n";
}
