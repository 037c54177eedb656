// Files scripts load from beside the movie (XML.load, LoadVars.load, sendAndLoad): asked for during one
// frame, read and delivered to the target's onData(text) on the next one (onData(undefined) when the file
// cannot be read), as a movie sees data arrive in Flash Player. The queue lives with the timers and is
// served by Vm::runTimers.
#pragma once

#include <string>

#include "player/avm1/vm.h"

namespace player::avm1 {

void queueLoad(Vm& vm, Object* target, const std::string& url);

// Url encoding is escape()'s and unescape()'s (builtins/globals.h).

}  // namespace player::avm1
