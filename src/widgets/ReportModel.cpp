#include "ReportModel.h"

#include "Currency.h"
#include "Database.h"
#include "Engine.h"

#include <QSqlError>
#include <QSqlRecord>

namespace {

// Result fields that carry the column sums.
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

QVariant ReportResult::value(int row, int column) const
{
    if (row < 0 || row >= m_rows.size())
        return {};
    return m_rows.at(row).value(column);
}

QString ReportResult::text(int row, int column, Amounts amounts) const
{
    return formatValue(column, value(row, column), amounts);
}

QStringList ReportResult::rowTexts(int row, Amounts amounts) const
{
    QStringList cells;
    for (int c = 0; c < columnCount(); ++c)
        cells << text(row, c, amounts);
    return cells;
}

QString ReportResult::footerText(int column, Amounts amounts) const
{
    if (column < 0 || column >= m_columns.size())
        return {};
    const ReportColumn &c = m_columns.at(column);
    switch (c.footer) {
    case ReportColumn::FooterText:
        return c.footerText;
    case ReportColumn::FooterSum:
        return m_active ? formatValue(column, footerValue(column, amounts), amounts) : QString();
    case ReportColumn::NoFooter:
        break;
    }
    return {};
}

QVariant ReportResult::footerValue(int column, Amounts amounts) const
{
    return amounts == Amounts::Shown ? m_shownSums.value(column) : m_sums.value(column);
}

QStringList ReportResult::footerTexts(Amounts amounts) const
{
    QStringList cells;
    for (int c = 0; c < columnCount(); ++c)
        cells << footerText(c, amounts);
    return cells;
}

QString ReportResult::formatValue(int column, const QVariant &value, Amounts amounts) const
{
    if (value.isNull() || column < 0 || column >= m_columns.size())
        return {};
    switch (m_columns.at(column).format) {
    case ReportColumn::Text:
        return value.toString();
    case ReportColumn::Integer:
        return QString::number(value.toLongLong());
    case ReportColumn::Amount:
        return Currency::fromUnits(value.toLongLong()).toString(amounts == Amounts::Shown ? ShownAmountDecimals : 4);
    case ReportColumn::Price:
        return Currency::fromUnits(value.toLongLong()).toString(4);
    }
    return {};
}

Qt::Alignment ReportResult::alignment(int column) const
{
    const bool text = column < 0 || column >= m_columns.size() || !m_columns.at(column).isNumber();
    return Qt::AlignVCenter | (text ? Qt::AlignLeft : Qt::AlignRight);
}

ReportModel::ReportModel(QObject *parent) : QAbstractTableModel(parent)
{
}

void ReportModel::setColumns(const QList<ReportColumn> &columns)
{
    beginResetModel();
    m_result = ReportResult(columns);
    endResetModel();
}

int ReportModel::designedWidth(int column) const
{
    const int w = columns().value(column).width;
    return w > 0 ? w : DefaultWidth;
}

void ReportModel::open(const QString &sql, const QVariantMap &params, const QString &connectionName)
{
    close();
    // One run gives the rows and the footer: every row carries the column sums over the whole
    // result as window sums, and the rows are read to the end at once, so that the statement
    // holds no read snapshot of the database open while the window stays open, and nothing
    // shown, printed or exported later comes from another run.
    const QList<ReportColumn> &cols = columns();
    QStringList totals;
    for (int i = 0; i < cols.size(); ++i)
        if (cols.at(i).footer == ReportColumn::FooterSum)
            totals << QStringLiteral("Sum(%1) OVER () AS %2%3").arg(cols.at(i).field, SumField).arg(i);
    // Names stay unquoted (the engines fold them alike) and the subquery has a name, as a server
    // wants it.
    const QSqlDatabase db = Database::connectionNamed(connectionName);
    // Sums beyond 64 bits fail as the report's own sums do, never wrapped.
    const QString wrapped = totals.isEmpty()
        ? sql
        : QStringLiteral("SELECT *, %1 FROM (%2) AS Report").arg(Engine::of(db).checkedSums(totals.join(u',')), sql);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(wrapped))
        throw DatabaseError::fromSqlError(query.lastError());
    for (auto it = params.constBegin(); it != params.constEnd(); ++it)
        if (sql.contains(u':' + it.key()))
            query.bindValue(u':' + it.key(), it.value());
    if (!query.exec())
        throw DatabaseError::fromSqlError(query.lastError());

