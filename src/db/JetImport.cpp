// mdbtools.h includes glib inside extern "C", which glib's C++ parts refuse: glib first.
#include <glib.h>
#include <mdbtools.h>

#include "JetImport.h"

#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "Library.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>

#include <array>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

namespace {

constexpr int kHeaderSize = 0x18 + 128;
constexpr int kRowOffsetMask = 0x1fff;  // the low bits of a row pointer; the high ones are flags

QString shownName(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

[[noreturn]] void refuse(const QString &path, const QString &why)
{
    throw JetImportError(QStringLiteral("「%1」%2").arg(shownName(path), why));
}

[[noreturn]] void damaged(const QString &path, const QString &detail)
{
    refuse(path, QStringLiteral("は壊れているか、途中で切れています (%1)。").arg(detail));
}

[[noreturn]] void notLibrary(const QString &path, const QString &detail)
{
    refuse(path, QStringLiteral("はライブラリではありません (%1)。").arg(detail));
}

struct JetHeader {
    bool jet = false;
    int version = -1;  // 0 Jet 3, 1 Jet 4, higher: Access 2007 and later
    bool password = false;
};

// Bytes 0x18 on of the first page are scrambled with RC4 under a fixed key; the
// database password lies in them, for Jet 4 also masked with the creation date.
JetHeader readHeader(const QByteArray &head)
{
    JetHeader h;
    static const char sig[] = "\x00\x01\x00\x00Standard Jet DB\x00";
    if (head.size() < kHeaderSize || std::memcmp(head.constData(), sig, sizeof sig - 1) != 0)
        return h;
    h.jet = true;
    h.version = static_cast<unsigned char>(head.at(0x14));
    if (h.version > 1)
        return h;

    std::array<unsigned char, 256> s;
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<unsigned char>(i);
    const unsigned char key[4] = {0xc7, 0xda, 0x39, 0x6b};
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % 4]) & 255;
        std::swap(s[i], s[j]);
    }
    QByteArray plain = head.left(kHeaderSize);
    for (int n = 0x18, i = 0, j = 0; n < kHeaderSize; ++n) {
        i = (i + 1) & 255;
        j = (j + s[i]) & 255;
        std::swap(s[i], s[j]);
        plain[n] = static_cast<char>(plain.at(n) ^ s[(s[i] + s[j]) & 255]);
    }
    unsigned char mask[4] = {0, 0, 0, 0};
    int length = 20;
    if (h.version == 1) {
        double created;
        std::memcpy(&created, plain.constData() + 0x72, sizeof created);
        const qint32 m = static_cast<qint32>(created);
        std::memcpy(mask, &m, sizeof mask);
        length = 40;
    }
    for (int i = 0; i < length; ++i)
        if ((static_cast<unsigned char>(plain.at(0x42 + i)) ^ mask[i % 4]) != 0)
            h.password = true;
    return h;
}

QByteArray readHead(const QString &path, qint64 *size)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    *size = f.size();
    return f.read(kHeaderSize);
}

}  // namespace

bool IsJetFile(const QString &path)
{
    qint64 size = 0;
    return readHeader(readHead(path, &size)).jet;
}

// ---------------------------------------------------------------------------

struct JetLibraryReader::Impl {
    QString path;
    MdbHandle *mdb = nullptr;
    QList<MdbTableDef *> tables;       // in LibraryTables() order
    QList<QList<int>> columns;         // per table: Jet column of each template field

    ~Impl()
    {
        for (MdbTableDef *t : tables)
            mdb_free_tabledef(t);
        if (mdb)
            mdb_close(mdb);
    }
};

