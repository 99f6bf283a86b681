// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/synth/midi_synth.h"
#include "platform/synth/sf2file.h"
#include "support/synthrender.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <filesystem>
#include <memory>

using mmsys::synth::Sf2File;
using mmsys::synth::Sf2Image;

namespace {

constexpr quint16 kGenPan = 17;
constexpr quint16 kGenInstrument = 41;
constexpr quint16 kGenKeyRange = 43;
constexpr quint16 kGenVelocityRange = 44;
constexpr quint16 kGenSampleModes = 54;
constexpr quint16 kGenSampleId = 53;
constexpr int kGuard = int(Sf2File::kGuardPoints);
// What the terminal preset record of the test files claims to be.
constexpr quint16 kTerminalProgram = 7;

struct Gen {
    quint16 op;
    quint16 amount;
};

struct Zone {
    QList<Gen> gens;
    int mods = 0; // modulators, each made distinct by its position
};

struct Header {
    QByteArray name;
    int bank = 0;
    int program = 0;
    QList<Zone> zones;
};

struct SampleDef {
    QByteArray name;
    QList<qint16> points;
    quint32 loopStart = 0;
    quint32 loopEnd = 0;
    quint16 type = 1;
    quint16 link = 0;
    quint32 rate = 44100;
    qint8 correction = 0;
};

void put16(QByteArray& b, quint32 v)
{
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}

void put32(QByteArray& b, quint32 v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

quint16 get16(const QByteArray& b, qsizetype at)
{
    return quint16(quint8(b[at]) | quint8(b[at + 1]) << 8);
}

quint32 get32(const QByteArray& b, qsizetype at)
{
    return get16(b, at) | quint32(get16(b, at + 2)) << 16;
}

QByteArray name20(const QByteArray& name)
{
    QByteArray n = name.left(20);
    n.resize(20, '\0');
    return n;
}

QByteArray chunk(const char* id, const QByteArray& data)
{
    QByteArray c(id, 4);
    put32(c, quint32(data.size()));
    c += data;
    if (data.size() % 2)
        c.append('\0');
    return c;
}

QByteArray list(const char* type, const QByteArray& chunks)
{
    return chunk("LIST", QByteArray(type, 4) + chunks);
}

// A small SoundFont 2 written field by field, with knobs to damage it.
struct Sf2Builder {
    QList<Header> presets;
    QList<Header> instruments;
    QList<SampleDef> samples;
    quint16 version = 2;
    bool withSamples = true;
    bool withPresets = true;
    bool withSm24 = false;
    int phdrExtraBytes = 0;

    QByteArray build() const
    {
        QByteArray ifil;
        put16(ifil, version);
        put16(ifil, 1);
        const QByteArray info = chunk("ifil", ifil) + chunk("isng", "EMU8000") + chunk("INAM", "Test");
        QByteArray smpl, shdr;
        for (const SampleDef& s : samples) {
            const quint32 start = quint32(smpl.size() / 2);
            for (qint16 p : s.points)
                put16(smpl, quint16(p));
            for (int i = 0; i < kGuard; ++i)
                put16(smpl, 0);
            shdr += name20(s.name);
            put32(shdr, start);
            put32(shdr, start + quint32(s.points.size()));
            put32(shdr, start + s.loopStart);
            put32(shdr, start + s.loopEnd);
            put32(shdr, s.rate);
            shdr.append(char(60));
            shdr.append(char(s.correction));
            put16(shdr, s.link);
            put16(shdr, s.type);
        }
        shdr += QByteArray(46, '\0').replace(0, 3, "EOS");
        QByteArray sdta = chunk("smpl", smpl);
        if (withSm24)
            sdta += chunk("sm24", QByteArray(smpl.size() / 2, '\0'));

        auto level = [](const QList<Header>& headers, bool preset, QByteArray& hdr, QByteArray& bag, QByteArray& mod,
                        QByteArray& gen) {
            int bags = 0, gens = 0, mods = 0;
            for (const Header& h : headers) {
                hdr += name20(h.name);
                if (preset) {
                    put16(hdr, quint32(h.program));
                    put16(hdr, quint32(h.bank));
                }
                put16(hdr, quint32(bags));
                if (preset)
                    hdr += QByteArray(12, '\0');
                for (const Zone& z : h.zones) {
                    put16(bag, quint32(gens));
                    put16(bag, quint32(mods));
                    for (const Gen& g : z.gens) {
                        put16(gen, g.op);
                        put16(gen, g.amount);
                    }
                    for (int m = 0; m < z.mods; ++m) {
                        put16(mod, quint32(2 + mods)); // source: distinct per modulator
                        put16(mod, 48);               // destination: attenuation
                        put16(mod, quint32(100 + mods));
                        put16(mod, 0);
                        put16(mod, 0);
                        ++mods;
                    }
                    gens += int(z.gens.size());
                    ++bags;
                }
            }
            hdr += name20(preset ? "EOP" : "EOI");
            if (preset) {
                put16(hdr, kTerminalProgram);
                put16(hdr, 0);
            }
            put16(hdr, quint32(bags));
            if (preset)
                hdr += QByteArray(12, '\0');
            put16(bag, quint32(gens));
            put16(bag, quint32(mods));
            mod += QByteArray(10, '\0');
            gen += QByteArray(4, '\0');
        };
        QByteArray phdr, pbag, pmod, pgen, inst, ibag, imod, igen;
        level(presets, true, phdr, pbag, pmod, pgen);
        level(instruments, false, inst, ibag, imod, igen);
        phdr += QByteArray(phdrExtraBytes, '\0');
        const QByteArray pdta = chunk("phdr", phdr) + chunk("pbag", pbag) + chunk("pmod", pmod) + chunk("pgen", pgen)
                                + chunk("inst", inst) + chunk("ibag", ibag) + chunk("imod", imod)
                                + chunk("igen", igen) + chunk("shdr", shdr);
        QByteArray body = QByteArray("sfbk") + list("INFO", info);
        if (withSamples)
            body += list("sdta", sdta);
        if (withPresets)
            body += list("pdta", pdta);
        return chunk("RIFF", body);
    }
};

QList<qint16> ramp(int count, int from)
{
    QList<qint16> p;
    for (int i = 0; i < count; ++i)
        p.append(qint16(from + i * 7));
    return p;
}

// Piano 0:0 on a stereo pair, strings 0:48 sharing the right half with the
// piano, and a drum kit 128:0 with one sample used by two zones.
Sf2Builder smallSoundFont()
{
    Sf2Builder b;
    b.samples = {
        {"strings", ramp(420, 1000), 40, 400, 1, 0},
        {"snare", ramp(120, -2000), 0, 0, 1, 0},
        {"piano L", ramp(300, 10), 100, 280, 2, 3},
        {"piano R", ramp(300, -500), 100, 280, 4, 2},
    };
    b.instruments = {
        {"Piano", 0, 0, {{{{kGenPan, 0}}, 1}, {{{kGenPan, 500}, {kGenSampleId, 2}}, 2}, {{{kGenSampleId, 3}}, 0}}},
        {"Strings", 0, 0, {{{{kGenKeyRange, 0x7F00}, {kGenSampleId, 0}}, 1}, {{{kGenSampleId, 3}}, 0}}},
        {"Kit", 0, 0, {{{{kGenKeyRange, 0x2626}, {kGenSampleId, 1}}, 0}, {{{kGenKeyRange, 0x2828}, {kGenSampleId, 1}}, 1}}},
    };
    b.presets = {
        {"Grand", 0, 0, {{{{kGenPan, 10}}, 1}, {{{kGenInstrument, 0}}, 0}}},
        {"Strings", 0, 48, {{{{kGenInstrument, 1}}, 2}}},
        {"Standard", 128, 0, {{{{kGenInstrument, 2}}, 0}}},
    };
    return b;
}

// A pdta sub-chunk of a whole SoundFont file.
QByteArray subChunk(const QByteArray& riff, const char* listType, const char* id)
{
    qsizetype at = 12;
    while (at + 12 <= riff.size()) {
        const quint32 size = get32(riff, at + 4);
        if (riff.mid(at, 4) == "LIST" && riff.mid(at + 8, 4) == listType) {
            qsizetype sub = at + 12;
            while (sub + 8 <= at + 8 + qsizetype(size)) {
                const quint32 subSize = get32(riff, sub + 4);
                if (riff.mid(sub, 4) == id)
                    return riff.mid(sub + 8, subSize);
                sub += 8 + subSize + (subSize & 1);
            }
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

QString describe(const mmsys::synth::Sf2Zone& z)
{
    QStringList parts;
    if (z.keyLow != 0 || z.keyHigh != 128)
        parts << QStringLiteral("keys %1-%2").arg(z.keyLow).arg(z.keyHigh);
    if (z.velocityLow != 0 || z.velocityHigh != 128)
        parts << QStringLiteral("vel %1-%2").arg(z.velocityLow).arg(z.velocityHigh);
    for (const auto& [id, value] : z.generators)
        parts << QStringLiteral("%1=%2").arg(id).arg(value);
    if (!z.modulators.empty())
        parts << QStringLiteral("%1 mod").arg(z.modulators.size());
    return "{" + parts.join(' ') + "}";
}

// A preset's layout in one line: its zones, its instruments' zones (s: the
// sample), its samples with their loops relative to their start.
QString describe(const mmsys::synth::Sf2Preset& p)
{
    QStringList out;
    QString level = p.global ? "global" + describe(*p.global) : QString();
    for (const auto& z : p.zones)
        level += QStringLiteral(" i%1").arg(z.link) + describe(z);
    out << level.trimmed();
    for (const auto& inst : p.instruments) {
        QString zones = inst.global ? "global" + describe(*inst.global) : QString();
        for (const auto& z : inst.zones)
            zones += QStringLiteral(" s%1").arg(z.link) + describe(z);
        out << zones.trimmed();
    }
    QStringList samples;
    for (const auto& s : p.samples)
        samples << QStringLiteral("%1 %2-%3").arg(QString::fromStdString(s.name)).arg(s.loopStart - s.start).arg(
            s.loopEnd - s.start);
    out << samples.join(", ");
    return out.join(" | ");
}

QByteArray wholeImage(const Sf2Image& image)
{
    QByteArray all(qsizetype(image.size()), '\0');
    if (!image.read(0, all.data(), std::size_t(all.size())))
        return {};
    return all;
}

} // namespace

class TestSynthSoundFont : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void presetsAreFoundByBankAndProgram_data();
    void presetsAreFoundByBankAndProgram();
    void damagedFilesAreRefused_data();
    void damagedFilesAreRefused();
    void cutOutPresetHoldsItsOwnSamplesOnly_data();
    void cutOutPresetHoldsItsOwnSamplesOnly();
    void stereoPartnerLeftOutIsNoPartner();
    void compressedOrWideSamplesAreLoadedWhole_data();
    void compressedOrWideSamplesAreLoadedWhole();
    void readsOutsideTheImageFail();
    void presetLayoutFollowsTheLoadingRules_data();
    void presetLayoutFollowsTheLoadingRules();
    void mappedPointsAreTheFilesPoints();
    void extremeValuesAreBroughtIntoRange_data();
    void extremeValuesAreBroughtIntoRange();
    void fileCutUnderItsMappingReadsAsSilence_data();
    void fileCutUnderItsMappingReadsAsSilence();
    void soundFontCutWhilePlayingGoesSilent();
    void everyPresetOfTheInstalledSoundFontsCutsOut_data();
    void everyPresetOfTheInstalledSoundFontsCutsOut();

private:
    std::string write(const QByteArray& bytes, const QString& name = QStringLiteral("test.sf2"));

    QTemporaryDir m_dir;
};

void TestSynthSoundFont::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

std::string TestSynthSoundFont::write(const QByteArray& bytes, const QString& name)
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return {};
    return file.fileName().toStdString();
}

void TestSynthSoundFont::presetsAreFoundByBankAndProgram_data()
{
    QTest::addColumn<int>("bank");
    QTest::addColumn<int>("program");
    QTest::addColumn<bool>("found");
    QTest::newRow("piano") << 0 << 0 << true;
    QTest::newRow("strings") << 0 << 48 << true;
    QTest::newRow("drum kit") << 128 << 0 << true;
    QTest::newRow("program of another bank") << 128 << 48 << false;
    QTest::newRow("missing program") << 0 << 1 << false;
    QTest::newRow("the terminal record is no preset") << 0 << int(kTerminalProgram) << false;
}

void TestSynthSoundFont::presetsAreFoundByBankAndProgram()
{
    QFETCH(int, bank);
    QFETCH(int, program);
    QFETCH(bool, found);
    std::string error;
    const auto file = Sf2File::open(write(smallSoundFont().build()), &error);
    QVERIFY2(file, error.c_str());
    QVERIFY(file->extractable());
    QCOMPARE(file->hasPreset(bank, program), found);
    QCOMPARE(bool(file->extract(bank, program)), found);
}

void TestSynthSoundFont::damagedFilesAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<bool>("cutsOut");

    QTest::newRow("missing file") << QByteArray() << false << false;
    QTest::newRow("not RIFF") << QByteArray("JUNK\x04\0\0\0sfbk", 12) << false << false;
    QByteArray wave = smallSoundFont().build();
    wave.replace(8, 4, "WAVE");
    QTest::newRow("RIFF of another form") << wave << false << false;
    Sf2Builder noPresets = smallSoundFont();
    noPresets.withPresets = false;
    QTest::newRow("no preset data") << noPresets.build() << false << false;
    Sf2Builder noSamples = smallSoundFont();
    noSamples.withSamples = false;
    QTest::newRow("no sample data") << noSamples.build() << false << false;
    const QByteArray whole = smallSoundFont().build();
    QTest::newRow("cut off in the preset data") << whole.left(whole.size() - 60) << false << false;
    Sf2Builder ragged = smallSoundFont();
    ragged.phdrExtraBytes = 2;
    QTest::newRow("preset table of broken records") << ragged.build() << false << false;
    QByteArray beyond = smallSoundFont().build();
    const qsizetype phdr = beyond.indexOf(subChunk(beyond, "pdta", "phdr"));
    beyond[phdr + 38 + 24] = char(200); // the strings' first zone
    QTest::newRow("bag index beyond its table") << beyond << false << false;
    Sf2Builder instrument = smallSoundFont();
    instrument.presets[0].zones[1].gens[0].amount = 77;
    QTest::newRow("instrument beyond its table") << instrument.build() << true << false;
    Sf2Builder sample = smallSoundFont();
    sample.instruments[0].zones[2].gens[0].amount = 99;
    QTest::newRow("sample beyond its table") << sample.build() << true << false;
    QTest::newRow("well formed") << smallSoundFont().build() << true << true;
}

void TestSynthSoundFont::damagedFilesAreRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, opens);
    QFETCH(bool, cutsOut);
    const std::string path = bytes.isEmpty() ? m_dir.filePath("missing.sf2").toStdString() : write(bytes);
    std::string error;
    const auto file = Sf2File::open(path, &error);
    QCOMPARE(bool(file), opens);
    if (!file) {
        QVERIFY2(!error.empty(), "a refused file comes with a reason");
        return;
    }
    QCOMPARE(bool(file->extract(0, 0)), cutsOut);
}

