// SPDX-License-Identifier: GPL-3.0-or-later
#include "pitch/wavfile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace pitch {

namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr int kMinRate = 8000;
constexpr int kMaxRate = 192000;
constexpr int kMaxChannels = 32;
// The format description is read up to here; what follows in its chunk is skipped.
constexpr qint64 kFmtBytes = 40;
// Bytes of other chunks a stream may put before the sound: a pipe cannot seek past them.
constexpr qint64 kMaxStreamSkip = qint64(16) << 20;
// Frames decoded at a time when a whole file is read.
constexpr std::size_t kBlockFrames = 16384;
// Float samples beyond this (a damaged or hot file) are clipped, so a mean stays finite.
constexpr double kMaxFloatSample = 64.0;
// The extensible format's subformat GUID after its first four bytes (the format tag):
// KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT share it.
constexpr char kGuidTail[12] = {'\x00', '\x00', '\x10', '\x00', '\x80', '\x00',
                                '\x00', '\xAA', '\x00', '\x38', '\x9B', '\x71'};

// The context lupdate gives these texts (the namespace); member functions of
// the reader name it too, or lupdate would file them under the class.
QString tr(const char* text)
{
    return QCoreApplication::translate("pitch", text);
}

std::uint16_t u16(const char* p)
{
    return std::uint16_t(std::uint8_t(p[0]) | (std::uint8_t(p[1]) << 8));
}

std::uint32_t u32(const char* p)
{
    return std::uint32_t(std::uint8_t(p[0])) | (std::uint32_t(std::uint8_t(p[1])) << 8)
        | (std::uint32_t(std::uint8_t(p[2])) << 16) | (std::uint32_t(std::uint8_t(p[3])) << 24);
}

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

double finite(double v)
{
    return std::isfinite(v) ? std::clamp(v, -kMaxFloatSample, kMaxFloatSample) : 0.0;
}

double sampleAt(const char* p, int bits, bool isFloat)
{
    if (isFloat) {
        if (bits == 32) {
            float f;
            const std::uint32_t v = u32(p);
            std::memcpy(&f, &v, sizeof f);
            return finite(f);
        }
        const std::uint64_t v = std::uint64_t(u32(p)) | (std::uint64_t(u32(p + 4)) << 32);
        double d;
        std::memcpy(&d, &v, sizeof d);
        return finite(d);
    }
    switch (bits) {
    case 8:
        return double(int(std::uint8_t(p[0])) - 128) / 128.0; // 8-bit WAV is unsigned
    case 16:
        return double(std::int16_t(u16(p))) / 32768.0;
    case 24: {
        std::int32_t v = std::int32_t(std::uint8_t(p[0]) | (std::uint8_t(p[1]) << 8) | (std::uint8_t(p[2]) << 16));
        if (v & 0x800000)
            v -= 0x1000000;
        return double(v) / 8388608.0;
    }
    default:
        return double(std::int32_t(u32(p))) / 2147483648.0;
    }
}

QString tooLong(int seconds)
{
    return tr("запись длиннее %1 мин: проверьте её по частям").arg((seconds + 59) / 60);
}

} // namespace

struct WavReader::Private {
    QIODevice* device = nullptr;
    std::unique_ptr<QFile> file;
    bool sequential = false;
    WavAudio format;
    int blockAlign = 0;
    int bytesPerSample = 0;
    qint64 remaining = 0;   // bytes of the data chunk not yet read
    qint64 framesRead = 0;
    double maxSeconds = kMaxWavSeconds;
    qint64 skipped = 0;     // bytes of a stream passed over before the sound
    bool broken = false;
    QByteArray block;

    qint64 maxFrames() const { return qint64(maxSeconds * format.sampleRate); }

    // Reads up to n bytes, waiting for a pipe to bring them; fewer only at the end.
    qint64 readFully(char* to, qint64 n)
    {
        qint64 got = 0;
        while (got < n) {
            const qint64 r = device->read(to + got, n - got);
            if (r < 0) {
                broken = true;
                break;
            }
            if (r == 0) // the end: a file's read of a pipe waits for its writer
                break;
            got += r;
        }
        return got;
    }

