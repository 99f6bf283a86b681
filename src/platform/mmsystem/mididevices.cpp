// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mmsystem/mididevices.h"

#include "platform/mmsystem/midi_backend.h"

#include <map>
#include <mutex>

namespace mmsys {

namespace {

struct Handlers {
    // Held while handlers run, so that removing one waits for a call in progress.
    std::mutex mutex;
    std::map<int, PortChangeHandler> byToken;
    int next = 1;
};

Handlers& handlers()
{
    // Never destroyed: a backend's thread may announce while statics are torn down.
    static auto* h = new Handlers;
    return *h;
}

} // namespace

int addPortChangeHandler(PortChangeHandler handler)
{
    Handlers& h = handlers();
    std::lock_guard lock(h.mutex);
    const int token = h.next++;
    h.byToken.emplace(token, std::move(handler));
    return token;
}

void removePortChangeHandler(int token)
{
    Handlers& h = handlers();
    std::lock_guard lock(h.mutex);
    h.byToken.erase(token);
}

namespace backend {

void portChanged(const PortChange& change)
{
    Handlers& h = handlers();
    std::lock_guard lock(h.mutex);
    for (auto& [token, handler] : h.byToken)
        if (handler)
            handler(change);
}

} // namespace backend

} // namespace mmsys
