#include "player/text/html.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace player::text {

namespace {

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A tag split into its name and attributes (values unquoted or in ' or ").
struct Tag {
    std::string name;  // lower case, without '/'
    bool closing = false;
    std::vector<std::pair<std::string, std::string>> attrs;  // names lower case
    const std::string* attr(const char* n) const {
        for (const auto& a : attrs)
            if (a.first == n) return &a.second;
        return nullptr;
    }
};

Tag readTag(const std::string& body) {
    Tag t;
    size_t i = 0;
    while (i < body.size() && isSpace(body[i]))
        ++i;
    if (i < body.size() && body[i] == '/') {
        t.closing = true;
        ++i;
    }
    size_t start = i;
    while (i < body.size() && !isSpace(body[i]) && body[i] != '/' && body[i] != '>')
        ++i;
    t.name = lower(body.substr(start, i - start));
    while (i < body.size()) {
        while (i < body.size() && (isSpace(body[i]) || body[i] == '/'))
            ++i;
        start = i;
        while (i < body.size() && !isSpace(body[i]) && body[i] != '=')
            ++i;
        std::string name = lower(body.substr(start, i - start));
        while (i < body.size() && isSpace(body[i]))
            ++i;
        std::string value;
        if (i < body.size() && body[i] == '=') {
            ++i;
            while (i < body.size() && isSpace(body[i]))
                ++i;
            if (i < body.size() && (body[i] == '"' || body[i] == '\'')) {
                const char q = body[i++];
                start = i;
                while (i < body.size() && body[i] != q)
                    ++i;
                value = body.substr(start, i - start);
                if (i < body.size()) ++i;
            } else {
                start = i;
                while (i < body.size() && !isSpace(body[i]))
                    ++i;
                value = body.substr(start, i - start);
            }
        }
        if (!name.empty()) t.attrs.emplace_back(std::move(name), decodeEntities(value));
    }
    return t;
}

// A font colour: '#', white space, and hex digits up to the first other character (a colour without '#'
// is ignored); past six digits the last six count.
bool parseColor(const std::string& s, uint32_t& out) {
    if (s.empty() || s[0] != '#') return false;
    uint32_t c = 0;
    size_t i = 1;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
        ++i;
    const size_t first = i;
    for (; i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i])); ++i) {
        const char d = s[i];
        const uint32_t v = d <= '9' ? uint32_t(d - '0') : uint32_t((d | 0x20) - 'a' + 10);
        c = (c << 4 | v) & 0xFFFFFF;
    }
    if (i == first) return false;
    out = c;
    return true;
}

double number(const std::string& s, double fallback) {
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    return end == s.c_str() || !std::isfinite(v) ? fallback : v;
}

double clampPixels(double v) {
    return std::clamp(v, -10000.0, 10000.0);
}

}  // namespace

std::string decodeEntities(const std::string& s) {
    if (s.find('&') == std::string::npos) return s;
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out.push_back(s[i]);
            continue;
        }
        const size_t semi = s.find(';', i);
        if (semi == std::string::npos || semi - i > 10) {
            out.push_back('&');
            continue;
        }
        const std::string name = s.substr(i + 1, semi - i - 1);
        std::u32string cp;
        if (name == "lt")
            cp = U"<";
        else if (name == "gt")
            cp = U">";
        else if (name == "amp")
            cp = U"&";
        else if (name == "quot")
            cp = U"\"";
        else if (name == "apos")
            cp = U"'";
        else if (name == "nbsp")
            cp = U"\u00A0";
        else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const char* digits = name.c_str() + (hex ? 2 : 1);
            char* end = nullptr;
            const unsigned long v = std::strtoul(digits, &end, hex ? 16 : 10);
            if (end != digits && *end == 0 && v > 0 && v < 0x110000) cp = std::u32string(1, char32_t(v));
        }
        if (cp.empty()) {
            out.push_back('&');
            continue;
        }
        out += toUtf8(cp);
        i = semi;
    }
    return out;
}

