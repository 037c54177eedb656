#include "app/convert_options.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#include "app/frame_list.h"
#include "capture/frame_grab.h"
#include "mcl/mcl_codecs.h"
#include "player/player.h"
#include "tasks/file_names.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

// The picture limits of the rasterizer and the codec list (player/raster/limits.h, mcl/mcl_codecs.h).
constexpr int kMaxSide = kMclMaxFrameSide;
constexpr long long kMaxPixels = 64LL * 1024 * 1024;
// Frame numbers: a playing movie loops, so a range may go past its frame count.
constexpr int kMaxFrame = 9999999;

std::optional<long long> parseInt(std::string_view s) {
    if (s.empty()) return std::nullopt;
    long long v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
}

std::optional<int> parseIntIn(std::string_view s, long long lo, long long hi) {
    auto v = parseInt(s);
    if (!v || *v < lo || *v > hi) return std::nullopt;
    return static_cast<int>(*v);
}

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(sep, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos) break;
        start = at + 1;
    }
    return parts;
}

template <typename T>
struct TNamed {
    const char* name;
    T value;
};

constexpr TNamed<TDestType> kTypes[] = {
    {"avi", dtAVI}, {"mpeg", dtMPEG},           {"mp4", dtMP4}, {"webm", dtWebM}, {"mov", dtMOV},
    {"gif", dtGIF}, {"images", dtImageSequence}};

// The codecs of the MP4, WebM and MOV containers by the names --codec takes (an AVI codec otherwise).
struct TContainerCodec {
    const char* name;
    TDestType type;
    int32_t codec;
};
constexpr TContainerCodec kContainerCodecs[] = {{"h264", dtMP4, 0},
                                                {"libx264", dtMP4, 0},
                                                {"x264", dtMP4, 0},
                                                {"vp9", dtWebM, 0},
                                                {"libvpx-vp9", dtWebM, 0},
                                                {"prores", dtMOV, mcProRes4444},
                                                {"prores4444", dtMOV, mcProRes4444},
                                                {"prores_ks", dtMOV, mcProRes4444},
                                                {"animation", dtMOV, mcAnimation},
                                                {"qtrle", dtMOV, mcAnimation}};

const TContainerCodec* findContainerCodec(const std::string& name) {
    for (const TContainerCodec& c : kContainerCodecs)
        if (AsciiLower(name) == c.name) return &c;
    return nullptr;
}

bool isContainerType(TDestType t) {
    return t == dtMP4 || t == dtWebM || t == dtMOV;
}
constexpr TNamed<TSequenceMode> kModes[] = {
    {"normal", smNormal}, {"skip", smSkipBackward}, {"frame", smFrameByFrame}};
constexpr TNamed<TMPEGPreset> kPresets[] = {
    {"vcd-ntsc", mpVCDNTSC}, {"vcd-pal", mpVCDPAL}, {"svcd-ntsc", mpSVCDNTSC}, {"svcd-pal", mpSVCDPAL},
    {"dvd-ntsc", mpDVDNTSC}, {"dvd-pal", mpDVDPAL}, {"mpeg1", mpMPEG1Custom},  {"mpeg2", mpMPEG2Custom}};
constexpr TNamed<TImageType> kImageTypes[] = {
    {"png", itPNG}, {"tga", itTGA}, {"bmp", itBMP}, {"jpeg", itJPEG}, {"jpg", itJPEG}};
constexpr TNamed<TAlphaMode> kAlphaModes[] = {{"none", amNone},
                                              {"intensity", amIntensity},
                                              {"sqrt", amIntensitySqrt},
                                              {"background", amBackgroundColor}};
constexpr TNamed<TAudioFileType> kSoundFormats[] = {{"wav", aftWAV}, {"mp3", aftMP3}};

// Names are taken in any letter case ("--type MP4").
template <typename T, size_t N>
std::optional<T> lookup(const TNamed<T> (&table)[N], const std::string& name) {
    const std::string lower = AsciiLower(name);
    for (const auto& e : table)
        if (lower == e.name) return e.value;
    return std::nullopt;
}

template <typename T, size_t N>
const char* nameOf(const TNamed<T> (&table)[N], T value) {
    for (const auto& e : table)
        if (e.value == value) return e.name;
    return "?";
}

