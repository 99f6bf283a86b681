// SPDX-License-Identifier: GPL-3.0-or-later
#include "music/key.h"

#include <QCoreApplication>

namespace tonvero::music {

namespace {

constexpr Step SharpOrder[7] = {Step::F, Step::C, Step::G, Step::D, Step::A, Step::E, Step::B};
constexpr Step FlatOrder[7] = {Step::B, Step::E, Step::A, Step::D, Step::G, Step::C, Step::F};

int positiveMod(int a, int b)
{
    const int m = a % b;
    return m < 0 ? m + b : m;
}

} // namespace

int Key::alterFor(Step step) const
{
    const Step* order = m_fifths >= 0 ? SharpOrder : FlatOrder;
    for (int i = 0; i < accidentalCount(); ++i)
        if (order[i] == step)
            return m_fifths > 0 ? 1 : -1;
    return 0;
}

Pitch Key::tonic(int octave) const
{
    // Each fifth up moves the major tonic four letters on; the minor's is a sixth above it.
    int s = positiveMod(4 * m_fifths, 7);
    if (m_mode == Mode::Minor)
        s = positiveMod(s + 5, 7);
    const Step step = static_cast<Step>(s);
    return Pitch{step, alterFor(step), octave};
}

std::vector<Step> Key::signatureSteps() const
{
    const Step* order = m_fifths >= 0 ? SharpOrder : FlatOrder;
    return std::vector<Step>(order, order + accidentalCount());
}

std::array<Pitch, 7> Key::scale() const
{
    const Pitch t = tonic(4);
    std::array<Pitch, 7> degrees;
    for (int d = 0; d < 7; ++d) {
        Pitch p = Pitch::fromDiatonic(t.diatonicIndex() + d, 0);
        p.alter = alterFor(p.step);
        degrees[d] = p;
    }
    return degrees;
}

int Key::degreeOf(Step step) const
{
    return positiveMod(static_cast<int>(step) - static_cast<int>(tonic().step), 7);
}

bool Key::inScale(int midi) const
{
    const int pitchClass = positiveMod(midi, 12);
    for (const Pitch& p : scale())
        if (positiveMod(p.midi(), 12) == pitchClass)
            return true;
    return false;
}

QString Key::displayName() const
{
    static const char* const Names[7][3] = {
        {QT_TRANSLATE_NOOP("tonvero::music::Key", "до-бемоль"), QT_TRANSLATE_NOOP("tonvero::music::Key", "до"),
         QT_TRANSLATE_NOOP("tonvero::music::Key", "до-диез")},
        {QT_TRANSLATE_NOOP("tonvero::music::Key", "ре-бемоль"), QT_TRANSLATE_NOOP("tonvero::music::Key", "ре"),
         QT_TRANSLATE_NOOP("tonvero::music::Key", "ре-диез")},
        {QT_TRANSLATE_NOOP("tonvero::music::Key", "ми-бемоль"), QT_TRANSLATE_NOOP("tonvero::music::Key", "ми"),
         QT_TRANSLATE_NOOP("tonvero::music::Key", "ми-диез")},
        {QT_TRANSLATE_NOOP("tonvero::music::Key", "фа-бемоль"), QT_TRANSLATE_NOOP("tonvero::music::Key", "фа"),
         QT_TRANSLATE_NOOP("tonvero::music::Key", "фа-диез")},
        {QT_TRANSLATE_NOOP("tonvero::music::Key", "соль-бемоль"), QT_TRANSLATE_NOOP("tonvero::music::Key", "соль"),
         QT_TRANSLATE_NOOP("tonvero::music::Key", "соль-диез")},
        {QT_TRANSLATE_NOOP("tonvero::music::Key", "ля-бемоль"), QT_TRANSLATE_NOOP("tonvero::music::Key", "ля"),
         QT_TRANSLATE_NOOP("tonvero::music::Key", "ля-диез")},
        {QT_TRANSLATE_NOOP("tonvero::music::Key", "си-бемоль"), QT_TRANSLATE_NOOP("tonvero::music::Key", "си"),
         QT_TRANSLATE_NOOP("tonvero::music::Key", "си-диез")},
    };
    const Pitch t = tonic();
    const QString name = QCoreApplication::translate("tonvero::music::Key",
                                                     Names[static_cast<int>(t.step)][t.alter + 1]);
    return m_mode == Mode::Major
        ? QCoreApplication::translate("tonvero::music::Key", "%1 мажор").arg(name)
        : QCoreApplication::translate("tonvero::music::Key", "%1 минор").arg(name);
}

} // namespace tonvero::music
