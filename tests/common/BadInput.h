// BadInput.h: hostile texts an operator may type or paste, the keystrokes that enter them, and
// the schema text that must come out of every such entry unchanged.
#pragma once

#include <QSqlDatabase>
#include <QString>

class QLineEdit;

namespace BadInput {

inline const QString dropTable = QStringLiteral("x'; DROP TABLE Workshop;--");
inline const QString orTrue = QStringLiteral("' OR '1'='1");
inline const QString quotes = QStringLiteral("\"双引号\"; 'O''Neil'");
inline const QString wildcards = QStringLiteral("%_%");
inline const QString emoji = QStringLiteral("水表💧⚡🏭");   // two characters outside the BMP

// count characters taken in turn from pattern; a non-BMP character counts as one.
QString repeated(const QString &pattern, int count);

// Replaces the box's text as the operator does: short texts key by key (one key event per
// character, a non-BMP character as one event), long ones pasted with Ctrl+V.
void enter(QLineEdit *box, const QString &text);

// Every CREATE statement of the database, in a stable order.
QString schemaOf(const QSqlDatabase &db);

}