    // Passes over n bytes: a seek in a file, a bounded read in a stream.
    bool skip(qint64 n, QString* error)
    {
        if (!sequential)
            return device->seek(std::min(device->pos() + n, device->size())) || fail(error, readError());
        skipped += n;
        if (skipped > kMaxStreamSkip)
            return fail(error, QCoreApplication::translate("pitch", "перед звуком слишком много других данных"));
        char sink[4096];
        while (n > 0) {
            const qint64 r = readFully(sink, std::min<qint64>(n, sizeof sink));
            if (r <= 0)
                break;
            n -= r;
        }
        return !broken || fail(error, readError());
    }

    QString readError() const
    {
        return QCoreApplication::translate("pitch", "не удаётся прочитать файл: %1").arg(device->errorString());
    }

    bool readHeader(QString* error);
};

bool WavReader::Private::readHeader(QString* error)
{
    char riff[12];
    if (readFully(riff, 12) < 12 || std::memcmp(riff, "RIFF", 4) != 0)
        return fail(error, broken ? readError()
                                  : QCoreApplication::translate("pitch", "это не файл WAV (нет заголовка RIFF)"));
    if (std::memcmp(riff + 8, "WAVE", 4) != 0)
        return fail(error, QCoreApplication::translate("pitch", "файл RIFF не содержит звука WAVE"));

    QByteArray fmt;
    bool haveFmt = false;
    qint64 dataPos = -1, dataSize = 0;
    for (;;) {
        char head[8];
        if (readFully(head, 8) < 8)
            break;
        const qint64 chunkSize = u32(head + 4);
        const qint64 padded = chunkSize + (chunkSize & 1); // chunks are padded to even sizes
        if (std::memcmp(head, "fmt ", 4) == 0 && !haveFmt) {
            haveFmt = true;
            fmt.resize(std::min(chunkSize, kFmtBytes));
            fmt.resize(readFully(fmt.data(), fmt.size()));
            if (!skip(padded - fmt.size(), error))
                return false;
        } else if (std::memcmp(head, "data", 4) == 0 && dataPos < 0) {
            dataPos = sequential ? 0 : device->pos();
            dataSize = chunkSize;
            // A stream cannot come back: its format must have come first.
            if (haveFmt || sequential)
                break;
            if (!skip(padded, error))
                return false;
        } else if (!skip(padded, error)) {
            return false;
        }
        if (haveFmt && dataPos >= 0)
            break;
    }
    if (broken)
        return fail(error, readError());
    if (!haveFmt)
        return fail(error, QCoreApplication::translate("pitch", "в файле нет описания формата (блок fmt)"));
    if (fmt.size() < 16)
        return fail(error, QCoreApplication::translate("pitch", "описание формата (блок fmt) обрезано"));
    if (dataPos < 0)
        return fail(error, QCoreApplication::translate("pitch", "в файле нет звука (блок data)"));

    const char* f = fmt.constData();
    std::uint32_t tag = u16(f);
    const int channels = u16(f + 2);
    const std::uint32_t rate = u32(f + 4);
    blockAlign = u16(f + 12);
    const int bits = u16(f + 14);
    if (tag == kFormatExtensible) {
        if (fmt.size() < 40)
            return fail(error,
                        QCoreApplication::translate("pitch", "описание формата WAVE_FORMAT_EXTENSIBLE обрезано"));
        // The subformat GUID: the plain format tag in its first four bytes, then a fixed tail.
        tag = u32(f + 24);
        if (std::memcmp(f + 28, kGuidTail, sizeof kGuidTail) != 0)
            return fail(error, QCoreApplication::translate(
                                   "pitch", "формат звука WAVE_FORMAT_EXTENSIBLE с неизвестным подформатом не поддерживается"));
    }
    if (tag != kFormatPcm && tag != kFormatFloat)
        return fail(error,
                    QCoreApplication::translate("pitch", "формат звука %1 не поддерживается: нужен PCM или float").arg(tag));
    if (channels < 1 || channels > kMaxChannels)
        return fail(error, QCoreApplication::translate("pitch", "недопустимое число каналов: %1").arg(channels));
    if (rate < std::uint32_t(kMinRate) || rate > std::uint32_t(kMaxRate))
        return fail(error, QCoreApplication::translate(
                               "pitch", "частота дискретизации %1 Гц не поддерживается (нужна от %2 до %3 Гц)")
                               .arg(rate)
                               .arg(kMinRate)
                               .arg(kMaxRate));
    const bool isFloat = tag == kFormatFloat;
    const bool bitsOk = isFloat ? (bits == 32 || bits == 64) : (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    if (!bitsOk)
        return fail(error, QCoreApplication::translate("pitch", "разрядность %1 бит не поддерживается").arg(bits));
    bytesPerSample = bits / 8;
    if (blockAlign != channels * bytesPerSample)
        return fail(error, QCoreApplication::translate("pitch", "размер кадра (%1 байт) не соответствует формату")
                               .arg(blockAlign));

    WavAudio& a = format;
    a.sampleRate = int(rate);
    a.channels = channels;
    a.bitsPerSample = bits;
    a.isFloat = isFloat;

    remaining = dataSize;
    if (!sequential) {
        // A streamed or cut file may claim more than it holds: take what is there.
        remaining = std::clamp<qint64>(device->size() - dataPos, 0, dataSize);
        if (!device->seek(dataPos))
            return fail(error, readError());
        if (remaining / blockAlign > maxFrames())
            return fail(error, tooLong(int(maxSeconds)));
    }
    return true;
}

WavReader::WavReader() : d(std::make_unique<Private>()) {}

WavReader::~WavReader() = default;

void WavReader::setMaxSeconds(double seconds)
{
    d->maxSeconds = seconds;
}

const WavAudio& WavReader::format() const
{
    return d->format;
}

bool WavReader::open(const QString& path, QString* error)
{
    d->file = std::make_unique<QFile>(path);
    // Unbuffered: a device or a pipe is read only as far as asked.
    if (!d->file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return fail(error,
                    QCoreApplication::translate("pitch", "не удаётся открыть файл: %1").arg(d->file->errorString()));
    return open(d->file.get(), error);
}

bool WavReader::open(QIODevice* device, QString* error)
{
    d->device = device;
    // A pipe, a FIFO or a character device: its size says nothing, and it cannot seek.
    d->sequential = device->isSequential();
    return d->readHeader(error);
}

bool WavReader::read(std::vector<float>& mono, std::size_t maxFrames, QString* error)
{
    mono.clear();
    const int align = d->blockAlign;
    const qint64 frames = std::min<qint64>(qint64(maxFrames), d->remaining / align);
    if (frames <= 0)
        return true;
    d->block.resize(frames * align);
    const qint64 got = d->readFully(d->block.data(), d->block.size()) / align;
    if (d->broken)
        return fail(error, d->readError());
    if (got < frames)
        d->remaining = 0; // the end came before the chunk said: take the whole frames
    else
        d->remaining -= got * align;
    d->framesRead += got;
    if (d->framesRead > d->maxFrames())
        return fail(error, tooLong(int(d->maxSeconds)));

    const int channels = d->format.channels;
    const int bits = d->format.bitsPerSample;
    const bool isFloat = d->format.isFloat;
    mono.resize(std::size_t(got));
    for (qint64 i = 0; i < got; ++i) {
        const char* frame = d->block.constData() + i * align;
        double sum = 0.0;
        for (int c = 0; c < channels; ++c)
            sum += sampleAt(frame + c * d->bytesPerSample, bits, isFloat);
        mono[std::size_t(i)] = float(sum / channels);
    }
    return true;
}

namespace {

bool readAll(WavReader& reader, WavAudio& out, QString* error)
{
    WavAudio audio = reader.format();
    std::vector<float> block;
    for (;;) {
        if (!reader.read(block, kBlockFrames, error))
            return false;
        if (block.empty())
            break;
        audio.mono.insert(audio.mono.end(), block.begin(), block.end());
    }
    out = std::move(audio);
    return true;
}

} // namespace

bool parseWav(QByteArrayView bytes, WavAudio& out, QString* error)
{
    QByteArray data = QByteArray::fromRawData(bytes.data(), bytes.size());
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    WavReader reader;
    return reader.open(&buffer, error) && readAll(reader, out, error);
}

bool readWav(const QString& path, WavAudio& out, QString* error)
{
    WavReader reader;
    return reader.open(path, error) && readAll(reader, out, error);
}

} // namespace pitch
