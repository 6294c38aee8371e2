#include "FieldText.h"

#include "Currency.h"

#include <QDateTime>
#include <QLocale>

namespace FieldText {

QString dateFormat()
{
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

QString display(FieldKind kind, const QVariant &value, int decimals)
{
    if (value.isNull())
        return {};
    switch (kind) {
    case FieldKind::Currency:
        return Currency::fromUnits(value.toLongLong()).toString(decimals);
    case FieldKind::Integer:
        return QString::number(value.toLongLong());
    case FieldKind::Date:
        return QLocale().toString(value.toDate(), QLocale::ShortFormat);
    case FieldKind::DateTime: {
        const QDateTime dt = value.toDateTime();
        const QString date = QLocale().toString(dt.date(), QLocale::ShortFormat);
        if (dt.time() == QTime(0, 0))
            return date;
        return date + u' ' + QLocale().toString(dt.time(), QLocale::ShortFormat);
    }
    case FieldKind::Text:
    case FieldKind::Unknown:
        break;
    }
    return value.toString();
}

QString edit(FieldKind kind, const QVariant &value)
{
    if (value.isNull())
        return {};
    switch (kind) {
    case FieldKind::Currency: {
        QString text = Currency::fromUnits(value.toLongLong()).toString(4);
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
        return text;
    }
    case FieldKind::Date:
        return QLocale().toString(value.toDate(), dateFormat());
    case FieldKind::DateTime: {
        const QDateTime dt = value.toDateTime();
        if (dt.time() == QTime(0, 0))
            return QLocale().toString(dt.date(), dateFormat());
        return QLocale().toString(dt, dateFormat() + QStringLiteral(" HH:mm:ss"));
    }
    default:
        return display(kind, value);
    }
}

QVariant parse(FieldKind kind, const QString &text)
{
    const QString trimmed = text.trimmed();
    switch (kind) {
    case FieldKind::Currency: {
        const QString point = QLocale().decimalPoint();
        if (point != QLatin1String("."))
            return QString(trimmed).replace(point, QLatin1String("."));
        return trimmed;
    }
    case FieldKind::Date:
    case FieldKind::DateTime: {
        const QDate date = QLocale().toDate(trimmed, dateFormat());
        if (date.isValid())
            return kind == FieldKind::Date ? QVariant(date) : QVariant(QDateTime(date, QTime(0, 0)));
        const QDateTime dt = QLocale().toDateTime(trimmed, dateFormat() + QStringLiteral(" HH:mm:ss"));
        if (dt.isValid())
            return kind == FieldKind::Date ? QVariant(dt.date()) : QVariant(dt);
        return text;
    }
    default:
        return text;
    }
}

}
