// SPDX-License-Identifier: GPL-3.0-or-later
// tonvero_firstnote: the trainer's main window, built as the program builds
// it; the moment the X server shows it, an exercise starts and the note on
// the stave is played on the on-screen piano. Prints, in milliseconds after
// the window was shown, when that note's first sounding frame came out of
// the built-in synthesizer (plus the audio output's configured latency), and
// exits. tonvero_measure --first-note runs it; alone:
//
//   xvfb-run -a tonvero_firstnote
//
// The audio output is kept off and the frames are rendered here instead, so
// that the figure is the same with or without a sound card.
#include "exercise/exercise.h"
#include "app/language.h"
#include "app/tonverodlg.h"
#include "controls/instrumentctrl.h"
#include "platform/synth/midi_synth.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWindow>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kGiveUpMs = 20000;

// Seen at the first frame the window is exposed, i.e. mapped and drawable.
class ShownWatcher : public QObject {
public:
    explicit ShownWatcher(std::function<void()> shown) : m_shown(std::move(shown)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && m_shown) {
            if (auto* w = qobject_cast<QWindow*>(watched); w && w->isExposed()) {
                auto shown = std::move(m_shown);
                m_shown = nullptr;
                shown();
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_shown;
};

bool sounds(const std::vector<float>& frames)
{
    double sum = 0;
    for (float v : frames)
        sum += double(v) * v;
    return std::sqrt(sum / double(frames.size())) > 1e-4;
}

} // namespace

int main(int argc, char* argv[])
{
    // No audio server or device: the tool renders the frames itself.
    ::setenv("PULSE_SERVER", "unix:/nonexistent", 1);
    ::setenv("PIPEWIRE_REMOTE", "/nonexistent", 1);
    ::setenv("ALSA_CONFIG_PATH", "/dev/null", 1);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tonvero"));
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.tonvero.tonvero"));
    tonvero::Translations translations;
    translations.install(tonvero::interfaceLanguage(tonvero::loadLanguageChoice()));
    CTonveroDlg dlg;

    int status = 1;
    QElapsedTimer sinceShown;
    ShownWatcher watcher([&] {
        sinceShown.start();
        // After the frame that showed the window, as a key pressed at once would come.
        QTimer::singleShot(0, &dlg, [&] {
            dlg.StartStop(false);
            if (!dlg.exercise().bRunning || dlg.exercise().nCurNote < 0) {
                std::fprintf(stderr, "tonvero_firstnote: the exercise did not start\n");
                app.exit(1);
                return;
            }
            const int note = CInstrumentCtrl::NoteFromKeyIndex(dlg.exercise().nCurNote);
            dlg.OnNoteOn(note, false);
            // Rendering waits for whatever the note needs to be loaded first.
            auto& engine = mmsys::synth::sharedEngine();
            std::vector<float> left(64), right(64);
            bool heard = false;
            while (!heard && sinceShown.elapsed() < kGiveUpMs) {
                engine.render(left.data(), right.data(), int(left.size()));
                heard = sounds(left) || sounds(right);
            }
            if (heard) {
                const double ms = double(sinceShown.nsecsElapsed()) / 1e6 + mmsys::synth::configuredLatencyMs();
                std::printf("%.1f\n", ms);
                status = 0;
            } else {
                std::fprintf(stderr, "tonvero_firstnote: no sound within %d s (is a soundfont installed?)\n",
                             kGiveUpMs / 1000);
            }
            dlg.OnNoteOff(note);
            app.exit(status);
        });
    });
    dlg.show();
    if (QWindow* window = dlg.windowHandle())
        window->installEventFilter(&watcher);
    QTimer::singleShot(kGiveUpMs, &app, [&] {
        std::fprintf(stderr, "tonvero_firstnote: the window was not shown\n");
        app.exit(1);
    });
    return app.exec();
}
