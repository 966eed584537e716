#pragma once
// The database on the server shared by every running kvr and kvr-cli of the
// clinic's computers, as LiveDatabase is for the file.
//
// Each program that uses the server's database holds a shared advisory lock
// on it, on a connection of its own, for as long as it runs; the data
// controls take it when they first connect, and take it again when a lost
// connection is made anew. Replacing the data (a restore, moving a file in)
// needs the lock exclusively, which the server grants only while no other
// program holds it. The server lets the lock go with the connection, however
// the program ends.
#include "store/LiveDatabase.h"

#include <QString>

namespace LiveServer {

// The advisory lock every running program holds shared.
constexpr qint64 ProgramLockKey = 0x4B5652;     // "KVR"
// The advisory lock a write transaction holds while it runs.
constexpr qint64 WriteLockKey = 0x4B565257;

// Holds this process's shared lock (connecting the first time). While
// another program holds it exclusively this waits up to waitMs. With
// checkAnswers the lock's connection is asked whether it still answers, and
// made again when not. False with the reason (DatabaseError's code in *code).
bool HoldShared(QString *error = nullptr, int *code = nullptr, int waitMs = 5000, bool checkAnswers = false);

// True while this process holds its lock on the current server (as far as
// it knows: no round trip).
bool Holding();

// Turns this process's lock into an exclusive one, at once or not at all.
LiveDatabase::Exclusive TakeExclusive(QString *error = nullptr);
void ReleaseExclusive();

// Lets the lock and its connection go (a program that switches databases).
void Release();

// Holds the exclusive lock for as long as it lives.
class ExclusiveLock
{
public:
    ExclusiveLock() : m_state(TakeExclusive(&m_error)) {}
    ~ExclusiveLock()
    {
        if (m_state == LiveDatabase::Exclusive::Taken)
            ReleaseExclusive();
    }
    ExclusiveLock(const ExclusiveLock &) = delete;
    ExclusiveLock &operator=(const ExclusiveLock &) = delete;
    LiveDatabase::Exclusive State() const { return m_state; }
    QString Error() const { return m_error; }

private:
    QString m_error;
    LiveDatabase::Exclusive m_state;
};

} // namespace LiveServer
