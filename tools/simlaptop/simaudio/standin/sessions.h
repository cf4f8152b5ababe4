// The session side of the stand-in: IAudioSessionManager2 on an endpoint,
// its session enumerator, and IAudioSessionControl2 on one session, all
// answering from the machine-wide table.
#pragma once

#include <windows.h>
#include <audiopolicy.h>

#include "tools/simlaptop/simaudio/sim_audio_table.h"

namespace zu::simaudio {

// A new control object for `session` (one reference, the caller's).
IAudioSessionControl* NewSessionControl(const Session& session);
// A new session manager of `endpoint` (one reference, the caller's).
IAudioSessionManager2* NewSessionManager(Key endpoint);

}  // namespace zu::simaudio
