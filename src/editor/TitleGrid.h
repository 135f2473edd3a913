#pragma once
// The editor's grid row set: the titles of the chosen category and genre from table
// photoIvents, all fields in their stored order (the grid addresses them by position).
// It keeps its own connection open while it shows rows. Every row is fetched when the
// row set is opened, which finishes the statement: SQLite would otherwise hold a read
// lock that makes every other connection's write fail with "database is locked".
#include <QSqlQueryModel>
#include <QString>
#include <QVariant>

#include <memory>

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

    TitleGrid();
    ~TitleGrid();
    TitleGrid(const TitleGrid &) = delete;
    TitleGrid &operator=(const TitleGrid &) = delete;

    QSqlQueryModel *model() const { return m_model.get(); }

    // Drops the rows and closes the connection, ignoring failures; then reopens the
    // connection and opens the row set of "select * from photoIvents ..." with bound
    // values. Throws DbError when the library cannot be read.
    void refresh(const QString &connectString, const QString &statement, const QVariantList &params);
    // Drops the rows and closes the connection.
    void close();

    int rowCount() const;
    // A cell by row and column position; Null gives an invalid QVariant.
    QVariant cell(int row, int column) const;
    // A cell by row and field name (any case); Null gives an invalid QVariant.
    QVariant value(int row, const QString &field) const;
    bool isOpen() const;

private:
    std::unique_ptr<QSqlQueryModel> m_model;
    std::unique_ptr<Connection> m_conn;
};

}  // namespace tessaly
