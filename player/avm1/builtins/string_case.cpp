#include "player/avm1/builtins/string_case.h"

#include <locale.h>
#include <wctype.h>

#include "player/avm1/value.h"

namespace player::avm1 {

namespace {

// The C library's Unicode case tables (the C.UTF-8 locale, always present), opened once.
locale_t unicodeLocale() {
    static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return loc;
}

bool isSurrogate(char16_t c) {
    return c >= 0xD800 && c < 0xE000;
}

}  // namespace

// Where Flash Player's table, from an older Unicode, differs from the C library's: Greek capitals map
// by a plain offset (the unassigned U+03A2 too), Georgian capitals lower to Mkhedruli, and the letters
// later Unicode versions added partners for keep their case.
char16_t lowerUnit(char16_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? char16_t(c + 32) : c;
    if (c == 0x3A2) return 0x3C2;
    if (c >= 0x10A0 && c <= 0x10C5) return char16_t(c + 0x30);
    if (c >= 0x1C90 && c <= 0x1CBF) return c;
    if (isSurrogate(c) || !unicodeLocale()) return c;
    wint_t r = towlower_l(wint_t(c), unicodeLocale());
    return r < 0x10000 && !isSurrogate(char16_t(r)) ? char16_t(r) : c;
}

char16_t upperUnit(char16_t c) {
    if (c < 0x80) return c >= 'a' && c <= 'z' ? char16_t(c - 32) : c;
    if (c == 0x3C2) return 0x3A2;
    if (c == 0x3F2) return 0x3A3;
    if (c >= 0x10D0 && c <= 0x10FF) return c;
    if (isSurrogate(c) || !unicodeLocale()) return c;
    wint_t r = towupper_l(wint_t(c), unicodeLocale());
    return r < 0x10000 && !isSurrogate(char16_t(r)) ? char16_t(r) : c;
}

std::string lowerCase(const std::string& s) {
    bool ascii = true;
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
    if (ascii) {
        std::string out = s;
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = char(c + 32);
        return out;
    }
    std::u16string u = toUtf16(s);
    for (char16_t& c : u)
        c = lowerUnit(c);
    return toUtf8(u);
}

std::string upperCase(const std::string& s) {
    bool ascii = true;
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
    if (ascii) {
        std::string out = s;
        for (char& c : out)
            if (c >= 'a' && c <= 'z') c = char(c - 32);
        return out;
    }
    std::u16string u = toUtf16(s);
    for (char16_t& c : u)
        c = upperUnit(c);
    return toUtf8(u);
}

}  // namespace player::avm1
