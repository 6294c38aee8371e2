#include "DBDateEdit.h"

#include "CalendarKeys.h"
#include "FieldText.h"
#include "Guarded.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QKeyEvent>
#include <QScopedValueRollback>

namespace {

// The date below the range stands for "no date" and shows as a blank.
const QDate NullDate(1899, 12, 31);

}

TDBDateEdit::TDBDateEdit(QWidget *parent) : QDateEdit(parent)
{
    m_link = new FieldLink(this);
    setCalendarPopup(true);
    KeysOpenCalendar(this);
    setDisplayFormat(FieldText::dateFormat());
    setDateRange(NullDate, QDate(9999, 12, 31));
    setSpecialValueText(QStringLiteral(" "));
    calendarWidget()->installEventFilter(this);
    connect(m_link, &FieldLink::valueChanged, this, &TDBDateEdit::showValue);
    connect(this, &QDateEdit::dateChanged, this, &TDBDateEdit::onDateChanged);
    showValue();
}

void TDBDateEdit::setDataSet(DataSet *dataSet)
{
    m_link->setDataSet(dataSet);
}

void TDBDateEdit::setDataField(const QString &field)
{
    m_link->setField(field);
}

QDate TDBDateEdit::shownDate() const
{
    return isNull() ? QDate() : date();
}

void TDBDateEdit::showValue()
{
    QScopedValueRollback<bool> loading(m_loading, true);
    const QVariant value = m_link->value();
    QDate d;
    if (value.metaType().id() == QMetaType::QDateTime)
        d = value.toDateTime().date();
    else if (!value.isNull())
        d = value.toDate();
    setDate(d.isValid() ? d : NullDate);
}

void TDBDateEdit::onDateChanged(const QDate &date)
{
    if (m_loading)
        return;
    writeDate(date == NullDate ? QDate() : date);
}

void TDBDateEdit::writeDate(const QDate &date)
{
    DataSet *ds = m_link->dataSet();
    bool editing = ds && ds->isEditing();
    if (!editing)
        Guarded(this, [&] { editing = m_link->beginEdit(); });
    if (!editing) {
        QApplication::beep();
        showValue();
        return;
    }
    const bool written = Guarded(this, [&] {
        if (!date.isValid()) {
            m_link->write(QVariant());
        } else if (m_link->field().kind == FieldKind::DateTime) {
            const QVariant old = m_link->value();
            const QTime time = old.isNull() ? QTime(0, 0) : old.toDateTime().time();
            m_link->write(QDateTime(date, time));
        } else {
            m_link->write(date);
        }
    });
    // The link shows a changed value by itself; an unchanged or refused one is shown here.
    if (!written || shownDate() != date)
        showValue();
}

void TDBDateEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier) {
        if (!isReadOnly())
            writeDate(QDate());
        event->accept();
        return;
    }
    QDateEdit::keyPressEvent(event);
}

bool TDBDateEdit::eventFilter(QObject *watched, QEvent *event)
{
    // The calendar of a blank box opens on today's month, not on the sentinel date's.
    if (watched == calendarWidget() && event->type() == QEvent::Show && isNull()) {
        const QDate today = QDate::currentDate();
        calendarWidget()->setCurrentPage(today.year(), today.month());
    }
    return QDateEdit::eventFilter(watched, event);
}
