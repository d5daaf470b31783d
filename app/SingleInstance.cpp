#include "app/SingleInstance.h"

#include <unistd.h>

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include "platform/DebugLog.h"

namespace tamboro::app {

QString RuntimeFolder();

namespace {

QString SocketName() {
    return QString::fromStdString(
        InstanceSocketName(static_cast<unsigned>(::getuid()), RuntimeFolder().toStdString()));
}

}  // namespace

QString RuntimeFolder() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    return folder;
}

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::Acquire() {
    const QString path = QString::fromStdString(InstanceLockPath(RuntimeFolder().toStdString()));
    QDir().mkpath(QFileInfo(path).absolutePath());
    m_lock = std::make_unique<QLockFile>(path);
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) return true;
    // A lock file without a readable owner is never stale by process id:
    // one that stays unreadable for a few seconds was left by a start that
    // died while writing it, and would keep the program out for good.
    qint64 pid = 0;
    QString host, app;
    if (m_lock->error() == QLockFile::LockFailedError && !m_lock->getLockInfo(&pid, &host, &app) &&
        QFileInfo(path).lastModified().secsTo(QDateTime::currentDateTime()) > 5) {
        platform::DebugLog("instance: %s has no owner; removed", path.toLocal8Bit().constData());
        m_lock->removeStaleLockFile();
        if (m_lock->tryLock(0)) return true;
    }
    if (m_lock->error() != QLockFile::LockFailedError) {
        // No lock can be made (an unwritable folder): run, but alone in
        // spirit only; a later start will not find this one.
        platform::DebugLog("instance: cannot create %s", path.toLocal8Bit().constData());
        m_lock.reset();
        return true;
    }
    m_lock.reset();
    return false;
}

bool SingleInstance::Listen() {
    if (m_server != nullptr) return true;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    if (!m_server->listen(SocketName())) {
        platform::DebugLog("instance: cannot listen: %s",
                           m_server->errorString().toLocal8Bit().constData());
        delete m_server;
        m_server = nullptr;
        return false;
    }
    return true;
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine(kMaxRequestBytes + 2).chopped(1);
                const auto request = ParseRequest(
                    std::string_view(line.constData(), static_cast<std::size_t>(line.size())));
                if (!request) {
                    platform::DebugLog("instance: request refused");
                    continue;
                }
                socket->write("OK\n");
                socket->flush();
                // Carried out after this handler returns: opening a song
                // runs events, during which the socket may go.
                const InstanceRequest r = *request;
                QMetaObject::invokeMethod(
                    this,
                    [this, r] {
                        if (r.kind == InstanceRequest::Kind::Open)
                            emit openRequested(QString::fromStdString(r.path));
                        else
                            emit releaseRequested();
                    },
                    Qt::QueuedConnection);
            }
            // A sender that never ends its line is cut off.
            if (socket->bytesAvailable() > static_cast<qint64>(kMaxRequestBytes)) socket->abort();
        });
    }
}

bool SingleInstance::Send(const InstanceRequest& request, int timeoutMs) {
    const auto line = FormatRequest(request);
    if (!line) return false;
    QDeadlineTimer deadline(timeoutMs);
    // The running instance may still be starting up: try until it listens.
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
        socket.connectToServer(SocketName());
        if (socket.waitForConnected(
                static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
            socket.write(line->data(), static_cast<qint64>(line->size()));
            if (!socket.waitForBytesWritten(
                    static_cast<int>(std::max<qint64>(1, deadline.remainingTime()))))
                return false;
            while (!socket.canReadLine()) {
                if (!socket.waitForReadyRead(
                        static_cast<int>(std::max<qint64>(1, deadline.remainingTime()))))
                    return false;
            }
            return socket.readLine().startsWith("OK");
        }
        QThread::msleep(50);
    }
    return false;
}

}  // namespace tamboro::app