void TestSynthSoundFont::cutOutPresetHoldsItsOwnSamplesOnly_data()
{
    QTest::addColumn<int>("bank");
    QTest::addColumn<int>("program");
    QTest::addColumn<QStringList>("samples");
    QTest::newRow("stereo piano") << 0 << 0 << QStringList{"piano L", "piano R"};
    QTest::newRow("strings with a borrowed half") << 0 << 48 << QStringList{"strings", "piano R"};
    QTest::newRow("kit: one sample for two zones") << 128 << 0 << QStringList{"snare"};
}

void TestSynthSoundFont::cutOutPresetHoldsItsOwnSamplesOnly()
{
    QFETCH(int, bank);
    QFETCH(int, program);
    QFETCH(QStringList, samples);
    const Sf2Builder source = smallSoundFont();
    const auto file = Sf2File::open(write(source.build()));
    QVERIFY(file);
    const auto image = file->extract(bank, program);
    QVERIFY(image);
    const QByteArray bytes = wholeImage(*image);
    QVERIFY(!bytes.isEmpty());
    QCOMPARE(qint64(get32(bytes, 4)) + 8, qint64(image->size()));

    // A SoundFont of its own holding this preset alone.
    const auto cut = Sf2File::open(write(bytes, QStringLiteral("cut.sf2")));
    QVERIFY(cut);
    for (const Header& p : source.presets)
        QCOMPARE(cut->hasPreset(p.bank, p.program), p.bank == bank && p.program == program);

    const QByteArray smpl = subChunk(bytes, "sdta", "smpl");
    const QByteArray shdr = subChunk(bytes, "pdta", "shdr");
    QCOMPARE(shdr.size() / 46, samples.size() + 1);
    qsizetype points = 0;
    for (qsizetype r = 0; r + 1 < shdr.size() / 46; ++r) {
        const QByteArray name = shdr.mid(r * 46, 20).split('\0').first();
        QCOMPARE(QString::fromLatin1(name), samples[r]);
        const SampleDef& def = *std::find_if(source.samples.begin(), source.samples.end(),
                                             [&](const SampleDef& s) { return s.name == name; });
        const quint32 start = get32(shdr, r * 46 + 20), end = get32(shdr, r * 46 + 24);
        QCOMPARE(end - start, quint32(def.points.size()));
        QCOMPARE(get32(shdr, r * 46 + 28) - start, def.loopStart);
        QCOMPARE(get32(shdr, r * 46 + 32) - start, def.loopEnd);
        QVERIFY(start >= quint32(kGuard));
        for (qsizetype i = -kGuard; i < def.points.size() + kGuard; ++i) {
            const qint16 want = i < 0 || i >= def.points.size() ? 0 : def.points[i];
            QCOMPARE(qint16(get16(smpl, (qsizetype(start) + i) * 2)), want);
        }
        points += def.points.size() + 2 * kGuard;
    }
    QCOMPARE(qint64(image->sampleBytes()), qint64(points * 2));
    QCOMPARE(qint64(smpl.size()), qint64(points * 2));
}

