// The meter register window driven by keys: its panel, grid and navigator, a meter entered box by
// box, lists that follow the grid, refused deletes, and what odd input in each box comes to.
#include "DBDateEdit.h"
#include "DBEditEh.h"
#include "DBGridEh.h"
#include "DBLookupComboboxEh.h"
#include "Database.h"
#include "MessageRecorder.h"
#include "MyNavEh.h"
#include "MasterWindowFixture.h"
#include "TestDatabase.h"
#include "UCommon.h"
#include "ufrmMeter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFrame>
#include <QHeaderView>
#include <QDateEdit>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

namespace {

QString errorBox(const QString &text)
{
    return QStringLiteral("Kelvara|%1|critical|Ok").arg(text);
}

QStringList items(const QComboBox *box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

struct Fixture : MasterWindowFixture<TfrmMeter>
{
    QHash<QString, qint64> id;

    Fixture()
    {
        t.setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
        id["生产部"] = t.addWorkshop(QStringLiteral("生产部"), 1, 1);
        id["一车间"] = t.addWorkshop(QStringLiteral("一车间"), 2, id["生产部"]);
        id["二车间"] = t.addWorkshop(QStringLiteral("二车间"), 2, id["生产部"]);
        id["车工班"] = t.addWorkshop(QStringLiteral("车工班"), 3, id["一车间"]);
        id["铣工班"] = t.addWorkshop(QStringLiteral("铣工班"), 3, id["一车间"]);
        id["装配班"] = t.addWorkshop(QStringLiteral("装配班"), 3, id["二车间"]);
        id["水表"] = t.addMeterSort(QStringLiteral("水表"));
        id["电表"] = t.addMeterSort(QStringLiteral("电表"));
        id["生产用水"] = t.addPrice(QStringLiteral("生产用水"), yuan("2.5"), yuan("3.75"), id["水表"]);
        id["生活用水"] = t.addPrice(QStringLiteral("生活用水"), yuan("1.8"), yuan("0"), id["水表"]);
        id["生产用电"] = t.addPrice(QStringLiteral("生产用电"), yuan("0.65"), yuan("0.98"), id["电表"]);
        t.addMeter({ QStringLiteral("W1"), id["水表"], id["生产用水"], id["一车间"], id["车工班"] });
        t.addMeter({ QStringLiteral("E1"), id["电表"], id["生产用电"], id["二车间"], id["装配班"] });
        t.addMeter({ QStringLiteral("W2"), id["水表"], id["生活用水"], id["二车间"], QVariant() });
        t.addReading(QStringLiteral("W1"), QDate(2024, 7, 1), 100, 100, yuan("250"), yuan("0"));
    }
    TDBGridEh *grid() const { return child<TDBGridEh>("DBGridEh3"); }
    TDBLookupComboboxEh *combo(const char *name) const { return child<TDBLookupComboboxEh>(name); }
    QStringList cells() const { return cellsOf(grid()); }
    QString stored(const QString &expression, int rowid = 1) const
    {
        return t.scalar(QStringLiteral("SELECT coalesce(CAST(%1 AS TEXT), '<null>') FROM Meter WHERE rowid = ?")
                            .arg(expression),
                        { rowid })
            .toString();
    }
};

}

class TstufrmMeter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Kelvara")); }
    void cleanup() { ClearTerminateRequest(); }
    void controls();
    void namesForEveryMeter();
    void enterMeterByKeys();
    void listsFollowTheGrid();
    void refusedPostStaysInEditing();
    void deletes();
    void badInput_data();
    void badInput();
    void installationDate_data();
    void installationDate();
    void exchangeByKeys();
    void exchangeRefusalFocus();
    void exchangeRefusalFocus_laterReading();
    void exchangeRefusalFocus_date();
};

