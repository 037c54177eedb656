#include "player/player.h"

#include <cmath>

#include "player/avm1/builtins/focus.h"
#include "player/avm1/vm.h"
#include "player/core/movie_file.h"
#include "player/core/stage.h"

namespace player {

namespace {

const MovieInfo kNoMovie{};

}  // namespace

Player::Player() : stage_(std::make_unique<Stage>()) {}
Player::~Player() = default;

bool Player::loadFile(const std::string& path, std::string* error) {
    return loadLevel(0, path, error);
}

bool Player::loadBytes(std::vector<uint8_t> bytes, const std::string& url, std::string* error) {
    return loadLevelBytes(0, std::move(bytes), url, error);
}

bool Player::loadLevel(int level, const std::string& path, std::string* error) {
    std::vector<uint8_t> bytes;
    if (!readMovieFile(path, bytes, error)) {
        if (level == 0) unload();
        return false;
    }
    return loadLevelBytes(level, std::move(bytes), path, error);
}

bool Player::loadLevelBytes(int level, std::vector<uint8_t> bytes, const std::string& url,
                            std::string* error) {
    if (level < 0) {
        if (error) *error = "levels are numbered from 0";
        return false;
    }
    bool ok = stage_->load(level, std::move(bytes), url, error);
    if (!ok && level == 0) unload();
    // The first frame is showing: its sound is ready like any later frame's.
    if (ok && level == 0) stage_->sound.endFrame(stage_->runtime.tick);
    return ok;
}

void Player::unload() {
    stage_->unloadAll();
}

bool Player::loaded() const {
    return stage_->level(0) != nullptr;
}

const MovieInfo& Player::info() const {
    const Stage::Level* l = stage_->level(0);
    return l ? l->movie->info() : kNoMovie;
}

int Player::totalFrames() const {
    const Stage::Level* l = stage_->level(0);
    return l ? l->root->frameCount() : 0;
}

int Player::currentFrame() const {
    const Stage::Level* l = stage_->level(0);
    return l ? l->root->currentFrame() : 0;
}

bool Player::isPlaying() const {
    const Stage::Level* l = stage_->level(0);
    return l && l->root->playing;
}

void Player::play() {
    if (Stage::Level* l = stage_->level(0)) l->root->playing = true;
}

void Player::stop() {
    if (Stage::Level* l = stage_->level(0)) l->root->playing = false;
}

void Player::gotoFrame(int frame) {
    if (Stage::Level* l = stage_->level(0)) {
        l->root->gotoFrame(frame, stage_->runtime);
        stage_->runtime.runQueuedActions();
    }
}

void Player::nextFrame() {
    gotoFrame(currentFrame() + 1);
}
void Player::prevFrame() {
    gotoFrame(currentFrame() - 1);
}

void Player::advance() {
    stage_->advance();
}

void Player::render(Pixel* pixels, int width, int height, int stride, const RenderOptions& options) {
    stage_->render(pixels, width, height, stride, options);
}

uint64_t Player::picturesReused() const {
    return stage_->picturesReused();
}

size_t Player::takeSound(std::vector<int16_t>& out) {
    return stage_->sound.take(out);
}

void Player::cutSoundFrame() {
    if (loaded()) stage_->sound.endFrame(stage_->runtime.tick);
}

void Player::setSoundEnabled(bool on) {
    stage_->sound.setEnabled(on);
}

void Player::setSoundFrameRate(double fps) {
    stage_->sound.setClockRate(fps);
}

bool Player::hasSound() const {
    const Stage::Level* l = stage_->level(0);
    return l && l->movie->hasSound();
}

void Player::setFsCommandHandler(FsCommandHandler handler) {
    stage_->runtime.fsCommand = std::move(handler);
}
void Player::setScriptActionLimit(uint64_t actionsPerFrame) {
    stage_->runtime.actionLimit = actionsPerFrame;
    if (avm1::Vm* vm = stage_->runtime.vm()) vm->actionsPerFrame = actionsPerFrame;
}
void Player::setTraceHandler(TraceHandler handler) {
    stage_->runtime.traceHandler = std::move(handler);
}
bool Player::quitRequested() const {
    return stage_->runtime.quitRequested;
}
void Player::setLogHandler(LogHandler handler) {
    stage_->runtime.logHandler = std::move(handler);
}
const std::vector<std::string>& Player::log() const {
    return stage_->runtime.logLines;
}

void Player::mouseMove(double x, double y) {
    if (loaded() && std::isfinite(x) && std::isfinite(y)) stage_->input.mouseMove(x * 20, y * 20);
}

void Player::mouseDown() {
    if (loaded()) stage_->input.mouseDown();
}

void Player::mouseUp() {
    if (loaded()) stage_->input.mouseUp();
}

void Player::keyDown(int keyCode, int ascii) {
    if (loaded()) stage_->input.keyDown(keyCode, ascii);
}

void Player::keyUp(int keyCode, int ascii) {
    if (loaded()) stage_->input.keyUp(keyCode, ascii);
}

namespace {

// Runs a change to the focused field and the scripts it queued, as input events do.
template <class F>
void editFocus(Stage& stage, F&& edit) {
    avm1::Vm* vm = stage.runtime.vm();
    if (!vm) return;
    vm->budget = 0;
    try {
        edit(*vm);
    } catch (const avm1::ScriptAbort&) {
    } catch (const avm1::ScriptThrow&) {
    }
    stage.runtime.runQueuedActions();
}

}  // namespace

void Player::typeText(const std::string& utf8) {
    if (loaded()) editFocus(*stage_, [&](avm1::Vm& vm) { avm1::typeText(vm, utf8); });
}

void Player::editKey(EditKey key) {
    if (!loaded()) return;
    editFocus(*stage_, [&](avm1::Vm& vm) {
        switch (key) {
            case EditKey::Copy:
            case EditKey::Cut: {
                std::string taken;
                if (avm1::takeSelection(vm, key == EditKey::Cut, taken)) clipboard_ = taken;
                break;
            }
            case EditKey::Paste:
                if (!clipboard_.empty()) avm1::typeText(vm, clipboard_);
                break;
            default:
                avm1::editKey(vm, avm1::EditKey(int(key)));
        }
    });
}

bool Player::pictureToStage(double px, double py, int width, int height, double& x, double& y,
                            double pixelAspect) const {
    Matrix m;
    if (!stage_->stageToPicture(width, height, m, pixelAspect)) return false;
    m.inverted().apply(px, py, x, y);
    x /= 20;
    y /= 20;
    return true;
}

bool Player::pointerOverHand() const {
    return loaded() && stage_->input.overHand();
}

}  // namespace player
