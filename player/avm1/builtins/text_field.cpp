// TextField: the script face of a text field (placed by the timeline or made by createTextField). Its
// properties read and change the field; a change of content or format lays the field out again on the next
// picture. A conversion has no user typing: onChanged never fires; onScroller fires when a script scrolls.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <utility>

#include "player/avm1/builtins/focus.h"
#include "player/avm1/builtins/native_args.h"
#include "player/avm1/builtins/text_support.h"
#include "player/avm1/clip_object.h"
#include "player/avm1/vm.h"
#include "player/core/edit_text.h"
#include "player/core/movie_clip.h"
#include "player/core/movie_def.h"
#include "player/core/runtime.h"

namespace player::avm1 {

namespace {

enum class Prop {
    Text,
    HtmlText,
    Html,
    TextColor,
    Background,
    BackgroundColor,
    Border,
    BorderColor,
    AutoSize,
    WordWrap,
    Multiline,
    EmbedFonts,
    TextWidth,
    TextHeight,
    Scroll,
    MaxScroll,
    HScroll,
    MaxHScroll,
    BottomScroll,
    Length,
    MaxChars,
    Password,
    Selectable,
    Type,
    Variable,
    CondenseWhite,
    StyleSheet,
    X,
    Y,
    XScale,
    YScale,
    Alpha,
    Visible,
    Width,
    Height,
    Rotation,
    Name,
    Target,
    Parent,
    Root,
    XMouse,
    YMouse,
    Url,
    HighQuality,
    Quality,
};

const std::pair<const char*, Prop> kProps[] = {
    {"text", Prop::Text},
    {"htmltext", Prop::HtmlText},
    {"html", Prop::Html},
    {"textcolor", Prop::TextColor},
    {"background", Prop::Background},
    {"backgroundcolor", Prop::BackgroundColor},
    {"border", Prop::Border},
    {"bordercolor", Prop::BorderColor},
    {"autosize", Prop::AutoSize},
    {"wordwrap", Prop::WordWrap},
    {"multiline", Prop::Multiline},
    {"embedfonts", Prop::EmbedFonts},
    {"textwidth", Prop::TextWidth},
    {"textheight", Prop::TextHeight},
    {"scroll", Prop::Scroll},
    {"maxscroll", Prop::MaxScroll},
    {"hscroll", Prop::HScroll},
    {"maxhscroll", Prop::MaxHScroll},
    {"bottomscroll", Prop::BottomScroll},
    {"length", Prop::Length},
    {"maxchars", Prop::MaxChars},
    {"password", Prop::Password},
    {"selectable", Prop::Selectable},
    {"type", Prop::Type},
    {"variable", Prop::Variable},
    {"condensewhite", Prop::CondenseWhite},
    {"stylesheet", Prop::StyleSheet},
    {"_x", Prop::X},
    {"_y", Prop::Y},
    {"_xscale", Prop::XScale},
    {"_yscale", Prop::YScale},
    {"_alpha", Prop::Alpha},
    {"_visible", Prop::Visible},
    {"_width", Prop::Width},
    {"_height", Prop::Height},
    {"_rotation", Prop::Rotation},
    {"_name", Prop::Name},
    {"_target", Prop::Target},
    {"_parent", Prop::Parent},
    {"_root", Prop::Root},
    {"_xmouse", Prop::XMouse},
    {"_ymouse", Prop::YMouse},
    {"_url", Prop::Url},
    {"_highquality", Prop::HighQuality},
    {"_quality", Prop::Quality},
};

// Properties by name: case-insensitive before SWF 7; from SWF 7 the names as Flash spells them.
bool findProp(Vm& vm, const std::string& name, Prop& out) {
    std::string l = name;
    for (char& c : l)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& [n, p] : kProps) {
        if (l != n) continue;
        if (vm.caseSensitive()) {
            // The camel-case spelling: compare ignoring case, then require the same letters' case as Flash.
            static const char* const spelled[] = {
                "text",         "htmlText",      "html",       "textColor", "background", "backgroundColor",
                "border",       "borderColor",   "autoSize",   "wordWrap",  "multiline",  "embedFonts",
                "textWidth",    "textHeight",    "scroll",     "maxscroll", "hscroll",    "maxhscroll",
                "bottomScroll", "length",        "maxChars",   "password",  "selectable", "type",
                "variable",     "condenseWhite", "styleSheet", "_x",        "_y",         "_xscale",
                "_yscale",      "_alpha",        "_visible",   "_width",    "_height",    "_rotation",
                "_name",        "_target",       "_parent",    "_root",     "_xmouse",    "_ymouse",
                "_url",         "_highquality",  "_quality"};
            if (name != spelled[int(p)]) return false;
        }
        out = p;
        return true;
    }
    return false;
}

double twipsToPx(double v) {
    return v / 20.0;
}

void decompose(const Matrix& m, double& sx, double& sy, double& rot) {
    sx = std::hypot(m.a, m.b);
    sy = std::hypot(m.c, m.d);
    rot = std::atan2(m.b, m.a);
}

void recompose(Matrix& m, double sx, double sy, double rot) {
    const double skew = std::atan2(-m.c, m.d) - std::atan2(m.b, m.a);
    m.a = sx * std::cos(rot);
    m.b = sx * std::sin(rot);
    m.c = -sy * std::sin(rot + skew);
    m.d = sy * std::cos(rot + skew);
}

// Sets the bound variable (if any) to the field's text, as a script's change of the text does.
void writeVariable(Vm& vm, EditText& f) {
    if (f.variable.empty()) return;
    MovieClip* owner = f.parent ? f.parent->asClip() : nullptr;
    if (!owner) return;
    ClipObject* base = scriptObjectOf(vm, owner);
    const size_t split = f.variable.find_last_of(".:");
    Object* holder = split == std::string::npos ? base : vm.resolvePath(base, f.variable.substr(0, split));
    if (!holder) return;
    const std::string name = split == std::string::npos ? f.variable : f.variable.substr(split + 1);
    std::string t = f.html ? f.htmlText(vm.version) : f.text();
    f.boundValue = t;
    holder->set(vm, name, Value(t));
}

void refreshStyles(Vm& vm, TextFieldObject& o, EditText& f) {
    Object* sheet = o.styleSheet.object();
    f.styleSheet = sheet ? styleLookupOf(vm, sheet) : text::StyleLookup();
}

}  // namespace

