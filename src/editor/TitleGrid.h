#pragma once
// The editor's grid row set: the titles of the chosen category and genre from table
// photoIvents, all fields in their stored order (the grid addresses them by position).
// It keeps its own connection open while it shows rows, but no statement: it knows how
// many titles there are, and reads the rows in pages where the view looks, each page
// read whole with the count in one short read and its statement finished at once, since
// an open SQLite statement holds a read lock that makes every other connection's write
// fail. Only a few pages are held, whatever the library's size.
//
// Other programs write meanwhile. A page read that finds another count, or rows that do
// not fit the pages held beside it, tells the owner that the rows are stale (it rebuilds
// them); a read that fails (the library held by another program) waits only briefly,
// leaves the rows blank and is tried again, and the owner is told when it keeps failing.
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

class QAbstractItemModel;

namespace tessaly {

class Connection;

class TitleGrid {
public:
    // Column positions of photoIvents.
    enum Column {
        ColID2 = 0, ColID = 1, ColID1 = 2, ColFolderName = 3, ColFolder = 4, ColLink = 5,
        ColLinkButton = 6, ColHtml = 7, ColHtmlButton = 8, ColIvents = 9, ColPhoto = 10,
        ColumnCount = 11
    };
    static constexpr int kPageRows = 100;
    static constexpr int kHeldPages = 4;
    // How long a page read waits for another program's lock, in milliseconds.
    static constexpr int kReadWaitMs = 150;
    // Failed reads in a row before the owner is told.
    static constexpr int kFailuresReported = 3;

    TitleGrid();
    ~TitleGrid();
    TitleGrid(const TitleGrid &) = delete;
    TitleGrid &operator=(const TitleGrid &) = delete;

    // The grid's model: every row of the selection, read in pages as they are shown.
    QAbstractItemModel *model() const;

    // Drops the rows and closes the connection, ignoring failures; then reopens the
    // connection, counts the rows of "select * from photoIvents where <filter>" (filter
    // empty: every title) and reads the first page in ID2 order, the values bound.
    // Throws DbError when the library cannot be read.
    void refresh(const QString &connectString, const QString &filter, const QVariantList &params);
    // Drops the rows and closes the connection.
    void close();
    const QString &filter() const;
    const QVariantList &params() const;

    // Called (from the event loop, never inside a read) when the rows no longer fit the
    // library, and when reads keep failing (with the message).
    void setStaleHandler(std::function<void()> handler);
    void setFaultHandler(std::function<void(const QString &)> handler);

    // Every row of the selection.
    int rowCount() const;
    // A cell by row and column position; Null, or a row that could not be read, gives an
    // invalid QVariant.
    QVariant cell(int row, int column) const;
    // A cell by row and field name (any case); Null gives an invalid QVariant.
    QVariant value(int row, const QString &field) const;
    // The row of the title with that ID2, -1 when it is not among the rows (throws DbError).
    int rowOfKey(qint64 id2) const;
    bool isOpen() const;
    // Rows held in memory now.
    int heldRows() const;

private:
    class Model;
    std::unique_ptr<Connection> m_conn;
    std::unique_ptr<Model> m_model;
};

}  // namespace tessaly
