#include "store/LiveServer.h"

#include "store/DatabaseError.h"
#include "store/DatabaseLocation.h"
#include "store/ServerSession.h"

#include <QElapsedTimer>
#include <QThread>

namespace LiveServer {

namespace {

const QString kConnection = QStringLiteral("kvr_server_lock");

struct Held {
    bool shared = false;
    bool exclusive = false;
    QString server; // the database the lock belongs to
};

Held &held()
{
    static Held h;
    return h;
}

QString currentServer()
{
    return DatabaseLocation::CurrentServer().ConnectionString();
}

bool fail(QString *error, int *code, const QString &message, int value)
{
    if (error)
        *error = message;
    if (code)
        *code = value;
    return false;
}

} // namespace

void Release()
{
    // The locks are let go on the open session first: once that answers,
    // they are free. Closing alone frees them only when the server has ended
    // the session, a moment later, and a restore started at once elsewhere
    // would still find this program there.
    if ((held().shared || held().exclusive) && ServerSession::Handle(kConnection))
        ServerSession::Exec(kConnection, QStringLiteral("SELECT pg_advisory_unlock_all()"));
    ServerSession::Close(kConnection);
    held() = Held();
}

bool HoldShared(QString *error, int *code, int waitMs, bool checkAnswers)
{
    Held &h = held();
    if (h.shared && h.server == currentServer() && (!checkAnswers || ServerSession::Answers(kConnection)))
        return true;
    Release();
    Sql::Failure f;
    if (!ServerSession::Open(kConnection, &f))
        return fail(error, code, f.message, f.code);
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const ServerSession::Result r = ServerSession::Exec(
            kConnection, QStringLiteral("SELECT pg_try_advisory_lock_shared(%1)").arg(ProgramLockKey));
        if (!r.ok()) {
            Release();
            return fail(error, code, r.failure().message, r.failure().code);
        }
        if (r.value(0, 0) == QByteArrayView("t"))
            break;
        if (waited.elapsed() >= waitMs) {
            Release();
            return fail(error, code,
                        QStringLiteral("Another program is restoring the database %1.")
                            .arg(DatabaseLocation::CurrentServer().Describe()),
                        DatabaseError::RestoreElsewhere);
        }
        QThread::msleep(50);
    }
    h.shared = true;
    h.server = currentServer();
    return true;
}

bool Holding()
{
    const Held &h = held();
    return h.shared && h.server == currentServer();
}

LiveDatabase::Exclusive TakeExclusive(QString *error)
{
    int code = 0;
    if (!HoldShared(error, &code, 5000, true))
        return code == DatabaseError::RestoreElsewhere ? LiveDatabase::Exclusive::OtherProgram
                                                       : LiveDatabase::Exclusive::Failed;
    Held &h = held();
    if (h.exclusive)
        return LiveDatabase::Exclusive::Taken;
    // The server grants it while no other session holds the lock; this
    // session's own shared lock does not stand in the way.
    const ServerSession::Result r =
        ServerSession::Exec(kConnection, QStringLiteral("SELECT pg_try_advisory_lock(%1)").arg(ProgramLockKey));
    if (!r.ok()) {
        if (error)
            *error = r.failure().message;
        return LiveDatabase::Exclusive::Failed;
    }
    if (r.value(0, 0) != QByteArrayView("t")) {
        if (error)
            *error = QStringLiteral("Another program has the database %1 open.")
                         .arg(DatabaseLocation::CurrentServer().Describe());
        return LiveDatabase::Exclusive::OtherProgram;
    }
    h.exclusive = true;
    return LiveDatabase::Exclusive::Taken;
}

void ReleaseExclusive()
{
    Held &h = held();
    if (h.exclusive)
        ServerSession::Exec(kConnection, QStringLiteral("SELECT pg_advisory_unlock(%1)").arg(ProgramLockKey));
    h.exclusive = false;
}

} // namespace LiveServer
