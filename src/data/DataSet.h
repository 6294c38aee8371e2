// DataSet.h: a query object: SQL text with named parameters, its result held in memory, navigation,
// row editing written back to one table with bound values, a client-side filter and lookup fields.
#pragma once

#include "Currency.h"
#include "Schema.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSqlDatabase>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>

class DatabaseError;
class Engine;

class DataSet : public QObject
{
    Q_OBJECT
public:
    enum State { Inactive, Browse, Edit, Insert };

    struct Field
    {
        QString name;
        FieldKind kind = FieldKind::Unknown;
        int size = 0;
        bool autoIncrement = false;
        bool lookup = false;
        bool wide = false;       // a 64-bit integer; other integers hold 32 bits
    };

    explicit DataSet(QObject *parent = nullptr);
    ~DataSet() override;

    // Connection: set by the data manager's BindQuery.
    void setConnectionName(const QString &name);
    QString connectionName() const { return m_connection; }
    QSqlDatabase database() const;

    void setSql(const QString &sql);
    const QString &sql() const { return m_sql; }
    // Named parameters written ":Name" in the text; a null QVariant binds NULL.
    void setParam(const QString &name, const QVariant &value);
    QVariant param(const QString &name) const { return m_params.value(name); }

    // The table that post and delete write to and the fields that identify one of its rows.
    // Field kinds of the result come from this table's columns.
    void setUpdateTable(const QString &table, const QStringList &keyFields);
    const QString &updateTable() const { return m_table; }
    void setReadOnly(bool readOnly);
    bool canModify() const;
    // Kind of a result field that is not a column of the update table (report sums, joins).
    void setFieldKind(const QString &field, FieldKind kind);
    // A display-only field: the listResult of the list row whose listKey equals this row's keyField.
    void addLookupField(const QString &name, const QString &keyField, DataSet *list,
                        const QString &listKey, const QString &listResult);

    // Runs the SELECT and positions on the first row. Throws DatabaseError; the set stays closed.
    void open();
    // Drops the result; a row being edited or inserted is discarded.
    void close();
    bool isActive() const { return m_state != Inactive; }
    // Runs a statement that returns no rows; returns the number of rows it changed.
    int execSql();
    // Reads the rows again, staying on the current row where it still exists.
    void refresh();

    State state() const { return m_state; }
    bool isEditing() const { return m_state == Edit || m_state == Insert; }
    bool isModified() const { return m_modified; }

    // Navigation over the rows that pass the filter.
    int recordCount() const { return int(m_index.size()); }
    bool isEmpty() const { return m_index.isEmpty(); }
    int recNo() const { return m_pos; }          // position of the current row, -1 when none
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    void first();
    void last();
    void next();
    void prior();
    void setRecNo(int pos);
    // Moves to the first row whose fields equal the values (texts compared by cs).
    bool locate(const QStringList &fields, const QVariantList &values,
                Qt::CaseSensitivity cs = Qt::CaseInsensitive);

    // Fields of the result: the columns, then the lookup fields.
    const QList<Field> &fields() const { return m_fields; }
    int fieldCount() const { return int(m_fields.size()); }
    int fieldIndex(const QString &name) const;       // -1 when absent
    const Field &field(const QString &name) const;   // throws DatabaseError when absent

    // Values of the current row (the edit buffer while editing).
    QVariant value(const QString &field) const;
    QVariant value(int fieldIndex) const;
    QString asString(const QString &field) const;
    qint64 asInteger(const QString &field) const;    // null reads as 0
    Currency asCurrency(const QString &field) const; // null reads as 0
    bool isNull(const QString &field) const;
    // The current row's value as stored: while editing, as it was when editing began; null for
    // a row being inserted.
    QVariant storedValue(const QString &field) const;
    // Values by position, for views.
    QVariant valueAt(int pos, int fieldIndex) const;
    // A value of a stored row by its index in the full result, for filters.
    QVariant rowValue(int row, const QString &field) const;

    // Converts text or a typed value to the field's kind; throws DatabaseError with a message
    // naming the value when it cannot be converted. Requires Edit or Insert.
    void setValue(const QString &field, const QVariant &value);
    void setCurrency(const QString &field, Currency amount);
    static QVariant convert(const Field &field, const QVariant &value);

