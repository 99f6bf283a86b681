// SPDX-License-Identifier: GPL-3.0-or-later
// What a settings load and save cost: parsing and writing the .reg text, and
// the whole load/save with the file replaced and synced.
#include "settings/settingsstore.h"
#include "platform/registry/registry.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QByteArray typicalFile()
{
    platform::RegStore s;
    platform::RegKey& app = s.create({"Software", "Tonvero"});
    const QByteArray dir("/usr/share/tonvero/\0", 20);
    platform::RegStore::setValue(app, {"setup_dir", platform::REG_SZ, dir});
    platform::RegKey& settings = s.create({"Software", "Tonvero", "Settings"});
    for (const auto& f : tonvero::settingFields)
        platform::RegStore::setValue(settings, {f.name, platform::REG_DWORD, QByteArray(4, '\1')});
    return platform::RegistryFile::serialize(s);
}

void parseSettingsFile(benchmark::State& state)
{
    const QByteArray text = typicalFile();
    for (auto _ : state) {
        platform::RegStore s;
        benchmark::DoNotOptimize(platform::RegistryFile::parse(text, s));
    }
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(parseSettingsFile);

// The same file as the Windows registry editor exports it: UTF-16LE, CRLF.
void parseRegeditExport(benchmark::State& state)
{
    const QString lines = QString::fromUtf8(typicalFile()).replace(u'\n', QStringLiteral("\r\n"));
    QByteArray text("\xFF\xFE", 2);
    for (QChar c : lines)
        text.append(char(c.unicode() & 0xff)).append(char(c.unicode() >> 8));
    for (auto _ : state) {
        platform::RegStore s;
        benchmark::DoNotOptimize(platform::RegistryFile::parse(text, s));
    }
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(parseRegeditExport);

void serializeSettingsFile(benchmark::State& state)
{
    platform::RegStore s;
    platform::RegistryFile::parse(typicalFile(), s);
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::RegistryFile::serialize(s));
}
BENCHMARK(serializeSettingsFile);

// In a private config home, so the user's settings are not touched.
class ConfigHome {
public:
    ConfigHome() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path())); }
    ~ConfigHome() { qunsetenv("XDG_CONFIG_HOME"); }

private:
    QTemporaryDir m_dir;
};

void loadSettings(benchmark::State& state)
{
    ConfigHome home;
    tonvero::TonveroSettings s;
    QString dir;
    tonvero::loadSettings(s, dir, {});
    tonvero::saveSettings(s);
    for (auto _ : state)
        benchmark::DoNotOptimize(tonvero::loadSettings(s, dir, {}));
}
BENCHMARK(loadSettings)->Unit(benchmark::kMicrosecond);

void saveSettings(benchmark::State& state)
{
    ConfigHome home;
    tonvero::TonveroSettings s;
    QString dir;
    tonvero::loadSettings(s, dir, {});
    for (auto _ : state) {
        s.nMinutes = (s.nMinutes + 1) % 60; // a real change, so the file is rewritten
        benchmark::DoNotOptimize(tonvero::saveSettings(s));
    }
}
BENCHMARK(saveSettings)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
