#include "player/core/edit_text.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "player/core/movie_def.h"

namespace player {

namespace {

// An embedded font the movie does not have: Flash lays the text out and draws none of it.
class MissingFont : public text::Font {
  public:
    MissingFont() {
        unitsPerEm = 1024;
        ascent = 905;
        descent = 212;
    }
    const text::Glyph* glyph(char32_t) const override { return nullptr; }
    bool device() const override { return false; }
};

}  // namespace

EditText::EditText(const MovieDef* movie, const EditTextCharacter* character)
    : DisplayObject(movie, character), self_(std::make_shared<EditText*>(this)) {
    const swf::DefineEditText* def = character ? character->def : nullptr;
    bounds = swf::Rect{0, 2000, 0, 2000};
    newFormat.font = "Times New Roman";
    if (!character) {
        own_ = std::make_unique<EditTextCharacter>();
        character_ = own_.get();
    }
    if (!def) return;
    bounds = def->bounds;
    wordWrap = def->wordWrap();
    multiline = def->multiline();
    password = def->password();
    readOnly = def->readOnly();
    selectable = !def->noSelect();
    border = def->border();
    background = def->border();  // a bordered field is filled white
    html = def->html();
    embedFonts = def->useOutlines();
    wasStatic = def->wasStatic();
    autoSize = def->autoSize() ? AutoSize::Left : AutoSize::None;
    maxChars = def->maxLength ? *def->maxLength : 0;
    variable = def->variableName;
    if (def->fontId && movie) {
        const Character* c = movie->character(*def->fontId);
        if (c && c->kind == Character::Kind::Font) {
            const auto* fc = static_cast<const FontCharacter*>(c);
            newFormat.font = fc->name;
            newFormat.bold = fc->bold;
            newFormat.italic = fc->italic;
        }
    }
    if (def->fontClass) newFormat.font = *def->fontClass;
    if (def->fontHeight) newFormat.size = *def->fontHeight / 20.0;
    if (def->color)
        newFormat.color = (uint32_t(def->color->r) << 16) | (uint32_t(def->color->g) << 8) | def->color->b;
    textColor = newFormat.color;
    if (def->layout) {
        newFormat.align = text::Align(std::min<uint8_t>(def->layout->align, 3));
        newFormat.leftMargin = def->layout->leftMargin / 20.0;
        newFormat.rightMargin = def->layout->rightMargin / 20.0;
        newFormat.indent = def->layout->indent / 20.0;
        newFormat.leading = def->layout->leading / 20.0;
    }
    if (def->initialText) {
        if (html)
            setHtmlText(*def->initialText);
        else
            setText(*def->initialText);
    }
}

EditText::~EditText() {
    *self_ = nullptr;
}

std::string EditText::text() const {
    return text::toUtf8(content_.text);
}

namespace {

std::u32string normalized(const std::string& utf8, size_t limit) {
    std::u32string s = text::fromUtf8(utf8);
    // "\r\n" is one line end; '\n' alone is one too (Flash keeps '\r').
    std::u32string out;
    out.reserve(std::min(s.size(), limit));
    for (size_t i = 0; i < s.size() && out.size() < limit; ++i) {
        if (s[i] == U'\r' && i + 1 < s.size() && s[i + 1] == U'\n') continue;
        out.push_back(s[i] == U'\n' ? U'\r' : s[i]);
    }
    return out;
}

}  // namespace

void EditText::setText(const std::string& utf8) {
    content_.clear();
    content_.append(normalized(utf8, kMaxChars), newFormat);
    htmlSource.clear();
    changed();
}

void EditText::setHtmlText(const std::string& source) {
    content_.clear();
    htmlSource = source;
    text::parseHtml(source.size() > kMaxChars * 4 ? source.substr(0, kMaxChars * 4) : source, newFormat,
                    content_, condenseWhite, styleSheet);
    if (content_.text.size() > kMaxChars) content_.replace(kMaxChars, content_.text.size(), U"", newFormat);
    changed();
}

std::string EditText::htmlText(int version) const {
    return text::writeHtml(content_, version);
}

void EditText::replaceText(size_t begin, size_t end, const std::string& utf8) {
    begin = std::min(begin, content_.text.size());
    end = std::clamp(end, begin, content_.text.size());
    text::TextFormat f = content_.text.empty() ? newFormat : content_.formatAt(begin);
    std::u32string s =
        normalized(utf8, kMaxChars - std::min(kMaxChars, content_.text.size() - (end - begin)));
    content_.replace(begin, end, s, f);
    changed();
}

void EditText::changed() {
    dirty_ = true;
    ++revision_;
}

const text::Font* EditText::fontFor(const text::TextFormat& f) const {
    static const MissingFont missing;
    if (embedFonts) {
        const FontCharacter* fc = movie_ ? movie_->font(f.font, f.bold, f.italic) : nullptr;
        if (!fc) return &missing;
        return &fc->layoutFont();
    }
    auto font = text::DeviceFont::find(f.font, f.bold, f.italic);
    const text::Font* raw = font.get();
    // The field keeps the fonts it uses alive (the font cache does too; this keeps the pointer honest).
    if (std::find(deviceFonts_.begin(), deviceFonts_.end(), font) == deviceFonts_.end())
        deviceFonts_.push_back(std::move(font));
    return raw;
}

const text::Layout& EditText::layout() const {
    if (!dirty_) return layout_;
    text::LayoutParams p;
    p.width = double(bounds.xMax) - double(bounds.xMin);
    p.height = double(bounds.yMax) - double(bounds.yMin);
    p.wordWrap = wordWrap;
    p.multiline = multiline;
    p.password = password;
    p.fonts = [this](const text::TextFormat& f) { return fontFor(f); };
    layout_ = text::layOut(content_, p);
    dirty_ = false;
    return layout_;
}

void EditText::applyAutoSize() {
    if (autoSize == AutoSize::None) return;
    const text::Layout& l = layout();
    // Bounds stay within what twips can hold, whatever the text measures.
    constexpr double kMaxSide = 1 << 28;
    const double w = std::min(std::ceil(l.extentWidth / 20) * 20 + 2 * text::kGutter, kMaxSide);
    const double h = std::min(std::ceil(l.textHeight / 20) * 20 + 2 * text::kGutter, kMaxSide);
    auto twips = [](double v) { return int32_t(std::clamp(v, -2147483648.0, 2147483647.0)); };
    swf::Rect b = bounds;
    double shift = 0;  // local twips the field's origin moves by
    if (!wordWrap) {
        // The edge named by autoSize stays where it is: the field grows or shrinks from it. The field is
        // moved (its _x changes) rather than its bounds, as Flash reports it.
        const double oldW = double(b.xMax) - double(b.xMin);
        b.xMax = twips(b.xMin + w);
        if (autoSize == AutoSize::Right) shift = oldW - w;
        if (autoSize == AutoSize::Center) shift = std::round((oldW - w) / 2);
    }
    b.yMax = twips(b.yMin + h);
    if (shift != 0) {
        matrix.tx += matrix.a * shift;
        matrix.ty += matrix.b * shift;
    }
    if (b.xMin != bounds.xMin || b.xMax != bounds.xMax || b.yMax != bounds.yMax || shift != 0) {
        bounds = b;
        changed();
    }
}

int EditText::maxScroll() const {
    return layout().maxScroll(double(bounds.yMax) - double(bounds.yMin));
}

int EditText::bottomScroll() const {
    const text::Layout& l = layout();
    const int first = std::clamp(scroll, 1, std::max(1, int(l.lines.size()))) - 1;
    return first + l.linesFitting(first, double(bounds.yMax) - double(bounds.yMin));
}

}  // namespace player
