// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/synth/sf2file.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <map>
#include <tuple>

#include <bit>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mmsys::synth {

namespace {

// Record sizes of the preset data chunks (SoundFont 2.01, section 7).
constexpr std::size_t kPhdrSize = 38;
constexpr std::size_t kBagSize = 4;
constexpr std::size_t kModSize = 10;
constexpr std::size_t kGenSize = 4;
constexpr std::size_t kInstSize = 22;
constexpr std::size_t kShdrSize = 46;
constexpr std::size_t kNameSize = 20;

// Generators that point into another table.
constexpr std::uint16_t kGenInstrument = 41;
constexpr std::uint16_t kGenSampleId = 53;

constexpr std::uint16_t kGenKeyRange = 43;
constexpr std::uint16_t kGenVelocityRange = 44;
// The generators the format defines end here; 59 and up are unused.
constexpr std::uint16_t kGenCount = 59;

constexpr std::uint16_t kSampleRom = 0x8000;
constexpr std::uint16_t kSampleCompressed = 0x10;
// Mono, right, left, linked, compressed, ROM: a sample with any other flag
// uses some compression no synthesizer here knows.
constexpr std::uint16_t kSampleKnownFlags = 0x1 | 0x2 | 0x4 | 0x8 | kSampleCompressed | kSampleRom;

// Pitch generators brought into the format's ranges: a damaged file's extreme
// tuning would make a voice step through its sample thousands of times faster
// than it sounds.
constexpr std::uint16_t kGenCoarseTune = 51;
constexpr std::uint16_t kGenFineTune = 52;
constexpr std::uint16_t kGenScaleTuning = 56;
constexpr std::uint16_t kGenRootKey = 58;
// Sample rates a sample is taken at; outside them, the nearest.
constexpr std::uint32_t kMinSampleRate = 400;
constexpr std::uint32_t kMaxSampleRate = 192000;
constexpr int kMaxCorrection = 99; // cents

// The sample chunks mapped now, for the bus-error handler: a file truncated
// or rewritten in place under its mapping makes a read of a page it no longer
// has fault (SIGBUS), on the audio thread, inside the synthesizer.
struct MappedRange {
    std::atomic<std::uintptr_t> from{0};
    std::atomic<std::uintptr_t> to{0};
};
constexpr std::size_t kMaxRanges = 64;
MappedRange g_ranges[kMaxRanges];
std::uintptr_t g_pageSize = 4096;
struct sigaction g_previousBusHandler;
std::atomic<unsigned> g_lostPages{0};

// A page of a mapped sample chunk that the file no longer holds becomes a page
// of zeros: the voice playing it goes silent, and the program goes on. Any
// other bus error is handed back to what handled it before.
void onBusError(int, siginfo_t* info, void*)
{
    const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (const MappedRange& r : g_ranges) {
        if (at < r.from.load(std::memory_order_acquire) || at >= r.to.load(std::memory_order_acquire))
            continue;
        void* page = reinterpret_cast<void*>(at & ~(g_pageSize - 1));
        if (::mmap(page, g_pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
            g_lostPages.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        break;
    }
    // The faulting instruction runs again, under the old disposition.
    ::sigaction(SIGBUS, &g_previousBusHandler, nullptr);
}

void watchMapping(const void* at, std::size_t size)
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        g_pageSize = std::uintptr_t(::sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_previousBusHandler);
    });
    const auto from = reinterpret_cast<std::uintptr_t>(at);
    for (MappedRange& r : g_ranges) {
        std::uintptr_t free = 0;
        if (r.from.compare_exchange_strong(free, from)) {
            r.to.store(from + size, std::memory_order_release);
            return;
        }
    }
}

void unwatchMapping(const void* at)
{
    const auto from = reinterpret_cast<std::uintptr_t>(at);
    for (MappedRange& r : g_ranges) {
        if (r.from.load() == from) {
            r.to.store(0, std::memory_order_release);
            r.from.store(0, std::memory_order_release);
            return;
        }
    }
}

// A loop point outside its sample goes to the sample's edge; the loop then
// runs forward within the sample, its start never after its end.
std::pair<std::uint32_t, std::uint32_t> saneLoop(std::uint32_t start, std::uint32_t end, std::uint32_t loopStart,
                                                 std::uint32_t loopEnd)
{
    if (loopStart < start || loopStart > end)
        loopStart = start;
    if (loopEnd < start || loopEnd > end)
        loopEnd = end;
    if (loopStart > loopEnd)
        std::swap(loopStart, loopEnd);
    return {loopStart, loopEnd};
}

