// mdbtools.h includes glib inside extern "C", which glib's C++ parts refuse: glib first.
#include <glib.h>
#include <mdbtools.h>

#include "JetImport.h"

#include "Database.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QtEndian>

#include <array>
#include <cmath>
#include <cstring>

namespace tessaly {

namespace {

constexpr int kHeaderSize = 0x18 + 128;
constexpr int kRowOffsetMask = 0x1fff;  // the low bits of a row pointer; the high ones are flags
constexpr unsigned kMaxColumns = 255;   // Jet allows 255 fields in a table
constexpr int kMaxRowBytes = 4096;      // a row lies on one page

QString shownName(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

// text: a whole sentence, %1 the file, so that each language words it its own way.
[[noreturn]] void refuse(const QString &path, const QString &text)
{
    throw JetImportError(text.arg(shownName(path)));
}

[[noreturn]] void damaged(const QString &path, const QString &detail)
{
    throw JetImportError(JetDamagedText(path, detail));
}

[[noreturn]] void notLibrary(const QString &path, const QString &detail)
{
    throw JetImportError(QCoreApplication::translate("Jet", "「%1」はライブラリではありません (%2)。").arg(shownName(path), detail));
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
        // A damaged header may hold any bits here, also no number an int can take.
        const qint32 m = std::isfinite(created) && std::fabs(created) < 2147483647.0 ? static_cast<qint32>(created) : 0;
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

// A definition that contradicts itself would have libmdb read every value of a column
// from the wrong place, or none at all (as Null), without a word.
void checkDefinition(const QString &path, const QString &table, const MdbTableDef *t)
{
    if (t->num_cols == 0 || t->num_cols > kMaxColumns)
        damaged(path, QCoreApplication::translate("Jet", "テーブル %1 の項目数 (%2) があり得ない値です").arg(table).arg(t->num_cols));
    QSet<int> numbers, varNumbers;
    unsigned varColumns = 0;
    for (unsigned c = 0; c < t->num_cols; ++c) {
        const auto *col = static_cast<const MdbColumn *>(g_ptr_array_index(t->columns, c));
        const QString field = QString::fromUtf8(col->name);
        const auto fault = [&](const QString &what) {
            damaged(path, QCoreApplication::translate("Jet", "テーブル %1 の定義が矛盾しています: 項目 %2 の%3").arg(table, field, what));
        };
        // Numbers of deleted fields stay taken, so only repeats are impossible.
        if (col->col_num < 0 || numbers.contains(col->col_num))
            fault(QCoreApplication::translate("Jet", "番号 (%1)").arg(col->col_num));
        numbers.insert(col->col_num);
        if (col->is_fixed) {
            if (col->col_size < 0 || col->fixed_offset < 0 || col->fixed_offset + col->col_size > kMaxRowBytes)
                fault(QCoreApplication::translate("Jet", "位置 (%1)").arg(col->fixed_offset));
            continue;
        }
        ++varColumns;
        if (varNumbers.contains(int(col->var_col_num)))
            fault(QCoreApplication::translate("Jet", "可変長の番号 (%1)").arg(col->var_col_num));
        varNumbers.insert(int(col->var_col_num));
    }
    if (varColumns > t->num_var_cols)
        damaged(path, QCoreApplication::translate("Jet", "テーブル %1 の定義が矛盾しています: 可変長の項目が %2 個あるのに %3 個と書かれています")
                          .arg(table)
                          .arg(varColumns)
                          .arg(t->num_var_cols));
}

// libmdb walks a table's rows through the table's used-pages map without looking at it
// first: a map row of no bytes leaves it a null map that it reads at once (a crash), and a
// map naming pages the file lacks, or pages of another kind, has it read garbage as rows.
class UsedPagesCheck {
public:
    UsedPagesCheck(const QString &path, qint64 pageSize, qint64 pages)
        : m_path(path), m_file(path), m_pageSize(pageSize), m_pages(pages)
    {
        if (!m_file.open(QIODevice::ReadOnly))
            refuse(path, QCoreApplication::translate("Jet", "「%1」を読み取れません。"));
    }

    void check(const QString &table, const MdbTableDef *t)
    {
        m_table = table;
        if (!t->usage_map || t->map_sz < 1)
            fault(QCoreApplication::translate("Jet", "がありません"));
        const unsigned char *map = t->usage_map;
        const size_t size = t->map_sz;
        if (map[0] == 0) {
            // The bitmap itself, from a first page on.
            if (size < 5)
                fault(QCoreApplication::translate("Jet", "が短すぎます (%1 バイト)").arg(size));
            const quint64 first = qFromLittleEndian<quint32>(map + 1);
            checkBits(map + 5, size - 5, first);
        } else if (map[0] == 1) {
            // Numbers of map pages, each the bitmap of the next (page size - 4) * 8 pages.
            const quint64 span = quint64(m_pageSize - 4) * 8;
            for (size_t k = 0; k < (size - 1) / 4; ++k) {
                const quint64 mapPage = qFromLittleEndian<quint32>(map + 1 + 4 * k);
                if (mapPage == 0)
                    continue;
                const QByteArray bits = readPage(mapPage);
                if (bits.isEmpty())
                    pastEnd(mapPage);
                if (static_cast<unsigned char>(bits.at(0)) != MDB_PAGE_MAP)
                    fault(QCoreApplication::translate("Jet", "のページ %1 が一覧のページではありません").arg(mapPage));
                checkBits(reinterpret_cast<const unsigned char *>(bits.constData()) + 4, size_t(bits.size() - 4), k * span);
            }
        } else {
            fault(QCoreApplication::translate("Jet", "の形式 (%1) が分かりません").arg(map[0]));
        }
    }

private:
    [[noreturn]] void fault(const QString &what)
    {
        damaged(m_path, QCoreApplication::translate("Jet", "テーブル %1 の使用ページの一覧%2").arg(m_table, what));
    }

    [[noreturn]] void pastEnd(quint64 page)
    {
        fault(QCoreApplication::translate("Jet", "がページ %1 を指していますが、ファイルは %2 ページです").arg(page).arg(m_pages));
    }

    // Pages past the file's end, and the header, definitions and maps, are never a table's
    // rows; index pages are the table's own, and libmdb passes over them.
    void checkBits(const unsigned char *bits, size_t bytes, quint64 first)
    {
        for (size_t i = 0; i < bytes; ++i) {
            for (int b = 0; b < 8; ++b) {
                if (!(bits[i] >> b & 1))
                    continue;
                const quint64 page = first + i * 8 + quint64(b);
                if (page >= quint64(m_pages))
                    pastEnd(page);
                const int type = pageType(page);
                if (type != MDB_PAGE_DATA && type != MDB_PAGE_INDEX && type != MDB_PAGE_LEAF)
                    fault(QCoreApplication::translate("Jet", "が指すページ %1 は行のページではありません (種類 %2)").arg(page).arg(type));
            }
        }
    }

    QByteArray readPage(quint64 page)
    {
        if (page >= quint64(m_pages) || !m_file.seek(qint64(page) * m_pageSize))
            return QByteArray();
        const QByteArray bytes = m_file.read(m_pageSize);
        return bytes.size() == m_pageSize ? bytes : QByteArray();
    }

    int pageType(quint64 page)
    {
        char type = 0;
        if (!m_file.seek(qint64(page) * m_pageSize) || !m_file.getChar(&type))
            return -1;
        return static_cast<unsigned char>(type);
    }

    QString m_path, m_table;
    QFile m_file;
    qint64 m_pageSize, m_pages;
};

}  // namespace

QString JetDamagedText(const QString &path, const QString &detail)
{
    return QCoreApplication::translate("Jet", "「%1」は壊れているか、途中で切れています (%2)。").arg(shownName(path), detail);
}

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
        refuse(path, QCoreApplication::translate("Jet", "「%1」がありません。"));
    qint64 size = 0;
    const QByteArray head = readHead(path, &size);
    if (head.isNull() || !fi.isReadable())
        refuse(path, QCoreApplication::translate("Jet", "「%1」を読み取れません。"));
    const JetHeader h = readHeader(head);
    if (!h.jet) {
        if (size < kHeaderSize)
            damaged(path, QCoreApplication::translate("Jet", "ファイルが短すぎます"));
        refuse(path, QCoreApplication::translate("Jet", "「%1」は Jet 形式のデータベースではありません。"));
    }
    if (h.version > 1)
        refuse(path, QCoreApplication::translate("Jet", "「%1」は Access 2007 以降の形式です。変換できるのは Jet 3 と Jet 4 の形式 (Access 97 から "
                                    "2003) だけです。"));
    if (h.password)
        refuse(path, QCoreApplication::translate("Jet", "「%1」はパスワードで保護されています。Windows の Access でパスワードを解除してから"
                                    "変換してください。"));
    const qint64 pageSize = h.version == 0 ? 2048 : 4096;
    if (size % pageSize != 0)
        damaged(path, QCoreApplication::translate("Jet", "大きさがページの倍数ではありません"));

    // Other settings of libmdb would hand text over in another character set.
    qunsetenv("MDBICONV");
    d->mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!d->mdb)
        damaged(path, QCoreApplication::translate("Jet", "ファイルの見出しを読めません"));
    if (d->mdb->f->db_key != 0)
        refuse(path, QCoreApplication::translate("Jet", "「%1」は暗号化されています。Windows の Access で暗号化を解除してから変換してください。"));
    if (!mdb_read_catalog(d->mdb, MDB_TABLE) || d->mdb->num_catalog == 0)
        damaged(path, QCoreApplication::translate("Jet", "テーブルの一覧を読めません"));

