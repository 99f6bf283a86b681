// SPDX-License-Identifier: GPL-3.0-or-later
// The detector on a small part of the held-out set: instruments of a
// soundfont its fixtures never use. tonvero_heldout measures all of it;
// this keeps what it measured from slipping back.
#include "support/heldoutset.h"

#include <QTest>

namespace ho = testsupport::heldout;

namespace {

constexpr int kRate = testsupport::SynthRenderer::sampleRate();
constexpr int kNotesPerTake = 6;

// Over the whole subset, as measured with Csound's General MIDI bank (96 %
// right, no extra reports, no octave errors), less one note's room. Raise
// these as the detector gets better, never lower them.
constexpr double kMinRightShare = 0.95;
constexpr double kMaxExtraShare = 0.01;
constexpr double kMaxOctaveShare = 0.01;
// Easy and hard instruments alike, in the conditions that cost the most.
const char* const kSubset[] = {"cello", "voice oohs", "oboe", "piano"};
const ho::Condition kConditions[] = {ho::Condition::Clean, ho::Condition::White10, ho::Condition::FourASecond,
                                     ho::Condition::Legato};

const ho::Instrument* instrument(const char* name)
{
    for (const ho::Instrument& in : ho::instruments())
        if (qstrcmp(in.name, name) == 0)
            return &in;
    return nullptr;
}

} // namespace

class TestHeldOut : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testsupport::SynthRenderer> m_synth;
    ho::Score m_total;

private slots:
    void initTestCase()
    {
        const std::string font = ho::soundFont();
        if (font.empty())
            QSKIP("the held-out soundfont is not installed (csound-soundfont)");
        m_synth = std::make_unique<testsupport::SynthRenderer>(font);
        QVERIFY2(m_synth->isLoaded(), font.c_str());
    }

    void take_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("condition");
        for (const char* name : kSubset)
            for (ho::Condition c : kConditions)
                QTest::addRow("%s, %s", name, ho::conditionName(c)) << QString::fromLatin1(name) << int(c);
    }
    void take()
    {
        QFETCH(QString, name);
        QFETCH(int, condition);
        const ho::Instrument* in = instrument(qPrintable(name));
        QVERIFY(in);
        const ho::Take t = ho::render(*m_synth, *in, ho::Condition(condition), kNotesPerTake);
        const ho::Score s = ho::score(t.notes, ho::detectorNotes(t.samples, kRate), kRate);
        qInfo("%d notes: %d right, %d extra, %d octave", s.notes, s.right, s.extra, s.octave);
        m_total.add(s);
    }

    void overall()
    {
        QVERIFY(m_total.notes > 0);
        const double n = m_total.notes;
        qInfo("%d notes: right %.3f, extra %.3f, octave %.3f", m_total.notes, m_total.right / n,
              m_total.extra / n, m_total.octave / n);
        QVERIFY(m_total.right >= kMinRightShare * n);
        QVERIFY(m_total.extra <= kMaxExtraShare * n);
        QVERIFY(m_total.octave <= kMaxOctaveShare * n);
    }
};

QTEST_GUILESS_MAIN(TestHeldOut)
#include "tst_heldout.moc"
