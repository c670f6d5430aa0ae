#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include "platform/Session.h"

#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

// One frame: a 32-bit count, then the arguments as UTF-8 byte arrays, then
// (a hand-off only) the folder the start was made in. A receiver that knows
// no folder reads the count and the arguments and passes over the rest.
QByteArray Pack(const std::vector<std::string>& Args, const std::string& WorkDir = {})
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out << quint32(Args.size());
    for (const std::string& a : Args)
        out << QByteArray::fromStdString(a);
    if (!WorkDir.empty())
        out << QByteArray::fromStdString(WorkDir);
    QByteArray frame;
    QDataStream f(&frame, QIODevice::WriteOnly);
    f << body;
    return frame;
}

// Reads one frame from In; false while it is not complete (nothing taken).
// WorkDir (when asked for) is empty when the sender named no folder.
bool Unpack(QIODevice& In, std::vector<std::string>& Args, bool& Damaged, std::string* WorkDir = nullptr)
{
    QDataStream in(&In);
    in.startTransaction();
    QByteArray body;
    in >> body;
    if (!in.commitTransaction())
        return false;
    QDataStream b(body);
    quint32 n = 0;
    b >> n;
    Args.clear();
    for (quint32 i = 0; i < n && b.status() == QDataStream::Ok; ++i) {
        QByteArray a;
        b >> a;
        Args.push_back(a.toStdString());
    }
    Damaged = b.status() != QDataStream::Ok;
    if (WorkDir) {
        WorkDir->clear();
        if (!Damaged && !b.atEnd()) {
            QByteArray d;
            b >> d;
            // Only an absolute folder can stand for the sender's.
            if (b.status() == QDataStream::Ok && d.startsWith('/'))
                *WorkDir = d.toStdString();
        }
    }
    return true;
}

// The first instance's answers to a hand-off.
constexpr char kRefused = '0', kTaken = '1', kResultFollows = 'W';
// What a start that waits for its run's result may send after its hand-off:
// it was stopped, and its run is to be cancelled.
constexpr char kCancelRun = 'C';

} // namespace

std::vector<std::string> AbsoluteArguments(const std::vector<std::string>& Args)
{
    std::vector<std::string> out;
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    for (const std::string& a : Args) {
        if (a.empty() || a.front() == '/')
            out.push_back(a);
        else
            out.push_back((cwd / a).lexically_normal().string());
    }
    return out;
}

TSingleInstance::TSingleInstance(const std::string& DataDir)
{
    // The XDG runtime folder when the session has one, else a folder of our
    // own in the temporary one. A folder another user can write to would let
    // that user answer for us. (Read directly: Qt would change the
    // permissions of a folder it finds open.)
    const std::string dir = platform::PrivateRuntimeFolder(qEnvironmentVariable("XDG_RUNTIME_DIR").toStdString(),
                                                           QDir::tempPath().toStdString());
    if (dir.empty()) {
        FAlone = "no private folder for the lock of the running instance in " + QDir::tempPath().toStdString();
        return;
    }
    const QByteArray key =
        QCryptographicHash::hash(QByteArray::fromStdString(DataDir), QCryptographicHash::Sha1).toHex().left(16);
    const QString base = QString::fromStdString(dir) + "/vestro-" + QString::number(platform::CurrentUserId()) + "-" +
        QString::fromLatin1(key);
    FLockName = base + ".lock";
    FServerName = base + ".sock";
}

TSingleInstance::~TSingleInstance()
{
    if (FServer)
        FServer->close();
}

bool TSingleInstance::TryBecomeFirst()
{
    if (!FAlone.empty())
        return true;
    FLock = std::make_unique<QLockFile>(FLockName);
    // A lock left by a process that died is taken over at once.
    FLock->setStaleLockTime(0);
    if (!FLock->tryLock(0)) {
        FLock.reset();
        return false;
    }
    // Listen from the moment the lock is held: a second start never finds a
    // locked instance that cannot hear it. A socket file left by a crash is
    // removed first (we hold the lock, so nobody else listens there).
    QLocalServer::removeServer(FServerName);
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(FServer, &QLocalServer::newConnection, this, &TSingleInstance::OnNewConnection);
    if (!FServer->listen(FServerName)) {
        // Holding the lock without listening would make every later start
        // wait for an answer that never comes: give the lock back and run
        // alone, as every start after this one then does.
        FAlone = "cannot listen for other starts at " + FServerName.toStdString() + " (" +
            FServer->errorString().toStdString() + ")";
        delete FServer;
        FServer = nullptr;
        FLock->unlock();
        FLock.reset();
    }
    return true;
}

