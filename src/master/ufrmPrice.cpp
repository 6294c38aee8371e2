#include "ufrmPrice.h"

#include "DBEditEh.h"
#include "DBGridEh.h"
#include "DBLookupComboboxEh.h"
#include "DataSet.h"
#include "Guarded.h"
#include "MasterChecks.h"
#include "MyNavEh.h"
#include "UCommon.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

TfrmPrice *frmPrice = nullptr;

namespace {

constexpr int Places = 4;   // prices are kept to the ten-thousandth of a yuan

QLabel *label(QWidget *parent, int number, const QString &text, int left, int top, int width)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QStringLiteral("Label%1").arg(number));
    l->setGeometry(left, top, width, 22);
    return l;
}

}

TfrmPrice::TfrmPrice(QWidget *parent) : QWidget(parent)
{
    frmPrice = this;
    setObjectName(QStringLiteral("frmPrice"));
    setWindowTitle(QStringLiteral("单价维护"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(640, 420);

    adoPrice = new DataSet(this);
    adoPrice->setObjectName(QStringLiteral("adoPrice"));
    adoPrice->setSql(QStringLiteral("select * from price order by PriceID"));
    adoPrice->setUpdateTable(QStringLiteral("Price"), { QStringLiteral("PriceID") });
    ADOQuery1 = new DataSet(this);
    ADOQuery1->setObjectName(QStringLiteral("ADOQuery1"));
    ADOQuery1->setSql(QStringLiteral("select * from MeterSort order by MeterSortID"));
    ADOQuery1->setUpdateTable(QStringLiteral("MeterSort"), { QStringLiteral("MeterSortID") });
    ADOQuery1->setReadOnly(true);
    adoPrice->addLookupField(QStringLiteral("MeterSortName"), QStringLiteral("MeterSortID"), ADOQuery1,
                             QStringLiteral("MeterSortID"), QStringLiteral("MeterSortName"));
    MasterChecks::installPriceChecks(adoPrice);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(89);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);

    label(Panel1, 1, QStringLiteral("表 类 型："), 16, 16, 70);
    DBLookupComboboxEh5 = new TDBLookupComboboxEh(Panel1);
    DBLookupComboboxEh5->setObjectName(QStringLiteral("DBLookupComboboxEh5"));
    DBLookupComboboxEh5->setGeometry(90, 16, 150, 22);
    DBLookupComboboxEh5->setDataSet(adoPrice);
    DBLookupComboboxEh5->setDataField(QStringLiteral("MeterSortID"));
    DBLookupComboboxEh5->setListSource(ADOQuery1);
    DBLookupComboboxEh5->setKeyField(QStringLiteral("MeterSortID"));
    DBLookupComboboxEh5->setListField(QStringLiteral("MeterSortName"));

    auto edit = [&](TDBEditEh *&box, const char *name, const char *field, int left, int top) {
        box = new TDBEditEh(Panel1);
        box->setObjectName(QString::fromLatin1(name));
        box->setGeometry(left, top, 150, 22);
        box->setDataSet(adoPrice);
        box->setDataField(QString::fromLatin1(field));
    };
    label(Panel1, 2, QStringLiteral("单价名称："), 290, 16, 100);
    edit(DBEditEh1, "DBEditEh1", "PriceName", 394, 16);
    label(Panel1, 3, QStringLiteral("单      价："), 16, 52, 70);
    edit(DBEditEh2, "DBEditEh2", "PriceNumber", 90, 52);
    label(Panel1, 4, QStringLiteral("元"), 244, 52, 20);
    label(Panel1, 5, QStringLiteral("超出部分单价："), 290, 52, 100);
    edit(DBEditEh3, "DBEditEh3", "ExceedPrice", 394, 52);
    label(Panel1, 6, QStringLiteral("元"), 548, 52, 20);
    DBEditEh2->setDecimals(Places);
    DBEditEh3->setDecimals(Places);

    DBGridEh2 = new TDBGridEh(this);
    DBGridEh2->setObjectName(QStringLiteral("DBGridEh2"));
    DBGridEh2->setDataSet(adoPrice);
    DBGridEh2->setReadOnly(true);
    DBGridEh2->addColumn(QStringLiteral("PriceID"), QStringLiteral("单价ID"));
    DBGridEh2->addColumn(QStringLiteral("PriceName"), QStringLiteral("单价名称"), 80);
    DBGridEh2->setColumnDecimals(DBGridEh2->addColumn(QStringLiteral("PriceNumber"), QStringLiteral("单价"), 70), Places);
    DBGridEh2->setColumnDecimals(DBGridEh2->addColumn(QStringLiteral("ExceedPrice"), QStringLiteral("超出部分单价"), 75),
                                 Places);
    DBGridEh2->addColumn(QStringLiteral("MeterSortName"), QStringLiteral("所属表类型"), 80);

    MyDBNavigator1 = new TMyDBNavigator(this);
    MyDBNavigator1->setObjectName(QStringLiteral("MyDBNavigator1"));
    MyDBNavigator1->setDataSet(adoPrice);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(DBGridEh2, 1);
    layout->addWidget(MyDBNavigator1);
    const QList<QWidget *> order{ DBLookupComboboxEh5, DBEditEh1, DBEditEh2, DBEditEh3, DBGridEh2, MyDBNavigator1 };
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));

    FormCreate();
}

TfrmPrice::~TfrmPrice()
{
    if (frmPrice == this)
        frmPrice = nullptr;
}

void TfrmPrice::FormCreate()
{
    if (KelvaraMg->BindQuery(adoPrice))
        KelvaraMg->BindQuery(ADOQuery1);
}

void TfrmPrice::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Guarded(this, [&] { FormShow(); });
}

void TfrmPrice::FormShow()
{
    if (TerminateRequested())
        return;
    if (!adoPrice->isActive())
        adoPrice->open();
    if (!ADOQuery1->isActive())
        ADOQuery1->open();
}