void TstufrmMeter::controls()
{
    Fixture f;
    f.open();
    QCOMPARE(frmMeter, f.w.data());
    QCOMPARE(f.w->windowTitle(), QStringLiteral("frmMeter"));
    auto *panel = f.child<QFrame>("Panel1");
    QCOMPARE(panel->height(), 169);

    // Labels and boxes row by row, left to right: "label box".
    QList<QWidget *> widgets;
    for (QWidget *c : panel->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        widgets << c;
    std::sort(widgets.begin(), widgets.end(), [](QWidget *a, QWidget *b) {
        return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
    });
    QStringList layout;
    for (QWidget *c : std::as_const(widgets))
        layout << (qobject_cast<QLabel *>(c) ? static_cast<QLabel *>(c)->text() : c->objectName());
    QCOMPARE(layout, QStringList({ "编    号：", "DBEditEh1", "型    号：", "DBEditEh2", "安装日期：", "DBDateEdit1",
                                   "类    型：", "DBLookupComboboxEh3", "安装基数：", "DBEditEh3",
                                   "附加数量：", "DBEditEh4", "最大计数：", "DBEditEh5", "BitBtn1",
                                   "所属车间：", "DBLookupComboboxEh2", "所属班组：", "DBLookupComboboxEh6",
                                   "倍    率：", "DBEditEh6", "费用定额：", "DBEditEh7", "元",
                                   "执行单价：", "DBLookupComboboxEh1", "安装位置：", "DBEditEh8" }));
    QCOMPARE(QStringList({ f.child<TDBEditEh>("DBEditEh1")->dataField(), f.child<TDBEditEh>("DBEditEh2")->dataField(),
                           f.child<TDBEditEh>("DBEditEh3")->dataField(), f.child<TDBEditEh>("DBEditEh4")->dataField(),
                           f.child<TDBEditEh>("DBEditEh5")->dataField(), f.child<TDBEditEh>("DBEditEh6")->dataField(),
                           f.child<TDBEditEh>("DBEditEh7")->dataField(), f.child<TDBEditEh>("DBEditEh8")->dataField(),
                           f.child<TDBDateEdit>("DBDateEdit1")->dataField() }),
             QStringList({ "MeterNO", "Type", "BaseNumber", "SubjoinNumber", "MaxBound", "Multiple", "Quota",
                           "FitPlace", "SetupDate" }));
    QCOMPARE(QList<int>({ f.child<TDBEditEh>("DBEditEh1")->maxLength(), f.child<TDBEditEh>("DBEditEh2")->maxLength(),
                          f.child<TDBEditEh>("DBEditEh8")->maxLength() }),
             QList<int>({ 10, 20, 50 }));

    // Columns: title, width where one is set, and titles centred except the quota's.
    QStringList columns;
    const QAbstractItemModel *m = f.grid()->model();
    const QList<int> widths{ -1, 60, 60, 30, -1, -1, 80, -1, 40, 90, 100, 65, -1 };
    for (int c = 0; c < m->columnCount(); ++c) {
        const auto align = Qt::Alignment(m->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).toInt());
        QString column = m->headerData(c, Qt::Horizontal).toString();
        if (widths.at(c) > 0)
            column += u' ' + QString::number(f.grid()->columnWidth(c));
        if (!(align & Qt::AlignHCenter))
            column += QStringLiteral(" left");
        columns << column;
    }
    QCOMPARE(columns, QStringList({ "编号", "型号 60", "分类 60", "倍率 30", "费用(元) left", "安装基数", "执行单价 80",
                                    "最大计数", "附加数 40", "所属车间 90", "所属班组 100", "安装日期 65", "安装位置" }));
    QVERIFY(f.grid()->isReadOnly());

    QStringList order;
    f.combo("DBLookupComboboxEh1")->setFocus();
    // The date box takes Tab to move between its parts.
    for (int i = 0; i < 13; ++i) {
        order << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order, QStringList({ "DBLookupComboboxEh1", "DBEditEh6", "DBLookupComboboxEh2", "DBEditEh4",
                                  "DBLookupComboboxEh3", "DBEditEh1", "DBEditEh8", "DBLookupComboboxEh6", "DBEditEh5",
                                  "DBEditEh3", "DBEditEh2", "DBEditEh7", "DBDateEdit1" }));
    f.w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!f.w && !frmMeter);
    QVERIFY(f.rec.boxes().isEmpty());
}

