#include "TitleGrid.h"

#include "Database.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVector>

#include <limits>

namespace tessaly {

using Row = QVector<QVariant>;
using Page = QVector<Row>;

class TitleGrid::Model : public QAbstractTableModel {
public:
    explicit Model(const TitleGrid &grid) : m_grid(grid) {}

    // Between beginResetModel and endResetModel: forgets everything; with a connection,
    // reads the field names and the first page.
    void reset(const QString &filter, const QVariantList &params)
    {
        beginResetModel();
        m_filter = filter;
        m_params = params;
        m_fields.clear();
        m_pageFirst.clear();
        m_pages.clear();
        m_recent.clear();
        m_rows = 0;
        m_atEnd = true;
        QString fault;
        if (m_grid.m_conn) {
            const QSqlRecord r = m_grid.m_conn->database().record(QStringLiteral("photoIvents"));
            for (int i = 0; i < r.count(); ++i)
                m_fields << r.fieldName(i);
            m_atEnd = false;
            try {
                appendPage();
            } catch (const DbError &e) {
                fault = e.message();
                m_atEnd = true;
            }
        }
        endResetModel();
        if (!fault.isEmpty())
            throw DbError(fault);
    }

    bool fetchNext()
    {
        if (m_atEnd)
            return false;
        Page page;
        try {
            page = read(m_pageFirst.isEmpty() ? std::numeric_limits<qint64>::min() : m_lastKey, false);
        } catch (const DbError &) {
            m_atEnd = true;  // a view cannot be told; the next refresh reports it
            return false;
        }
        if (page.isEmpty()) {
            m_atEnd = true;
            return false;
        }
        beginInsertRows(QModelIndex(), m_rows, m_rows + page.size() - 1);
        addPage(std::move(page));
        endInsertRows();
        return true;
    }

    const Row *row(int r) const
    {
        if (r < 0 || r >= m_rows)
            return nullptr;
        const int p = r / kPageRows;
        auto it = m_pages.find(p);
        if (it == m_pages.end()) {
            Page page;
            try {
                page = read(m_pageFirst[p], true);
            } catch (const DbError &) {
                return nullptr;
            }
            it = keep(p, std::move(page));
        } else {
            touch(p);
        }
        const int offset = r % kPageRows;
        return offset < it->size() ? &(*it)[offset] : nullptr;
    }

