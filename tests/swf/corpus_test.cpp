// Every movie of the reference corpus parses without a crash, and movies without ActionScript 3 parse
// without errors. Skipped when the corpus is absent.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "support/swf_builder.h"
#include "swf/swf.h"

namespace {

bool usesActionScript3(const swf::Movie& m) {
    for (const auto& t : m.tags) {
        if (auto* fa = std::get_if<swf::FileAttributes>(&t.body); fa && fa->actionScript3()) return true;
        if (t.code == 72 || t.code == 82) return true;  // DoABC
    }
    return false;
}

}  // namespace

TEST(Corpus, EveryMovieParses) {
    std::string dir = testswf::corpusDir();
    if (dir.empty()) GTEST_SKIP() << "reference corpus not present (set TOLVIKAN_SHARED)";
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
        if (e.is_regular_file() && e.path().extension() == ".swf") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());

    int clean = 0, brokenOnPurpose = 0, as3 = 0, withErrors = 0, failed = 0, notMovies = 0, as3WithErrors = 0;
    std::vector<std::string> problems;
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string name = std::filesystem::relative(f, dir).string();
        auto m = swf::parseMovie(bytes);
        bool signature = bytes.size() >= 3 && (bytes[0] == 'F' || bytes[0] == 'C' || bytes[0] == 'Z') &&
                         bytes[1] == 'W' && bytes[2] == 'S';
        if (!m.ok() && !signature) {
            // Encrypted or obfuscated payloads some movies load at run time: a clean refusal is right.
            ++notMovies;
            EXPECT_NE(m.error().message.find("not a SWF"), std::string::npos) << name;
            continue;
        }
        if (!m.ok()) {
            ++failed;
            problems.push_back(name + ": " + m.error().describe());
            continue;
        }
        if (usesActionScript3(*m)) {
            ++as3;
            if (!m->errors.empty()) ++as3WithErrors;
            continue;
        }
        if (m->errors.empty()) {
            ++clean;
        } else if (name.rfind("trace/", 0) == 0) {
            // The ActionScript corpus holds movies broken on purpose (their cases check that the player
            // carries on): parse errors there are expected, failures to parse are not.
            ++brokenOnPurpose;
        } else {
            ++withErrors;
            problems.push_back(name + ": " + m->errors.front().describe());
        }
    }
    std::cout << "corpus: " << files.size() << " movies, " << clean
              << " without ActionScript 3 parsed cleanly, " << as3 << " use ActionScript 3 (" << as3WithErrors
              << " of them with parse errors, not checked), " << withErrors << " parsed with errors, "
              << failed << " failed, " << notMovies << " are not SWF data, " << brokenOnPurpose
              << " robustness cases broken on purpose\n";
    for (const auto& p : problems)
        std::cout << "  " << p << "\n";
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(withErrors, 0);
}