void TSingleInstance::OnNewConnection()
{
    while (QLocalSocket* s = FServer->nextPendingConnection()) {
        // Only this user's starts may hand files over (and learn of a run).
        if (!platform::PeerIsCurrentUser(s->socketDescriptor())) {
            s->abort();
            s->deleteLater();
            continue;
        }
        connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        // The ticket of the hand-off this connection made; -1 until it came.
        auto ticket = std::make_shared<int>(-1);
        connect(s, &QLocalSocket::readyRead, this, [this, s, ticket] {
            if (*ticket < 0) {
                std::vector<std::string> args;
                std::string workDir;
                bool damaged = false;
                if (!Unpack(*s, args, damaged, &workDir))
                    return; // wait for the rest
                const bool ok = !damaged && FAccepting;
                *ticket = 0;
                if (ok) {
                    if (FReportsResults) {
                        *ticket = ++FLastTicket;
                        FWaiting[*ticket] = s;
                    }
                    FQueue.push_back({std::move(args), *ticket, std::move(workDir)});
                }
                const char answer = !ok ? kRefused : *ticket != 0 ? kResultFollows : kTaken;
                s->write(&answer, 1);
                s->flush();
                if (ok)
                    emit Received();
            }
            // After its hand-off a start says only that it was stopped; only
            // a run whose result it still waits for can be cancelled.
            const QByteArray rest = s->readAll();
            if (*ticket > 0 && rest.contains(kCancelRun) && FWaiting.count(*ticket))
                emit CancelAsked(*ticket);
        });
    }
}

std::vector<std::vector<std::string>> TSingleInstance::TakeQueued()
{
    std::vector<std::vector<std::string>> r;
    for (THandOff& h : TakeQueuedRuns()) {
        ReportResult(h.Ticket, 0, {kHandedToWindowLine}); // the window only lists them
        r.push_back(std::move(h.Args));
    }
    return r;
}

std::vector<TSingleInstance::THandOff> TSingleInstance::TakeQueuedRuns()
{
    return std::exchange(FQueue, {});
}

void TSingleInstance::ReportResult(int Ticket, int Status, const std::vector<std::string>& Lines)
{
    const auto it = FWaiting.find(Ticket);
    if (it == FWaiting.end())
        return;
    QPointer<QLocalSocket> s = it->second;
    FWaiting.erase(it);
    if (!s || s->state() != QLocalSocket::ConnectedState)
        return; // the sender has gone
    std::vector<std::string> frame{std::to_string(Status)};
    frame.insert(frame.end(), Lines.begin(), Lines.end());
    s->write(Pack(frame));
    s->flush();
    s->waitForBytesWritten(1000);
    s->disconnectFromServer();
}

bool TSingleInstance::HandOff(const std::vector<std::string>& Args, int TimeoutMs)
{
    return !HandOffAndWait(Args, TimeoutMs).Refused;
}

TSingleInstance::THandOffResult TSingleInstance::HandOffAndWait(const std::vector<std::string>& Args, int TimeoutMs,
                                                                const std::function<bool()>& Stopped)
{
    THandOffResult r;
    if (!FAlone.empty())
        return r;
    // The run is converted as it would be here: its relative folders are
    // this start's.
    std::error_code ec;
    const std::string workDir = std::filesystem::current_path(ec).string();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < TimeoutMs) {
        QLocalSocket s;
        s.connectToServer(FServerName);
        if (!s.waitForConnected(std::max<int>(1, TimeoutMs - int(t.elapsed())))) {
            // The first instance may be between taking the lock and listening.
            QThread::msleep(50);
            continue;
        }
        // Files go only to a listener of this user: another one would take
        // them and answer "done" with nothing written.
        if (!platform::PeerIsCurrentUser(s.socketDescriptor())) {
            FAlone = "the running instance at " + FServerName.toStdString() + " is another user's";
            r.Untrusted = true;
            return r;
        }
        s.write(Pack(Args, workDir));
        if (!s.waitForBytesWritten(TimeoutMs))
            return r;
        while (s.bytesAvailable() < 1)
            if (!s.waitForReadyRead(std::max<int>(1, TimeoutMs - int(t.elapsed()))))
                return r;
        char c = 0;
        s.read(&c, 1);
        if (c != kTaken && c != kResultFollows)
            return r;
        r.Refused = false;
        r.NoResult = c == kTaken;
        if (r.NoResult)
            return r;
        // The run may take as long as it takes; only a lost connection ends
        // the wait. A stopped start has its run cancelled (once) and waits
        // for what the cancelled run says.
        std::vector<std::string> frame;
        bool damaged = false, got = false, cancelSent = false;
        for (;;) {
            if ((got = Unpack(s, frame, damaged)))
                break;
            if (s.state() != QLocalSocket::ConnectedState)
                break; // whatever came is all there will be
            if (!cancelSent && Stopped && Stopped()) {
                cancelSent = true;
                s.write(&kCancelRun, 1);
                s.flush();
            }
            s.waitForReadyRead(Stopped ? 100 : 1000);
        }
        if (!got || frame.empty() || damaged) {
            r.Lost = true;
            r.Status = 2;
            return r;
        }
        r.Status = std::clamp(std::atoi(frame.front().c_str()), 0, 2);
        r.Lines.assign(frame.begin() + 1, frame.end());
        return r;
    }
    return r;
}
