// ReportModel.h: a read-only report result for grids, printers and export writers: the statement's
// rows fetched as they are shown, column titles in two levels, and footer sums from the database.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QList>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QString>
#include <QVariantMap>
#include <functional>

struct ReportColumn
{
    enum Format { Text, Integer, Amount, Price };
    enum Footer { NoFooter, FooterText, FooterSum };

    QString field;             // result field shown
    QString caption;           // "upper|lower", or the title alone
    int width = 0;             // designed width in pixels; 0 for the grid's default
    Format format = Text;
    Footer footer = NoFooter;
    QString footerText;        // shown centred when footer is FooterText
    QColor footerColor;        // background of this footer cell; invalid for the row's colour

    QString upperTitle() const;
    QString lowerTitle() const;
};

class ReportModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // How amounts are written: as the grid shows them (two decimals, prices four) or exactly.
    enum class Amounts { Shown, Exact };
    enum Role { UpperTitleRole = Qt::UserRole + 1, LowerTitleRole };

    static constexpr int DefaultWidth = 64;
    static constexpr int ReadAtOnce = 500;   // rows read when the statement opens, if that is all

    explicit ReportModel(QObject *parent = nullptr);

    void setColumns(const QList<ReportColumn> &columns);
    const QList<ReportColumn> &columns() const { return m_columns; }
    int designedWidth(int column) const;

    // Runs the statement with its named parameters on the connection and the sum statement over
    // it. Throws DatabaseError; the model is then closed and shows no rows.
    void open(const QString &sql, const QVariantMap &params, const QString &connectionName);
    void close();
    bool isActive() const { return m_active; }
    const QString &statement() const { return m_sql; }
    const QVariantMap &params() const { return m_params; }

    // Rows of the whole result, from the sum statement; rowCount() is the part fetched so far.
    qint64 totalRows() const { return m_totalRows; }
    // Footer cell: the fixed text, the formatted sum, or empty.
    QString footerText(int column, Amounts amounts = Amounts::Shown) const;
    QVariant footerSum(int column) const;

    // A value as the grid writes it.
    QString formatValue(int column, const QVariant &value, Amounts amounts = Amounts::Shown) const;
    Qt::Alignment alignment(int column) const;
    // Every row of the result in order, read afresh from the database one at a time, as texts.
    // Returns false when the visitor stopped early. Throws DatabaseError.
    bool forEachRow(const std::function<bool(const QStringList &cells)> &visit,
                    Amounts amounts = Amounts::Shown) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

private:
    QSqlQuery prepare(const QString &sql) const;
    void mapFields();

    QList<ReportColumn> m_columns;
    QSqlQueryModel *m_source = nullptr;
    QList<int> m_fieldIndex;          // column → field of the result, -1 when absent
    QString m_sql;
    QVariantMap m_params;
    QString m_connection;
    bool m_active = false;
    qint64 m_totalRows = 0;
    QList<QVariant> m_sums;           // per column; invalid when the column has no sum
};