void fieldEdited(Vm& vm, TextFieldObject* t) {
    EditText* f = t->field();
    if (!f) return;
    f->applyAutoSize();
    writeVariable(vm, *f);
    // The field hears onChanged, then its listeners.
    Value self(t);
    std::vector<Value> a{self};
    vm.callMethod(self, "onChanged", a);
    if (auto* list = dynamic_cast<ArrayObject*>(t->get(vm, "_listeners").object())) {
        std::vector<Value> listeners = list->elements;
        for (const Value& l : listeners) {
            if (l.object() == t) continue;
            a = {self};
            vm.callMethod(l, "onChanged", a);
        }
    }
}

TextFieldObject::TextFieldObject(Object* proto, EditText* field) : Object(proto), handle_(field->handle()) {}

EditText* TextFieldObject::field() const {
    auto p = handle_.lock();
    return p ? *p : nullptr;
}

void TextFieldObject::trace(std::vector<GcCell*>& out) const {
    Object::trace(out);
    traceValue(styleSheet, out);
}

TextFieldObject* textFieldObjectOf(Vm& vm, EditText* field) {
    if (!field) return nullptr;
    if (field->scriptObject) return static_cast<TextFieldObject*>(field->scriptObject);
    auto* o = vm.make<TextFieldObject>(vm.textFieldProto ? vm.textFieldProto : vm.objectProto, field);
    field->scriptObject = o;
    // A field is a broadcaster of its own events, listening to itself first.
    o->define(vm, "_listeners", Value(vm.newArray({Value(o)})), kDontEnum);
    return o;
}

Object* textFieldChild(Vm& vm, MovieClip* clip, const std::string& name) {
    // Before Flash Player 6 text fields were not script objects.
    if (!clip || vm.version < 6) return nullptr;
    for (const auto& [depth, obj] : clip->children()) {
        if (!obj->character() || obj->character()->kind != Character::Kind::EditText) continue;
        const std::string& n = obj->name;
        bool same = n.size() == name.size();
        for (size_t i = 0; same && i < n.size(); ++i)
            same = vm.caseSensitive() ? n[i] == name[i]
                                      : std::tolower(static_cast<unsigned char>(n[i])) ==
                                            std::tolower(static_cast<unsigned char>(name[i]));
        if (same) return textFieldObjectOf(vm, static_cast<EditText*>(obj.get()));
    }
    return nullptr;
}