void parseHtml(const std::string& html, const TextFormat& base, StyledText& out, bool condenseWhite,
               const StyleLookup& styles) {
    // Open elements, each with the format in force inside it.
    struct Open {
        std::string name;
        TextFormat format;
    };
    std::vector<Open> stack;
    TextFormat current = base;
    if (styles) styles("body", current);
    std::string pending;  // text not yet appended, in `current`
    auto flush = [&] {
        if (pending.empty()) return;
        std::string decoded = decodeEntities(pending);
        std::u32string s = fromUtf8(decoded);
        std::u32string kept;
        kept.reserve(s.size());
        for (char32_t c : s) {
            if (condenseWhite && (c == '\n' || c == '\r' || c == '\t' || c == ' ')) {
                const bool lastSpace =
                    (!kept.empty() && kept.back() == ' ') ||
                    (kept.empty() && (out.text.empty() || out.text.back() == ' ' || out.text.back() == '\r'));
                if (!lastSpace) kept.push_back(' ');
                continue;
            }
            kept.push_back(c == '\n' ? U'\r' : c);
        }
        out.append(kept, current);
        pending.clear();
    };
    auto newParagraph = [&] {
        flush();
        out.append(U"\r", current);
    };
    auto pop = [&](const std::string& name) {
        // Closes the innermost element of that name and every element opened inside it; a closing tag
        // without an opening one is ignored.
        for (size_t i = stack.size(); i-- > 0;) {
            if (stack[i].name != name) continue;
            flush();
            current = stack[i].format;
            stack.resize(i);
            return true;
        }
        return false;
    };
    size_t i = 0;
    // Hostile input may nest without end: elements deeper than this are read as text formats of the last.
    constexpr size_t kMaxNesting = 256;
    while (i < html.size()) {
        const char c = html[i];
        if (c != '<') {
            pending.push_back(c);
            ++i;
            continue;
        }
        const size_t tagStart = i;
        const size_t close = html.find('>', i);
        if (close == std::string::npos) {
            // "<" without ">": Flash drops the rest.
            break;
        }
        const std::string body = html.substr(i + 1, close - i - 1);
        i = close + 1;
        if (body.rfind("!--", 0) == 0) {
            const size_t endComment = html.find("-->", tagStart + 4);
            i = endComment == std::string::npos ? html.size() : endComment + 3;
            continue;
        }
        Tag t = readTag(body);
        if (t.name.empty()) continue;
        if (t.closing) {
            if (t.name == "p" || t.name == "li") {
                if (pop(t.name)) newParagraph();
            } else {
                pop(t.name);
            }
            continue;
        }
        flush();
        if (t.name == "br" || t.name == "sbr") {
            out.append(U"\r", current);
            continue;
        }
        if (t.name == "img" || t.name == "tab") {
            if (t.name == "tab") out.append(U"\t", current);
            continue;
        }
        const bool known = t.name == "p" || t.name == "b" || t.name == "i" || t.name == "u" ||
                           t.name == "font" || t.name == "a" || t.name == "li" || t.name == "textformat" ||
                           t.name == "span";
        if (!known) continue;
        if (stack.size() >= kMaxNesting) continue;
        if ((t.name == "p" || t.name == "li") && !out.text.empty() && out.text.back() != '\r') {
            // A paragraph opened inside running text starts a new line.
            out.append(U"\r", current);
        }
        stack.push_back({t.name, current});
        TextFormat& f = current;
        if (styles) styles(t.name, f);
        if (const std::string* cls = t.attr("class"); cls && styles) styles("." + *cls, f);
        if (t.name == "b") f.bold = true;
        if (t.name == "i") f.italic = true;
        if (t.name == "u") f.underline = true;
        if (t.name == "li") f.bullet = true;
        if (t.name == "p") {
            if (const std::string* a = t.attr("align")) {
                const std::string v = lower(*a);
                if (v == "left") f.align = Align::Left;
                if (v == "right") f.align = Align::Right;
                if (v == "center") f.align = Align::Center;
                if (v == "justify") f.align = Align::Justify;
            }
        }
        if (t.name == "font") {
            if (const std::string* a = t.attr("face")) f.font = *a;
            if (const std::string* a = t.attr("size")) {
                const double v = number(*a, f.size);
                if (!a->empty() && ((*a)[0] == '+' || (*a)[0] == '-'))
                    f.size = std::clamp(f.size + v, 0.0, 10000.0);
                else
                    f.size = std::clamp(v, 0.0, 10000.0);
            }
            if (const std::string* a = t.attr("color")) parseColor(*a, f.color);
            if (const std::string* a = t.attr("letterspacing")) f.letterSpacing = clampPixels(number(*a, 0));
            if (const std::string* a = t.attr("kerning")) f.kerning = number(*a, 0) != 0;
        }
        if (t.name == "a") {
            if (const std::string* a = t.attr("href")) f.url = *a;
            if (const std::string* a = t.attr("target")) f.target = *a;
            if (styles) styles("a:link", f);
        }
        if (t.name == "textformat") {
            if (const std::string* a = t.attr("leftmargin")) f.leftMargin = clampPixels(number(*a, 0));
            if (const std::string* a = t.attr("rightmargin")) f.rightMargin = clampPixels(number(*a, 0));
            if (const std::string* a = t.attr("indent")) f.indent = clampPixels(number(*a, 0));
            if (const std::string* a = t.attr("blockindent")) f.blockIndent = clampPixels(number(*a, 0));
            if (const std::string* a = t.attr("leading")) f.leading = clampPixels(number(*a, 0));
            if (const std::string* a = t.attr("tabstops")) {
                f.tabStops.clear();
                size_t p = 0;
                while (p <= a->size() && f.tabStops.size() < 100) {
                    size_t comma = a->find(',', p);
                    if (comma == std::string::npos) comma = a->size();
                    const std::string item = a->substr(p, comma - p);
                    if (!item.empty()) f.tabStops.push_back(clampPixels(number(item, 0)));
                    p = comma + 1;
                }
            }
        }
    }
    flush();
    // The last paragraph's end is not part of the text.
    if (!out.text.empty() && out.text.back() == '\r' && html.size() > 0) {
        const size_t n = out.text.size() - 1;
        out.replace(n, n + 1, U"", out.formatAt(n));
    }
}