void TestSynthSoundFont::stereoPartnerLeftOutIsNoPartner()
{
    const auto file = Sf2File::open(write(smallSoundFont().build()));
    QVERIFY(file);
    for (const auto& [program, links] : {std::pair{0, QList<quint16>{1, 0}}, std::pair{48, QList<quint16>{0, 0}}}) {
        const QByteArray shdr = subChunk(wholeImage(*file->extract(0, program)), "pdta", "shdr");
        QList<quint16> got;
        for (qsizetype r = 0; r + 1 < shdr.size() / 46; ++r)
            got.append(get16(shdr, r * 46 + 42));
        QCOMPARE(got, links); // the piano's halves point at each other; the borrowed right half at nothing
    }
}

void TestSynthSoundFont::compressedOrWideSamplesAreLoadedWhole_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("extractable");
    QTest::newRow("16-bit samples") << smallSoundFont().build() << true;
    Sf2Builder v3 = smallSoundFont();
    v3.version = 3;
    QTest::newRow("SoundFont 3") << v3.build() << false;
    Sf2Builder compressed = smallSoundFont();
    compressed.samples[2].type = 0x11;
    QTest::newRow("a compressed sample") << compressed.build() << false;
    Sf2Builder wide = smallSoundFont();
    wide.withSm24 = true;
    QTest::newRow("24-bit samples") << wide.build() << false;
}

