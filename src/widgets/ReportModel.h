// ReportModel.h: a read-only report result for grids, printers and export writers: the rows and
// footer sums of one run of the statement, held as they came, with column titles in two levels.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
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
    bool isNumber() const { return format != Text; }
};

// One run of a report statement: its rows and the footer sums taken over those same rows, as
// the database gave them. The grid shows it, and the printer and the export writers print and
// write it, so paper and files hold what the screen holds. Copies share their rows.
class ReportResult
{
public:
    // How amounts are written: as the grid shows them (two decimals, prices four) or exactly.
    enum class Amounts { Shown, Exact };
    static constexpr int ShownAmountDecimals = 2;

    ReportResult() = default;
    explicit ReportResult(const QList<ReportColumn> &columns) : m_columns(columns) {}

    const QList<ReportColumn> &columns() const { return m_columns; }
    int columnCount() const { return int(m_columns.size()); }
    bool isActive() const { return m_active; }
    int rowCount() const { return int(m_rows.size()); }

    QVariant value(int row, int column) const;
    QString text(int row, int column, Amounts amounts = Amounts::Shown) const;
    QStringList rowTexts(int row, Amounts amounts = Amounts::Shown) const;
    // Footer cell: the fixed text, the formatted sum, or empty.
    QString footerText(int column, Amounts amounts = Amounts::Shown) const;
    QStringList footerTexts(Amounts amounts = Amounts::Shown) const;
    // The exact sum of the column over the rows.
    QVariant footerSum(int column) const { return m_sums.value(column); }
    // The sum a footer shows: amounts shown to the fen add up the rows as shown, each rounded
    // half away from zero, so that the footer is what a clerk adding up the column gets; written
    // exactly, the exact sum. Every output takes its footer from here.
    QVariant footerValue(int column, Amounts amounts = Amounts::Shown) const;

    // A value as the grid writes it.
    QString formatValue(int column, const QVariant &value, Amounts amounts = Amounts::Shown) const;
    Qt::Alignment alignment(int column) const;

private:
    friend class ReportModel;

    QList<ReportColumn> m_columns;
    QList<QVariantList> m_rows;       // one value per column, invalid when the field is absent
    QList<QVariant> m_sums;           // per column; invalid when the column has no sum
    QList<QVariant> m_shownSums;      // per column: the sum of the rows as shown
    bool m_active = false;
};

class ReportModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using Amounts = ReportResult::Amounts;
    enum Role { UpperTitleRole = Qt::UserRole + 1, LowerTitleRole };

    static constexpr int DefaultWidth = 64;

    explicit ReportModel(QObject *parent = nullptr);

    void setColumns(const QList<ReportColumn> &columns);
    const QList<ReportColumn> &columns() const { return m_result.columns(); }
    int designedWidth(int column) const;

    // Runs the statement with its named parameters on the connection once and keeps its rows and
    // footer sums. Throws DatabaseError; the model is then closed and shows no rows.
    void open(const QString &sql, const QVariantMap &params, const QString &connectionName);
    // Holds rows computed elsewhere, one value per column in column order, with no footer sums.
    void setRows(const QList<QVariantList> &rows);
    void close();
    bool isActive() const { return m_result.isActive(); }
    // The report as generated: what the printer and the export writers take.
    const ReportResult &result() const { return m_result; }

    qint64 totalRows() const { return m_result.rowCount(); }
    QString footerText(int column, Amounts amounts = Amounts::Shown) const
    {
        return m_result.footerText(column, amounts);
    }
    QVariant footerSum(int column) const { return m_result.footerSum(column); }
    QString formatValue(int column, const QVariant &value, Amounts amounts = Amounts::Shown) const
    {
        return m_result.formatValue(column, value, amounts);
    }
    Qt::Alignment alignment(int column) const { return m_result.alignment(column); }
    // Every row of the report as generated, in order, as texts; the database is not read again.
    // Returns false when the visitor stopped early.
    bool forEachRow(const std::function<bool(const QStringList &cells)> &visit,
                    Amounts amounts = Amounts::Shown) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    ReportResult m_result;
};