template <typename T, size_t N>
std::string choices(const TNamed<T> (&table)[N]) {
    std::string out;
    for (const auto& e : table) {
        if (std::strcmp(e.name, "jpg") == 0) continue;  // an alias, not offered
        if (!out.empty()) out += '|';
        out += e.name;
    }
    return out;
}

const char* typeName(TDestType t) {
    return nameOf(kTypes, t);
}

// The picture size of each MPEG preset and its frame-rate choice (the settings dialog's preset table).
struct TPresetSize {
    int w, h, frameRateIndex;
};
std::optional<TPresetSize> presetSize(TMPEGPreset p) {
    switch (p) {
        case mpVCDNTSC:
            return TPresetSize{352, 240, 3};
        case mpVCDPAL:
            return TPresetSize{352, 288, 2};
        case mpDVDNTSC:
            return TPresetSize{720, 480, 3};
        case mpDVDPAL:
            return TPresetSize{720, 576, 2};
        case mpSVCDNTSC:
            return TPresetSize{480, 480, 3};
        case mpSVCDPAL:
            return TPresetSize{480, 576, 2};
        default:
            return std::nullopt;
    }
}

// Whether a movie defines or streams any sound (a movie that cannot be read has none).
bool MovieHasSound(const std::string& path) {
    player::Player p;
    p.setSoundEnabled(false);
    std::string error;
    // A file the player cannot read here (a projector) is given the benefit of the doubt: the sound pass
    // adds no track when it hears nothing.
    return !p.loadFile(path, &error) || p.hasSound();
}

std::string absolute(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

const char* imageExtension(TImageType t) {
    switch (t) {
        case itPNG:
            return ".png";
        case itTGA:
            return ".tga";
        case itBMP:
            return ".bmp";
        case itJPEG:
            return ".jpg";
    }
    return "";
}

// The type an output file's extension names; nothing for other extensions (or a folder).
std::optional<TDestType> typeOfExtension(const std::string& path) {
    if (!path.empty() && path.back() == '/') return std::nullopt;
    std::string ext = AsciiLower(ExtractFileExt(path));
    if (ext == ".avi") return dtAVI;
    if (ext == ".mpg" || ext == ".mpeg" || ext == ".m1v" || ext == ".m2v" || ext == ".vob") return dtMPEG;
    if (ext == ".gif") return dtGIF;
    if (ext == ".mp4" || ext == ".m4v") return dtMP4;
    if (ext == ".webm") return dtWebM;
    if (ext == ".mov" || ext == ".qt") return dtMOV;
    return std::nullopt;
}

const char* outputExtension(TDestType t) {
    switch (t) {
        case dtMPEG:
            return ".mpg";
        case dtGIF:
            return ".gif";
        case dtMP4:
            return ".mp4";
        case dtWebM:
            return ".webm";
        case dtMOV:
            return ".mov";
        default:
            return ".avi";
    }
}

}  // namespace

const char* const kConvertUsage =
    "usage: tolvikan convert MOVIE... [OPTIONS]\n"
    "       tolvikan convert --tasks FILE.ini [-y|-n] [--json] [--background RRGGBB]\n"
    "       tolvikan convert --list-codecs [MOVIE] [--size WxH] [--alpha MODE]\n"
    "options:\n"
    "  --type avi|mpeg|mp4|webm|mov|gif|images   output kind, any letter case (default: named by\n"
    "                               --output's extension or by the options of one kind, else avi)\n"
    "  -o, --output PATH            output file, or folder (ending in /) for several movies and images\n"
    "  --size WxH                   picture size (default: the movie's own); --keep-aspect keeps its shape\n"
    "  --frames FIRST-LAST          frames to convert (default: all)\n"
    "  --mode normal|skip|frame     play the movie, restart it when it stops, or seek frame by frame\n"
    "  --crop X,Y,W,H               convert only this rectangle of the picture\n"
    "  --codec NAME|ID              AVI codec (see --list-codecs); h264 (MP4), vp9 (WebM),\n"
    "                               prores or animation (MOV, default prores: ProRes 4444)\n"
    "  --quality 1-100              picture quality of MP4, WebM and MOV (default 64)\n"
    "  --mpeg-preset P              vcd-ntsc|vcd-pal|svcd-ntsc|svcd-pal|dvd-ntsc|dvd-pal|mpeg1|mpeg2\n"
    "  --image-format png|tga|bmp|jpeg, --jpeg-quality 1-100   image sequence files\n"
    "  --alpha intensity|sqrt|background|none   32-bit output with an alpha channel\n"
    "  --background RRGGBB          colour behind the movie (the key of --alpha background)\n"
    "  --gif-fps N, --gif-loop N|off    GIF frame rate and repeat count (0 repeats forever)\n"
    "  --sound movie|record|FILE|none   sound track of video output: the movie's own sound\n"
    "                               taken from the player (default when the movie has sound, else\n"
    "                               none), recorded from the sound output while the movie plays in\n"
    "                               real time, or a WAV/MP3 file; --sound-format wav|mp3 for recorded\n"
    "                               sound\n"
    "  -y / -n                      overwrite existing output / never overwrite (default: ask)\n"
    "  --json                       one JSON object per event on stdout\n"
    "  -v, --verbose                FFmpeg's and the encoders' warnings and notes in the status log\n"
    "batches:\n"
    "  -j, --jobs N                 converts N tasks at once in N processes of its own (default:\n"
    "                               the number of processors when several tasks are given)\n"
    "  --from-list FILE             reads movie paths from FILE, one per line (- for stdin)\n"
    "  --shard I/N | slurm          converts only the Ith of N parts of the movies or tasks (slurm: the\n"
    "                               part of a job array, from SLURM_ARRAY_TASK_ID and _COUNT)\n"
    "  --summary FILE.json          writes the run's results (tolvikan summary merges such files)\n";

