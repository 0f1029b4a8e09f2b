#pragma once
// Sound output through the desktop's player: $OSPREON_SOUND_PLAYER (a command line,
// split by SplitCommandLine, the file appended), else the first found of paplay,
// pw-play, aplay, ffplay.

#include <string>

#include "platform/base/result.h"

namespace ospreon::os {

enum class SoundWait
{
    ToEnd,
    NoWait
};

// Fails when no player is found or it cannot be started; with ToEnd, also when the
// player ends with a non-zero status.
Result<void> PlaySoundFile(const std::string& path, SoundWait wait);

// The terminal bell where a terminal is attached; otherwise nothing.
void Beep();

} // namespace ospreon::os
