#pragma once
// The library's database layer: connections from the connection string and row sets
// that read, walk, change, add and delete rows. Row sets load their rows when opened
// and finish the statement at once, so no reader ever holds a lock that blocks another
// connection's write. Text values are always bound, never quoted into statements.
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>
#include <memory>
#include <stdexcept>

struct sqlite3;

namespace tessaly {

// A database failure with a message fit to show the user (names the file and the fault).
class DbError : public std::runtime_error {
public:
    explicit DbError(const QString &message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const { return m_message; }
private:
    QString m_message;
};

// The text for a failed statement; a library that another program holds locked is
// named as such, not as a broken file. nativeCode is SQLite's result code.
QString DbFaultText(const QString &nativeCode, const QString &detail);
// The faults of a write that the user can do something about (a read-only medium or
// folder, a full disk), told in full for the library at libraryPath; empty for others.
QString DbWriteFaultText(int nativeCode, const QString &libraryPath);

// The five tables of a library with their fields, photoIvents in its stored order.
struct LibraryTable {
    QString name;
    QStringList fields;
};
const QList<LibraryTable> &LibraryTables();

// "provider=SQLite;data source=" + full path of the library file.
QString MakeConnectString(const QString &filePath);
// The file path named by a connection string; empty when it names none.
QString ConnectStringPath(const QString &connectString);

// Checks a file to be a library: exists, is SQLite, holds the five tables with their
// fields. Throws DbError naming the file and what is wrong.
void CheckLibraryFile(const QString &filePath);
// Marks a library made before its header carried the program's id, so that the desktop
// knows its file type; a file that cannot be written stays as it is.
void MarkLibraryFile(const QString &filePath);

class Connection {
public:
    // Opens the library named by the connection string; throws DbError.
    explicit Connection(const QString &connectString);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    void close();
    bool isOpen() const;
    QSqlDatabase database() const;
    sqlite3 *handle() const;  // throws DbError when there is none
    const QString &filePath() const { return m_path; }
    const QString &connectionName() const { return m_name; }

    // Runs a statement that returns no rows (bound parameters); throws DbError.
    void exec(const QString &sql, const QVariantList &params = {});
    // Groups writes; commit() keeps everything done so far. The transaction takes the
    // write lock at once, waiting for another writer, so two runs never meet halfway.
    void begin();
    void commit();
    void rollback();  // errors ignored: used on the way out of a failure
    bool inTransaction() const;

    // The message for a failed statement.
    QString errorText(const QString &what, const QString &detail) const;
    // The same from SQLite's result code and text.
    QString errorText(const QString &what, int nativeCode, const QString &detail) const;
    QString errorText(const QString &what, const QSqlError &error) const;

private:
    QString m_name;
    QString m_path;
};

// A row set over one table, opened from "select * from <table> ..." or a bare table
// name. Fields are read and set by name without regard to case.
class RowSet {
public:
    RowSet(Connection &conn, const QString &statementOrTable, const QVariantList &params = {});
    ~RowSet();
    RowSet(const RowSet &) = delete;
    RowSet &operator=(const RowSet &) = delete;

    // Runs the statement again, optionally with new parameter values.
    void requery();
    void requery(const QVariantList &params);
    // Called while the rows are read, for each row and every few thousand steps of the
    // statement (a sort before the first row): a long read keeps a window painting.
    void setWhileLoading(std::function<void()> callback) { m_whileLoading = std::move(callback); }

    bool eof() const { return m_pos < 0 || m_pos >= m_rows.size(); }
    bool isEmpty() const { return m_rows.isEmpty(); }
    int count() const { return m_rows.size(); }
    void moveFirst() { m_pos = m_rows.isEmpty() ? -1 : 0; }
    void moveNext() { if (!eof()) ++m_pos; }
    int position() const { return m_pos; }

    const QString &table() const { return m_table; }
    const QStringList &fieldNames() const { return m_fields; }
    int fieldIndex(const QString &name) const;  // -1 when absent

    // Current row's field; a Null field gives an invalid QVariant. Throws for an
    // unknown field or no current row.
    QVariant value(const QString &field) const;
    QVariant value(int column) const;
    bool isNull(const QString &field) const;
    QString text(const QString &field) const;   // Null reads as empty text
    qint32 number(const QString &field) const;  // Null reads as 0

    // Changes of the current row; kept until update().
    void setValue(const QString &field, const QVariant &value);
    void setText(const QString &field, const QString &text);  // empty stays empty
    void setNull(const QString &field);
    void setNumber(const QString &field, qint32 n);
    void setFlag(const QString &field, bool on);              // -1 or 0

    // A new row becomes the current row; update() inserts it and reads back its key.
    void addNew();
    void update();
    void cancelUpdate();
    // Deletes the current row; the position stays on the following row.
    void deleteRow();

private:
    void load();
    [[noreturn]] void fail(const QString &what, const QSqlQuery &q) const;
    const QVariant &cell(int column) const;

    Connection &m_conn;
    QString m_statement;   // as run, with the row id selected first
    QVariantList m_params;
    std::function<void()> m_whileLoading;
    QString m_table;
    QStringList m_fields;  // without the row id
    QHash<QString, int> m_index;  // lower-case field name -> column
    QVector<QVector<QVariant>> m_rows;  // column 0 is the row id
    int m_pos = -1;
    QHash<int, QVariant> m_edits;  // column -> new value
    bool m_adding = false;
    std::unique_ptr<QSqlQuery> m_select;
};

}  // namespace tessaly
