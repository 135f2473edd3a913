#include "TitleGrid.h"

#include "Database.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace tessaly {

TitleGrid::TitleGrid() : m_model(std::make_unique<QSqlQueryModel>()) {}

TitleGrid::~TitleGrid()
{
    close();
}

void TitleGrid::close()
{
    m_model->clear();  // the model lets go of its statement before the connection goes
    if (m_conn) {
        m_conn->close();
        m_conn.reset();
    }
}

bool TitleGrid::isOpen() const
{
    return m_conn && m_conn->isOpen();
}

void TitleGrid::refresh(const QString &connectString, const QString &statement, const QVariantList &params)
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

    QSqlQuery q(m_conn->database());
    if (!q.prepare(statement))
        throw DbError(m_conn->errorText(QStringLiteral("読み取り"), q.lastError().text()));
    for (const QVariant &p : params)
        q.addBindValue(p);
    if (!q.exec())
        throw DbError(m_conn->errorText(QStringLiteral("読み取り"), q.lastError().text()));
    m_model->setQuery(std::move(q));
    m_model->setHeaderData(ColFolderName, Qt::Horizontal, QStringLiteral("タイトル"));
    m_model->setHeaderData(ColLink, Qt::Horizontal, QStringLiteral("リンク先"));
    m_model->setHeaderData(ColHtml, Qt::Horizontal, QStringLiteral("ファイル名"));
    // Fetching to the end finishes the statement; the rows stay in the result's cache.
    while (m_model->canFetchMore())
        m_model->fetchMore();
    if (m_model->lastError().isValid()) {
        const QString fault = m_conn->errorText(QStringLiteral("読み取り"), m_model->lastError().text());
        close();
        throw DbError(fault);
    }
}

int TitleGrid::rowCount() const
{
    return m_model->rowCount();
}

QVariant TitleGrid::cell(int row, int column) const
{
    if (row < 0 || row >= m_model->rowCount() || column < 0 || column >= m_model->columnCount())
        return QVariant();
    const QVariant v = m_model->record(row).value(column);
    return v.isNull() ? QVariant() : v;
}

QVariant TitleGrid::value(int row, const QString &field) const
{
    if (row < 0 || row >= m_model->rowCount())
        return QVariant();
    const QSqlRecord r = m_model->record(row);
    for (int i = 0; i < r.count(); ++i)
        if (r.fieldName(i).compare(field, Qt::CaseInsensitive) == 0)
            return r.isNull(i) ? QVariant() : r.value(i);
    return QVariant();
}

}  // namespace tessaly
