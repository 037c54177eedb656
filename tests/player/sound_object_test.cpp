// The Sound object as scripts use it: transforms per clip and global as Flash Player reports them, the
// transforms of the clips around a sound multiplying into what is heard, start/stop/loops/position and
// onSoundComplete on the movie's clock, loadSound of a local MP3 with its ID3 tags; and the sounds of
// button state changes (DefineButtonSound).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "player/core/movie_def.h"
#include "player/player.h"
#include "player/sound/id3.h"
#include "player/sound/sound_player.h"
#include "support/avm1_asm.h"
#include "support/swf_sound.h"
#include "tests/player/player_test_util.h"

namespace {

using namespace testswf;

// obj.method(args) as actions leaving the result on the stack. An argument is a push operand ('s', 5,
// undef, ...) or @name for the value of a variable.
std::string call(const std::string& obj, const std::string& method,
                 const std::vector<std::string>& args = {}) {
    std::string s;
    for (auto it = args.rbegin(); it != args.rend(); ++it)
        s += (*it)[0] == '@' ? "push '" + it->substr(1) + "'; getvar; " : "push " + *it + "; ";
    return s + "push " + std::to_string(args.size()) + " '" + obj + "'; getvar; push '" + method +
           "'; callmethod; ";
}
// var = new Sound(args)
std::string newSound(const std::string& var, const std::vector<std::string>& args = {}) {
    std::string s = "push '" + var + "'; ";
    for (auto it = args.rbegin(); it != args.rend(); ++it)
        s += (*it)[0] == '@' ? "push '" + it->substr(1) + "'; getvar; " : "push " + *it + "; ";
    return s + "push " + std::to_string(args.size()) + " 'Sound'; newobject; setvar; ";
}
// var = parent.createEmptyMovieClip(name, depth)
std::string newClip(const std::string& var, const std::string& parent, const std::string& name, int depth) {
    return "push '" + var + "'; " +
           call(parent, "createEmptyMovieClip", {"'" + name + "'", std::to_string(depth)}) + "setvar; ";
}
std::string traceCall(const std::string& obj, const std::string& method,
                      const std::vector<std::string>& args = {}) {
    return call(obj, method, args) + "trace; ";
}
std::string run(const std::string& obj, const std::string& method,
                const std::vector<std::string>& args = {}) {
    return call(obj, method, args) + "pop; ";
}

// A 44.1 kHz mono sound of constant samples, exported as "tone".
void addTone(SwfBuilder& b, int16_t level, uint32_t samples) {
    b.tag(kTagDefineSound,
          defineSound(7, {3, 3, true, false}, samples, pcm16(std::vector<int16_t>(samples, level))));
    b.tag(56, exportAssets({{7, "tone"}}));
}

struct Played {
    std::vector<std::string> lines;
    std::vector<int16_t> sound;
    std::vector<size_t> frameStart;  // stereo sample where each frame's sound begins
};

// Loads the movie (frame 1's script runs) and plays `frames` frames, taking each frame's sound.
Played play(const Bytes& movie, int frames, const std::string& url = "test.swf") {
    Played r;
    player::Player p;
    p.setTraceHandler([&](const std::string& line) { r.lines.push_back(line); });
    std::string error;
    EXPECT_TRUE(p.loadBytes(movie, url, &error)) << error;
    for (int f = 0; f < frames; ++f) {
        if (f > 0) p.advance();
        r.frameStart.push_back(r.sound.size() / 2);
        p.takeSound(r.sound);
    }
    return r;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i)
        out += (i ? "|" : "") + lines[i];
    return out;
}

Bytes scriptMovie(const std::string& script, int version, int frames = 1, bool tone = false) {
    auto b = playertest::movie(40, 20, frames, version);
    if (tone) addTone(b, 10000, 4410);
    b.tag(12, avm1test::assemble(script)).showFrame();
    for (int f = 1; f < frames; ++f)
        b.showFrame();
    return b.end().build();
}

