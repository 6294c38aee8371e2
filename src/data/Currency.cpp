#include "Currency.h"

#include <limits>

std::optional<Currency> Currency::parse(QStringView text)
{
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool negative = false;
    qsizetype i = 0;
    if (text[0] == u'-' || text[0] == u'+') {
        negative = text[0] == u'-';
        ++i;
    }
    // Accumulate as a negative number so that the most negative value parses too.
    constexpr qint64 minValue = std::numeric_limits<qint64>::min();
    qint64 acc = 0;
    int digits = 0;
    int decimals = -1;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'.') {
            if (decimals >= 0)
                return std::nullopt;
            decimals = 0;
            continue;
        }
        if (c == u',' && decimals < 0 && digits > 0)
            continue;   // thousands separator in the integer part
        if (c < u'0' || c > u'9')
            return std::nullopt;
        if (decimals >= 0 && ++decimals > 4)
            return std::nullopt;
        const int d = c.unicode() - u'0';
        if (acc < (minValue + d) / 10)
            return std::nullopt;
        acc = acc * 10 - d;
        ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    for (int k = decimals < 0 ? 0 : decimals; k < 4; ++k) {
        if (acc < minValue / 10)
            return std::nullopt;
        acc *= 10;
    }
    if (!negative) {
        if (acc == minValue)
            return std::nullopt;
        acc = -acc;
    }
    return Currency(acc);
}

QString Currency::toString(int decimals) const
{
    decimals = qBound(0, decimals, 4);
    // Work on the magnitude as unsigned so that the minimum value is safe.
    const bool negative = m_units < 0;
    quint64 magnitude = negative ? quint64(0) - quint64(m_units) : quint64(m_units);
    quint64 divisor = 1;
    for (int k = decimals; k < 4; ++k)
        divisor *= 10;
    if (divisor > 1)
        magnitude = magnitude / divisor + ((magnitude % divisor) * 2 >= divisor ? 1 : 0);
    quint64 scale = 1;
    for (int k = 0; k < decimals; ++k)
        scale *= 10;
    QString text = QString::number(magnitude / scale);
    if (decimals > 0)
        text += u'.' + QStringLiteral("%1").arg(magnitude % scale, decimals, 10, QLatin1Char('0'));
    if (negative && magnitude != 0)
        text.prepend(u'-');
    return text;
}

std::optional<Currency> Currency::rounded(int decimals) const
{
    decimals = qBound(0, decimals, 4);
    qint64 divisor = 1;
    for (int k = decimals; k < 4; ++k)
        divisor *= 10;
    // Half away from zero, as toString() shows it.
    const qint64 rest = m_units % divisor;
    qint64 result = m_units - rest;
    if (2 * (rest < 0 ? -rest : rest) >= divisor
        && __builtin_add_overflow(result, rest < 0 ? -divisor : divisor, &result))
        return std::nullopt;
    return Currency(result);
}

std::optional<Currency> Currency::multiply(qint64 quantity, Currency price)
{
    qint64 product = 0;
    if (__builtin_mul_overflow(quantity, price.m_units, &product))
        return std::nullopt;
    return Currency(product);
}

std::optional<Currency> Currency::add(Currency a, Currency b)
{
    qint64 sum = 0;
    if (__builtin_add_overflow(a.m_units, b.m_units, &sum))
        return std::nullopt;
    return Currency(sum);
}
