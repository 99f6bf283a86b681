// SPDX-License-Identifier: GPL-3.0-or-later
#include "pitch/wavfile.h"

#include <QCoreApplication>
#include <QFile>

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
// Larger files are refused rather than read into memory.
constexpr qint64 kMaxFileBytes = qint64(1) << 31;

// The context lupdate gives these texts (the namespace).
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

float sampleAt(const char* p, int bits, bool isFloat)
{
    if (isFloat) {
        if (bits == 32) {
            float f;
            const std::uint32_t v = u32(p);
            std::memcpy(&f, &v, sizeof f);
            return std::isfinite(f) ? f : 0.f;
        }
        const std::uint64_t v = std::uint64_t(u32(p)) | (std::uint64_t(u32(p + 4)) << 32);
        double d;
        std::memcpy(&d, &v, sizeof d);
        return std::isfinite(d) ? float(d) : 0.f;
    }
    switch (bits) {
    case 8:
        return float(int(std::uint8_t(p[0])) - 128) / 128.f; // 8-bit WAV is unsigned
    case 16:
        return float(std::int16_t(u16(p))) / 32768.f;
    case 24: {
        std::int32_t v = std::int32_t(std::uint8_t(p[0]) | (std::uint8_t(p[1]) << 8) | (std::uint8_t(p[2]) << 16));
        if (v & 0x800000)
            v -= 0x1000000;
        return float(v) / 8388608.f;
    }
    default:
        return float(double(std::int32_t(u32(p))) / 2147483648.0);
    }
}

} // namespace

bool parseWav(QByteArrayView bytes, WavAudio& out, QString* error)
{
    const char* data = bytes.data();
    const qint64 size = bytes.size();
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0)
        return fail(error, tr("это не файл WAV (нет заголовка RIFF)"));
    if (std::memcmp(data + 8, "WAVE", 4) != 0)
        return fail(error, tr("файл RIFF не содержит звука WAVE"));

    const char* fmt = nullptr;
    qint64 fmtSize = 0;
    const char* samples = nullptr;
    qint64 samplesSize = 0;
    qint64 pos = 12;
    while (pos + 8 <= size) {
        const char* id = data + pos;
        const qint64 chunkSize = u32(data + pos + 4);
        const qint64 body = pos + 8;
        // A streamed or cut file may claim more than it holds: take what is there.
        const qint64 available = std::min(chunkSize, size - body);
        if (std::memcmp(id, "fmt ", 4) == 0 && !fmt) {
            fmt = data + body;
            fmtSize = available;
        } else if (std::memcmp(id, "data", 4) == 0 && !samples) {
            samples = data + body;
            samplesSize = available;
        }
        pos = body + chunkSize + (chunkSize & 1); // chunks are padded to even sizes
    }
    if (!fmt)
        return fail(error, tr("в файле нет описания формата (блок fmt)"));
    if (fmtSize < 16)
        return fail(error, tr("описание формата (блок fmt) обрезано"));
    if (!samples)
        return fail(error, tr("в файле нет звука (блок data)"));

    std::uint16_t format = u16(fmt);
    const int channels = u16(fmt + 2);
    const std::uint32_t rate = u32(fmt + 4);
    const int blockAlign = u16(fmt + 12);
    const int bits = u16(fmt + 14);
    if (format == kFormatExtensible) {
        if (fmtSize < 40)
            return fail(error, tr("описание формата WAVE_FORMAT_EXTENSIBLE обрезано"));
        // The subformat GUID starts with the plain format tag.
        format = u16(fmt + 24);
    }
    if (format != kFormatPcm && format != kFormatFloat)
        return fail(error, tr("формат звука %1 не поддерживается: нужен PCM или float").arg(format));
    if (channels < 1 || channels > kMaxChannels)
        return fail(error, tr("недопустимое число каналов: %1").arg(channels));
    if (rate < std::uint32_t(kMinRate) || rate > std::uint32_t(kMaxRate))
        return fail(error, tr("частота дискретизации %1 Гц не поддерживается (нужна от %2 до %3 Гц)")
                               .arg(rate)
                               .arg(kMinRate)
                               .arg(kMaxRate));
    const bool isFloat = format == kFormatFloat;
    const bool bitsOk = isFloat ? (bits == 32 || bits == 64) : (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    if (!bitsOk)
        return fail(error, tr("разрядность %1 бит не поддерживается").arg(bits));
    const int bytesPerSample = bits / 8;
    if (blockAlign != channels * bytesPerSample)
        return fail(error, tr("размер кадра (%1 байт) не соответствует формату").arg(blockAlign));

    const qint64 frames = samplesSize / blockAlign;
    WavAudio audio;
    audio.sampleRate = int(rate);
    audio.channels = channels;
    audio.bitsPerSample = bits;
    audio.isFloat = isFloat;
    audio.mono.resize(std::size_t(frames));
    for (qint64 f = 0; f < frames; ++f) {
        const char* frame = samples + f * blockAlign;
        float sum = 0.f;
        for (int c = 0; c < channels; ++c)
            sum += sampleAt(frame + c * bytesPerSample, bits, isFloat);
        audio.mono[std::size_t(f)] = sum / float(channels);
    }
    out = std::move(audio);
    return true;
}

bool readWav(const QString& path, WavAudio& out, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, tr("не удаётся открыть файл: %1").arg(file.errorString()));
    if (file.size() > kMaxFileBytes)
        return fail(error, tr("файл слишком велик"));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(error, tr("не удаётся прочитать файл: %1").arg(file.errorString()));
    return parseWav(bytes, out, error);
}

} // namespace pitch
