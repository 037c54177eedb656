// TextFormat (a bag of character and paragraph properties, null where unset or mixed) and
// TextField.StyleSheet (CSS rules by selector, read into formats for HTML text).
#include <algorithm>
#include <cctype>
#include <cmath>
#include <utility>

#include "player/avm1/builtins/native_args.h"
#include "player/avm1/builtins/text_support.h"
#include "player/avm1/vm.h"
#include "player/core/edit_text.h"
#include "player/text/styled_text.h"

namespace player::avm1 {

namespace {

// TextFormat properties in the order Flash lists them, with their `mixed` bit.
enum : uint32_t {
    kFont = 1 << 0,
    kSize = 1 << 1,
    kColor = 1 << 2,
    kUrl = 1 << 3,
    kTarget = 1 << 4,
    kBold = 1 << 5,
    kItalic = 1 << 6,
    kUnderline = 1 << 7,
    kAlign = 1 << 8,
    kLeftMargin = 1 << 9,
    kRightMargin = 1 << 10,
    kIndent = 1 << 11,
    kLeading = 1 << 12,
    kBlockIndent = 1 << 13,
    kTabStops = 1 << 14,
    kBullet = 1 << 15,
    kLetterSpacing = 1 << 16,
    kKerning = 1 << 17,
};

const char* const kNames[] = {"font",    "size",        "color",    "url",        "target",        "bold",
                              "italic",  "underline",   "align",    "leftMargin", "rightMargin",   "indent",
                              "leading", "blockIndent", "tabStops", "bullet",     "letterSpacing", "kerning"};
constexpr size_t kCount = sizeof(kNames) / sizeof(kNames[0]);

const char* alignName(text::Align a) {
    switch (a) {
        case text::Align::Right:
            return "right";
        case text::Align::Center:
            return "center";
        case text::Align::Justify:
            return "justify";
        case text::Align::Left:
            break;
    }
    return "left";
}

double clampPixels(double v) {
    return std::isfinite(v) ? std::clamp(v, -10000.0, 10000.0) : 0;
}

// Flash's conversion of a number to a whole one for TextFormat: to the nearest, halves to even; what
// does not fit 32 bits (NaN and infinities too) becomes the lowest 32-bit integer.
double roundedInt(double n) {
    if (!std::isfinite(n) || std::fabs(n) >= 2147483648.0) return -2147483648.0;
    return std::nearbyint(n) + 0.0;  // no negative zero
}

// The properties a TextFormat keeps natively: those of kNames, then display. letterSpacing and kerning
// came with Flash Player 8.
constexpr size_t kDisplay = kCount;
constexpr size_t kSlots = kCount + 1;

const char* slotName(size_t i) {
    return i == kDisplay ? "display" : kNames[i];
}

bool slotInVersion(size_t i, int version) {
    return version >= 8 || (i != 16 && i != 17);
}

// The slot a property name stands for (names are case-insensitive before SWF 7), or -1.
int slotOf(Vm& vm, const std::string& name) {
    const std::string k = vm.key(name);
    for (size_t i = 0; i < kSlots; ++i)
        if (k == vm.key(slotName(i))) return slotInVersion(i, vm.version) ? int(i) : -1;
    return -1;
}

// A TextFormat keeps each property in its type: strings, whole numbers, colours, booleans, an align word;
// null or undefined leaves the property null. The values live in the object, not as its own properties:
// scripts reach them through accessors TextFormat.prototype gets when a TextFormat is made.
class TextFormatObject : public Object {
  public:
    explicit TextFormatObject(Object* proto) : Object(proto) {
        for (Value& v : slots)
            v = Value::null();
        slots[kDisplay] = Value("block");
    }
    Value slots[kSlots];
    // The constructor's arguments set margins as given; the properties' setters keep them at 0 or more.
    bool constructing = false;