    void append();      // new empty row at the end
    void insert();      // new empty row before the current one
    void edit();
    void post();        // writes the edited or inserted row; throws DatabaseError or AbortError
    // The set's own INSERT or UPDATE of the row being posted, for a writer that does more around it.
    void writeBuffer();
    void cancel();
    void remove();      // deletes the current row (cancels a row being inserted)
    // Leaves editing: posts a modified row, cancels an untouched one.
    void checkBrowseMode();

    // Controls that hold typed text register here; post() has each write its text first.
    void addEditor(QObject *owner, std::function<void()> flush);
    void updateRecord();

    // Hooks; a hook may throw AbortError to abandon the operation silently.
    void setBeforePost(std::function<void()> hook) { m_beforePost = std::move(hook); }
    void setAfterPost(std::function<void()> hook) { m_afterPost = std::move(hook); }
    void setOnNewRecord(std::function<void()> hook) { m_onNewRecord = std::move(hook); }
    void setBeforeDelete(std::function<void()> hook) { m_beforeDelete = std::move(hook); }
    // Writes the row being posted in place of the set's own INSERT or UPDATE. It may change the
    // row's values (they are kept as the stored row), cancel the row, or throw.
    void setWriter(std::function<void()> writer) { m_writer = std::move(writer); }
    // Deletes the current row from the database in place of the set's own DELETE; may throw.
    void setDeleter(std::function<void()> deleter) { m_deleter = std::move(deleter); }
    // Runs before setValue changes a field of the row being edited or inserted, with the converted
    // value; true means the hook has dealt with the change itself (for example on a new row).
    using FieldChangeHook = std::function<bool(const QString &field, const QVariant &value)>;
    void setFieldChangeHook(FieldChangeHook hook) { m_fieldChange = std::move(hook); }

    using Filter = std::function<bool(const DataSet &, int row)>;
    void setFilter(Filter filter);
    void setFiltered(bool filtered);
    bool isFiltered() const { return m_filtered; }

signals:
    void stateChanged();
    void currentChanged();
    void aboutToReset();
    void reset();
    void aboutToInsertRow(int pos);
    void rowInserted(int pos);
    void aboutToRemoveRow(int pos);
    void rowRemoved(int pos);
    void rowChanged(int pos);

private:
    struct Lookup
    {
        int keyField = -1;
        QPointer<DataSet> list;
        QString listKey;
        QString listResult;
        mutable QHash<QString, QVariant> cache;
        mutable bool cacheValid = false;
    };

    using Row = QVector<QVariant>;

    void setState(State state);
    void rebuildIndex();
    void beginNewRow(int pos);
    Row keyValues(const Row &row) const;
    QVariant lookupValue(const Lookup &lookup, const Row &row) const;
    void invalidateLookups();
    const Row &rowAtPos(int pos) const;
    void moveTo(int pos);
    void writeInsert(Row &row);
    void writeUpdate(const Row &row);
    bool isTableColumn(const QString &name) const;
    QString storedRowCondition(const Row &stored, QVariantList &values) const;
    DatabaseError staleRowError(const Row &stored) const;
    const Engine &engine() const;
    FieldKind kindFor(const QString &name, const QVariant &sample) const;
    static QVariant fromDatabase(FieldKind kind, const QVariant &value);
    static QVariant toDatabase(FieldKind kind, const QVariant &value);

    QString m_connection;
    QString m_sql;
    QMap<QString, QVariant> m_params;
    QString m_table;
    QStringList m_keyFields;
    bool m_readOnly = false;
    QHash<QString, FieldKind> m_kindOverrides;

    struct LookupDef
    {
        QString name, keyField;
        QPointer<DataSet> list;
        QString listKey, listResult;
    };
    QList<LookupDef> m_lookupDefs;
    QList<Lookup> m_lookups;

    QList<Field> m_fields;
    int m_columnCount = 0;              // fields before the lookup fields
    QList<Row> m_rows;
    QVector<int> m_index;               // positions → rows, the rows that pass the filter
    int m_pos = -1;
    bool m_bof = true;
    bool m_eof = true;

    State m_state = Inactive;
    Row m_buffer;                       // the row being edited or inserted
    Row m_original;
    bool m_modified = false;

    Filter m_filter;
    bool m_filtered = false;

    struct Editor
    {
        QPointer<QObject> owner;
        std::function<void()> flush;
    };
    QList<Editor> m_editors;

    std::function<void()> m_beforePost, m_afterPost, m_onNewRecord, m_beforeDelete, m_writer, m_deleter;
    FieldChangeHook m_fieldChange;
};
