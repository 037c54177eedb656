// `tolvikan convert` end to end: the real program converts a built movie to GIF, PNG images and AVI through
// the conversion window; the files, their frame counts, the exit status, the JSON events, and the refusals
// (an output that exists, a missing movie, a bad option) as a user sees them.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "convert_test_util.h"
#include "support/swf_shapes.h"
#include "support/swf_sound.h"
#include "support/swf_tags.h"
#include "tasks/task_list_file.h"

using namespace converttest;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A 320x240 movie at 12 fps whose red square moves one step per frame.
testswf::Bytes MovingSquare(int frames) {
    using namespace testswf;
    Header h;
    h.version = 8;
    h.xmax = 320 * 20;
    h.ymax = 240 * 20;
    h.frameRate88 = 12 << 8;
    h.frameCount = static_cast<uint16_t>(frames);
    SwfBuilder m(h);
    m.backgroundColor(0xFFFFFF);
    ShapeBuilder s;
    s.fill0(s.fillSolid(0xFF0000FF)).rect(0, 0, 800, 800);
    m.tag(32, s.defineShape(1, 3));
    for (int f = 0; f < frames; ++f) {
        PlaceSpec p;
        p.depth = 1;
        p.move = f > 0;
        if (f == 0) p.characterId = 1;
        p.matrix = MatrixSpec{1, 1, 0, 0, 200 + f * 300, 1000};
        m.tag(26, placeObject(p, 2));
        m.showFrame();
    }
    return m.end().build(Compression::Zlib);
}

// A movie of `frames` frames at 12 fps whose frame 1 starts a second of 440 Hz tone.
testswf::Bytes MovieWithSound(int frames) {
    using namespace testswf;
    Header h;
    h.version = 8;
    h.xmax = 160 * 20;
    h.ymax = 120 * 20;
    h.frameRate88 = 12 << 8;
    h.frameCount = static_cast<uint16_t>(frames);
    SwfBuilder m(h);
    m.backgroundColor(0xFFFFFF);
    std::vector<int16_t> tone(44100);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<int16_t>(std::lround(10000 * std::sin(2 * M_PI * 440 * double(i) / 44100)));
    m.tag(kTagDefineSound, defineSound(1, {3, 3, true, false}, uint32_t(tone.size()), pcm16(tone)));
    m.tag(kTagStartSound, startSound(1));
    for (int f = 0; f < frames; ++f)
        m.showFrame();
    return m.end().build();
}

// The stream kinds an AVI lists ("vids", "auds"), in order.
std::vector<std::string> AviStreamKinds(const std::string& bytes) {
    std::vector<std::string> kinds;
    for (size_t at = bytes.find("strh"); at != std::string::npos && at + 12 <= bytes.size();
         at = bytes.find("strh", at + 4))
        kinds.push_back(bytes.substr(at + 8, 4));
    return kinds;
}

// The AVI main header ("avih"): total frames, width, height.
struct AviInfo {
    uint32_t frames = 0, width = 0, height = 0;
};
AviInfo ReadAvih(const std::string& path) {
    std::string bytes = ReadFile(path);
    AviInfo info;
    size_t at = bytes.find("avih");
    if (at == std::string::npos || at + 48 > bytes.size()) return info;
    auto u32 = [&](size_t offset) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at + 8 + offset);
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    };
    info.frames = u32(16);
    info.width = u32(32);
    info.height = u32(36);
    return info;
}

struct Result {
    int status = -1;
    std::string out, err;
};

class ConvertCli : public ::testing::Test {
  protected:
    ScratchDir dir;
    std::string movie = dir.write("m.swf", MovingSquare(10));

    // Runs `tolvikan ARGS` with `environment` (VAR=value words for env) in the scratch folder.
    Result runProgram(const std::vector<std::string>& args, const std::string& environment = "") {
        std::string cmd = "cd '" + dir.path().string() + "' && env " + environment + " '" TOLVIKAN_BIN "'";
        for (const std::string& a : args)
            cmd += " '" + a + "'";
        cmd += " </dev/null >'" + dir / "stdout.txt" + "' 2>'" + dir / "stderr.txt" + "'";
        int raw = std::system(cmd.c_str());
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = ReadFile(dir / "stdout.txt");
        r.err = ReadFile(dir / "stderr.txt");
        return r;
    }

