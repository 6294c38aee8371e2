// CalendarKeys.h: F4 or Alt+Down opens a date edit's drop-down calendar from the keyboard.
#pragma once

class QDateTimeEdit;

// Qt opens the calendar of a date edit only by its arrow; this gives the edit the keys of a
// drop-down list as well.
void KeysOpenCalendar(QDateTimeEdit *edit);
