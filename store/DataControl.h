#pragma once
// DataControl: one result set on the program's database file, the way every
// screen reaches its rows.
//
//   DataControl dc;                          // owned by a screen, e.g. "Adodc1"
//   dc.setObjectName("Adodc1");
//   if (!dc.Open("SELECT * FROM IDE "))      // connection + record source + Refresh
//       report(dc.LastError());
//   dc.Filter("code='" + code + "'");        // in memory; "" clears the filter
//   dc.RecordCount();                        // rows after filtering
//   dc.Value("FullName");                    // current row, column by name (any case)
//   dc.AddNew(); dc.SetValue("Code", "7");   // new row, not in the file yet
//   dc.Update();                             // commit the current row (values bound)
//   dc.Delete();                             // delete the current row
//   dc.Refresh();                            // read again: drops filter and unsaved rows
//
// The rows are a static copy read whole when the control is opened or
// refreshed; changes made through another control show after a refresh. Every
// value is text; NULL reads as empty text. Rows are numbered 0..RecordCount()-1
// in statement order (after the filter); CurrentRow() is -1 when there is none.
// Operations that fail return false and leave the reason in LastError(); none
// of them throws. Screens decide whether to report a failure or pass it over.
//
// Signals: reset() when the visible rows change as a whole (open, refresh,
// filter, add, delete), currentChanged() when another row becomes current,
// valueChanged(row, column) when a value of a visible row changes. Bound
// fields (store/ui/BoundWidgets.h) and the grid (store/ui/BoundGrid.h) follow
// them.
//
// Record sources are kept exactly as the screens write them ("select
// id,FullName,Code  from IDE order by id desc "); they are handed to SQLite
// with identifiers quoted. The file is ProgramFile("KVRDB.mdb"); it is never
// created by opening it.
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

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QByteArray>
#include <QByteArrayView>
#include <vector>

class DataControl : public QObject
{
    Q_OBJECT
public:
    explicit DataControl(QObject *parent = nullptr);
    ~DataControl() override;

    // The connection text as the screen writes it; kept for the record, the
    // file opened is always DatabasePath().
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
    // Releases the file; the rows read so far stay visible.
    void Close();

    // Keeps only the rows whose column equals the value, as text. Accepted
    // form: column='value' (column name in any case, '' inside the value
    // stands for one quote). An empty text shows all rows again. The first
    // matching row becomes current; no match is not an error.
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
        QByteArray text;
        std::vector<int> ends;
    };

    bool fail(const QString &message, int code = 0);
    bool failSql(const QString &message); // takes the code from the connection
    bool ensureConnection();
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

    QString m_connection;
    QString m_recordSource;
    QString m_connectionName;
    bool m_open = false;
    bool m_suspended = false; // closed by CloseAll, to be reopened
    QString m_error;
    int m_errorCode = 0;

    QString m_table;
    bool m_readOnly = true;
    QStringList m_columns;
    QHash<QString, int> m_columnIndex; // lower-case name -> index

    std::vector<Column> m_data;
    std::vector<qint64> m_rowids;   // 0: added, not in the file
    std::vector<QSet<int>> m_dirty; // columns changed since the last read
    bool m_filtered = false;
    std::vector<int> m_view; // storage indexes of the visible rows when filtered
    QString m_filterText;
    int m_current = -1;

    // Values of one column, for ContainsValue; the views point into m_data
    // and are dropped whenever a row changes.
    int m_indexColumn = -1;
    QSet<QByteArrayView> m_valueIndex;
};
