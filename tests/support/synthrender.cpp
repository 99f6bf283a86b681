// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/synthrender.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace testsupport {

namespace {

std::uint32_t shortWord(int status, int data1, int data2)
{
    return std::uint32_t(status & 0xFF) | (std::uint32_t(data1 & 0x7F) << 8) | (std::uint32_t(data2 & 0x7F) << 16);
}

} // namespace

std::string testSoundFont()
{
    const char* chosen = std::getenv("TONVERO_TEST_SOUNDFONT");
    if (!chosen || !*chosen)
        return mmsys::synth::findSoundFont();
    // A bare file name is one of the soundfonts the synthesizer looks for;
    // empty when that one is not installed.
    const std::string wanted = chosen;
    if (wanted.find('/') != std::string::npos)
        return wanted;
    std::error_code ec;
    for (const std::string& path : mmsys::synth::soundFontCandidates())
        if (std::filesystem::path(path).filename() == wanted && std::filesystem::is_regular_file(path, ec))
            return path;
    return {};
}

SynthRenderer::SynthRenderer(const std::string& soundFont)
{
    m_loaded = !soundFont.empty() && m_engine.load(soundFont);
}

bool SynthRenderer::isLoaded() const
{
    return m_loaded;
}

std::string SynthRenderer::soundFont() const
{
    return m_engine.soundFont();
}

void SynthRenderer::selectProgram(int program)
{
    m_engine.shortMsg(shortWord(0xC0, program, 0));
}

void SynthRenderer::renderInto(std::vector<float>& out, std::size_t from, std::size_t to)
{
    std::vector<float> left(4096), right(4096);
    while (from < to) {
        const int n = int(std::min<std::size_t>(left.size(), to - from));
        m_engine.render(left.data(), right.data(), n);
        for (int i = 0; i < n; ++i)
            out[from + std::size_t(i)] = 0.5f * (left[std::size_t(i)] + right[std::size_t(i)]);
        from += std::size_t(n);
    }
}

std::vector<float> SynthRenderer::render(int program, const std::vector<NoteToRender>& notes, double totalSec)
{
    const auto total = std::size_t(std::llround(totalSec * sampleRate()));
    std::vector<float> out(total, 0.f);
    if (!m_loaded)
        return out;
    selectProgram(program);

    // Note Offs before Note Ons at the same frame, so a repeated note restarts.
    std::multimap<std::pair<std::size_t, int>, std::uint32_t> events;
    for (const NoteToRender& n : notes) {
        const auto on = std::size_t(std::llround(n.startSec * sampleRate()));
        const auto off = std::size_t(std::llround((n.startSec + n.durationSec) * sampleRate()));
        events.emplace(std::pair{on, 1}, shortWord(0x90, n.note, std::clamp(n.velocity, 1, 127)));
        events.emplace(std::pair{off, 0}, shortWord(0x80, n.note, 0));
    }
    std::size_t at = 0;
    for (const auto& [when, word] : events) {
        const std::size_t frame = std::min(when.first, total);
        renderInto(out, at, frame);
        at = frame;
        m_engine.shortMsg(word);
    }
    renderInto(out, at, total);

    // Let releases and the synthesizer's own reverb die before the next fixture.
    m_engine.allNotesOff();
    std::vector<float> drain(std::size_t(3 * sampleRate()));
    renderInto(drain, 0, drain.size());
    return out;
}

} // namespace testsupport
