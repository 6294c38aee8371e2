#include "DataSet.h"

#include "Database.h"
#include "Engine.h"

#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <limits>

namespace {

QDateTime parseDateTime(const QString &text)
{
    QDateTime dt = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!dt.isValid())
        dt = QDateTime::fromString(text, Qt::ISODate);
    if (!dt.isValid()) {
        const QDate d = QDate::fromString(text, Qt::ISODate);
        if (d.isValid())
            dt = QDateTime(d, QTime(0, 0));
    }
    return dt;
}

QDate parseDate(const QString &text)
{
    QDate d = QDate::fromString(text, Qt::ISODate);
    if (!d.isValid())
        d = QLocale().toDate(text, QLocale::ShortFormat);
    if (!d.isValid()) {
        const QDateTime dt = parseDateTime(text);
        if (dt.isValid())
            d = dt.date();
    }
    return d;
}

bool isTextual(const QVariant &v)
{
    return v.metaType().id() == QMetaType::QString;
}

QString lookupKey(const QVariant &v)
{
    return v.isNull() ? QString() : v.toString().toLower();
}

}

DataSet::DataSet(QObject *parent) : QObject(parent) {}

DataSet::~DataSet() = default;

void DataSet::setConnectionName(const QString &name)
{
    m_connection = name;
}

QSqlDatabase DataSet::database() const
{
    if (m_connection.isEmpty())
        throw DatabaseError(QStringLiteral("数据集没有连接到数据库！"));
    return Database::connectionNamed(m_connection);
}

void DataSet::setSql(const QString &sql)
{
    m_sql = sql;
}

void DataSet::setParam(const QString &name, const QVariant &value)
{
    m_params.insert(name, value);
}

void DataSet::setUpdateTable(const QString &table, const QStringList &keyFields)
{
    m_table = table;
    m_keyFields = keyFields;
}

void DataSet::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    emit stateChanged();
}

bool DataSet::canModify() const
{
    return isActive() && !m_readOnly && !m_table.isEmpty();
}

void DataSet::setFieldKind(const QString &field, FieldKind kind)
{
    m_kindOverrides.insert(field.toLower(), kind);
}

void DataSet::addLookupField(const QString &name, const QString &keyField, DataSet *list,
                             const QString &listKey, const QString &listResult)
{
    m_lookupDefs.append({ name, keyField, list, listKey, listResult });
    auto changed = [this] {
        invalidateLookups();
        if (isActive() && !m_index.isEmpty())
            for (int pos = 0; pos < m_index.size(); ++pos)
                emit rowChanged(pos);
    };
    connect(list, &DataSet::reset, this, changed);
    connect(list, &DataSet::rowChanged, this, changed);
    connect(list, &DataSet::rowRemoved, this, changed);
    connect(list, &DataSet::rowInserted, this, changed);
}

FieldKind DataSet::kindFor(const QString &name, const QVariant &sample) const
{
    const auto it = m_kindOverrides.constFind(name.toLower());
    if (it != m_kindOverrides.constEnd())
        return *it;
    if (!m_table.isEmpty())
        for (const ColumnDef &c : Schema::columns(m_table))
            if (c.name.compare(name, Qt::CaseInsensitive) == 0)
                return c.kind;
    switch (sample.metaType().id()) {
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Int:
        return FieldKind::Integer;
    case QMetaType::QString:
        return FieldKind::Text;
    default:
        return FieldKind::Unknown;
    }
}

QVariant DataSet::fromDatabase(FieldKind kind, const QVariant &value)
{
    if (value.isNull())
        return {};
    switch (kind) {
    case FieldKind::Text:
        return value.toString();
    case FieldKind::Integer:
    case FieldKind::Currency:
        return value.toLongLong();
    case FieldKind::Date: {
        const QDate d = parseDate(value.toString());
        return d.isValid() ? QVariant(d) : QVariant();
    }
    case FieldKind::DateTime: {
        // A driver that reads a date and time as one, without a zone, may take it for UTC: the
        // stored date and time are kept as they were written.
        if (value.metaType().id() == QMetaType::QDateTime) {
            const QDateTime read = value.toDateTime();
            const QDateTime dt = read.timeSpec() == Qt::UTC ? QDateTime(read.date(), read.time()) : read;
            return dt.isValid() ? QVariant(dt) : QVariant();
        }
        const QDateTime dt = parseDateTime(value.toString());
        return dt.isValid() ? QVariant(dt) : QVariant();
    }
    case FieldKind::Unknown:
        break;
    }
    return value;
}

