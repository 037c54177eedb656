// Hooks into the sound recording window, which lives in audio/ and is built after the conversion window.
// The conversion window calls them; the application sets them once at start-up (the recording window's
// recording pass and its "Stereo Mix" command). Thread: the user-interface thread only.
// Never: set them from convert/ itself (the conversion window must not depend on the recording window).
#pragma once

#include <functional>

struct TCovSettings;

// Runs the recording pass of a video task whose sound is recorded from the movie: shows the recording
// window modally and returns when the pass is over, with the task's adoUseFilename and destLastFrame set.
// Empty: no pass is run and the video is converted without sound.
extern std::function<void(TCovSettings&)> RecordingPassHook;

// Selects "Stereo Mix" as the recording source at full volume (the "Recording Settings" > "&Default"
// command). Empty: nothing is changed; the window still shows its confirmation message.
extern std::function<void()> SetDefaultRecordingSourceHook;
