#include "ufrmMeter.h"

#include "ButtonKeys.h"
#include "DBDateEdit.h"
#include "DBEditEh.h"
#include "DBGridEh.h"
#include "DBLookupComboboxEh.h"
#include "DataSet.h"
#include "Guarded.h"
#include "MeterRegister.h"
#include "MyNavEh.h"
#include "UCommon.h"
#include "ufrmMeterExchange.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TfrmMeter *frmMeter = nullptr;

namespace {

constexpr int LabelWidth = 70;
constexpr int BoxWidth = 150;
constexpr int RowHeight = 26;
const int Columns[] = { 10, 250, 490 };

template <typename W>
W *placeOn(QWidget *parent, const QString &name, int column, int row)
{
    auto *w = new W(parent);
    w->setObjectName(name);
    w->setGeometry(Columns[column] + LabelWidth, 8 + row * RowHeight, BoxWidth, 22);
    return w;
}

QLabel *label(QWidget *parent, int number, const QString &text, int column, int row)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QStringLiteral("Label%1").arg(number));
    l->setGeometry(Columns[column], 8 + row * RowHeight, LabelWidth, 22);
    return l;
}

}

TfrmMeter::TfrmMeter(QWidget *parent) : QWidget(parent)
{
    frmMeter = this;
    setObjectName(QStringLiteral("frmMeter"));
    setWindowTitle(QStringLiteral("frmMeter"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(800, 540);

    m_core = new MeterRegister(this);
    DataSet *meter = m_core->adoMeter;

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(169);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);

    auto edit = [&](TDBEditEh *&box, const char *name, const char *field, int column, int row) {
        box = placeOn<TDBEditEh>(Panel1, QString::fromLatin1(name), column, row);
        box->setDataSet(meter);
        box->setDataField(QString::fromLatin1(field));
    };
    auto lookup = [&](TDBLookupComboboxEh *&box, const char *name, const char *field, DataSet *list,
                      const char *key, const char *shown, int column, int row) {
        box = placeOn<TDBLookupComboboxEh>(Panel1, QString::fromLatin1(name), column, row);
        box->setDataSet(meter);
        box->setDataField(QString::fromLatin1(field));
        box->setListSource(list);
        box->setKeyField(QString::fromLatin1(key));
        box->setListField(QString::fromLatin1(shown));
    };

    label(Panel1, 1, QStringLiteral("编    号："), 0, 0);
    edit(DBEditEh1, "DBEditEh1", "MeterNO", 0, 0);
    label(Panel1, 2, QStringLiteral("型    号："), 1, 0);
    edit(DBEditEh2, "DBEditEh2", "Type", 1, 0);
    label(Panel1, 3, QStringLiteral("类    型："), 0, 1);
    lookup(DBLookupComboboxEh3, "DBLookupComboboxEh3", "MeterSort", m_core->ADOQuery1, "MeterSortID",
           "MeterSortName", 0, 1);
    label(Panel1, 4, QStringLiteral("安装基数："), 1, 1);
    edit(DBEditEh3, "DBEditEh3", "BaseNumber", 1, 1);
    label(Panel1, 5, QStringLiteral("附加数量："), 0, 2);
    edit(DBEditEh4, "DBEditEh4", "SubjoinNumber", 0, 2);
    label(Panel1, 6, QStringLiteral("最大计数："), 1, 2);
    edit(DBEditEh5, "DBEditEh5", "MaxBound", 1, 2);
    label(Panel1, 7, QStringLiteral("所属车间："), 0, 3);
    lookup(DBLookupComboboxEh2, "DBLookupComboboxEh2", "WorkShopID", m_core->ADOQuery2, "WrokShopID",
           "WrokShopName", 0, 3);
    label(Panel1, 8, QStringLiteral("所属班组："), 1, 3);
    lookup(DBLookupComboboxEh6, "DBLookupComboboxEh6", "SubWorkShopID", m_core->ADOQuery4, "WrokShopID",
           "WrokShopName", 1, 3);
    label(Panel1, 9, QStringLiteral("倍    率："), 0, 4);
    edit(DBEditEh6, "DBEditEh6", "Multiple", 0, 4);
    label(Panel1, 10, QStringLiteral("费用定额："), 1, 4);
    edit(DBEditEh7, "DBEditEh7", "Quota", 1, 4);
    auto *yuan = new QLabel(QStringLiteral("元"), Panel1);
    yuan->setObjectName(QStringLiteral("Label11"));
    yuan->setGeometry(DBEditEh7->geometry().right() + 4, DBEditEh7->y(), 20, 22);
    label(Panel1, 12, QStringLiteral("执行单价："), 0, 5);
    lookup(DBLookupComboboxEh1, "DBLookupComboboxEh1", "PriceID", m_core->ADOQuery3, "PriceID", "PriceName", 0, 5);
    label(Panel1, 13, QStringLiteral("安装位置："), 1, 5);
    edit(DBEditEh8, "DBEditEh8", "FitPlace", 1, 5);
    // The installation date, which the register keeps and the grid shows.
    label(Panel1, 14, QStringLiteral("安装日期："), 2, 0);
    DBDateEdit1 = placeOn<TDBDateEdit>(Panel1, QStringLiteral("DBDateEdit1"), 2, 0);
    DBDateEdit1->setDataSet(meter);
    DBDateEdit1->setDataField(QStringLiteral("SetupDate"));
    // The quota is money: four places, as stored.
    DBEditEh7->setDecimals(4);

    DBGridEh3 = new TDBGridEh(this);
    DBGridEh3->setObjectName(QStringLiteral("DBGridEh3"));
    DBGridEh3->setDataSet(meter);
    DBGridEh3->setReadOnly(true);
    DBGridEh3->addColumn(QStringLiteral("MeterNO"), QStringLiteral("编号"));
    DBGridEh3->addColumn(QStringLiteral("Type"), QStringLiteral("型号"), 60);
    DBGridEh3->addColumn(QStringLiteral("SortName"), QStringLiteral("分类"), 60);
    DBGridEh3->addColumn(QStringLiteral("Multiple"), QStringLiteral("倍率"), 30);
    const int quota = DBGridEh3->addColumn(QStringLiteral("Quota"), QStringLiteral("费用(元)"));
    DBGridEh3->setTitleAlignment(quota, Qt::AlignLeft | Qt::AlignVCenter);
    DBGridEh3->addColumn(QStringLiteral("BaseNumber"), QStringLiteral("安装基数"));
    DBGridEh3->addColumn(QStringLiteral("SubPrice"), QStringLiteral("执行单价"), 80);
    DBGridEh3->addColumn(QStringLiteral("MaxBound"), QStringLiteral("最大计数"));
    DBGridEh3->addColumn(QStringLiteral("SubjoinNumber"), QStringLiteral("附加数"), 40);
    DBGridEh3->addColumn(QStringLiteral("SubWorkShop"), QStringLiteral("所属车间"), 90);
    DBGridEh3->addColumn(QStringLiteral("SubsubWorkShop"), QStringLiteral("所属班组"), 100);
    DBGridEh3->addColumn(QStringLiteral("SetupDate"), QStringLiteral("安装日期"), 65);
    // Room for a place of a few words; the column holds 50 characters.
    DBGridEh3->addColumn(QStringLiteral("FitPlace"), QStringLiteral("安装位置"), 160);

    // The exchange of the current meter's counter: a button on the panel, the grid's context menu
    // (the menu key) and Ctrl+H anywhere in the window.
    N1 = new QAction(QStringLiteral("换表"), this);
    N1->setObjectName(QStringLiteral("N1"));
    N1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    N1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(N1);
    DBGridEh3->addAction(N1);
    DBGridEh3->setContextMenuPolicy(Qt::ActionsContextMenu);
    BitBtn1 = new QPushButton(QStringLiteral("换表(&H)"), Panel1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setToolTip(QStringLiteral("换表 (Ctrl+H)"));
    BitBtn1->setGeometry(Columns[2] + LabelWidth, 8 + 2 * RowHeight, 80, 24);

    MyDBNavigator1 = new TMyDBNavigator(this);
    MyDBNavigator1->setObjectName(QStringLiteral("MyDBNavigator1"));
    MyDBNavigator1->setDataSet(meter);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(DBGridEh3, 1);
    layout->addWidget(MyDBNavigator1);

    const QList<QWidget *> order{ DBLookupComboboxEh1, DBEditEh6, DBLookupComboboxEh2, DBEditEh4,
                                  DBLookupComboboxEh3, DBEditEh1, DBEditEh8, DBLookupComboboxEh6,
                                  DBEditEh5, DBEditEh3, DBEditEh2, DBEditEh7, DBDateEdit1, BitBtn1, DBGridEh3,
                                  MyDBNavigator1 };
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));

    connect(N1, &QAction::triggered, this, &TfrmMeter::N1Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmMeter::N1Click);
    EnterPressesFocusedButton(this);
    connect(DBLookupComboboxEh3, &TDBLookupComboboxEh::closeUp, this, &TfrmMeter::DBLookupComboboxEh3CloseUp);
    connect(DBLookupComboboxEh2, &TDBLookupComboboxEh::closeUp, this, &TfrmMeter::DBLookupComboboxEh2CloseUp);

    Guarded(this, [&] { FormCreate(); });
}