void TestSynthSoundFont::compressedOrWideSamplesAreLoadedWhole()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, extractable);
    const auto file = Sf2File::open(write(bytes));
    QVERIFY(file);
    QVERIFY(file->hasPreset(0, 0));
    QCOMPARE(file->extractable(), extractable);
    QCOMPARE(bool(file->extract(0, 0)), extractable);
}

void TestSynthSoundFont::readsOutsideTheImageFail()
{
    const auto file = Sf2File::open(write(smallSoundFont().build()));
    QVERIFY(file);
    const auto image = file->extract(0, 0);
    QVERIFY(image);
    char buffer[16] = {};
    QVERIFY(image->read(image->size() - 4, buffer, 4));
    QVERIFY(image->read(image->size(), buffer, 0));
    QVERIFY(!image->read(image->size() - 4, buffer, 5));
    QVERIFY(!image->read(image->size() + 1, buffer, 0));
}

void TestSynthSoundFont::presetLayoutFollowsTheLoadingRules_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("program");
    QTest::addColumn<QString>("layout"); // empty: no preset

    const QString piano = "s0{17=500 2 mod} s1{} | piano L 100-280, piano R 100-280";
    QTest::newRow("as written") << smallSoundFont().build() << 0
                                << "global{17=10 1 mod} i0{} | global{17=0 1 mod} " + piano;
    auto presetZone = [](QList<Gen> gens) {
        Sf2Builder b = smallSoundFont();
        b.presets[0].zones[1].gens = gens;
        return b.build();
    };
    const QString instrument = " | global{17=0 1 mod} " + piano;
    QTest::newRow("key range after another generator is ignored")
        << presetZone({{kGenPan, 5}, {kGenKeyRange, 0x3C30}, {kGenInstrument, 0}}) << 0
        << "global{17=10 1 mod} i0{17=5}" + instrument;
    QTest::newRow("velocity range after the key range counts")
        << presetZone({{kGenKeyRange, 0x4030}, {kGenVelocityRange, 0x7F40}, {kGenInstrument, 0}}) << 0
        << "global{17=10 1 mod} i0{keys 48-64 vel 64-127}" + instrument;
    QTest::newRow("a repeated generator: the last counts")
        << presetZone({{kGenPan, 5}, {kGenPan, 0xFFF9}, {kGenInstrument, 0}}) << 0
        << "global{17=10 1 mod} i0{17=-7}" + instrument;
    QTest::newRow("generators after the instrument are ignored")
        << presetZone({{kGenInstrument, 0}, {kGenPan, 9}}) << 0 << "global{17=10 1 mod} i0{}" + instrument;
    QTest::newRow("an instrument's own generator is ignored in a preset")
        << presetZone({{kGenSampleModes, 1}, {kGenInstrument, 0}}) << 0 << "global{17=10 1 mod} i0{}" + instrument;
    Sf2Builder secondGlobal = smallSoundFont();
    secondGlobal.presets[0].zones.append({{{kGenPan, 3}}, 0});
    QTest::newRow("a global zone not first is dropped")
        << secondGlobal.build() << 0 << "global{17=10 1 mod} i0{}" + instrument;
    QTest::newRow("instrument beyond its table: no preset") << presetZone({{kGenInstrument, 77}}) << 0 << QString();

    Sf2Builder romFirst = smallSoundFont();
    romFirst.samples[0].type = 0x8001;
    QTest::newRow("first zone's sample unplayable: it is the global zone")
        << romFirst.build() << 48 << "i0{2 mod} | global{keys 0-127 1 mod} s0{} | piano R 100-280";
    Sf2Builder romLater = smallSoundFont();
    romLater.samples[3].type = 0x8004;
    QTest::newRow("a later zone's sample unplayable: the zone is left out")
        << romLater.build() << 48 << "i0{2 mod} | s0{keys 0-127 1 mod} | strings 40-400";
    Sf2Builder reversed = smallSoundFont();
    std::swap(reversed.samples[0].loopStart, reversed.samples[0].loopEnd);
    QTest::newRow("a reversed loop is turned round")
        << reversed.build() << 48 << "i0{2 mod} | s0{keys 0-127 1 mod} s1{} | strings 40-400, piano R 100-280";
    Sf2Builder outside = smallSoundFont();
    outside.samples[0].loopEnd = 100000;
    QTest::newRow("a loop end outside the samples is the sample's end")
        << outside.build() << 48 << "i0{2 mod} | s0{keys 0-127 1 mod} s1{} | strings 40-420, piano R 100-280";
}

