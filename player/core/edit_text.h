// A text field on the stage (DefineEditText, or MovieClip.createTextField): its settings, its content as
// styled text, and its layout, kept between frames and made again only when the content, a format or the
// field's size changes. Scripts reach it through TextField (player/avm1/builtins/text_field.cpp); a field
// bound to a variable (VariableName) shows that variable's value, read after each frame's scripts.
#pragma once

#include <memory>
#include <string>

#include "player/core/display_object.h"
#include "player/text/html.h"
#include "player/text/layout.h"

namespace player {

class Runtime;

class EditText : public DisplayObject {
  public:
    enum class AutoSize : uint8_t { None, Left, Center, Right };

    // `def` may be null (a field made by script: 100 x 100 pixels of nothing).
    EditText(const MovieDef* movie, const EditTextCharacter* def);
    ~EditText() override;

    // Field bounds in its own space, twips.
    swf::Rect bounds;
    bool wordWrap = false, multiline = false, password = false, readOnly = true, selectable = true;
    bool border = false, background = false, html = false, embedFonts = false, condenseWhite = false;
    bool wasStatic = false;
    uint32_t borderColor = 0x000000, backgroundColor = 0xFFFFFF;
    uint32_t textColor = 0x000000;  // what textColor reads: set with the field, not by format ranges
    AutoSize autoSize = AutoSize::None;
    int maxChars = 0;              // 0: no limit
    std::string variable;          // VariableName: a path to the bound variable
    std::string boundValue;        // what the variable held when last shown
    bool boundOnce = false;        // the binding was made (an undefined variable got the initial text)
    int scroll = 1;                // first visible line, 1-based
    int hscroll = 0;               // pixels
    text::TextFormat newFormat;    // the format new text gets (setNewTextFormat)
    text::StyleLookup styleSheet;  // TextField.StyleSheet rules for HTML text, when one is set
    std::string htmlSource;        // the HTML as last given (htmlText with a style sheet reads it back)

    // The text without formatting (paragraph ends as '\r'), UTF-8.
    std::string text() const;
    void setText(const std::string& utf8);
    // Replaces the content with HTML (read leniently; the new format is the base).
    void setHtmlText(const std::string& html);
    std::string htmlText(int version) const;
    // Replaces characters [begin, end) with text in the format of the character at `begin`.
    void replaceText(size_t begin, size_t end, const std::string& utf8);
    size_t length() const { return content_.text.size(); }
    const text::StyledText& content() const { return content_; }
    text::StyledText& editContent() {
        changed();
        return content_;
    }

    // The layout for the field's present content and size (made now when anything changed).
    const text::Layout& layout() const;
    // Grows or shrinks the field to its text when autoSize is on.
    void applyAutoSize();
    int maxScroll() const;
    int bottomScroll() const;
    // Marks the layout stale (content, format or size changed) and counts a revision.
    void changed();
    // Changes with everything that changes the field's picture (the picture memo compares it).
    uint64_t revision() const { return revision_; }

    // A token that lives as long as the field (its script object holds it).
    std::weak_ptr<EditText*> handle() const { return self_; }

    // Glyph sets of the movie, by the name a format gives (embedded fonts), else the system's fonts.
    const text::Font* fontFor(const text::TextFormat& f) const;

    // Limits against hostile content: characters a field holds.
    static constexpr size_t kMaxChars = 1u << 22;

  private:
    std::unique_ptr<EditTextCharacter> own_;  // the character of a field made by script
    text::StyledText content_;
    mutable text::Layout layout_;
    mutable bool dirty_ = true;
    mutable std::vector<std::shared_ptr<const text::DeviceFont>> deviceFonts_;
    uint64_t revision_ = 1;
    std::shared_ptr<EditText*> self_;
};

}  // namespace player
