#include "BadInput.h"

#include "Database.h"
#include "Engine.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QtTest>

namespace BadInput {

QString repeated(const QString &pattern, int count)
{
    const QList<uint> points = pattern.toUcs4();
    QString out;
    for (int i = 0; i < count; ++i) {
        const char32_t c = points.at(i % points.size());
        out += QString::fromUcs4(&c, 1);
    }
    return out;
}

void enter(QLineEdit *box, const QString &text)
{
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    if (text.size() > 200) {
        QApplication::clipboard()->setText(text);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        return;
    }
    for (const uint point : text.toUcs4()) {
        const char32_t c = point;
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString::fromUcs4(&c, 1), Qt::NoModifier);
    }
}

QString schemaOf(const QSqlDatabase &db)
{
    if (!Engine::of(db).isFile())
        return scalar(db, QStringLiteral(
                              "SELECT string_agg(d, ';' ORDER BY d) FROM ("
                              "SELECT table_name || '.' || column_name || ' ' || data_type AS d "
                              "FROM information_schema.columns WHERE table_schema = current_schema() "
                              "UNION ALL SELECT indexdef FROM pg_indexes WHERE schemaname = current_schema()) s"))
            .toString();
    return scalar(db, QStringLiteral("SELECT group_concat(sql, ';') FROM (SELECT sql FROM sqlite_schema "
                                     "WHERE sql IS NOT NULL ORDER BY type, name)"))
        .toString();
}

}
