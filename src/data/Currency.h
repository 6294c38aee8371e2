// Currency.h: money as a signed 64-bit count of ten-thousandths of a yuan, never a double.
#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <optional>

class Currency
{
public:
    static constexpr qint64 Scale = 10000;

    constexpr Currency() = default;
    static constexpr Currency fromUnits(qint64 tenThousandths) { return Currency(tenThousandths); }
    static constexpr Currency fromYuan(qint64 yuan) { return Currency(yuan * Scale); }

    constexpr qint64 units() const { return m_units; }
    constexpr bool isZero() const { return m_units == 0; }

    // Exact decimal text ("27.5", "-0.0001", "1,234.50"): at most four decimals, no exponent.
    static std::optional<Currency> parse(QStringView text);

    // Fixed decimals; fewer than four rounds half away from zero (display only).
    QString toString(int decimals = 4) const;
    // The amount toString(decimals) shows, or nothing when rounding leaves the 64-bit range.
    std::optional<Currency> rounded(int decimals) const;

    // quantity × price, or nothing when the product leaves the 64-bit range.
    static std::optional<Currency> multiply(qint64 quantity, Currency price);
    static std::optional<Currency> add(Currency a, Currency b);

    friend constexpr bool operator==(Currency a, Currency b) { return a.m_units == b.m_units; }
    friend constexpr bool operator!=(Currency a, Currency b) { return a.m_units != b.m_units; }
    friend constexpr bool operator<(Currency a, Currency b) { return a.m_units < b.m_units; }
    friend constexpr bool operator<=(Currency a, Currency b) { return a.m_units <= b.m_units; }
    friend constexpr bool operator>(Currency a, Currency b) { return a.m_units > b.m_units; }
    friend constexpr bool operator>=(Currency a, Currency b) { return a.m_units >= b.m_units; }

private:
    constexpr explicit Currency(qint64 units) : m_units(units) {}
    qint64 m_units = 0;
};
