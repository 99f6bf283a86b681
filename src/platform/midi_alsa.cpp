// SPDX-License-Identifier: GPL-3.0-or-later
// System MIDI ports through RtMidi on the ALSA sequencer.
#include "platform/midi_backend.h"

#include <RtMidi.h>
#include <alsa/asoundlib.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

namespace mmsys::backend {

namespace {

constexpr const char* kClientName = "Tonvero";
constexpr unsigned kInputQueueSize = 1024;

void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}

// RtMidi reports through this instead of printing or throwing.
void recordError(RtMidiError::Type type, const std::string&, void* user)
{
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        static_cast<std::atomic<bool>*>(user)->store(true);
}

// Without a sequencer (no /dev/snd/seq, as in containers) RtMidi would print
// on stderr; ask ALSA first, quietly.
bool sequencerAvailable()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(silentAlsaError); });
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0)
        return false;
    snd_seq_close(seq);
    return true;
}

bool isOurs(const std::string& portName)
{
    const std::string prefix = std::string(kClientName) + ":";
    return portName.compare(0, prefix.size(), prefix) == 0;
}

template <typename Rt>
int findPort(Rt& rt, const std::string& name)
{
    const unsigned n = rt.getPortCount();
    for (unsigned i = 0; i < n; ++i)
        if (rt.getPortName(i) == name)
            return int(i);
    return -1;
}

class AlsaIn final : public InputDevice {
public:
    explicit AlsaIn(std::string name) : m_name(std::move(name)) {}
    std::string name() const override { return m_name; }

    MMRESULT open(InputSink* sink) override
    {
        m_error = false;
        try {
            auto in = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, kClientName, kInputQueueSize);
            in->setErrorCallback(recordError, &m_error);
            const int index = findPort(*in, m_name);
            if (index < 0)
                return MIDIERR_NODEVICE;
            in->ignoreTypes(false, true, true);
            m_sink = sink;
            in->setCallback(onInput, this);
            in->openPort(unsigned(index), "Tonvero input");
            if (m_error || !in->isPortOpen()) {
                m_sink = nullptr;
                return MMSYSERR_ERROR;
            }
            m_in = std::move(in);
        } catch (const std::exception&) {
            m_sink = nullptr;
            return MMSYSERR_ERROR;
        }
        return MMSYSERR_NOERROR;
    }

    void close() override
    {
        if (m_in) {
            m_in->closePort(); // joins RtMidi's input thread
            m_in.reset();
        }
        m_sink = nullptr;
    }

private:
    static void onInput(double, std::vector<unsigned char>* message, void* user)
    {
        auto* self = static_cast<AlsaIn*>(user);
        if (message && self->m_sink)
            self->m_sink->raw(message->data(), message->size());
    }

    std::string m_name;
    std::unique_ptr<RtMidiIn> m_in;
    InputSink* m_sink = nullptr;
    std::atomic<bool> m_error{false};
};

class AlsaOut final : public OutputDevice {
public:
    explicit AlsaOut(std::string name) : m_name(std::move(name)) {}
    std::string name() const override { return m_name; }

    MMRESULT open(OutputSink*) override
    {
        m_error = false;
        try {
            auto out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, kClientName);
            out->setErrorCallback(recordError, &m_error);
            const int index = findPort(*out, m_name);
            if (index < 0)
                return MIDIERR_NODEVICE;
            out->openPort(unsigned(index), "Tonvero output");
            if (m_error || !out->isPortOpen())
                return MMSYSERR_ERROR;
            std::lock_guard lock(m_mutex);
            m_out = std::move(out);
        } catch (const std::exception&) {
            return MMSYSERR_ERROR;
        }
        return MMSYSERR_NOERROR;
    }

    void close() override
    {
        std::lock_guard lock(m_mutex);
        if (m_out) {
            m_out->closePort();
            m_out.reset();
        }
    }

    MMRESULT shortMsg(DWORD word) override
    {
        const unsigned char bytes[3] = {static_cast<unsigned char>(word & 0xFF),
                                        static_cast<unsigned char>((word >> 8) & 0xFF),
                                        static_cast<unsigned char>((word >> 16) & 0xFF)};
        // A word without a status byte carries the two data bytes of running status.
        const std::size_t n = bytes[0] < 0x80 ? 2 : shortMessageLength(bytes[0]);
        if (n == 0)
            return MMSYSERR_INVALPARAM;
        return send(bytes, n);
    }

    MMRESULT longMsg(MIDIHDR* header, bool& later) override
    {
        later = false;
        return send(reinterpret_cast<const unsigned char*>(header->lpData), header->dwBufferLength);
    }

    void reset() override
    {
        for (unsigned char ch = 0; ch < 16; ++ch) {
            const unsigned char sustainOff[3] = {static_cast<unsigned char>(0xB0 | ch), 64, 0};
            const unsigned char allNotesOff[3] = {static_cast<unsigned char>(0xB0 | ch), 123, 0};
            send(sustainOff, 3);
            send(allNotesOff, 3);
        }
    }

private:
    MMRESULT send(const unsigned char* data, std::size_t size)
    {
        std::lock_guard lock(m_mutex);
        if (!m_out)
            return MMSYSERR_INVALHANDLE;
        m_error = false;
        try {
            m_out->sendMessage(data, size);
        } catch (const std::exception&) {
            return MMSYSERR_ERROR;
        }
        return m_error ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
    }

    std::string m_name;
    std::mutex m_mutex;
    std::unique_ptr<RtMidiOut> m_out;
    std::atomic<bool> m_error{false};
};

class AlsaBackend final : public Backend {
public:
    void enumerate(std::vector<std::shared_ptr<InputDevice>>& inputs,
                   std::vector<std::shared_ptr<OutputDevice>>& outputs) override
    {
        if (!sequencerAvailable())
            return;
        std::atomic<bool> error{false};
        try {
            RtMidiIn in(RtMidi::LINUX_ALSA, kClientName);
            in.setErrorCallback(recordError, &error);
            for (unsigned i = 0, n = in.getPortCount(); i < n; ++i) {
                const std::string name = in.getPortName(i);
                if (!name.empty() && !isOurs(name))
                    inputs.push_back(reuse(m_inputs, name));
            }
            RtMidiOut out(RtMidi::LINUX_ALSA, kClientName);
            out.setErrorCallback(recordError, &error);
            for (unsigned i = 0, n = out.getPortCount(); i < n; ++i) {
                const std::string name = out.getPortName(i);
                if (!name.empty() && !isOurs(name))
                    outputs.push_back(reuse(m_outputs, name));
            }
        } catch (const std::exception&) {
            // A sequencer that fails half-way offers what was found so far.
        }
    }

private:
    // The same port keeps its device object across refreshes, so an open one stays busy.
    template <typename Dev>
    static std::shared_ptr<Dev> reuse(std::map<std::string, std::shared_ptr<Dev>>& known, const std::string& name)
    {
        auto& dev = known[name];
        if (!dev)
            dev = std::make_shared<Dev>(name);
        return dev;
    }

    std::map<std::string, std::shared_ptr<AlsaIn>> m_inputs;
    std::map<std::string, std::shared_ptr<AlsaOut>> m_outputs;
};

} // namespace

Backend& alsaBackend()
{
    static AlsaBackend b;
    return b;
}

} // namespace mmsys::backend
