#include "capture/shockwave_flash.h"

#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimerEvent>

#include <algorithm>
#include <cmath>

TShockwaveFlash::TShockwaveFlash(QWidget* parent) : QWidget(parent) {
    // The movie receives every move over it, not only moves with a button held.
    setMouseTracking(true);
    // A click gives the movie the keyboard.
    setFocusPolicy(Qt::ClickFocus);
    // The picture covers the whole widget: nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    player_.setFsCommandHandler([this](const std::string& command, const std::string& args) {
        pendingFs_.emplace_back(QString::fromStdString(command), QString::fromStdString(args));
    });
    player_.setSoundEnabled(false);
}

void TShockwaveFlash::setSoundSink(SoundSink sink) {
    soundSink_ = std::move(sink);
    player_.setSoundEnabled(bool(soundSink_));
}

void TShockwaveFlash::deliverSound() {
    if (!soundSink_) return;
    soundChunk_.clear();
    size_t frames = player_.takeSound(soundChunk_);
    if (frames) soundSink_(soundChunk_.data(), frames);
}

TShockwaveFlash::~TShockwaveFlash() {
    player_.setFsCommandHandler({});
}

template <class F>
void TShockwaveFlash::engineCall(F&& f) {
    f();
    deliverFsCommands();
}

void TShockwaveFlash::deliverFsCommands() {
    // A handler may call back into the widget; commands its calls raise are queued and delivered by this
    // same loop, in order, instead of nesting.
    if (delivering_) return;
    delivering_ = true;
    while (!pendingFs_.empty()) {
        auto [command, args] = std::move(pendingFs_.front());
        pendingFs_.pop_front();
        if (OnFSCommand) OnFSCommand(this, command, args);
        emit FSCommand(command, args);
    }
    delivering_ = false;
}

void TShockwaveFlash::movieChanged() {
    pictureValid_ = false;
    update();
}

void TShockwaveFlash::restartClock() {
    if (!anyLoaded_) {
        clock_.stop();
        intervalMs_ = 0;
        return;
    }
    double rate = player_.loaded() ? player_.info().frameRate : 0;
    if (!(rate > 0) || !std::isfinite(rate)) rate = kDefaultFrameRate;
    intervalMs_ = std::max(1, int(std::lround(1000.0 / rate)));
    clock_.start(intervalMs_, Qt::PreciseTimer, this);
}

void TShockwaveFlash::setMovie(const QString& path) {
    movie_ = path;
    loadError_.clear();
    if (path.trimmed().isEmpty()) {
        engineCall([&] { player_.unload(); });
        anyLoaded_ = false;
    } else {
        std::string error;
        bool ok = false;
        engineCall([&] { ok = player_.loadFile(path.toStdString(), &error); });
        if (!ok) loadError_ = QString::fromStdString(error);
        anyLoaded_ = ok;
        deliverSound();
    }
    restartClock();
    movieChanged();
}

bool TShockwaveFlash::LoadMovie(int layer, const QString& path) {
    loadError_.clear();
    std::string error;
    bool ok = false;
    engineCall([&] { ok = player_.loadLevel(layer, path.toStdString(), &error); });
    if (!ok) {
        loadError_ = QString::fromStdString(error);
        // A failed level 0 load leaves nothing loaded; a failed higher level leaves the rest as it was.
        if (layer == 0) anyLoaded_ = false;
    } else {
        anyLoaded_ = true;
    }
    restartClock();
    movieChanged();
    return ok;
}

void TShockwaveFlash::BackgroundColor(int rgb) {
    if (rgb < 0)
        background_.reset();
    else
        background_ = uint32_t(rgb) & 0xFFFFFF;
    movieChanged();
}

void TShockwaveFlash::BGColor(const QString& text) {
    QString t = text.trimmed();
    if (t.startsWith(u'#')) t.remove(0, 1);
    bool ok = false;
    uint value = t.size() == 6 ? t.toUInt(&ok, 16) : 0;
    if (ok)
        background_ = value;
    else
        background_.reset();
    movieChanged();
}

QString TShockwaveFlash::BGColor() const {
    if (!background_) return {};
    return QStringLiteral("%1").arg(*background_, 6, 16, QLatin1Char('0')).toUpper();
}

void TShockwaveFlash::Play() {
    player_.play();
}

void TShockwaveFlash::StopPlay() {
    player_.stop();
}

void TShockwaveFlash::GotoFrame(int frame) {
    engineCall([&] { player_.gotoFrame(frame); });
    movieChanged();
}

void TShockwaveFlash::Back() {
    engineCall([&] { player_.prevFrame(); });
    movieChanged();
}

void TShockwaveFlash::Forward() {
    engineCall([&] { player_.nextFrame(); });
    movieChanged();
}

void TShockwaveFlash::tick() {
    timerMessage();
}

void TShockwaveFlash::timerMessage() {
    // With nothing loaded the message still arrives (subclasses see it) but there is nothing to move.
    if (!anyLoaded_) return;
    engineCall([&] { player_.advance(); });
    deliverSound();
    movieChanged();
}

void TShockwaveFlash::timerEvent(QTimerEvent* event) {
    if (event->timerId() == clock_.timerId())
        timerMessage();
    else
        QWidget::timerEvent(event);
}

void TShockwaveFlash::setPixelAspect(double aspect) {
    if (!(aspect > 0) || !std::isfinite(aspect)) aspect = 1.0;
    if (aspect == pixelAspect_) return;
    pixelAspect_ = aspect;
    pictureValid_ = false;
    update();
}

