#include "TitleGrid.h"

#include "Database.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimer>
#include <QVector>

namespace tessaly {

using Row = QVector<QVariant>;
using Page = QVector<Row>;

class TitleGrid::Model : public QAbstractTableModel {
public:
    explicit Model(const TitleGrid &grid) : m_grid(grid) {}

    // Forgets everything; with a connection, reads the field names, the count and the
    // first page.
    void reset(const QString &filter, const QVariantList &params)
    {
        beginResetModel();
        m_filter = filter;
        m_params = params;
        m_fields.clear();
        m_pages.clear();
        m_recent.clear();
        m_rows = 0;
        m_failures = 0;
        m_failed.invalidate();
        QString fault;
        if (m_grid.m_conn) {
            const QSqlRecord r = m_grid.m_conn->database().record(QStringLiteral("photoIvents"));
            for (int i = 0; i < r.count(); ++i)
                m_fields << r.fieldName(i);
            try {
                int count = 0;
                Page first = read(0, &count);
                m_rows = count;
                if (!first.isEmpty())
                    keep(0, std::move(first));
            } catch (const DbError &e) {
                fault = e.message();
            }
        }
        endResetModel();
        if (!fault.isEmpty())
            throw DbError(fault);
    }

    const Row *row(int r) const
    {
        if (r < 0 || r >= m_rows)
            return nullptr;
        const int p = r / kPageRows;
        auto it = m_pages.find(p);
        if (it == m_pages.end()) {
            it = load(p);
            if (it == m_pages.end())
                return nullptr;
        } else {
            touch(p);
        }
        const int offset = r % kPageRows;
        return offset < it->size() ? &(*it)[offset] : nullptr;
    }

    int keyRow(qint64 id2) const
    {
        Connection &conn = *m_grid.m_conn;
        QSqlQuery q(conn.database());
        q.setForwardOnly(true);
        if (!q.prepare(QStringLiteral("select (select count(*) from photoIvents where %1ID2<?), "
                                      "exists(select 1 from photoIvents where %1ID2=?)")
                           .arg(where())))
            throw DbError(conn.errorText(QStringLiteral("読み取り"), q.lastError()));
        for (int i = 0; i < 2; ++i) {
            for (const QVariant &p : m_params)
                q.addBindValue(p);
            q.addBindValue(id2);
        }
        if (!q.exec() || !q.next())
            throw DbError(conn.errorText(QStringLiteral("読み取り"), q.lastError()));
        const int before = q.value(0).toInt();
        const bool there = q.value(1).toBool();
        q.finish();
        return there && before < m_rows ? before : -1;
    }

    const QString &filter() const { return m_filter; }
    const QVariantList &params() const { return m_params; }
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

    std::function<void()> onStale;
    std::function<void(const QString &)> onFault;

private:
    QString where() const { return m_filter.isEmpty() ? QString() : QStringLiteral("(%1) and ").arg(m_filter); }

    // Page p and the count, in one read so that they agree; statements finished before
    // it returns.
    Page read(int p, int *count) const
    {
        Connection &conn = *m_grid.m_conn;
        QSqlQuery q(conn.database());
        q.setForwardOnly(true);
        auto fail = [&conn](const QString &detail) {
            QSqlQuery(conn.database()).exec(QStringLiteral("rollback"));
            return DbError(conn.errorText(QStringLiteral("読み取り"), detail));
        };
        if (!q.exec(QStringLiteral("begin")))
            throw fail(q.lastError().text());
        const QString from = m_filter.isEmpty() ? QString() : QStringLiteral(" where ") + m_filter;
        if (!q.prepare(QStringLiteral("select count(*) from photoIvents") + from))
            throw fail(q.lastError().text());
        for (const QVariant &v : m_params)
            q.addBindValue(v);
        if (!q.exec() || !q.next())
            throw fail(q.lastError().text());
        *count = q.value(0).toInt();
        q.finish();
        if (!q.prepare(QStringLiteral("select * from photoIvents%1 order by ID2 limit %2 offset %3")
                           .arg(from)
                           .arg(kPageRows)
                           .arg(qint64(p) * kPageRows)))
            throw fail(q.lastError().text());
        for (const QVariant &v : m_params)
            q.addBindValue(v);
        if (!q.exec())
            throw fail(q.lastError().text());
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
            throw fail(detail);
        QSqlQuery(conn.database()).exec(QStringLiteral("commit"));
        return page;
    }

