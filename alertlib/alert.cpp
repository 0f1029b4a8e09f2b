// Alert: an alarm sound, played without waiting for its end.

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
    return ExportedCall("cannot play sound", [&] {
        auto played = ospreon::os::PlaySoundFile(soundFile, ospreon::os::SoundWait::NoWait);
        if (played)
            return 1;
        SetLastAlertError(played.error().message);
        return 0;
    });
}
