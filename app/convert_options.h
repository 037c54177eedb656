// `tolvikan convert` options: the command line read into a request, and a request applied to the task record
// of each movie (on top of FillTaskDefaults), the AVI codec list and the rule for outputs that exist already.
// Pure functions on TCovSettings and the file system (reads only); nothing here converts or shows anything.
// Thread: the caller's (the command line's main thread).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tasks/cov_settings.h"

namespace cli {

// What to do when a task's output exists already: -y overwrites, -n refuses, neither asks on a terminal
// (and refuses elsewhere).
enum class TOverwrite { Ask, Yes, No };

// One part of a batch split over several runs: the index-th (from 1) of count parts.
struct TShard {
    int index = 1;
    int count = 1;
};

struct TCropRect {
    int x = 0, y = 0, w = 0, h = 0;
};

// The command line as given; every task option is unset unless it was given.
struct TConvertRequest {
    std::vector<std::string> movies;
    std::string tasksFile;  // --tasks
    bool listCodecs = false;
    bool json = false;
    bool verbose = false;  // FFmpeg's warnings and notes into the status log
    std::optional<int> jobs;
    std::optional<TShard> shard;
    std::string fromList;     // --from-list: movie paths, one per line
    std::string summaryFile;  // --summary
    size_t listedMovies = 0;  // movies of the whole list before a shard took its part (0: movies.size())
    TOverwrite overwrite = TOverwrite::Ask;
    std::optional<uint32_t> background;  // 0x00RRGGBB

    std::optional<TDestType> type;
    std::optional<std::string> output;
    std::optional<std::pair<int, int>> size;
    bool keepAspect = false;
    std::optional<std::pair<int, int>> frames;  // first, last
    std::optional<TSequenceMode> mode;
    std::optional<TCropRect> crop;
    std::optional<std::string> codec;
    std::optional<TMPEGPreset> mpegPreset;
    std::optional<TImageType> imageFormat;
    std::optional<int> jpegQuality;
    std::optional<TAlphaMode> alpha;  // amNone: 24 bits
    std::optional<int> gifFps;
    std::optional<int> gifLoop;        // -1: looping off
    std::optional<std::string> sound;  // "none", "record" or a sound file
    std::optional<TAudioFileType> soundFormat;
    std::optional<int> quality;  // 1..100, MP4, WebM and MOV

    // Any option that changes tasks (those cannot be combined with --tasks).
    bool hasTaskOptions() const;
};

extern const char* const kConvertUsage;

// Reads the arguments after "convert". Returns false with a one-line message in *error (starting
// "tolvikan convert: ") for an unknown option, a missing or malformed value, or options that contradict each
// other whatever the movie.
bool parseConvertArgs(const std::vector<std::string>& args, TConvertRequest* request, std::string* error);

// The output type of the request's tasks: --type, else what the output's extension or the type-specific
// options name, else AVI (FillTaskDefaults). nullopt with *error when they disagree.
std::optional<TDestType> requestedType(const TConvertRequest& request, std::string* error);

// Applies the request to a task that FillTaskDefaults has just filled for `movie` (an absolute path);
// movieCount is the number of movies of the command (with several, --output is a folder). Returns "" or why
// the options do not fit this movie (a crop outside its picture, an unknown codec, ...), without the
// "tolvikan convert: " prefix.
std::string applyConvertOptions(const TConvertRequest& request, const std::string& movie, size_t movieCount,
                                TCovSettings& task, const TCodecSource& codecs = MclCodecSource());

// --shard: "I/N", or "slurm" with the array's task id, count and first index (nullptr when unset). nullopt
// with *error (starting "tolvikan convert: ") for a malformed value or an environment that is not an array.
std::optional<TShard> parseShard(const std::string& text, const char* slurmId, const char* slurmCount,
                                 const char* slurmMin, std::string* error);
// Whether the task at `position` (from 0, in the order given) belongs to the shard.
bool inShard(const TShard& shard, size_t position);

// The output file of a task (destFilepath + destFilename), or its folder for an image sequence.
std::string taskOutput(const TCovSettings& task);

// The image files of a sequence task that exist already in its folder (the names the task would write,
// destStartFrame..destEndFrame), at most `limit` of them, in no particular order. Empty for other tasks.
std::vector<std::string> existingImages(const TCovSettings& task, size_t limit = 3);

// What of the task's output exists already: the output file, or the first image of the sequence it would
// replace; "" when nothing would be replaced.
std::string existingOutput(const TCovSettings& task);

// One AVI codec of the list at a frame size.
struct TCodecEntry {
    std::string name;
    std::string id;  // its FourCC when printable, else the decimal identifier ("0" for uncompressed frames)
    TMclCodecInfo info;
};
std::vector<TCodecEntry> listAviCodecs(int width, int height, int bits,
                                       const TCodecSource& codecs = MclCodecSource());
// The text of a codec identifier as --list-codecs prints it.
std::string codecIdText(int32_t codecID);

}  // namespace cli