std::int16_t saneAmount(std::uint16_t id, std::int16_t value)
{
    switch (id) {
    case kGenCoarseTune: return std::clamp<std::int16_t>(value, -120, 120);
    case kGenFineTune: return std::clamp<std::int16_t>(value, -99, 99);
    case kGenScaleTuning: return std::clamp<std::int16_t>(value, 0, 1200);
    case kGenRootKey: return value >= -1 && value <= 127 ? value : std::int16_t(-1);
    default: return value;
    }
}

// The preset tables of General MIDI sets are a few hundred kilobytes.
constexpr std::uint64_t kMaxPdtaSize = 64ull << 20;

std::uint16_t le16(const unsigned char* p)
{
    return std::uint16_t(p[0] | (p[1] << 8));
}

std::uint32_t le32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
           | (std::uint32_t(p[3]) << 24);
}

void put16(std::vector<unsigned char>& v, std::uint32_t x)
{
    v.push_back(static_cast<unsigned char>(x & 0xFF));
    v.push_back(static_cast<unsigned char>((x >> 8) & 0xFF));
}

void put32(std::vector<unsigned char>& v, std::uint32_t x)
{
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

void putId(std::vector<unsigned char>& v, const char* id)
{
    v.insert(v.end(), id, id + 4);
}

void set16(unsigned char* p, std::uint32_t x)
{
    p[0] = static_cast<unsigned char>(x & 0xFF);
    p[1] = static_cast<unsigned char>((x >> 8) & 0xFF);
}

void set32(unsigned char* p, std::uint32_t x)
{
    set16(p, x & 0xFFFF);
    set16(p + 2, x >> 16);
}

bool readAt(int fd, std::uint64_t offset, void* to, std::size_t count)
{
    auto* out = static_cast<unsigned char*>(to);
    while (count > 0) {
        const ssize_t n = ::pread(fd, out, count, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        out += n;
        offset += std::uint64_t(n);
        count -= std::size_t(n);
    }
    return true;
}

std::size_t records(const std::vector<unsigned char>& table, std::size_t size)
{
    return table.size() / size;
}

const unsigned char* record(const std::vector<unsigned char>& table, std::size_t size, std::size_t i)
{
    return table.data() + i * size;
}

// Bag index of a header record (preset or instrument): the last two bytes
// before the preset's library fields, or the last two of an instrument.
std::size_t presetBag(const std::vector<unsigned char>& phdr, std::size_t i)
{
    return le16(record(phdr, kPhdrSize, i) + 24);
}

std::size_t instBag(const std::vector<unsigned char>& inst, std::size_t i)
{
    return le16(record(inst, kInstSize, i) + kNameSize);
}

// Index lists must rise and stay inside the table they point into.
bool risingWithin(const std::vector<std::size_t>& indices, std::size_t limit)
{
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (indices[i] > limit || (i > 0 && indices[i] < indices[i - 1]))
            return false;
    }
    return true;
}

// One level (preset or instrument): headers → bags → generators and modulators.
bool levelIsSound(const std::vector<std::size_t>& headerBags, const std::vector<unsigned char>& bags,
                  std::size_t gens, std::size_t mods)
{
    const std::size_t bagCount = records(bags, kBagSize);
    if (!risingWithin(headerBags, bagCount - 1))
        return false;
    std::vector<std::size_t> genIdx, modIdx;
    for (std::size_t i = 0; i < bagCount; ++i) {
        genIdx.push_back(le16(record(bags, kBagSize, i)));
        modIdx.push_back(le16(record(bags, kBagSize, i) + 2));
    }
    return risingWithin(genIdx, gens - 1) && risingWithin(modIdx, mods - 1);
}

// Unused and reserved numbers are no generators at either level; some are
// the instrument's own and ignored in a preset.
bool generatorAllowed(std::uint16_t id, bool presetLevel)
{
    static constexpr std::array<std::uint16_t, 7> unused{14, 18, 19, 20, 42, 49, 55};
    static constexpr std::array<std::uint16_t, 13> instrumentOnly{0, 1, 2, 3, 4, 12, 45, 46, 50, 54, 57, 58, 53};
    if (id >= kGenCount || std::find(unused.begin(), unused.end(), id) != unused.end())
        return false;
    return !presetLevel || std::find(instrumentOnly.begin(), instrumentOnly.end(), id) == instrumentOnly.end();
}

// One zone's generators and modulators as a synthesizer reads them: a key
// range counts only first, a velocity range only after it, nothing after the
// link, and a repeated generator replaces the earlier one.
Sf2Zone readZone(const unsigned char* gens, std::size_t genCount, const unsigned char* mods, std::size_t modCount,
                 std::uint16_t linkGen, bool presetLevel, long& link)
{
    Sf2Zone zone;
    link = -1;
    int level = 0;
    for (std::size_t g = 0; g < genCount; ++g) {
        const unsigned char* r = gens + g * kGenSize;
        const std::uint16_t id = le16(r);
        if (id == kGenKeyRange) {
            if (level == 0) {
                level = 1;
                zone.keyLow = r[2];
                zone.keyHigh = r[3];
            }
        } else if (id == kGenVelocityRange) {
            if (level <= 1) {
                level = 2;
                zone.velocityLow = r[2];
                zone.velocityHigh = r[3];
            }
        } else if (id == linkGen) {
            link = le16(r + 2);
            break;
        } else {
            level = 2;
            if (!generatorAllowed(id, presetLevel) || id == kGenInstrument || id == kGenSampleId)
                continue;
            const auto value = saneAmount(id, static_cast<std::int16_t>(le16(r + 2)));
            auto same = std::find_if(zone.generators.begin(), zone.generators.end(),
                                     [id](const auto& gen) { return gen.first == id; });
            if (same != zone.generators.end())
                same->second = value;
            else
                zone.generators.emplace_back(id, value);
        }
    }
    for (std::size_t m = 0; m < modCount; ++m) {
        const unsigned char* r = mods + m * kModSize;
        zone.modulators.push_back({le16(r), le16(r + 2), static_cast<std::int16_t>(le16(r + 4)), le16(r + 6),
                                   le16(r + 8)});
    }
    return zone;
}

} // namespace

