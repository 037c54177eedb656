#include "app/cmd_render.h"

#include <QImage>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/frame_list.h"
#include "player/player.h"

namespace cli {
namespace {

const char* kRenderUsage =
    "usage: tolvikan render MOVIE --frames LIST --size WxH [--quality high|low] [--background RRGGBB] "
    "--out PATTERN\n";

int usageError(const std::string& why) {
    std::fprintf(stderr, "tolvikan render: %s\n%s", why.c_str(), kRenderUsage);
    return 2;
}

// Replaces the one "%d" of the pattern with the frame number.
std::string expandPattern(const std::string& pattern, int frame) {
    std::string out = pattern;
    size_t at = out.find("%d");
    out.replace(at, 2, std::to_string(frame));
    return out;
}

}  // namespace

int runRender(const std::vector<std::string>& args) {
    std::string movie, framesText, sizeText, out, quality = "high", background;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        bool ok = true;
        if (a == "-h" || a == "--help") {
            std::fputs(kRenderUsage, stdout);
            return 0;
        }
        if (a == "--frames")
            ok = value(framesText);
        else if (a == "--size")
            ok = value(sizeText);
        else if (a == "--out")
            ok = value(out);
        else if (a == "--quality")
            ok = value(quality);
        else if (a == "--background")
            ok = value(background);
        else if (a.size() > 1 && a[0] == '-')
            return usageError("unknown option " + a);
        else if (movie.empty())
            movie = a;
        else
            return usageError("only one movie can be rendered at a time");
        if (!ok) return usageError(a + " needs a value");
    }
    if (movie.empty()) return usageError("no movie given");
    if (framesText.empty()) return usageError("--frames is required");
    if (sizeText.empty()) return usageError("--size is required");
    if (out.empty()) return usageError("--out is required");

    std::string error;
    auto frames = parseFrameList(framesText, &error);
    if (!frames) return usageError("bad --frames: " + error);
    auto size = parseSize(sizeText);
    if (!size) return usageError("bad --size '" + sizeText + "' (expected WxH, e.g. 640x480)");
    if (static_cast<long long>(size->first) * size->second > 64LL * 1024 * 1024)
        return usageError("--size " + sizeText + " is larger than 64 megapixels");
    if (quality != "high" && quality != "low") return usageError("--quality must be high or low");
    player::RenderOptions options;
    options.quality = quality == "low" ? player::Quality::Low : player::Quality::High;
    if (!background.empty()) {
        auto c = parseColor(background);
        if (!c) return usageError("bad --background '" + background + "' (expected RRGGBB)");
        options.background = *c;
    }
    size_t at = out.find("%d");
    if (at == std::string::npos || out.find("%d", at + 1) != std::string::npos || out.find('%') != at)
        return usageError("--out must contain %d exactly once (and no other %)");

    player::Player p;
    p.setLogHandler([](const std::string& line) { std::fprintf(stderr, "player: %s\n", line.c_str()); });
    if (!p.loadFile(movie, &error)) {
        std::fprintf(stderr, "tolvikan render: %s: %s\n", movie.c_str(), error.c_str());
        return 1;
    }

    std::vector<int> wanted = *frames;
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());

    QImage image(size->first, size->second, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        std::fprintf(stderr, "tolvikan render: not enough memory for a %s picture\n", sizeText.c_str());
        return 1;
    }
    int shown = 1;  // the first frame is shown once the movie is loaded
    for (int frame : wanted) {
        while (shown < frame) {
            p.advance();
            ++shown;
        }
        p.render(reinterpret_cast<player::Pixel*>(image.bits()), image.width(), image.height(),
                 static_cast<int>(image.bytesPerLine() / 4), options);
        std::string path = expandPattern(out, frame);
        std::error_code ec;
        std::filesystem::path parent = std::filesystem::path(path).parent_path();
        if (!parent.empty()) std::filesystem::create_directories(parent, ec);
        if (!image.save(QString::fromStdString(path))) {
            std::fprintf(stderr, "tolvikan render: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace cli