void TstufrmMeter::namesForEveryMeter()
{
    Fixture f;
    f.open();
    QCOMPARE(f.cells(), QStringList({ "W1||水表|1|0.00|0|生产用水|9999|0|一车间|车工班||",
                                      "E1||电表|1|0.00|0|生产用电|9999|0|二车间|装配班||",
                                      "W2||水表|1|0.00|0|生活用水|9999|0|二车间|||" }));
}

void TstufrmMeter::enterMeterByKeys()
{
    Fixture f;
    f.open();
    f.press(nbInsert);
    auto *number = f.child<TDBEditEh>("DBEditEh1");
    number->setFocus();
    type(number, QStringLiteral("N1"));

    // Choosing the type by keyboard lists its prices; choosing the workshop lists its teams.
    auto *sort = f.combo("DBLookupComboboxEh3");
    sort->setFocus();
    QTest::keyClick(sort, Qt::Key_Down);
    QCOMPARE(sort->currentText(), QStringLiteral("水表"));
    QCOMPARE(items(f.combo("DBLookupComboboxEh1")), QStringList({ "生产用水", "生活用水" }));
    QTest::keyClick(f.combo("DBLookupComboboxEh1"), Qt::Key_Down);
    QTest::keyClick(f.combo("DBLookupComboboxEh1"), Qt::Key_Down);
    auto *shop = f.combo("DBLookupComboboxEh2");
    QTest::keyClick(shop, Qt::Key_Down);
    QCOMPARE(items(f.combo("DBLookupComboboxEh6")), QStringList({ "车工班", "铣工班" }));
    QTest::keyClick(shop, Qt::Key_Down);
    QCOMPARE(items(f.combo("DBLookupComboboxEh6")), QStringList({ "装配班" }));
    QTest::keyClick(f.combo("DBLookupComboboxEh6"), Qt::Key_Down);
    for (const auto &[box, text] : { std::pair{ "DBEditEh5", "5000" }, std::pair{ "DBEditEh3", "12" },
                                     std::pair{ "DBEditEh6", "20" }, std::pair{ "DBEditEh7", "99.5" },
                                     std::pair{ "DBEditEh2", "LXS-25" }, std::pair{ "DBEditEh8", "泵房" } }) {
        auto *e = f.child<TDBEditEh>(box);
        e->setFocus();
        QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
        type(e, QString::fromUtf8(text));
    }
    f.press(nbPost);
    QVERIFY(f.rec.boxes().isEmpty());
    QCOMPARE(f.stored(QStringLiteral("MeterNO || '|' || Multiple || '|' || WorkShopID || '|' || PriceID || '|' || "
                                     "BaseNumber || '|' || MeterSort || '|' || Quota || '|' || Type || '|' || SetupDate "
                                     "|| '|' || MaxBound || '|' || SubjoinNumber || '|' || FitPlace || '|' || SubWorkShopID"),
                      4),
             QStringLiteral("N1|20|%1|%2|12|%3|995000|LXS-25|%4|5000|0|泵房|%5")
                 .arg(f.id["二车间"])
                 .arg(f.id["生活用水"])
                 .arg(f.id["水表"])
                 .arg(QDate::currentDate().toString(Qt::ISODate))
                 .arg(f.id["装配班"]));
    // Added before the row that was current.
    QCOMPARE(f.cells().constFirst().section(u'|', 0, 10),
             QStringLiteral("N1|LXS-25|水表|20|99.50|12|生活用水|5000|0|二车间|装配班"));
}