struct ScriptCase {
    const char* what;
    int version;
    std::string script;
    const char* expected;  // traced lines joined with "|"
};

TEST(SoundObject, TransformsReadBackAsFlashPlayerReportsThem) {
    const std::string global = newSound("s");
    const ScriptCase cases[] = {
        {"a new global Sound", 8, global + traceCall("s", "getVolume") + traceCall("s", "getPan"), "100|0"},
        {"volume is a whole number; no argument is 0", 8,
         global + run("s", "setVolume", {"50.7"}) + traceCall("s", "getVolume") + run("s", "setVolume") +
             traceCall("s", "getVolume"),
         "50|0"},
        {"pan lowers one side; getPan reads how far", 8,
         global + run("s", "setPan", {"-50"}) + call("s", "getTransform") + "push 'rr'; getmember; trace; " +
             traceCall("s", "getPan") + run("s", "setPan", {"200"}) + traceCall("s", "getPan"),
         "50|-50|0"},
        {"getPan takes the size of a negative level", 8,
         global + "push 'll' -20 1; initobject; push 1 's'; getvar; push 'setTransform'; callmethod; pop; " +
             traceCall("s", "getPan"),
         "80"},
        {"setTransform reads only the object's own members", 8,
         global + "push 'p'; push 'll' 0 1; initobject; setvar; push 'o'; push 0; initobject; setvar; " +
             "push 'o'; getvar; push '__proto__'; push 'p'; getvar; setmember; " +
             run("s", "setTransform", {"@o"}) + traceCall("s", "getPan"),
         "0"},
        {"NaN volume is 0 up to SWF 8", 8,
         global + run("s", "setVolume", {"'x'"}) + traceCall("s", "getVolume"), "0"},
        {"and the lowest integer later", 9,
         global + run("s", "setVolume", {"'x'"}) + traceCall("s", "getVolume"), "-2147483648"},
        {"a Sound on a clip that does not exist answers undefined", 8,
         newSound("s", {"'nothing'"}) + run("s", "setVolume", {"20"}) + traceCall("s", "getVolume"),
         "undefined"},
        {"Sounds on one clip share its transform; the global one is apart", 8,
         newClip("a", "_root", "a", 1) + newSound("s1", {"@a"}) + newSound("s2", {"@a"}) + newSound("g") +
             run("s1", "setVolume", {"30"}) + traceCall("s2", "getVolume") + traceCall("g", "getVolume"),
         "30|100"},
        {"a Sound follows its clip's path: renamed, the clip is no longer its target", 8,
         newClip("v", "_root", "a", 1) + newSound("s", {"@v"}) + traceCall("s", "getVolume") +
             "push 'v'; getvar; push '_name' 'b'; setmember; " + traceCall("s", "getVolume"),
         "100|undefined"},
        {"duration: undefined without a sound, else from the sample count", 8,
         global + traceCall("s", "getDuration") + run("s", "attachSound", {"'tone'"}) +
             traceCall("s", "getDuration") + "push 's'; getvar; push 'duration'; getmember; trace; " +
             traceCall("s", "getPosition"),
         "undefined|100|100|0"},
        {"SWF 5 has neither the duration property nor getDuration", 5,
         global + run("s", "attachSound", {"'tone'"}) +
             "push 's'; getvar; push 'duration'; getmember; trace; " +
             "push 's'; getvar; push 'getDuration'; getmember; trace",
         "undefined|undefined"},
    };
    for (const ScriptCase& c : cases) {
        Played r = play(scriptMovie(c.script, c.version, 1, true), 1);
        EXPECT_EQ(joined(r.lines), c.expected) << c.what;
    }
}