Sf2File::~Sf2File()
{
    if (m_map) {
        unwatchMapping(m_map);
        ::munmap(m_map, m_mapSize);
    }
    if (m_fd >= 0)
        ::close(m_fd);
}

std::shared_ptr<const Sf2File> Sf2File::open(const std::string& path, std::string* error)
{
    std::shared_ptr<Sf2File> file(new Sf2File);
    file->m_path = path;
    std::string why;
    file->m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file->m_fd < 0)
        why = "cannot open the file: " + std::string(std::strerror(errno));
    else if (!file->parse(why) && why.empty())
        why = "not a SoundFont 2 file";
    if (!why.empty()) {
        if (error)
            *error = why;
        return nullptr;
    }
    return file;
}

bool Sf2File::parse(std::string& error)
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    m_fileSize = std::uint64_t(st.st_size);

    unsigned char head[12];
    if (!readAt(m_fd, 0, head, sizeof head) || std::memcmp(head, "RIFF", 4) != 0
        || std::memcmp(head + 8, "sfbk", 4) != 0)
        return false;
    const std::uint64_t riffEnd = std::min<std::uint64_t>(8 + std::uint64_t(le32(head + 4)), m_fileSize);

    bool haveSmpl = false;
    bool havePdta = false;
    std::uint64_t at = 12;
    while (at + 12 <= riffEnd) {
        unsigned char list[12];
        if (!readAt(m_fd, at, list, sizeof list))
            return false;
        const std::uint64_t size = le32(list + 4);
        const std::uint64_t end = at + 8 + size;
        if (end > riffEnd)
            break; // a truncated last chunk: use what came before it
        if (std::memcmp(list, "LIST", 4) == 0) {
            // Sub-chunks of this list.
            std::uint64_t sub = at + 12;
            while (sub + 8 <= end) {
                unsigned char ch[8];
                if (!readAt(m_fd, sub, ch, sizeof ch))
                    return false;
                const std::uint64_t subSize = le32(ch + 4);
                const std::uint64_t data = sub + 8;
                if (data + subSize > end)
                    return false;
                if (std::memcmp(list + 8, "INFO", 4) == 0 && std::memcmp(ch, "ifil", 4) == 0 && subSize >= 2) {
                    unsigned char v[2];
                    if (!readAt(m_fd, data, v, 2))
                        return false;
                    if (le16(v) >= 3)
                        m_extractable = false; // SoundFont 3: compressed samples
                } else if (std::memcmp(list + 8, "sdta", 4) == 0) {
                    if (std::memcmp(ch, "smpl", 4) == 0) {
                        m_smplOffset = data;
                        m_smplSize = subSize;
                        haveSmpl = true;
                    } else if (std::memcmp(ch, "sm24", 4) == 0 && subSize > 0) {
                        m_extractable = false; // 24-bit samples: keep them exact by loading whole
                    }
                } else if (std::memcmp(list + 8, "pdta", 4) == 0) {
                    static const std::array<std::pair<const char*, std::vector<unsigned char> Sf2File::*>, 9> tables{{
                        {"phdr", &Sf2File::m_phdr}, {"pbag", &Sf2File::m_pbag}, {"pmod", &Sf2File::m_pmod},
                        {"pgen", &Sf2File::m_pgen}, {"inst", &Sf2File::m_inst}, {"ibag", &Sf2File::m_ibag},
                        {"imod", &Sf2File::m_imod}, {"igen", &Sf2File::m_igen}, {"shdr", &Sf2File::m_shdr},
                    }};
                    for (const auto& [id, member] : tables) {
                        if (std::memcmp(ch, id, 4) != 0)
                            continue;
                        if (subSize > kMaxPdtaSize)
                            return false;
                        (this->*member).resize(std::size_t(subSize));
                        if (!readAt(m_fd, data, (this->*member).data(), std::size_t(subSize)))
                            return false;
                    }
                    havePdta = true;
                }
                sub = data + subSize + (subSize & 1);
            }
        }
        at = end + (size & 1);
    }
    if (!haveSmpl || !havePdta)
        return false;

    // Every table holds whole records and at least its terminal record.
    const std::array<std::pair<const std::vector<unsigned char>*, std::size_t>, 9> sizes{{
        {&m_phdr, kPhdrSize}, {&m_pbag, kBagSize}, {&m_pmod, kModSize}, {&m_pgen, kGenSize},
        {&m_inst, kInstSize}, {&m_ibag, kBagSize}, {&m_imod, kModSize}, {&m_igen, kGenSize},
        {&m_shdr, kShdrSize},
    }};
    for (const auto& [table, size] : sizes) {
        if (table->size() % size != 0 || table->size() / size < 1) {
            error = "damaged preset tables";
            return false;
        }
    }
    if (records(m_phdr, kPhdrSize) < 2) {
        error = "no presets";
        return false;
    }
    std::vector<std::size_t> presetBags, instBags;
    for (std::size_t i = 0; i < records(m_phdr, kPhdrSize); ++i)
        presetBags.push_back(presetBag(m_phdr, i));
    for (std::size_t i = 0; i < records(m_inst, kInstSize); ++i)
        instBags.push_back(instBag(m_inst, i));
    if (!levelIsSound(presetBags, m_pbag, records(m_pgen, kGenSize), records(m_pmod, kModSize))
        || !levelIsSound(instBags, m_ibag, records(m_igen, kGenSize), records(m_imod, kModSize))) {
        error = "damaged preset tables";
        return false;
    }
    for (std::size_t i = 0; i + 1 < records(m_shdr, kShdrSize); ++i)
        if (le16(record(m_shdr, kShdrSize, i) + 44) & kSampleCompressed)
            m_extractable = false;
    return true;
}

