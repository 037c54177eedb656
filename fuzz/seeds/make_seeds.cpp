// Seed inputs for the fuzzers: for each movie given, writes its uncompressed form (when at most
// max-bytes long) to <out>/movies and each of its DoAction / DoInitAction blocks to <out>/actions.
// Usage: swf_fuzz_seeds <out> <max-bytes> movie.swf...
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "swf/swf.h"

namespace {

void write(const std::filesystem::path& p, std::span<const uint8_t> data) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

void actionsOf(const std::vector<swf::Tag>& tags, const std::filesystem::path& dir, const std::string& stem,
               int& n) {
    for (const auto& t : tags) {
        if (auto* a = std::get_if<swf::DoAction>(&t.body))
            write(dir / (stem + "-" + std::to_string(n++)), a->actions);
        if (auto* a = std::get_if<swf::DoInitAction>(&t.body))
            write(dir / (stem + "-" + std::to_string(n++)), a->actions);
        if (auto* s = std::get_if<swf::DefineSprite>(&t.body)) actionsOf(s->tags, dir, stem, n);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <out> <max-bytes> movie.swf...\n", argv[0]);
        return 2;
    }
    std::filesystem::path out = argv[1];
    size_t maxBytes = std::strtoull(argv[2], nullptr, 10);
    std::filesystem::create_directories(out / "movies");
    std::filesystem::create_directories(out / "actions");
    int movies = 0, actions = 0;
    for (int i = 3; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto plain = swf::decompressMovie(bytes);
        if (!plain.ok()) continue;
        // Named after the path, so repeated runs (xargs batches) do not overwrite each other.
        std::string stem = "seed" + std::to_string(std::hash<std::string>{}(argv[i]));
        if (plain->size() <= maxBytes) {
            write(out / "movies" / stem, *plain);
            ++movies;
        }
        auto m = swf::parseMovie(*plain);
        if (m.ok()) actionsOf(m->tags, out / "actions", stem, actions);
    }
    std::printf("%d movie seeds, %d action seeds\n", movies, actions);
    return 0;
}