TEST(SoundObject, TransformsOfTheClipsAroundASoundMultiply) {
    // The tone plays from clip a.b at half volume, inside a at half volume panned right, under a global
    // 80%: left silent, right 10000 * 0.5 * 0.5 * 0.8. In frame 2, stopping a's sounds stops b's too.
    std::string script = newClip("a", "_root", "a", 1) + newClip("b", "a", "b", 1) + newSound("sa", {"@a"}) +
                         newSound("sb", {"@b"}) + newSound("g") + run("sa", "setVolume", {"50"}) +
                         run("sa", "setPan", {"100"}) + run("sb", "setVolume", {"50"}) +
                         run("g", "setVolume", {"80"}) + run("sb", "attachSound", {"'tone'"}) +
                         run("sb", "start", {"0", "100"});
    auto b = playertest::movie(40, 20, 2, 8);
    addTone(b, 10000, 4410);
    b.tag(12, avm1test::assemble(script)).showFrame();
    b.tag(12, avm1test::assemble(run("sa", "stop"))).showFrame();
    Played r = play(b.end().build(), 3);
    ASSERT_GT(r.sound.size(), 2 * r.frameStart[2]);
    EXPECT_EQ(r.sound[0], 0);
    EXPECT_EQ(r.sound[1], 2000);
    EXPECT_EQ(r.sound[2 * r.frameStart[1] - 1], 2000) << "plays through frame 1";
    EXPECT_EQ(r.sound[2 * r.frameStart[1] + 1], 0) << "stopped with the clip around it";
}

TEST(SoundObject, StartOffsetLoopsAndCompletionOnTheMovieClock) {
    // 100 ms of tone started 50 ms in, twice: 2 * 2205 samples, then onSoundComplete, which the next
    // frame delivers. At 12 fps a frame is 3675 samples.
    std::string script = newSound("s") + run("s", "attachSound", {"'tone'"}) +
                         "function done; push 'done'; trace; end; push 's'; getvar; push 'onSoundComplete'; "
                         "push 'done'; getvar; setmember; " +
                         run("s", "start", {"0.05", "2"}) + traceCall("s", "getPosition");
    Played r = play(scriptMovie(script, 8, 4, true), 2);
    EXPECT_EQ(joined(r.lines), "50");
    for (size_t i = 0; i < 4410; ++i)
        ASSERT_EQ(r.sound[2 * i], 10000) << i;
    EXPECT_EQ(r.sound[2 * 4410], 0);
    r = play(scriptMovie(script, 8, 4, true), 3);
    EXPECT_EQ(joined(r.lines), "50|done");

    // stop(id) stops the instances of that sound; a stopped sound never completes.
    std::string stopped = script + run("s", "stop", {"'tone'"}) + traceCall("s", "getPosition");
    r = play(scriptMovie(stopped, 8, 4, true), 4);
    EXPECT_EQ(joined(r.lines), "50|50");
    EXPECT_EQ(r.sound[0], 0);
}

TEST(SoundObject, WithSoundOffScriptSoundsStillCompleteOnTheirFrame) {
    // A picture-only player (sound off) runs a movie that waits for onSoundComplete the same as one with
    // sound: the completion comes on the same frame, though nothing is heard.
    std::string script = newSound("s") + run("s", "attachSound", {"'tone'"}) +
                         "function done; push 'done'; trace; end; push 's'; getvar; push 'onSoundComplete'; "
                         "push 'done'; getvar; setmember; " +
                         run("s", "start", {"0", "3"});
    Bytes movie = scriptMovie(script, 8, 8, true);  // 3 x 4410 samples: complete in frame 4, heard in 5
    for (bool sound : {true, false}) {
        player::Player p;
        p.setSoundEnabled(sound);
        std::vector<std::string> lines;
        p.setTraceHandler([&](const std::string& line) { lines.push_back(line); });
        playertest::load(p, movie);
        int doneAt = 0;
        std::vector<int16_t> out;
        for (int f = 2; f <= 6 && !doneAt; ++f) {
            p.advance();
            p.takeSound(out);
            if (!lines.empty()) doneAt = f;
        }
        EXPECT_EQ(doneAt, 5) << (sound ? "sound on" : "sound off");
        if (!sound) {
            EXPECT_TRUE(out.empty());
        }
    }
}