    bool getOwn(Vm& vm, const std::string& name, Object* self, Value& out) override {
        const int i = slotOf(vm, name);
        if (i < 0) return Object::getOwn(vm, name, self, out);
        out = slots[i];
        return true;
    }
    void set(Vm& vm, const std::string& name, const Value& value) override {
        const int slot = slotOf(vm, name);
        if (slot < 0) return Object::set(vm, name, value);
        const size_t i = size_t(slot);
        // Flash converts a value given to any of these properties to a number twice and to a string once
        // before it looks at it (an object's valueOf and toString run so); the first number and the string
        // are what the properties use.
        double number = 0;
        std::string str;
        if (!value.isNullish()) {
            number = vm.toNumber(value);
            if (value.isObject()) vm.toNumber(value);
            str = vm.toString(value);
        }
        if (i == kDisplay) {
            // Only the three words; anything else is "block".
            const std::string d = value.isNullish() ? std::string() : vm.toString(value);
            slots[i] = Value(d == "inline" || d == "none" ? d : std::string("block"));
            return;
        }
        const std::string k = kNames[i];
        if (value.isNullish()) {
            // align keeps what it had.
            if (k != "align") slots[i] = Value::null();
            return;
        }
        Value v;
        if (k == "font") {
            // Font names are cut at 64 characters.
            std::u32string name = text::fromUtf8(str);
            if (name.size() > 64) name.resize(64);
            v = Value(text::toUtf8(name));
        } else if (k == "url" || k == "target") {
            v = Value(str);
        } else if (k == "size" || k == "indent" || k == "leading" || k == "blockIndent") {
            v = Value(roundedInt(number));
        } else if (k == "leftMargin" || k == "rightMargin") {
            v = Value(number > 0 || constructing ? roundedInt(number) : 0.0);
        } else if (k == "color") {
            v = Value(double(uint32_t(toInt32(number))));
        } else if (k == "tabStops") {
            // A copy with each stop a whole number.
            auto* given = dynamic_cast<ArrayObject*>(value.object());
            if (!given) return;
            std::vector<Value> stops;
            for (size_t j = 0; j < given->elements.size() && j < 1000; ++j)
                stops.push_back(Value(roundedInt(vm.toNumber(given->elements[j]))));
            v = Value(vm.newArray(std::move(stops)));
        } else if (k == "letterSpacing") {
            v = Value(number);
        } else if (k == "align") {
            std::string a = str;
            for (char& c : a)
                c = char(std::tolower(static_cast<unsigned char>(c)));
            if (a != "left" && a != "right" && a != "center" && a != "justify") return;
            v = Value(a);
        } else {
            v = Value(vm.toBoolean(value));
        }
        slots[i] = v;
    }
    void trace(std::vector<GcCell*>& out) const override {
        Object::trace(out);
        for (const Value& v : slots)
            traceValue(v, out);
    }
};

Object* allocateTextFormat(Vm& vm, Object* proto) {
    return vm.make<TextFormatObject>(proto);
}

template <size_t I>
Value tfmtSlotGet(Vm& vm, const Value& self, std::vector<Value>& args) {
    auto* o = dynamic_cast<TextFormatObject*>(self.object());
    return o ? o->slots[I] : Value();
}

template <size_t I>
Value tfmtSlotSet(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (auto* o = dynamic_cast<TextFormatObject*>(self.object())) o->set(vm, slotName(I), arg(args, 0));
    return Value();
}

template <size_t... I>
void defineSlotAccessors(Vm& vm, Object* proto, std::index_sequence<I...>) {
    auto one = [&](size_t i, NativeFn get, NativeFn set) {
        if (slotInVersion(i, vm.version))
            proto->defineAccessor(vm, slotName(i), vm.newFunction(get), vm.newFunction(set), 0);
    };
    (one(I, tfmtSlotGet<I>, tfmtSlotSet<I>), ...);
}

Value tfmtGetTextExtent(Vm& vm, const Value& self, std::vector<Value>& args);

Value tfmtCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o) return Value();
    textFormatMade(vm);
    // SWF 5 movies find getTextExtent on each format rather than on the prototype.
    if (vm.version < 6) o->define(vm, "getTextExtent", Value(vm.newFunction(tfmtGetTextExtent)), 0);
    // Every property is null until set; the constructor's arguments set the first thirteen.
    static const char* const order[] = {"font",        "size",   "color",  "bold",  "italic",
                                        "underline",   "url",    "target", "align", "leftMargin",
                                        "rightMargin", "indent", "leading"};
    auto* t = dynamic_cast<TextFormatObject*>(o);
    if (t) t->constructing = true;
    for (size_t i = 0; i < args.size() && i < 13; ++i) {
        if (args[i].isNullish()) continue;
        o->set(vm, order[i], args[i]);
    }
    if (t) t->constructing = false;
    return Value();
}