void TestSynthSoundFont::presetLayoutFollowsTheLoadingRules()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, program);
    QFETCH(QString, layout);
    const auto file = Sf2File::open(write(bytes));
    QVERIFY(file);
    const auto preset = file->preset(0, program);
    QCOMPARE(preset ? describe(*preset) : QString(), layout);
}

void TestSynthSoundFont::mappedPointsAreTheFilesPoints()
{
    const Sf2Builder source = smallSoundFont();
    const auto file = Sf2File::open(write(source.build()));
    QVERIFY(file);
    const std::int16_t* points = file->samplePoints();
    QVERIFY(points);
    const auto preset = file->preset(0, 0);
    QVERIFY(preset);
    for (const auto& s : preset->samples) {
        const SampleDef& def = *std::find_if(source.samples.begin(), source.samples.end(),
                                             [&](const SampleDef& d) { return d.name == s.name.c_str(); });
        QCOMPARE(qsizetype(s.end - s.start), def.points.size());
        for (qsizetype i = 0; i < def.points.size(); ++i)
            QCOMPARE(points[s.start + std::size_t(i)], def.points[i]);
        std::vector<std::int16_t> read(def.points.size());
        QVERIFY(file->readPoints(s.start, read.size(), read.data()));
        QCOMPARE(read.back(), def.points.back());
    }
    std::int16_t one = 0;
    QVERIFY(!file->readPoints(file->pointCount(), 1, &one));
}