int Sf2File::findPreset(int bank, int program) const
{
    for (std::size_t i = 0; i + 1 < records(m_phdr, kPhdrSize); ++i) {
        const unsigned char* r = record(m_phdr, kPhdrSize, i);
        if (le16(r + kNameSize) == program && le16(r + kNameSize + 2) == bank)
            return int(i);
    }
    return -1;
}

bool Sf2File::hasPreset(int bank, int program) const
{
    return findPreset(bank, program) >= 0;
}

void Sf2Image::add(Kind kind, std::uint64_t length, std::uint64_t from)
{
    if (length == 0)
        return;
    m_pieces.push_back({m_size, length, kind, from});
    m_size += length;
}

std::unique_ptr<Sf2Image> Sf2File::extract(int bank, int program) const
{
    const int preset = findPreset(bank, program);
    if (preset < 0 || !m_extractable)
        return nullptr;

    const std::size_t instCount = records(m_inst, kInstSize) - 1;
    const std::size_t sampleCount = records(m_shdr, kShdrSize) - 1;
    const std::uint64_t points = m_smplSize / 2;

    // One level of zones copied with their generators rewritten by `remap`;
    // returns false when a generator points outside its table.
    struct Level {
        std::vector<unsigned char> bags, mods, gens;
    };
    auto copyZones = [](Level& out, const std::vector<unsigned char>& bags, const std::vector<unsigned char>& mods,
                        const std::vector<unsigned char>& gens, std::size_t firstBag, std::size_t endBag,
                        std::uint16_t linkGen, auto&& remap) {
        for (std::size_t b = firstBag; b < endBag; ++b) {
            put16(out.bags, std::uint32_t(out.gens.size() / kGenSize));
            put16(out.bags, std::uint32_t(out.mods.size() / kModSize));
            const std::size_t g0 = le16(record(bags, kBagSize, b)), g1 = le16(record(bags, kBagSize, b + 1));
            const std::size_t m0 = le16(record(bags, kBagSize, b) + 2), m1 = le16(record(bags, kBagSize, b + 1) + 2);
            out.mods.insert(out.mods.end(), record(mods, kModSize, m0), record(mods, kModSize, m1));
            for (std::size_t g = g0; g < g1; ++g) {
                const unsigned char* r = record(gens, kGenSize, g);
                std::array<unsigned char, kGenSize> copy{r[0], r[1], r[2], r[3]};
                set16(copy.data() + 2, std::uint16_t(saneAmount(le16(r), std::int16_t(le16(r + 2)))));
                if (le16(r) == linkGen) {
                    const long mapped = remap(le16(r + 2));
                    if (mapped < 0)
                        return false;
                    set16(copy.data() + 2, std::uint32_t(mapped));
                }
                out.gens.insert(out.gens.end(), copy.begin(), copy.end());
            }
        }
        return true;
    };

    // Preset level: instruments numbered in order of first use.
    std::vector<std::size_t> instruments;
    std::map<std::size_t, std::size_t> instIndex;
    Level presetLevel;
    const bool presetOk = copyZones(presetLevel, m_pbag, m_pmod, m_pgen, presetBag(m_phdr, std::size_t(preset)),
                                    presetBag(m_phdr, std::size_t(preset) + 1), kGenInstrument,
                                    [&](std::size_t i) -> long {
                                        if (i >= instCount)
                                            return -1;
                                        auto [it, added] = instIndex.emplace(i, instruments.size());
                                        if (added)
                                            instruments.push_back(i);
                                        return long(it->second);
                                    });
    if (!presetOk)
        return nullptr;

    // Instrument level: samples numbered in order of first use.
    std::vector<std::size_t> samples;
    std::map<std::size_t, std::size_t> sampleIndex;
    Level instLevel;
    std::vector<unsigned char> instHeaders;
    for (std::size_t i : instruments) {
        const unsigned char* r = record(m_inst, kInstSize, i);
        instHeaders.insert(instHeaders.end(), r, r + kNameSize);
        put16(instHeaders, std::uint32_t(instLevel.bags.size() / kBagSize));
        const bool ok = copyZones(instLevel, m_ibag, m_imod, m_igen, instBag(m_inst, i), instBag(m_inst, i + 1),
                                  kGenSampleId, [&](std::size_t s) -> long {
                                      if (s >= sampleCount)
                                          return -1;
                                      auto [it, added] = sampleIndex.emplace(s, samples.size());
                                      if (added)
                                          samples.push_back(s);
                                      return long(it->second);
                                  });
        if (!ok)
            return nullptr;
    }

    auto image = std::unique_ptr<Sf2Image>(new Sf2Image);
    image->m_source = shared_from_this();

    // Sample headers and where each sample's data lies in the image.
    struct Span {
        std::uint64_t lead = 0, from = 0, count = 0, trail = 0;
    };
    std::vector<Span> spans;
    std::vector<unsigned char> shdr;
    std::uint64_t smplPoints = 0;
    constexpr std::uint64_t G = kGuardPoints;
    for (std::size_t s : samples) {
        const unsigned char* r = record(m_shdr, kShdrSize, s);
        std::array<unsigned char, kShdrSize> h{};
        std::copy(r, r + kShdrSize, h.begin());
        const std::uint64_t start = le32(r + 20), end = le32(r + 24);
        const std::uint16_t type = le16(r + 44);
        Span span;
        if ((type & kSampleRom) || end > points || end < start + 4) {
            // Unusable in the file too; zero positions make the synthesizer skip it alike.
            for (std::size_t f = 20; f < 36; f += 4)
                set32(h.data() + f, 0);
        } else {
            const std::uint64_t from = start >= G ? start - G : 0;
            const std::uint64_t to = std::min(points, end + G);
            span = {G - (start - from), from, to - from, G - (to - end)};
            const std::int64_t shift = std::int64_t(smplPoints + G) - std::int64_t(start);
            const std::uint64_t total = smplPoints + span.lead + span.count + span.trail;
            const auto [loopStart, loopEnd] =
                saneLoop(std::uint32_t(start), std::uint32_t(end), le32(r + 28), le32(r + 32));
            const std::uint32_t positions[4] = {std::uint32_t(start), std::uint32_t(end), loopStart, loopEnd};
            for (std::size_t f = 20, i = 0; f < 36; f += 4, ++i)
                set32(h.data() + f, std::uint32_t(std::int64_t(positions[i]) + shift));
            smplPoints = total;
        }
        set32(h.data() + 36, std::clamp(le32(r + 36), kMinSampleRate, kMaxSampleRate));
        h[41] = std::uint8_t(std::clamp<int>(static_cast<std::int8_t>(r[41]), -kMaxCorrection, kMaxCorrection));
        // A stereo partner left out of the preset is no partner.
        const std::uint16_t link = le16(r + 42);
        auto partner = sampleIndex.find(link);
        set16(h.data() + 42, partner == sampleIndex.end() ? 0 : std::uint32_t(partner->second));
        shdr.insert(shdr.end(), h.begin(), h.end());
        spans.push_back(span);
    }

    // Terminal records.
    auto terminal = [](std::vector<unsigned char>& v, std::size_t size, const char* name) {
        const std::size_t at = v.size();
        v.resize(at + size, 0);
        if (name)
            std::memcpy(v.data() + at, name, std::strlen(name));
        return v.data() + at;
    };
    put16(presetLevel.bags, std::uint32_t(presetLevel.gens.size() / kGenSize));
    put16(presetLevel.bags, std::uint32_t(presetLevel.mods.size() / kModSize));
    terminal(presetLevel.mods, kModSize, nullptr);
    terminal(presetLevel.gens, kGenSize, nullptr);
    put16(instLevel.bags, std::uint32_t(instLevel.gens.size() / kGenSize));
    put16(instLevel.bags, std::uint32_t(instLevel.mods.size() / kModSize));
    terminal(instLevel.mods, kModSize, nullptr);
    terminal(instLevel.gens, kGenSize, nullptr);
    set16(terminal(instHeaders, kInstSize, "EOI") + kNameSize, std::uint32_t(instLevel.bags.size() / kBagSize - 1));
    terminal(shdr, kShdrSize, "EOS");

    std::vector<unsigned char> phdr(record(m_phdr, kPhdrSize, std::size_t(preset)),
                                    record(m_phdr, kPhdrSize, std::size_t(preset)) + kPhdrSize);
    set16(phdr.data() + 24, 0);
    set16(terminal(phdr, kPhdrSize, "EOP") + 24, std::uint32_t(presetLevel.bags.size() / kBagSize - 1));

    // INFO: version 2.01, the sound engine, and the preset's name.
    std::string name(reinterpret_cast<const char*>(phdr.data()), kNameSize);
    name = name.substr(0, name.find('\0'));
    std::vector<unsigned char> info;
    putId(info, "INFO");
    putId(info, "ifil");
    put32(info, 4);
    put16(info, 2);
    put16(info, 1);
    putId(info, "isng");
    put32(info, 8);
    info.insert(info.end(), {'E', 'M', 'U', '8', '0', '0', '0', 0});
    putId(info, "INAM");
    const std::size_t nameSize = (name.size() + 2) & ~std::size_t(1);
    put32(info, std::uint32_t(nameSize));
    info.insert(info.end(), name.begin(), name.end());
    info.resize(info.size() + nameSize - name.size(), 0);

    std::vector<unsigned char> pdta;
    putId(pdta, "pdta");
    const std::array<std::pair<const char*, const std::vector<unsigned char>*>, 9> chunks{{
        {"phdr", &phdr}, {"pbag", &presetLevel.bags}, {"pmod", &presetLevel.mods}, {"pgen", &presetLevel.gens},
        {"inst", &instHeaders}, {"ibag", &instLevel.bags}, {"imod", &instLevel.mods}, {"igen", &instLevel.gens},
        {"shdr", &shdr},
    }};
    for (const auto& [id, chunk] : chunks) {
        putId(pdta, id);
        put32(pdta, std::uint32_t(chunk->size()));
        pdta.insert(pdta.end(), chunk->begin(), chunk->end());
    }

    const std::uint64_t smplBytes = smplPoints * 2;
    const std::uint64_t sdtaSize = 4 + 8 + smplBytes;
    const std::uint64_t riffSize = 4 + (8 + info.size()) + (8 + sdtaSize) + (8 + pdta.size());
    if (riffSize > 0xFFFFFFFFull)
        return nullptr;

    std::vector<unsigned char>& bytes = image->m_bytes;
    putId(bytes, "RIFF");
    put32(bytes, std::uint32_t(riffSize));
    putId(bytes, "sfbk");
    putId(bytes, "LIST");
    put32(bytes, std::uint32_t(info.size()));
    bytes.insert(bytes.end(), info.begin(), info.end());
    putId(bytes, "LIST");
    put32(bytes, std::uint32_t(sdtaSize));
    putId(bytes, "sdta");
    putId(bytes, "smpl");
    put32(bytes, std::uint32_t(smplBytes));
    const std::size_t head = bytes.size();
    putId(bytes, "LIST");
    put32(bytes, std::uint32_t(pdta.size()));
    bytes.insert(bytes.end(), pdta.begin(), pdta.end());

    image->add(Sf2Image::Kind::Bytes, head, 0);
    for (const Span& span : spans) {
        image->add(Sf2Image::Kind::Zero, span.lead * 2, 0);
        image->add(Sf2Image::Kind::Source, span.count * 2, m_smplOffset + span.from * 2);
        image->add(Sf2Image::Kind::Zero, span.trail * 2, 0);
    }
    image->add(Sf2Image::Kind::Bytes, bytes.size() - head, head);
    image->m_sampleBytes = smplBytes;
    return image;
}