    // The JSON events of a run's stdout.
    static std::vector<QJsonObject> Events(const std::string& out) {
        std::vector<QJsonObject> events;
        std::stringstream ss(out);
        for (std::string line; std::getline(ss, line);)
            events.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
        return events;
    }

    // Runs the program with its working folder in the scratch folder; stdin is not a terminal.
    Result run(const std::vector<std::string>& args) {
        std::string cmd = "cd '" + dir.path().string() + "' && '" TOLVIKAN_BIN "' convert";
        for (const std::string& a : args)
            cmd += " '" + a + "'";
        cmd += " </dev/null >'" + dir / "stdout.txt" + "' 2>'" + dir / "stderr.txt" + "'";
        int raw = std::system(cmd.c_str());
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = ReadFile(dir / "stdout.txt");
        r.err = ReadFile(dir / "stderr.txt");
        return r;
    }
};

TEST_F(ConvertCli, GifHoldsEveryFrameOfTheMovie) {
    Result r = run({movie, "--type", "gif", "--output", "out/m.gif"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Status:> Finish converting \"m.swf\" to GIF Animation."), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Status:> All Finished"), std::string::npos);
    QImageReader reader(QString::fromStdString(dir / "out/m.gif"));
    EXPECT_EQ(reader.imageCount(), 10);
    EXPECT_EQ(reader.size(), QSize(320, 240));
}

TEST_F(ConvertCli, ImagesAreNumberedByFrameAndShowTheMovie) {
    Result r = run({movie, "--type", "images", "--frames", "3-7", "--output", "pics"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir / "pics"))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"3.png", "4.png", "5.png", "6.png", "7.png"}));
    QImage first(QString::fromStdString(dir / "pics/3.png"));
    ASSERT_EQ(first.size(), QSize(320, 240));
    // The square's left edge moves 15 pixels a frame from x = 10; on frame 3 it starts at 40.
    EXPECT_EQ(first.pixelColor(50, 60).rgb() & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(first.pixelColor(20, 60).rgb() & 0xFFFFFF, 0xFFFFFFu);

    // --background replaces the movie's white and is the key of the background alpha rule.
    r = run({movie, "--type", "images", "--frames", "3-3", "--output", "keyed", "--alpha", "background",
             "--background", "00FF00"});
    ASSERT_EQ(r.status, 0) << r.err;
    QImage keyed(QString::fromStdString(dir / "keyed/3.png"));
    ASSERT_TRUE(keyed.hasAlphaChannel());
    EXPECT_EQ(keyed.pixelColor(20, 60).alpha(), 0);
    EXPECT_EQ(keyed.pixelColor(20, 60).green(), 255);
    EXPECT_EQ(keyed.pixelColor(50, 60).alpha(), 255);
    EXPECT_EQ(keyed.pixelColor(50, 60).red(), 255);
}

TEST_F(ConvertCli, AMovieWithSoundIsConvertedWithItByDefault) {
    const std::string loud = dir.write("loud.swf", MovieWithSound(12));
    struct Case {
        std::string movie;
        std::vector<std::string> options;
        std::vector<std::string> kinds;
    } cases[] = {
        {loud, {}, {"vids", "auds"}},  // taken from the player
        {loud, {"--sound", "movie"}, {"vids", "auds"}},
        {loud, {"--sound", "none"}, {"vids"}},
        {movie, {}, {"vids"}},                    // a movie without sound gets no track
        {movie, {"--sound", "movie"}, {"vids"}},  // nothing heard: no track either
    };
    int i = 0;
    for (const Case& c : cases) {
        const std::string out = "s" + std::to_string(i++) + ".avi";
        std::vector<std::string> args = {c.movie, "--output", out};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Result r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(AviStreamKinds(ReadFile(dir / out)), c.kinds) << out;
    }
}

