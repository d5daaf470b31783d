#pragma once
// One running copy of the program per user.
//
// The first start holds a lock file in the runtime folder
// ($XDG_RUNTIME_DIR/tamboro/instance.lock) with no stale time, so a crashed
// holder frees it (its process is gone) while a living one keeps it, and
// listens on a local socket in the abstract namespace,
// "TAMBORO_REQUESTWAVEDEVICE.<uid>", for the requests of InstanceProtocol.h.
// A later start sends its song there (OPEN) or gives up.
//
// User-interface thread only.
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

#include "app/core/InstanceProtocol.h"

namespace tamboro::app {

// $XDG_RUNTIME_DIR, or the runtime folder Qt reports when it is unset.
QString RuntimeFolder();

class SingleInstance final : public QObject {
    Q_OBJECT
  public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock. False when another living process holds it.
    bool Acquire();
    // Starts listening (after Acquire). False when the socket cannot be
    // made; the program then runs without taking requests.
    bool Listen();
    bool Held() const { return m_lock != nullptr && m_lock->isLocked(); }

    // Sends one request to the running instance and waits until it has
    // been read. False when no instance answers within `timeoutMs`.
    static bool Send(const InstanceRequest& request, int timeoutMs = 3000);

  signals:
    void openRequested(const QString& path);
    void releaseRequested();

  private:
    void onNewConnection();

    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

}  // namespace tamboro::app
