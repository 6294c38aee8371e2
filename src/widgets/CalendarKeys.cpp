#include "CalendarKeys.h"

#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionComboBox>

namespace {

class OpenCalendar : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool opens = (key->key() == Qt::Key_F4 && key->modifiers() == Qt::NoModifier)
            || (key->key() == Qt::Key_Down && key->modifiers() == Qt::AltModifier);
        auto *edit = qobject_cast<QDateTimeEdit *>(watched);
        if (!opens || !edit || !edit->calendarPopup() || edit->isReadOnly())
            return false;
        // The edit has no call that opens the calendar: press its arrow as the mouse would.
        QStyleOptionComboBox option;
        option.initFrom(edit);
        option.editable = true;
        option.subControls = QStyle::SC_All;
        const QPoint arrow =
            edit->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, edit).center();
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(arrow), QPointF(edit->mapToGlobal(arrow)), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(edit, &press);
        return true;
    }
};

}

void KeysOpenCalendar(QDateTimeEdit *edit)
{
    edit->installEventFilter(new OpenCalendar(edit));
}
