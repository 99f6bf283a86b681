// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/portchoice.h"

namespace midi {

using mmsys::PortDirection;
using mmsys::PortInfo;
using mmsys::PortKind;

namespace {

bool validId(const std::vector<PortInfo>& ports, int id)
{
    return id >= 0 && std::size_t(id) < ports.size();
}

// A through port plays nothing and passes on nothing of its own: a stale id
// pointing at one is a renumbering, not a choice.
bool couldBeMeant(PortKind kind)
{
    return kind != PortKind::Through && kind != PortKind::Own;
}

int firstOf(const std::vector<PortInfo>& ports, PortKind kind)
{
    for (std::size_t i = 0; i < ports.size(); ++i)
        if (ports[i].kind == kind)
            return int(i);
    return -1;
}

} // namespace

bool isDefaultKind(PortKind kind, PortDirection direction)
{
    if (direction == PortDirection::Output && kind == PortKind::BuiltIn)
        return true;
    return kind == PortKind::Hardware;
}

int defaultPort(const std::vector<PortInfo>& ports, PortDirection direction)
{
    if (direction == PortDirection::Output) {
        const int synth = firstOf(ports, PortKind::BuiltIn);
        if (synth >= 0)
            return synth;
    }
    return firstOf(ports, PortKind::Hardware);
}

PortChoice choosePort(const std::vector<PortInfo>& ports, PortDirection direction,
                      const std::string& storedName, int storedId)
{
    if (!storedName.empty()) {
        int found = -1;
        for (std::size_t i = 0; i < ports.size(); ++i) {
            if (ports[i].name != storedName || ports[i].kind == PortKind::Own)
                continue;
            if (found < 0 || int(i) == storedId)
                found = int(i);
        }
        if (found >= 0)
            return {found, ChoiceBy::Name};
    }
    const bool nothingChosen = storedName.empty() && storedId == 0;
    if (!nothingChosen && validId(ports, storedId) && couldBeMeant(ports[std::size_t(storedId)].kind))
        return {storedId, ChoiceBy::Id};
    const int id = defaultPort(ports, direction);
    return id >= 0 ? PortChoice{id, ChoiceBy::Default} : PortChoice{};
}

} // namespace midi