void TstufrmMeter::listsFollowTheGrid()
{
    Fixture f;
    f.open();
    auto *prices = f.combo("DBLookupComboboxEh1");
    auto *teams = f.combo("DBLookupComboboxEh6");
    const auto shown = [&] {
        return items(prices).join(u',') + u'=' + prices->currentText() + u'|' + items(teams).join(u',') + u'='
            + teams->currentText();
    };
    QCOMPARE(shown(), QStringLiteral("生产用水,生活用水=生产用水|车工班,铣工班=车工班"));
    f.grid()->setFocus();
    QTest::keyClick(f.grid(), Qt::Key_Down);
    QCOMPARE(shown(), QStringLiteral("生产用电=生产用电|装配班=装配班"));
    QTest::keyClick(f.grid(), Qt::Key_Down);
    QCOMPARE(shown(), QStringLiteral("生产用水,生活用水=生活用水|装配班="));
    QTest::keyClick(f.grid(), Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(shown(), QStringLiteral("生产用水,生活用水=生产用水|车工班,铣工班=车工班"));

    // A workshop picked from the drop-down list: the team stays stored but is not in the new list.
    auto *shop = f.combo("DBLookupComboboxEh2");
    shop->showPopup();
    QTest::keyClick(shop->view(), Qt::Key_Down);
    QTest::keyClick(shop->view(), Qt::Key_Return);
    QTRY_COMPARE(shown(), QStringLiteral("生产用水,生活用水=生产用水|装配班="));
    QCOMPARE(f.grid()->dataSet()->value(QStringLiteral("SubWorkShopID")).toLongLong(), f.id["车工班"]);
    QVERIFY(f.rec.boxes().isEmpty());
}

void TstufrmMeter::refusedPostStaysInEditing()
{
    Fixture f;
    f.open();
    // Another type keeps the old price, which no longer fits.
    auto *sort = f.combo("DBLookupComboboxEh3");
    sort->setFocus();
    QTest::keyClick(sort, Qt::Key_Down);
    QCOMPARE(sort->currentText(), QStringLiteral("电表"));
    QCOMPARE(f.combo("DBLookupComboboxEh1")->currentText(), QString());
    f.press(nbPost);
    QCOMPARE(f.rec.summaries(), QStringList{ info(QStringLiteral("执行单价与表类型不符！")) });
    QCOMPARE(f.grid()->dataSet()->state(), DataSet::Edit);
    QTest::keyClick(f.combo("DBLookupComboboxEh1"), Qt::Key_Down);
    f.press(nbPost);
    QCOMPARE(f.rec.boxes().size(), 1);
    QCOMPARE(f.stored(QStringLiteral("MeterSort || '/' || PriceID")),
             QStringLiteral("%1/%2").arg(f.id["电表"]).arg(f.id["生产用电"]));
}

void TstufrmMeter::deletes()
{
    Fixture f;
    f.open();
    const QString confirm = QStringLiteral("Confirm|你真的要删除该记录吗？|question|Ok+Cancel");
    f.grid()->setFocus();
    QTest::keyClick(f.grid(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(f.rec.summaries(), QStringList({ confirm, info(QStringLiteral("该表已有抄表记录，不能删除！")) }));
    QCOMPARE(f.t.count(QStringLiteral("Meter")), 3);
    QCOMPARE(f.cells().size(), 3);

    f.rec.clear();
    QTest::keyClick(f.grid(), Qt::Key_End, Qt::ControlModifier);
    f.press(nbDelete);
    QCOMPARE(f.rec.summaries(), QStringList{ QStringLiteral("警告|您确认要删除这条记录吗？|warning|Ok+Cancel") });
    QCOMPARE(f.t.scalar(QStringLiteral("SELECT group_concat(MeterNO, ' ') FROM (SELECT MeterNO FROM Meter ORDER BY rowid)"))
                 .toString(),
             QStringLiteral("W1 E1"));
}

void TstufrmMeter::badInput_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("stored");     // the first meter's column afterwards
    QTest::addColumn<QStringList>("boxes");
    const QStringList none;
    const QString sql = QStringLiteral("1'; DROP TABLE Meter;--");
    QTest::newRow("number: SQL cut at 10") << "DBEditEh1" << sql << "MeterNO" << "1'; DROP T" << none;
    QTest::newRow("number: blank") << "DBEditEh1" << "  " << "MeterNO" << "W1"
                                   << QStringList{ info(QStringLiteral("表编号不能为空！")) };
    QTest::newRow("number: own in other case") << "DBEditEh1" << "w1" << "MeterNO" << "w1" << none;
    QTest::newRow("model: quotes") << "DBEditEh2" << "O'Neil \"X\";" << "Type" << "O'Neil \"X\";" << none;
    QTest::newRow("model: 20") << "DBEditEh2" << "ABCDEFGHIJKLMNOPQRST" << "Type" << "ABCDEFGHIJKLMNOPQRST" << none;
    QTest::newRow("model: 25 cut at 20") << "DBEditEh2" << "ABCDEFGHIJKLMNOPQRSTUVWXY" << "Type"
                                         << "ABCDEFGHIJKLMNOPQRST" << none;
    QTest::newRow("place: 51 cut at 50") << "DBEditEh8" << QString(51, u'泵') << "FitPlace" << QString(50, u'泵') << none;
    QTest::newRow("place: empty") << "DBEditEh8" << "" << "FitPlace" << "<null>" << none;
    QTest::newRow("maximum: 32-bit limit") << "DBEditEh5" << "2147483647" << "MaxBound" << "2147483647" << none;
    QTest::newRow("maximum: beyond 32 bits") << "DBEditEh5" << "2147483648" << "MaxBound" << "9999"
                                             << QStringList{ errorBox(QStringLiteral("“2147483648”不是有效的整数！.")) };
    QTest::newRow("maximum: beyond 64 bits") << "DBEditEh5" << "99999999999999999999" << "MaxBound" << "9999"
                                             << QStringList{ errorBox(QStringLiteral("“99999999999999999999”不是有效的整数！.")) };
    QTest::newRow("multiplier: letters refused") << "DBEditEh6" << "1x;2'" << "Multiple" << "12" << none;
    QTest::newRow("multiplier: signs only") << "DBEditEh6" << "+-" << "Multiple" << "1"
                                            << QStringList{ errorBox(QStringLiteral("“+-”不是有效的整数！.")) };
    QTest::newRow("quota: four decimals") << "DBEditEh7" << "12345.6789" << "Quota" << "123456789" << none;
    QTest::newRow("quota: five decimals") << "DBEditEh7" << "1.23456" << "Quota" << "0"
                                          << QStringList{ errorBox(QStringLiteral("“1.23456”不是有效的金额！.")) };
    QTest::newRow("quota: beyond 64 bits") << "DBEditEh7" << "922337203685478" << "Quota" << "0"
                                           << QStringList{ errorBox(QStringLiteral("“922337203685478”不是有效的金额！.")) };
}

void TstufrmMeter::badInput()
{
    QFETCH(QString, box);
    QFETCH(QString, text);
    QFETCH(QString, column);
    QFETCH(QStringList, boxes);
    Fixture f;
    f.open();
    auto *e = f.child<TDBEditEh>(box.toLatin1().constData());
    e->setFocus();
    QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(e, Qt::Key_Backspace);
    type(e, text);
    f.press(nbPost);
    QCOMPARE(f.rec.summaries(), boxes);
    QTEST(f.stored(column), "stored");
    // A refused row stays in editing with what was typed; the table is whole.
    QCOMPARE(f.grid()->dataSet()->state(), boxes.isEmpty() ? DataSet::Browse : DataSet::Edit);
    QCOMPARE(f.t.count(QStringLiteral("Meter")), 3);
    QCOMPARE(f.t.count(QStringLiteral("TakeMeter")), 1);
    // Closing drops a refused row without a word.
    f.w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!f.w);
    QCOMPARE(f.rec.summaries(), boxes);
    QTEST(f.stored(column), "stored");
}

void TstufrmMeter::installationDate_data()
{
    QTest::addColumn<QDate>("date");
    QTest::newRow("2000-01-01") << QDate(2000, 1, 1);
    QTest::newRow("2050-12-31") << QDate(2050, 12, 31);
    QTest::newRow("29 February") << QDate(2024, 2, 29);
}

void TstufrmMeter::installationDate()
{
    QFETCH(QDate, date);
    Fixture f;
    f.open();
    auto *picker = f.child<TDBDateEdit>("DBDateEdit1");
    picker->setFocus();
    // As the drop-down calendar sets it.
    picker->setDate(date);
    f.press(nbPost);
    QVERIFY(f.rec.boxes().isEmpty());
    QCOMPARE(f.stored(QStringLiteral("SetupDate")), date.toString(Qt::ISODate));
    QCOMPARE(f.cells().constFirst().section(u'|', 11, 11), QLocale().toString(date, QLocale::ShortFormat));
}

// Ctrl+H on the grid opens the exchange of the current meter; Enter moves from box to box and,
// after the note, stores. A final value below the last reading asks, No by default, and the value
// is typed again.
void TstufrmMeter::exchangeByKeys()
{
    Fixture f;
    f.open();
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    QStringList focusAfterNo;
    QString title;
    QTimer keys;
    QElapsedTimer waited;
    waited.start();
    connect(&keys, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (dialog && QApplication::activeWindow() == dialog && title.isEmpty()) {
            title = dialog->windowTitle() + u' ' + dialog->findChild<QLabel *>(QStringLiteral("lblMeter"))->text();
            for (const char *text : { "50", "5", "", "LXS-20", "表盘破裂" }) {
                QWidget *box = dialog->focusWidget();
                type(box, QString::fromUtf8(text));
                QTest::keyClick(box, Qt::Key_Return);
            }
            auto *oldFinal = qobject_cast<QLineEdit *>(dialog->focusWidget());
            focusAfterNo << dialog->focusWidget()->objectName() << (oldFinal ? oldFinal->selectedText() : QString());
            type(dialog->focusWidget(), QStringLiteral("150"));
            for (int i = 0; i < 5 && dialog->isVisible(); ++i)
                QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
        } else if (dialog && waited.elapsed() > 10000) {
            dialog->reject();
        }
    });
    keys.start(10);
    f.grid()->setFocus();
    QTest::keyClick(f.grid(), Qt::Key_H, Qt::ControlModifier);
    keys.stop();
    QCOMPARE(title, QStringLiteral("换表 W1"));
    QCOMPARE(f.rec.summaries(),
             QStringList{ QStringLiteral("提示|当前表数 50 小于上次表数 100，表计数是否已归零重新计数？|question|Yes+No") });
    QCOMPARE(f.rec.boxes().constFirst().defaultButton, QMessageBox::No);
    QCOMPARE(focusAfterNo, QStringList({ "edtOldFinal", "50" }));
    QCOMPARE(f.t.scalar(QStringLiteral("select group_concat(MeterID || ' ' || ExchangeDate || ' ' || OldFinal || ' ' || "
                                       "OldBase || ' ' || OldMaxBound || ' ' || NewInitial || ' ' || NewMaxBound || ' ' "
                                       "|| Note, ';') from MeterExchange")).toString(),
             QStringLiteral("W1 %1 150 0 9999 5 9999 表盘破裂").arg(today));
    // The register shows the new counter at once.
    QCOMPARE(f.cells().constFirst(),
             QStringLiteral("W1|LXS-20|水表|1|0.00|5|生产用水|9999|0|一车间|车工班|%1|")
                 .arg(QLocale().toString(QDate::currentDate(), QLocale::ShortFormat)));
    QCOMPARE(f.w->focusWidget(), f.grid());
}