// getTextExtent(text[, width]): the size the text takes in this format (device fonts; wrapped at width).
Value tfmtGetTextExtent(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* o = self.object();
    if (!o) return Value();
    EditText probe(nullptr, nullptr);
    applyTextFormat(vm, o, probe.newFormat);
    const bool wrap = args.size() > 1 && !args[1].isUndefined();
    const double width = wrap ? clampPixels(vm.toNumber(args[1])) : 10000;
    probe.bounds = swf::Rect{0, int32_t(width * 20), 0, 20000};
    probe.wordWrap = wrap;
    probe.multiline = true;
    probe.setText(vm.toString(arg(args, 0)));
    const text::Layout& l = probe.layout();
    Object* r = vm.newObject();
    double ascent = 0, descent = 0;
    if (!l.lines.empty()) {
        ascent = l.lines[0].ascent;
        descent = l.lines[0].descent;
    }
    const double w = std::round(l.textWidth / 20), h = std::round(l.textHeight / 20);
    r->set(vm, "ascent", Value(std::round(ascent / 20)));
    r->set(vm, "descent", Value(std::round(descent / 20)));
    r->set(vm, "width", Value(w));
    r->set(vm, "height", Value(h));
    r->set(vm, "textFieldHeight", Value(h + 4));
    r->set(vm, "textFieldWidth", Value(wrap ? width : w + 4));
    return Value(r);
}

// --- StyleSheet ------------------------------------------------------------------------------------------

std::string trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a])))
        ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1])))
        --b;
    return s.substr(a, b - a);
}

// "font-size" -> "fontSize", as Flash stores CSS properties.
std::string camel(const std::string& s) {
    std::string out;
    bool up = false;
    for (char c : s) {
        if (c == '-') {
            up = true;
            continue;
        }
        out.push_back(up ? char(std::toupper(static_cast<unsigned char>(c))) : c);
        up = false;
    }
    return out;
}

Object* stylesOf(Vm& vm, Object* sheet) {
    Value v = sheet->get(vm, "_css");
    if (Object* o = v.object()) return o;
    Object* o = vm.newObject();
    sheet->define(vm, "_css", Value(o), kDontEnum);
    return o;
}