bool TextFieldObject::getOwn(Vm& vm, const std::string& name, Object* self, Value& out) {
    EditText* f = field();
    Prop p;
    if (!f || !findProp(vm, name, p)) return Object::getOwn(vm, name, self, out);
    const double width = double(f->bounds.xMax) - double(f->bounds.xMin);
    const double height = double(f->bounds.yMax) - double(f->bounds.yMin);
    double sx, sy, rot;
    decompose(f->matrix, sx, sy, rot);
    Runtime& rt = static_cast<Runtime&>(vm.host);
    // A bound field shows its variable's value at once, not only after the frame.
    if ((p == Prop::Text || p == Prop::HtmlText) && !f->variable.empty()) {
        rt.updateBoundField(*f);
        // Reading the variable may have run script that removed the field.
        if (!(f = field())) {
            out = Value();
            return true;
        }
    }
    switch (p) {
        case Prop::Text:
            out = Value(f->text());
            break;
        case Prop::HtmlText:
            out = Value(f->html ? (f->styleSheet ? f->htmlSource : f->htmlText(vm.version)) : f->text());
            break;
        case Prop::Html:
            out = Value(f->html);
            break;
        case Prop::TextColor:
            out = Value(double(f->textColor));
            break;
        case Prop::Background:
            out = Value(f->background);
            break;
        case Prop::BackgroundColor:
            out = Value(double(f->backgroundColor));
            break;
        case Prop::Border:
            out = Value(f->border);
            break;
        case Prop::BorderColor:
            out = Value(double(f->borderColor));
            break;
        case Prop::AutoSize: {
            static const char* const names[] = {"none", "left", "center", "right"};
            out = Value(names[int(f->autoSize)]);
            break;
        }
        case Prop::WordWrap:
            out = Value(f->wordWrap);
            break;
        case Prop::Multiline:
            out = Value(f->multiline);
            break;
        case Prop::EmbedFonts:
            out = Value(f->embedFonts);
            break;
        case Prop::TextWidth:
            out = Value(std::round(f->layout().textWidth / 20));
            break;
        case Prop::TextHeight:
            out = Value(std::round(f->layout().textHeight / 20));
            break;
        case Prop::Scroll:
            out = Value(f->scroll);
            break;
        case Prop::MaxScroll:
            out = Value(f->maxScroll());
            break;
        case Prop::HScroll:
            out = Value(f->hscroll);
            break;
        case Prop::MaxHScroll:
            out =
                Value(std::max(0.0, std::round((f->layout().textWidth - (width - 2 * text::kGutter)) / 20)));
            break;
        case Prop::BottomScroll:
            out = Value(f->bottomScroll());
            break;
        case Prop::Length:
            out = Value(double(f->length()));
            break;
        case Prop::MaxChars:
            out = f->maxChars > 0 ? Value(f->maxChars) : Value::null();
            break;
        case Prop::Password:
            out = Value(f->password);
            break;
        case Prop::Selectable:
            out = Value(f->selectable);
            break;
        case Prop::Type:
            out = Value(f->readOnly ? "dynamic" : "input");
            break;
        case Prop::Variable:
            out = f->variable.empty() ? Value::null() : Value(f->variable);
            break;
        case Prop::CondenseWhite:
            out = Value(f->condenseWhite);
            break;
        case Prop::StyleSheet:
            out = styleSheet.isNull() ? Value() : styleSheet;
            break;
        case Prop::X:
            out = Value(f->matrix.tx / 20.0);
            break;
        case Prop::Y:
            out = Value(f->matrix.ty / 20.0);
            break;
        case Prop::XScale:
            out = Value(sx * 100);
            break;
        case Prop::YScale:
            out = Value(sy * 100);
            break;
        case Prop::Alpha:
            out = Value(double(f->cxform.am) * 100);
            break;
        case Prop::Visible:
            out = Value(f->visible);
            break;
        case Prop::Width:
            out = Value(twipsToPx(width * sx));
            break;
        case Prop::Height:
            out = Value(twipsToPx(height * sy));
            break;
        case Prop::Rotation:
            out = Value(rot * 180 / 3.14159265358979323846);
            break;
        case Prop::Name:
            out = Value(f->name);
            break;
        case Prop::Target:
        case Prop::Parent:
        case Prop::Root: {
            MovieClip* parent = f->parent ? f->parent->asClip() : nullptr;
            ClipObject* po = parent ? scriptObjectOf(vm, parent) : nullptr;
            if (p == Prop::Parent) {
                out = po ? Value(po) : Value();
            } else if (p == Prop::Root) {
                out = po ? Value(po->root()) : Value();
            } else {
                std::string path = po ? po->slashPath() : "";
                out = Value((path == "/" ? "" : path) + "/" + f->name);
            }
            break;
        }
        case Prop::XMouse:
        case Prop::YMouse:
            out = Value(0);
            break;
        case Prop::Url:
            out = Value(f->movie() ? f->movie()->url() : "");
            break;
        case Prop::HighQuality:
            out = Value(rt.quality == "LOW" ? 0 : 1);
            break;
        case Prop::Quality:
            out = Value(rt.quality);
            break;
    }
    return true;
}

