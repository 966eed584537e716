#pragma once
// The two kinds of database a data control works on, behind one small
// interface: the database file through SQLite's own interface, and a
// PostgreSQL server through libpq on a connection Qt's QPSQL driver opens.
// The data control builds its statements from the same parts on both and
// leaves to the backend what differs: connecting, naming the row id,
// describing a table, the condition that finds the rows a filter may match,
// writing a row, and transactions. Statements take '?' for their values.
//
// Used inside store/ only.
#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

namespace Sql {

struct Failure {
    QString message;
    int code = 0; // SQLite's result code or one of DatabaseError's own
};

// A value bound to a '?'.
struct Param {
    enum Type { Text, Null, Blob, Real, Integer };
    Type type = Text;
    QByteArray bytes;
    double real = 0;
    static Param text(const QByteArray &b) { return {Text, b, 0}; }
    static Param null() { return {Null, QByteArray(), 0}; }
    static Param blob(const QByteArray &b) { return {Blob, b, 0}; }
    static Param number(double d) { return {Real, QByteArray(), d}; }
    static Param integer(qint64 i) { return {Integer, QByteArray::number(i), 0}; }
};

// The rows of one statement, read forward. Values are the bytes of their
// text (UTF-8); NULL reads as no bytes.
class Cursor
{
public:
    virtual ~Cursor() = default;
    // The next row; false at the end and after a failure.
    virtual bool next() = 0;
    // The failure that ended the rows, or null.
    virtual const Failure *failure() const = 0;
    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    virtual QByteArrayView value(int column) const = 0;
    virtual qint64 integer(int column) const = 0;
};

enum class ColumnType { Other, Text, Integer };

// What a control needs to know of the table or view it reads.
struct Relation {
    QString name;      // as the database spells it
    bool isTable = false;
    QString rowid;     // the row id as an expression; empty for a view
    QString rowidName; // the visible column that is the row id (IDE.id), or empty
    // The columns "*" stands for, in order; empty when the database expands
    // "*" itself.
    QStringList columns;
    QHash<QString, QString> spelled;        // lower-case name -> the name as stored
    QHash<QString, ColumnType> types;       // lower-case name -> type
    QHash<QString, bool> leadingIndex;      // lower-case name -> an index starts with it
    QString column(const QString &asked) const { return spelled.value(asked.toLower(), asked); }
};

class Backend
{
public:
    virtual ~Backend() = default;
    // The backend of the database this process works on.
    static Backend &Current();
    static Backend &File();
    static Backend &Server();

    virtual bool isServer() const = 0;
    // Opens a connection for a data control. Controls on a server share one
    // connection: *used is the name to use.
    virtual bool open(const QString &wanted, QString *used, Failure *failure) = 0;
    virtual void close(const QString &name) = 0;
    // Run before a connection is used: false when it is lost. Outside a
    // transaction a lost connection is made again.
    virtual bool check(const QString &name, bool inTransaction, Failure *failure) = 0;

    virtual bool describe(const QString &connection, const QString &table, Relation *relation, Failure *failure) = 0;
    virtual std::unique_ptr<Cursor> query(const QString &connection, const QString &sql,
                                          const QList<Param> &params = {}) = 0;
    // Ends a statement that reads only a table's first row (the server
    // sends only what is asked for; SQLite stops stepping).
    virtual QString firstRowOnly() const = 0;

    // The condition that every row whose column reads as exactly the value
    // satisfies (more rows may: the control keeps those whose text is the
    // value). False when no query finds them; the control then reads the
    // whole result.
    virtual bool matchCondition(const Relation &relation, const QString &column, const QByteArray &value,
                                QString *where, QList<Param> *params) const = 0;
    // Whether an index finds the rows of such a condition.
    virtual bool indexServes(const QString &connection, const Relation &relation, const QString &sqlBase,
                             const QString &column) = 0;

    // Writes. Values are the texts as the control shows them.
    virtual bool insert(const QString &connection, const Relation &relation, const QStringList &columns,
                        const QList<QByteArray> &values, qint64 *rowid, Failure *failure) = 0;
    virtual bool update(const QString &connection, const Relation &relation, const QStringList &columns,
                        const QList<QByteArray> &values, qint64 rowid, int *changed, Failure *failure) = 0;
    virtual bool remove(const QString &connection, const Relation &relation, qint64 rowid, Failure *failure) = 0;

    // A write transaction: no other program writes until it ends, so what is
    // read inside it stays true.
    virtual bool begin(const QString &connection, Failure *failure) = 0;
    virtual bool commit(const QString &connection, Failure *failure) = 0;
    virtual void rollback(const QString &connection) = 0;
};

// Quotes an identifier ("Alter", "E-Mail", "1") for either database.
QString Quote(const QString &name);

// The condition a filter's query has on the file (see
// Backend::matchCondition): with numeric, also numbers near the value; with
// emptyValue, also NULL.
QString FileFilterCondition(const QString &column, bool numeric, bool emptyValue);

} // namespace Sql
