// The text conversions behind the global functions, for other built-ins (URL-encoded variables) and
// for tests.
#pragma once

#include <string>
#include <vector>

#include "player/avm1/value.h"

namespace player::avm1 {

class Vm;

// parseInt: `radix` 0 when none was given (then a leading "0x" means hexadecimal and a leading 0 before
// octal digits octal); NaN when nothing is read.
double parseInteger(const std::string& s, int radix);
// parseFloat: the longest number at the start of `s` after white space; NaN when there is none.
double parseFloatPrefix(const std::string& s);
// escape / unescape: %XX for every byte but ASCII letters and digits; unescape also reads "+" as a space.
// & < > " ' as XML entities, as XML text and attributes are written.
std::string xmlEscapeText(const std::string& s);
std::string urlEscape(const std::string& s);
std::string urlUnescape(const std::string& s);

// AsBroadcaster's broadcastMessage (ASnative 101, 12), which initialize gives every broadcaster.
Value broadcastMessage(Vm& vm, const Value& self, std::vector<Value>& args);

}  // namespace player::avm1
