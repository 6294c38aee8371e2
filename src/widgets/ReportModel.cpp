#include "ReportModel.h"

#include "Currency.h"
#include "Database.h"

#include <QSqlError>
#include <QSqlRecord>

namespace {

// Result fields that carry the row count and the column sums.
const QString RowsField = QStringLiteral("ReportRows");
const QString SumField = QStringLiteral("ReportSum");

}

QString ReportColumn::upperTitle() const
{
    const qsizetype bar = caption.indexOf(u'|');
    return bar < 0 ? QString() : caption.left(bar);
}

QString ReportColumn::lowerTitle() const
{
    const qsizetype bar = caption.indexOf(u'|');
    return bar < 0 ? caption : caption.mid(bar + 1);
}

ReportModel::ReportModel(QObject *parent) : QAbstractTableModel(parent)
{
    m_source = new QSqlQueryModel(this);
    // Rows fetched by the source are passed on with this model's columns.
    connect(m_source, &QSqlQueryModel::rowsAboutToBeInserted, this, [this](const QModelIndex &, int first, int last) {
        if (m_active)
            beginInsertRows({}, first, last);
    });
    connect(m_source, &QSqlQueryModel::rowsInserted, this, [this] {
        if (m_active)
            endInsertRows();
    });
}

void ReportModel::setColumns(const QList<ReportColumn> &columns)
{
    beginResetModel();
    m_columns = columns;
    mapFields();
    endResetModel();
}

int ReportModel::designedWidth(int column) const
{
    const int w = m_columns.value(column).width;
    return w > 0 ? w : DefaultWidth;
}

QSqlQuery ReportModel::prepare(const QString &sql) const
{
    QSqlQuery query(Database::connectionNamed(m_connection));
    if (!query.prepare(sql))
        throw DatabaseError::fromSqlError(query.lastError());
    for (auto it = m_params.constBegin(); it != m_params.constEnd(); ++it)
        if (sql.contains(u':' + it.key()))
            query.bindValue(u':' + it.key(), it.value());
    return query;
}

void ReportModel::open(const QString &sql, const QVariantMap &params, const QString &connectionName)
{
    close();
    m_sql = sql;
    m_params = params;
    m_connection = connectionName;

    // The footer comes from the database, from the same run of the statement: every row carries
    // the count and the column sums over the whole result as window sums, so the grid never walks
    // the rows and the report is computed once.
    // Names stay unquoted: the engines fold them alike.
    QStringList totals{ QStringLiteral("count(*) OVER () AS %1").arg(RowsField) };
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns.at(i).footer == ReportColumn::FooterSum)
            totals << QStringLiteral("Sum(%1) OVER () AS %2%3").arg(m_columns.at(i).field, SumField).arg(i);
    QSqlQuery query = prepare(QStringLiteral("SELECT *, %1 FROM (%2) AS Report").arg(totals.join(u','), sql));
    if (!query.exec())
        throw DatabaseError::fromSqlError(query.lastError());

    beginResetModel();
    m_source->setQuery(std::move(query));
    const QSqlRecord first = m_source->rowCount() > 0 ? m_source->record(0) : QSqlRecord();
    const qint64 rows = first.value(RowsField).toLongLong();
    QList<QVariant> footer;
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns.at(i).footer == ReportColumn::FooterSum) {
            const QVariant v = first.value(SumField + QString::number(i));
            footer << (v.isNull() ? QVariant(qlonglong(0)) : v);
        } else {
            footer << QVariant();
        }
    }
    // A result of a few screens is read at once, so that its statement ends and holds no read
    // snapshot of the database open while the window stays open; longer ones come as shown.
    if (rows <= ReadAtOnce)
        while (m_source->canFetchMore())
            m_source->fetchMore();
    m_sums = footer;
    m_totalRows = rows;
    m_active = !m_source->lastError().isValid();
    mapFields();
    endResetModel();
    if (!m_active) {
        const DatabaseError error = DatabaseError::fromSqlError(m_source->lastError());
        close();
        throw error;
    }
}

void ReportModel::close()
{
    beginResetModel();
    m_active = false;
    m_source->clear();
    m_sums.clear();
    m_totalRows = 0;
    endResetModel();
}

void ReportModel::mapFields()
{
    m_fieldIndex.clear();
    const QSqlRecord record = m_source->record();
    for (const ReportColumn &c : std::as_const(m_columns))
        m_fieldIndex << record.indexOf(c.field);
}

QVariant ReportModel::footerSum(int column) const
{
    return m_sums.value(column);
}

QString ReportModel::footerText(int column, Amounts amounts) const
{
    if (column < 0 || column >= m_columns.size())
        return {};
    const ReportColumn &c = m_columns.at(column);
    switch (c.footer) {
    case ReportColumn::FooterText:
        return c.footerText;
    case ReportColumn::FooterSum:
        return m_active ? formatValue(column, footerSum(column), amounts) : QString();
    case ReportColumn::NoFooter:
        break;
    }
    return {};
}

QString ReportModel::formatValue(int column, const QVariant &value, Amounts amounts) const
{
    if (value.isNull() || column < 0 || column >= m_columns.size())
        return {};
    switch (m_columns.at(column).format) {
    case ReportColumn::Text:
        return value.toString();
    case ReportColumn::Integer:
        return QString::number(value.toLongLong());
    case ReportColumn::Amount:
        return Currency::fromUnits(value.toLongLong()).toString(amounts == Amounts::Shown ? 2 : 4);
    case ReportColumn::Price:
        return Currency::fromUnits(value.toLongLong()).toString(4);
    }
    return {};
}

Qt::Alignment ReportModel::alignment(int column) const
{
    const bool text = column < 0 || column >= m_columns.size() || m_columns.at(column).format == ReportColumn::Text;
    return Qt::AlignVCenter | (text ? Qt::AlignLeft : Qt::AlignRight);
}

bool ReportModel::forEachRow(const std::function<bool(const QStringList &)> &visit, Amounts amounts) const
{
    if (!m_active)
        return true;
    QSqlQuery query = prepare(m_sql);
    query.setForwardOnly(true);
    if (!query.exec())
        throw DatabaseError::fromSqlError(query.lastError());
    const QSqlRecord record = query.record();
    QList<int> fields;
    for (const ReportColumn &c : std::as_const(m_columns))
        fields << record.indexOf(c.field);
    QStringList cells;
    while (query.next()) {
        cells.clear();
        for (int i = 0; i < fields.size(); ++i)
            cells << (fields.at(i) < 0 ? QString() : formatValue(i, query.value(fields.at(i)), amounts));
        if (!visit(cells))
            return false;
    }
    if (query.lastError().isValid())
        throw DatabaseError::fromSqlError(query.lastError());
    return true;
}

int ReportModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_active ? 0 : m_source->rowCount();
}

int ReportModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant ReportModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !m_active || index.column() >= m_fieldIndex.size())
        return {};
    switch (role) {
    case Qt::DisplayRole: {
        const int field = m_fieldIndex.at(index.column());
        if (field < 0)
            return {};
        return formatValue(index.column(), m_source->data(m_source->index(index.row(), field)));
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(alignment(index.column()));
    default:
        return {};
    }
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical)
        return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    if (section < 0 || section >= m_columns.size())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case LowerTitleRole:
        return m_columns.at(section).lowerTitle();
    case UpperTitleRole:
        return m_columns.at(section).upperTitle();
    default:
        return {};
    }
}

bool ReportModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_active && m_source->canFetchMore();
}

void ReportModel::fetchMore(const QModelIndex &parent)
{
    if (canFetchMore(parent))
        m_source->fetchMore();
}