bool TConvertRequest::hasTaskOptions() const {
    return type || output || size || keepAspect || frames || mode || crop || codec || mpegPreset ||
           imageFormat || jpegQuality || alpha || gifFps || gifLoop || sound || soundFormat || quality;
}

bool parseConvertArgs(const std::vector<std::string>& args, TConvertRequest* request, std::string* error) {
    TConvertRequest& r = *request;
    r = TConvertRequest{};
    auto fail = [&](const std::string& why) {
        *error = "tolvikan convert: " + why;
        return false;
    };
    bool sawYes = false, sawNo = false, optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            r.movies.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        // "--name=value" is taken as "--name value".
        std::optional<std::string> inlineValue;
        if (a.rfind("--", 0) == 0) {
            size_t eq = a.find('=');
            if (eq != std::string::npos) {
                inlineValue = a.substr(eq + 1);
                a = a.substr(0, eq);
            }
        }
        auto flag = [&]() {
            if (inlineValue) return fail(a + " takes no value");
            return true;
        };
        if (a == "-y" || a == "--yes") {
            sawYes = true;
            continue;
        }
        if (a == "-n" || a == "--no") {
            sawNo = true;
            continue;
        }
        if (a == "-o") a = "--output";
        if (a == "-j") a = "--jobs";
        if (a == "-v" || a == "--verbose") {
            if (!flag()) return false;
            r.verbose = true;
            continue;
        }
        if (a == "--json") {
            if (!flag()) return false;
            r.json = true;
            continue;
        }
        if (a == "--list-codecs") {
            if (!flag()) return false;
            r.listCodecs = true;
            continue;
        }
        if (a == "--keep-aspect") {
            if (!flag()) return false;
            r.keepAspect = true;
            continue;
        }
        static const std::set<std::string> kValued = {
            "--type",    "--output",      "--size",         "--frames",       "--mode",  "--crop",
            "--codec",   "--mpeg-preset", "--image-format", "--jpeg-quality", "--alpha", "--background",
            "--gif-fps", "--gif-loop",    "--sound",        "--sound-format", "--tasks", "--quality",
            "--jobs",    "--shard",       "--from-list",    "--summary"};
        if (!kValued.count(a)) return fail("unknown option " + a);
        std::string v;
        if (inlineValue) {
            v = *inlineValue;
        } else {
            if (i + 1 >= args.size()) return fail(a + " needs a value");
            v = args[++i];
        }
        auto bad = [&](const std::string& expected) {
            return fail(a + " needs " + expected + ", got '" + v + "'");
        };

        if (a == "--type") {
            auto t = lookup(kTypes, v);
            if (!t) return bad(choices(kTypes));
            r.type = *t;
        } else if (a == "--output") {
            if (v.empty()) return bad("a file or folder");
            r.output = v;
        } else if (a == "--size") {
            auto s = parseSize(v);
            if (!s) return bad("WxH");
            if (s->first > kMaxSide || s->second > kMaxSide ||
                static_cast<long long>(s->first) * s->second > kMaxPixels)
                return fail("--size " + v + " is larger than " + std::to_string(kMaxSide) +
                            " pixels a side or 64 megapixels");
            r.size = s;
        } else if (a == "--frames") {
            auto parts = split(v, '-');
            if (parts.size() == 1) parts.push_back(parts[0]);
            auto first = parts.size() == 2 ? parseIntIn(parts[0], 1, kMaxFrame) : std::nullopt;
            auto last = parts.size() == 2 ? parseIntIn(parts[1], 1, kMaxFrame) : std::nullopt;
            if (!first || !last) return bad("FIRST-LAST (frames numbered from 1)");
            if (*first > *last) return fail("--frames " + v + ": the first frame comes after the last");
            r.frames = std::make_pair(*first, *last);
        } else if (a == "--mode") {
            auto m = lookup(kModes, v);
            if (!m) return bad(choices(kModes));
            r.mode = *m;
        } else if (a == "--crop") {
            auto parts = split(v, ',');
            if (parts.size() != 4) return bad("X,Y,W,H");
            auto x = parseIntIn(parts[0], 0, kMaxSide), y = parseIntIn(parts[1], 0, kMaxSide);
            auto w = parseIntIn(parts[2], 1, kMaxSide), h = parseIntIn(parts[3], 1, kMaxSide);
            if (!x || !y || !w || !h) return bad("X,Y,W,H (X, Y from 0, W, H from 1)");
            r.crop = TCropRect{*x, *y, *w, *h};
        } else if (a == "--codec") {
            if (v.empty()) return bad("a codec name or identifier");
            r.codec = v;
        } else if (a == "--mpeg-preset") {
            auto p = lookup(kPresets, v);
            if (!p) return bad(choices(kPresets));
            r.mpegPreset = *p;
        } else if (a == "--image-format") {
            auto t = lookup(kImageTypes, v);
            if (!t) return bad(choices(kImageTypes));
            r.imageFormat = *t;
        } else if (a == "--jpeg-quality") {
            auto q = parseIntIn(v, 1, 100);
            if (!q) return bad("a number from 1 to 100");
            r.jpegQuality = *q;
        } else if (a == "--alpha") {
            auto m = lookup(kAlphaModes, v);
            if (!m) return bad(choices(kAlphaModes));
            r.alpha = *m;
        } else if (a == "--background") {
            auto c = parseColor(v);
            if (!c) return bad("RRGGBB");
            r.background = *c;
        } else if (a == "--gif-fps") {
            auto f = parseIntIn(v, 1, 100);
            if (!f) return bad("a frame rate from 1 to 100");
            r.gifFps = *f;
        } else if (a == "--gif-loop") {
            if (v == "off") {
                r.gifLoop = -1;
            } else {
                auto n = parseIntIn(v, 0, 65535);
                if (!n) return bad("a repeat count from 0 (forever) to 65535, or off");
                r.gifLoop = *n;
            }
        } else if (a == "--sound") {
            if (v.empty()) return bad("movie, record, none or a sound file");
            r.sound = v;
        } else if (a == "--sound-format") {
            auto f = lookup(kSoundFormats, v);
            if (!f) return bad(choices(kSoundFormats));
            r.soundFormat = *f;
        } else if (a == "--tasks") {
            if (v.empty()) return bad("a task-list file");
            r.tasksFile = v;
        } else if (a == "--quality") {
            auto q = parseIntIn(v, 1, 100);
            if (!q) return bad("a number from 1 to 100");
            r.quality = *q;
        } else if (a == "--jobs") {
            auto n = parseIntIn(v, 1, 256);
            if (!n) return bad("a number of jobs from 1 to 256");
            r.jobs = *n;
        } else if (a == "--shard") {
            auto shard =
                parseShard(v, std::getenv("SLURM_ARRAY_TASK_ID"), std::getenv("SLURM_ARRAY_TASK_COUNT"),
                           std::getenv("SLURM_ARRAY_TASK_MIN"), error);
            if (!shard) return false;
            r.shard = *shard;
        } else if (a == "--from-list") {
            if (v.empty()) return bad("a file of movie paths");
            r.fromList = v;
        } else if (a == "--summary") {
            if (v.empty()) return bad("a file name");
            r.summaryFile = v;
        }
    }
    if (sawYes && sawNo) return fail("-y and -n cannot be used together");
    r.overwrite = sawYes ? TOverwrite::Yes : sawNo ? TOverwrite::No : TOverwrite::Ask;

    if (r.listCodecs) {
        if (r.movies.size() > 1) return fail("--list-codecs takes at most one movie");
        return true;
    }
    if (!r.tasksFile.empty()) {
        if (!r.movies.empty() || !r.fromList.empty())
            return fail("--tasks runs the tasks of its file; give no movies with it");
        if (r.hasTaskOptions())
            return fail(
                "--tasks runs the tasks as its file states them; only -y, -n, --json, --background and the "
                "batch options go with it");
        return true;
    }
    if (r.movies.empty() && r.fromList.empty()) return fail("no movie given");
    std::optional<TDestType> type = requestedType(r, error);
    if (!type) return false;
    if (*type == dtMPEG) {
        // A standard MPEG format fixes the picture (VCD-NTSC when no preset is named).
        TMPEGPreset preset = r.mpegPreset.value_or(mpVCDNTSC);
        if (presetSize(preset)) {
            const char* name = nameOf(kPresets, preset);
            if (r.size) return fail(std::string("--size cannot be used with the MPEG preset ") + name);
            if (r.keepAspect)
                return fail(std::string("--keep-aspect cannot be used with the MPEG preset ") + name);
            if (r.crop) return fail(std::string("--crop cannot be used with the MPEG preset ") + name);
        }
    }
    if (r.soundFormat && r.sound && *r.sound != "record")
        return fail("--sound-format applies to recorded sound (--sound record)");
    return true;
}

