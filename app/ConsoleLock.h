#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <optional>

class QLocalServer;

// One console per install. The running console holds a lock below the install root for its whole
// life (a console killed outright leaves a lock that the next start finds stale) and listens on a
// local socket; a second start hands over to it, asking it to come forward, and ends.
class ConsoleLock final : public QObject
{
    Q_OBJECT
public:
    enum class Start {
        Acquired,   // this process is the install's console
        HandedOver, // the running console was asked to show itself; this process ends
        Busy,       // a console holds the lock, neither answers nor ends
        NoPlace,    // the install root cannot hold a lock (not set up): run without one
    };

    // With no lock path, the install has no place for a lock: acquire() says NoPlace.
    explicit ConsoleLock(const std::optional<QString>& lockPath, QObject* parent = nullptr);
    ~ConsoleLock() override;

    // The lock file of the install under the current prefix; nothing when it cannot be named.
    static std::optional<QString> installLockPath();

    // Takes the lock, or hands over to the console holding it. A holder that does not answer is
    // ending (the refresh restarts the console this way): its lock is waited for up to waitMs.
    Start acquire(int waitMs = 8000);
    // Stops taking hand-overs, so that the next start waits for the lock instead.
    void stopListening();

    // Why a start was refused, for the error box.
    static QString busyMessage();

signals:
    void showRequested();

private:
    QString m_path;
    std::optional<QLockFile> m_lock; // none without a lock path
    QLocalServer* m_server = nullptr;

    QString serverName() const;
    void listen();
};
