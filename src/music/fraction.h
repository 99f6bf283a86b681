// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <numeric>

namespace tonvero::music {

// A length of time as an exact fraction of a whole note; always reduced, the
// denominator positive, so equal lengths compare equal member by member.
struct Fraction {
    int num = 0;
    int den = 1;

    constexpr Fraction() = default;
    constexpr Fraction(int n, int d = 1) : num(n), den(d) { reduce(); }

    constexpr double toDouble() const { return static_cast<double>(num) / den; }

    friend constexpr Fraction operator+(Fraction a, Fraction b)
    {
        return {a.num * b.den + b.num * a.den, a.den * b.den};
    }
    friend constexpr Fraction operator-(Fraction a, Fraction b)
    {
        return {a.num * b.den - b.num * a.den, a.den * b.den};
    }
    friend constexpr Fraction operator*(Fraction a, int k) { return {a.num * k, a.den}; }
    friend constexpr Fraction operator/(Fraction a, int k) { return {a.num, a.den * k}; }
    Fraction& operator+=(Fraction b) { return *this = *this + b; }
    Fraction& operator-=(Fraction b) { return *this = *this - b; }

    // Spelled out rather than <=>: moc cannot read <compare>.
    friend constexpr bool operator==(Fraction a, Fraction b) { return a.num == b.num && a.den == b.den; }
    friend constexpr bool operator!=(Fraction a, Fraction b) { return !(a == b); }
    friend constexpr bool operator<(Fraction a, Fraction b) { return a.num * b.den < b.num * a.den; }
    friend constexpr bool operator>(Fraction a, Fraction b) { return b < a; }
    friend constexpr bool operator<=(Fraction a, Fraction b) { return !(b < a); }
    friend constexpr bool operator>=(Fraction a, Fraction b) { return !(a < b); }

private:
    constexpr void reduce()
    {
        if (den == 0) { // a broken length reads as nothing rather than dividing by zero
            num = 0;
            den = 1;
            return;
        }
        if (den < 0) {
            num = -num;
            den = -den;
        }
        const int g = std::gcd(num, den);
        if (g > 1) {
            num /= g;
            den /= g;
        }
    }
};

} // namespace tonvero::music
