#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include "platform/Session.h"

#include <QThread>

#include <filesystem>

namespace {

// One frame: a 32-bit count then the arguments as UTF-8 byte arrays.
QByteArray Pack(const std::vector<std::string>& Args)
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out << quint32(Args.size());
    for (const std::string& a : Args)
        out << QByteArray::fromStdString(a);
    QByteArray frame;
    QDataStream f(&frame, QIODevice::WriteOnly);
    f << body;
    return frame;
}

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

TSingleInstance::TSingleInstance(const std::string& DataDir, const std::string& RuntimeDir)
{
    QString dir = QString::fromStdString(RuntimeDir);
    // The XDG runtime folder when the session has one (asking Qt without it
    // only makes it complain), else the temporary folder.
    if (dir.isEmpty() && !qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    const QByteArray key = QCryptographicHash::hash(QByteArray::fromStdString(DataDir), QCryptographicHash::Sha1)
                               .toHex()
                               .left(16);
    const QString base = dir + "/vestro-" + QString::number(platform::CurrentUserId()) + "-" + QString::fromLatin1(key);
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
    if (!FServer->listen(FServerName))
        qWarning("Cannot listen for other starts: %s", qPrintable(FServer->errorString()));
    return true;
}

void TSingleInstance::OnNewConnection()
{
    while (QLocalSocket* s = FServer->nextPendingConnection()) {
        connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        connect(s, &QLocalSocket::readyRead, this, [this, s] {
            QDataStream in(s);
            in.startTransaction();
            QByteArray body;
            in >> body;
            if (!in.commitTransaction())
                return; // wait for the rest
            QDataStream b(body);
            quint32 n = 0;
            b >> n;
            std::vector<std::string> args;
            for (quint32 i = 0; i < n && b.status() == QDataStream::Ok; ++i) {
                QByteArray a;
                b >> a;
                args.push_back(a.toStdString());
            }
            const bool ok = b.status() == QDataStream::Ok && FAccepting;
            if (ok)
                FQueue.push_back(std::move(args));
            s->write(ok ? "1" : "0", 1);
            s->flush();
            if (ok)
                emit Received();
        });
    }
}

std::vector<std::vector<std::string>> TSingleInstance::TakeQueued()
{
    return std::exchange(FQueue, {});
}

bool TSingleInstance::HandOff(const std::vector<std::string>& Args, int TimeoutMs)
{
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
        s.write(Pack(Args));
        if (!s.waitForBytesWritten(TimeoutMs))
            return false;
        while (s.bytesAvailable() < 1)
            if (!s.waitForReadyRead(std::max<int>(1, TimeoutMs - int(t.elapsed()))))
                return false;
        char c = 0;
        s.read(&c, 1);
        return c == '1';
    }
    return false;
}