    UsedPagesCheck usedPages(path, pageSize, size / pageSize);
    for (const LibraryTable &lt : LibraryTables()) {
        MdbCatalogEntry *entry = nullptr;
        for (unsigned i = 0; i < d->mdb->num_catalog && !entry; ++i) {
            auto *e = static_cast<MdbCatalogEntry *>(g_ptr_array_index(d->mdb->catalog, i));
            if (e->object_type == MDB_TABLE && QString::fromUtf8(e->object_name).compare(lt.name, Qt::CaseInsensitive) == 0)
                entry = e;
        }
        if (!entry)
            notLibrary(path, QCoreApplication::translate("Jet", "テーブル %1 がありません").arg(lt.name));
        MdbTableDef *t = mdb_read_table(entry);
        if (!t || !mdb_read_columns(t)) {
            if (t)
                mdb_free_tabledef(t);
            damaged(path, QCoreApplication::translate("Jet", "テーブル %1 の定義を読めません").arg(lt.name));
        }
        d->tables << t;
        usedPages.check(lt.name, t);
        QList<int> cols;
        for (const QString &field : lt.fields) {
            int found = -1;
            for (unsigned c = 0; c < t->num_cols && found < 0; ++c) {
                auto *col = static_cast<MdbColumn *>(g_ptr_array_index(t->columns, c));
                if (QString::fromUtf8(col->name).compare(field, Qt::CaseInsensitive) == 0)
                    found = int(c);
            }
            if (found < 0)
                notLibrary(path, QCoreApplication::translate("Jet", "テーブル %1 に項目 %2 がありません").arg(lt.name, field));
            const int type = static_cast<MdbColumn *>(g_ptr_array_index(t->columns, found))->col_type;
            if (type != MDB_TEXT && type != MDB_MEMO && type != MDB_BOOL && type != MDB_BYTE && type != MDB_INT
                && type != MDB_LONGINT)
                notLibrary(path, QCoreApplication::translate("Jet", "テーブル %1 の項目 %2 の型 (%3) には対応していません").arg(lt.name, field).arg(type));
            cols << found;
        }
        checkDefinition(path, lt.name, t);
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
    const LibraryTable &lt = LibraryTables().at(table);
    const QString &name = lt.name;
    MdbHandle *mdb = d->mdb;
    const bool jet3 = mdb->f->jet_version == MDB_VER_JET3;
    // mdb_crack_row fills one field a column and returns the count the row claims,
    // which a damaged row puts above the table's.
    std::vector<MdbField> fields(t->num_cols);
    // The key: 1 in the two one-row tables, an AutoNumber elsewhere.
    static const char *const keys[] = {"ID", "ID", "ID", "ID1", "ID2"};
    const int key = lt.fields.indexOf(QLatin1String(keys[table]));
    const bool keyIsOne = table < 2;
    QSet<int> seenKeys;
    QVariantList values;
    values.reserve(cols.size());

    mdb_rewind_table(t);
    unsigned n = 0;
    while (mdb_fetch_row(t)) {
        ++n;
        const auto rowFault = [&](const QString &what) {
            damaged(d->path, QCoreApplication::translate("Jet", "テーブル %1 の %2 行目: %3").arg(name).arg(n).arg(what));
        };
        // mdb_fetch_row leaves the row on the current page; crack it again to tell
        // Null from empty text, which its bound strings cannot.
        int start = 0;
        size_t length = 0;
        if (mdb_find_row(mdb, int(t->cur_row) - 1, &start, &length) < 0 || length < 2)
            rowFault(QCoreApplication::translate("Jet", "行を読めません"));
        start &= kRowOffsetMask;
        if (mdb_crack_row(t, start, length, fields.data()) < 0)
            rowFault(QCoreApplication::translate("Jet", "行を読めません"));
        // The row's own null bitmap, at its end: a value it marks present that libmdb
        // found no place for was lost, not Null.
        const unsigned rowColumns = jet3 ? mdb->pg_buf[start] : mdb_get_int16(mdb->pg_buf, start);
        const size_t maskBytes = (rowColumns + 7) / 8;
        const unsigned char *mask = mdb->pg_buf + start + length - maskBytes;
        const auto present = [&](const MdbColumn *col) {
            return unsigned(col->col_num) < rowColumns && (mask[col->col_num / 8] >> (col->col_num % 8) & 1);
        };

        values.clear();
        for (int c : cols) {
            const MdbField &f = fields[size_t(c)];
            const auto *col = static_cast<const MdbColumn *>(g_ptr_array_index(t->columns, c));
            const int type = col->col_type;
            if (type == MDB_BOOL) {
                // A Yes/No value lives in the null bitmap: set means Yes.
                values << (f.is_null ? 0 : -1);
                continue;
            }
            if (f.is_null) {
                if (present(col))
                    rowFault(QCoreApplication::translate("Jet", "項目 %1 の値が見つかりません").arg(QString::fromUtf8(col->name)));
                values << QVariant();
                continue;
            }
            const int size = type == MDB_BYTE ? 1 : type == MDB_INT ? 2 : type == MDB_LONGINT ? 4 : 0;
            if (f.siz < size || f.start < 0 || size_t(f.start) + size_t(f.siz) > size_t(start) + length)
                rowFault(QCoreApplication::translate("Jet", "項目 %1 の値が行の外にあります").arg(QString::fromUtf8(col->name)));
            switch (type) {
            case MDB_BYTE:
                values << int(mdb_get_byte(mdb->pg_buf, f.start));
                break;
            case MDB_INT:
                values << int(qint16(mdb_get_int16(mdb->pg_buf, f.start)));
                break;
            case MDB_LONGINT:
                values << int(qint32(mdb_get_int32(mdb->pg_buf, f.start)));
                break;
            default: {
                char *s = mdb_col_to_string(mdb, mdb->pg_buf, f.start, type, f.siz);
                QString text = QString::fromUtf8(s ? s : "");
                g_free(s);
                if (text.isNull())
                    text = QString(QLatin1String(""));  // empty text, not Null
                values << text;
            }
            }
        }
        const QVariant &k = values.at(key);
        if ((keyIsOne ? k != QVariant(1) : !k.isValid() || k.toInt() <= 0) || seenKeys.contains(k.toInt()))
            rowFault(QCoreApplication::translate("Jet", "キー %1 の値 (%2) があり得ません")
                         .arg(lt.fields.at(key), k.isValid() ? k.toString() : QStringLiteral("Null")));
        seenKeys.insert(k.toInt());
        row(values);
    }
    if (n < t->num_rows)
        damaged(d->path, QCoreApplication::translate("Jet", "テーブル %1 の行が %2 件中 %3 件しか読めません").arg(name).arg(t->num_rows).arg(n));
    if (n > t->num_rows)
        damaged(d->path, QCoreApplication::translate("Jet", "テーブル %1 は %2 件と書かれていますが、%3 件の行があります").arg(name).arg(t->num_rows).arg(n));
    return int(n);
}

}  // namespace tessaly
