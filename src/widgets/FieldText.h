// FieldText.h: how field values read as text, shared by the grid and the bound controls.
#pragma once

#include "Schema.h"

#include <QString>
#include <QVariant>

namespace FieldText {

// Decimals of a currency value when a column or control does not choose.
constexpr int DefaultDecimals = 2;

// What the operator reads: amounts with `decimals` places rounded half away from zero,
// dates in the locale's short form, integers plain, null as empty.
QString display(FieldKind kind, const QVariant &value, int decimals = DefaultDecimals);

// What the operator edits: amounts exactly (trailing zeros dropped, no rounding), dates in the
// locale's short form with a four-digit year, everything else as display().
QString edit(FieldKind kind, const QVariant &value);

// The locale's short date format, widened to a four-digit year so that text reads back exactly.
QString dateFormat();

// Reads edited text back for setValue: dates by dateFormat() as well as ISO, the locale's decimal
// point in amounts; other text is passed on for DataSet's own conversion.
QVariant parse(FieldKind kind, const QString &text);

}
