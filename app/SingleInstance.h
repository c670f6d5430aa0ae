// One running instance per user and data folder.
//
// The first start takes a lock file in the user's runtime folder (or a
// private folder of the user in the temporary folder) and listens on a local
// socket beside it from that moment on. Both ends check that the other runs
// as the same user; when the folder or the other end cannot be trusted, the
// start runs alone rather than hand its files to a stranger. A later start that finds
// the lock connects and hands over its arguments (paths already made
// absolute, switches included); the first instance answers whether it took
// them. Hand-offs that arrive before the first instance is ready are queued.
// When the first instance converts hand-offs at once with nobody looking, it
// also sends each one's result back (its status and error lines), and the
// later start ends with it.
#pragma once
#include <QLocalSocket>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <map>

#include <memory>
#include <string>
#include <vector>

// What a start whose files went to a main window is told (the window lists
// them; no run result will come).
inline constexpr char kHandedToWindowLine[] = "Vestro: the files were handed to the running window";

class QLocalServer;
class QLockFile;

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    // Names derive from the user id and DataDir, in the XDG runtime folder,
    // else in a private folder of the user in the temporary folder.
    explicit TSingleInstance(const std::string& DataDir);
    ~TSingleInstance() override;

    // True when this process is the first: it then holds the lock and
    // listens. Also true, without either, when it runs alone (see Alone).
    bool TryBecomeFirst();

    // Why this start runs alone: no private folder, a listener of another
    // user, or a socket that cannot be made there (a path too long for one);
    // empty while it does not.
    const std::string& Alone() const { return FAlone; }

    // Second start: hands Args over; true when the first instance took them.
    // Waits at most TimeoutMs for the first instance to answer.
    bool HandOff(const std::vector<std::string>& Args, int TimeoutMs = 5000);

    // What became of a hand-off. Refused: the first instance did not take
    // it; otherwise Status is the run's status (0 when the first instance
    // only took the files, as a main window does), and Lost says that it
    // ended before it could answer (Status is then 2).
    struct THandOffResult {
        bool Refused = true;
        bool Lost = false;
        bool NoResult = false;  // taken, and no result will follow (a window lists them)
        bool Untrusted = false; // refused: the listener is another user's (see Alone)
        int Status = 0;
        std::vector<std::string> Lines; // the run's error lines
    };
    // As HandOff, then waits (without a time limit) for the run's result
    // when the first instance promises one. The current folder goes with
    // Args (the run's relative folders are taken from it). While it waits,
    // Stopped is asked every tenth of a second: once it says true, the first
    // instance is asked to cancel the run, and the wait goes on for the
    // cancelled run's result.
    THandOffResult HandOffAndWait(const std::vector<std::string>& Args, int TimeoutMs = 5000,
                                  const std::function<bool()>& Stopped = {});

    // Whether hand-offs are taken (answered "taken" and queued). Until set,
    // a hand-off is refused, so that the sender keeps its work.
    void SetAccepting(bool Accepting) { FAccepting = Accepting; }
    // Every argument list received since the last call, in arrival order,
    // for a main window to list; a sender waiting for a result is told
    // kHandedToWindowLine with status 0.
    std::vector<std::vector<std::string>> TakeQueued();

    // When set, senders are told that their run's result will follow, and
    // each hand-off keeps its connection until ReportResult.
    void SetReportsResults(bool On) { FReportsResults = On; }
    struct THandOff {
        std::vector<std::string> Args;
        int Ticket = 0;      // 0: nobody waits for a result
        std::string WorkDir; // the folder the start was made in; empty when it named none
    };
    // As TakeQueued, with the ticket that answers each one.
    std::vector<THandOff> TakeQueuedRuns();
    // Sends Status (0..2) and the run's error lines to the start that handed
    // Ticket over, and closes its connection; nothing when it has gone.
    void ReportResult(int Ticket, int Status, const std::vector<std::string>& Lines);

    QString ServerName() const { return FServerName; }

signals:
    // A hand-off was queued (emitted on the GUI thread).
    void Received();
    // The start that handed Ticket over was stopped and asks for its run to
    // be cancelled (emitted on the GUI thread, while it waits for the result).
    void CancelAsked(int Ticket);

private:
    void OnNewConnection();

    QString FLockName, FServerName;
    std::string FAlone;
    std::unique_ptr<QLockFile> FLock;
    QLocalServer* FServer = nullptr;
    bool FAccepting = false;
    bool FReportsResults = false;
    int FLastTicket = 0;
    std::vector<THandOff> FQueue;
    std::map<int, QPointer<QLocalSocket>> FWaiting; // tickets whose sender waits
};

// Arguments as they are handed over: every path made absolute against the
// current folder ("/ini=" switches and other "/" switches stay as they are).
std::vector<std::string> AbsoluteArguments(const std::vector<std::string>& Args);
