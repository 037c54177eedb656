// The main window as a person uses it: movies added through the add command (the file dialog answered by the
// test, the settings dialog driven for real), the list's columns and the summary, remove, clear and the check
// boxes, the task list saved on close only after a change, a conversion run through the conversion window
// ending in real output files, and the temporary files removed at the end.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>

#include "app/desktop.h"
#include "app/main_frm.h"
#include "audio/audio_format_frm.h"
#include "capture/shockwave_flash_ex.h"
#include "convert/interact_frm.h"
#include "convert/recording_hooks.h"
#include "tasks/temp_files.h"
#include "tasks/ui_hooks.h"
#include "tests/ui/ui_test_util.h"
#include "ui/seek_frm.h"
#include "ui/select_frm.h"
#include "ui/settings_frm.h"
#include "ui/spin_edit.h"

#ifndef TOLVIKAN_BIN_DIR
#error "the tests need the folder of the built frame-event movies"
#endif

namespace {

using namespace uitest;
namespace fs = std::filesystem;

void choose(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
}

std::string readStart(const std::string& path, size_t n) {
    std::ifstream in(path, std::ios::binary);
    std::string s(n, '\0');
    in.read(s.data(), std::streamsize(n));
    s.resize(size_t(in.gcount()));
    return s;
}

class MainFrmTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CreateDesktopWindows();
        MainFrm->TaskListPath = files.path("tolvikan.ini");
        MainFrm->ListOptions.setRecordingSource = [this] { ++recordingSourceCalls; };
        MainFrm->InteractFrm->setFpsMovieFile(QStringLiteral(TOLVIKAN_BIN_DIR "/fps"));
        MainFrm->InteractFrm->ShowMessage = [this](const QString& text) { answers.messages.push_back(text); };
        movie = files.colourFrames("clip.swf", 40, 30, 6);
    }
    void TearDown() override {
        CancelPendingModalActions();
        DestroyDesktopWindows();
    }

    // Adds `paths` through the add command; `edit` runs inside each settings dialog and ends it.
    void add(const std::vector<std::string>& paths, std::function<void(TSettingsFrm*)> edit) {
        answers.openFiles.clear();
        for (const auto& p : paths)
            answers.openFiles << QString::fromStdString(p);
        actOnDialogs(int(paths.size()), [edit](QDialog* d) { edit(static_cast<TSettingsFrm*>(d)); });
        MainFrm->btnAddClick();
    }
    // `act` in each of the next `count` modal dialogs, one after the other.
    static void actOnDialogs(int count, std::function<void(QDialog*)> act) {
        if (count <= 0) return;
        WhenModal([count, act](QDialog* d) {
            act(d);
            actOnDialogs(count - 1, act);
        });
    }
    // Shows the main window and waits for its first showing's load.
    static void showMain() {
        MainFrm->show();
        for (int i = 0; i < 500 && !MainFrm->ListLoaded(); ++i)
            QTest::qWait(5);
        ASSERT_TRUE(MainFrm->ListLoaded());
    }
    static void okAsIs(TSettingsFrm* s) { s->btnOK->click(); }
    QString column(int row, int col) const { return MainFrm->lstFile->topLevelItem(row)->text(col); }
    void convert() {
        WhenModal([](QDialog* d) {
            auto* interact = static_cast<TInteractFrm*>(d);
            interact->RunTasks();
            interact->menClose->trigger();
        });
        MainFrm->btnConvertClick();
    }

    MovieFiles files;
    DialogAnswers answers;
    std::string movie;
    int recordingSourceCalls = 0;
};

TEST(DesktopStartUp, CreatesEveryWindowOnceAndWiresThemTogether) {
    CreateDesktopWindows();
    ASSERT_NE(MainFrm, nullptr);
    ASSERT_NE(SettingsFrm, nullptr);
    ASSERT_NE(AudioFormatFrm, nullptr);
    ASSERT_NE(SeekFrm, nullptr);
    ASSERT_NE(SelectFrm, nullptr);
    ASSERT_NE(MainFrm->InteractFrm, nullptr);
    EXPECT_EQ(SettingsFrm->Owner, MainFrm);
    EXPECT_EQ(AudioFormatFrm->Owner, SettingsFrm);
    EXPECT_EQ(SeekFrm->PreviewFlash, MainFrm->PreviewFlash);
    EXPECT_TRUE(bool(RecordingPassHook));
    EXPECT_TRUE(bool(SetDefaultRecordingSourceHook));
    EXPECT_TRUE(bool(MainFrm->ListOptions.setRecordingSource));
    EXPECT_TRUE(bool(MainFrm->InteractFrm->OpenVolumeControl));
    EXPECT_TRUE(bool(PumpMessagesHook));
    DestroyDesktopWindows();
    EXPECT_EQ(MainFrm, nullptr);
    EXPECT_EQ(SettingsFrm, nullptr);
    EXPECT_EQ(SelectFrm, nullptr);
    EXPECT_FALSE(bool(RecordingPassHook));
    EXPECT_FALSE(bool(PumpMessagesHook));
}