// parseCSS(text): rules "sel1, sel2 { name: value; ... }" added to the sheet; false (nothing added) when
// the text is malformed.
Value ssParseCss(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* sheet = self.object();
    if (!sheet) return Value(false);
    const std::string css = vm.toString(arg(args, 0));
    struct Rule {
        std::vector<std::string> selectors;
        std::vector<std::pair<std::string, std::string>> props;
    };
    std::vector<Rule> rules;
    size_t i = 0;
    while (i < css.size() && rules.size() < 10000) {
        const size_t open = css.find('{', i);
        if (open == std::string::npos) {
            if (!trim(css.substr(i)).empty()) return Value(false);
            break;
        }
        const size_t close = css.find('}', open);
        if (close == std::string::npos) return Value(false);
        Rule r;
        std::string sels = css.substr(i, open - i);
        size_t p = 0;
        while (p <= sels.size()) {
            size_t comma = sels.find(',', p);
            if (comma == std::string::npos) comma = sels.size();
            std::string s = trim(sels.substr(p, comma - p));
            if (s.empty()) return Value(false);
            r.selectors.push_back(s);
            p = comma + 1;
        }
        std::string body = css.substr(open + 1, close - open - 1);
        p = 0;
        while (p < body.size()) {
            size_t semi = body.find(';', p);
            if (semi == std::string::npos) semi = body.size();
            const std::string decl = body.substr(p, semi - p);
            const size_t colon = decl.find(':');
            if (colon != std::string::npos) {
                std::string name = trim(decl.substr(0, colon)), value = trim(decl.substr(colon + 1));
                if (!name.empty()) r.props.emplace_back(camel(name), value);
            } else if (!trim(decl).empty()) {
                return Value(false);
            }
            p = semi + 1;
        }
        rules.push_back(std::move(r));
        i = close + 1;
    }
    Object* styles = stylesOf(vm, sheet);
    for (const Rule& r : rules)
        for (const std::string& sel : r.selectors) {
            std::string key = sel;
            for (char& c : key)
                c = char(std::tolower(static_cast<unsigned char>(c)));
            Object* style = styles->get(vm, key).object();
            if (!style) {
                style = vm.newObject();
                styles->set(vm, key, Value(style));
            }
            for (const auto& [n, v] : r.props)
                style->set(vm, n, Value(v));
        }
    return Value(true);
}

Value ssSetStyle(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* sheet = self.object();
    if (!sheet || args.empty()) return Value();
    std::string key = vm.toString(args[0]);
    for (char& c : key)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    Object* styles = stylesOf(vm, sheet);
    Object* given = arg(args, 1).object();
    if (!given) {
        styles->remove(vm, key);
        return Value();
    }
    // The sheet keeps a copy of the style object.
    Object* copy = vm.newObject();
    std::vector<std::string> keys;
    given->ownKeys(vm, keys);
    for (const std::string& k : keys)
        copy->set(vm, k, given->get(vm, k));
    styles->set(vm, key, Value(copy));
    return Value();
}

Value ssGetStyle(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* sheet = self.object();
    if (!sheet) return Value();
    std::string key = vm.toString(arg(args, 0));
    for (char& c : key)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    Object* style = stylesOf(vm, sheet)->get(vm, key).object();
    if (!style) return Value::null();
    Object* copy = vm.newObject();
    std::vector<std::string> keys;
    style->ownKeys(vm, keys);
    for (const std::string& k : keys)
        copy->set(vm, k, style->get(vm, k));
    return Value(copy);
}

Value ssGetStyleNames(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* sheet = self.object();
    ArrayObject* a = vm.newArray();
    if (!sheet) return Value(a);
    std::vector<std::string> keys;
    stylesOf(vm, sheet)->ownKeys(vm, keys);
    for (const std::string& k : keys)
        a->elements.push_back(Value(k));
    return Value(a);
}

Value ssClear(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (Object* sheet = self.object()) sheet->define(vm, "_css", Value(vm.newObject()), kDontEnum);
    return Value();
}

// One CSS property (camel-cased name, value as written) applied to a format.
void applyCssProperty(const std::string& n, const std::string& v, text::TextFormat& f) {
    if (n == "color" && !v.empty() && v[0] == '#') {
        f.color = uint32_t(std::strtoul(v.c_str() + 1, nullptr, 16)) & 0xFFFFFF;
    } else if (n == "fontFamily") {
        f.font = v;
    } else if (n == "fontSize") {
        const double s = std::strtod(v.c_str(), nullptr);
        if (s > 0 && std::isfinite(s)) f.size = std::min(s, 10000.0);
    } else if (n == "fontWeight") {
        f.bold = v == "bold";
    } else if (n == "fontStyle") {
        f.italic = v == "italic";
    } else if (n == "textDecoration") {
        f.underline = v == "underline";
    } else if (n == "textAlign") {
        if (v == "left") f.align = text::Align::Left;
        if (v == "right") f.align = text::Align::Right;
        if (v == "center") f.align = text::Align::Center;
        if (v == "justify") f.align = text::Align::Justify;
    } else if (n == "marginLeft") {
        f.leftMargin = clampPixels(std::strtod(v.c_str(), nullptr));
    } else if (n == "marginRight") {
        f.rightMargin = clampPixels(std::strtod(v.c_str(), nullptr));
    } else if (n == "textIndent") {
        f.indent = clampPixels(std::strtod(v.c_str(), nullptr));
    } else if (n == "letterSpacing") {
        f.letterSpacing = clampPixels(std::strtod(v.c_str(), nullptr));
    } else if (n == "kerning") {
        f.kerning = v == "true";
    } else if (n == "leading") {
        f.leading = clampPixels(std::strtod(v.c_str(), nullptr));
    }
}

