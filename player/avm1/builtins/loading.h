// Files scripts load from beside the movie (XML.load, LoadVars.load, sendAndLoad): asked for during one
// frame, read and delivered to the target's onData(text) on the next one (onData(undefined) when the file
// cannot be read), as a movie sees data arrive in Flash Player. The queue lives with the timers and is
// served by Vm::runTimers.
#pragma once

#include <string>

#include "player/avm1/vm.h"

namespace player::avm1 {

void queueLoad(Vm& vm, Object* target, const std::string& url);

// The loading natives LoadVars and XML share (and any object a script hands them to through ASnative):
// load(url), send(url), sendAndLoad(url, target), addRequestHeader(name, value | [name, value, ...]),
// getBytesLoaded() and getBytesTotal().
Value loadObjectLoad(Vm& vm, const Value& self, std::vector<Value>& args);
Value loadObjectSend(Vm& vm, const Value& self, std::vector<Value>& args);
Value loadObjectSendAndLoad(Vm& vm, const Value& self, std::vector<Value>& args);
// decode("a=1&b=two") sets a and b on the object (false when given nothing).
Value loadObjectDecode(Vm& vm, const Value& self, std::vector<Value>& args);
Value loadObjectAddRequestHeader(Vm& vm, const Value& self, std::vector<Value>& args);
Value loadObjectBytesLoaded(Vm& vm, const Value& self, std::vector<Value>& args);
Value loadObjectBytesTotal(Vm& vm, const Value& self, std::vector<Value>& args);

// A loaded file's bytes as the text onData receives: before SWF 6 the bytes are Latin-1; from SWF 6 a
// byte order mark selects UTF-8 or UTF-16 (big or little endian), otherwise the text is taken as UTF-8.
// The text ends at the first NUL character.
std::string decodeLoadedText(const std::string& bytes, int version);

// A native function that looks like one a script defined: it has its own prototype object.
NativeFunction* scriptLikeFunction(Vm& vm, NativeFn fn);

// Url encoding is escape()'s and unescape()'s (builtins/globals.h).

}  // namespace player::avm1