TEST_F(ConvertCli, AviKeepsAnExistingFileUnlessToldToOverwrite) {
    Result r = run({movie, "--output", "a.avi", "--size", "160x120", "--sound", "none"});
    ASSERT_EQ(r.status, 0) << r.err;
    AviInfo info = ReadAvih(dir / "a.avi");
    EXPECT_EQ(info.frames, 10u);
    EXPECT_EQ(info.width, 160u);
    EXPECT_EQ(info.height, 120u);

    std::string before = ReadFile(dir / "a.avi");
    r = run({movie, "--output", "a.avi", "--sound", "none"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(dir / "a.avi" + " exists (-y overwrites it)"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(dir / "a.avi"), before);

    r = run({movie, "--output", "a.avi", "--sound", "none", "--frames", "2-5", "-y"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadAvih(dir / "a.avi").frames, 4u);
}

TEST_F(ConvertCli, JsonEventsParseAndAMissingMovieIsReportedWithoutStoppingTheOthers) {
    Result r = run({dir / "nope.swf", movie, "--type", "gif", "--json"});
    EXPECT_EQ(r.status, 1) << r.err;
    std::stringstream ss(r.out);
    std::vector<QJsonObject> events;
    for (std::string line; std::getline(ss, line);) {
        QJsonParseError e;
        QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &e);
        ASSERT_EQ(e.error, QJsonParseError::NoError) << line;
        events.push_back(doc.object());
    }
    ASSERT_FALSE(events.empty());
    int lastFrames = -1, lastTotal = -1;
    std::vector<QJsonObject> ended;
    for (const QJsonObject& e : events) {
        if (e["event"] == "progress") {
            lastFrames = e["frames"].toInt();
            lastTotal = e["total"].toInt();
        }
        if (e["event"] == "task") ended.push_back(e);
    }
    EXPECT_EQ(lastFrames, 10);
    EXPECT_EQ(lastTotal, 10);
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_EQ(ended[0]["movie"].toString().toStdString(), dir / "nope.swf");
    EXPECT_FALSE(ended[0]["done"].toBool());
    EXPECT_EQ(ended[0]["reason"].toString(), "no such file");
    EXPECT_EQ(ended[1]["task"].toInt(), 1);
    EXPECT_TRUE(ended[1]["done"].toBool());
    EXPECT_EQ(ended[1]["output"].toString().toStdString(), dir / "m.gif");
    EXPECT_EQ(events.back()["event"].toString(), "finished");
    EXPECT_EQ(events.back()["exitStatus"].toInt(), 1);
    EXPECT_TRUE(fs::exists(dir / "m.gif"));

    // Without --json the reason goes to stderr.
    r = run({dir / "nope.swf"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nope.swf: not converted: no such file"), std::string::npos) << r.err;
}

TEST_F(ConvertCli, TaskListFileRunsItsCheckedTasks) {
    std::vector<TaskListEntry> entries(2);
    for (int i = 0; i < 2; ++i) {
        entries[i].task = std::make_unique<TCovSettings>();
        FillTaskDefaults(*entries[i].task, movie, true);
        entries[i].task->destType = dtGIF;
        entries[i].task->destFilename = i == 0 ? "first.gif" : "second.gif";
        entries[i].task->destEndFrame = 4;
        entries[i].checked = i == 0;
    }
    SaveTaskList(dir / "list.ini", entries);
    Result r = run({"--tasks", dir / "list.ini"});
    ASSERT_EQ(r.status, 0) << r.err;
    QImageReader reader(QString::fromStdString(dir / "first.gif"));
    EXPECT_EQ(reader.imageCount(), 4);
    EXPECT_FALSE(fs::exists(dir / "second.gif"));
}

// Runs `tolvikan convert ARGS --json` and sends it SIGINT once it has reported five frames of its task;
// stdout's JSON events and the exit status (-1 when it did not exit, or was never signalled).
Result Interrupted(const std::vector<std::string>& args) {
    int out[2];
    Result r;
    if (pipe(out) != 0) return r;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 2);
        std::vector<char*> argv{const_cast<char*>(TOLVIKAN_BIN), const_cast<char*>("convert")};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(const_cast<char*>("--json"));
        argv.push_back(nullptr);
        execv(TOLVIKAN_BIN, argv.data());
        _exit(127);
    }
    close(out[1]);
    bool signalled = false;
    char buf[4096];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) {
        r.out.append(buf, size_t(n));
        if (!signalled &&
            r.out.find("\"event\":\"progress\",\"task\":0,\"frames\":5,") != std::string::npos) {
            kill(pid, SIGINT);
            signalled = true;
        }
    }
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = signalled && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST_F(ConvertCli, InterruptStopsTheRunAndLeavesAFinishedFile) {
    // A long run of a looping movie, interrupted once its first frames are written.
    std::string avi = dir / "long.avi";
    const std::string partial = dir / "long.partial.avi";
    Result r = Interrupted(
        {movie, "--frames", "1-1000000", "--sound", "none", "--output", avi, "--summary", dir / "run.json"});
    const std::string& text = r.out;
    EXPECT_EQ(r.status, 130) << text;
    EXPECT_NE(text.find("\"done\":true,\"reason\":\"stopped\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"interrupted\":true"), std::string::npos) << text;
    // The file is finished: its header counts the frames written, and its index is there. It keeps its
    // partial name, so a rerun with -n does not take it for a converted movie.
    EXPECT_FALSE(fs::exists(avi));
    EXPECT_NE(text.find("\"output\":\"" + partial + "\""), std::string::npos) << text;
    AviInfo info = ReadAvih(partial);
    EXPECT_GE(info.frames, 5u);
    EXPECT_LT(info.frames, 1000000u);
    EXPECT_NE(ReadFile(partial).find("idx1"), std::string::npos);
    // The merged summaries of a batch do not count the stopped movie as converted.
    r = runProgram({"summary", dir / "run.json"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.out.find("failed\t" + movie + "\tstopped"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("0 converted, 0 kept from before, 1 failed"), std::string::npos) << r.err;
}

TEST_F(ConvertCli, AnInterruptedImageSequenceStaysInItsPartialFolderUntilConverted) {
    const std::string pics = dir / "pics/";
    const std::string partial = dir / "pics.partial/";
    Result r = Interrupted({movie, "--type", "images", "--frames", "1-1000000", "--output", pics});
    EXPECT_EQ(r.status, 130) << r.out;
    EXPECT_NE(r.out.find("\"output\":\"" + partial + "\""), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(pics)) << "a rerun with -n would take the sequence for converted";
    EXPECT_TRUE(fs::exists(partial + "5.png"));

    // The rerun converts it, and the finished images take the place of the partial folder.
    r = run({movie, "--type", "images", "--frames", "2-4", "--output", "pics", "-n"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(pics))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"2.png", "3.png", "4.png"}));
    // The images of the stopped run's other frames stay where they were written; nothing is deleted.
    EXPECT_TRUE(fs::exists(partial + "5.png"));
    EXPECT_FALSE(fs::exists(partial + "3.png"));

    // Into a folder that holds other files: they stay, and the partial folder goes once emptied.
    r = run({movie, "--type", "images", "--frames", "1-1", "--output", "pics", "-n"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(pics + "1.png"));
    EXPECT_TRUE(fs::exists(pics + "4.png"));
    fs::remove_all(partial);
    r = run({movie, "--type", "images", "--frames", "5-5", "--output", "pics", "-n"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(pics + "5.png"));
    EXPECT_FALSE(fs::exists(partial));
}

TEST_F(ConvertCli, UsageErrorsAndTheCodecList) {
    Result r = run({movie, "--size", "abc"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("tolvikan convert: --size needs WxH, got 'abc'"), std::string::npos) << r.err;

    r = run({"--list-codecs"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::stringstream ss(r.out);
    std::string line;
    ASSERT_TRUE(std::getline(ss, line));
    EXPECT_EQ(line, "Full Frames, Uncompressed\t0");
    for (; std::getline(ss, line);) {
        size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        EXPECT_GT(tab, 0u) << line;
        EXPECT_EQ(line.find('\t', tab + 1), std::string::npos) << line;
        EXPECT_LT(tab + 1, line.size()) << line;
    }
}

TEST_F(ConvertCli, JobsConvertEveryMovieOnceAndTheSummariesMerge) {
    for (const char* name : {"a.swf", "b.swf", "c.swf"})
        fs::copy_file(movie, dir / name);
    Result r = run({"a.swf", "b.swf", "c.swf", "--jobs", "2", "--type", "gif", "--frames", "1-4", "-o",
                    "out/", "--json", "--summary", "all.json"});
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    std::vector<int> ended;
    for (const QJsonObject& e : Events(r.out)) {
        // Lines of the jobs interleave; each says which task it is about.
        if (e["event"] == "status" && e["line"] != "Status:> All Finished") {
            EXPECT_TRUE(e.contains("task")) << e["line"].toString().toStdString();
        }
        if (e["event"] != "task") continue;
        EXPECT_TRUE(e["done"].toBool()) << e["reason"].toString().toStdString();
        ended.push_back(e["task"].toInt());
        const std::string movieName = e["movie"].toString().toStdString();
        EXPECT_EQ(e["output"].toString().toStdString(),
                  dir / ("out/" + movieName.substr(0, movieName.size() - 4) + ".gif"));
    }
    std::sort(ended.begin(), ended.end());
    EXPECT_EQ(ended, (std::vector<int>{0, 1, 2}));  // each task once, by its index in the run
    for (const char* name : {"a", "b", "c"}) {
        QImageReader reader(QString::fromStdString(dir / (std::string("out/") + name + ".gif")));
        EXPECT_EQ(reader.imageCount(), 4) << name;
    }
    for (const auto& e : fs::directory_iterator(dir / "out"))
        EXPECT_EQ(e.path().string().find(".partial"), std::string::npos) << e.path();

    // The same list in two shards, from a file: the parts together are the whole, and a rerun with -n
    // converts exactly what is missing.
    {
        std::ofstream list(dir / "list.txt");
        list << "a.swf\n# a remark\n\nb.swf\nc.swf\nmissing.swf\n";
    }
    fs::remove(dir / "out/b.gif");
    for (const char* shard : {"1/2", "2/2"}) {
        r = run({"--from-list", "list.txt", "--shard", shard, "--type", "gif", "--frames", "1-4", "-o",
                 "out/", "-n", "--summary", std::string("part") + shard[0] + ".json"});
        EXPECT_EQ(r.status, 1) << r.err;  // missing.swf, and outputs that exist
    }
    EXPECT_TRUE(fs::exists(dir / "out/b.gif"));
    r = runProgram({"summary", "part1.json", "part2.json"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.out.find("converted\tb.swf\t" + dir / "out/b.gif"), std::string::npos) << r.out;
    // An output -n kept is no failure of the batch.
    EXPECT_NE(r.out.find("kept\ta.swf\t" + dir / "out/a.gif"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("failed\tmissing.swf\tno such file"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("1 converted, 2 kept from before, 1 failed"), std::string::npos) << r.err;

    // A shard whose summary is missing is named.
    r = runProgram({"summary", "part1.json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no summary from shard 2/2"), std::string::npos) << r.err;
    r = runProgram({"summary", "list.txt"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("list.txt: not JSON"), std::string::npos) << r.err;
}

TEST_F(ConvertCli, NewcomerHabits) {
    Result r = runProgram({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("tolvikan ", 0), 0u) << r.out;
    for (const char* command : {"probe", "render", "convert", "summary"}) {
        r = runProgram({command, "--help"});
        EXPECT_EQ(r.status, 0) << command << r.err;
        EXPECT_NE(r.out.find("usage: tolvikan"), std::string::npos) << command;
    }
    // No display: a clear word and the way to the command line, not Qt's abort.
    r = runProgram({}, "-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no display"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("tolvikan convert MOVIE"), std::string::npos) << r.err;

    // -o, --type in capitals; the encoders' own lines only with --verbose, and then as status lines.
    r = run({movie, "--type", "MP4", "-o", "clip.mp4", "--frames", "1-3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "clip.mp4"));
    EXPECT_EQ(r.err.find("libx264"), std::string::npos) << r.err;
    r = run({movie, "--type", "mp4", "-o", "clip.mp4", "--frames", "1-3", "-y", "--verbose"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Status:> FFmpeg: [libx264] frame I:1"), std::string::npos) << r.err;
    std::stringstream lines(r.err);
    for (std::string line; std::getline(lines, line);)
        EXPECT_EQ(line.rfind("Status:> ", 0), 0u) << line;
}

}  // namespace