QVariant DataSet::toDatabase(FieldKind kind, const QVariant &value)
{
    if (value.isNull())
        return QVariant(QMetaType(QMetaType::QString));
    switch (kind) {
    case FieldKind::Date:
        return value.toDate().toString(Qt::ISODate);
    case FieldKind::DateTime: {
        const QDateTime dt = value.toDateTime();
        return dt.time() == QTime(0, 0) ? dt.date().toString(Qt::ISODate)
                                        : dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    case FieldKind::Integer:
    case FieldKind::Currency:
        return value.toLongLong();
    default:
        return value;
    }
}

QVariant DataSet::convert(const Field &field, const QVariant &value)
{
    if (value.isNull())
        return {};
    const bool text = isTextual(value);
    const QString s = text ? value.toString().trimmed() : QString();
    if (text && s.isEmpty())
        return {};
    switch (field.kind) {
    case FieldKind::Text:
        return value.toString();
    case FieldKind::Integer: {
        bool ok = false;
        qint64 n = 0;
        if (text) {
            n = (s.startsWith(u'+') ? s.mid(1) : s).toLongLong(&ok);
        } else {
            n = value.toLongLong(&ok);
        }
        if (!ok || (!field.wide && (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())))
            throw DatabaseError(QStringLiteral("“%1”不是有效的整数！").arg(value.toString()));
        return n;
    }
    case FieldKind::Currency: {
        if (!text) {
            bool ok = false;
            const qint64 units = value.toLongLong(&ok);
            if (!ok)
                throw DatabaseError(QStringLiteral("“%1”不是有效的金额！").arg(value.toString()));
            return units;
        }
        const auto amount = Currency::parse(s);
        if (!amount)
            throw DatabaseError(QStringLiteral("“%1”不是有效的金额！").arg(s));
        return amount->units();
    }
    case FieldKind::Date: {
        QDate d;
        if (value.metaType().id() == QMetaType::QDate)
            d = value.toDate();
        else if (value.metaType().id() == QMetaType::QDateTime)
            d = value.toDateTime().date();
        else
            d = parseDate(s);
        if (!d.isValid())
            throw DatabaseError(QStringLiteral("“%1”不是有效的日期！").arg(value.toString()));
        return d;
    }
    case FieldKind::DateTime: {
        QDateTime dt;
        if (value.metaType().id() == QMetaType::QDateTime)
            dt = value.toDateTime();
        else if (value.metaType().id() == QMetaType::QDate)
            dt = QDateTime(value.toDate(), QTime(0, 0));
        else {
            dt = parseDateTime(s);
            if (!dt.isValid()) {
                const QDate d = parseDate(s);
                if (d.isValid())
                    dt = QDateTime(d, QTime(0, 0));
            }
        }
        if (!dt.isValid())
            throw DatabaseError(QStringLiteral("“%1”不是有效的日期！").arg(value.toString()));
        return dt;
    }
    case FieldKind::Unknown:
        break;
    }
    return value;
}

void DataSet::open()
{
    if (isActive())
        return;
    const QSqlDatabase db = database();
    // The statement is parsed once per connection; all its rows are read and it is finished
    // before anything else runs.
    QSqlQuery &query = cachedQuery(db, m_sql);
    for (auto it = m_params.constBegin(); it != m_params.constEnd(); ++it) {
        const QString placeholder = u':' + it.key();
        // The exact spelling is the usual case and the cheaper test.
        if (m_sql.contains(placeholder) || m_sql.contains(placeholder, Qt::CaseInsensitive))
            query.bindValue(placeholder, it.value());
    }
    if (!query.exec()) {
        const QSqlError error = query.lastError();
        query.finish();
        throw DatabaseError::fromSqlError(error, db);
    }

    QList<Row> rows;
    const QSqlRecord record = query.record();
    const int n = record.count();
    QList<QList<QVariant>> rawRows;
    while (query.next()) {
        QList<QVariant> r;
        r.reserve(n);
        for (int i = 0; i < n; ++i)
            r.append(query.value(i));
        rawRows.append(std::move(r));
    }
    const QSqlError error = query.lastError();
    query.finish();
    if (error.isValid())
        throw DatabaseError::fromSqlError(error, db);

    QList<Field> fields;
    for (int i = 0; i < n; ++i) {
        Field f;
        f.name = record.fieldName(i);
        QVariant sample;
        for (const auto &r : rawRows)
            if (!r.at(i).isNull()) {
                sample = r.at(i);
                break;
            }
        f.kind = kindFor(f.name, sample);
        if (!m_table.isEmpty())
            for (const ColumnDef &c : Schema::columns(m_table))
                if (c.name.compare(f.name, Qt::CaseInsensitive) == 0) {
                    f.size = c.size;
                    f.autoIncrement = c.autoIncrement;
                    f.wide = c.wide;
                }
        fields.append(f);
    }
    rows.reserve(rawRows.size());
    for (const auto &r : rawRows) {
        Row row(n);
        for (int i = 0; i < n; ++i)
            row[i] = fromDatabase(fields.at(i).kind, r.at(i));
        rows.append(std::move(row));
    }

    emit aboutToReset();
    m_fields = fields;
    m_columnCount = n;
    m_lookups.clear();
    for (const LookupDef &def : std::as_const(m_lookupDefs)) {
        Field f;
        f.name = def.name;
        f.kind = FieldKind::Text;
        f.lookup = true;
        m_fields.append(f);
        Lookup l;
        l.keyField = fieldIndex(def.keyField);
        l.list = def.list;
        l.listKey = def.listKey;
        l.listResult = def.listResult;
        m_lookups.append(l);
    }
    m_rows = std::move(rows);
    m_state = Browse;
    m_modified = false;
    rebuildIndex();
    m_pos = m_index.isEmpty() ? -1 : 0;
    m_bof = true;
    m_eof = m_index.isEmpty();
    emit reset();
    emit stateChanged();
    emit currentChanged();
}

void DataSet::close()
{
    if (!isActive())
        return;
    emit aboutToReset();
    m_rows.clear();
    m_index.clear();
    m_pos = -1;
    m_bof = m_eof = true;
    m_state = Inactive;
    m_modified = false;
    m_buffer.clear();
    m_original.clear();
    emit reset();
    emit stateChanged();
    emit currentChanged();
}

int DataSet::execSql()
{
    const QSqlDatabase db = database();
    QSqlQuery query(db);
    if (!query.prepare(m_sql))
        throw DatabaseError::fromSqlError(query.lastError(), db);
    for (auto it = m_params.constBegin(); it != m_params.constEnd(); ++it)
        if (m_sql.contains(u':' + it.key(), Qt::CaseInsensitive))
            query.bindValue(u':' + it.key(), it.value());
    if (!query.exec())
        throw DatabaseError::fromSqlError(query.lastError(), db);
    return query.numRowsAffected();
}

void DataSet::refresh()
{
    if (!isActive())
        return;
    checkBrowseMode();
    Row keys;
    const int pos = m_pos;
    if (pos >= 0 && !m_keyFields.isEmpty())
        keys = keyValues(rowAtPos(pos));
    const QStringList keyFields = m_keyFields;
    // Reload without passing through the closed state, so bound controls keep their place.
    m_state = Inactive;
    try {
        open();
    } catch (...) {
        m_state = Browse;
        throw;
    }
    if (!keys.isEmpty()) {
        QVariantList values;
        for (const QVariant &v : std::as_const(keys))
            values.append(v);
        if (!locate(keyFields, values, Qt::CaseInsensitive) && pos >= 0 && !m_index.isEmpty())
            setRecNo(qMin(pos, recordCount() - 1));
    } else if (pos >= 0 && !m_index.isEmpty()) {
        setRecNo(qMin(pos, recordCount() - 1));
    }
}

void DataSet::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged();
}