std::optional<Sf2Preset> Sf2File::preset(int bank, int program) const
{
    const int found = findPreset(bank, program);
    if (found < 0)
        return std::nullopt;
    const auto p = std::size_t(found);
    const std::size_t instCount = records(m_inst, kInstSize) - 1;
    const std::size_t sampleCount = records(m_shdr, kShdrSize) - 1;
    const std::uint64_t points = pointCount();

    Sf2Preset out;
    const unsigned char* header = record(m_phdr, kPhdrSize, p);
    out.name.assign(reinterpret_cast<const char*>(header), kNameSize);
    out.name.resize(std::strlen(out.name.c_str()));
    out.bank = bank;
    out.program = program;

    // Zones of one header, in file order: the first is the global zone when it
    // has no link; any later zone without one is dropped.
    auto zonesOf = [](const std::vector<unsigned char>& bags, const std::vector<unsigned char>& gens,
                      const std::vector<unsigned char>& mods, std::size_t firstBag, std::size_t endBag,
                      std::uint16_t linkGen, bool presetLevel, auto&& accept, std::optional<Sf2Zone>& global,
                      std::vector<Sf2Zone>& zones) {
        for (std::size_t b = firstBag; b < endBag; ++b) {
            const std::size_t g0 = le16(record(bags, kBagSize, b)), g1 = le16(record(bags, kBagSize, b + 1));
            const std::size_t m0 = le16(record(bags, kBagSize, b) + 2), m1 = le16(record(bags, kBagSize, b + 1) + 2);
            long link = -1;
            Sf2Zone zone = readZone(record(gens, kGenSize, g0), g1 - g0, record(mods, kModSize, m0), m1 - m0,
                                    linkGen, presetLevel, link);
            const int accepted = link < 0 ? -1 : accept(std::size_t(link));
            if (accepted == -2)
                return false;
            zone.link = accepted;
            if (zone.link < 0) {
                if (b == firstBag)
                    global = std::move(zone);
                continue;
            }
            zones.push_back(std::move(zone));
        }
        return true;
    };

    std::map<std::size_t, int> instIndex;
    std::vector<std::size_t> instruments;
    auto acceptInstrument = [&](std::size_t i) -> int {
        if (i >= instCount)
            return -2;
        auto [it, added] = instIndex.emplace(i, int(instruments.size()));
        if (added)
            instruments.push_back(i);
        return it->second;
    };
    if (!zonesOf(m_pbag, m_pgen, m_pmod, presetBag(m_phdr, p), presetBag(m_phdr, p + 1), kGenInstrument, true,
                 acceptInstrument, out.global, out.zones))
        return std::nullopt;

    std::map<std::size_t, int> sampleIndex;
    auto acceptSample = [&](std::size_t s) -> int {
        if (s >= sampleCount)
            return -2;
        if (auto it = sampleIndex.find(s); it != sampleIndex.end())
            return it->second;
        const unsigned char* r = record(m_shdr, kShdrSize, s);
        const std::uint32_t start = le32(r + 20), end = le32(r + 24);
        const std::uint16_t type = le16(r + 44);
        // What a synthesizer cannot play makes a zone without a sample.
        if ((type & (kSampleRom | kSampleCompressed)) || (type & ~kSampleKnownFlags) || end > points
            || std::uint64_t(start) + 4 > end) {
            sampleIndex.emplace(s, -1);
            return -1;
        }
        Sf2Sample sample;
        sample.name.assign(reinterpret_cast<const char*>(r), kNameSize);
        sample.name.resize(std::strlen(sample.name.c_str()));
        sample.start = start;
        sample.end = end;
        std::tie(sample.loopStart, sample.loopEnd) = saneLoop(start, end, le32(r + 28), le32(r + 32));
        sample.rate = std::clamp(le32(r + 36), kMinSampleRate, kMaxSampleRate);
        sample.rootKey = r[40] <= 127 ? r[40] : 60; // 255: unpitched
        sample.correction = std::clamp<int>(static_cast<std::int8_t>(r[41]), -kMaxCorrection, kMaxCorrection);
        const int index = int(out.samples.size());
        out.samples.push_back(std::move(sample));
        sampleIndex.emplace(s, index);
        return index;
    };
    for (std::size_t i : instruments) {
        Sf2Instrument inst;
        if (!zonesOf(m_ibag, m_igen, m_imod, instBag(m_inst, i), instBag(m_inst, i + 1), kGenSampleId, false,
                     acceptSample, inst.global, inst.zones))
            return std::nullopt;
        out.instruments.push_back(std::move(inst));
    }
    return out;
}

