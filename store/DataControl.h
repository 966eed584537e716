#pragma once
// DataControl: one result set on the program's database, the way every
// screen reaches its rows. The database is the file KVRDB.mdb or a
// PostgreSQL server (store/DatabaseLocation.h); the control behaves the same
// on both.
//
//   DataControl dc;                          // owned by a screen, e.g. "Adodc1"
//   dc.setObjectName("Adodc1");
//   if (!dc.Open("SELECT * FROM IDE "))      // connection + record source + Refresh
//       report(dc.LastError());
//   dc.Filter("code='" + code + "'");        // keeps the matching rows; "" clears it
//   dc.RecordCount();                        // rows after filtering
//   dc.Value("FullName");                    // current row, column by name (any case)
//   dc.AddNew(); dc.SetValue("Code", "7");   // new row, not in the file yet
//   dc.Update();                             // commit the current row (values bound)
//   dc.Delete();                             // delete the current row
//   dc.Refresh();                            // read again: drops filter and unsaved rows
//
// The rows are a static copy of the statement's result as it stood at the
// last Open or Refresh; changes made through another control show after a
// refresh. Every value is text; NULL reads as empty text. Rows are numbered
// 0..RecordCount()-1 in statement order (after the filter); CurrentRow() is
// -1 when there is none. Operations that fail return false and leave the
// reason in LastError(); none of them throws. Screens decide whether to
// report a failure or pass it over.
//
// A table read in the order of its row ids ("SELECT * FROM Answer1 ", or a
// list ordered by its INTEGER PRIMARY KEY such as "... from IDE order by id
// desc ") is read on demand: Refresh reads only the first row, a filter reads
// only the rows it may match (one bound query that an index on the column
// serves), and the whole result is read when something needs it (the row
// count without a filter, moving past the first row, a filter on a column no
// index serves). What the control shows is the same as if it had read
// everything at the refresh: while rows are still unread, every write through
// another control first hands the rows it changes over as they were, and a
// row another control inserts stays out. (Writes by another program show in
// rows read after them.) Should a later read fail, the control is left
// without rows and the reason in LastError(), as a failed refresh leaves it.
//
// CloseAll() releases the file from every open control before a restore
// replaces it; until ReopenAll() no control opens the file (an attempt fails
// and the control is reopened with the others). ReopenAll() opens and
// refreshes them again.
//
// Several programs on one file: the first control to open the file takes
// this process's shared lock on it (store/LiveDatabase.h) and prepares the
// file once (KvrDatabase::PrepareOnce: rollback-journal mode, unique codes).
// A connection waits up to KvrDatabase::BusyTimeoutMs while another program
// writes. Writes that belong together go in one transaction:
//
//   rows.BeginTransaction();                 // BEGIN IMMEDIATE
//   scratch.Open(...); scratch.AddNew(); ... scratch.Update();
//   rows.Update();
//   rows.CommitTransaction();                // or RollbackTransaction()
//
// LastErrorCode() keeps SQLite's result code of a failure and PersianError()
// gives the text the screens show (store/DatabaseError.h).
//
// On a server every control of the program shares one connection, and every
// running program holds the server's shared lock (store/LiveServer.h) as it
// holds the file's. Values compare as the file's do: a filter keeps the rows
// whose text is exactly the value, so code='02' finds no 2, and NULL reads as
// empty text. A write transaction takes one advisory lock that every
// program's write transactions take, as BEGIN IMMEDIATE takes the file's
// write lock. A connection that was lost is made again at the next
// operation; a transaction it carried is gone (nothing of it was written),
// and its operations fail with DatabaseError::ConnectionLost.

