#include "ufrmMeterExchange.h"

#include "AskAfterRollback.h"
#include "ButtonKeys.h"
#include "CalendarKeys.h"
#include "Database.h"
#include "Guarded.h"
#include "LineLimit.h"
#include "Messages.h"
#include "ReadingStore.h"
#include "UCommon.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSqlQuery>
#include <QVBoxLayout>

#include <limits>
#include <optional>

namespace {

template <typename W>
W *named(QWidget *parent, const char *name)
{
    auto *w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

bool isEnter(const QKeyEvent *key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

// A counter value of the box: digits only, within 32 bits; nothing when blank or too large.
std::optional<qint64> number(const QLineEdit *box)
{
    bool ok = false;
    const qint64 value = box->text().trimmed().toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

}

TfrmMeterExchange::TfrmMeterExchange(const QString &meterNo, QWidget *parent) : QDialog(parent), m_meterNo(meterNo)
{
    setObjectName(QStringLiteral("frmMeterExchange"));
    setWindowTitle(QStringLiteral("换表"));

    auto *grid = new QGridLayout;
    auto row = [&](int at, const QString &caption, QWidget *box) {
        auto *label = new QLabel(caption, this);
        label->setBuddy(box);
        grid->addWidget(label, at, 0);
        grid->addWidget(box, at, 1);
    };
    lblMeter = named<QLabel>(this, "lblMeter");
    DTExchange = named<QDateEdit>(this, "DTExchange");
    DTExchange->setCalendarPopup(true);
    DTExchange->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    DTExchange->setDateRange(QDate(2000, 1, 1), QDate(2050, 12, 31));
    edtOldFinal = named<QLineEdit>(this, "edtOldFinal");
    edtNewInitial = named<QLineEdit>(this, "edtNewInitial");
    edtMaxBound = named<QLineEdit>(this, "edtMaxBound");
    edtType = named<QLineEdit>(this, "edtType");
    edtNote = named<QLineEdit>(this, "edtNote");
    // Counter values and the maximum count take digits only.
    const QRegularExpression digits(QStringLiteral("[0-9]{0,19}"));
    for (QLineEdit *box : { edtOldFinal, edtNewInitial, edtMaxBound })
        box->setValidator(new QRegularExpressionValidator(digits, box));
    SetLineLimit(edtType, 20);
    SetLineLimit(edtNote, 50);
    row(0, QStringLiteral("表 编 号："), lblMeter);
    row(1, QStringLiteral("换表日期："), DTExchange);
    row(2, QStringLiteral("旧表止数："), edtOldFinal);
    row(3, QStringLiteral("新表起数："), edtNewInitial);
    row(4, QStringLiteral("新表最大计数："), edtMaxBound);
    row(5, QStringLiteral("新表型号："), edtType);
    row(6, QStringLiteral("备    注："), edtNote);
    lblState = named<QLabel>(this, "lblState");
    lblState->setStyleSheet(QStringLiteral("color: #a04000"));

    BitBtn1 = named<QPushButton>(this, "BitBtn1");
    BitBtn1->setText(QStringLiteral("确定"));
    BitBtn2 = named<QPushButton>(this, "BitBtn2");
    BitBtn2->setText(QStringLiteral("取消"));
    BitBtn3 = named<QPushButton>(this, "BitBtn3");
    BitBtn3->setText(QStringLiteral("删除换表"));
    // Enter in a box moves on; only a button the operator has tabbed to takes it.
    for (QPushButton *b : { BitBtn1, BitBtn2, BitBtn3 }) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    buttons->addWidget(BitBtn3);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(lblState);
    layout->addLayout(buttons);

    setTabOrder(DTExchange, edtOldFinal);
    setTabOrder(edtOldFinal, edtNewInitial);
    setTabOrder(edtNewInitial, edtMaxBound);
    setTabOrder(edtMaxBound, edtType);
    setTabOrder(edtType, edtNote);
    setTabOrder(edtNote, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, BitBtn3);

    connect(BitBtn1, &QPushButton::clicked, this, &TfrmMeterExchange::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(BitBtn3, &QPushButton::clicked, this, &TfrmMeterExchange::BitBtn3Click);
    for (QWidget *box : { static_cast<QWidget *>(DTExchange), static_cast<QWidget *>(edtOldFinal),
                          static_cast<QWidget *>(edtNewInitial), static_cast<QWidget *>(edtMaxBound),
                          static_cast<QWidget *>(edtType), static_cast<QWidget *>(edtNote) })
        box->installEventFilter(this);
    EnterPressesFocusedButton(this);
    KeysOpenCalendar(DTExchange);

    Guarded(this, [&] {
        const QSqlDatabase db = Database::connection();
        QSqlQuery meter = execSql(db, QStringLiteral("Select MeterNO, MaxBound, Type from Meter where MeterNO = ?"),
                                  { meterNo });
        if (meter.next()) {
            m_meterNo = meter.value(0).toString();
            m_maxBound = meter.value(1).toLongLong();
            m_type = meter.value(2).toString();
        }
    });
    lblMeter->setText(m_meterNo);
    edtType->setPlaceholderText(m_type);
    DTExchange->setDate(QDate::currentDate());
    DTExchangeChange();
    connect(DTExchange, &QDateEdit::dateChanged, this, &TfrmMeterExchange::DTExchangeChange);
    edtOldFinal->setFocus();
}

void TfrmMeterExchange::showDefaults()
{
    m_correcting = false;
    for (QLineEdit *box : { edtOldFinal, edtNewInitial, edtType, edtNote })
        box->clear();
    // The new counter counts as far as the old one unless the operator says otherwise.
    edtMaxBound->setText(QString::number(m_maxBound));
    lblState->clear();
    BitBtn3->setEnabled(false);
}

void TfrmMeterExchange::DTExchangeChange()
{
    Guarded(this, [&] {
        ReadingStore store(*KelvaraMg);
        const QList<StoredExchange> all = store.exchanges(m_meterNo);
        // Only the meter's last exchange can be corrected or deleted.
        if (all.isEmpty() || all.constLast().ExchangeDate != DTExchange->date()) {
            if (m_correcting || edtMaxBound->text().isEmpty())
                showDefaults();
            return;
        }
        const StoredExchange &e = all.constLast();
        m_correcting = true;
        edtOldFinal->setText(QString::number(e.OldFinal));
        edtNewInitial->setText(QString::number(e.NewInitial));
        edtMaxBound->setText(QString::number(e.NewMaxBound));
        edtType->clear();
        edtNote->setText(e.Note);
        lblState->setText(QStringLiteral("这一天已换过表：确定将修改这次换表。"));
        BitBtn3->setEnabled(true);
    });
}

void TfrmMeterExchange::refuse(QLineEdit *box, const QString &text)
{
    KelvaraMg->ShowMessageText(text);
    box->setFocus();
    box->selectAll();
}

void TfrmMeterExchange::BitBtn1Click()
{
    const std::optional<qint64> oldFinal = number(edtOldFinal);
    const std::optional<qint64> newInitial = number(edtNewInitial);
    const std::optional<qint64> maxBound = number(edtMaxBound);
    if (!oldFinal || *oldFinal > std::numeric_limits<qint32>::max())
        return refuse(edtOldFinal, QStringLiteral("请输入旧表止数！"));
    if (!newInitial || *newInitial > std::numeric_limits<qint32>::max())
        return refuse(edtNewInitial, QStringLiteral("请输入新表起数！"));
    if (!maxBound)
        return refuse(edtMaxBound, QStringLiteral("请输入新表最大计数！"));

    ExchangeRequest request;
    request.MeterNO = m_meterNo;
    request.ExchangeDate = DTExchange->date();
    request.OldFinal = qint32(*oldFinal);
    request.NewInitial = qint32(*newInitial);
    request.NewMaxBound = *maxBound;
    if (!TrimBlanks(edtType->text()).isEmpty())
        request.Type = TrimBlanks(edtType->text());
    request.Note = TrimBlanks(edtNote->text());

    bool stored = false;
    ExchangeRequest::Part refused = ExchangeRequest::Part::OldFinal;
    Guarded(this, [&] {
        // A lower final value is asked about as a reading's is, with no transaction open.
        AskAfterRollback questions(*KelvaraMg);
        ReadingStore store(*KelvaraMg);
        for (;;) {
            {
                TKelvaraMg::HeldMessages held(*KelvaraMg);
                stored = store.storeExchange(request, m_correcting).has_value();
            }
            if (stored || !questions.hasQuestion() || !questions.ask(this))
                break;
        }
        if (!store.refusal().isEmpty())
            ShowMessageBox(this, store.refusal(), QStringLiteral("操作提示"), QMessageBox::Information);
        m_repriced = int(store.repriced().size());
        refused = store.refusedPart();
    });
    if (stored) {
        accept();
        return;
    }
    // The value the refusal is about is typed again.
    using Part = ExchangeRequest::Part;
    if (refused == Part::Date) {
        DTExchange->setFocus();
        DTExchange->selectAll();
        return;
    }
    QLineEdit *box = refused == Part::NewInitial ? edtNewInitial
        : refused == Part::NewMaxBound           ? edtMaxBound
        : refused == Part::Type                  ? edtType
        : refused == Part::Note                  ? edtNote
                                                 : edtOldFinal;
    box->setFocus();
    box->selectAll();
}

void TfrmMeterExchange::BitBtn3Click()
{
    if (!m_correcting)
        return;
    if (ShowMessageBox(this, QStringLiteral("你真的要删除这次换表记录吗？"), QStringLiteral("操作提示"),
                       QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes)
        return;
    bool removed = false;
    Guarded(this, [&] {
        ReadingStore store(*KelvaraMg);
        TKelvaraMg::HeldMessages held(*KelvaraMg);
        removed = store.eraseExchange(m_meterNo, DTExchange->date());
    });
    if (removed)
        accept();
}

bool TfrmMeterExchange::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && isEnter(static_cast<QKeyEvent *>(event))) {
        // Enter moves on from box to box; after the note it stores the exchange.
        if (watched == edtNote)
            BitBtn1Click();
        else
            focusNextChild();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
