// Still-image benchmark: milliseconds per 640x480 frame for the steps of an image-sequence conversion that
// follow the grab: the alpha rules, the copy into a media-library image with its alpha channel, and writing
// each file format into a temporary folder. The frame is the engine's render of a small movie of overlapping
// shapes (flat areas, anti-aliased edges). Thread CPU time, as the build machine is shared.
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include <vector>

#include "capture/frame_grab.h"
#include "player/player.h"
#include "support/swf_builder.h"
#include "support/swf_shapes.h"
#include "support/swf_tags.h"

namespace {

constexpr int kWidth = 640, kHeight = 480, kRounds = 20;

double NowMs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

template <class F>
void Measure(const char* what, F&& step) {
    step();  // warm up: first-use tables, file system caches
    const double start = NowMs();
    for (int i = 0; i < kRounds; ++i)
        step();
    std::printf("%-34s %8.2f ms/frame\n", what, (NowMs() - start) / kRounds);
}

// A 550 x 400 movie of a few overlapping shapes, so the picture has flat areas and anti-aliased edges.
testswf::Bytes Movie() {
    testswf::Header header;
    header.xmax = 550 * 20;
    header.ymax = 400 * 20;
    header.frameCount = 1;
    testswf::SwfBuilder b(header);
    b.backgroundColor(0x88BBEE);
    for (uint16_t id = 1; id <= 6; ++id) {
        testswf::ShapeBuilder s;
        const int f = s.fillSolid(((0x3355AAu * id) << 8) | 0xFF);
        s.fill0(f).rect(id * 1200, id * 700, id * 1200 + 4000, id * 700 + 3000);
        b.tag(32, s.defineShape(id, 3));
        testswf::PlaceSpec p;
        p.depth = id;
        p.characterId = id;
        p.matrix = testswf::MatrixSpec{1, 1, 0.3, 0, 0, 0};
        b.tag(26, testswf::placeObject(p, 2));
    }
    b.showFrame();
    return b.end().build();
}

// The movie rendered at 640 x 480 into a 24-bit bitmap, as the grab leaves it.
bool RenderFrame(TDib& frame) {
    player::Player engine;
    std::string error;
    if (!engine.loadBytes(Movie(), "bench.swf", &error)) {
        std::fprintf(stderr, "movie: %s\n", error.c_str());
        return false;
    }
    std::vector<player::Pixel> pixels(size_t(kWidth) * kHeight);
    engine.render(pixels.data(), kWidth, kHeight, kWidth, player::RenderOptions{});
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t p = pixels[size_t(y) * kWidth + x];
            uint8_t* d = frame.scanLine(y) + x * 3;
            d[0] = uint8_t(p);
            d[1] = uint8_t(p >> 8);
            d[2] = uint8_t(p >> 16);
        }
    return true;
}

}  // namespace

int main() {
    TDib frame(kWidth, kHeight, 24), alpha(kWidth, kHeight, 8);
    if (!RenderFrame(frame)) return 1;
    char pattern[] = "/tmp/tlv_still_bench_XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const std::filesystem::path folder = pattern;

    std::printf("%d x %d, %d rounds\n", kWidth, kHeight, kRounds);
    Measure("intensity alpha", [&] { IntensityToAlpha(alpha, frame, false); });
    Measure("square-root alpha", [&] { IntensityToAlpha(alpha, frame, true); });
    Measure("colour-key alpha", [&] { ColorToAlpha(alpha, frame, 0x88BBEE); });

    MclImageHandle image = MclImgAlloc(), alphaImage = MclImgAlloc();
    Measure("bitmaps into image with alpha", [&] {
        MclDIBToImg(image, frame);
        MclDIBToImg(alphaImage, alpha);
        MclImgAddAlpha(image, alphaImage);
    });
    struct Format {
        const char* what;
        const char* name;
        uint32_t quality;
        bool alpha;
    } formats[] = {
        {"save PNG 24-bit", "f.png", MclDefault, false},
        {"save PNG 32-bit", "f.png", MclDefault, true},
        {"save TGA 32-bit", "f.tga", MclDefault, true},
        {"save BMP", "f.bmp", MclDefault, false},
        {"save JPEG quality 75", "f.jpg", 75, false},
        {"save JPEG default (90)", "f.jpg", MclDefault, false},
    };
    for (const Format& f : formats) {
        MclDIBToImg(image, frame);
        if (f.alpha) MclImgAddAlpha(image, alphaImage);
        const std::string path = (folder / f.name).string();
        Measure(f.what, [&] { MclImgSaveSingle(image, path, f.quality); });
        std::printf("%-34s %8ju bytes\n", "", std::filesystem::file_size(path));
    }
    MclImgFree(image);
    MclImgFree(alphaImage);
    std::filesystem::remove_all(folder);
    return 0;
}
