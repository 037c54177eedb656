// GIF writer benchmark: milliseconds per 640x480 frame for the stages of TGIFImage (copy on append,
// popularity palette, LZW, whole encode and save) on three synthetic animations: flat cartoon colours with
// soft edges, a moving smooth gradient (thousands of colours, so the palette masks shorten), and noise (the
// worst case for both the palette and the LZW dictionary).
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "convert/gif_image.h"

namespace {

constexpr int kWidth = 640, kHeight = 480, kFrames = 24;

// Thread CPU time: the build machine is shared, and wall time there measures the neighbours as much as us.
struct Clock {
    using time_point = double;
    static double now() {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
    }
};

double MsSince(double start) {
    return Clock::now() - start;
}

uint32_t Rgb(int r, int g, int b) {
    return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

// XRGB32 frames, as the player renders them.
std::vector<uint32_t> MakeFrame(const std::string& kind, int i, std::mt19937& random) {
    std::vector<uint32_t> px(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            uint32_t c;
            if (kind == "cartoon") {
                // Sky, ground and a ball with an anti-aliased rim moving across.
                const double dx = x - (80 + 20 * i), dy = y - 200;
                const double d = std::sqrt(dx * dx + dy * dy) - 60;
                const int sky = y < 300 ? 1 : 0;
                const int base[2][3] = {{60, 140, 50}, {120, 180, 240}};
                const double a = d < 0 ? 1 : (d < 2 ? 1 - d / 2 : 0);
                const int r = int(base[sky][0] * (1 - a) + 230 * a), g = int(base[sky][1] * (1 - a) + 40 * a),
                          b = int(base[sky][2] * (1 - a) + 40 * a);
                c = Rgb(r, g, b);
            } else if (kind == "gradient") {
                c = Rgb((x + 4 * i) * 255 / (kWidth + 100), y * 255 / kHeight, ((x + y) / 3 + i * 5) % 256);
            } else {
                c = random() & 0xFFFFFF;
            }
            px[static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)] = c;
        }
    return px;
}

void Run(const std::string& kind) {
    std::mt19937 random(1);
    std::vector<std::vector<uint32_t>> frames;
    for (int i = 0; i < kFrames; ++i)
        frames.push_back(MakeFrame(kind, i, random));

    // Stages alone, through the same classes the image uses.
    std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3), indices(rgb.size() / 3), out;
    gif::PopularityReducer reducer;
    gif::LzwEncoder lzw;
    double paletteMs = 0, lzwMs = 0;
    size_t lzwBytes = 0;
    int masksBits = 0;
    for (const auto& f : frames) {
        for (size_t k = 0; k < f.size(); ++k) {
            rgb[k * 3] = uint8_t(f[k] >> 16);
            rgb[k * 3 + 1] = uint8_t(f[k] >> 8);
            rgb[k * 3 + 2] = uint8_t(f[k]);
        }
        auto t = Clock::now();
        const gif::PopularityPalette p = reducer.Reduce(rgb.data(), kWidth, kHeight, indices.data());
        paletteMs += MsSince(t);
        masksBits =
            __builtin_popcount(p.redMask) + __builtin_popcount(p.greenMask) + __builtin_popcount(p.blueMask);
        out.clear();
        t = Clock::now();
        lzw.Encode(indices.data(), indices.size(), 8, out);
        lzwMs += MsSince(t);
        lzwBytes += out.size();
    }

    // The whole writer as the GIF output drives it.
    TGIFImage image;
    auto t = Clock::now();
    for (const auto& f : frames) {
        const int index = image.AddFrame(reinterpret_cast<const uint8_t*>(f.data()), kWidth, kHeight,
                                         kWidth * 4, TGIFPixelFormat::XRGB32);
        image.Frame(index).SetDelay(40);
    }
    const double addMs = MsSince(t);
    image.SetLooping(true);
    image.SetRepeatCount(0);
    t = Clock::now();
    image.EncodeAll();
    const double encodeMs = MsSince(t);
    t = Clock::now();
    const std::vector<uint8_t> file = image.SaveToBytes();
    const double saveMs = MsSince(t);

    std::printf(
        "%-9s append %6.2f  palette %6.2f  lzw %6.2f  encode %6.2f  save %5.2f ms/frame   %7.1f KB/frame  "
        "(%d mask bits)\n",
        kind.c_str(), addMs / kFrames, paletteMs / kFrames, lzwMs / kFrames, encodeMs / kFrames,
        saveMs / kFrames, double(file.size()) / kFrames / 1024, masksBits);
    (void)lzwBytes;
}

}  // namespace

int main() {
    std::printf("GIF writer, %dx%d, %d frames per animation; thread CPU time\n", kWidth, kHeight, kFrames);
    for (const char* kind : {"cartoon", "gradient", "noise"})
        Run(kind);
    return 0;
}
