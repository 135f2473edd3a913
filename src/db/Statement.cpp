#include "Statement.h"

#include "Database.h"

#include <QCoreApplication>
#include <sqlite3.h>

namespace tessaly {

Statement::Statement(Connection &conn, const QString &sql, const QString &what) : m_conn(conn), m_what(what)
{
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(conn.handle(), utf8.constData(), int(utf8.size()), &m_stmt, nullptr) != SQLITE_OK)
        fail();
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

void Statement::bind(int i, qint64 n)
{
    if (sqlite3_bind_int64(m_stmt, i, n) != SQLITE_OK)
        fail();
}

void Statement::bind(int i, const QString &text)
{
    if (sqlite3_bind_text16(m_stmt, i, text.utf16(), int(text.size() * sizeof(char16_t)), SQLITE_STATIC)
        != SQLITE_OK)
        fail();
}

void Statement::bind(int i, const QByteArray &utf8)
{
    if (sqlite3_bind_text(m_stmt, i, utf8.constData(), int(utf8.size()), SQLITE_STATIC) != SQLITE_OK)
        fail();
}

void Statement::bindNull(int i)
{
    if (sqlite3_bind_null(m_stmt, i) != SQLITE_OK)
        fail();
}

bool Statement::step()
{
    int rc;
    if (m_whileStepping) {
        sqlite3 *db = sqlite3_db_handle(m_stmt);
        sqlite3_progress_handler(
            db, 20000,
            [](void *f) {
                (*static_cast<std::function<void()> *>(f))();
                return 0;
            },
            &m_whileStepping);
        rc = sqlite3_step(m_stmt);
        sqlite3_progress_handler(db, 0, nullptr, nullptr);
    } else {
        rc = sqlite3_step(m_stmt);
    }
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        fail();
    return false;
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

qint64 Statement::integer(int col) const
{
    return sqlite3_column_int64(m_stmt, col);
}

QUtf8StringView Statement::utf8(int col) const
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, col));
    return p ? QUtf8StringView(p, sqlite3_column_bytes(m_stmt, col)) : QUtf8StringView();
}

bool Statement::isNull(int col) const
{
    return sqlite3_column_type(m_stmt, col) == SQLITE_NULL;
}

QVariant Statement::value(int col) const
{
    switch (sqlite3_column_type(m_stmt, col)) {
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(m_stmt, col)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_stmt, col));
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(m_stmt, col)),
                                   sqlite3_column_bytes(m_stmt, col)));
    default:
        return QVariant(QString(static_cast<const QChar *>(sqlite3_column_text16(m_stmt, col)),
                                sqlite3_column_bytes16(m_stmt, col) / qsizetype(sizeof(QChar))));
    }
}

void Statement::fail()
{
    sqlite3 *db = m_conn.handle();
    const int code = sqlite3_extended_errcode(db);
    const QString detail = QString::fromUtf8(sqlite3_errmsg(db));
    if (m_stmt)
        sqlite3_reset(m_stmt);
    throw DbError(m_conn.errorText(m_what, code, detail));
}

}  // namespace tessaly
