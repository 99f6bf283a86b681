// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How a picture looks to eyes with protanopia or deuteranopia, and how far
// apart two colours are: the Machado-Oliveira-Fernandes (2009) simulation at
// severity 1.0, applied in linear RGB, and CIELAB differences (D65).

#include <QImage>

#include <array>

namespace colourvision {

using Rgb = std::array<double, 3>; // linear RGB, 0..1

struct Lab {
    double L, a, b;
};

enum Vision { Normal, Protanopia, Deuteranopia };
const char* visionName(Vision v);

Rgb linearOf(QRgb c);
QRgb rgbOf(const Rgb& linear);
Rgb simulate(const Rgb& c, Vision v);
Lab labOf(const Rgb& linear);
double chroma(const Lab& c);

double deltaE76(const Lab& p, const Lab& q);
double deltaE2000(const Lab& p, const Lab& q);

// The picture as the given eyes see it (alpha kept).
QImage simulated(const QImage& picture, Vision v);

} // namespace colourvision