JetLibraryReader::JetLibraryReader(const QString &path) : d(new Impl)
{
    d->path = path;
    const QFileInfo fi(path);
    if (!fi.isFile())
        refuse(path, QStringLiteral("がありません。"));
    qint64 size = 0;
    const QByteArray head = readHead(path, &size);
    if (head.isNull() || !fi.isReadable())
        refuse(path, QStringLiteral("を読み取れません。"));
    const JetHeader h = readHeader(head);
    if (!h.jet) {
        if (size < kHeaderSize)
            damaged(path, QStringLiteral("ファイルが短すぎます"));
        refuse(path, QStringLiteral("は Jet 形式のデータベースではありません。"));
    }
    if (h.version > 1)
        refuse(path, QStringLiteral("は Access 2007 以降の形式です。変換できるのは Jet 3 と Jet 4 の形式 (Access 97 から "
                                    "2003) だけです。"));
    if (h.password)
        refuse(path, QStringLiteral("はパスワードで保護されています。Windows の Access でパスワードを解除してから"
                                    "変換してください。"));
    const qint64 pageSize = h.version == 0 ? 2048 : 4096;
    if (size % pageSize != 0)
        damaged(path, QStringLiteral("大きさがページの倍数ではありません"));

    // Other settings of libmdb would hand text over in another character set.
    qunsetenv("MDBICONV");
    d->mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!d->mdb)
        damaged(path, QStringLiteral("ファイルの見出しを読めません"));
    if (d->mdb->f->db_key != 0)
        refuse(path, QStringLiteral("は暗号化されています。Windows の Access で暗号化を解除してから変換してください。"));
    if (!mdb_read_catalog(d->mdb, MDB_TABLE) || d->mdb->num_catalog == 0)
        damaged(path, QStringLiteral("テーブルの一覧を読めません"));

    for (const LibraryTable &lt : LibraryTables()) {
        MdbCatalogEntry *entry = nullptr;
        for (unsigned i = 0; i < d->mdb->num_catalog && !entry; ++i) {
            auto *e = static_cast<MdbCatalogEntry *>(g_ptr_array_index(d->mdb->catalog, i));
            if (e->object_type == MDB_TABLE && QString::fromUtf8(e->object_name).compare(lt.name, Qt::CaseInsensitive) == 0)
                entry = e;
        }
        if (!entry)
            notLibrary(path, QStringLiteral("テーブル %1 がありません").arg(lt.name));
        MdbTableDef *t = mdb_read_table(entry);
        if (!t || !mdb_read_columns(t)) {
            if (t)
                mdb_free_tabledef(t);
            damaged(path, QStringLiteral("テーブル %1 の定義を読めません").arg(lt.name));
        }
        d->tables << t;
        QList<int> cols;
        for (const QString &field : lt.fields) {
            int found = -1;
            for (unsigned c = 0; c < t->num_cols && found < 0; ++c) {
                auto *col = static_cast<MdbColumn *>(g_ptr_array_index(t->columns, c));
                if (QString::fromUtf8(col->name).compare(field, Qt::CaseInsensitive) == 0)
                    found = int(c);
            }
            if (found < 0)
                notLibrary(path, QStringLiteral("テーブル %1 に項目 %2 がありません").arg(lt.name, field));
            const int type = static_cast<MdbColumn *>(g_ptr_array_index(t->columns, found))->col_type;
            if (type != MDB_TEXT && type != MDB_MEMO && type != MDB_BOOL && type != MDB_BYTE && type != MDB_INT
                && type != MDB_LONGINT)
                notLibrary(path, QStringLiteral("テーブル %1 の項目 %2 の型 (%3) には対応していません").arg(lt.name, field).arg(type));
            cols << found;
        }
        d->columns << cols;
    }
}

JetLibraryReader::~JetLibraryReader() = default;

qint64 JetLibraryReader::totalRows() const
{
    qint64 n = 0;
    for (const MdbTableDef *t : d->tables)
        n += t->num_rows;
    return n;
}

int JetLibraryReader::readTable(int table, const std::function<void(const QVariantList &)> &row)
{
    MdbTableDef *t = d->tables.at(table);
    const QList<int> &cols = d->columns.at(table);
    const QString &name = LibraryTables().at(table).name;
    MdbHandle *mdb = d->mdb;
    std::vector<MdbField> fields(t->num_cols);
    std::vector<const MdbField *> byColumn(t->num_cols);
    QVariantList values;
    values.reserve(cols.size());

    mdb_rewind_table(t);
    unsigned n = 0;
    while (mdb_fetch_row(t)) {
        // mdb_fetch_row leaves the row on the current page; crack it again to tell
        // Null from empty text, which its bound strings cannot.
        int start = 0;
        size_t length = 0;
        if (mdb_find_row(mdb, int(t->cur_row) - 1, &start, &length) < 0)
            damaged(d->path, QStringLiteral("テーブル %1 の行を読めません").arg(name));
        const int cracked = mdb_crack_row(t, start & kRowOffsetMask, length, fields.data());
        if (cracked < 0)
            damaged(d->path, QStringLiteral("テーブル %1 の行を読めません").arg(name));
        std::fill(byColumn.begin(), byColumn.end(), nullptr);
        for (int i = 0; i < cracked; ++i)
            if (fields[i].colnum >= 0 && unsigned(fields[i].colnum) < t->num_cols)
                byColumn[fields[i].colnum] = &fields[i];

        values.clear();
        for (int c : cols) {
            const MdbField *f = byColumn[c];
            const int type = static_cast<MdbColumn *>(g_ptr_array_index(t->columns, c))->col_type;
            if (type == MDB_BOOL) {
                // A Yes/No value lives in the null bitmap: set means Yes.
                values << (f && !f->is_null ? -1 : 0);
                continue;
            }
            if (!f || f->is_null) {
                values << QVariant();
                continue;
            }
            switch (type) {
            case MDB_BYTE:
                values << int(mdb_get_byte(mdb->pg_buf, f->start));
                break;
            case MDB_INT:
                values << int(qint16(mdb_get_int16(mdb->pg_buf, f->start)));
                break;
            case MDB_LONGINT:
                values << int(qint32(mdb_get_int32(mdb->pg_buf, f->start)));
                break;
            default: {
                char *s = mdb_col_to_string(mdb, mdb->pg_buf, f->start, type, f->siz);
                QString text = QString::fromUtf8(s ? s : "");
                g_free(s);
                if (text.isNull())
                    text = QString(QLatin1String(""));  // empty text, not Null
                values << text;
            }
            }
        }
        row(values);
        ++n;
    }
    if (n != t->num_rows)
        damaged(d->path, QStringLiteral("テーブル %1 の行が %2 件中 %3 件しか読めません").arg(name).arg(t->num_rows).arg(n));
    return int(n);
}