std::optional<TDestType> requestedType(const TConvertRequest& r, std::string* error) {
    // Each option that belongs to one output kind names that kind; they must agree with each other and with
    // --type.
    struct TClaim {
        const char* option;
        TDestType type;
    };
    std::vector<TClaim> claims;
    if (r.codec) {
        const TContainerCodec* c = findContainerCodec(*r.codec);
        claims.push_back({"--codec", c ? c->type : dtAVI});
    }
    if (r.mpegPreset) claims.push_back({"--mpeg-preset", dtMPEG});
    if (r.gifFps) claims.push_back({"--gif-fps", dtGIF});
    if (r.gifLoop) claims.push_back({"--gif-loop", dtGIF});
    if (r.imageFormat) claims.push_back({"--image-format", dtImageSequence});
    if (r.jpegQuality) claims.push_back({"--jpeg-quality", dtImageSequence});
    auto fail = [&](const std::string& why) -> std::optional<TDestType> {
        *error = "tolvikan convert: " + why;
        return std::nullopt;
    };
    std::optional<TDestType> type = r.type;
    std::string source = "--type " + std::string(type ? typeName(*type) : "");
    for (const TClaim& c : claims) {
        if (!type) {
            type = c.type;
            source = c.option;
        } else if (*type != c.type) {
            return fail(std::string(c.option) + " applies to " + typeName(c.type) + " output, not with " +
                        source);
        }
    }
    // An output whose extension names another kind is refused rather than written as a file its name
    // misdescribes ("--type gif --output a.avi").
    const std::optional<TDestType> named = r.output ? typeOfExtension(*r.output) : std::nullopt;
    // (Images go to a folder, whose name may end in anything.)
    if (type && named && *named != *type && *type != dtImageSequence)
        return fail("--output " + *r.output + " names " + typeName(*named) + " output, but " + source +
                    " asks for " + typeName(*type) + "; change the extension or the option");
    if (!type) type = named;
    if (!type) type = dtAVI;
    if (r.quality && !isContainerType(*type))
        return fail("--quality applies to MP4, WebM and MOV output (--type mp4|webm|mov)");
    if (r.sound && *r.sound != "none" && !IsVideoType(*type))
        return fail("--sound applies to video output only (AVI, MPEG, MP4, WebM, MOV)");
    if (r.soundFormat && !IsVideoType(*type))
        return fail("--sound-format applies to video output only (AVI, MPEG, MP4, WebM, MOV)");
    return type;
}