void DataSet::rebuildIndex()
{
    m_index.clear();
    m_index.reserve(m_rows.size());
    for (int r = 0; r < m_rows.size(); ++r)
        if (!m_filtered || !m_filter || m_filter(*this, r))
            m_index.append(r);
}

const DataSet::Row &DataSet::rowAtPos(int pos) const
{
    if (pos == m_pos && isEditing())
        return m_buffer;
    return m_rows.at(m_index.at(pos));
}

void DataSet::moveTo(int pos)
{
    if (m_index.isEmpty())
        pos = -1;
    else
        pos = qBound(0, pos, int(m_index.size()) - 1);
    if (pos == m_pos)
        return;
    m_pos = pos;
    emit currentChanged();
}

void DataSet::first()
{
    if (!isActive())
        return;
    checkBrowseMode();
    moveTo(0);
    m_bof = true;
    m_eof = m_index.isEmpty();
}

void DataSet::last()
{
    if (!isActive())
        return;
    checkBrowseMode();
    moveTo(int(m_index.size()) - 1);
    m_eof = true;
    m_bof = m_index.isEmpty();
}

void DataSet::next()
{
    if (!isActive())
        return;
    checkBrowseMode();
    if (m_pos >= 0 && m_pos < m_index.size() - 1) {
        moveTo(m_pos + 1);
        m_bof = m_eof = false;
    } else {
        m_eof = true;
    }
}

