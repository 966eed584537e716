// libpq, loaded when the program first works with a server. libpq brings
// some twenty libraries of its own (TLS, Kerberos, LDAP); linked into the
// program they were loaded and relocated at every start, a tenth of it, for
// the few clinics that keep their records on a server. Each libpq function
// the program calls is defined here and goes on to libpq's own, looked up in
// the library the first time it is called. The library is the one Qt's
// PostgreSQL driver loads, so a connection the driver opened is handed to
// the same code.
//
// Without libpq on the computer the functions answer as libpq does for a
// connection that failed: no connection, no result, status "bad", and an
// error message that names the missing library.
#include "common/LazyLibrary.h"

#include <libpq-fe.h>

namespace {

void *library()
{
    static void *const handle = LazyLibrary::Open("libpq.so.5");
    return handle;
}

char *missingLibraryMessage()
{
    static char message[] = "libpq.so.5 (Debian package libpq5) cannot be loaded\n";
    return message;
}

} // namespace

// The function with libpq's own declaration; `fallback` is its answer
// without the library.
#define KVR_LIBPQ(name, fallback, ...) KVR_LAZY_CALL(library, name, fallback, __VA_ARGS__)
#define KVR_LIBPQ_VOID(name, ...) KVR_LAZY_CALL_VOID(library, name, __VA_ARGS__)

extern "C" {

PGconn *PQconnectdb(const char *conninfo) KVR_LIBPQ(PQconnectdb, nullptr, conninfo)
void PQfinish(PGconn *conn) KVR_LIBPQ_VOID(PQfinish, conn)
ConnStatusType PQstatus(const PGconn *conn) KVR_LIBPQ(PQstatus, CONNECTION_BAD, conn)
PGTransactionStatusType PQtransactionStatus(const PGconn *conn)
    KVR_LIBPQ(PQtransactionStatus, PQTRANS_UNKNOWN, conn)
char *PQerrorMessage(const PGconn *conn) KVR_LIBPQ(PQerrorMessage, missingLibraryMessage(), conn)
int PQconnectionNeedsPassword(const PGconn *conn) KVR_LIBPQ(PQconnectionNeedsPassword, 0, conn)
int PQconnectionUsedPassword(const PGconn *conn) KVR_LIBPQ(PQconnectionUsedPassword, 0, conn)
PQnoticeProcessor PQsetNoticeProcessor(PGconn *conn, PQnoticeProcessor proc, void *arg)
    KVR_LIBPQ(PQsetNoticeProcessor, nullptr, conn, proc, arg)

PGresult *PQexec(PGconn *conn, const char *query) KVR_LIBPQ(PQexec, nullptr, conn, query)
PGresult *PQexecParams(PGconn *conn, const char *command, int nParams, const Oid *paramTypes,
                       const char *const *paramValues, const int *paramLengths, const int *paramFormats,
                       int resultFormat)
    KVR_LIBPQ(PQexecParams, nullptr, conn, command, nParams, paramTypes, paramValues, paramLengths, paramFormats,
              resultFormat)
PGresult *PQgetResult(PGconn *conn) KVR_LIBPQ(PQgetResult, nullptr, conn)
int PQputCopyData(PGconn *conn, const char *buffer, int nbytes) KVR_LIBPQ(PQputCopyData, -1, conn, buffer, nbytes)
int PQputCopyEnd(PGconn *conn, const char *errormsg) KVR_LIBPQ(PQputCopyEnd, -1, conn, errormsg)

ExecStatusType PQresultStatus(const PGresult *res) KVR_LIBPQ(PQresultStatus, PGRES_FATAL_ERROR, res)
char *PQresultErrorMessage(const PGresult *res) KVR_LIBPQ(PQresultErrorMessage, missingLibraryMessage(), res)
char *PQresultErrorField(const PGresult *res, int fieldcode) KVR_LIBPQ(PQresultErrorField, nullptr, res, fieldcode)
int PQntuples(const PGresult *res) KVR_LIBPQ(PQntuples, 0, res)
int PQnfields(const PGresult *res) KVR_LIBPQ(PQnfields, 0, res)
char *PQfname(const PGresult *res, int field_num) KVR_LIBPQ(PQfname, nullptr, res, field_num)
char *PQcmdStatus(PGresult *res) KVR_LIBPQ(PQcmdStatus, nullptr, res)
char *PQcmdTuples(PGresult *res) KVR_LIBPQ(PQcmdTuples, nullptr, res)
char *PQgetvalue(const PGresult *res, int tup_num, int field_num)
    KVR_LIBPQ(PQgetvalue, nullptr, res, tup_num, field_num)
int PQgetlength(const PGresult *res, int tup_num, int field_num) KVR_LIBPQ(PQgetlength, 0, res, tup_num, field_num)
int PQgetisnull(const PGresult *res, int tup_num, int field_num) KVR_LIBPQ(PQgetisnull, 1, res, tup_num, field_num)
void PQclear(PGresult *res) KVR_LIBPQ_VOID(PQclear, res)

} // extern "C"