std::string applyConvertOptions(const TConvertRequest& r, const std::string& movie, size_t movieCount,
                                TCovSettings& task, const TCodecSource& codecs) {
    std::string error;
    std::optional<TDestType> type = requestedType(r, &error);
    if (!type) return error.substr(std::strlen("tolvikan convert: "));
    task.destType = *type;

    // Where the output goes.
    std::string base = ChangeFileExt(ExtractFileName(movie), "");
    if (base.empty()) base = "frames";
    if (task.destType == dtImageSequence) {
        std::string folder;
        if (!r.output)
            folder = ExtractFilePath(movie) + base;
        else if (movieCount > 1)
            folder = withSlash(absolute(*r.output)) + base;
        else
            folder = absolute(*r.output);
        task.destFilepath = withSlash(folder);
    } else {
        const char* ext = outputExtension(task.destType);
        task.destFilename = base + ext;
        if (r.output) {
            std::error_code ec;
            bool folder = r.output->back() == '/' || fs::is_directory(*r.output, ec);
            if (folder) {
                task.destFilepath = withSlash(absolute(*r.output));
            } else {
                if (movieCount > 1)
                    return "--output names one file but " + std::to_string(movieCount) +
                           " movies are given; give a folder (ending in /)";
                std::string full = absolute(*r.output);
                task.destFilepath = ExtractFilePath(full);
                task.destFilename = ExtractFileName(full);
            }
        }
    }

    // Picture size. A size of its own turns "Use original document size" off.
    if (r.size) {
        task.destW = r.size->first;
        task.destH = r.size->second;
        task.destIsUseOriginalSize = false;
    }
    if (r.keepAspect) task.destIsKeepAspectRatio = true;

    if (task.destType == dtMPEG) {
        if (r.mpegPreset) task.destMPEGCodec = *r.mpegPreset;
        const char* presetName = nameOf(kPresets, task.destMPEGCodec);
        if (auto preset = presetSize(task.destMPEGCodec)) {
            // A preset fixes the picture: no size, aspect or crop of the task's own.
            if (r.size) return std::string("--size cannot be used with the MPEG preset ") + presetName;
            if (r.keepAspect)
                return std::string("--keep-aspect cannot be used with the MPEG preset ") + presetName;
            if (r.crop) return std::string("--crop cannot be used with the MPEG preset ") + presetName;
            task.destW = preset->w;
            task.destH = preset->h;
            task.destIsUseOriginalSize = false;
            task.destIsKeepAspectRatio = false;
            task.destIsCrop = false;
            task.destMPEGFrameRate = preset->frameRateIndex;
        }
        int variant = task.destMPEGCodec == mpVCDNTSC || task.destMPEGCodec == mpVCDPAL ||
                              task.destMPEGCodec == mpMPEG1Custom
                          ? 1
                          : 2;
        SelectDefaultCodec(kMclFormatMPEG, variant, task.destW, task.destH, 24, task.DestMPEGCodecInfo,
                           codecs);
    }

    if (task.destW < 1 || task.destH < 1)
        return "the movie has no picture size (" + std::to_string(task.destW) + "x" +
               std::to_string(task.destH) + "); give one with --size";

    if (r.frames) {
        task.destStartFrame = r.frames->first;
        task.destEndFrame = r.frames->second;
    }
    if (r.mode) task.destSequenceMode = *r.mode;

    if (r.crop) {
        const TCropRect& c = *r.crop;
        if (static_cast<long long>(c.x) + c.w > task.destW || static_cast<long long>(c.y) + c.h > task.destH)
            return "--crop " + std::to_string(c.x) + "," + std::to_string(c.y) + "," + std::to_string(c.w) +
                   "," + std::to_string(c.h) + " lies outside the " + std::to_string(task.destW) + "x" +
                   std::to_string(task.destH) + " picture";
        task.destIsCrop = true;
        task.destCropX = c.x;
        task.destCropY = c.y;
        task.destCropW = c.w;
        task.destCropH = c.h;
    }

    if (task.destType == dtImageSequence) {
        if (r.imageFormat)
            task.destImageType = *r.imageFormat;
        else if (r.jpegQuality)
            task.destImageType = itJPEG;
        if (r.jpegQuality) {
            if (task.destImageType != itJPEG) return "--jpeg-quality applies to JPEG images only";
            task.destImageJPEGQuality = *r.jpegQuality;
        }
    }

    if (r.alpha) {
        if (*r.alpha == amNone) {
            task.destColorDepth = cd24Bit;
        } else {
            // The colour rules of the settings dialog: GIF, BMP and JPEG have no alpha channel.
            bool allowed = task.destType == dtAVI || task.destType == dtMPEG || task.destType == dtWebM ||
                           task.destType == dtMOV ||
                           (task.destType == dtImageSequence &&
                            (task.destImageType == itPNG || task.destImageType == itTGA));
            if (!allowed)
                return task.destType == dtMP4
                           ? "--alpha: MP4 (H.264) has no alpha channel; --type webm or mov keeps it"
                           : "--alpha needs AVI, MPEG, WebM or MOV output, or PNG or TGA images";
            task.destColorDepth = cd32BitAlpha;
            task.destAlphaMode = *r.alpha;
        }
    }

    if (isContainerType(task.destType)) {
        task.destVideoCodec = 0;
        if (r.codec) {
            const TContainerCodec* c = findContainerCodec(*r.codec);
            if (!c || c->type != task.destType)
                return "no " + std::string(typeName(task.destType)) + " codec '" + *r.codec + "'";
            task.destVideoCodec = c->codec;
        }
        if (r.quality) task.destVideoQuality = *r.quality;
    }

    if (task.destType == dtAVI) {
        TFrameSizes sizes = ComputeFrameSizes(task);
        int bits = task.destColorDepth == cd32BitAlpha && task.destAlphaMode != amNone ? 32 : 24;
        if (r.codec) {
            std::vector<TCodecEntry> list = listAviCodecs(sizes.frameW, sizes.frameH, bits, codecs);
            const TCodecEntry* found = nullptr;
            // The exact name, then the identifier, then the name or identifier in any case.
            for (const TCodecEntry& e : list)
                if (!found && (e.name == *r.codec || e.id == *r.codec)) found = &e;
            for (const TCodecEntry& e : list)
                if (!found &&
                    (AsciiLower(e.name) == AsciiLower(*r.codec) || AsciiLower(e.id) == AsciiLower(*r.codec)))
                    found = &e;
            if (!found)
                return "no AVI codec '" + *r.codec + "' at " + std::to_string(sizes.frameW) + "x" +
                       std::to_string(sizes.frameH) + (bits == 32 ? " with alpha" : "") +
                       " (tolvikan convert --list-codecs shows them)";
            task.DestAVICodecInfo = found->info;
        } else if (sizes.frameW != task.swfW || sizes.frameH != task.swfH || bits != 24) {
            // The defaults chose the codec for the movie's own size and 24 bits.
            SelectDefaultCodec(kMclFormatAVI, 0, sizes.frameW, sizes.frameH, bits, task.DestAVICodecInfo,
                               codecs);
        }
        task.destAVICodec = task.DestAVICodecInfo.codecID;
    }

    if (task.destType == dtGIF) {
        if (r.gifFps) task.destGIFFrameRate = *r.gifFps;
        if (r.gifLoop) {
            task.destGIFIsLooping = *r.gifLoop >= 0;
            if (*r.gifLoop >= 0) task.destGIFRepeatCount = *r.gifLoop;
        }
        if (task.destGIFFrameRate < 1)
            return "the movie's frame rate is below 1; give the GIF's with --gif-fps";
    }

    // A movie with sound is converted with its own sound, taken from the player. The command line records
    // only when asked: a recording pass plays the movie in real time and captures whatever the sound system
    // plays meanwhile, which nobody expects from a batch conversion by default.
    if (!r.sound && !r.soundFormat && IsVideoType(task.destType)) {
        task.adoSource = MovieHasSound(movie) ? asRecord : asNone;
        task.adoDirect = true;
    }
    if (r.soundFormat && !r.sound) task.adoDirect = false;  // a format is asked of recorded sound only
    if (r.sound) {
        if (*r.sound == "none") {
            task.adoSource = asNone;
        } else if (*r.sound == "movie") {
            task.adoSource = asRecord;
            task.adoDirect = true;
        } else if (*r.sound == "record") {
            task.adoSource = asRecord;
            task.adoDirect = false;
        } else {
            std::error_code ec;
            if (!fs::is_regular_file(*r.sound, ec)) return "--sound " + *r.sound + ": no such sound file";
            task.adoSource = asImport;
            task.adoFilename = absolute(*r.sound);
        }
    }
    if (r.soundFormat) task.adoFileType = *r.soundFormat;
    return "";
}

