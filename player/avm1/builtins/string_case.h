// Upper and lower case as String.toUpperCase / toLowerCase change them: every UTF-16 unit that has a
// single-unit case partner, as Flash Player's own case table maps it.
#pragma once

#include <string>

namespace player::avm1 {

std::string lowerCase(const std::string& s);
std::string upperCase(const std::string& s);
char16_t lowerUnit(char16_t c);
char16_t upperUnit(char16_t c);

}  // namespace player::avm1
