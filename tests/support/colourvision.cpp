// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/colourvision.h"

#include <algorithm>
#include <cmath>

namespace colourvision {

namespace {

double linear(int c)
{
    const double s = c / 255.0;
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
}

int encoded(double v)
{
    v = std::clamp(v, 0.0, 1.0);
    const double s = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
    return int(std::lround(s * 255));
}

double deg(double r) { return r * 180.0 / M_PI; }
double rad(double d) { return d * M_PI / 180.0; }

} // namespace

const char* visionName(Vision v)
{
    static const char* const names[] = {"normal", "protanopia", "deuteranopia"};
    return names[v];
}

Rgb linearOf(QRgb c)
{
    return {linear(qRed(c)), linear(qGreen(c)), linear(qBlue(c))};
}

QRgb rgbOf(const Rgb& c)
{
    return qRgb(encoded(c[0]), encoded(c[1]), encoded(c[2]));
}

Rgb simulate(const Rgb& c, Vision v)
{
    static const double m[3][3][3] = {
        {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {{0.152286, 1.052583, -0.204868}, {0.114503, 0.786281, 0.099216}, {-0.003882, -0.048116, 1.051998}},
        {{0.367322, 0.860646, -0.227968}, {0.280085, 0.672501, 0.047413}, {-0.011820, 0.042940, 0.968881}},
    };
    Rgb out{};
    for (int i = 0; i < 3; ++i)
        out[i] = std::clamp(m[v][i][0] * c[0] + m[v][i][1] * c[1] + m[v][i][2] * c[2], 0.0, 1.0);
    return out;
}

Lab labOf(const Rgb& c)
{
    const double x = (0.4124 * c[0] + 0.3576 * c[1] + 0.1805 * c[2]) / 0.95047;
    const double y = 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2];
    const double z = (0.0193 * c[0] + 0.1192 * c[1] + 0.9505 * c[2]) / 1.08883;
    auto f = [](double t) { return t > 216.0 / 24389 ? std::cbrt(t) : (24389.0 / 27 * t + 16) / 116; };
    return {116 * f(y) - 16, 500 * (f(x) - f(y)), 200 * (f(y) - f(z))};
}

double chroma(const Lab& c)
{
    return std::hypot(c.a, c.b);
}

double deltaE76(const Lab& p, const Lab& q)
{
    return std::hypot(p.L - q.L, p.a - q.a, p.b - q.b);
}

double deltaE2000(const Lab& p, const Lab& q)
{
    const double c1 = std::hypot(p.a, p.b), c2 = std::hypot(q.a, q.b);
    const double cBar7 = std::pow((c1 + c2) / 2, 7);
    const double g = 0.5 * (1 - std::sqrt(cBar7 / (cBar7 + std::pow(25.0, 7))));
    const double a1 = (1 + g) * p.a, a2 = (1 + g) * q.a;
    const double cp1 = std::hypot(a1, p.b), cp2 = std::hypot(a2, q.b);
    auto hue = [](double b, double a) {
        const double h = deg(std::atan2(b, a));
        return h < 0 ? h + 360 : h;
    };
    const double h1 = hue(p.b, a1), h2 = hue(q.b, a2);
    double dh = 0;
    if (cp1 * cp2 != 0) {
        dh = h2 - h1;
        if (dh > 180)
            dh -= 360;
        else if (dh < -180)
            dh += 360;
    }
    const double dL = q.L - p.L, dC = cp2 - cp1;
    const double dH = 2 * std::sqrt(cp1 * cp2) * std::sin(rad(dh / 2));
    const double lBar = (p.L + q.L) / 2, cpBar = (cp1 + cp2) / 2;
    double hBar = h1 + h2;
    if (cp1 * cp2 != 0) {
        hBar = (h1 + h2) / 2;
        if (std::abs(h1 - h2) > 180)
            hBar += h1 + h2 < 360 ? 180 : -180;
    }
    const double t = 1 - 0.17 * std::cos(rad(hBar - 30)) + 0.24 * std::cos(rad(2 * hBar))
        + 0.32 * std::cos(rad(3 * hBar + 6)) - 0.20 * std::cos(rad(4 * hBar - 63));
    const double dTheta = 30 * std::exp(-std::pow((hBar - 275) / 25, 2));
    const double cpBar7 = std::pow(cpBar, 7);
    const double rc = 2 * std::sqrt(cpBar7 / (cpBar7 + std::pow(25.0, 7)));
    const double sl = 1 + 0.015 * std::pow(lBar - 50, 2) / std::sqrt(20 + std::pow(lBar - 50, 2));
    const double sc = 1 + 0.045 * cpBar, sh = 1 + 0.015 * cpBar * t;
    const double rt = -std::sin(rad(2 * dTheta)) * rc;
    return std::sqrt(std::pow(dL / sl, 2) + std::pow(dC / sc, 2) + std::pow(dH / sh, 2) + rt * (dC / sc) * (dH / sh));
}

QImage simulated(const QImage& picture, Vision v)
{
    QImage out = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb c = line[x];
            const QRgb s = rgbOf(simulate(linearOf(c), v));
            line[x] = qRgba(qRed(s), qGreen(s), qBlue(s), qAlpha(c));
        }
    }
    return out;
}

} // namespace colourvision
