// TShockwaveFlash: the Flash player engine (player::Player) as a Qt widget, with the operations the rest of
// the system calls (Movie, LoadMovie, Play, GotoFrame, ...), its playback clock and its FSCommand event.
// Owns its player, the playback timer and the last rendered picture. Called on the user-interface thread
// only. It never reads files other than the movies it is told to load, never blocks, and never hands the
// engine to event handlers while the engine is inside a call (FSCommand handlers run after the engine
// returns, so they may load, unload or seek freely).
#pragma once

#include <QBasicTimer>
#include <QImage>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "player/player.h"

class TShockwaveFlash : public QWidget {
    Q_OBJECT

  public:
    // Frame rate used when a movie states 0 (or nothing is loaded): the usual authoring default.
    static constexpr double kDefaultFrameRate = 12.0;

    explicit TShockwaveFlash(QWidget* parent = nullptr);
    ~TShockwaveFlash() override;

    // Movie: a path loads that movie into level 0 before the call returns, replacing everything loaded
    // (levels included), and it starts playing; a blank text (" ", the system's "no movie") unloads. A file
    // that cannot be loaded leaves nothing loaded and LoadError() says why. The getter gives the text last
    // set.
    void setMovie(const QString& path);
    QString Movie() const { return movie_; }
    void Movie(const QString& path) { setMovie(path); }
    // Why the last load (Movie or LoadMovie) failed; empty after a successful one.
    QString LoadError() const { return loadError_; }

    // LoadMovie: loads a movie into a numbered level over the current one (level 0 replaces everything,
    // like Movie, but leaves the Movie text alone). Returns false, with LoadError() set, when it fails.
    bool LoadMovie(int layer, const QString& path);

    int TotalFrames() const { return player_.totalFrames(); }

    // Colour behind the movie, 0x00RRGGBB, drawn instead of the movie's own background colour.
    // A negative value removes the override; the getter returns -1 when none is set.
    void BackgroundColor(int rgb);
    int BackgroundColor() const { return background_ ? int(*background_) : -1; }
    // The same override as text: "RRGGBB" or "#RRGGBB" (hex) sets it; anything else, the system's " "
    // included, removes it, so the movie's own background shows (a BackgroundColor set earlier is cleared).
    void BGColor(const QString& text);
    QString BGColor() const;  // "RRGGBB" (upper case) or "" when no override is set

    // Frames use the system's numbering: frame 1 is the first frame, for GotoFrame and CurrentFrame alike.
    // (The control this widget stands in for counted from 0 while its callers passed 1-based numbers through
    // unchanged, which showed the frame after the one asked for; here both sides count from 1.)
    void Play();
    void StopPlay();
    void GotoFrame(int frame);  // clamped to the movie; runs the frame's actions; playing state unchanged
    void Back();                // one frame back (stays on frame 1)
    void Forward();             // one frame on (stays on the last frame)
    int CurrentFrame() const { return player_.currentFrame(); }  // 0 when nothing is loaded
    bool IsPlaying() const { return player_.isPlaying(); }

    // FSCommand event: the callback (sender, command, args) first, then the Qt signal.
    std::function<void(TShockwaveFlash* sender, const QString& command, const QString& args)> OnFSCommand;

    // One message of the playback clock, handled exactly as a timer event is: for conversions that drive
    // the movie as fast as capture allows, and for tests.
    void tick();
    // The clock's period for the loaded movie, in milliseconds (at least 1); 0 while the clock is stopped.
    int timerInterval() const { return clock_.isActive() ? intervalMs_ : 0; }

    // The current picture at `size` (device pixels), ARGB32 premultiplied. Rendered once per shown frame:
    // the same image (same cacheKey) comes back until the movie changes (a tick, a seek, a load, a colour)
    // or another size is asked for. A size with no pixels gives a null image.
    QImage currentPicture(QSize size);
    // Threads that draw each picture (1 or 2): the same pictures, sooner where a core would be idle.
    void setDrawingThreads(int threads) { drawingThreads_ = threads; }
    // The width of one picture pixel over its height as the pictures will be seen (a disc format's frame of
    // non-square pixels): the movie keeps its shape as seen. 1 (square pixels) shows it as it is.
    void setPixelAspect(double aspect);
    // How many times the engine has drawn a picture (a diagnostic for the render-once rule).
    int renderCount() const { return renderCount_; }

    const player::Player& engine() const { return player_; }

    // The movie's sound: after each frame (and after a load) the player's mix of that frame goes to the
    // sink (44.1 kHz, 16-bit stereo interleaved, `frames` stereo samples). Without a sink the player mixes
    // nothing, so conversions that only want pictures pay nothing for sound.
    using SoundSink = std::function<void(const int16_t* samples, size_t frames)>;
    void setSoundSink(SoundSink sink);
    // The frame rate the movie's sound clock runs at (0: the movie's own; see
    // player::Player::setSoundFrameRate). Sounds scripts start complete by that clock, heard or not.
    void setSoundFrameRate(double fps) { player_.setSoundFrameRate(fps); }

  signals:
    void FSCommand(const QString& command, const QString& args);

  protected:
    // A message of the playback clock arrives. The base hands it to the player: the engine advances one
    // tick (level 0 moves on only while playing; other levels, like the frame-event movie, always run) and
    // the widget repaints. Subclasses intercept it here and call the base to let it through.
    virtual void timerMessage();
    // Mouse and key input that reaches the movie: the position goes to the stage's coordinates, the left
    // button presses and releases, keys go with Flash's key codes; the cursor shows the hand over what
    // wants it.
    virtual void movieMouseEvent(QEvent* event);
    virtual void movieKeyEvent(QKeyEvent* event);

    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    // Runs an engine call, then delivers the FSCommands it raised (the engine is never re-entered from them).
    template <class F>
    void engineCall(F&& f);
    void deliverFsCommands();
    void movieChanged();  // the picture must be drawn again
    void restartClock();
    void deliverSound();

    player::Player player_;
    QString movie_;
    QString loadError_;
    std::optional<uint32_t> background_;
    int drawingThreads_ = 1;
    double pixelAspect_ = 1.0;
    bool anyLoaded_ = false;
    QBasicTimer clock_;
    int intervalMs_ = 0;

    QImage picture_;
    bool pictureValid_ = false;
    int renderCount_ = 0;

    SoundSink soundSink_;
    std::vector<int16_t> soundChunk_;

    bool delivering_ = false;
    std::deque<std::pair<QString, QString>> pendingFs_;
};
