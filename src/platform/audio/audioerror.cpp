// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/audioerror.h"

#include <QCoreApplication>

#include <pulse/def.h>

#include <iterator>

namespace platform {

AudioError::Cause AudioError::pulseCause(int code)
{
    switch (code) {
    case PA_OK: return Cause::None;
    case PA_ERR_CONNECTIONREFUSED:
    case PA_ERR_CONNECTIONTERMINATED:
    case PA_ERR_INVALIDSERVER:
    case PA_ERR_TIMEOUT:
        return Cause::NoSoundServer;
    case PA_ERR_NOENTITY:
    case PA_ERR_KILLED: // the source was removed under a running stream
        return Cause::NoInput;
    case PA_ERR_ACCESS:
    case PA_ERR_AUTHKEY:
        return Cause::NoPermission;
    default: return Cause::Other;
    }
}

AudioError AudioError::fromPulse(int code, const QString& detail)
{
    const Cause cause = pulseCause(code);
    // A failure that reports success is still a failure.
    return {cause == Cause::None ? Cause::Other : cause, detail};
}

QString AudioError::text() const
{
    // One sentence of what is missing, one of what to do.
    static const char* const kTexts[] = {
        nullptr,
        QT_TRANSLATE_NOOP("platform::AudioError", "Микрофон недоступен: не установлена библиотека звукового "
                                                  "сервера. Установите пакет libpulse0."),
        QT_TRANSLATE_NOOP("platform::AudioError", "Микрофон недоступен: звуковой сервер (PulseAudio или PipeWire) "
                                                  "не запущен или не отвечает. Запустите его или войдите в сеанс "
                                                  "рабочего стола заново."),
        QT_TRANSLATE_NOOP("platform::AudioError", "Микрофон не найден: к компьютеру не подключено устройство ввода "
                                                  "звука или выбранное отключено. Подключите микрофон и выберите "
                                                  "его в настройках, в разделе «Ввод нот с микрофона»."),
        QT_TRANSLATE_NOOP("platform::AudioError", "Нет доступа к микрофону: звуковой сервер не разрешает запись. "
                                                  "Разрешите доступ к микрофону в настройках конфиденциальности "
                                                  "рабочего стола и запускайте Tonvero от своего имени, а не от "
                                                  "имени другого пользователя."),
        QT_TRANSLATE_NOOP("platform::AudioError", "Распознавание нот недоступно: не удалось загрузить библиотеку "
                                                  "aubio. Установите пакет libaubio5."),
        QT_TRANSLATE_NOOP("platform::AudioError", "Микрофон не удалось открыть. Проверьте, что он подключён и что "
                                                  "запись звука работает в других программах."),
    };
    static_assert(std::size(kTexts) == std::size_t(Cause::Other) + 1);
    if (cause == Cause::None)
        return {};
    const QString plain = QCoreApplication::translate("platform::AudioError", kTexts[std::size_t(cause)]);
    // The sound system's words only after a sentence the user can act on.
    if (cause != Cause::Other || detail.isEmpty())
        return plain;
    return QCoreApplication::translate("platform::AudioError", "%1 Ответ звуковой системы: %2.").arg(plain, detail);
}

} // namespace platform