void TestSynthSoundFont::everyPresetOfTheInstalledSoundFontsCutsOut_data()
{
    QTest::addColumn<QString>("path");
    bool any = false;
    for (const std::string& path : mmsys::synth::soundFontCandidates()) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec)) {
            QTest::newRow(path.c_str()) << QString::fromStdString(path);
            any = true;
        }
    }
    if (!any)
        QTest::newRow("none installed") << QString();
}

void TestSynthSoundFont::everyPresetOfTheInstalledSoundFontsCutsOut()
{
    QFETCH(QString, path);
    if (path.isEmpty())
        QSKIP("no General MIDI soundfont installed");
    std::string error;
    const auto file = Sf2File::open(path.toStdString(), &error);
    QVERIFY2(file, error.c_str());
    QVERIFY(file->hasPreset(0, 0));
    if (!file->extractable())
        QSKIP("this soundfont is loaded whole");
    int presets = 0;
    std::uint64_t largest = 0;
    for (int bank : {0, 8, 16, 128}) {
        for (int program = 0; program < 128; ++program) {
            if (!file->hasPreset(bank, program))
                continue;
            const auto image = file->extract(bank, program);
            QVERIFY2(image, qPrintable(QStringLiteral("preset %1:%2").arg(bank).arg(program)));
            char head[12];
            QVERIFY(image->read(0, head, sizeof head));
            QCOMPARE(QByteArray(head, 4), QByteArray("RIFF"));
            QCOMPARE(std::uint64_t(get32(QByteArray(head, 12), 4)) + 8, image->size());
            QVERIFY(image->sampleBytes() < file->sampleBytes());
            largest = std::max(largest, image->sampleBytes());
            ++presets;
        }
    }
    QVERIFY(presets >= 128);
    // No single instrument comes near the whole set.
    QVERIFY(largest < file->sampleBytes() / 2);
}

