// Value encodings of the task-list file: integers, flags, the split size
// with the user's decimal separator, and colours as 8 hexadecimal digits. Pure text work; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Integers: decimal, "-" for negatives. Reading: blanks before the number are skipped; "0x"/"0X" or "$"
// (after an optional sign) makes the rest hexadecimal, up to 32 bits (so "$FFFFFFFF" is -1); a decimal number
// must fit 32 signed bits; anything else, empty text included, gives nothing.
std::string FormatIniInt(int32_t value);
std::optional<int32_t> ParseIniInt(const std::string& text);

// The split size: general notation with up to 15 significant digits and `decimalSeparator` in place of the
// point (74.0 is "74", 2.5 is "2,5" with a comma). Reading takes the same form with the same separator
// (optionally an exponent, blanks around it); text with another separator, or none that parses, gives
// nothing.
std::string FormatIniFloat(double value, const std::string& decimalSeparator);
std::optional<double> ParseIniFloat(const std::string& text, const std::string& decimalSeparator);

// Colours: exactly 8 upper-case hexadecimal digits, no prefix. Reading takes 1 or more hexadecimal digits of
// either case whose value fits 32 bits; anything else (empty text included) gives nothing, which the loader
// treats as an error that drops the task.
std::string FormatIniColor(uint32_t value);
std::optional<uint32_t> ParseIniColor(const std::string& text);