    ReportResult result(cols);
    const QSqlRecord record = query.record();
    QList<int> fields;
    for (const ReportColumn &c : cols)
        fields << record.indexOf(c.field);
    QList<int> sumFields;
    for (int i = 0; i < cols.size(); ++i)
        sumFields << (cols.at(i).footer == ReportColumn::FooterSum ? record.indexOf(SumField + QString::number(i)) : -1);
    bool first = true;
    while (query.next()) {
        QVariantList row;
        row.reserve(fields.size());
        for (int field : std::as_const(fields))
            row << (field < 0 ? QVariant() : query.value(field));
        result.m_rows << row;
        if (first) {
            for (int field : std::as_const(sumFields))
                result.m_sums << (field < 0 ? QVariant() : query.value(field));
            first = false;
        }
    }
    if (query.lastError().isValid())
        throw DatabaseError::fromSqlError(query.lastError());
    query.finish();
    if (first)
        for (const ReportColumn &c : cols)
            result.m_sums << (c.footer == ReportColumn::FooterSum ? QVariant(qlonglong(0)) : QVariant());
    for (int i = 0; i < cols.size(); ++i)
        if (cols.at(i).footer == ReportColumn::FooterSum && result.m_sums.at(i).isNull())
            result.m_sums[i] = qlonglong(0);
    // Amounts shown to the fen: the footer adds up the rows as they are shown.
    result.m_shownSums = result.m_sums;
    for (int i = 0; i < cols.size(); ++i) {
        if (cols.at(i).footer != ReportColumn::FooterSum || cols.at(i).format != ReportColumn::Amount)
            continue;
        std::optional<Currency> sum = Currency();
        for (const QVariantList &row : std::as_const(result.m_rows)) {
            const QVariant value = row.value(i);
            if (value.isNull())
                continue;
            const std::optional<Currency> shown =
                Currency::fromUnits(value.toLongLong()).rounded(ReportResult::ShownAmountDecimals);
            sum = shown ? Currency::add(*sum, *shown) : std::nullopt;
            if (!sum)
                throw DatabaseError(QStringLiteral("integer overflow"));
        }
        result.m_shownSums[i] = qlonglong(sum->units());
    }
    result.m_active = true;

    beginResetModel();
    m_result = std::move(result);
    endResetModel();
}

void ReportModel::setRows(const QList<QVariantList> &rows)
{
    ReportResult result(columns());
    result.m_rows = rows;
    for (int i = 0; i < result.columnCount(); ++i)
        result.m_sums << QVariant();
    result.m_shownSums = result.m_sums;
    result.m_active = true;
    beginResetModel();
    m_result = std::move(result);
    endResetModel();
}

void ReportModel::close()
{
    beginResetModel();
    m_result = ReportResult(columns());
    endResetModel();
}

bool ReportModel::forEachRow(const std::function<bool(const QStringList &)> &visit, Amounts amounts) const
{
    for (int row = 0; row < m_result.rowCount(); ++row)
        if (!visit(m_result.rowTexts(row, amounts)))
            return false;
    return true;
}

int ReportModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_result.rowCount();
}

int ReportModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_result.columnCount();
}

QVariant ReportModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_result.rowCount() || index.column() >= m_result.columnCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return m_result.text(index.row(), index.column());
    case Qt::ToolTipRole:
        // A name too long for its column is cut on screen; the tip shows it whole.
        if (!columns().at(index.column()).isNumber())
            return m_result.text(index.row(), index.column());
        return {};
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
    if (section < 0 || section >= columns().size())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case LowerTitleRole:
        return columns().at(section).lowerTitle();
    case UpperTitleRole:
        return columns().at(section).upperTitle();
    default:
        return {};
    }
}
