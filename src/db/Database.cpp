#include "Database.h"

#include "JetImport.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlDriver>
#include <QSqlRecord>

#include <sqlite3.h>

namespace tessaly {

namespace {

const QLatin1String kProvider("provider=SQLite;data source=");
const QLatin1String kRowId("__rowid");

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("tessaly-%1").arg(counter.fetchAndAddRelaxed(1));
}

// A QString that is empty but not null: a null QString would be bound as SQL NULL.
QVariant boundValue(const QVariant &v)
{
    if (v.typeId() == QMetaType::QString && v.toString().isNull())
        return QVariant(QString(QLatin1String("")));
    return v;
}

}  // namespace

const QList<LibraryTable> &LibraryTables()
{
    static const QList<LibraryTable> schema = {
        {QStringLiteral("allTop"), {"ID", "allTop"}},
        {QStringLiteral("systemdir"), {"ID", "htmlDir"}},
        {QStringLiteral("photoGraph"), {"ID", "topFolder", "topFolderName"}},
        {QStringLiteral("photoYear"), {"ID", "ID1", "yearFolder", "yearFolderName"}},
        {QStringLiteral("photoIvents"),
         {"ID2", "ID", "ID1", "iventsFolderName", "iventsFolder", "iventsLink", "IventsLinkButton",
          "iventsHTML", "IventsHtmlButton", "Ivents", "iventsPhoto"}},
    };
    return schema;
}

QString DbFaultText(const QString &nativeCode, const QString &detail)
{
    // SQLITE_BUSY, SQLITE_LOCKED (extended codes keep the low byte)
    const int code = nativeCode.toInt() & 0xff;
    if (code == 5 || code == 6)
        return QCoreApplication::translate("Database", "ライブラリは他のプログラムが使用中です。しばらくしてからもう一度実行してください。(%1)")
            .arg(detail);
    return detail;
}

QString DbWriteFaultText(int nativeCode, const QString &libraryPath)
{
    const QString kept = QCoreApplication::translate("Database", "この書き込みは保存されていません。");
    switch (nativeCode & 0xff) {
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
        // The file itself may be writable while its folder refuses the journal beside it.
        return QCoreApplication::translate("Database", "ライブラリ「%1」のフォルダ「%2」に書き込めません"
                              "（読み取り専用のメディアか、書き込みが許可されていないファイルかフォルダです）。")
                   .arg(libraryPath, QFileInfo(libraryPath).absolutePath())
               + kept;
    case SQLITE_FULL:
        return QCoreApplication::translate("Database", "ディスクがいっぱいです。ライブラリ「%1」のあるディスクに空きがありません。").arg(libraryPath)
               + kept + QCoreApplication::translate("Database", "空きを作ってから、もう一度実行してください。");
    default:
        return QString();
    }
}

QString MakeConnectString(const QString &filePath)
{
    return kProvider + filePath;
}

QString ConnectStringPath(const QString &connectString)
{
    static const QRegularExpression re(QStringLiteral("data source\\s*=\\s*"),
                                       QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(connectString);
    if (!m.hasMatch())
        return QString();
    return connectString.mid(m.capturedEnd());
}

static QString fileFault(const QString &path, const QString &what)
{
    return QCoreApplication::translate("Database", "ライブラリファイル「%1」を開けません: %2").arg(path, what);
}

static void checkSchema(QSqlDatabase &db, const QString &path)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("select name from sqlite_master where type='table'"))) {
        const QSqlError e = q.lastError();
        const QString inUse = DbFaultText(e.nativeErrorCode(), e.databaseText());
        throw DbError(fileFault(path, inUse != e.databaseText()
                                          ? inUse
                                          : QCoreApplication::translate("Database", "ライブラリのデータベースではありません (%1)")
                                                .arg(e.databaseText())));
    }
    QStringList tables;
    while (q.next())
        tables << q.value(0).toString().toLower();
    q.finish();
    for (const LibraryTable &t : LibraryTables()) {
        const QString &name = t.name;
        if (!tables.contains(name.toLower()))
            throw DbError(fileFault(path, QCoreApplication::translate("Database", "テーブル %1 がありません").arg(name)));
        const QSqlRecord rec = db.record(name);
        for (const QString &f : t.fields) {
            if (rec.indexOf(f) < 0)
                throw DbError(fileFault(path, QCoreApplication::translate("Database", "テーブル %1 に項目 %2 がありません").arg(name, f)));
        }
    }
}