void TestSynthSoundFont::extremeValuesAreBroughtIntoRange_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("strings"); // the strings preset's first instrument zone and its sample
    auto withSample = [](auto change) {
        Sf2Builder b = smallSoundFont();
        change(b.samples[0]);
        return b.build();
    };
    auto withGen = [](quint16 op, quint16 amount) {
        Sf2Builder b = smallSoundFont();
        b.instruments[1].zones[0].gens.insert(1, {op, amount}); // after the key range
        return b.build();
    };
    const QString zone = "{keys 0-127 1 mod}";
    QTest::newRow("as written") << smallSoundFont().build() << zone + " strings 40-400 44100 Hz 0 ct";
    QTest::newRow("rate of 4 GHz") << withSample([](SampleDef& s) { s.rate = 0xFFFFFFFFu; })
                                   << zone + " strings 40-400 192000 Hz 0 ct";
    QTest::newRow("rate of zero") << withSample([](SampleDef& s) { s.rate = 0; })
                                  << zone + " strings 40-400 400 Hz 0 ct";
    QTest::newRow("correction past a semitone") << withSample([](SampleDef& s) { s.correction = -128; })
                                                << zone + " strings 40-400 44100 Hz -99 ct";
    QTest::newRow("loop start past the end, loop end outside the file")
        << withSample([](SampleDef& s) { s.loopStart = 430; s.loopEnd = 100000; })
        << zone + " strings 0-420 44100 Hz 0 ct";
    QTest::newRow("loop start past the end, in the next sample")
        << withSample([](SampleDef& s) { s.loopStart = 500; s.loopEnd = 600; })
        << zone + " strings 0-420 44100 Hz 0 ct";
    QTest::newRow("coarse tune of 3000 semitones") << withGen(51, 3000)
                                                   << "{keys 0-127 51=120 1 mod} strings 40-400 44100 Hz 0 ct";
    QTest::newRow("fine tune of -5000 cents") << withGen(52, quint16(-5000))
                                              << "{keys 0-127 52=-99 1 mod} strings 40-400 44100 Hz 0 ct";
    QTest::newRow("scale tuning of 20000 cents") << withGen(56, 20000)
                                                 << "{keys 0-127 56=1200 1 mod} strings 40-400 44100 Hz 0 ct";
    QTest::newRow("root key 300") << withGen(58, 300) << "{keys 0-127 58=-1 1 mod} strings 40-400 44100 Hz 0 ct";
}