// ---------------------------------------------------------------------------

struct LibraryFileWriter::Impl {
    QString dest;
    QString temp;
    bool replace = false;
    bool done = false;
    std::unique_ptr<Connection> conn;
    QList<QSqlQuery> inserts;

    void discard()
    {
        inserts.clear();
        conn.reset();
        if (!temp.isEmpty()) {
            QFile::remove(temp);
            QFile::remove(temp + QStringLiteral("-journal"));
        }
    }
};

static QString writeFault(const QString &path, const QString &detail)
{
    return QStringLiteral("「%1」に書き込めません: %2").arg(path, detail);
}

LibraryFileWriter::LibraryFileWriter(const QString &templatePath, const QString &dest, bool replace) : d(new Impl)
{
    const QFileInfo di(dest);
    d->dest = di.absoluteFilePath();
    d->replace = replace;
    if (!QFileInfo(di.absolutePath()).isDir())
        throw JetImportError(QStringLiteral("フォルダ「%1」がありません。").arg(di.absolutePath()));
    if (di.isDir())
        throw JetImportError(QStringLiteral("「%1」はフォルダです。").arg(d->dest));
    if (di.exists() && !replace)
        throw JetImportError(QStringLiteral("「%1」は既にあります。").arg(d->dest));

    QFile tpl(templatePath);
    if (!tpl.open(QIODevice::ReadOnly))
        throw JetImportError(QStringLiteral("テンプレート「%1」が見つからないか読めません。").arg(templatePath));
    const QByteArray bytes = tpl.readAll();
    QTemporaryFile tf(di.absolutePath() + QStringLiteral("/.") + di.fileName() + QStringLiteral(".XXXXXX"));
    tf.setAutoRemove(false);
    if (!tf.open())
        throw JetImportError(writeFault(d->dest, tf.errorString()));
    d->temp = tf.fileName();
    if (tf.write(bytes) != bytes.size() || !tf.flush()) {
        const QString err = tf.errorString();
        tf.close();
        d->discard();
        throw JetImportError(writeFault(d->dest, err));
    }
    tf.close();
    const mode_t mask = umask(0);
    umask(mask);
    ::chmod(QFile::encodeName(d->temp).constData(), 0666 & ~mask);

    try {
        d->conn = std::make_unique<Connection>(MakeConnectString(d->temp));
        // Nobody else sees the temporary file and a failure discards it, so a journal and
        // syncs on the way are useless; one sync before the rename keeps the result.
        d->conn->exec(QStringLiteral("pragma journal_mode=off"));
        d->conn->exec(QStringLiteral("pragma synchronous=off"));
        d->conn->begin();
        for (const LibraryTable &t : LibraryTables()) {
            QSqlQuery q(d->conn->database());
            const QString marks = QStringLiteral("?,").repeated(t.fields.size()).chopped(1);
            if (!q.prepare(QStringLiteral("insert into %1 (%2) values (%3)").arg(t.name, t.fields.join(','), marks)))
                throw JetImportError(writeFault(d->dest, q.lastError().text()));
            d->inserts << q;
        }
    } catch (const DbError &e) {
        d->discard();
        throw JetImportError(writeFault(d->dest, e.message()));
    } catch (...) {
        d->discard();
        throw;
    }
}

LibraryFileWriter::~LibraryFileWriter()
{
    if (!d->done)
        d->discard();
}

void LibraryFileWriter::insert(int table, const QVariantList &values)
{
    QSqlQuery &q = d->inserts[table];
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values.at(i));
    if (!q.exec())
        throw JetImportError(writeFault(d->dest, q.lastError().text()));
}

