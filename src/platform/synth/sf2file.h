// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A SoundFont 2 file read for its preset tables only, and any one preset cut
// out as a small SoundFont of its own whose sample data is read from the file
// only when the synthesizer asks for it. Nothing here knows FluidSynth.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace mmsys::synth {

class Sf2Image;

// A modulator record as the file stores it.
struct Sf2Modulator {
    std::uint16_t source = 0;
    std::uint16_t destination = 0;
    std::int16_t amount = 0;
    std::uint16_t amountSource = 0;
    std::uint16_t transform = 0;
};

// One zone of a preset or an instrument after the format's loading rules:
// ranges taken out, generators out of place or repeated resolved, the zone's
// instrument or sample as `link`.
struct Sf2Zone {
    int keyLow = 0, keyHigh = 128, velocityLow = 0, velocityHigh = 128;
    std::vector<std::pair<std::uint16_t, std::int16_t>> generators;
    std::vector<Sf2Modulator> modulators;
    int link = -1; // index into Sf2Preset::instruments or ::samples
};

struct Sf2Instrument {
    std::optional<Sf2Zone> global;
    std::vector<Sf2Zone> zones;
};

// A usable sample: positions in points of the sample chunk, end and loop end
// one past the last point, the loop already made safe.
struct Sf2Sample {
    std::string name;
    std::uint32_t start = 0, end = 0, loopStart = 0, loopEnd = 0;
    std::uint32_t rate = 0;
    int rootKey = 60;
    int correction = 0; // cents
};

// Everything one preset plays, with only the instruments and samples it uses.
struct Sf2Preset {
    std::string name;
    int bank = 0, program = 0;
    std::optional<Sf2Zone> global;
    std::vector<Sf2Zone> zones;
    std::vector<Sf2Instrument> instruments;
    std::vector<Sf2Sample> samples;
};

class Sf2File : public std::enable_shared_from_this<Sf2File> {
public:
    // Reads the chunk layout and the preset tables; null, with the reason in
    // `error`, when the file is missing or no well-formed SoundFont 2.
    static std::shared_ptr<const Sf2File> open(const std::string& path, std::string* error = nullptr);
    ~Sf2File();
    Sf2File(const Sf2File&) = delete;
    Sf2File& operator=(const Sf2File&) = delete;

    const std::string& path() const { return m_path; }
    // False for compressed or 24-bit sample data, which must be loaded whole.
    bool extractable() const { return m_extractable; }
    bool hasPreset(int bank, int program) const;
    std::uint64_t sampleBytes() const { return m_smplSize; }

    // The preset with its instruments and samples as a SoundFont 2 image;
    // null when the preset does not exist or the file cannot be cut up.
    std::unique_ptr<Sf2Image> extract(int bank, int program) const;

    // The preset as zones over the file's sample points; none when it does not
    // exist or points outside the file's tables.
    std::optional<Sf2Preset> preset(int bank, int program) const;
    // The sample chunk mapped read-only as 16-bit points (little-endian, as
    // this machine's): a page comes into memory when it is first played, and
    // the system may drop it again, since the file holds it. Null when the
    // file cannot be mapped.
    const std::int16_t* samplePoints() const;
    std::uint64_t pointCount() const { return m_smplSize / 2; }
    // Pages of mapped sample chunks that their file no longer held when they
    // were read (the file was cut or rewritten in place while it played):
    // each reads as silence instead of bringing the program down.
    static unsigned lostPages();
    // Copies sample points with a plain read, leaving the mapping untouched.
    bool readPoints(std::uint64_t first, std::size_t count, std::int16_t* to) const;

    // Guard points kept before and after every sample: the SoundFont format
    // pads each sample with 46, and the interpolator reads a few of them.
    static constexpr std::uint32_t kGuardPoints = 46;

private:
    Sf2File() = default;
    bool parse(std::string& error);
    int findPreset(int bank, int program) const;

    std::string m_path;
    int m_fd = -1;
    std::uint64_t m_fileSize = 0;
    std::uint64_t m_smplOffset = 0;
    std::uint64_t m_smplSize = 0;
    bool m_extractable = true;
    mutable std::once_flag m_mapOnce;
    mutable void* m_map = nullptr;
    mutable std::size_t m_mapSize = 0;
    mutable std::size_t m_mapLead = 0; // bytes from the mapping's start to the first point
    // Raw records of the preset data chunks, each without its terminal record
    // counted out: index i of a table is valid when i + 1 < its record count.
    std::vector<unsigned char> m_phdr, m_pbag, m_pmod, m_pgen, m_inst, m_ibag, m_imod, m_igen, m_shdr;

    friend class Sf2Image;
};

// A SoundFont 2 file held as a list of pieces: header bytes in memory, zero
// padding, and ranges of the source file read on demand.
class Sf2Image {
public:
    std::uint64_t size() const { return m_size; }
    // Copies `count` bytes from `offset`; false when the range leaves the
    // image or the source cannot be read.
    bool read(std::uint64_t offset, void* to, std::size_t count) const;
    // Bytes of sample data the image carries.
    std::uint64_t sampleBytes() const { return m_sampleBytes; }
    // Called before every read from the source file (a test holds a load here).
    void setReadHook(std::function<void()> hook) { m_hook = std::move(hook); }

private:
    friend class Sf2File;
    enum class Kind { Bytes, Zero, Source };
    struct Piece {
        std::uint64_t at;     // offset in the image
        std::uint64_t length;
        Kind kind;
        std::uint64_t from;   // offset in m_bytes or in the source file
    };
    void add(Kind kind, std::uint64_t length, std::uint64_t from);

    std::shared_ptr<const Sf2File> m_source;
    std::vector<unsigned char> m_bytes;
    std::vector<Piece> m_pieces;
    std::uint64_t m_size = 0;
    std::uint64_t m_sampleBytes = 0;
    std::function<void()> m_hook;
};

} // namespace mmsys::synth