void TestSynthSoundFont::extremeValuesAreBroughtIntoRange()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, strings);
    const auto file = Sf2File::open(write(bytes));
    QVERIFY(file);
    const auto preset = file->preset(0, 48);
    QVERIFY(preset);
    QVERIFY(!preset->instruments.empty() && !preset->instruments[0].zones.empty());
    const auto& z = preset->instruments[0].zones[0];
    const auto& s = preset->samples[std::size_t(z.link)];
    QVERIFY(s.loopStart <= s.loopEnd);
    QCOMPARE(describe(z) + QStringLiteral(" %1 %2-%3 %4 Hz %5 ct")
                               .arg(QString::fromStdString(s.name))
                               .arg(s.loopStart - s.start)
                               .arg(s.loopEnd - s.start)
                               .arg(s.rate)
                               .arg(s.correction),
             strings);
}

void TestSynthSoundFont::fileCutUnderItsMappingReadsAsSilence_data()
{
    QTest::addColumn<bool>("rewritten"); // cut, then written again as `cp` writes over a file
    QTest::newRow("cut to its header") << false;
    QTest::newRow("rewritten in place") << true;
}

void TestSynthSoundFont::fileCutUnderItsMappingReadsAsSilence()
{
    QFETCH(bool, rewritten);
    // Samples long enough to span many pages.
    Sf2Builder b = smallSoundFont();
    b.samples[0].points = ramp(300000, 1);
    b.samples[0].loopStart = 1000;
    b.samples[0].loopEnd = 290000;
    const QByteArray bytes = b.build();
    const std::string path = write(bytes, QStringLiteral("cut.sf2"));
    const auto file = Sf2File::open(path);
    QVERIFY(file);
    const std::int16_t* points = file->samplePoints();
    QVERIFY(points);
    const unsigned lostBefore = Sf2File::lostPages();
    QFile f(QString::fromStdString(path));
    QVERIFY(f.resize(4096));
    if (rewritten) {
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes.left(bytes.size() / 3));
        f.close();
    }
    // Every point read, as a voice would: no bus error brings the test down.
    const volatile std::int16_t* read = points;
    std::int64_t sum = 0;
    for (std::uint64_t i = 0; i < file->pointCount(); ++i)
        sum += read[i];
    QVERIFY(Sf2File::lostPages() > lostBefore);
    QVERIFY(sum != 1); // used
}

void TestSynthSoundFont::soundFontCutWhilePlayingGoesSilent()
{
    const QString installed = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
    if (!QFile::exists(installed))
        QSKIP("TimGM6mb.sf2 is not installed");
    const QString copy = m_dir.filePath(QStringLiteral("playing.sf2"));
    QFile::remove(copy);
    QVERIFY(QFile::copy(installed, copy));
    testsupport::SynthRenderer renderer(copy.toStdString());
    if (!renderer.isLoaded())
        QSKIP("the built-in synthesizer cannot run here");
    const unsigned lostBefore = Sf2File::lostPages();
    const std::vector<float> before = renderer.render(0, {{60, 0.0, 0.3}}, 0.4);
    float peak = 0.f;
    for (float v : before)
        peak = std::max(peak, std::abs(v));
    QVERIFY(peak > 0.01f);
    // As `cp other.sf2 playing.sf2` begins: the file is cut to nothing under its mapping.
    QVERIFY(QFile::resize(copy, 0));
    const std::vector<float> after = renderer.render(0, {{48, 0.0, 0.3}, {72, 0.3, 0.3}, {60, 0.6, 0.3}}, 1.0);
    QVERIFY(!after.empty());
    QVERIFY(Sf2File::lostPages() > lostBefore);
}

QTEST_GUILESS_MAIN(TestSynthSoundFont)
#include "tst_synthsoundfont.moc"
