#pragma once
// One statement prepared once on a connection and run many times. Walks and rewrites
// of up to hundreds of thousands of rows go straight to SQLite on the connection's
// handle; Qt's per-value binding would cost more than the work itself.
#include <QCoreApplication>
#include <QString>
#include <QUtf8StringView>
#include <QVariant>

#include <functional>

struct sqlite3_stmt;

namespace tessaly {

class Connection;

class Statement {
public:
    // what names the work in a failure's message.
    Statement(Connection &conn, const QString &sql, const QString &what = QCoreApplication::translate("Database", "処理"));  // throws DbError
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    void bind(int i, qint64 n);
    // The text must stay alive until step() is done with it.
    void bind(int i, const QString &text);
    void bind(int i, const QByteArray &utf8);  // the same, as UTF-8
    void bindNull(int i);
    // True while a row is there; false at the end.
    bool step();
    void reset();
    qint64 integer(int col) const;
    // A text column as stored, valid until the next step; null for Null.
    QUtf8StringView utf8(int col) const;
    bool isNull(int col) const;
    // A column as Qt's SQLite driver reads it: a null QVariant for Null.
    QVariant value(int col) const;
    // Called every few thousand steps of a step() (a sort before the first row), so that
    // a long read keeps a window painting.
    void setWhileStepping(std::function<void()> callback) { m_whileStepping = std::move(callback); }

private:
    [[noreturn]] void fail();

    Connection &m_conn;
    QString m_what;
    sqlite3_stmt *m_stmt = nullptr;
    std::function<void()> m_whileStepping;
};

}  // namespace tessaly