    int fieldIndex(const QString &name) const
    {
        for (int i = 0; i < m_fields.size(); ++i)
            if (m_fields[i].compare(name, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }
    int held() const
    {
        int n = 0;
        for (const Page &p : m_pages)
            n += p.size();
        return n;
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override { return parent.isValid() ? 0 : m_rows; }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : m_fields.size();
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
            return QVariant();
        const Row *r = row(index.row());
        return r && index.column() < r->size() ? r->at(index.column()) : QVariant();
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role != Qt::DisplayRole)
            return QVariant();
        if (orientation == Qt::Vertical)
            return section + 1;
        switch (section) {
        case ColFolderName: return QStringLiteral("タイトル");
        case ColLink: return QStringLiteral("リンク先");
        case ColHtml: return QStringLiteral("ファイル名");
        default: return m_fields.value(section);
        }
    }
    bool canFetchMore(const QModelIndex &parent) const override { return !parent.isValid() && !m_atEnd; }
    void fetchMore(const QModelIndex &parent) override
    {
        if (!parent.isValid())
            fetchNext();
    }

private:
    // One page from a key on, its statement finished before it returns.
    Page read(qint64 fromKey, bool inclusive) const
    {
        Connection &conn = *m_grid.m_conn;
        QSqlQuery q(conn.database());
        q.setForwardOnly(true);
        const QString where = m_filter.isEmpty() ? QString() : QStringLiteral("(%1) and ").arg(m_filter);
        if (!q.prepare(QStringLiteral("select * from photoIvents where %1ID2%2? order by ID2 limit %3")
                           .arg(where, inclusive ? QStringLiteral(">=") : QStringLiteral(">"))
                           .arg(kPageRows)))
            throw DbError(conn.errorText(QStringLiteral("読み取り"), q.lastError().text()));
        for (const QVariant &p : m_params)
            q.addBindValue(p);
        q.addBindValue(fromKey);
        if (!q.exec())
            throw DbError(conn.errorText(QStringLiteral("読み取り"), q.lastError().text()));
        Page page;
        while (q.next()) {
            const QSqlRecord r = q.record();
            Row row(r.count());
            for (int i = 0; i < r.count(); ++i)
                row[i] = r.isNull(i) ? QVariant() : r.value(i);
            page << row;
        }
        const bool failed = q.lastError().isValid();
        const QString detail = q.lastError().text();
        q.finish();
        if (failed)
            throw DbError(conn.errorText(QStringLiteral("読み取り"), detail));
        return page;
    }

    qint64 keyOf(const Row &r) const { return r.value(qMax(0, fieldIndex(QStringLiteral("ID2")))).toLongLong(); }

    void appendPage()
    {
        Page page = read(std::numeric_limits<qint64>::min(), false);
        if (page.isEmpty()) {
            m_atEnd = true;
            return;
        }
        addPage(std::move(page));
    }
    void addPage(Page page)
    {
        m_pageFirst << keyOf(page.first());
        m_lastKey = keyOf(page.last());
        m_rows += page.size();
        m_atEnd = page.size() < kPageRows;
        keep(m_pageFirst.size() - 1, std::move(page));
    }
    QHash<int, Page>::iterator keep(int p, Page page) const
    {
        while (m_pages.size() >= kHeldPages && !m_recent.isEmpty())
            m_pages.remove(m_recent.takeLast());
        touch(p);
        return m_pages.insert(p, std::move(page));
    }
    void touch(int p) const
    {
        m_recent.removeOne(p);
        m_recent.prepend(p);
    }

    const TitleGrid &m_grid;
    QString m_filter;
    QVariantList m_params;
    QStringList m_fields;
    QVector<qint64> m_pageFirst;  // first key of every page read so far
    qint64 m_lastKey = 0;
    int m_rows = 0;
    bool m_atEnd = true;
    mutable QHash<int, Page> m_pages;  // the pages held, at most kHeldPages
    mutable QList<int> m_recent;       // most recently used first
};

TitleGrid::TitleGrid() : m_model(std::make_unique<Model>(*this)) {}

TitleGrid::~TitleGrid()
{
    close();
}

QAbstractItemModel *TitleGrid::model() const
{
    return m_model.get();
}

void TitleGrid::close()
{
    if (m_conn) {
        m_conn->close();
        m_conn.reset();
    }
    m_model->reset(QString(), {});
}

bool TitleGrid::isOpen() const
{
    return m_conn && m_conn->isOpen();
}

void TitleGrid::refresh(const QString &connectString, const QString &filter, const QVariantList &params)
{
    close();
    QString openFault;
    try {
        m_conn = std::make_unique<Connection>(connectString);
    } catch (const DbError &e) {
        openFault = e.message();
    }
    if (!m_conn)
        throw DbError(openFault);
    try {
        m_model->reset(filter, params);
    } catch (const DbError &) {
        close();
        throw;
    }
}

int TitleGrid::rowCount() const
{
    return m_model->rowCount();
}

bool TitleGrid::fetchMore()
{
    return m_model->fetchNext();
}

int TitleGrid::heldRows() const
{
    return m_model->held();
}

QVariant TitleGrid::cell(int row, int column) const
{
    const Row *r = m_model->row(row);
    return r && column >= 0 && column < r->size() ? r->at(column) : QVariant();
}

QVariant TitleGrid::value(int row, const QString &field) const
{
    return cell(row, m_model->fieldIndex(field));
}

}  // namespace tessaly