unsigned Sf2File::lostPages()
{
    return g_lostPages.load(std::memory_order_relaxed);
}

bool Sf2File::readPoints(std::uint64_t first, std::size_t count, std::int16_t* to) const
{
    if (first > pointCount() || count > pointCount() - first)
        return false;
    return readAt(m_fd, m_smplOffset + first * 2, to, count * 2);
}

const std::int16_t* Sf2File::samplePoints() const
{
    std::call_once(m_mapOnce, [this] {
        if constexpr (std::endian::native != std::endian::little)
            return;
        if (m_smplSize < 2 || m_smplOffset + m_smplSize > m_fileSize)
            return;
        const auto page = std::uint64_t(::sysconf(_SC_PAGESIZE));
        const std::uint64_t from = m_smplOffset / page * page;
        const std::size_t size = std::size_t(m_smplOffset + m_smplSize - from);
        void* at = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, m_fd, off_t(from));
        if (at == MAP_FAILED)
            return;
        watchMapping(at, size);
        m_map = at;
        m_mapSize = size;
        m_mapLead = std::size_t(m_smplOffset - from);
    });
    if (!m_map || m_mapLead % 2 != 0)
        return nullptr;
    return reinterpret_cast<const std::int16_t*>(static_cast<const unsigned char*>(m_map) + m_mapLead);
}

bool Sf2Image::read(std::uint64_t offset, void* to, std::size_t count) const
{
    if (offset > m_size || count > m_size - offset)
        return false;
    auto* out = static_cast<unsigned char*>(to);
    auto piece = std::upper_bound(m_pieces.begin(), m_pieces.end(), offset,
                                  [](std::uint64_t at, const Piece& p) { return at < p.at; });
    if (piece != m_pieces.begin())
        --piece;
    bool hooked = false;
    while (count > 0 && piece != m_pieces.end()) {
        const std::uint64_t inside = offset - piece->at;
        const std::size_t n = std::size_t(std::min<std::uint64_t>(count, piece->length - inside));
        switch (piece->kind) {
        case Kind::Bytes: std::memcpy(out, m_bytes.data() + piece->from + inside, n); break;
        case Kind::Zero: std::memset(out, 0, n); break;
        case Kind::Source:
            if (m_hook && !hooked) {
                hooked = true;
                m_hook();
            }
            if (!readAt(m_source->m_fd, piece->from + inside, out, n))
                return false;
            break;
        }
        out += n;
        offset += n;
        count -= n;
        ++piece;
    }
    return count == 0;
}

} // namespace mmsys::synth