TfrmMeter::~TfrmMeter()
{
    if (frmMeter == this)
        frmMeter = nullptr;
}

void TfrmMeter::FormCreate()
{
    m_core->open();
}

void TfrmMeter::DBLookupComboboxEh3CloseUp()
{
    // The core follows every change of the row; a closed list refills only if it fell behind.
    Guarded(this, [&] { m_core->narrowPrices(DBLookupComboboxEh3->keyValue()); });
}

void TfrmMeter::DBLookupComboboxEh2CloseUp()
{
    Guarded(this, [&] { m_core->narrowTeams(DBLookupComboboxEh2->keyValue()); });
}

void TfrmMeter::N1Click()
{
    DataSet *meter = m_core->adoMeter;
    const QVariant number = m_core->storedNumber();
    if (!meter->isActive() || number.isNull()) {
        KelvaraMg->ShowMessageText(QStringLiteral("请先选择要换表的表！"));
        return;
    }
    // The exchange changes the meter's base, maximum and model: a change typed meanwhile is
    // saved or cancelled first.
    if (meter->isEditing()) {
        KelvaraMg->ShowMessageText(QStringLiteral("请先保存或取消对该表的修改！"));
        return;
    }
    TfrmMeterExchange dialog(number.toString(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    Guarded(this, [&] { meter->refresh(); });
    emit statusMessage(dialog.repricedCount() > 0
                           ? QStringLiteral("表 %1 已换表，已重新计算以后的 %2 条抄表记录")
                                 .arg(number.toString())
                                 .arg(dialog.repricedCount())
                           : QStringLiteral("表 %1 已换表").arg(number.toString()));
    DBGridEh3->setFocus();
}
