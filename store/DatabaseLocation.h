#pragma once
// Where the records live: the database file KVRDB.mdb of the program folder
// (the default) or a database on a PostgreSQL server that several computers
// of a clinic share.
//
// The choice belongs to the computer, not to the database: it is kept in the
// user's settings file (~/.config/KVR/KVR.ini), never in the database, and
// it never holds a password. The running program takes it once at its start
// (UseSaved); kvr-cli takes it too unless it is given a connection string.
// Tests set the location of their process directly (UseFile / UseServer).
//
// A server password lives only in this process's memory: asked for at the
// start, or read from the desktop's keyring, or left to libpq, which reads
// PGPASSWORD and ~/.pgpass when no password is given.
#include <QString>

namespace DatabaseLocation {

struct Server {
    QString host;     // a host name, an address, or the folder of a Unix socket
    int port = 0;     // 0: the server's usual port (5432)
    QString database; // the database on the server
    QString user;
    bool tls = false; // on: the connection must be encrypted (sslmode=require)
    // Further libpq keywords given in a connection string ("connect_timeout=3").
    QString options;
    // "user@host:port/database", for messages.
    QString Describe() const;
    // The connection string libpq would be given, without the password.
    QString ConnectionString() const;
    bool operator==(const Server &o) const;
};

enum class Kind { File, Server };

struct Choice {
    Kind kind = Kind::File;
    Server server;
    bool rememberPassword = false; // keep the password in the desktop's keyring
};

// The choice this process works with (the file until told otherwise).
Kind CurrentKind();
bool OnServer();
Server CurrentServer();
void UseFile();
void UseServer(const Server &server);
// The password for the current server, held in memory for this run only.
QString Password();
void SetPassword(const QString &password);

// The choice of this computer, from the user's settings file; the file when
// nothing was chosen.
Choice SavedChoice();
// Keeps the choice in the user's settings file. False, with the reason, when
// the file cannot be written.
bool SaveChoice(const Choice &choice, QString *error = nullptr);
// Takes the saved choice for this process.
void UseSaved();

// Reads a libpq connection string ("host=db.clinic dbname=kvr user=reception",
// values in single quotes where they hold blanks, \' and \\ inside them). The
// keywords host, port, dbname, user and sslmode fill the fields (sslmode
// require, verify-ca or verify-full turn TLS on); password is taken for this
// run; other keywords are kept as options. False, with the reason, for text
// that is not a connection string or names no database.
bool ParseConnectionString(const QString &text, Server *server, QString *password, QString *error);

} // namespace DatabaseLocation