// Silent MPEG-1 layer III frames (128 kbit/s, 44.1 kHz, mono): 1152 samples each.
std::vector<uint8_t> silentMp3(int frames) {
    std::vector<uint8_t> out;
    for (int f = 0; f < frames; ++f) {
        std::vector<uint8_t> frame(417, 0);
        frame[0] = 0xFF, frame[1] = 0xFB, frame[2] = 0x90, frame[3] = 0xC0;
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}

// An ID3v2.3 tag: each frame a name and its body.
std::vector<uint8_t> id3v2(int version,
                           const std::vector<std::pair<std::string, std::vector<uint8_t>>>& frames) {
    std::vector<uint8_t> body;
    for (const auto& [name, data] : frames) {
        body.insert(body.end(), name.begin(), name.end());
        size_t n = data.size();
        if (version == 2) {
            body.insert(body.end(), {uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
        } else if (version == 3) {
            body.insert(body.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n), 0, 0});
        } else {
            body.insert(body.end(), {uint8_t(n >> 21 & 0x7F), uint8_t(n >> 14 & 0x7F), uint8_t(n >> 7 & 0x7F),
                                     uint8_t(n & 0x7F), 0, 0});
        }
        body.insert(body.end(), data.begin(), data.end());
    }
    size_t n = body.size();
    std::vector<uint8_t> out = {'I',
                                'D',
                                '3',
                                uint8_t(version),
                                0,
                                0,
                                uint8_t(n >> 21 & 0x7F),
                                uint8_t(n >> 14 & 0x7F),
                                uint8_t(n >> 7 & 0x7F),
                                uint8_t(n & 0x7F)};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

std::vector<uint8_t> text(uint8_t encoding, const std::string& bytes) {
    std::vector<uint8_t> out = {encoding};
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

TEST(SoundObject, LoadSoundReadsALocalMp3OnTheNextFrame) {
    const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "tolvikan_load_sound";
    std::filesystem::create_directories(dir);
    std::vector<uint8_t> file = id3v2(3, {{"TIT2", text(0, "Song")}, {"TPE1", text(0, "Someone")}});
    std::vector<uint8_t> audio = silentMp3(40);  // 46080 samples, about a second
    file.insert(file.end(), audio.begin(), audio.end());
    {
        std::ofstream out(dir / "tune.mp3", std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    }
    // onLoad reports success, the length and the tags; start() asked for before the file arrived plays
    // once it has, and completes about a second later. A missing file loads with false.
    std::string script = newSound("s") + newSound("m") +
                         "function loaded ok; push 'ok'; getvar; trace; push 's'; getvar; push 'id3'; "
                         "getmember; push 'songname'; "
                         "getmember; trace; end; "
                         "function id3; push 'id3'; trace; end; "
                         "function done; push 'done'; trace; end; "
                         "function missing ok; push 'ok'; getvar; trace; end; "
                         "push 's'; getvar; push 'onLoad'; push 'loaded'; getvar; setmember; "
                         "push 's'; getvar; push 'onID3'; push 'id3'; getvar; setmember; "
                         "push 's'; getvar; push 'onSoundComplete'; push 'done'; getvar; setmember; "
                         "push 'm'; getvar; push 'onLoad'; push 'missing'; getvar; setmember; " +
                         run("s", "loadSound", {"'tune.mp3'", "false"}) + run("s", "start") +
                         traceCall("s", "getBytesTotal") + run("m", "loadSound", {"'nothing.mp3'", "false"});
    Played r = play(scriptMovie(script, 8, 20, false), 2, (dir / "test.swf").string());
    EXPECT_EQ(joined(r.lines), "undefined|id3|true|Song|false");
    r = play(scriptMovie(script + "", 8, 20, false), 16, (dir / "test.swf").string());
    EXPECT_EQ(r.lines.back(), "done");
    std::filesystem::remove_all(dir);
}

TEST(SoundObject, AfterLoadSoundTheSoundHasATransformOfItsOwn) {
    // Sound on clip a: loadSound (even of a file that is missing) gives it a transform of its own, so its
    // volume no longer changes a's, and what it plays afterwards follows its own transform.
    std::string script = newClip("a", "_root", "a", 1) + newSound("s", {"@a"}) + newSound("sa", {"@a"}) +
                         run("s", "loadSound", {"'missing.mp3'", "false"}) + run("s", "setVolume", {"50"}) +
                         traceCall("sa", "getVolume") + run("s", "attachSound", {"'tone'"}) +
                         run("s", "start");
    Played r = play(scriptMovie(script, 8, 2, true), 2);
    EXPECT_EQ(joined(r.lines), "100");
    EXPECT_EQ(r.sound.at(0), 5000);
}

TEST(Id3, ReadsTheTagsOfEachVersion) {
    using player::sound::Id3Tags;
    auto read = [](const std::vector<uint8_t>& bytes) {
        std::string out;
        for (const auto& [name, values] : player::sound::readId3(bytes).frames) {
            out += (out.empty() ? "" : ";") + name + "=";
            for (size_t i = 0; i < values.size(); ++i)
                out += (i ? "," : "") + values[i];
        }
        return out;
    };
    const std::vector<uint8_t> utf16 = {1,    0xFF, 0xFE, 'H', 0,
                                        0xE9, 0,    0,    0};  // "Hé", little-endian with BOM
    const std::vector<uint8_t> comm = {0, 'e', 'n', 'g', 'd', 0, 'n', 'o', 't', 'e'};
    std::vector<uint8_t> v1(128, 0);
    std::memcpy(v1.data(), "TAGOld title", 12);
    std::memcpy(v1.data() + 33, "Artist   ", 9);
    v1[126] = 7;  // track (version 1.1)
    std::vector<uint8_t> truncated = id3v2(3, {{"TIT2", text(0, "Long title")}});
    truncated.resize(truncated.size() - 4);
    truncated[9] = 0x7F;  // declares more than there is
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* expected;
    } cases[] = {
        {"2.3: Latin-1, UTF-16, repeated comments",
         id3v2(3, {{"TIT2", text(0, "T\xE9")}, {"TPE1", utf16}, {"COMM", comm}, {"COMM", comm}}),
         "TIT2=T\xC3\xA9;TPE1=H\xC3\xA9;COMM=note,note"},
        {"2.4: UTF-8 and syncsafe frame sizes", id3v2(4, {{"TALB", text(3, "Album \xC3\xA9")}}),
         "TALB=Album \xC3\xA9"},
        {"2.2: three-letter names", id3v2(2, {{"TT2", text(0, "Old")}, {"TP1", text(0, "Band")}}),
         "TIT2=Old;TPE1=Band"},
        {"1.1 trailer", v1, "TIT2=Old title;TPE1=Artist;TRCK=7"},
        {"a tag longer than the file keeps what is whole", truncated, ""},
        {"no tag", {0xFF, 0xFB, 0x90, 0xC0}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read(c.bytes), c.expected) << c.what;
    EXPECT_STREQ(player::sound::id3Alias("TIT2"), "songname");
    EXPECT_EQ(player::sound::id3Alias("TLEN"), nullptr);
}

TEST(ButtonSound, EachTransitionPlaysItsEntry) {
    // Sounds 1 and 2 differ in level; the button's entries: idle->over plays 1, over->down plays 2,
    // down->over stops 1 (sync stop), over->idle has none.
    auto b = playertest::movie(40, 20, 1, 8);
    b.tag(kTagDefineSound,
          defineSound(1, {3, 3, true, false}, 44100, pcm16(std::vector<int16_t>(44100, 1000))));
    b.tag(kTagDefineSound,
          defineSound(2, {3, 3, true, false}, 44100, pcm16(std::vector<int16_t>(44100, 300))));
    b.showFrame().end();
    std::string error;
    auto movie = player::MovieDef::load(b.build(), "test.swf", &error);
    ASSERT_TRUE(movie) << error;
    swf::DefineButtonSound bs;
    bs.buttonId = 9;
    bs.sounds[1].soundId = 1;
    bs.sounds[2].soundId = 2;
    bs.sounds[3].soundId = 1;
    bs.sounds[3].info.syncStop = true;

    player::sound::SoundPlayer sp;
    std::vector<std::string> log;
    sp.setLog([&](const std::string& line) { log.push_back(line); });
    sp.reset(12);
    int owner = 0;
    uint64_t tick = 0;
    auto level = [&] {
        sp.endFrame(++tick);
        std::vector<int16_t> out;
        sp.take(out);
        return out.at(0);
    };
    sp.playButtonSound(movie.get(), bs, 0, &owner);
    EXPECT_EQ(level(), 0);
    sp.playButtonSound(movie.get(), bs, 1, &owner);
    EXPECT_EQ(level(), 1000);
    sp.playButtonSound(movie.get(), bs, 2, &owner);
    EXPECT_EQ(level(), 1300);
    sp.playButtonSound(movie.get(), bs, 3, &owner);
    EXPECT_EQ(level(), 300);
    sp.playButtonSound(movie.get(), bs, 7, &owner);  // no such transition
    EXPECT_TRUE(log.empty());
    bs.sounds[0].soundId = 40;
    sp.playButtonSound(movie.get(), bs, 0, &owner);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("sound 40"), std::string::npos) << log[0];
}

TEST(ButtonSound, TheMouseOverAndPressingAButtonPlayItsSounds) {
    // A button with a hit area over the whole stage: rolling over plays sound 1, pressing sound 2.
    using playertest::rectShape;
    auto b = playertest::movie(40, 40, 1, 8);
    b.tag(kTagDefineSound,
          defineSound(1, {3, 3, true, false}, 44100, pcm16(std::vector<int16_t>(44100, 1000))));
    b.tag(kTagDefineSound,
          defineSound(2, {3, 3, true, false}, 44100, pcm16(std::vector<int16_t>(44100, 300))));
    b.tag(playertest::kDefineShape3, rectShape(5, 0, 0, 40, 40, 0xFF0000));
    ButtonRecordSpec up, hit;
    up.characterId = 5;
    hit.up = false;
    hit.hit = true;
    hit.characterId = 5;
    hit.depth = 2;
    b.tag(playertest::kDefineButton2, defineButton2(6, false, {up, hit}, {}));
    // DefineButtonSound: the button, then per transition a sound id and (when not 0) a plain SoundInfo.
    ByteWriter sounds;
    sounds.u16(6).u16(0).u16(1).u8(0).u16(2).u8(0).u16(0);
    b.tag(17, sounds.bytes());
    b.tag(playertest::kPlaceObject2, playertest::place(6, 1)).showFrame();
    player::Player p;
    playertest::load(p, b.end().build());
    std::vector<int16_t> out;
    p.takeSound(out);
    auto nextFrameLevel = [&] {
        p.advance();
        out.clear();
        p.takeSound(out);
        return out.at(0);
    };
    EXPECT_EQ(nextFrameLevel(), 0);
    p.mouseMove(20, 20);
    EXPECT_EQ(nextFrameLevel(), 1000);
    p.mouseDown();
    EXPECT_EQ(nextFrameLevel(), 1300);
    p.mouseUp();  // over-down to over-up has no sound
    EXPECT_EQ(nextFrameLevel(), 1300);
}

}  // namespace