TEST(TaskListColumns, AudioSourceNamesTheChosenSource) {
    TCovSettings t;
    t.destType = dtAVI;
    t.adoFilename = "/music/song.mp3";
    const struct {
        TAudioSource source;
        bool direct;
        const char* expected;
    } cases[] = {{asNone, true, "None"},
                 {asRecord, true, "Movie's own sound"},
                 {asRecord, false, "Record from itself"},
                 {asImport, true, "song.mp3@/music/"}};
    for (const auto& c : cases) {
        t.adoSource = c.source;
        t.adoDirect = c.direct;
        EXPECT_EQ(AudioSourceText(t).toStdString(), c.expected);
    }
}

TEST_F(MainFrmTest, AddEditConvertFindTheOutput) {
    showMain();
    EXPECT_EQ(recordingSourceCalls, 1);  // the first showing loads the (missing) list, then sets the source
    const std::string out = files.path("anim.gif");
    add({movie}, [&](TSettingsFrm* s) {
        EXPECT_EQ(s->edtSource->text().toStdString(), movie);
        choose(s->cbxExportType, dtGIF);
        answers.saveFile = QString::fromStdString(out);
        s->btnRename->click();
        s->edtExportEnd->SetValue(4);
        s->btnOK->click();
    });

    ASSERT_EQ(MainFrm->TaskCount(), 1);
    EXPECT_TRUE(MainFrm->Modified);
    EXPECT_EQ(column(0, 0).toStdString(), "clip.swf@" + files.folder());
    EXPECT_EQ(column(0, 1), "None");  // GIF output has no sound, whatever its source says
    EXPECT_EQ(column(0, 2).toStdString(), "anim.gif@" + files.folder());
    EXPECT_EQ(MainFrm->lstFile->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(MainFrm->SelectedItem(), MainFrm->TaskItem(0));
    EXPECT_EQ(MainFrm->labType->text(), "Type: GIF Animation");
    EXPECT_EQ(MainFrm->labCodec->text(), "GIF89a");
    EXPECT_EQ(MainFrm->labMode->text(), "Mode: Normal interact sequence");
    EXPECT_EQ(MainFrm->labColor->text(), "Color: 24bits no alpha channel");
    EXPECT_EQ(MainFrm->labStart->text(), "Start at: 1 frame");
    EXPECT_EQ(MainFrm->labEnd->text(), "End at: 4 frame");
    EXPECT_EQ(MainFrm->labWidth->text(), "Width: 40 pixels");
    EXPECT_EQ(MainFrm->labHeight->text(), "Height: 30 pixels");
    EXPECT_EQ(MainFrm->labAudioSource->text(), "Source: Movie's own sound, taken directly");
    EXPECT_EQ(MainFrm->labAudioFormat->text(), "Format: MP3");
    EXPECT_EQ(MainFrm->PreviewFlash->Movie().toStdString(), movie);
    EXPECT_EQ(MainFrm->trkSeek->maximum(), 6);

    convert();
    ASSERT_TRUE(fs::exists(out));
    EXPECT_EQ(readStart(out, 6), "GIF89a");
    // The preview has its movie back, stopped.
    EXPECT_EQ(MainFrm->PreviewFlash->Movie().toStdString(), movie);
    EXPECT_FALSE(MainFrm->PreviewFlash->IsPlaying());
}

TEST_F(MainFrmTest, ConvertsOnlyTheCheckedTasksInto) {
    showMain();
    const std::string frames = files.path("frames");
    fs::create_directory(frames);
    add({movie}, [&](TSettingsFrm* s) {
        choose(s->cbxExportType, dtImageSequence);
        answers.folder = QString::fromStdString(frames);
        s->btnRename->click();
        s->edtExportEnd->SetValue(3);
        s->btnOK->click();
    });
    const std::string second = files.colourFrames("second.swf", 40, 30, 3);
    add({second}, [&](TSettingsFrm* s) {
        s->rdoAudioNone->setChecked(true);
        s->btnOK->click();
    });
    ASSERT_EQ(MainFrm->TaskCount(), 2);
    EXPECT_EQ(column(0, 2).toStdString(), frames);
    EXPECT_EQ(column(1, 1), "None");
    EXPECT_EQ(column(1, 2).toStdString(), "second.avi@" + files.folder());
    EXPECT_EQ(MainFrm->labType->text(), "Type: AVI");
    EXPECT_EQ(MainFrm->labCodec->text(), "Full Frames, Uncompressed");
    EXPECT_EQ(MainFrm->labAudioFormat->text(), "Format: None");

    MainFrm->lstFile->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    convert();
    int images = 0;
    for (const auto& entry : fs::directory_iterator(frames))
        images += entry.is_regular_file();
    EXPECT_EQ(images, 3);
    EXPECT_FALSE(fs::exists(files.path("second.avi")));

    MainFrm->lstFile->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    MainFrm->lstFile->topLevelItem(1)->setCheckState(0, Qt::Checked);
    convert();
    ASSERT_TRUE(fs::exists(files.path("second.avi")));
    EXPECT_EQ(readStart(files.path("second.avi"), 4), "RIFF");
}

TEST_F(MainFrmTest, CancelledSettingsAndInvalidFilesAddNothing) {
    showMain();
    add({movie}, [](TSettingsFrm* s) { s->btnCancel->click(); });
    EXPECT_EQ(MainFrm->TaskCount(), 0);
    EXPECT_FALSE(MainFrm->Modified);

    const std::string notMovie = files.write("notes.swf", testswf::Bytes{'h', 'e', 'l', 'l', 'o', '!', 0, 0});
    const std::string missing = files.path("missing.swf");
    // An invalid file is refused and the next is still taken; a missing file ends the command.
    add({notMovie, movie}, okAsIs);
    EXPECT_EQ(MainFrm->TaskCount(), 1);
    add({missing, movie}, okAsIs);
    EXPECT_EQ(MainFrm->TaskCount(), 1);
    ASSERT_EQ(answers.messages.size(), 2u);
    EXPECT_EQ(answers.messages[0], "This file is not a valid Macromedia Flash file!");
    EXPECT_TRUE(answers.messages[1].contains(QStringLiteral("missing.swf")));
}

TEST_F(MainFrmTest, SeveralMoviesAtOnceEachGetTheirSettings) {
    showMain();
    const std::string b = files.colourFrames("b.swf", 20, 20, 2);
    const std::string c = files.colourFrames("c.swf", 30, 20, 2);
    add({movie, b, c}, okAsIs);
    ASSERT_EQ(MainFrm->TaskCount(), 3);
    EXPECT_EQ(column(2, 0).toStdString(), "c.swf@" + files.folder());
    EXPECT_EQ(MainFrm->SelectedItem(), MainFrm->TaskItem(2));
}

TEST_F(MainFrmTest, FilesDroppedOnTheListAreAdded) {
    showMain();
    const std::string b = files.colourFrames("b.swf", 20, 20, 2);
    auto* mime = new QMimeData;
    mime->setUrls(
        {QUrl::fromLocalFile(QString::fromStdString(movie)), QUrl::fromLocalFile(QString::fromStdString(b))});
    QWidget* target = MainFrm->lstFile->viewport();
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    EXPECT_TRUE(drop.isAccepted());
    delete mime;
    // The settings dialogs open once the drop is over.
    actOnDialogs(2, [](QDialog* d) { static_cast<TSettingsFrm*>(d)->btnOK->click(); });
    for (int i = 0; i < 200 && MainFrm->TaskCount() < 2; ++i)
        QTest::qWait(10);
    ASSERT_EQ(MainFrm->TaskCount(), 2);
    EXPECT_EQ(column(1, 0).toStdString(), "b.swf@" + files.folder());
    EXPECT_TRUE(MainFrm->Modified);
}

TEST_F(MainFrmTest, RemoveClearAndEditChangeTheList) {
    showMain();
    add({movie, files.colourFrames("b.swf", 20, 20, 2)}, okAsIs);
    MainFrm->Modified = false;

    MainFrm->lstFile->clearSelection();
    MainFrm->btnRemoveClick();  // nothing selected: nothing happens
    EXPECT_EQ(MainFrm->TaskCount(), 2);
    EXPECT_FALSE(MainFrm->Modified);

    MainFrm->lstFile->setCurrentItem(MainFrm->TaskItem(0));
    WhenModal([](QDialog* d) {
        auto* s = static_cast<TSettingsFrm*>(d);
        choose(s->cbxExportType, dtImageSequence);
        choose(s->cbxImageFormat, itTGA);
        choose(s->cbxExportSequence, smSkipBackward);
        s->btnOK->click();
    });
    MainFrm->menSettings->trigger();
    EXPECT_TRUE(MainFrm->Modified);
    EXPECT_EQ(column(0, 2).toStdString(), files.folder());
    EXPECT_EQ(MainFrm->labCodec->text(), "TAG");
    EXPECT_EQ(MainFrm->labMode->text(), "Mode: Skip");

    MainFrm->btnRemoveClick();
    ASSERT_EQ(MainFrm->TaskCount(), 1);
    EXPECT_EQ(column(0, 0).toStdString(), "b.swf@" + files.folder());

    answers.yes = false;
    MainFrm->btnClearClick();
    EXPECT_EQ(MainFrm->TaskCount(), 1);
    EXPECT_EQ(answers.messages.back(), "Are you sure you want to clear all items?");
    answers.yes = true;
    MainFrm->menClear->trigger();
    EXPECT_EQ(MainFrm->TaskCount(), 0);
}

TEST_F(MainFrmTest, ListIsSavedAtEachChangeAndOnlyAfterAChange) {
    showMain();
    add({movie}, okAsIs);
    MainFrm->close();
    ASSERT_TRUE(fs::exists(MainFrm->TaskListPath));

    // A fresh start loads it back; Check All alone is no change, a click on a check box is.
    DestroyDesktopWindows();
    CreateDesktopWindows();
    MainFrm->TaskListPath = files.path("tolvikan.ini");
    MainFrm->ListOptions.setRecordingSource = [this] { ++recordingSourceCalls; };
    showMain();
    ASSERT_EQ(MainFrm->TaskCount(), 1);
    EXPECT_EQ(MainFrm->SelectedItem(), MainFrm->TaskItem(0));
    EXPECT_EQ(MainFrm->PreviewFlash->Movie().toStdString(), movie);
    const auto written = fs::last_write_time(MainFrm->TaskListPath);
    fs::remove(MainFrm->TaskListPath);
    MainFrm->menUncheckAll->trigger();
    EXPECT_EQ(MainFrm->TaskItem(0)->checkState(0), Qt::Unchecked);
    EXPECT_FALSE(MainFrm->Modified);
    MainFrm->close();
    EXPECT_FALSE(fs::exists(MainFrm->TaskListPath));
    (void)written;

    showMain();
    MainFrm->TaskItem(0)->setCheckState(0, Qt::Checked);  // as a click on the box does
    EXPECT_TRUE(MainFrm->Modified);
    // Saved at once, not only when the window closes: a crash now would lose nothing.
    EXPECT_TRUE(fs::exists(MainFrm->TaskListPath));
    MainFrm->close();
    EXPECT_TRUE(fs::exists(MainFrm->TaskListPath));
}

TEST_F(MainFrmTest, ProjectorPreviewUsesATemporaryMovieRemovedAtTheEnd) {
    std::ifstream in(movie, std::ios::binary);
    const testswf::Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string exe = files.write("player.exe", testswf::makeProjector(bytes));
    // Files a task names that are not the system's temporary files are the user's: never deleted.
    const std::string userSound = files.write("QMRsound.wav", testswf::Bytes{1, 2, 3});
    showMain();
    add({exe}, okAsIs);
    ASSERT_EQ(MainFrm->TaskCount(), 1);
    TCovSettings* task = MainFrm->TaskItem(0)->Task();
    EXPECT_EQ(task->swfFileType, sftProjector);
    const std::string extracted = task->swfPlayFilename;
    EXPECT_TRUE(IsOwnTempFile(extracted)) << extracted;
    EXPECT_TRUE(fs::exists(extracted));
    EXPECT_EQ(MainFrm->PreviewFlash->Movie().toStdString(), extracted);
    EXPECT_EQ(MainFrm->PreviewFlash->TotalFrames(), 6);
    // Showing the task again keeps the movie already taken out.
    MainFrm->ShowTaskSummary(*task);
    EXPECT_EQ(task->swfPlayFilename, extracted);
    task->adoUseFilename = userSound;

    DestroyDesktopWindows();
    EXPECT_FALSE(fs::exists(extracted));
    EXPECT_TRUE(fs::exists(userSound));
    EXPECT_TRUE(fs::exists(exe));
    CreateDesktopWindows();  // for TearDown
}

TEST_F(MainFrmTest, PlaybackSeekAndHelp) {
    showMain();
    add({movie}, okAsIs);
    MainFrm->btnForwardClick();
    MainFrm->btnForwardClick();
    EXPECT_EQ(MainFrm->PreviewFlash->CurrentFrame(), 3);
    EXPECT_EQ(MainFrm->labCurrentFrame->text(), "3/6 Frames");
    MainFrm->btnBackClick();
    EXPECT_EQ(MainFrm->PreviewFlash->CurrentFrame(), 2);
    MainFrm->btnStopClick();
    EXPECT_EQ(MainFrm->PreviewFlash->CurrentFrame(), 1);
    EXPECT_FALSE(MainFrm->PreviewFlash->IsPlaying());

    MainFrm->trkSeekMouseDown();
    MainFrm->trkSeek->setValue(5);
    MainFrm->ShowCurrentFrame();  // a clock message while the slider is held changes nothing
    EXPECT_EQ(MainFrm->trkSeek->value(), 5);
    MainFrm->trkSeekMouseUp();
    EXPECT_FALSE(MainFrm->Seeking);
    EXPECT_EQ(MainFrm->PreviewFlash->CurrentFrame(), 5);

    WhenModal([](QDialog* d) {
        auto* seek = static_cast<TSeekFrm*>(d);
        seek->edtFrameNumber->SetValue(4);
        seek->btnAudioImport->click();
        seek->reject();
    });
    MainFrm->btnSeekClick();
    EXPECT_EQ(MainFrm->PreviewFlash->CurrentFrame(), 4);
    EXPECT_EQ(MainFrm->labCurrentFrame->text(), "4/6 Frames");

    MainFrm->HelpFile = QString::fromStdString(files.path("missing-help.html"));
    MainFrm->btnHelpClick();
    EXPECT_TRUE(answers.opened.empty());
    ASSERT_FALSE(answers.messages.empty());  // a manual that is not there is said so
    EXPECT_TRUE(answers.messages.back().startsWith("The user manual is not installed"));
    MainFrm->HelpFile = QString::fromStdString(files.write("help.html", testswf::Bytes{'<', 'p', '>'}));
    MainFrm->btnHelpClick();
    ASSERT_EQ(answers.opened.size(), 1u);
    EXPECT_EQ(answers.opened[0], QUrl::fromLocalFile(MainFrm->HelpFile));
}

}  // namespace