QImage TShockwaveFlash::currentPicture(QSize size) {
    if (size.width() <= 0 || size.height() <= 0) return {};
    if (pictureValid_ && picture_.size() == size) return picture_;
    // The engine paints every pixel, so the last picture's memory is drawn over when no one holds it any more
    // (a grab lets go of it at once); bits() still gives the new picture a new cacheKey.
    if (picture_.size() != size || !picture_.isDetached() ||
        picture_.format() != QImage::Format_ARGB32_Premultiplied) {
        picture_ = QImage();
        picture_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
    }
    pictureValid_ = false;
    if (picture_.isNull()) return {};  // too large to allocate
    QImage& image = picture_;
    player::RenderOptions options;
    options.background = background_;
    options.threads = drawingThreads_;
    options.pixelAspect = pixelAspect_;
    engineCall([&] {
        player_.render(reinterpret_cast<player::Pixel*>(image.bits()), image.width(), image.height(),
                       int(image.bytesPerLine() / 4), options);
    });
    ++renderCount_;
    pictureValid_ = true;
    return picture_;
}

void TShockwaveFlash::paintEvent(QPaintEvent*) {
    const qreal dpr = devicePixelRatioF();
    QSize device(int(std::lround(width() * dpr)), int(std::lround(height() * dpr)));
    QImage image = currentPicture(device);
    if (image.isNull()) return;
    QPainter painter(this);
    painter.drawImage(QRectF(rect()), image);
}

void TShockwaveFlash::movieMouseEvent(QEvent* event) {
    event->accept();
    if (!anyLoaded_) return;
    auto* mouse = dynamic_cast<QMouseEvent*>(event);
    if (!mouse) return;
    const qreal dpr = devicePixelRatioF();
    double x = 0, y = 0;
    QPointF at = mouse->position() * dpr;
    if (!player_.pictureToStage(at.x(), at.y(), int(std::lround(width() * dpr)),
                                int(std::lround(height() * dpr)), x, y, pixelAspect_))
        return;
    engineCall([&] {
        player_.mouseMove(x, y);
        bool left = mouse->button() == Qt::LeftButton;
        if (left &&
            (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick))
            player_.mouseDown();
        if (left && event->type() == QEvent::MouseButtonRelease) player_.mouseUp();
    });
    setCursor(player_.pointerOverHand() ? Qt::PointingHandCursor : Qt::ArrowCursor);
    movieChanged();
}

namespace {

// Flash's key code and character for a Qt key event (0 when Flash has no code for the key).
void flashKey(const QKeyEvent* e, int& code, int& ascii) {
    static const std::pair<int, int> special[] = {
        {Qt::Key_Backspace, 8}, {Qt::Key_Tab, 9},      {Qt::Key_Return, 13}, {Qt::Key_Enter, 13},
        {Qt::Key_Shift, 16},    {Qt::Key_Control, 17}, {Qt::Key_Alt, 18},    {Qt::Key_CapsLock, 20},
        {Qt::Key_Escape, 27},   {Qt::Key_Space, 32},   {Qt::Key_PageUp, 33}, {Qt::Key_PageDown, 34},
        {Qt::Key_End, 35},      {Qt::Key_Home, 36},    {Qt::Key_Left, 37},   {Qt::Key_Up, 38},
        {Qt::Key_Right, 39},    {Qt::Key_Down, 40},    {Qt::Key_Insert, 45}, {Qt::Key_Delete, 46}};
    code = 0;
    for (const auto& [qt, flash] : special)
        if (e->key() == qt) code = flash;
    if (!code && e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z) code = e->key();
    if (!code && e->key() >= Qt::Key_0 && e->key() <= Qt::Key_9) code = e->key();
    QString text = e->text();
    ascii = text.size() == 1 && text[0].unicode() < 128 && text[0].unicode() >= 8 ? text[0].unicode() : 0;
    if (code == 46) ascii = 127;
}

}  // namespace

void TShockwaveFlash::movieKeyEvent(QKeyEvent* event) {
    int code = 0, ascii = 0;
    flashKey(event, code, ascii);
    if (!anyLoaded_ || !code) {
        event->ignore();
        return;
    }
    event->accept();
    engineCall([&] {
        if (event->type() == QEvent::KeyPress)
            player_.keyDown(code, ascii);
        else
            player_.keyUp(code, ascii);
    });
    movieChanged();
}

void TShockwaveFlash::keyPressEvent(QKeyEvent* event) {
    movieKeyEvent(event);
}

void TShockwaveFlash::keyReleaseEvent(QKeyEvent* event) {
    movieKeyEvent(event);
}

void TShockwaveFlash::mousePressEvent(QMouseEvent* event) {
    movieMouseEvent(event);
}
void TShockwaveFlash::mouseDoubleClickEvent(QMouseEvent* event) {
    movieMouseEvent(event);
}
void TShockwaveFlash::mouseReleaseEvent(QMouseEvent* event) {
    movieMouseEvent(event);
}
void TShockwaveFlash::mouseMoveEvent(QMouseEvent* event) {
    movieMouseEvent(event);
}
void TShockwaveFlash::enterEvent(QEnterEvent* event) {
    movieMouseEvent(event);
}
void TShockwaveFlash::leaveEvent(QEvent* event) {
    movieMouseEvent(event);
}
