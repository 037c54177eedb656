// The HTML subset of Flash text fields, read as leniently as Flash reads it: <p align class>, <br>, <b>,
// <i>, <u>, <font face size color letterSpacing kerning>, <a href target>, <li>, <textformat leftmargin
// rightmargin indent blockindent leading tabstops>, <span class>, entities. Unknown tags are skipped with
// their text kept; unclosed tags end with the text; stray closing tags are ignored.
#pragma once

#include <functional>
#include <string>

#include "player/text/styled_text.h"

namespace player::text {

// Applies the style sheet's properties for a selector ("p", ".title", "a:hover") to a format; false when
// the sheet has no such selector.
using StyleLookup = std::function<bool(const std::string& selector, TextFormat& format)>;

// Appends the HTML's text to `out`, starting from `base` (the field's default format). With
// `condenseWhite`, runs of white space become one space and line ends in the source are ignored.
void parseHtml(const std::string& html, const TextFormat& base, StyledText& out, bool condenseWhite = false,
               const StyleLookup& styles = nullptr);

// The text as Flash writes it back through htmlText (upper-case tags, every paragraph in <P> and <FONT>;
// LETTERSPACING and KERNING too for movies of version 6 and up, as Flash Player 8 and later write it
// whatever the movie's version).
std::string writeHtml(const StyledText& text, int version);

// Replaces &lt; &gt; &amp; &quot; &apos; &nbsp; and numeric references.
std::string decodeEntities(const std::string& s);

}  // namespace player::text
