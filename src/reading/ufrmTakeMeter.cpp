#include "ufrmTakeMeter.h"

#include "ButtonKeys.h"
#include "CalendarKeys.h"
#include "DBEditEh.h"
#include "DBGridEh.h"
#include "DataSet.h"
#include "Guarded.h"
#include "Messages.h"
#include "MyNavEh.h"
#include "TakeMeterEntry.h"
#include "UCommon.h"

#include <QDateEdit>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

TfrmTakeMeter *frmTakeMeter = nullptr;

namespace {

template <typename W>
W *named(QWidget *parent, const char *name)
{
    auto *w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel *caption(QWidget *parent, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

bool isEnter(const QKeyEvent *key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

}

TfrmTakeMeter::TfrmTakeMeter(QWidget *parent) : QWidget(parent)
{
    frmTakeMeter = this;
    setObjectName(QStringLiteral("frmTakeMeter"));
    setWindowTitle(QStringLiteral("frmTakeMeter"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(760, 520);
    m_entry = new TakeMeterEntry(*KelvaraMg, this, this);

    // Date bar.
    auto *dateBar = new QHBoxLayout;
    Label1 = named<QLabel>(this, "Label1");
    Label1->setText(QStringLiteral("抄表时间："));
    DTMeter = named<QDateEdit>(this, "DTMeter");
    DTMeter->setCalendarPopup(true);
    DTMeter->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    DTMeter->setDateRange(QDate(2000, 1, 1), QDate(2050, 12, 31));
    DTMeter->setMinimumWidth(120);
    BitBtn1 = named<QPushButton>(this, "BitBtn1");
    BitBtn1->setText(QStringLiteral("开始抄表"));
    BitBtn1->setIcon(QIcon(QStringLiteral(":/icons/reading.png")));
    dateBar->addWidget(Label1);
    dateBar->addWidget(DTMeter);
    dateBar->addStretch(1);
    dateBar->addWidget(BitBtn1);

    // Entry panel: what is typed, then what the save computed.
    Panel2 = named<QFrame>(this, "Panel2");
    Panel2->setFrameShape(QFrame::StyledPanel);
    auto *entry = new QGridLayout(Panel2);
    DBEditEh3 = named<TDBEditEh>(Panel2, "DBEditEh3");
    DBEditEh4 = named<TDBEditEh>(Panel2, "DBEditEh4");
    DBEditEh1 = named<TDBEditEh>(Panel2, "DBEditEh1");
    DBCharge = named<TDBEditEh>(Panel2, "DBCharge");
    DBEditEh2 = named<TDBEditEh>(Panel2, "DBEditEh2");
    entry->addWidget(caption(Panel2, QStringLiteral("表编号")), 0, 0);
    entry->addWidget(DBEditEh3, 0, 1);
    entry->addWidget(caption(Panel2, QStringLiteral("当前表数")), 0, 2);
    entry->addWidget(DBEditEh4, 0, 3);
    auto *rule = new QFrame(Panel2);
    rule->setFrameShape(QFrame::HLine);
    rule->setStyleSheet(QStringLiteral("color: #b0b0b0"));
    entry->addWidget(rule, 1, 0, 1, 9);
    entry->addWidget(caption(Panel2, QStringLiteral("使用数")), 2, 0);
    entry->addWidget(DBEditEh1, 2, 1);
    entry->addWidget(caption(Panel2, QStringLiteral("计划费用")), 2, 2);
    entry->addWidget(DBCharge, 2, 3);
    entry->addWidget(new QLabel(QStringLiteral("元"), Panel2), 2, 4);
    entry->addWidget(caption(Panel2, QStringLiteral("超出费用")), 2, 5);
    entry->addWidget(DBEditEh2, 2, 6);
    entry->addWidget(new QLabel(QStringLiteral("元"), Panel2), 2, 7);
    entry->setColumnStretch(8, 1);
    for (TDBEditEh *e : { DBEditEh3, DBEditEh4, DBEditEh1, DBCharge, DBEditEh2 })
        e->setFixedWidth(120);

    // Rows area: navigator over the grid, the chooser floating above both.
    Panel3 = named<QWidget>(this, "Panel3");
    auto *rows = new QVBoxLayout(Panel3);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    MyDBNavigator1 = named<TMyDBNavigator>(Panel3, "MyDBNavigator1");
    DBGridEh1 = named<TDBGridEh>(Panel3, "DBGridEh1");
    rows->addWidget(MyDBNavigator1);
    rows->addWidget(DBGridEh1, 1);

    Panel4 = named<QFrame>(Panel3, "Panel4");
    Panel4->setGeometry(176, 54, 233, 281);
    Panel4->setFrameShape(QFrame::Panel);
    Panel4->setFrameShadow(QFrame::Raised);
    Panel4->setAutoFillBackground(true);
    auto *chooserLabel = named<QLabel>(Panel4, "Label2");
    chooserLabel->setText(QStringLiteral("请选择表编号："));
    chooserLabel->setGeometry(12, 8, 209, 20);
    ListView1 = named<QTableWidget>(Panel4, "ListView1");
    ListView1->setGeometry(12, 30, 209, 206);
    ListView1->setColumnCount(2);
    ListView1->setHorizontalHeaderLabels({ QStringLiteral("顺号"), QStringLiteral("编号") });
    ListView1->setColumnWidth(0, 70);
    ListView1->setColumnWidth(1, 100);
    ListView1->verticalHeader()->hide();
    ListView1->verticalHeader()->setDefaultSectionSize(22);
    ListView1->setShowGrid(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setTabKeyNavigation(false);
    BitBtn2 = named<QPushButton>(Panel4, "BitBtn2");
    BitBtn2->setText(QStringLiteral("确定"));
    BitBtn2->setGeometry(30, 246, 75, 25);
    BitBtn3 = named<QPushButton>(Panel4, "BitBtn3");
    BitBtn3->setText(QStringLiteral("取消"));
    BitBtn3->setGeometry(128, 246, 75, 25);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(dateBar);
    layout->addWidget(Panel2);
    layout->addWidget(Panel3, 1);

    setTabOrder(DBEditEh3, DBEditEh4);
    setTabOrder(DBEditEh4, DBEditEh1);
    setTabOrder(DBEditEh1, DBCharge);
    setTabOrder(DBCharge, DBEditEh2);

    connect(BitBtn1, &QPushButton::clicked, this, &TfrmTakeMeter::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmTakeMeter::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TfrmTakeMeter::BitBtn3Click);
    connect(ListView1, &QTableWidget::cellDoubleClicked, this, &TfrmTakeMeter::BitBtn2Click);
    connect(m_entry, &TakeMeterEntry::saved, this, &TfrmTakeMeter::BeginNextRow);
    connect(m_entry, &TakeMeterEntry::repriced, this, &TfrmTakeMeter::statusMessage);
    DBEditEh3->installEventFilter(this);
    DBEditEh4->installEventFilter(this);
    ListView1->installEventFilter(this);
    EnterPressesFocusedButton(this);
    KeysOpenCalendar(DTMeter);

    FormCreate();
}

TfrmTakeMeter::~TfrmTakeMeter()
{
    if (frmTakeMeter == this)
        frmTakeMeter = nullptr;
}

void TfrmTakeMeter::FormCreate()
{
    DataSet *rows = m_entry->adoTakeMeter();
    const struct
    {
        TDBEditEh *edit;
        const char *field;
    } bound[] = { { DBEditEh3, "MeterID" }, { DBEditEh4, "TakeNumber" }, { DBEditEh1, "CurValue" },
                  { DBCharge, "Charge" },   { DBEditEh2, "QuotaCharge" } };
    for (const auto &b : bound) {
        b.edit->setDataSet(rows);
        b.edit->setDataField(QString::fromLatin1(b.field));
        // Typing while the rows are browsed begins a new reading; it never overwrites one.
        b.edit->setBrowseTyping(FieldLink::BrowseTyping::AppendRow);
    }
    DBEditEh4->setHistoryEnabled(true);
    for (TDBEditEh *shown : { DBEditEh1, DBCharge, DBEditEh2 })
        shown->setEnabled(false);

    MyDBNavigator1->setDataSet(rows);
    DBGridEh1->setDataSet(rows);
    const struct
    {
        const char *field;
        QString title;
        int width;
    } columns[] = {
        { "MeterID", QStringLiteral("表编号"), 85 },       { "TakeNumber", QStringLiteral("当前表数"), 80 },
        { "CurValue", QStringLiteral("使用数量"), 75 },    { "Charge", QStringLiteral("计划费用"), 70 },
        { "QuotaCharge", QStringLiteral("超出费用"), 70 }, { "TakeTime", QStringLiteral("抄表时间"), 85 },
        { "InputDate", QStringLiteral("录入时间"), 85 },
    };
    for (const auto &c : columns)
        DBGridEh1->addColumn(QString::fromLatin1(c.field), c.title, c.width);

    Panel4->hide();
    DTMeter->setDate(m_entry->ReadingDate());
    Guarded(this, [&] { m_entry->OpenReadings(); });
    // Calendar or keyboard: the rows follow every complete date.
    connect(DTMeter, &QDateEdit::dateChanged, this, &TfrmTakeMeter::DTMeterChange);
}

void TfrmTakeMeter::DTMeterChange()
{
    Panel4->hide();
    Guarded(this, [&] { m_entry->setReadingDate(DTMeter->date()); });
}

void TfrmTakeMeter::BitBtn1Click()
{
    Guarded(this, [&] {
        if (m_entry->start())
            DBEditEh3->setFocus();
    });
}

bool TfrmTakeMeter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && isEnter(static_cast<QKeyEvent *>(event))) {
        if (watched == DBEditEh3) {
            DBEditEh3KeyPress();
            return true;
        }
        if (watched == DBEditEh4) {
            DBEditEh4KeyPress();
            return true;
        }
        if (watched == ListView1) {
            ListView1KeyPress();
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress && watched == ListView1) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        // Escape in the chooser list does what "取消" does.
        if (key == Qt::Key_Escape) {
            BitBtn3Click();
            return true;
        }
        // Home and End go to the first and the last number, not along the row.
        if ((key == Qt::Key_Home || key == Qt::Key_End) && ListView1->rowCount() > 0) {
            ListView1->selectRow(key == Qt::Key_Home ? 0 : ListView1->rowCount() - 1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmTakeMeter::FocusCounter()
{
    DBEditEh4->setFocus();
    DBEditEh4->selectAll();
}

void TfrmTakeMeter::FocusMeterNumber()
{
    DBEditEh3->setFocus();
    DBEditEh3->selectAll();
}

void TfrmTakeMeter::BeginNextRow()
{
    // Enter has begun the next row and placed the focus itself: digits typed ahead stay.
    Guarded(this, [&] {
        if (!m_entry->adoTakeMeter()->isEditing() && m_entry->start())
            FocusMeterNumber();
    });
}

void TfrmTakeMeter::DBEditEh3KeyPress()
{
    // A chooser left open from an earlier number no longer applies.
    Panel4->hide();
    Guarded(this, [&] {
        switch (m_entry->meterEntered(DBEditEh3->text())) {
        case TakeMeterEntry::MeterResult::Empty:
            DBEditEh3->setFocus();
            break;
        case TakeMeterEntry::MeterResult::NotFound:
            // Empty for a new row; a reading being corrected shows its own meter again.
            DBEditEh3->revert();
            FocusMeterNumber();
            break;
        case TakeMeterEntry::MeterResult::ToCounter:
        case TakeMeterEntry::MeterResult::Correcting:
            FocusCounter();
            break;
        case TakeMeterEntry::MeterResult::Choose:
            ShowChooser();
            break;
        case TakeMeterEntry::MeterResult::Declined:
        case TakeMeterEntry::MeterResult::LocateFailed:
            // The next digits replace the number.
            FocusMeterNumber();
            break;
        }
    });
}

void TfrmTakeMeter::ShowChooser()
{
    const QStringList &matches = m_entry->matches();
    ListView1->clearContents();
    ListView1->setRowCount(int(matches.size()));
    for (int i = 0; i < matches.size(); ++i) {
        ListView1->setItem(i, 0, new QTableWidgetItem(QString::number(i + 1)));
        auto *number = new QTableWidgetItem(matches.at(i));
        number->setTextAlignment(Qt::AlignCenter);
        ListView1->setItem(i, 1, number);
    }
    // The exact number is selected, so Enter accepts it.
    if (m_entry->exactMatch() >= 0)
        ListView1->selectRow(m_entry->exactMatch());
    else
        ListView1->setCurrentItem(nullptr);
    Panel4->show();
    Panel4->raise();
    ListView1->setFocus();
}

void TfrmTakeMeter::ListView1KeyPress()
{
    BitBtn2Click();
}

void TfrmTakeMeter::BitBtn2Click()
{
    const QList<QTableWidgetItem *> selected = ListView1->selectedItems();
    if (selected.isEmpty())
        return;
    const QString number = ListView1->item(selected.constFirst()->row(), 1)->text();
    Panel4->hide();
    Guarded(this, [&] {
        switch (m_entry->meterChosen(number)) {
        case TakeMeterEntry::MeterResult::ToCounter:
        case TakeMeterEntry::MeterResult::Correcting:
            FocusCounter();
            break;
        default:
            DBEditEh3->setFocus();
            break;
        }
    });
}

void TfrmTakeMeter::BitBtn3Click()
{
    // Hiding the chooser would hand its focus to the date picker, where the next digit typed
    // would change the reading date; the meter number is typed again instead.
    DBEditEh3->setFocus();
    Panel4->hide();
    ShowMessageBox(this, QStringLiteral("表编号查找失败！"), QStringLiteral("操作提示"), QMessageBox::Information);
    FocusMeterNumber();
}

void TfrmTakeMeter::DBEditEh4KeyPress()
{
    Guarded(this, [&] {
        switch (m_entry->counterEntered()) {
        case TakeMeterEntry::SaveResult::Stored:
        case TakeMeterEntry::SaveResult::Refused:
            DBEditEh3->setFocus();
            break;
        case TakeMeterEntry::SaveResult::Kept:
        case TakeMeterEntry::SaveResult::Failed:
            FocusCounter();
            break;
        case TakeMeterEntry::SaveResult::NoMeter:
            DBEditEh3->setFocus();
            break;
        }
    });
}
