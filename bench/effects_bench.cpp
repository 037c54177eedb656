// Layer effects and embedded video at 640x480. Two figures:
//  - a frame of 20 glowing or blurred objects and 5 blend-mode layers over a striped stage, rendered through
//    the player's public API: thread CPU time per frame (best of several passes) and the process's peak
//    memory;
//  - a 640x480 VP6 picture decoded (from its key frame) and drawn: decode time per picture, and the time to
//    draw the movie showing it. The VP6 movie comes from the reference corpus (or the path given); without
//    it this part is skipped.
//
// usage: effects_bench [FRAMES (default 200)] [PASSES (default 3)] [--vp6 MOVIE.swf]
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "player/media/video_decoder.h"
#include "player/player.h"
#include "support/swf_builder.h"
#include "support/swf_shapes.h"
#include "support/swf_tags.h"
#include "swf/movie.h"

namespace {

using namespace testswf;

constexpr int kWidth = 640, kHeight = 480;

double threadCpu() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

long peakRssKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Render options that differ from one render to the next (the background's lowest bit), so the stage
// draws every picture instead of copying the one it kept: the figures are drawing costs.
player::RenderOptions drawAgain(int i) {
    player::RenderOptions o;
    o.background = 0x203040u | uint32_t(i & 1);
    return o;
}

Bytes rect(uint16_t id, int x0, int y0, int x1, int y1, uint32_t rgba) {
    ShapeBuilder s;
    s.fill0(uint32_t(s.fillSolid(rgba))).rect(x0 * 20, y0 * 20, x1 * 20, y1 * 20);
    return s.defineShape(id, 3);
}

Bytes glowFilter(uint32_t rgba, double blur, double strength) {
    ByteWriter w;
    w.rgba(rgba);
    w.u32(uint32_t(blur * 65536)).u32(uint32_t(blur * 65536));
    w.fixed8(strength).u8(0x20 | 1);  // composite source, one pass
    return w.bytes();
}

Bytes effectsMovie() {
    Header h;
    h.version = 8;
    h.xmax = kWidth * 20;
    h.ymax = kHeight * 20;
    h.frameCount = 1;
    SwfBuilder b(h);
    b.backgroundColor(0x203040);
    // Stripes to blend onto.
    for (int i = 0; i < 8; ++i)
        b.tag(32,
              rect(uint16_t(1 + i), 0, i * 60, kWidth, i * 60 + 30, 0x4080C0FF - uint32_t(i) * 0x08100000u));
    b.tag(32, rect(20, 0, 0, 60, 60, 0xE0A020FF));    // filtered object
    b.tag(32, rect(21, 0, 0, 150, 100, 0x80FF40C0));  // blended object
    uint16_t depth = 1;
    for (int i = 0; i < 8; ++i) {
        PlaceSpec p;
        p.depth = depth++;
        p.characterId = uint16_t(1 + i);
        b.tag(26, placeObject(p, 2));
    }
    for (int i = 0; i < 20; ++i) {
        PlaceSpec p;
        p.depth = depth++;
        p.characterId = 20;
        p.matrix = MatrixSpec{1, 1, 0, 0, (30 + (i % 5) * 120) * 20, (30 + (i / 5) * 110) * 20};
        if (i % 2)
            p.filters = std::vector<std::pair<uint8_t, Bytes>>{{2, glowFilter(0xFFFF80FF, 12, 2)}};
        else
            p.filters = std::vector<std::pair<uint8_t, Bytes>>{{1, blurFilter(8, 8, 2)}};
        b.tag(70, placeObject(p, 3));
    }
    const uint8_t modes[5] = {3, 4, 8, 7, 14};  // multiply, screen, add, difference, hard light
    for (int i = 0; i < 5; ++i) {
        PlaceSpec p;
        p.depth = depth++;
        p.characterId = 21;
        p.matrix = MatrixSpec{1, 1, 0, 0, (20 + i * 120) * 20, (60 + (i % 2) * 250) * 20};
        p.blendMode = modes[i];
        b.tag(70, placeObject(p, 3));
    }
    b.showFrame();
    return b.end().build();
}

void benchEffects(int frames, int passes) {
    const Bytes movie = effectsMovie();
    std::vector<player::Pixel> pixels(size_t(kWidth) * kHeight);
    double best = 1e9;
    for (int pass = 0; pass < passes; ++pass) {
        player::Player p;
        std::string error;
        if (!p.loadBytes(movie, "effects.swf", &error)) {
            std::fprintf(stderr, "movie refused: %s\n", error.c_str());
            std::exit(1);
        }
        double cpu = 0;
        for (int f = 0; f < frames; ++f) {
            const double c0 = threadCpu();
            p.render(pixels.data(), kWidth, kHeight, kWidth, drawAgain(f));
            cpu += threadCpu() - c0;
        }
        best = std::min(best, cpu);
    }
    std::printf("effects %dx%d (20 filtered objects, 5 blend layers), %d frames, best of %d passes\n", kWidth,
                kHeight, frames, passes);
    std::printf("render: %.3f ms/frame cpu; peak memory %.1f MB\n", 1000 * best / frames,
                peakRssKb() / 1024.0);
}

void benchVideo(const std::string& path, int repeats) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::printf("vp6: %s not found, skipped\n", path.c_str());
        return;
    }
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto movie = swf::parseMovie(file);
    if (!movie) {
        std::printf("vp6: %s does not parse, skipped\n", path.c_str());
        return;
    }
    const swf::DefineVideoStream* stream = nullptr;
    const swf::VideoFrame* frame = nullptr;
    for (const swf::Tag& t : movie->tags) {
        if (const auto* s = std::get_if<swf::DefineVideoStream>(&t.body); s && !stream) stream = s;
        if (const auto* f = std::get_if<swf::VideoFrame>(&t.body); f && !frame) frame = f;
    }
    if (!stream || !frame) {
        std::printf("vp6: no video in %s, skipped\n", path.c_str());
        return;
    }
    std::string error;
    auto decoder = player::media::VideoDecoder::create(stream->codec, stream->deblocking, &error);
    if (!decoder) {
        std::printf("vp6: %s\n", error.c_str());
        return;
    }
    player::Bitmap picture;
    double best = 1e9;
    for (int i = 0; i < repeats; ++i) {
        decoder->reset();
        const double c0 = threadCpu();
        if (!decoder->decode(frame->data.data(), frame->data.size(), picture, &error)) {
            std::printf("vp6: %s\n", error.c_str());
            return;
        }
        best = std::min(best, threadCpu() - c0);
    }
    // Drawing the movie: the first render decodes, later ones draw the decoded picture.
    player::Player p;
    if (!p.loadBytes(file, path, &error)) {
        std::printf("vp6: %s\n", error.c_str());
        return;
    }
    std::vector<player::Pixel> pixels(size_t(kWidth) * kHeight);
    p.render(pixels.data(), kWidth, kHeight, kWidth);
    double draw = 1e9;
    for (int i = 0; i < repeats; ++i) {
        const double c0 = threadCpu();
        p.render(pixels.data(), kWidth, kHeight, kWidth, drawAgain(i));
        draw = std::min(draw, threadCpu() - c0);
    }
    std::printf("vp6 %dx%d picture (codec %d): decode %.3f ms, draw %.3f ms (best of %d)\n", picture.width,
                picture.height, stream->codec, 1000 * best, 1000 * draw, repeats);
}

}  // namespace

int main(int argc, char** argv) {
    int frames = 200, passes = 3;
    std::string vp6 =
        std::string(TOLVIKAN_SHARED_DIR) + "/corpus/ruffle/visual/video/colorconversion/vp6/test.swf";
    std::vector<int> numbers;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--vp6" && i + 1 < argc)
            vp6 = argv[++i];
        else
            numbers.push_back(std::atoi(a.c_str()));
    }
    if (numbers.size() > 0) frames = std::clamp(numbers[0], 1, 100000);
    if (numbers.size() > 1) passes = std::clamp(numbers[1], 1, 100);
    benchEffects(frames, passes);
    benchVideo(vp6, 20);
    return 0;
}
