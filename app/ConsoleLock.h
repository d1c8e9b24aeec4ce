#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QLocalServer;
class EndingAnswer;

// One console per install. The running console holds a lock below the install root for its whole
// life (a console killed outright leaves a lock that the next start finds stale) and listens on a
// local socket; a second start hands over to it, asking it to come forward, and ends. A console
// that is ending answers that it is, until its process is gone, so that the console the refresh
// starts waits for it however long its stations take to let go.
class ConsoleLock final : public QObject
{
    Q_OBJECT
public:
    enum class Start {
        Acquired,   // this process is the install's console
        HandedOver, // the running console was asked to show itself; this process ends
        Busy,       // a console of this host holds the lock, neither answers nor ends
        Foreign,    // what holds the place of the lock is no console here, and nobody answers
        Unlocked,   // no lock can be made here: the console runs without one (listening all the same)
    };

    // What was found in the lock's place, for the box that names it.
    struct Holder
    {
        enum Kind { LockFile, Folder, Link, Other, Unreadable };
        Kind kind = LockFile;
        QString path;
        QString linkTarget;
        qint64 pid = 0;
        QString program;
        QString host;
    };

    // With no lock path, the install has no place for a lock: acquire() says Unlocked.
    explicit ConsoleLock(const std::optional<QString>& lockPath, QObject* parent = nullptr);
    ~ConsoleLock() override;

    // The lock file of the install under the current prefix; nothing when it cannot be named.
    static std::optional<QString> installLockPath();

    // Takes the lock, or hands over to the console holding it. A console that is ending is waited
    // for as long as it says so (up to a minute); one that neither answers nor ends, up to busyWaitMs.
    Start acquire(int busyWaitMs = 8000);
    // After Foreign: puts aside what holds the lock's place and takes the lock; Unlocked when the
    // place cannot be cleared (unlockedText() says why), HandedOver or Busy when a console came
    // meanwhile.
    Start takeOver(int busyWaitMs = 8000);
    // From now on a second start is told that this console is ending, until the process ends.
    void announceEnding();

    // The texts of the boxes, in the operator's language, naming the lock file.
    static QString busyMessage();
    QString busyText() const;
    QString foreignText() const;
    QString unlockedText() const;
    const Holder& holder() const { return m_holder; }

signals:
    void showRequested();

private:
    enum class Answer { None, Shown, Ending };

    QString m_path;
    std::optional<QLockFile> m_lock; // none without a lock path
    QLocalServer* m_server = nullptr;
    std::unique_ptr<EndingAnswer> m_ending;
    Holder m_holder;
    QString m_unlockedReason;

    QString serverName() const;
    Answer ask() const;
    Holder readHolder() const;
    bool holderIsConsole(const Holder& holder) const;
    QString lockError() const;
    void listen();
};