namespace {

// A field keeps its tabIndex as an unsigned 32-bit number (undefined unsets it).
Value fieldTabIndex(Vm& vm, const Value& v) {
    return v.isUndefined() ? v : Value(double(toUint32(vm.toNumber(v))));
}

// restrict: the characters typing may enter, as a string; null (anything goes) for undefined, null or "".
Value fieldRestrict(Vm& vm, const Value& v) {
    if (v.isNullish()) return Value::null();
    std::string s = vm.toString(v);
    return s.empty() ? Value::null() : Value(s);
}

}  // namespace

void TextFieldObject::set(Vm& vm, const std::string& name, const Value& value) {
    EditText* f = field();
    if (f && vm.key(name) == vm.key("tabIndex")) return Object::set(vm, name, fieldTabIndex(vm, value));
    if (f && vm.key(name) == vm.key("restrict")) return Object::set(vm, name, fieldRestrict(vm, value));
    Prop p;
    if (!f || !findProp(vm, name, p)) return Object::set(vm, name, value);
    // The value is converted first, as the property needs it (conversions may run script, which may
    // even remove the field).
    double n = 0;
    std::string str;
    switch (p) {
        case Prop::Text:
        case Prop::HtmlText:
        case Prop::Type:
        case Prop::Name:
            str = vm.toString(value);
            break;
        case Prop::Variable:
            if (!value.isNullish()) str = vm.toString(value);
            break;
        case Prop::AutoSize:
            if (!value.isBoolean()) str = vm.toString(value);
            break;
        case Prop::Scroll:
        case Prop::HScroll:
        case Prop::MaxChars:
        case Prop::X:
        case Prop::Y:
        case Prop::XScale:
        case Prop::YScale:
        case Prop::Rotation:
        case Prop::Alpha:
        case Prop::Width:
        case Prop::Height:
        case Prop::TextColor:
        case Prop::BackgroundColor:
        case Prop::BorderColor:
            n = vm.toNumber(value);
            break;
        default:
            break;
    }
    if (!(f = field())) return;
    const bool finite = std::isfinite(n);
    const uint32_t rgb = uint32_t(toInt32(n)) & 0xFFFFFF;
    bool relayout = false;
    switch (p) {
        case Prop::Text:
            f->setText(str);
            writeVariable(vm, *f);
            relayout = true;
            break;
        case Prop::HtmlText: {
            if (!f->html) {
                f->setText(str);
            } else {
                refreshStyles(vm, *this, *f);
                if (!(f = field())) return;
                f->setHtmlText(str);
            }
            writeVariable(vm, *f);
            relayout = true;
            break;
        }
        case Prop::Html:
            f->html = vm.toBoolean(value);
            break;
        case Prop::TextColor: {
            const uint32_t c = rgb;
            f->textColor = c;
            f->newFormat.color = c;
            f->editContent().reformat(0, f->length(), [c](text::TextFormat& tf) { tf.color = c; });
            break;
        }
        case Prop::Background:
            f->background = vm.toBoolean(value);
            f->changed();
            break;
        case Prop::BackgroundColor:
            f->backgroundColor = rgb;
            f->changed();
            break;
        case Prop::Border:
            f->border = vm.toBoolean(value);
            f->changed();
            break;
        case Prop::BorderColor:
            f->borderColor = rgb;
            f->changed();
            break;
        case Prop::AutoSize: {
            // true and "left" grow rightwards; "center" and "right" keep that point; false and "none" stop.
            EditText::AutoSize a = EditText::AutoSize::None;
            if (value.isBoolean()) {
                a = value.boolean() ? EditText::AutoSize::Left : EditText::AutoSize::None;
            } else {
                // The names in any case ("RIght").
                std::string l = str;
                for (char& c : l)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                if (l == "left") a = EditText::AutoSize::Left;
                if (l == "center") a = EditText::AutoSize::Center;
                if (l == "right") a = EditText::AutoSize::Right;
            }
            f->autoSize = a;
            relayout = true;
            break;
        }
        case Prop::WordWrap:
            f->wordWrap = vm.toBoolean(value);
            relayout = true;
            break;
        case Prop::Multiline:
            f->multiline = vm.toBoolean(value);
            relayout = true;
            break;
        case Prop::EmbedFonts:
            f->embedFonts = vm.toBoolean(value);
            relayout = true;
            break;
        case Prop::Scroll:
            if (finite) {
                const int s = int(clampToInt(n, 1, std::max(1, f->maxScroll())));
                if (s != f->scroll) {
                    f->scroll = s;
                    f->changed();
                    std::vector<Value> a{Value("onScroller"), Value(this)};
                    vm.callMethod(Value(this), "broadcastMessage", a);
                }
            }
            break;
        case Prop::HScroll:
            if (finite) {
                f->hscroll = int(clampToInt(n, 0, 1 << 20));
                f->changed();
            }
            break;
        case Prop::MaxChars:
            f->maxChars = value.isNullish() ? 0 : int(clampToInt(n, 0, 1 << 30));
            break;
        case Prop::Password:
            f->password = vm.toBoolean(value);
            relayout = true;
            break;
        case Prop::Selectable:
            f->selectable = vm.toBoolean(value);
            break;
        case Prop::Type: {
            std::string s = str;
            for (char& ch : s)
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            if (s == "input") f->readOnly = false;
            if (s == "dynamic") f->readOnly = true;
            break;
        }
        case Prop::Variable:
            f->variable = str;
            f->boundValue.clear();
            f->boundOnce = false;
            // A new binding starts from the field's own initial text (given to the variable when that is
            // undefined).
            if (const auto* c = static_cast<const EditTextCharacter*>(f->character()); c && c->def) {
                const std::string initial = c->def->initialText.value_or("");
                if (f->html)
                    f->setHtmlText(initial);
                else
                    f->setText(initial);
            }
            if (!f->variable.empty()) {
                Runtime& rt = static_cast<Runtime&>(vm.host);
                rt.bindField(f);
                rt.updateBoundField(*f);
            }
            break;
        case Prop::CondenseWhite:
            f->condenseWhite = vm.toBoolean(value);
            break;
        case Prop::StyleSheet:
            styleSheet = value.object() ? value : Value::null();
            refreshStyles(vm, *this, *f);
            break;
        case Prop::X:
            // Whole twips, the fraction cut off (3.95 px reads back as 3.9).
            if (finite) f->matrix.tx = std::trunc(std::clamp(n * 20, -1e9, 1e9));
            f->scriptTransformed = true;
            break;
        case Prop::Y:
            if (finite) f->matrix.ty = std::trunc(std::clamp(n * 20, -1e9, 1e9));
            f->scriptTransformed = true;
            break;
        case Prop::XScale:
        case Prop::YScale:
        case Prop::Rotation: {
            if (!finite) break;
            double sx, sy, rot;
            decompose(f->matrix, sx, sy, rot);
            if (p == Prop::XScale) sx = n / 100;
            if (p == Prop::YScale) sy = n / 100;
            if (p == Prop::Rotation) rot = std::fmod(n, 360.0) * 3.14159265358979323846 / 180;
            recompose(f->matrix, sx, sy, rot);
            f->scriptTransformed = true;
            break;
        }
        case Prop::Alpha:
            if (finite) f->cxform.am = float(std::clamp(n, -1e6, 1e6) / 100);
            break;
        case Prop::Visible:
            f->visible = vm.toBoolean(value);
            break;
        case Prop::Width:
        case Prop::Height:
            // A field's size changes its bounds, not its scale.
            if (finite && n >= 0) {
                const int64_t v = clampToInt(n * 20, 0, 1 << 27);
                int32_t& lo = p == Prop::Width ? f->bounds.xMin : f->bounds.yMin;
                int32_t& hi = p == Prop::Width ? f->bounds.xMax : f->bounds.yMax;
                hi = int32_t(std::min<int64_t>(int64_t(lo) + v, INT32_MAX));
                relayout = true;
            }
            break;
        case Prop::Name:
            f->name = str;
            break;
        case Prop::Quality:
        case Prop::HighQuality:
            break;
        default:
            break;  // read-only
    }
    // Writing the bound variable may run script (watchers, setters) that removes the field.
    f = field();
    if (relayout && f) {
        f->changed();
        f->applyAutoSize();
    }
}