void DataSet::prior()
{
    if (!isActive())
        return;
    checkBrowseMode();
    if (m_pos > 0) {
        moveTo(m_pos - 1);
        m_bof = m_eof = false;
    } else {
        m_bof = true;
    }
}

void DataSet::setRecNo(int pos)
{
    if (!isActive())
        return;
    if (pos != m_pos)
        checkBrowseMode();
    moveTo(pos);
    m_bof = m_pos <= 0;
    m_eof = m_index.isEmpty();
}

bool DataSet::locate(const QStringList &fieldNames, const QVariantList &values, Qt::CaseSensitivity cs)
{
    if (!isActive())
        return false;
    checkBrowseMode();
    QVector<int> indexes;
    QVariantList wanted;
    for (int i = 0; i < fieldNames.size(); ++i) {
        const int fi = fieldIndex(fieldNames.at(i).trimmed());
        if (fi < 0)
            throw DatabaseError(QStringLiteral("找不到字段 %1").arg(fieldNames.at(i).trimmed()));
        indexes.append(fi);
        try {
            wanted.append(convert(m_fields.at(fi), values.value(i)));
        } catch (const DatabaseError &) {
            return false;
        }
    }
    for (int pos = 0; pos < m_index.size(); ++pos) {
        bool match = true;
        for (int i = 0; i < indexes.size() && match; ++i) {
            const QVariant have = valueAt(pos, indexes.at(i));
            const QVariant &want = wanted.at(i);
            if (have.isNull() || want.isNull())
                match = have.isNull() && want.isNull();
            else if (isTextual(have) && isTextual(want))
                match = have.toString().compare(want.toString(), cs) == 0;
            else
                match = have == want;
        }
        if (match) {
            moveTo(pos);
            m_bof = m_eof = false;
            return true;
        }
    }
    return false;
}

