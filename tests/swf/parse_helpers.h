// Helpers for the parser tests: parse a built movie and pick out tags.
#pragma once

#include <gtest/gtest.h>

#include "support/swf_builder.h"
#include "swf/swf.h"

namespace swftest {

// Parses the movie; a failure to produce a movie at all fails the test.
inline swf::Movie parse(const testswf::Bytes& file) {
    auto m = swf::parseMovie(file);
    EXPECT_TRUE(m.ok()) << (m.ok() ? "" : m.error().describe());
    return m.ok() ? std::move(m).value() : swf::Movie{};
}

inline std::string errorsOf(const swf::Movie& m) {
    std::string s;
    for (const auto& e : m.errors)
        s += e.describe() + "\n";
    return s;
}

// The only tag of body type T in the movie's main timeline; fails the test when there is not exactly one.
template <typename T>
const T* only(const swf::Movie& m) {
    const T* found = nullptr;
    int n = 0;
    for (const auto& t : m.tags)
        if (auto* p = std::get_if<T>(&t.body)) {
            found = p;
            ++n;
        }
    EXPECT_EQ(n, 1) << "tags of the wanted type; errors:\n" << errorsOf(m);
    return n == 1 ? found : nullptr;
}

// A one-tag movie (plus End) of the given SWF version.
inline testswf::Bytes oneTag(uint16_t code, const testswf::Bytes& body, uint8_t version = 10) {
    testswf::Header h;
    h.version = version;
    testswf::SwfBuilder b(h);
    b.tag(code, body).showFrame().end();
    return b.build();
}

}  // namespace swftest
