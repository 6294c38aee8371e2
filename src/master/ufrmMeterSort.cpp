#include "ufrmMeterSort.h"

#include "DBEditEh.h"
#include "DBGridEh.h"
#include "DataSet.h"
#include "Guarded.h"
#include "MasterChecks.h"
#include "MyNavEh.h"
#include "UCommon.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

TfrmMeterSort *frmMeterSort = nullptr;

TfrmMeterSort::TfrmMeterSort(QWidget *parent) : QWidget(parent)
{
    frmMeterSort = this;
    setObjectName(QStringLiteral("frmMeterSort"));
    setWindowTitle(QStringLiteral("类型维护"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(640, 420);

    adoMeterSort = new DataSet(this);
    adoMeterSort->setObjectName(QStringLiteral("adoMeterSort"));
    adoMeterSort->setSql(QStringLiteral("select * from MeterSort order by MeterSortID"));
    adoMeterSort->setUpdateTable(QStringLiteral("MeterSort"), { QStringLiteral("MeterSortID") });
    MasterChecks::installSortChecks(adoMeterSort);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(97);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    const struct { const char *label, *box, *field; int width; } rows[] = {
        { "类型名称：", "DBEditEh1", "MeterSortName", 150 },
        { "类型说明：", "DBEditEh2", "MeterSortMemo", 360 },
    };
    TDBEditEh **boxes[] = { &DBEditEh1, &DBEditEh2 };
    for (int i = 0; i < 2; ++i) {
        auto *l = new QLabel(QString::fromUtf8(rows[i].label), Panel1);
        l->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        l->setGeometry(16, 18 + i * 34, 70, 22);
        auto *box = new TDBEditEh(Panel1);
        box->setObjectName(QString::fromLatin1(rows[i].box));
        box->setGeometry(90, 18 + i * 34, rows[i].width, 22);
        box->setDataSet(adoMeterSort);
        box->setDataField(QString::fromLatin1(rows[i].field));
        *boxes[i] = box;
    }

    DBGridEh4 = new TDBGridEh(this);
    DBGridEh4->setObjectName(QStringLiteral("DBGridEh4"));
    DBGridEh4->setDataSet(adoMeterSort);
    DBGridEh4->setReadOnly(true);
    DBGridEh4->addColumn(QStringLiteral("MeterSortID"), QStringLiteral("类型ID"));
    DBGridEh4->addColumn(QStringLiteral("MeterSortName"), QStringLiteral("类型名称"), 90);
    DBGridEh4->addColumn(QStringLiteral("MeterSortMemo"), QStringLiteral("说明"), 200);

    MyDBNavigator1 = new TMyDBNavigator(this);
    MyDBNavigator1->setObjectName(QStringLiteral("MyDBNavigator1"));
    MyDBNavigator1->setDataSet(adoMeterSort);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(DBGridEh4, 1);
    layout->addWidget(MyDBNavigator1);
    setTabOrder(DBEditEh1, DBEditEh2);
    setTabOrder(DBEditEh2, DBGridEh4);
    setTabOrder(DBGridEh4, MyDBNavigator1);

    FormCreate();
}

TfrmMeterSort::~TfrmMeterSort()
{
    if (frmMeterSort == this)
        frmMeterSort = nullptr;
}

void TfrmMeterSort::FormCreate()
{
    KelvaraMg->BindQuery(adoMeterSort);
}

void TfrmMeterSort::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Guarded(this, [&] { FormShow(); });
}

void TfrmMeterSort::FormShow()
{
    if (!adoMeterSort->isActive() && !TerminateRequested())
        adoMeterSort->open();
}