// Opens the exchange dialog with Ctrl+H, types each text into the focused box followed by Enter,
// and tells where the cursor then stands: the box's name and its selected text ("selected" or
// "not selected" for the date).
static QStringList exchangeByEnter(Fixture &f, const QStringList &texts)
{
    QStringList focusAfter;
    QTimer keys;
    QElapsedTimer waited;
    waited.start();
    QObject::connect(&keys, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (dialog && QApplication::activeWindow() == dialog && focusAfter.isEmpty()) {
            for (const QString &text : texts) {
                QWidget *box = dialog->focusWidget();
                type(box, text);
                QTest::keyClick(box, Qt::Key_Return);
            }
            QWidget *focus = dialog->focusWidget();
            focusAfter << focus->objectName();
            if (auto *date = qobject_cast<QDateEdit *>(focus)) {
                auto *line = date->findChild<QLineEdit *>();
                focusAfter << (line && line->selectedText() == line->text() ? QStringLiteral("selected")
                                                                            : QStringLiteral("not selected"));
            } else {
                auto *box = qobject_cast<QLineEdit *>(focus);
                focusAfter << (box ? box->selectedText() : QString());
            }
            dialog->reject();
        } else if (dialog && waited.elapsed() > 10000) {
            dialog->reject();
        }
    });
    keys.start(10);
    f.grid()->setFocus();
    QTest::keyClick(f.grid(), Qt::Key_H, Qt::ControlModifier);
    keys.stop();
    return focusAfter;
}