bool TextFieldObject::hasOwn(Vm& vm, const std::string& name) {
    Prop p;
    if (field() && findProp(vm, name, p)) return true;
    return Object::hasOwn(vm, name);
}

namespace {

EditText* fieldOf(const Value& self) {
    auto* o = dynamic_cast<TextFieldObject*>(self.object());
    return o ? o->field() : nullptr;
}

// A character range from script arguments: (begin, end) clamped to the text, end past begin.
void rangeOf(Vm& vm, EditText& f, std::vector<Value>& args, size_t first, size_t& begin, size_t& end) {
    const double len = double(f.length());
    begin = 0;
    end = f.length();
    if (args.size() > first && !args[first].isUndefined()) {
        begin = size_t(clampToInt(vm.toNumber(args[first]), 0, int64_t(len)));
        end = std::min(size_t(len), begin + 1);
    }
    if (args.size() > first + 1 && !args[first + 1].isUndefined())
        end = size_t(clampToInt(vm.toNumber(args[first + 1]), int64_t(begin), int64_t(len)));
}

Value tfGetTextFormat(Vm& vm, const Value& self, std::vector<Value>& args) {
    EditText* f = fieldOf(self);
    if (!f) return Value();
    if (args.empty()) textFormatMade(vm);
    size_t begin, end;
    rangeOf(vm, *f, args, 0, begin, end);
    const text::StyledText& c = f->content();
    if (c.text.empty() || begin >= end)
        return Value(newTextFormat(vm, c.text.empty() ? f->newFormat : c.formatAt(begin)));
    const text::TextFormat& first = c.formatAt(begin);
    uint32_t mixed = 0;
    // Every run that overlaps the range is compared with the first.
    size_t start = 0;
    for (const text::StyledText::Run& r : c.runs) {
        if (r.end > begin && start < end) mixed |= formatDifferences(first, r.format);
        start = r.end;
    }
    return Value(newTextFormat(vm, first, mixed));
}

Value tfSetTextFormat(Vm& vm, const Value& self, std::vector<Value>& args) {
    EditText* f = fieldOf(self);
    if (!f || args.empty()) return Value();
    // setTextFormat(format), (index, format) or (begin, end, format).
    Object* fmt = args.back().object();
    if (!fmt) return Value();
    // Everything that may run script (reading the format, converting the range) comes first.
    text::TextFormat values;
    const uint32_t set = readTextFormat(vm, fmt, values);
    std::vector<Value> range(args.begin(), args.end() - 1);
    if (!(f = fieldOf(self))) return Value();
    size_t begin, end;
    rangeOf(vm, *f, range, 0, begin, end);
    if (!(f = fieldOf(self))) return Value();
    f->editContent().reformat(begin, end, [&](text::TextFormat& tf) { applyTextFormat(values, set, tf); });
    if (f->length() == 0) applyTextFormat(values, set, f->newFormat);
    f->applyAutoSize();
    return Value();
}

Value tfSetNewTextFormat(Vm& vm, const Value& self, std::vector<Value>& args) {
    EditText* f = fieldOf(self);
    if (!f) return Value();
    textFormatMade(vm);
    if (Object* fmt = arg(args, 0).object()) applyTextFormat(vm, fmt, f->newFormat);
    return Value();
}

Value tfGetNewTextFormat(Vm& vm, const Value& self, std::vector<Value>& args) {
    EditText* f = fieldOf(self);
    if (!f) return Value();
    textFormatMade(vm);
    return Value(newTextFormat(vm, f->newFormat));
}

Value tfReplaceText(Vm& vm, const Value& self, std::vector<Value>& args) {
    EditText* f = fieldOf(self);
    if (!f || args.size() < 3) return Value();
    const double b = vm.toNumber(args[0]), e = vm.toNumber(args[1]);
    if (!(b >= 0) || !(e >= b)) return Value();
    const std::string text = vm.toString(args[2]);
    if (!(f = fieldOf(self))) return Value();  // the conversion ran script that removed it
    f->replaceText(size_t(clampToInt(b, 0, int64_t(f->length()))),
                   size_t(clampToInt(e, 0, int64_t(f->length()))), text);
    f->applyAutoSize();
    writeVariable(vm, *f);
    return Value();
}

// replaceSel(text): the field's selection (all of it once the field got the focus; the caret at the start
// in a field that never had it) becomes the text, the caret after it.
Value tfReplaceSel(Vm& vm, const Value& self, std::vector<Value>& args) {
    EditText* f = fieldOf(self);
    if (!f || args.empty()) return Value();
    const std::string text = vm.toString(args[0]);
    if (!(f = fieldOf(self))) return Value();
    auto* t = static_cast<TextFieldObject*>(self.object());
    const size_t length = f->length();
    const size_t begin = std::min(t->selBegin, length), end = std::min(t->selEnd, length);
    f->replaceText(begin, end, text);
    const size_t after = begin + (f->length() - (length - (end - begin)));
    t->select(after, after, after);
    f->applyAutoSize();
    writeVariable(vm, *f);
    return Value();
}

Value tfGetDepth(Vm& vm, const Value& self, std::vector<Value>& args) {
    EditText* f = fieldOf(self);
    return f ? Value(f->depth - kScriptDepthOffset) : Value();
}

Value tfRemoveTextField(Vm& vm, const Value& self, std::vector<Value>& args) {
    removeTextFieldOf(self);
    return Value();
}

Value tfGetFontList(Vm& vm, const Value& self, std::vector<Value>& args) {
    ArrayObject* a = vm.newArray();
    for (const char* n : {"_sans", "_serif", "_typewriter", "Arial", "Courier New", "Times New Roman"})
        a->elements.push_back(Value(n));
    return Value(a);
}

// A field converts to its target path, as clips do ("_level0.field"); anything else that inherits from
// TextField.prototype as a plain object does.
Value tfToString(Vm& vm, const Value& self, std::vector<Value>& args) {
    EditText* f = fieldOf(self);
    if (!f) return Value("[object Object]");
    MovieClip* parent = f->parent ? f->parent->asClip() : nullptr;
    ClipObject* po = parent ? scriptObjectOf(vm, parent) : nullptr;
    return Value((po ? po->targetPath() : std::string("_level0")) + "." + f->name);
}

Value tfCtor(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value();
}

// TextField.prototype shows the field properties as enumerable getter/setter pairs (for-in over a field, or
// over the prototype, lists them, the first listed last here). A live field answers its own properties
// before the prototype is asked; what reaches these accessors is a field's property this player keeps no
// state for (stored on the field, hidden from for-in) or an object that is no field (reads undefined, writes
// ignored). The last five came with Flash Player 8: older movies see them as plain undefined members.
constexpr const char* kAccessorNames[] = {"gridFitType",
                                          "antiAliasType",
                                          "thickness",
                                          "sharpness",
                                          "filters",
                                          "scroll",
                                          "maxscroll",
                                          "borderColor",
                                          "backgroundColor",
                                          "textColor",
                                          "tabIndex",
                                          "autoSize",
                                          "text",
                                          "type",
                                          "htmlText",
                                          "variable",
                                          "hscroll",
                                          "maxhscroll",
                                          "maxChars",
                                          "embedFonts",
                                          "html",
                                          "border",
                                          "background",
                                          "wordWrap",
                                          "password",
                                          "multiline",
                                          "selectable",
                                          "length",
                                          "bottomScroll",
                                          "textWidth",
                                          "textHeight",
                                          "restrict",
                                          "condenseWhite",
                                          "mouseWheelEnabled",
                                          "styleSheet"};
constexpr size_t kFlash8Accessors = 5;

template <size_t I>
Value tfAccessorGet(Vm& vm, const Value& self, std::vector<Value>& args) {
    // A live field that never had a restrict set reads null.
    if (std::string_view(kAccessorNames[I]) == "restrict" && fieldOf(self)) return Value::null();
    return Value();
}

template <size_t I>
Value tfAccessorSet(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (!fieldOf(self)) return Value();
    Value v = arg(args, 0);
    // A field keeps its tabIndex as an unsigned 32-bit number.
    if (std::string_view(kAccessorNames[I]) == "tabIndex") v = fieldTabIndex(vm, v);
    if (std::string_view(kAccessorNames[I]) == "restrict") v = fieldRestrict(vm, v);
    self.object()->define(vm, kAccessorNames[I], v, kDontEnum);
    return Value();
}

template <size_t... I>
void defineAccessors(Vm& vm, Object* proto, std::index_sequence<I...>) {
    auto one = [&](size_t i, NativeFn get, NativeFn set) {
        if (i < kFlash8Accessors && vm.version < 8)
            proto->define(vm, kAccessorNames[i], Value(), 0);
        else
            proto->defineAccessor(vm, kAccessorNames[i], vm.newFunction(get), vm.newFunction(set), 0);
    };
    (one(I, tfAccessorGet<I>, tfAccessorSet<I>), ...);
}

// createTextField(name, depth, x, y, width, height): a new empty field at a script depth, in
// Times New Roman 12 black; Flash 8 returns it.
Value mcCreateTextField(Vm& vm, const Value& self, std::vector<Value>& args) {
    ClipObject* co = self.object() ? self.object()->asClip() : nullptr;
    MovieClip* mc = co ? co->clip() : nullptr;
    if (!mc || args.size() < 6) return Value();
    const double depthN = vm.toNumber(args[1]);
    if (!std::isfinite(depthN)) return Value();
    const int depth = int(clampToInt(depthN, -16384, 2130690045)) + kScriptDepthOffset;
    Runtime& rt = static_cast<Runtime&>(vm.host);
    if (rt.liveObjects >= Runtime::kMaxDisplayObjects) return Value();
    auto field = std::make_unique<EditText>(mc->movie(), nullptr);
    field->track(&rt.liveObjects);
    field->name = vm.toString(args[0]);
    // Whole pixels (fractions are cut off); a negative size counts as positive.
    // Sizes beyond what twips hold come out as 0.
    auto px = [&](size_t i) {
        const double v = double(toInt32(vm.toNumber(args[i])));
        return std::fabs(v) > double(INT32_MAX / 20) ? 0.0 : v * 20;
    };
    const double x = px(2), y = px(3), w = px(4), h = px(5);
    field->matrix = Matrix::translate(x, y);
    field->bounds = swf::Rect{0, int32_t(std::fabs(w)), 0, int32_t(std::fabs(h))};
    field->scriptTransformed = true;
    EditText* made = field.get();
    mc->insertChild(depth, std::move(field));
    textFormatMade(vm);
    if (vm.version >= 8) return Value(textFieldObjectOf(vm, made));
    return Value();
}

}  // namespace