    qint64 keyOf(const Row &r) const { return r.value(qMax(0, fieldIndex(QStringLiteral("ID2")))).toLongLong(); }

    // Reads page p for the view. A failed read leaves it out (tried again when the view
    // next asks); a page that does not fit the count or its neighbours marks the rows stale.
    QHash<int, Page>::iterator load(int p) const
    {
        // Right after a failed read the view's other cells do not each wait again.
        if (m_failed.isValid() && m_failed.elapsed() < kRetryMs)
            return m_pages.end();
        int count = 0;
        Page page;
        try {
            page = read(p, &count);
        } catch (const DbError &e) {
            m_failed.start();
            if (++m_failures == kFailuresReported && onFault)
                later([this, message = e.message()] {
                    if (onFault)
                        onFault(message);
                });
            // The view asks again a little later (and at every scroll).
            if (m_failures <= kFailuresReported)
                later([this] {
                    if (m_rows > 0 && !m_fields.isEmpty())
                        emit const_cast<Model *>(this)->dataChanged(index(0, 0), index(m_rows - 1, m_fields.size() - 1));
                }, kRetryMs);
            return m_pages.end();
        }
        m_failures = 0;
        m_failed.invalidate();
        bool fits = count == m_rows && !page.isEmpty();
        if (fits) {
            auto before = m_pages.constFind(p - 1);
            auto after = m_pages.constFind(p + 1);
            fits = (before == m_pages.constEnd() || before->isEmpty() || keyOf(before->last()) < keyOf(page.first()))
                   && (after == m_pages.constEnd() || after->isEmpty() || keyOf(page.last()) < keyOf(after->first()));
        }
        if (!fits)
            stale();
        return keep(p, std::move(page));
    }
    void stale() const
    {
        if (m_staleQueued || !onStale)
            return;
        m_staleQueued = true;
        later([this] {
            m_staleQueued = false;
            if (onStale)
                onStale();
        });
    }
    // Runs f from the event loop: reads happen while the view paints.
    template <typename F>
    void later(F f, int ms = 0) const
    {
        QTimer::singleShot(ms, const_cast<Model *>(this), std::move(f));
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
    int m_rows = 0;
    static constexpr int kRetryMs = 400;
    mutable int m_failures = 0;       // failed reads in a row
    mutable QElapsedTimer m_failed;   // since the last failed read
    mutable bool m_staleQueued = false;
    mutable QHash<int, Page> m_pages;  // the pages held, at most kHeldPages
    mutable QList<int> m_recent;       // most recently used first
};

TitleGrid::TitleGrid() : m_model(std::make_unique<Model>(*this)) {}

TitleGrid::~TitleGrid()
{
    m_model->onStale = nullptr;
    m_model->onFault = nullptr;
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

const QString &TitleGrid::filter() const
{
    return m_model->filter();
}

const QVariantList &TitleGrid::params() const
{
    return m_model->params();
}

void TitleGrid::setStaleHandler(std::function<void()> handler)
{
    m_model->onStale = std::move(handler);
}

void TitleGrid::setFaultHandler(std::function<void(const QString &)> handler)
{
    m_model->onFault = std::move(handler);
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
        // Later pages wait for another program only briefly, so the window stays
        // responsive; a page that could not be read is read again.
        m_conn->exec(QStringLiteral("pragma busy_timeout=%1").arg(kReadWaitMs));
    } catch (const DbError &) {
        close();
        throw;
    }
}

int TitleGrid::rowCount() const
{
    return m_model->rowCount();
}

int TitleGrid::heldRows() const
{
    return m_model->held();
}

int TitleGrid::rowOfKey(qint64 id2) const
{
    return m_conn ? m_model->keyRow(id2) : -1;
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