void CheckLibraryFile(const QString &filePath)
{
    Connection c(MakeConnectString(filePath));
}

void MarkLibraryFile(const QString &filePath)
{
    constexpr qint64 kTessalyId = 0x54534C59;  // "TSLY", as the template has it
    try {
        Connection c(MakeConnectString(filePath));
        bool unmarked = false;
        {
            QSqlQuery q(c.database());
            unmarked = q.exec(QStringLiteral("pragma application_id")) && q.next() && q.value(0).toLongLong() == 0;
        }
        if (unmarked && QFileInfo(filePath).isWritable())
            c.exec(QStringLiteral("pragma application_id = %1").arg(kTessalyId));
    } catch (const DbError &) {
        // Read-only or busy: the file type is then found by its name alone.
    }
}

Connection::Connection(const QString &connectString)
{
    m_path = ConnectStringPath(connectString);
    if (m_path.isEmpty())
        throw DbError(QCoreApplication::translate("Database", "ライブラリが開かれていません。"));
    const QFileInfo fi(m_path);
    if (!fi.exists())
        throw DbError(fileFault(m_path, QCoreApplication::translate("Database", "ファイルがありません")));
    if (!fi.isFile())
        throw DbError(fileFault(m_path, QCoreApplication::translate("Database", "ファイルではありません")));
    if (!fi.isReadable())
        throw DbError(fileFault(m_path, QCoreApplication::translate("Database", "読み取りが許可されていません")));

    m_name = nextConnectionName();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        if (!db.isValid()) {
            QSqlDatabase::removeDatabase(m_name);
            m_name.clear();
            throw DbError(QCoreApplication::translate("Database", "SQLite のドライバ (QSQLITE) が見つかりません。"));
        }
        db.setDatabaseName(m_path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            const QString err = DbFaultText(db.lastError().nativeErrorCode(), db.lastError().text());
            db = QSqlDatabase();
            close();
            throw DbError(fileFault(m_path, err));
        }
        try {
            checkSchema(db, m_path);
        } catch (...) {
            db = QSqlDatabase();
            close();
            if (IsJetFile(m_path))
                throw DbError(fileFault(m_path, QCoreApplication::translate("Database", "Windows 版の形式 (Jet) のライブラリです。先に変換してください"
                                                               " (ﾌｧｲﾙ > 開く、または tessaly-cli import-jet)")));
            throw;
        }
    }
}

Connection::~Connection()
{
    close();
}

void Connection::close()
{
    if (m_name.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    m_name.clear();
}

bool Connection::isOpen() const
{
    return !m_name.isEmpty();
}

QSqlDatabase Connection::database() const
{
    if (m_name.isEmpty())
        throw DbError(QCoreApplication::translate("Database", "ライブラリへの接続は閉じられています。"));
    return QSqlDatabase::database(m_name, false);
}

QString Connection::errorText(const QString &what, const QString &detail) const
{
    return QCoreApplication::translate("Database", "ライブラリ「%1」の%2に失敗しました: %3").arg(m_path, what, detail);
}

QString Connection::errorText(const QString &what, int nativeCode, const QString &detail) const
{
    const QString told = DbWriteFaultText(nativeCode, m_path);
    return told.isEmpty() ? errorText(what, DbFaultText(QString::number(nativeCode), detail)) : told;
}

QString Connection::errorText(const QString &what, const QSqlError &error) const
{
    return errorText(what, error.nativeErrorCode().toInt(), error.text());
}

void Connection::exec(const QString &sql, const QVariantList &params)
{
    QSqlQuery q(database());
    if (!q.prepare(sql))
        throw DbError(errorText(QCoreApplication::translate("Database", "処理"), q.lastError()));
    for (const QVariant &p : params)
        q.addBindValue(boundValue(p));
    if (!q.exec())
        throw DbError(errorText(QCoreApplication::translate("Database", "処理"), q.lastError()));
}

void Connection::begin()
{
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        throw DbError(errorText(QCoreApplication::translate("Database", "トランザクション開始"), q.lastError()));
}

void Connection::commit()
{
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("COMMIT")))
        throw DbError(errorText(QCoreApplication::translate("Database", "書き込み"), q.lastError()));
}