#include "store/SqlBackend.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QByteArray>
#include <QByteArrayView>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class DataControl : public QObject
{
    Q_OBJECT
public:
    explicit DataControl(QObject *parent = nullptr);
    ~DataControl() override;

    // The connection text as the screen writes it; kept for the record, the
    // database opened is always DatabasePath() or the server of
    // DatabaseLocation.
    QString ConnectionString() const { return m_connection; }
    void SetConnectionString(const QString &text) { m_connection = text; }
    // The record source exactly as given.
    QString RecordSource() const { return m_recordSource; }
    void SetRecordSource(const QString &text) { m_recordSource = text; }

    // Sets the record source (and the connection text when given), then
    // refreshes.
    bool Open(const QString &recordSource, const QString &connection = QString());
    // Runs the record source again: drops the filter and any row not
    // committed; the first row becomes current.
    bool Refresh();
    bool IsOpen() const { return m_open; }
    // False while a table read on demand still has rows of its statement
    // that were not read (the control stands for them all the same).
    bool AllRowsRead() const { return m_complete; }
    // Releases the file; the rows stay visible (rows not yet read open it
    // again when they are needed).
    void Close();

    // Keeps only the rows whose column equals the value, as text: the bytes
    // of the value as the row shows it, so code='02' does not match 2.
    // Accepted form: column='value' (column name in any case, '' inside the
    // value stands for one quote). An empty text shows all rows again. The
    // first matching row becomes current; no match is not an error.
    bool Filter(const QString &filterText);
    QString FilterText() const { return m_filterText; }

    int RecordCount() const;
    int CurrentRow() const { return m_current; }
    bool SetCurrentRow(int row); // -1 for none
    bool MoveFirst();
    bool MoveLast();
    bool MoveNext();
    bool MovePrevious();

    QStringList Columns() const { return m_columns; }
    int ColumnCount() const { return int(m_columns.size()); }
    int ColumnIndex(const QString &name) const; // any case; -1 when absent

    // Values of the current row; empty text when there is no current row or
    // no such column.
    QString Value(const QString &column) const;
    QString Value(int column) const;
    QString ValueAt(int row, int column) const;

    // Sets a value of the current row in memory; it reaches the file on
    // Update(). Fails without a current row, for an unknown column or on a
    // read-only result set (a view).
    bool SetValue(const QString &column, const QString &value);
    bool SetValue(int column, const QString &value);

    // Appends an empty row that becomes current; it exists only here until
    // Update().
    bool AddNew();
    bool IsNewRow() const; // the current row was added and not committed
    // Writes the changed columns of the current row, or inserts it if it was
    // added. Values are bound, never spliced into the statement.
    bool Update();
    // Deletes the current row (that row only) from the file and the rows.
    bool Delete();

    // True when some row (filter ignored) holds exactly this text in the
    // column. Looked up in an index built on first use and kept until the
    // rows change.
    bool ContainsValue(const QString &column, const QString &value);

    // The smallest number n >= from such that no row (filter ignored) holds
    // exactly the plain decimal text of n in the column: what stepping a
    // candidate upward with one filter per step would find, at the cost of
    // one sort of the column instead of a scan per step.
    qint64 FirstFreeNumber(const QString &column, qint64 from) const;

    QString LastError() const { return m_error; }
    // SQLite's extended result code of the last failure, one of
    // DatabaseError's own codes, or 0.
    int LastErrorCode() const { return m_errorCode; }
    // The last failure as the screens show it: a Persian sentence, then
    // LastError() on a second line.
    QString PersianError() const;

    // A write transaction on this control's connection (BEGIN IMMEDIATE,
    // waiting while another program writes). Until it is committed or rolled
    // back, every control reads and writes through this connection, so each
    // sees what the others wrote, and no other program can write. A rollback
    // takes back every write made meanwhile: rows inserted meanwhile count as
    // new again and changed values as not yet written; a control that deleted
    // rows meanwhile must be refreshed. Only one transaction is open at a
    // time; destroying or closing the control that began it rolls it back.
    bool BeginTransaction();
    bool CommitTransaction();
    void RollbackTransaction();
    static bool InTransaction();

    // The database file every control opens.
    static QString DatabasePath();
    // Releases the file from every open control / opens and refreshes them
    // again. ReopenAll returns false if any of them failed.
    static void CloseAll();
    static bool ReopenAll();
    // Number of controls currently holding the file open.
    static int OpenCount();

    // The statement a filter runs on a source read on demand: the rows whose
    // column may hold the value, as text, as the same bytes, as a number near
    // it, or (for an empty value) NULL. The control keeps those whose text is
    // exactly the value. Served by an index on the column.
    static QString FilterStatement(const QString &recordSource, const QString &column, bool emptyValue);

signals:
    void reset();
    void currentChanged();
    void valueChanged(int row, int column);

private:
    // The rows are kept column by column: the values of a column one after
    // another in one UTF-8 text, as SQLite hands them out, with the end offset
    // of each. A filter or a look-up then reads one column's memory in order,
    // and only values that are shown become QString.
    struct Column {
        std::string text;
        std::vector<int> ends;
    };
    struct Rows;
    using Cells = std::vector<QByteArray>;

    bool fail(const QString &message, int code = 0);
    bool ensureConnection();
    Sql::Backend &backend() const;
    QString connectionName() const; // the open transaction's, else this control's
    void undoWrite(qint64 rowidAfter, qint64 rowidBefore, const QSet<int> &dirty);
    static void takeBackTransaction();
    bool readRows();
    int rowTotal() const { return int(m_rowids.size()); }
    QByteArrayView cellView(int storageRow, int column) const;
    void setCell(int storageRow, int column, const QString &value);
    void appendRow();
    void eraseRow(int storageRow);
    bool rereadRow(int storageRow);
    void invalidateIndex();
    int storageIndex(int row) const;
    bool hasRow(int row) const;
    void clearRows();

    // Reading on demand.
    bool readAll() const;
    bool completeRows();
    bool indexServes(int column);
    bool readMatching(int column, const QByteArray &value);
    bool mergeRows(Sql::Cursor &cursor, bool ordered, int column, const QByteArray *value);
    int heldRow(qint64 rowid) const;
    bool before(qint64 a, qint64 b) const { return m_descending ? a > b : a < b; }
    void keepAsItWas(qint64 rowid, bool inserted);
    void tellOthers(qint64 rowid, bool inserted);

    QString m_connection;
    QString m_recordSource;
    QString m_connectionName; // asked for
    QString m_usedConnection; // given (controls on a server share one)
    Sql::Backend *m_backend = nullptr;
    bool m_open = false;
    bool m_suspended = false; // closed by CloseAll, to be reopened
    QString m_error;
    int m_errorCode = 0;

    QString m_table;
    Sql::Relation m_relation;
    bool m_readOnly = true;
    QStringList m_columns;
    QHash<QString, int> m_columnIndex; // lower-case name -> index

    std::vector<Column> m_data;
    std::vector<qint64> m_rowids;   // 0: added, not in the file
    std::vector<QSet<int>> m_dirty; // columns changed since the last read
    std::vector<char> m_added;      // added through this control: kept after the statement's rows
    bool m_filtered = false;
    std::vector<int> m_view; // storage indexes of the visible rows when filtered
    QString m_filterText;
    int m_current = -1;

    // A source read on demand holds some of the statement's rows, in
    // statement order (row ids ascending, or descending), then the rows added
    // here. Until every row is in hand, m_before keeps the rows that other
    // controls changed or deleted since the refresh as they were, and marks
    // the rows inserted since (and by this control) as not part of the
    // result.
    bool m_onDemand = false;
    bool m_descending = false;
    bool m_complete = true;
    bool m_firstKnown = false; // row 0 in hand is the statement's first row
    QString m_sqlAll;          // the statement, row id first
    QString m_sqlBase;         // the same without its order, to add a condition to
    std::unordered_map<qint64, std::optional<Cells>> m_before;
    QHash<int, bool> m_indexed; // filter column -> an index serves its query

    // Values of one column, for ContainsValue; the views point into m_data
    // and are dropped whenever a row changes.
    int m_indexColumn = -1;
    QSet<QByteArrayView> m_valueIndex;
};