int DataSet::fieldIndex(const QString &name) const
{
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

const DataSet::Field &DataSet::field(const QString &name) const
{
    const int i = fieldIndex(name);
    if (i < 0)
        throw DatabaseError(QStringLiteral("找不到字段 %1").arg(name));
    return m_fields.at(i);
}

QVariant DataSet::lookupValue(const Lookup &lookup, const Row &row) const
{
    if (!lookup.list || !lookup.list->isActive() || lookup.keyField < 0)
        return {};
    const QVariant key = row.value(lookup.keyField);
    if (key.isNull())
        return {};
    if (!lookup.cacheValid) {
        lookup.cache.clear();
        const DataSet &list = *lookup.list;
        const int k = list.fieldIndex(lookup.listKey);
        const int r = list.fieldIndex(lookup.listResult);
        if (k >= 0 && r >= 0)
            for (int pos = list.recordCount() - 1; pos >= 0; --pos)   // the first match wins
                lookup.cache.insert(lookupKey(list.valueAt(pos, k)), list.valueAt(pos, r));
        lookup.cacheValid = true;
    }
    return lookup.cache.value(lookupKey(key));
}

void DataSet::invalidateLookups()
{
    for (const Lookup &l : std::as_const(m_lookups))
        l.cacheValid = false;
}

QVariant DataSet::valueAt(int pos, int fieldIndex) const
{
    if (pos < 0 || pos >= m_index.size() || fieldIndex < 0 || fieldIndex >= m_fields.size())
        return {};
    const Row &row = rowAtPos(pos);
    if (fieldIndex >= m_columnCount)
        return lookupValue(m_lookups.at(fieldIndex - m_columnCount), row);
    return row.at(fieldIndex);
}

QVariant DataSet::storedValue(const QString &fieldName) const
{
    if (m_state == Insert)
        return {};
    if (m_state != Edit)
        return value(fieldName);
    const int fi = fieldIndex(fieldName);
    if (fi < 0)
        throw DatabaseError(QStringLiteral("找不到字段 %1").arg(fieldName));
    return fi < m_columnCount ? m_original.at(fi) : lookupValue(m_lookups.at(fi - m_columnCount), m_original);
}

QVariant DataSet::rowValue(int row, const QString &fieldName) const
{
    const int fi = fieldIndex(fieldName);
    if (row < 0 || row >= m_rows.size() || fi < 0 || fi >= m_columnCount)
        return {};
    return m_rows.at(row).at(fi);
}

QVariant DataSet::value(int fieldIndex) const
{
    if (!isActive())
        throw DatabaseError(QStringLiteral("数据集没有打开！"));
    return valueAt(m_pos, fieldIndex);
}

QVariant DataSet::value(const QString &fieldName) const
{
    if (!isActive())
        throw DatabaseError(QStringLiteral("数据集没有打开！"));
    const int fi = fieldIndex(fieldName);
    if (fi < 0)
        throw DatabaseError(QStringLiteral("找不到字段 %1").arg(fieldName));
    return valueAt(m_pos, fi);
}

QString DataSet::asString(const QString &fieldName) const
{
    const QVariant v = value(fieldName);
    if (v.isNull())
        return {};
    switch (field(fieldName).kind) {
    case FieldKind::Currency:
        return Currency::fromUnits(v.toLongLong()).toString();
    case FieldKind::Date:
        return v.toDate().toString(Qt::ISODate);
    default:
        return v.toString();
    }
}

qint64 DataSet::asInteger(const QString &fieldName) const
{
    return value(fieldName).toLongLong();
}

Currency DataSet::asCurrency(const QString &fieldName) const
{
    return Currency::fromUnits(value(fieldName).toLongLong());
}

bool DataSet::isNull(const QString &fieldName) const
{
    return value(fieldName).isNull();
}

void DataSet::setValue(const QString &fieldName, const QVariant &v)
{
    if (!isEditing())
        throw DatabaseError(QStringLiteral("数据集不在编辑或插入状态！"));
    const int fi = fieldIndex(fieldName);
    if (fi < 0)
        throw DatabaseError(QStringLiteral("找不到字段 %1").arg(fieldName));
    if (fi >= m_columnCount)
        throw DatabaseError(QStringLiteral("字段 %1 不能修改！").arg(fieldName));
    const QVariant converted = convert(m_fields.at(fi), v);
    if (m_buffer.at(fi) == converted && m_buffer.at(fi).isNull() == converted.isNull())
        return;
    if (m_fieldChange && m_fieldChange(m_fields.at(fi).name, converted))
        return;
    m_buffer[fi] = converted;
    m_modified = true;
    emit rowChanged(m_pos);
}

void DataSet::setCurrency(const QString &fieldName, Currency amount)
{
    setValue(fieldName, QVariant::fromValue<qlonglong>(amount.units()));
}

void DataSet::beginNewRow(int pos)
{
    if (!canModify())
        throw DatabaseError(QStringLiteral("数据集不能修改！"));
    const Row row(m_columnCount);
    emit aboutToInsertRow(pos);
    m_rows.append(row);
    m_index.insert(pos, int(m_rows.size()) - 1);
    m_buffer = row;
    m_original = row;
    m_pos = pos;
    m_state = Insert;
    m_bof = m_eof = false;
    if (m_onNewRecord)
        m_onNewRecord();
    m_modified = false;
    emit rowInserted(pos);
    emit stateChanged();
    emit currentChanged();
}

void DataSet::append()
{
    if (!isActive())
        throw DatabaseError(QStringLiteral("数据集没有打开！"));
    checkBrowseMode();
    beginNewRow(int(m_index.size()));
}

void DataSet::insert()
{
    if (!isActive())
        throw DatabaseError(QStringLiteral("数据集没有打开！"));
    checkBrowseMode();
    beginNewRow(m_pos < 0 ? 0 : m_pos);
}

void DataSet::edit()
{
    if (isEditing())
        return;
    if (!canModify())
        throw DatabaseError(QStringLiteral("数据集不能修改！"));
    if (m_index.isEmpty()) {
        append();
        return;
    }
    m_buffer = m_rows.at(m_index.at(m_pos));
    m_original = m_buffer;
    m_modified = false;
    setState(Edit);
}

DataSet::Row DataSet::keyValues(const Row &row) const
{
    Row keys;
    for (const QString &k : m_keyFields)
        keys.append(row.value(fieldIndex(k)));
    return keys;
}

bool DataSet::isTableColumn(const QString &name) const
{
    const QList<ColumnDef> columns = Schema::columns(m_table);
    if (columns.isEmpty())
        return true;
    for (const ColumnDef &c : columns)
        if (c.name.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

void DataSet::writeInsert(Row &row)
{
    QStringList columns, marks;
    QVariantList values;
    int autoField = -1;
    for (int i = 0; i < m_columnCount; ++i) {
        const Field &f = m_fields.at(i);
        // A column the engine keeps for itself (the typing order of readings) fills itself.
        if (!isTableColumn(f.name))
            continue;
        if (f.autoIncrement && row.at(i).isNull()) {
            autoField = i;
            continue;
        }
        columns << f.name;
        marks << QStringLiteral("?");
        values << toDatabase(f.kind, row.at(i));
    }
    const QString sql = columns.isEmpty()
        ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(m_table)
        : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
              .arg(m_table, columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
    const QSqlQuery query = ::execSql(database(), sql, values);
    if (autoField >= 0)
        row[autoField] = query.lastInsertId().toLongLong();
}

// The stored row is changed only while it still holds what this set read: a row that someone else
// changed or deleted meanwhile is refused, never silently overwritten.
QString DataSet::storedRowCondition(const Row &stored, QVariantList &values) const
{
    const Engine &engine = Engine::of(database());
    QStringList where;
    for (const QString &k : m_keyFields) {
        const int fi = fieldIndex(k);
        const QVariant &old = stored.at(fi);
        if (old.isNull()) {
            where << k + QStringLiteral(" IS NULL");
        } else {
            // The key finds the row along its index; a text key must also still be spelled as
            // read, so that a correction of its case by someone else is not written back.
            where << k + QStringLiteral(" = ?");
            values << toDatabase(m_fields.at(fi).kind, old);
            if (m_fields.at(fi).kind == FieldKind::Text) {
                where << engine.sameStoredValue(k, FieldKind::Text);
                values << toDatabase(FieldKind::Text, old);
            }
        }
    }
    if (where.isEmpty())
        return {};
    for (int i = 0; i < m_columnCount; ++i) {
        const Field &f = m_fields.at(i);
        if (m_keyFields.contains(f.name, Qt::CaseInsensitive) || !isTableColumn(f.name))
            continue;
        where << engine.sameStoredValue(f.name, f.kind);
        values << toDatabase(f.kind, stored.at(i));
    }
    return where.join(QStringLiteral(" AND "));
}

// After a write that changed no row: the row is gone, or someone else changed it.
DatabaseError DataSet::staleRowError(const Row &stored) const
{
    QStringList where;
    QVariantList values;
    // The row is still there when its key is, whatever the case of a text key now: a meter
    // number corrected in case by someone else is a change, not a deletion.
    for (const QString &k : m_keyFields) {
        const int fi = fieldIndex(k);
        const FieldKind kind = m_fields.at(fi).kind;
        where << (kind == FieldKind::Text ? engine().sameMeter(k, QStringLiteral("?"))
                                          : engine().sameStoredValue(k, kind));
        values << toDatabase(kind, stored.at(fi));
    }
    const QVariant found = ::scalar(database(),
                                    QStringLiteral("SELECT count(*) FROM %1 WHERE %2")
                                        .arg(m_table, where.join(QStringLiteral(" AND "))),
                                    values);
    if (found.toLongLong() == 0)
        return DatabaseError(QStringLiteral("要修改的记录已不存在！"));
    return DatabaseError(QStringLiteral("该记录已被其他用户修改，请刷新后重试！"), DatabaseError::Changed);
}

const Engine &DataSet::engine() const
{
    return Engine::of(database());
}

void DataSet::writeUpdate(const Row &row)
{
    QStringList sets;
    QVariantList values;
    for (int i = 0; i < m_columnCount; ++i) {
        const bool same = row.at(i).isNull() == m_original.at(i).isNull() && row.at(i) == m_original.at(i);
        if (same)
            continue;
        sets << m_fields.at(i).name + QStringLiteral(" = ?");
        values << toDatabase(m_fields.at(i).kind, row.at(i));
    }
    if (sets.isEmpty())
        return;
    const QString where = storedRowCondition(m_original, values);
    if (where.isEmpty())
        throw DatabaseError(QStringLiteral("数据集没有主键，不能修改！"));
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(m_table, sets.join(QStringLiteral(", ")), where);
    const QSqlQuery query = ::execSql(database(), sql, values);
    if (query.numRowsAffected() == 0)
        throw staleRowError(m_original);
}

void DataSet::writeBuffer()
{
    if (m_state == Insert)
        writeInsert(m_buffer);
    else if (m_state == Edit)
        writeUpdate(m_buffer);
}

void DataSet::post()
{
    if (!isEditing())
        return;
    updateRecord();
    if (m_beforePost)
        m_beforePost();
    if (!isEditing())
        return;
    if (m_writer)
        m_writer();
    else
        writeBuffer();
    if (!isEditing())
        return;
    m_rows[m_index.at(m_pos)] = m_buffer;
    m_buffer.clear();
    m_original.clear();
    m_modified = false;
    m_state = Browse;
    emit rowChanged(m_pos);
    emit stateChanged();
    if (m_afterPost)
        m_afterPost();
}

void DataSet::cancel()
{
    if (m_state == Insert) {
        const int pos = m_pos;
        const int row = m_index.at(pos);
        emit aboutToRemoveRow(pos);
        m_rows.removeAt(row);
        m_index.removeAt(pos);
        for (int &r : m_index)
            if (r > row)
                --r;
        m_state = Browse;
        m_modified = false;
        m_buffer.clear();
        m_original.clear();
        m_pos = m_index.isEmpty() ? -1 : qMin(pos, int(m_index.size()) - 1);
        emit rowRemoved(pos);
        emit stateChanged();
        emit currentChanged();
    } else if (m_state == Edit) {
        m_state = Browse;
        m_modified = false;
        m_buffer.clear();
        m_original.clear();
        emit rowChanged(m_pos);
        emit stateChanged();
        emit currentChanged();
    }
}

void DataSet::remove()
{
    if (m_state == Insert) {
        cancel();
        return;
    }
    if (!canModify() || m_index.isEmpty())
        throw DatabaseError(QStringLiteral("没有可删除的记录！"));
    if (m_state == Edit)
        cancel();
    if (m_beforeDelete)
        m_beforeDelete();
    const int pos = m_pos;
    const int row = m_index.at(pos);
    if (m_deleter) {
        m_deleter();
    } else {
        QVariantList values;
        const QString where = storedRowCondition(m_rows.at(row), values);
        if (where.isEmpty())
            throw DatabaseError(QStringLiteral("数据集没有主键，不能删除！"));
        const QSqlQuery query = ::execSql(database(), QStringLiteral("DELETE FROM %1 WHERE %2").arg(m_table, where), values);
        // A row someone else deleted is gone as asked; one they changed stays until it is seen.
        if (query.numRowsAffected() == 0) {
            const DatabaseError stale = staleRowError(m_rows.at(row));
            if (stale.kind() == DatabaseError::Changed)
                throw stale;
        }
    }
    emit aboutToRemoveRow(pos);
    m_rows.removeAt(row);
    m_index.removeAt(pos);
    for (int &r : m_index)
        if (r > row)
            --r;
    m_pos = m_index.isEmpty() ? -1 : qMin(pos, int(m_index.size()) - 1);
    m_eof = m_index.isEmpty();
    emit rowRemoved(pos);
    emit currentChanged();
}

void DataSet::checkBrowseMode()
{
    if (!isEditing())
        return;
    updateRecord();
    if (m_modified)
        post();
    else
        cancel();
}

void DataSet::addEditor(QObject *owner, std::function<void()> flush)
{
    m_editors.append({ owner, std::move(flush) });
}

void DataSet::updateRecord()
{
    for (int i = 0; i < m_editors.size();) {
        if (!m_editors.at(i).owner) {
            m_editors.removeAt(i);
            continue;
        }
        const auto flush = m_editors.at(i).flush;
        flush();
        ++i;
    }
}

void DataSet::setFilter(Filter filter)
{
    m_filter = std::move(filter);
    if (m_filtered && isActive())
        setFiltered(true);
}

void DataSet::setFiltered(bool filtered)
{
    m_filtered = filtered;
    if (!isActive())
        return;
    checkBrowseMode();
    emit aboutToReset();
    rebuildIndex();
    m_pos = m_index.isEmpty() ? -1 : 0;
    m_bof = true;
    m_eof = m_index.isEmpty();
    emit reset();
    emit currentChanged();
}