void Connection::rollback()
{
    if (!isOpen())
        return;
    QSqlQuery q(database());
    q.exec(QStringLiteral("ROLLBACK"));
}

bool Connection::inTransaction() const
{
    // SQLite may end a transaction itself on a full disk or an I/O error.
    return !sqlite3_get_autocommit(handle());
}

sqlite3 *Connection::handle() const
{
    const QVariant v = database().driver()->handle();
    sqlite3 *db = nullptr;
    if (v.isValid() && qstrcmp(v.typeName(), "sqlite3*") == 0)
        db = *static_cast<sqlite3 *const *>(v.data());
    if (!db)
        throw DbError(errorText(QCoreApplication::translate("Database", "処理"), QCoreApplication::translate("Database", "SQLite の接続を使えません")));
    return db;
}

// ---------------------------------------------------------------------------

RowSet::RowSet(Connection &conn, const QString &statementOrTable, const QVariantList &params)
    : m_conn(conn), m_params(params)
{
    static const QRegularExpression selectRe(
        QStringLiteral("^\\s*select\\s+\\*\\s+from\\s+([A-Za-z_][A-Za-z0-9_]*)(.*)$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression tableRe(QStringLiteral("^\\s*([A-Za-z_][A-Za-z0-9_]*)\\s*$"));
    QString rest;
    QRegularExpressionMatch m = selectRe.match(statementOrTable);
    if (m.hasMatch()) {
        m_table = m.captured(1);
        rest = m.captured(2);
    } else if ((m = tableRe.match(statementOrTable)).hasMatch()) {
        m_table = m.captured(1);
    } else {
        throw DbError(conn.errorText(QCoreApplication::translate("Database", "読み取り"),
                                     QCoreApplication::translate("Database", "扱えない命令です: %1").arg(statementOrTable)));
    }
    m_statement = QStringLiteral("select rowid as %1, * from %2%3").arg(kRowId, m_table, rest);
    m_select = std::make_unique<QSqlQuery>(conn.database());
    m_select->setForwardOnly(true);
    if (!m_select->prepare(m_statement))
        fail(QCoreApplication::translate("Database", "読み取り"), *m_select);
    load();
}

RowSet::~RowSet() = default;

void RowSet::fail(const QString &what, const QSqlQuery &q) const
{
    throw DbError(m_conn.errorText(what, q.lastError()));
}

void RowSet::load()
{
    m_rows.clear();
    m_edits.clear();
    m_adding = false;
    for (const QVariant &p : m_params)
        m_select->addBindValue(boundValue(p));
    struct Steps {
        sqlite3 *db = nullptr;
        ~Steps()
        {
            if (db)
                sqlite3_progress_handler(db, 0, nullptr, nullptr);
        }
    } steps;
    if (m_whileLoading) {
        steps.db = m_conn.handle();
        sqlite3_progress_handler(
            steps.db, 20000,
            [](void *f) {
                (*static_cast<std::function<void()> *>(f))();
                return 0;
            },
            &m_whileLoading);
    }
    if (!m_select->exec())
        fail(QCoreApplication::translate("Database", "読み取り"), *m_select);
    const QSqlRecord rec = m_select->record();
    if (m_fields.isEmpty()) {
        for (int i = 1; i < rec.count(); ++i) {
            m_fields << rec.fieldName(i);
            m_index.insert(rec.fieldName(i).toLower(), i);
        }
    }
    const int n = rec.count();
    while (m_select->next()) {
        QVector<QVariant> row(n);
        for (int i = 0; i < n; ++i)
            row[i] = m_select->value(i);
        m_rows.append(std::move(row));
        if (m_whileLoading)
            m_whileLoading();
    }
    if (m_select->lastError().isValid())
        fail(QCoreApplication::translate("Database", "読み取り"), *m_select);
    m_select->finish();  // releases the read lock
    m_pos = m_rows.isEmpty() ? -1 : 0;
}

void RowSet::requery()
{
    load();
}

void RowSet::requery(const QVariantList &params)
{
    m_params = params;
    load();
}

int RowSet::fieldIndex(const QString &name) const
{
    const int i = m_index.value(name.toLower(), -1);
    return i < 0 ? -1 : i - 1;
}

static QString missingField(const QString &table, const QString &field)
{
    return QCoreApplication::translate("Database", "テーブル %1 に項目 %2 がありません").arg(table, field);
}

const QVariant &RowSet::cell(int column) const
{
    if (eof())
        throw DbError(m_conn.errorText(QCoreApplication::translate("Database", "読み取り"), QCoreApplication::translate("Database", "現在の行がありません")));
    const QVector<QVariant> &row = m_rows.at(m_pos);
    if (row.isEmpty())
        throw DbError(m_conn.errorText(QCoreApplication::translate("Database", "読み取り"), QCoreApplication::translate("Database", "行は削除されています")));
    auto it = m_edits.constFind(column);
    if (it != m_edits.constEnd())
        return it.value();
    return row.at(column);
}

QVariant RowSet::value(const QString &field) const
{
    const int i = m_index.value(field.toLower(), -1);
    if (i < 0)
        throw DbError(m_conn.errorText(QCoreApplication::translate("Database", "読み取り"), missingField(m_table, field)));
    const QVariant &v = cell(i);
    return v.isNull() ? QVariant() : v;
}

QVariant RowSet::value(int column) const
{
    if (column < 0 || column >= m_fields.size())
        throw DbError(m_conn.errorText(QCoreApplication::translate("Database", "読み取り"), QCoreApplication::translate("Database", "列 %1 がありません").arg(column)));
    const QVariant &v = cell(column + 1);
    return v.isNull() ? QVariant() : v;
}

bool RowSet::isNull(const QString &field) const
{
    return value(field).isNull();
}

QString RowSet::text(const QString &field) const
{
    const QVariant v = value(field);
    return v.isNull() ? QString() : v.toString();
}

qint32 RowSet::number(const QString &field) const
{
    const QVariant v = value(field);
    return v.isNull() ? 0 : v.toInt();
}

void RowSet::setValue(const QString &field, const QVariant &value)
{
    const int i = m_index.value(field.toLower(), -1);
    if (i < 0)
        throw DbError(m_conn.errorText(QCoreApplication::translate("Database", "書き込み"), missingField(m_table, field)));
    if (eof())
        throw DbError(m_conn.errorText(QCoreApplication::translate("Database", "書き込み"), QCoreApplication::translate("Database", "現在の行がありません")));
    m_edits.insert(i, boundValue(value));
}

void RowSet::setText(const QString &field, const QString &text)
{
    setValue(field, QVariant(text));
}

void RowSet::setNull(const QString &field)
{
    setValue(field, QVariant());
}

void RowSet::setNumber(const QString &field, qint32 n)
{
    setValue(field, QVariant(n));
}

void RowSet::setFlag(const QString &field, bool on)
{
    setValue(field, QVariant(on ? -1 : 0));
}

void RowSet::addNew()
{
    cancelUpdate();
    m_rows.append(QVector<QVariant>(m_fields.size() + 1));
    m_pos = m_rows.size() - 1;
    m_adding = true;
}

void RowSet::cancelUpdate()
{
    m_edits.clear();
    if (m_adding) {
        m_rows.removeLast();
        m_pos = m_rows.isEmpty() ? -1 : 0;
        m_adding = false;
    }
}

void RowSet::update()
{
    if (eof())
        throw DbError(m_conn.errorText(QCoreApplication::translate("Database", "書き込み"), QCoreApplication::translate("Database", "現在の行がありません")));
    QSqlDatabase db = m_conn.database();
    QList<int> cols = m_edits.keys();
    std::sort(cols.begin(), cols.end());
    QSqlQuery q(db);
    if (m_adding) {
        QString sql;
        if (cols.isEmpty()) {
            sql = QStringLiteral("insert into %1 default values").arg(m_table);
        } else {
            QStringList names, marks;
            for (int c : cols) {
                names << m_fields.at(c - 1);
                marks << QStringLiteral("?");
            }
            sql = QStringLiteral("insert into %1 (%2) values (%3)").arg(m_table, names.join(','), marks.join(','));
        }
        if (!q.prepare(sql))
            fail(QCoreApplication::translate("Database", "書き込み"), q);
        for (int c : cols)
            q.addBindValue(m_edits.value(c));
        if (!q.exec())
            fail(QCoreApplication::translate("Database", "書き込み"), q);
        const QVariant rowid = q.lastInsertId();
        q.finish();
        QSqlQuery back(db);
        back.prepare(QStringLiteral("select rowid as %1, * from %2 where rowid=?").arg(kRowId, m_table));
        back.addBindValue(rowid);
        if (!back.exec() || !back.next())
            fail(QCoreApplication::translate("Database", "書き込み"), back);
        QVector<QVariant> &row = m_rows[m_pos];
        for (int i = 0; i < row.size(); ++i)
            row[i] = back.value(i);
        m_adding = false;
    } else {
        if (cols.isEmpty())
            return;
        QStringList sets;
        for (int c : cols)
            sets << m_fields.at(c - 1) + QStringLiteral("=?");
        if (!q.prepare(QStringLiteral("update %1 set %2 where rowid=?").arg(m_table, sets.join(','))))
            fail(QCoreApplication::translate("Database", "書き込み"), q);
        for (int c : cols)
            q.addBindValue(m_edits.value(c));
        q.addBindValue(m_rows.at(m_pos).at(0));
        if (!q.exec())
            fail(QCoreApplication::translate("Database", "書き込み"), q);
        if (q.numRowsAffected() == 0)
            throw DbError(m_conn.errorText(QCoreApplication::translate("Database", "書き込み"),
                                           QCoreApplication::translate("Database", "行はほかの処理で削除されています")));
        QVector<QVariant> &row = m_rows[m_pos];
        for (int c : cols)
            row[c] = m_edits.value(c);
    }
    m_edits.clear();
}

void RowSet::deleteRow()
{
    if (eof() || m_rows.at(m_pos).isEmpty())
        throw DbError(m_conn.errorText(QCoreApplication::translate("Database", "削除"), QCoreApplication::translate("Database", "現在の行がありません")));
    if (m_adding) {
        cancelUpdate();
        return;
    }
    m_edits.clear();
    QSqlQuery q(m_conn.database());
    q.prepare(QStringLiteral("delete from %1 where rowid=?").arg(m_table));
    q.addBindValue(m_rows.at(m_pos).at(0));
    if (!q.exec())
        fail(QCoreApplication::translate("Database", "削除"), q);
    if (q.numRowsAffected() == 0)
        throw DbError(m_conn.errorText(QCoreApplication::translate("Database", "削除"), QCoreApplication::translate("Database", "行はほかの処理で削除されています")));
    m_rows[m_pos].clear();  // stays current until the next move, as a deleted row
}

}  // namespace tessaly
