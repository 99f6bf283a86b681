// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/portchoice.h"

#include <QTest>

using midi::ChoiceBy;
using midi::PortChoice;
using mmsys::PortDirection;
using mmsys::PortInfo;
using mmsys::PortKind;

Q_DECLARE_METATYPE(midi::ChoiceBy)
Q_DECLARE_METATYPE(mmsys::PortDirection)

namespace {

// "T:Midi Through" is a through port named "Midi Through"; H hardware,
// S software, O our own, B the built-in synthesizer.
std::vector<PortInfo> ports(const QStringList& specs)
{
    std::vector<PortInfo> out;
    for (const QString& spec : specs) {
        PortInfo p;
        p.key = "port " + std::to_string(out.size());
        p.name = spec.mid(2).toStdString();
        switch (spec.at(0).toLatin1()) {
        case 'H': p.kind = PortKind::Hardware; break;
        case 'S': p.kind = PortKind::Software; break;
        case 'T': p.kind = PortKind::Through; break;
        case 'O': p.kind = PortKind::Own; break;
        case 'B': p.kind = PortKind::BuiltIn; break;
        default: break;
        }
        out.push_back(p);
    }
    return out;
}

const QString through = "T:Midi Through:Midi Through Port-0";
const QString keyboard = "H:USB Keyboard:USB Keyboard MIDI 1";
const QString piano = "H:Digital Piano:Digital Piano MIDI 1";
const QString vmpk = "S:VMPK Output:out";
const QString ours = "O:Tonvero:Tonvero input";
const QString builtIn = "B:Tonvero built-in synthesizer";
const QString fluid = "S:FLUID Synth:Synth input port";
const QString dinOut = "H:UM-ONE:UM-ONE MIDI 1";

} // namespace

class TestPortChoice : public QObject {
    Q_OBJECT

private slots:
    void choosePort_data();
    void choosePort();
};

void TestPortChoice::choosePort_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<PortDirection>("direction");
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<int>("storedId");
    QTest::addColumn<int>("id");
    QTest::addColumn<ChoiceBy>("by");

    const auto in = PortDirection::Input;
    const auto out = PortDirection::Output;
    const QString kbd = keyboard.mid(2);

    // Nothing chosen yet (settings hold no name and id 0).
    QTest::newRow("nothing chosen: the keyboard after Midi Through") << QStringList{through, keyboard} << in << "" << 0 << 1 << ChoiceBy::Default;
    QTest::newRow("nothing chosen: the first of two keyboards") << QStringList{through, piano, keyboard} << in << "" << 0 << 1 << ChoiceBy::Default;
    QTest::newRow("nothing chosen: only Midi Through") << QStringList{through} << in << "" << 0 << -1 << ChoiceBy::None;
    QTest::newRow("nothing chosen: no port at all") << QStringList{} << in << "" << 0 << -1 << ChoiceBy::None;
    QTest::newRow("nothing chosen: programs' and our ports are not taken") << QStringList{ours, vmpk, through, keyboard} << in << "" << 0 << 3 << ChoiceBy::Default;
    QTest::newRow("nothing chosen: a program's port alone is not taken") << QStringList{through, vmpk} << in << "" << 0 << -1 << ChoiceBy::None;

    // A stored name.
    QTest::newRow("name where it was") << QStringList{through, keyboard} << in << kbd << 1 << 1 << ChoiceBy::Name;
    QTest::newRow("name wins over renumbered ids") << QStringList{piano, vmpk, through, keyboard} << in << kbd << 1 << 3 << ChoiceBy::Name;
    QTest::newRow("name of a program's port") << QStringList{through, keyboard, vmpk} << in << vmpk.mid(2) << 0 << 2 << ChoiceBy::Name;
    QTest::newRow("name of Midi Through, chosen on purpose") << QStringList{through, keyboard} << in << through.mid(2) << 0 << 0 << ChoiceBy::Name;
    QTest::newRow("two ports of that name: the one at the stored id") << QStringList{keyboard, through, keyboard} << in << kbd << 2 << 2 << ChoiceBy::Name;
    QTest::newRow("two ports of that name, id elsewhere: the first") << QStringList{through, keyboard, keyboard} << in << kbd << 0 << 1 << ChoiceBy::Name;

    // The named port is gone.
    QTest::newRow("name gone: the stored id") << QStringList{through, piano} << in << kbd << 1 << 1 << ChoiceBy::Id;
    QTest::newRow("name gone: id out of range, the default") << QStringList{through, piano} << in << kbd << 2 << 1 << ChoiceBy::Default;
    QTest::newRow("name gone: id at Midi Through, the default") << QStringList{through, piano} << in << kbd << 0 << 1 << ChoiceBy::Default;
    QTest::newRow("name gone: nothing to fall back to") << QStringList{through} << in << kbd << 1 << -1 << ChoiceBy::None;
    QTest::newRow("older settings: an id without a name") << QStringList{through, keyboard, piano} << in << "" << 2 << 2 << ChoiceBy::Id;
    QTest::newRow("negative id: the default") << QStringList{through, keyboard} << in << "" << -1 << 1 << ChoiceBy::Default;

    // Our own ports, never.
    QTest::newRow("our own port by name") << QStringList{ours, keyboard} << in << ours.mid(2) << 0 << 1 << ChoiceBy::Default;
    QTest::newRow("our own port by id") << QStringList{keyboard, ours} << in << "" << 1 << 0 << ChoiceBy::Default;

    // Outputs: the built-in synthesizer unless another is chosen.
    QTest::newRow("output, nothing chosen: built-in synthesizer") << QStringList{builtIn, through, dinOut, fluid} << out << "" << 0 << 0 << ChoiceBy::Default;
    QTest::newRow("output, nothing chosen: built-in listed last") << QStringList{through, fluid, builtIn} << out << "" << 0 << 2 << ChoiceBy::Default;
    QTest::newRow("output: the chosen synth, renumbered") << QStringList{builtIn, through, dinOut, fluid} << out << fluid.mid(2) << 2 << 3 << ChoiceBy::Name;
    QTest::newRow("output: the chosen built-in synthesizer") << QStringList{through, builtIn} << out << builtIn.mid(2) << 0 << 1 << ChoiceBy::Name;
    QTest::newRow("output, synth gone: the id at another synth") << QStringList{builtIn, through, dinOut} << out << fluid.mid(2) << 2 << 2 << ChoiceBy::Id;
    QTest::newRow("output, synth gone: id at Midi Through, built-in") << QStringList{builtIn, through} << out << fluid.mid(2) << 1 << 0 << ChoiceBy::Default;
    QTest::newRow("output, synth gone: id out of range, built-in") << QStringList{builtIn, through} << out << fluid.mid(2) << 3 << 0 << ChoiceBy::Default;
    QTest::newRow("output without built-in: a hardware port") << QStringList{through, fluid, dinOut} << out << "" << 0 << 2 << ChoiceBy::Default;
    QTest::newRow("output without built-in or hardware: nothing") << QStringList{through, fluid} << out << "" << 0 << -1 << ChoiceBy::None;
}

void TestPortChoice::choosePort()
{
    QFETCH(QStringList, list);
    QFETCH(PortDirection, direction);
    QFETCH(QString, storedName);
    QFETCH(int, storedId);
    QFETCH(int, id);
    QFETCH(ChoiceBy, by);
    const PortChoice choice = midi::choosePort(ports(list), direction, storedName.toStdString(), storedId);
    QCOMPARE(choice.id, id);
    QCOMPARE(choice.by, by);
}

QTEST_GUILESS_MAIN(TestPortChoice)
#include "tst_portchoice.moc"
