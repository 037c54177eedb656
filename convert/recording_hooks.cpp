#include "convert/recording_hooks.h"

#include "tasks/cov_settings.h"

std::function<void(TCovSettings&)> RecordingPassHook;
std::function<void()> SetDefaultRecordingSourceHook;