void applyStyle(Vm& vm, Object* style, text::TextFormat& f) {
    std::vector<std::string> keys;
    style->ownKeys(vm, keys);
    for (const std::string& k : keys) {
        Value v = style->get(vm, k);
        if (!v.isNullish()) applyCssProperty(k, vm.toString(v), f);
    }
}

// transform(style): the TextFormat a style stands for.
Value ssTransform(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* style = arg(args, 0).object();
    if (!style) return Value::null();
    text::TextFormat f;
    applyStyle(vm, style, f);
    return Value(newTextFormat(
        vm, f,
        ~uint32_t(0) & ~(kFont | kSize | kColor | kBold | kItalic | kUnderline | kAlign | kLeftMargin |
                         kRightMargin | kIndent | kLetterSpacing | kKerning | kLeading)));
}

Value ssCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (Object* o = self.object()) o->define(vm, "_css", Value(vm.newObject()), kDontEnum);
    return Value();
}

}  // namespace

void textFormatMade(Vm& vm) {
    // Flash gives TextFormat.prototype (whatever object it is now) its property accessors when a text
    // format is made natively, unless it has them.
    Object* cls = vm.global->get(vm, "TextFormat").object();
    Object* proto = cls ? cls->get(vm, "prototype").object() : nullptr;
    if (!proto || proto->hasOwn(vm, "size")) return;
    defineSlotAccessors(vm, proto, std::make_index_sequence<kSlots>());
}

Object* newTextFormat(Vm& vm, const text::TextFormat& f, uint32_t mixed) {
    Object* proto = vm.objectProto;
    if (Object* cls = vm.global->get(vm, "TextFormat").object())
        if (Object* p = cls->get(vm, "prototype").object()) proto = p;
    Object* o = vm.make<TextFormatObject>(proto);
    auto put = [&](uint32_t bit, const char* name, const Value& v) {
        o->set(vm, name, (mixed & bit) ? Value::null() : v);
    };
    put(kFont, "font", Value(f.font));
    // A field's own values are whole numbers to the nearest (its HTML may give fractions).
    auto whole = [](double v) { return Value(std::nearbyint(v)); };
    put(kSize, "size", whole(f.size));
    put(kColor, "color", Value(double(f.color)));
    put(kUrl, "url", Value(f.url));
    put(kTarget, "target", Value(f.target));
    put(kBold, "bold", Value(f.bold));
    put(kItalic, "italic", Value(f.italic));
    put(kUnderline, "underline", Value(f.underline));
    put(kAlign, "align", Value(alignName(f.align)));
    put(kLeftMargin, "leftMargin", whole(f.leftMargin));
    put(kRightMargin, "rightMargin", whole(f.rightMargin));
    put(kIndent, "indent", whole(f.indent));
    put(kLeading, "leading", whole(f.leading));
    put(kBlockIndent, "blockIndent", whole(f.blockIndent));
    ArrayObject* stops = vm.newArray();
    for (double t : f.tabStops)
        stops->elements.push_back(Value(t));
    put(kTabStops, "tabStops", Value(stops));
    put(kBullet, "bullet", Value(f.bullet));
    if (vm.version >= 8) {
        put(kLetterSpacing, "letterSpacing", Value(f.letterSpacing));
        put(kKerning, "kerning", Value(f.kerning));
    }
    return o;
}

