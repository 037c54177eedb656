// The Flash player engine's public face: load a movie (and more movies into numbered levels), advance it one
// frame at a time, jump to frames, and render the current picture into a premultiplied 32-bit buffer.
//
// Owns the loaded movies, their dictionaries and display lists. Called from one thread at a time (the
// host's); it never reads the wall clock, never sleeps, never opens a window, and only reads files the host
// names (the movie itself and movies loaded into levels).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "player/render/geometry.h"

namespace player {

enum class Quality { Low, High };

struct RenderOptions {
    Quality quality = Quality::High;
    // 0x00RRGGBB drawn behind the movie instead of level 0's background colour.
    std::optional<uint32_t> background;
    // Threads that draw the picture (1 or 2; more count as 2): with two, the outlines are worked out once
    // and the rows drawn in two bands at the same time. The picture is the same either way.
    int threads = 1;
};

// Movie header facts, as the player read them.
struct MovieInfo {
    int version = 0;
    double frameRate = 0;   // frames per second (8.8 fixed point in the file)
    int frameCount = 0;     // as the header states it
    double widthTwips = 0;  // stage size
    double heightTwips = 0;
    double xMinTwips = 0, yMinTwips = 0;
    uint32_t backgroundColor = 0xFFFFFF;  // 0x00RRGGBB, white until the movie sets one
    int maxRecursion = 256;               // nesting of script calls allowed (the movie may set its own)
};

class Stage;

class Player {
  public:
    Player();
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Loads a movie into level 0, replacing everything loaded before. On failure nothing stays loaded and
    // *error says why (with the tag and offset when a tag was at fault).
    bool loadFile(const std::string& path, std::string* error);
    bool loadBytes(std::vector<uint8_t> bytes, const std::string& url, std::string* error);
    // Loads a movie over the current one into a numbered level (level 0 replaces everything).
    bool loadLevel(int level, const std::string& path, std::string* error);
    bool loadLevelBytes(int level, std::vector<uint8_t> bytes, const std::string& url, std::string* error);
    void unload();
    bool loaded() const;

    const MovieInfo& info() const;  // level 0's movie
    int totalFrames() const;        // level 0's root timeline
    int currentFrame() const;       // 1-based frame of level 0's root timeline, 0 when nothing is loaded
    bool isPlaying() const;
    void play();
    void stop();
    // Jumps level 0's root timeline to a 1-based frame (clamped to the movie), running that frame's actions,
    // as a movie's own gotoAndStop does.
    void gotoFrame(int frame);
    void nextFrame();
    void prevFrame();

    // One tick of the movie's clock: every level's timelines move on one frame (where playing), and the
    // frame's actions and events run.
    void advance();

    // Draws the current picture at width x height: the stage scaled to fit keeping its aspect ratio and
    // centred, over the background colour. `stride` is in pixels.
    void render(Pixel* pixels, int width, int height, int stride, const RenderOptions& options = {});
    // How many pictures render() copied from the last one instead of drawing (nothing visible had changed).
    uint64_t picturesReused() const;

    // Sound: after loading a movie and after each advance(), one frame's samples of the movie's sound wait
    // for the host: 44.1 kHz, 16-bit, stereo interleaved, frame n ending at sample floor(n * 44100 / fps)
    // so that sound and frames never drift apart. takeSound appends them to `out` and returns the number
    // of stereo samples taken. Untaken samples are kept for a few seconds only.
    static constexpr int kSoundRate = 44100;
    size_t takeSound(std::vector<int16_t>& out);
    // Cuts one frame's samples for the frame now showing without moving any timeline: for hosts that step
    // through a movie with gotoFrame and still want each frame's sound.
    void cutSoundFrame();
    // With sound off (for hosts that only want pictures) nothing is decoded or mixed. On by default.
    void setSoundEnabled(bool on);
    // Cuts each frame's samples at `fps` frames per second instead of the movie's own rate (0: the movie's
    // rate again), from the next frame on and for movies loaded later: for hosts that show every frame for
    // a fixed time of their own, such as a video written at the movie's whole frames per second.
    void setSoundFrameRate(double fps);
    // Whether level 0's movie defines or streams any sound.
    bool hasSound() const;

    // A user's mouse and keyboard (for hosts that let input reach the movie). Positions are in stage pixels:
    // the movie's own coordinates, 20 twips each, whatever size the picture is drawn at. Each call runs the
    // scripts it triggers (button actions, mouse and key handlers, listeners) before it returns.
    void mouseMove(double x, double y);
    void mouseDown();
    void mouseUp();
    // Flash key codes (Key.getCode: 65 for A, 13 for Enter, 37 for Left...) and the character typed
    // (Key.getAscii; 0 when none).
    void keyDown(int keyCode, int ascii);
    void keyUp(int keyCode, int ascii);
    // The stage position (pixels) of a point of a picture drawn at width x height by render(); false when
    // nothing is loaded.
    bool pictureToStage(double px, double py, int width, int height, double& x, double& y) const;
    // Whether the pointer is over a button or clip that wants the hand cursor.
    bool pointerOverHand() const;

    // FSCommand event: raised by getURL("FSCommand:command", args).
    using FsCommandHandler = std::function<void(const std::string& command, const std::string& args)>;
    void setFsCommandHandler(FsCommandHandler handler);

    // trace() output of the movie's scripts, one line per call, as Flash Player prints it.
    using TraceHandler = std::function<void(const std::string& line)>;
    void setTraceHandler(TraceHandler handler);
    // Actions a frame's scripts may run before they are cut off (Flash Player's script time limit as a
    // count; the default suits real movies).
    void setScriptActionLimit(uint64_t actionsPerFrame);
    // A script asked to quit (fscommand("quit")).
    bool quitRequested() const;

    // Log lines: getURL calls that open nothing, features a movie uses that the player lacks
    // ("not supported yet: ..." once per feature and movie), tags skipped for errors.
    using LogHandler = std::function<void(const std::string& line)>;
    void setLogHandler(LogHandler handler);
    // Everything logged so far, for callers that prefer to look afterwards.
    const std::vector<std::string>& log() const;

  private:
    std::unique_ptr<Stage> stage_;
};

}  // namespace player