namespace {

const char* alignName(Align a) {
    switch (a) {
        case Align::Right:
            return "RIGHT";
        case Align::Center:
            return "CENTER";
        case Align::Justify:
            return "JUSTIFY";
        case Align::Left:
            break;
    }
    return "LEFT";
}

std::string escape(const std::u32string& s) {
    std::string out;
    for (char32_t c : s) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += toUtf8(std::u32string(1, c));
        }
    }
    return out;
}

std::string num(double v) {
    char buf[32];
    if (v == std::floor(v) && std::fabs(v) < 1e15)
        std::snprintf(buf, sizeof buf, "%.0f", v);
    else
        std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

}  // namespace

std::string writeHtml(const StyledText& text, int version) {
    std::string out;
    size_t p = 0;
    const size_t n = text.text.size();
    do {
        size_t end = text.text.find(U'\r', p);
        if (end == std::u32string::npos) end = n;
        const TextFormat& pf = text.formatAt(p);
        const bool textFormat = pf.leftMargin != 0 || pf.rightMargin != 0 || pf.indent != 0 ||
                                pf.blockIndent != 0 || pf.leading != 0 || !pf.tabStops.empty();
        if (textFormat) {
            out += "<TEXTFORMAT";
            if (pf.leftMargin != 0) out += " LEFTMARGIN=\"" + num(pf.leftMargin) + "\"";
            if (pf.rightMargin != 0) out += " RIGHTMARGIN=\"" + num(pf.rightMargin) + "\"";
            if (pf.indent != 0) out += " INDENT=\"" + num(pf.indent) + "\"";
            if (pf.blockIndent != 0) out += " BLOCKINDENT=\"" + num(pf.blockIndent) + "\"";
            if (pf.leading != 0) out += " LEADING=\"" + num(pf.leading) + "\"";
            if (!pf.tabStops.empty()) {
                out += " TABSTOPS=\"";
                for (size_t k = 0; k < pf.tabStops.size(); ++k)
                    out += (k ? "," : "") + num(pf.tabStops[k]);
                out += "\"";
            }
            out += ">";
        }
        out += pf.bullet ? "<LI>" : std::string("<P ALIGN=\"") + alignName(pf.align) + "\">";
        // Runs of the paragraph as Flash writes them: one FONT with every attribute for the paragraph's
        // first run; a run whose font differs opens a FONT inside with only the attributes that differ,
        // and a run that matches a FONT still open closes the ones inside it. B, I, U and A wrap each run.
        std::vector<TextFormat> fonts;  // the FONT elements open, outermost first
        auto sameFont = [](const TextFormat& x, const TextFormat& y) {
            return x.font == y.font && x.size == y.size && x.color == y.color &&
                   x.letterSpacing == y.letterSpacing && x.kerning == y.kerning;
        };
        auto colorOf = [](uint32_t c) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "%06X", c & 0xFFFFFF);
            return std::string(buf);
        };
        size_t q = p;
        auto run = std::upper_bound(text.runs.begin(), text.runs.end(), q,
                                    [](size_t v, const StyledText::Run& r) { return v < r.end; });
        while (q < end || (q == end && q == p)) {
            const TextFormat& f = text.formatAt(q);
            while (run != text.runs.end() && run->end <= q)
                ++run;
            const size_t runEnd = run == text.runs.end() ? end : std::min(end, run->end);
            if (fonts.empty()) {
                out += "<FONT FACE=\"" + f.font + "\" SIZE=\"" + num(f.size) + "\" COLOR=\"#" +
                       colorOf(f.color) + "\"";
                if (version >= 6)
                    out += " LETTERSPACING=\"" + num(f.letterSpacing) + "\" KERNING=\"" +
                           (f.kerning ? "1" : "0") + "\"";
                out += ">";
                fonts.push_back(f);
            } else if (!sameFont(fonts.back(), f)) {
                size_t match = fonts.size();
                for (size_t k = fonts.size(); k-- > 0;)
                    if (sameFont(fonts[k], f)) {
                        match = k;
                        break;
                    }
                if (match < fonts.size()) {
                    while (fonts.size() > match + 1) {
                        out += "</FONT>";
                        fonts.pop_back();
                    }
                } else {
                    const TextFormat& top = fonts.back();
                    out += "<FONT";
                    if (f.font != top.font) out += " FACE=\"" + f.font + "\"";
                    if (f.size != top.size) out += " SIZE=\"" + num(f.size) + "\"";
                    if (f.color != top.color) out += " COLOR=\"#" + colorOf(f.color) + "\"";
                    if (version >= 6 && f.letterSpacing != top.letterSpacing)
                        out += " LETTERSPACING=\"" + num(f.letterSpacing) + "\"";
                    if (version >= 6 && f.kerning != top.kerning)
                        out += std::string(" KERNING=\"") + (f.kerning ? "1" : "0") + "\"";
                    out += ">";
                    fonts.push_back(f);
                }
            }
            if (!f.url.empty()) out += "<A HREF=\"" + f.url + "\" TARGET=\"" + f.target + "\">";
            if (f.bold) out += "<B>";
            if (f.italic) out += "<I>";
            if (f.underline) out += "<U>";
            out += escape(text.text.substr(q, runEnd - q));
            if (f.underline) out += "</U>";
            if (f.italic) out += "</I>";
            if (f.bold) out += "</B>";
            if (!f.url.empty()) out += "</A>";
            if (runEnd == q) break;
            q = runEnd;
        }
        for (size_t k = 0; k < fonts.size(); ++k)
            out += "</FONT>";
        out += pf.bullet ? "</LI>" : "</P>";
        if (textFormat) out += "</TEXTFORMAT>";
        p = end + 1;
    } while (p <= n);
    return out;
}

}  // namespace player::text