uint32_t readTextFormat(Vm& vm, Object* format, text::TextFormat& f) {
    uint32_t set = 0;
    auto get = [&](const char* n, Value& out) {
        out = format->get(vm, n);
        return !out.isNullish();
    };
    Value v;
    if (get("font", v) && (set |= kFont)) f.font = vm.toString(v);
    if (get("size", v) && (set |= kSize)) {
        const double n = vm.toNumber(v);
        if (std::isfinite(n)) f.size = std::clamp(n, 0.0, 10000.0);
    }
    if (get("color", v) && (set |= kColor)) f.color = uint32_t(toInt32(vm.toNumber(v))) & 0xFFFFFF;
    if (get("url", v) && (set |= kUrl)) f.url = vm.toString(v);
    if (get("target", v) && (set |= kTarget)) f.target = vm.toString(v);
    if (get("bold", v) && (set |= kBold)) f.bold = vm.toBoolean(v);
    if (get("italic", v) && (set |= kItalic)) f.italic = vm.toBoolean(v);
    if (get("underline", v) && (set |= kUnderline)) f.underline = vm.toBoolean(v);
    if (get("align", v) && (set |= kAlign)) {
        const std::string a = vm.toString(v);
        if (a == "left") f.align = text::Align::Left;
        if (a == "right") f.align = text::Align::Right;
        if (a == "center") f.align = text::Align::Center;
        if (a == "justify") f.align = text::Align::Justify;
    }
    if (get("leftMargin", v) && (set |= kLeftMargin))
        f.leftMargin = std::max(0.0, clampPixels(vm.toNumber(v)));
    if (get("rightMargin", v) && (set |= kRightMargin))
        f.rightMargin = std::max(0.0, clampPixels(vm.toNumber(v)));
    if (get("indent", v) && (set |= kIndent)) f.indent = clampPixels(vm.toNumber(v));
    if (get("leading", v) && (set |= kLeading)) f.leading = clampPixels(vm.toNumber(v));
    if (get("blockIndent", v) && (set |= kBlockIndent))
        f.blockIndent = std::max(0.0, clampPixels(vm.toNumber(v)));
    if (get("bullet", v) && (set |= kBullet)) f.bullet = vm.toBoolean(v);
    if (get("letterSpacing", v) && (set |= kLetterSpacing)) f.letterSpacing = clampPixels(vm.toNumber(v));
    if (get("kerning", v) && (set |= kKerning)) f.kerning = vm.toBoolean(v);
    if (get("tabStops", v) && (set |= kTabStops)) {
        f.tabStops.clear();
        if (auto* a = dynamic_cast<ArrayObject*>(v.object()))
            for (size_t i = 0; i < a->elements.size() && i < 100; ++i)
                f.tabStops.push_back(clampPixels(vm.toNumber(a->elements[i])));
    }
    return set;
}

void applyTextFormat(const text::TextFormat& from, uint32_t set, text::TextFormat& f) {
    if (set & kFont) f.font = from.font;
    if (set & kSize) f.size = from.size;
    if (set & kColor) f.color = from.color;
    if (set & kUrl) f.url = from.url;
    if (set & kTarget) f.target = from.target;
    if (set & kBold) f.bold = from.bold;
    if (set & kItalic) f.italic = from.italic;
    if (set & kUnderline) f.underline = from.underline;
    if (set & kAlign) f.align = from.align;
    if (set & kLeftMargin) f.leftMargin = from.leftMargin;
    if (set & kRightMargin) f.rightMargin = from.rightMargin;
    if (set & kIndent) f.indent = from.indent;
    if (set & kLeading) f.leading = from.leading;
    if (set & kBlockIndent) f.blockIndent = from.blockIndent;
    if (set & kTabStops) f.tabStops = from.tabStops;
    if (set & kBullet) f.bullet = from.bullet;
    if (set & kLetterSpacing) f.letterSpacing = from.letterSpacing;
    if (set & kKerning) f.kerning = from.kerning;
}