std::optional<TShard> parseShard(const std::string& text, const char* slurmId, const char* slurmCount,
                                 const char* slurmMin, std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<TShard> {
        *error = "tolvikan convert: --shard " + why;
        return std::nullopt;
    };
    if (AsciiLower(text) == "slurm") {
        if (!slurmId || !*slurmId || !slurmCount || !*slurmCount)
            return fail(
                "slurm: SLURM_ARRAY_TASK_ID and SLURM_ARRAY_TASK_COUNT are not set (submit with sbatch "
                "--array=1-N)");
        auto id = parseIntIn(slurmId, 0, 1000000);
        auto count = parseIntIn(slurmCount, 1, 1000000);
        // An array may start at 0 (--array=0-3); the part is counted from the array's first index.
        auto first = slurmMin && *slurmMin ? parseIntIn(slurmMin, 0, 1000000) : std::optional<int>(1);
        if (!id || !count || !first)
            return fail(std::string("slurm: SLURM_ARRAY_TASK_ID=") + slurmId +
                        ", SLURM_ARRAY_TASK_COUNT=" + slurmCount + " are not numbers");
        const int index = *id - *first + 1;
        if (index < 1 || index > *count)
            return fail("slurm: array task " + std::string(slurmId) + " is outside an array of " +
                        std::to_string(*count) + " tasks from " + std::to_string(*first) +
                        " (submit with --array=1-N)");
        return TShard{index, *count};
    }
    auto parts = split(text, '/');
    auto count = parts.size() == 2 ? parseIntIn(parts[1], 1, 1000000) : std::nullopt;
    auto index = parts.size() == 2 && count ? parseIntIn(parts[0], 1, *count) : std::nullopt;
    if (!index || !count) return fail("needs I/N with I from 1 to N, or slurm, got '" + text + "'");
    return TShard{*index, *count};
}

