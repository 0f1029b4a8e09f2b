// Alert: an alarm sound, played without waiting for its end.

#include <exception>
#include <string>

#include "alertlib/alertlib.h"
#include "alertlib/last_error.h"
#include "platform/os/sound.h"

extern "C" int Alert(const char* soundFile)
{
    using namespace ospreon::alert;
    ClearLastAlertError();
    if (!soundFile || !*soundFile) {
        SetLastAlertError("no sound file given");
        return 0;
    }
    try {
        auto played = ospreon::os::PlaySoundFile(soundFile, ospreon::os::SoundWait::NoWait);
        if (played)
            return 1;
        SetLastAlertError(played.error().message);
    } catch (const std::exception& e) {
        SetLastAlertError(std::string("cannot play sound: ") + e.what());
    } catch (...) {
        SetLastAlertError("cannot play sound");
    }
    return 0;
}