// The demo movie's title is an HTML text field in a system font: the preview shows it drawn, white and
// orange letters in the band above the animation (nothing else there is that bright).
TEST_F(MainFrmTest, PreviewDrawsTheDemoMoviesTextField) {
    showMain();
    add({TOLVIKAN_DEMO_MOVIE}, okAsIs);
    ASSERT_EQ(MainFrm->TaskCount(), 1);
    ASSERT_EQ(MainFrm->PreviewFlash->Movie().toStdString(), TOLVIKAN_DEMO_MOVIE);
    QTest::qWait(50);
    const QImage shot = MainFrm->PreviewFlash->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_GT(shot.width(), 40);
    // The movie is 320x240, shown whole and centred: find its picture in the widget.
    const double scale = std::min(shot.width() / 320.0, shot.height() / 240.0);
    const int x0 = int((shot.width() - 320 * scale) / 2), y0 = int((shot.height() - 240 * scale) / 2);
    int white = 0, orange = 0;
    for (int y = y0 + int(4 * scale); y < y0 + int(34 * scale); ++y)
        for (int x = x0; x < x0 + int(320 * scale); ++x) {
            const QRgb c = shot.pixel(x, y);
            if (qRed(c) > 220 && qGreen(c) > 220 && qBlue(c) > 220) ++white;
            if (qRed(c) > 220 && qGreen(c) > 130 && qGreen(c) < 200 && qBlue(c) < 60) ++orange;
        }
    EXPECT_GT(white, int(20 * scale * scale)) << "the bold white \"Tolvikan\"";
    EXPECT_GT(orange, int(10 * scale * scale)) << "the orange \"demo\"";
}