bool inShard(const TShard& shard, size_t position) {
    // Round robin: neighbours in a list (often movies of one size) go to different parts.
    return static_cast<int>(position % static_cast<size_t>(shard.count)) == shard.index - 1;
}

std::string taskOutput(const TCovSettings& task) {
    if (task.destType == dtImageSequence) return task.destFilepath;
    return task.destFilepath + task.destFilename;
}

std::vector<std::string> existingImages(const TCovSettings& task, size_t limit) {
    std::vector<std::string> found;
    if (task.destType != dtImageSequence || limit == 0) return found;
    std::string ext = imageExtension(task.destImageType);
    std::error_code ec;
    // One pass over the folder rather than a look-up per frame number: a range may be long.
    fs::directory_iterator it(task.destFilepath, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() <= ext.size() || name.compare(name.size() - ext.size(), ext.size(), ext) != 0)
            continue;
        std::string digits = name.substr(0, name.size() - ext.size());
        if (digits.size() > 1 && digits[0] == '0') continue;  // the sequence writes no leading zeros
        auto n = parseInt(digits);
        if (!n || digits[0] == '-' || digits[0] == '+') continue;
        if (*n < task.destStartFrame || *n > task.destEndFrame) continue;
        found.push_back(it->path().string());
        if (found.size() >= limit) break;
    }
    return found;
}

std::string existingOutput(const TCovSettings& task) {
    if (task.destType == dtImageSequence) {
        auto images = existingImages(task, 1);
        return images.empty() ? "" : images[0];
    }
    std::string file = taskOutput(task);
    std::error_code ec;
    return fs::exists(file, ec) ? file : "";
}

std::string codecIdText(int32_t codecID) {
    uint32_t v = static_cast<uint32_t>(codecID);
    std::string text;
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((v >> (8 * i)) & 0xFF);
        if (c < 0x21 || c > 0x7E) return std::to_string(codecID);
        text += c;
    }
    return text;
}

std::vector<TCodecEntry> listAviCodecs(int width, int height, int bits, const TCodecSource& codecs) {
    std::vector<TCodecEntry> list;
    int n = codecs.init(kMclFormatAVI, width, height, bits);
    for (int i = 1; i <= n; ++i) {
        TMclCodecInfo info{};
        if (codecs.getInfo(kMclFormatAVI, &info, i) != 0) continue;
        TCodecEntry e;
        e.name.assign(info.codecName, strnlen(info.codecName, sizeof info.codecName));
        e.id = codecIdText(info.codecID);
        e.info = info;
        list.push_back(std::move(e));
    }
    return list;
}

}  // namespace cli