// A value the store refuses is typed again where it stands: a new counter's first value beyond
// its maximum puts the cursor back in that box, selected, not in the old counter's.
void TstufrmMeter::exchangeRefusalFocus()
{
    Fixture f;
    f.open();
    const QStringList focusAfter = exchangeByEnter(f, { "150", "20000", "", "", "" });
    QCOMPARE(f.rec.texts(), QStringList{ QStringLiteral("新表起数必须在 0 到 9999 之间！") });
    QCOMPARE(focusAfter, QStringList({ "edtNewInitial", "20000" }));
    QCOMPARE(f.t.scalar(QStringLiteral("select count(*) from MeterExchange")).toInt(), 0);
}

// A new counter's first value above the next reading's counter is refused by the re-pricing of that
// reading: the cursor goes back to the new counter's first value, selected.
void TstufrmMeter::exchangeRefusalFocus_laterReading()
{
    Fixture f;
    const QDate later = QDate::currentDate().addDays(5);
    f.t.addReading(QStringLiteral("W1"), later, 120, 20, yuan("50"), yuan("0"));
    f.open();
    const QStringList focusAfter = exchangeByEnter(f, { "110", "130", "", "", "" });
    QCOMPARE(f.rec.texts(), QStringList{ QStringLiteral("表 W1 %1 的抄表数 120 将小于上次表数 130，不能修改！")
                                             .arg(later.toString(Qt::ISODate)) });
    QCOMPARE(focusAfter, QStringList({ "edtNewInitial", "130" }));
    QCOMPARE(f.t.scalar(QStringLiteral("select count(*) from MeterExchange")).toInt(), 0);
}

// An exchange on a day the meter was read is refused for its date: the cursor goes to the date
// with its text selected, so that typing replaces it.
void TstufrmMeter::exchangeRefusalFocus_date()
{
    Fixture f;
    f.t.addReading(QStringLiteral("W1"), QDate::currentDate(), 120, 20, yuan("50"), yuan("0"));
    f.open();
    const QStringList focusAfter = exchangeByEnter(f, { "130", "0", "", "", "" });
    QCOMPARE(f.rec.texts().size(), 1);
    QCOMPARE(focusAfter, QStringList({ "DTExchange", "selected" }));
}

QTEST_MAIN(TstufrmMeter)
#include "tst_ufrmMeter.moc"
