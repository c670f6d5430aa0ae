// One running instance per user and data folder.
//
// The first start takes a lock file in the user's runtime folder and listens
// on a local socket beside it from that moment on. A later start that finds
// the lock connects and hands over its arguments (paths already made
// absolute, switches included); the first instance answers whether it took
// them. Hand-offs that arrive before the first instance is ready are queued.
#pragma once
#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class QLocalServer;
class QLockFile;

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    // Names derive from the user id and DataDir; RuntimeDir empty: the XDG
    // runtime folder, else the temporary folder.
    explicit TSingleInstance(const std::string& DataDir, const std::string& RuntimeDir = {});
    ~TSingleInstance() override;

    // True when this process is the first: it then holds the lock and listens.
    bool TryBecomeFirst();

    // Second start: hands Args over; true when the first instance took them.
    // Waits at most TimeoutMs for the first instance to answer.
    bool HandOff(const std::vector<std::string>& Args, int TimeoutMs = 5000);

    // Whether hand-offs are taken (answered "taken" and queued). Until set,
    // a hand-off is refused, so that the sender keeps its work.
    void SetAccepting(bool Accepting) { FAccepting = Accepting; }
    // Every argument list received since the last call, in arrival order.
    std::vector<std::vector<std::string>> TakeQueued();

    QString ServerName() const { return FServerName; }

signals:
    // A hand-off was queued (emitted on the GUI thread).
    void Received();

private:
    void OnNewConnection();

    QString FLockName, FServerName;
    std::unique_ptr<QLockFile> FLock;
    QLocalServer* FServer = nullptr;
    bool FAccepting = false;
    std::vector<std::vector<std::string>> FQueue;
};

// Arguments as they are handed over: every path made absolute against the
// current folder ("/ini=" switches and other "/" switches stay as they are).
std::vector<std::string> AbsoluteArguments(const std::vector<std::string>& Args);
