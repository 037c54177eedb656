// Helpers for the window tests: movies built on the fly, a small codec list, answers for the modal dialogs,
// and a way to act inside a dialog that a command shows modally.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tasks/cov_settings.h"
#include "tests/player/player_test_util.h"
#include "ui/ui_seams.h"

namespace uitest {

using namespace playertest;

// Frame colours of the numbered-frame movies: frame f fills the stage with kFrameColour[f % 4].
constexpr uint32_t kFrameColour[] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};

class MovieFiles {
  public:
    MovieFiles() { EXPECT_TRUE(dir_.isValid()); }

    std::string path(const std::string& name) const {
        return dir_.filePath(QString::fromStdString(name)).toStdString();
    }
    std::string folder() const { return dir_.path().toStdString() + "/"; }

    std::string write(const std::string& name, const testswf::Bytes& bytes) {
        std::string p = path(name);
        EXPECT_TRUE(testswf::writeFile(p, bytes)) << p;
        return p;
    }

    // w x h pixels, `frames` frames at `fps`; frame f is a full-stage rectangle of kFrameColour[f % 4].
    std::string colourFrames(const std::string& name, int w, int h, int frames, int fps = 12) {
        auto b = movie(w, h, frames);
        b.header().frameRate88 = static_cast<uint16_t>(fps << 8);
        for (int f = 1; f <= frames; ++f) {
            auto id = static_cast<uint16_t>(f);
            b.tag(kDefineShape3, rectShape(id, 0, 0, w, h, kFrameColour[f % 4]));
            if (f > 1) b.tag(kRemoveObject2, testswf::removeObject2(1));
            b.tag(kPlaceObject2, place(id, 1)).showFrame();
        }
        return write(name, b.end().build());
    }

  private:
    QTemporaryDir dir_;
};

inline TMclCodecInfo Codec(int32_t fmt, const char* name, int32_t id) {
    TMclCodecInfo c{};
    c.fileFmtID = fmt;
    std::strncpy(c.codecName, name, sizeof c.codecName - 1);
    c.codecID = id;
    return c;
}

// A fixed codec list: AVI "Full Frames, Uncompressed" and "Motion JPEG"; MPEG "MPEG-1 format" and
// "MPEG-2 format". Records the size of every list request.
struct FakeCodecs {
    std::vector<TMclCodecInfo> avi{Codec(6, "Full Frames, Uncompressed", 1), Codec(6, "Motion JPEG", 2)};
    std::vector<TMclCodecInfo> mpeg{Codec(11, "MPEG-1 format", 10), Codec(11, "MPEG-2 format", 11)};
    std::vector<std::pair<int, int>> sizes;

    TCodecSource source() {
        return {[this](int fmt, int w, int h, int) {
                    sizes.emplace_back(w, h);
                    return int(fmt == 6 ? avi.size() : mpeg.size());
                },
                [this](int fmt, TMclCodecInfo* info, int index) {
                    const auto& l = fmt == 6 ? avi : mpeg;
                    if (index < 1 || index > int(l.size())) return 1;
                    *info = l[size_t(index - 1)];
                    return 0;
                }};
    }
};

// Answers for the modal platform dialogs; every message shown is kept. Puts the Qt dialogs back when done.
struct DialogAnswers {
    QStringList openFiles;
    QString saveFile;
    QString folder;
    bool yes = false;
    std::optional<uint32_t> colour;
    std::vector<QString> messages;
    std::vector<QUrl> opened;

    DialogAnswers() {
        uiseams::GetOpenFileNames = [this](QWidget*, const QString&, const QString&, const QString&,
                                           bool multiple) {
            return multiple ? openFiles : openFiles.mid(0, 1);
        };
        uiseams::GetSaveFileName = [this](QWidget*, const QString&, const QString&, const QString&,
                                          const QString&) { return saveFile; };
        uiseams::GetExistingDirectory = [this](QWidget*, const QString&, const QString&) { return folder; };
        uiseams::ShowMessage = [this](QWidget*, const QString& text) { messages.push_back(text); };
        uiseams::AskYesNo = [this](QWidget*, const QString& text) {
            messages.push_back(text);
            return yes;
        };
        uiseams::ChooseColor = [this](QWidget*, uint32_t) { return colour; };
        uiseams::OpenUrl = [this](const QUrl& url) {
            opened.push_back(url);
            return true;
        };
    }
    ~DialogAnswers() { uiseams::RestoreDefaults(); }
};

// Bumped to drop the actions still waiting for a dialog (a test's end, a command that opened fewer dialogs).
inline int& ModalGeneration() {
    static int generation = 0;
    return generation;
}
inline void CancelPendingModalActions() {
    ++ModalGeneration();
}

// Runs `act` inside the next modal dialog to open (once its event loop runs); `act` must close the dialog.
// Gives up waiting after about five seconds, or when CancelPendingModalActions is called.
inline void WhenModal(std::function<void(QDialog*)> act) {
    auto* timer = new QTimer(QCoreApplication::instance());  // goes with the application at the latest
    timer->setInterval(10);
    auto waited = std::make_shared<int>(0);
    const int generation = ModalGeneration();
    QObject::connect(timer, &QTimer::timeout, [timer, act, waited, generation] {
        if (generation != ModalGeneration()) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) {
            if (++*waited > 500) timer->deleteLater();
            return;
        }
        timer->stop();
        timer->deleteLater();
        act(dialog);
    });
    timer->start();
}

}  // namespace uitest