void LibraryFileWriter::finish()
{
    try {
        d->inserts.clear();
        d->conn->commit();
        d->conn->close();
    } catch (const DbError &e) {
        throw JetImportError(writeFault(d->dest, e.message()));
    }
    const QByteArray from = QFile::encodeName(d->temp);
    const QByteArray to = QFile::encodeName(d->dest);
    {
        QFile f(d->temp);
        if (!f.open(QIODevice::ReadWrite) || ::fsync(f.handle()) != 0)
            throw JetImportError(writeFault(d->dest, f.errorString()));
    }
    if (d->replace) {
        if (::rename(from.constData(), to.constData()) != 0)
            throw JetImportError(writeFault(d->dest, QString::fromLocal8Bit(std::strerror(errno))));
    } else if (::link(from.constData(), to.constData()) == 0) {
        // A link never replaces a file that appeared meanwhile.
        ::unlink(from.constData());
    } else if (errno == EEXIST) {
        throw JetImportError(QStringLiteral("「%1」は既にあります。").arg(d->dest));
    } else if (QFileInfo::exists(d->dest) || ::rename(from.constData(), to.constData()) != 0) {
        // A file system without hard links: check, then rename.
        throw JetImportError(writeFault(d->dest, QString::fromLocal8Bit(std::strerror(errno))));
    }
    d->done = true;
}

// ---------------------------------------------------------------------------

JetImportCounts ImportJetLibrary(const QString &jetPath, const QString &templatePath, const QString &dest,
                                 bool replace, const JetProgress &progress)
{
    const QString source = QFileInfo(jetPath).canonicalFilePath();
    if (!source.isEmpty() && source == QFileInfo(dest).canonicalFilePath())
        throw JetImportError(QStringLiteral("変換先「%1」が変換元と同じファイルです。").arg(shownName(dest)));
    JetLibraryReader reader(jetPath);
    LibraryFileWriter writer(templatePath, dest, replace);
    const qint64 total = reader.totalRows();
    qint64 done = 0;
    if (progress)
        progress(0, total);
    JetImportCounts counts;
    for (int t = 0; t < LibraryTables().size(); ++t) {
        const int n = reader.readTable(t, [&](const QVariantList &values) {
            writer.insert(t, values);
            if (++done % 512 == 0 && progress)
                progress(done, total);
        });
        counts << qMakePair(LibraryTables().at(t).name, n);
    }
    writer.finish();
    if (progress)
        progress(total, total);
    return counts;
}

QString JetConvertedPath(const QString &jetPath)
{
    const QFileInfo fi(jetPath);
    const QString stem = fi.absolutePath() + QLatin1Char('/') + fi.completeBaseName() + QStringLiteral("-tessaly");
    QString candidate = stem + QStringLiteral(".mdb");
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = stem + QStringLiteral("-%1.mdb").arg(n);
    return candidate;
}

bool OpenJetLibrary(Global &g, DialogService &ds, LibraryHost &host, const QString &jetPath, bool enableMenus,
                    QObject *owner)
{
    const QString title = QStringLiteral("データベースを開く");
    const QString dest = JetConvertedPath(jetPath);
    const QString question =
        QStringLiteral("「%1」は Windows 版の形式 (Jet) のライブラリです。\n\r"
                       "同じフォルダに新しいライブラリ「%2」を作って変換しますか？（元のファイルは変更しません）")
            .arg(QFileInfo(jetPath).fileName(), QFileInfo(dest).fileName());
    if (!ds.ask(question, MsgKind::Question, title, owner))
        return false;

    JetImportCounts counts;
    const QString label = QStringLiteral("ライブラリを変換しています…");
    try {
        counts = ImportJetLibrary(jetPath, TemplatePath(g), dest, false,
                                  [&](qint64 done, qint64 total) { host.showProgress(label, done, total); });
        host.hideProgress();
    } catch (const JetImportError &e) {
        host.hideProgress();
        ds.message(QStringLiteral("ライブラリを変換できませんでした。\n\r%1").arg(e.message()), MsgKind::Critical, title,
                   MsgButtons::Ok, owner);
        return false;
    }
    if (!OpenLibraryFile(g, ds, host, dest, enableMenus, owner))
        return false;
    ds.message(QStringLiteral("変換しました: カテゴリー %1 件、ジャンル %2 件、タイトル %3 件。\n\r"
                              "基準フォルダに、写真のフォルダを置いたこのコンピューターのフォルダを設定してください。"
                              "登録済みのパスはまとめて書き換わります。")
                   .arg(counts.at(2).second)
                   .arg(counts.at(3).second)
                   .arg(counts.at(4).second),
               MsgKind::Information, title, MsgButtons::Ok, owner);
    host.showBaseFolderWindow();
    return true;
}

}  // namespace tessaly
