#pragma once
// Another program on the same database, played by the test executable itself:
// started again with KVR_OTHER_PROGRAM set, it takes the database's lock the
// way a second kvr window or kvr-cli does, says "held" and keeps the lock
// until its standard input is closed.
//
//   int main(int argc, char *argv[])
//   {
//       if (OtherProgram::IsChild())
//           return OtherProgram::RunChild();
//       ...
//   }
//
//   OtherProgram other;
//   QVERIFY(other.Start(dbPath));          // a shared lock, as an open window
//   ...                                     // a restore is refused here
//   other.Stop();                           // the window is closed
//
// With a server connection string (kvr-cli's --server form) in place of the
// path, the other program holds the server's lock (store/LiveServer.h).
#include "store/DatabaseLocation.h"
#include "store/LiveDatabase.h"
#include "store/LiveServer.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <cstdio>

class OtherProgram
{
public:
    enum class Lock { Shared, Exclusive };

    ~OtherProgram() { Stop(); }

    bool Start(const QString &databasePath, Lock lock = Lock::Shared)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KVR_OTHER_PROGRAM"), lock == Lock::Shared ? QStringLiteral("shared")
                                                                             : QStringLiteral("exclusive"));
        env.insert(QStringLiteral("KVR_OTHER_DATABASE"), databasePath);
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QCoreApplication::applicationFilePath(), {});
        if (!m_process.waitForStarted(10000))
            return false;
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(10000))
                return false;
        return m_process.readLine().trimmed() == "held";
    }

    void Stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    static bool IsChild() { return qEnvironmentVariableIsSet("KVR_OTHER_PROGRAM"); }

    static int RunChild()
    {
        const QString path = qEnvironmentVariable("KVR_OTHER_DATABASE");
        const bool exclusive = qEnvironmentVariable("KVR_OTHER_PROGRAM") == QLatin1String("exclusive");
        bool held = false;
        DatabaseLocation::Server server;
        if (path.contains(QLatin1String("dbname="))
            && DatabaseLocation::ParseConnectionString(path, &server, nullptr, nullptr)) {
            DatabaseLocation::UseServer(server);
            held = exclusive ? LiveServer::TakeExclusive() == LiveDatabase::Exclusive::Taken
                             : LiveServer::HoldShared(nullptr, nullptr, 200);
        } else if (exclusive) {
            held = LiveDatabase::TakeExclusive(path) == LiveDatabase::Exclusive::Taken;
        } else {
            held = LiveDatabase::HoldShared(path);
        }
        std::puts(held ? "held" : "not held");
        std::fflush(stdout);
        // Until the test closes our input.
        while (std::getchar() != EOF) {
        }
        // A program that closes lets go of the server's lock as it ends.
        if (!server.database.isEmpty())
            LiveServer::Release();
        return held ? 0 : 1;
    }

private:
    QProcess m_process;
};