void applyTextFormat(Vm& vm, Object* format, text::TextFormat& f) {
    text::TextFormat read = f;
    applyTextFormat(read, readTextFormat(vm, format, read), f);
}

uint32_t formatDifferences(const text::TextFormat& a, const text::TextFormat& b) {
    uint32_t m = 0;
    if (a.font != b.font) m |= kFont;
    if (a.size != b.size) m |= kSize;
    if (a.color != b.color) m |= kColor;
    if (a.url != b.url) m |= kUrl;
    if (a.target != b.target) m |= kTarget;
    if (a.bold != b.bold) m |= kBold;
    if (a.italic != b.italic) m |= kItalic;
    if (a.underline != b.underline) m |= kUnderline;
    if (a.align != b.align) m |= kAlign;
    if (a.leftMargin != b.leftMargin) m |= kLeftMargin;
    if (a.rightMargin != b.rightMargin) m |= kRightMargin;
    if (a.indent != b.indent) m |= kIndent;
    if (a.leading != b.leading) m |= kLeading;
    if (a.blockIndent != b.blockIndent) m |= kBlockIndent;
    if (a.tabStops != b.tabStops) m |= kTabStops;
    if (a.bullet != b.bullet) m |= kBullet;
    if (a.letterSpacing != b.letterSpacing) m |= kLetterSpacing;
    if (a.kerning != b.kerning) m |= kKerning;
    return m;
}

text::StyleLookup styleLookupOf(Vm& vm, Object* sheet) {
    // A snapshot of the rules as formats edits: selector -> the properties it sets, applied in order.
    struct Rule {
        std::vector<std::pair<std::string, std::string>> props;
    };
    auto rules = std::make_shared<std::map<std::string, Rule>>();
    Object* styles = stylesOf(vm, sheet);
    std::vector<std::string> selectors;
    styles->ownKeys(vm, selectors);
    for (const std::string& sel : selectors) {
        Object* style = styles->get(vm, sel).object();
        if (!style) continue;
        Rule r;
        std::vector<std::string> keys;
        style->ownKeys(vm, keys);
        for (const std::string& k : keys)
            r.props.emplace_back(k, vm.toString(style->get(vm, k)));
        (*rules)[sel] = std::move(r);
    }
    return [rules](const std::string& selector, text::TextFormat& f) {
        std::string key = selector;
        for (char& c : key)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        auto it = rules->find(key);
        if (it == rules->end()) return false;
        for (const auto& [n, v] : it->second.props)
            applyCssProperty(n, v, f);
        return true;
    };
}

void installTextFormat(Vm& vm) {
    Object* proto = vm.newObject();
    NativeFunction* cls = vm.newClass(tfmtCtor, proto);
    cls->allocate = allocateTextFormat;
    if (vm.version >= 6) vm.method(proto, "getTextExtent", tfmtGetTextExtent);
    vm.global->define(vm, "TextFormat", Value(cls), kDontEnum);
}

void installStyleSheet(Vm& vm) {
    // Style sheets came with Flash Player 7: older movies do not see them.
    Object* textField = vm.global->get(vm, "TextField").object();
    if (!textField || vm.version < 7) return;
    Object* proto = vm.newObject();
    NativeFunction* cls = vm.newClass(ssCtor, proto);
    vm.method(proto, "parseCSS", ssParseCss);
    vm.method(proto, "setStyle", ssSetStyle);
    vm.method(proto, "getStyle", ssGetStyle);
    vm.method(proto, "getStyleNames", ssGetStyleNames);
    vm.method(proto, "clear", ssClear);
    vm.method(proto, "transform", ssTransform);
    textField->define(vm, "StyleSheet", Value(cls), kDontEnum);
}

}  // namespace player::avm1