void removeTextFieldOf(const Value& self) {
    EditText* f = fieldOf(self);
    MovieClip* parent = f && f->parent ? f->parent->asClip() : nullptr;
    // Only fields at script depths (0 and up) leave, as with removeMovieClip.
    if (!parent || f->depth < kScriptDepthOffset) return;
    auto it = parent->children().find(f->depth);
    if (it != parent->children().end() && it->second.get() == f) parent->children().erase(it);
}

void installTextField(Vm& vm) {
    installFocusProperties(vm);
    installTextFormat(vm);
    // TextField came with Flash Player 6: SWF 5 movies do not see it.
    if (vm.version < 6) return;
    Object* proto = vm.newObject();
    vm.textFieldProto = proto;
    NativeFunction* cls = vm.newClass(tfCtor, proto);
    vm.method(proto, "getTextFormat", tfGetTextFormat);
    vm.method(proto, "setTextFormat", tfSetTextFormat);
    vm.method(proto, "setNewTextFormat", tfSetNewTextFormat);
    vm.method(proto, "getNewTextFormat", tfGetNewTextFormat);
    if (vm.version >= 7) vm.method(proto, "replaceText", tfReplaceText);
    vm.method(proto, "replaceSel", tfReplaceSel);
    vm.method(proto, "getDepth", tfGetDepth);
    vm.method(proto, "removeTextField", tfRemoveTextField);
    vm.method(proto, "toString", tfToString);
    if (Object* b = vm.global->get(vm, "AsBroadcaster").object())
        for (const char* m : {"addListener", "removeListener", "broadcastMessage"})
            proto->define(vm, m, b->get(vm, m), kDontEnum);
    defineAccessors(vm, proto, std::make_index_sequence<std::size(kAccessorNames)>());
    cls->define(vm, "getFontList", Value(vm.newFunction(tfGetFontList)), kDontEnum);
    vm.global->define(vm, "TextField", Value(cls), kDontEnum);
    if (vm.clipProto) vm.method(vm.clipProto, "createTextField", mcCreateTextField);
    installStyleSheet(vm);
}

}  // namespace player::avm1
