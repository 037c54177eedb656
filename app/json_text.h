// JSON text for the command line's --json output.
#pragma once

#include <string>

namespace cli {

// `s` as a JSON string literal (quotes included): quote, backslash and control characters escaped, other
// bytes (UTF-8 included) as they are.
std::string jsonQuote(const std::string& s);

}  // namespace cli
