#pragma once
// The editor's grid row set: the titles of the chosen category and genre from table
// photoIvents, all fields in their stored order (the grid addresses them by position).
// It keeps its own connection open while it shows rows, but no statement: the rows come
// in pages by key (ID2) as the view scrolls, each page read whole and its statement
// finished at once, since an open SQLite statement holds a read lock that makes every
// other connection's write fail. Only a few pages are held, whatever the library's size.
#include <QString>
#include <QVariant>

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

    TitleGrid();
    ~TitleGrid();
    TitleGrid(const TitleGrid &) = delete;
    TitleGrid &operator=(const TitleGrid &) = delete;

    // The grid's model: rows as far as the view has scrolled, fetched in pages.
    QAbstractItemModel *model() const;

    // Drops the rows and closes the connection, ignoring failures; then reopens the
    // connection and reads the first page of "select * from photoIvents where <filter>"
    // in ID2 order (filter empty: every title), the values bound. Throws DbError when the
    // library cannot be read.
    void refresh(const QString &connectString, const QString &filter, const QVariantList &params);
    // Drops the rows and closes the connection.
    void close();

    // Rows known so far: the pages read up to the one the view reached.
    int rowCount() const;
    // Reads the next page; false at the end.
    bool fetchMore();
    // A cell by row and column position; Null gives an invalid QVariant.
    QVariant cell(int row, int column) const;
    // A cell by row and field name (any case); Null gives an invalid QVariant.
    QVariant value(int row, const QString &field) const;
    bool isOpen() const;
    // Rows held in memory now.
    int heldRows() const;

private:
    class Model;
    std::unique_ptr<Connection> m_conn;
    std::unique_ptr<Model> m_model;
};

}  // namespace tessaly
