// The conversion window as a driver: which tasks run, the log and progress it shows, Stop, Cancel, closing,
// skipped tasks, the options, and the frame gate's handshake.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStringList>

#include <algorithm>
#include <string>
#include <vector>

#include "capture/shockwave_flash_ex.h"
#include "convert/recording_hooks.h"
#include "convert_test_util.h"
#include "gif_test_util.h"
#include "support/swf_builder.h"
#include "tasks/temp_files.h"

namespace {

using namespace convtest;

class Driver : public ConvertTest {};

// Frames in an output of any kind: GIF frames, numbered stills, or video frames.
int FramesIn(const TCovSettings& task) {
    const std::string out = task.destFilepath + task.destFilename;
    if (task.destType == dtGIF) {
        gif_test::Decoded d = gif_test::DecodeWithFfmpeg(out);
        return d.ok ? int(d.frames.size()) : -1;
    }
    if (task.destType == dtImageSequence)
        return int(QDir(QString::fromStdString(task.destFilepath)).entryList(QDir::Files).size());
    Media m = ReadMedia(out);
    return m.ok ? m.frames : -1;
}

TEST_F(Driver, OnlyCheckedItemsRunAndAreCounted) {
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 3);
    TCovSettings a = Task(movie, dtGIF, "a.gif"), b = Task(movie, dtGIF, "b.gif"),
                 c = Task(movie, dtGIF, "c.gif");
    frm->setTaskItems({{false, &a}, {true, &b}, {false, &c}});
    std::vector<QString> labels;
    QObject::connect(frm.get(), &TInteractFrm::totalProgress,
                     [&](int, int) { labels.push_back(frm->labTotal->text()); });
    frm->RunTasks();
    // The counter counts the one checked task, after each position of the list.
    EXPECT_EQ(labels, (std::vector<QString>{"0/1 Files Done", "0/1 Files Done", "1/1 Files Done",
                                            "1/1 Files Done", "0/1 Files Done"}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Out("a.gif"))));
    EXPECT_EQ(FramesIn(b), 3);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Out("c.gif"))));
    ASSERT_EQ(journal.ends.size(), 1u);
    EXPECT_EQ(journal.ends[0].index, 1);
    EXPECT_TRUE(journal.ends[0].done);
    EXPECT_EQ(journal.ends[0].reason, "");
    EXPECT_EQ(frm->labCurrent->text(), "0 Frames Done");
}

TEST_F(Driver, StartAsksBeforeReplacingAndTheRunEndsWithItsSummary) {
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 2);
    TCovSettings kept = Task(movie, dtGIF, "kept.gif"), fresh = Task(movie, dtGIF, "fresh.gif");
    TCovSettings lost = Task(movie, dtGIF, "lost.gif");
    lost.swfFilename = lost.swfPlayFilename = Out("gone.swf");
    {
        QFile f(QString::fromStdString(Out("kept.gif")));
        QDir().mkpath(QFileInfo(f).absolutePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("mine");
    }
    frm->setTaskItems({{true, &kept}, {true, &fresh}, {true, &lost}});
    QStringList asked;
    frm->ConfirmReplace = [&](const QStringList& existing) {
        asked = existing;
        return false;
    };
    int converted = -1;
    QStringList failures;
    frm->RunFinished = [&](int done, const QStringList& notConverted) {
        converted = done;
        failures = notConverted;
    };
    frm->RunTasks();
    EXPECT_EQ(asked, QStringList{QString::fromStdString(Out("kept.gif"))});
    EXPECT_TRUE(journal.ends.empty());  // "No" runs nothing
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Out("fresh.gif"))));
    EXPECT_EQ(converted, -1);

    frm->ConfirmReplace = [](const QStringList&) { return true; };
    frm->RunTasks();
    EXPECT_EQ(FramesIn(kept), 2);
    EXPECT_EQ(converted, 2);
    ASSERT_EQ(failures.size(), 1);
    EXPECT_TRUE(failures[0].startsWith("gone.swf: ")) << failures[0].toStdString();
}

TEST_F(Driver, TheLogOfARunShownInTheWindow) {
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 2);
    TCovSettings gif = Task(movie, dtGIF, "square.gif");
    TCovSettings stills = Task(movie, dtImageSequence, "");
    stills.destFilepath = QDir(dir.path()).filePath("stills").toStdString();
    frm->setTaskItems({{true, &gif}, {true, &stills}});
    frm->show();
    EXPECT_EQ(frm->labTotal->text(), "0/2 Files Done");
    EXPECT_EQ(frm->labCurrent->text(), "0 Frames Done");
    frm->RunTasks();
    const std::vector<QString> expected = {
        "Status:> Ready... Click \"Start!\" menu to begin converting.",
        "Status:> Converting \"square.swf\" to GIF Animation. | " + QString::fromStdString(Out("square.gif")),
        "Status:> Finish converting \"square.swf\" to GIF Animation.",
        "Status:> Converting \"square.swf\" to Image Sequence. | " +
            QString::fromStdString(stills.destFilepath) + "/",
        "Status:> Finish converting \"square.swf\" to Image Sequence.",
        "Status:> All Finished",
    };
    EXPECT_EQ(journal.lines, expected);
    EXPECT_EQ(frm->memStatus->toPlainText().split('\n').size(), qsizetype(expected.size()));
    frm->close();
}

TEST_F(Driver, StopAndCancelFinishTheCurrentFileWithTheFramesSoFar) {
    struct Case {
        const char* what;
        TDestType type;
        bool stop;  // else cancel
    } cases[] = {
        {"stop, GIF", dtGIF, true},
        {"cancel, GIF", dtGIF, false},
        {"stop, image sequence", dtImageSequence, true},
        {"cancel, image sequence", dtImageSequence, false},
    };
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 6);
    const std::string other = WriteMovingSquareMovie(Folder(), "other.swf", 4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        journal = {};
        QDir(QDir(dir.path()).filePath("out")).removeRecursively();
        const char* ext = c.type == dtGIF ? ".gif" : "";
        TCovSettings first = Task(movie, c.type, std::string("first") + ext);
        TCovSettings second = Task(other, c.type, std::string("second") + ext);
        if (c.type == dtImageSequence) {
            first.destFilepath = Out("first/");
            second.destFilepath = Out("second/");
        }
        bool fired = false;
        QString bar, label, title;
        auto connection = QObject::connect(frm.get(), &TInteractFrm::currentProgress, [&](int position, int) {
            if (position != 2 || fired || frm->CurTask != &first) return;
            fired = true;
            bar = frm->prbCurrent->text();
            label = frm->labCurrent->text();
            title = frm->windowTitle();
            if (c.stop)
                frm->StopConverting();
            else
                frm->CancelCurrentTask();
        });
        Run({&first, &second});
        QObject::disconnect(connection);

        // How far the task is, in the window as well as in its title.
        EXPECT_TRUE(frm->prbCurrent->isTextVisible());
        EXPECT_EQ(bar, "33%");
        EXPECT_EQ(label, "2/6 Frames Done");
        EXPECT_TRUE(title.startsWith("Converting... 33%")) << title.toStdString();

        EXPECT_EQ(FramesIn(first), 2) << "finished with the frames so far";
        const QString kind = c.type == dtGIF ? " to GIF Animation" : " to Image Sequence";
        // The task's last line says it was cut short, not that it finished.
        const QString kept = c.type == dtGIF ? ": the file holds the frames so far."
                                             : ": the images of the frames so far are written.";
        if (c.stop) {
            EXPECT_EQ(FramesIn(second), c.type == dtGIF ? -1 : 0) << "no further task starts";
            ASSERT_GE(journal.lines.size(), 3u);
            const std::vector<QString> tail(journal.lines.end() - 3, journal.lines.end());
            EXPECT_EQ(tail, (std::vector<QString>{"Status:> Stop converting",
                                                  "Status:> Stopped converting \"square.swf\"" + kind + kept,
                                                  "Status:> All Finished"}));
            ASSERT_EQ(journal.ends.size(), 1u);
            EXPECT_EQ(journal.ends[0].reason, "stopped");
        } else {
            EXPECT_EQ(FramesIn(second), 4) << "the next task converts normally";
            ASSERT_GE(journal.lines.size(), 3u);
            EXPECT_EQ(journal.lines[1], "Status:> Cancel converting \"square.swf\"" + kind + ".");
            EXPECT_EQ(journal.lines[2], "Status:> Cancelled converting \"square.swf\"" + kind + kept);
            EXPECT_EQ(journal.lines[4], "Status:> Finish converting \"other.swf\"" + kind + ".");
            ASSERT_EQ(journal.ends.size(), 2u);
            EXPECT_EQ(journal.ends[0].reason, "cancelled");
            EXPECT_TRUE(journal.ends[1].done);
            EXPECT_EQ(journal.ends[1].reason, "");
        }
        EXPECT_TRUE(journal.ends[0].done);
    }
}

TEST_F(Driver, TasksWithoutMovieOrFolderAreSkippedSilently) {
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 2);
    QFile blocker(QDir(dir.path()).filePath("plain-file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TCovSettings missing = Task(movie, dtGIF, "missing.gif");
    missing.swfFilename = QDir(dir.path()).filePath("gone.swf").toStdString();
    TCovSettings noFolder = Task(movie, dtImageSequence, "");
    noFolder.destFilepath = blocker.fileName().toStdString() + "/sub/";
    TCovSettings fine = Task(movie, dtGIF, "fine.gif");
    Run({&missing, &noFolder, &fine});
    EXPECT_TRUE(journal.messages.empty());
    ASSERT_EQ(journal.ends.size(), 3u);
    EXPECT_FALSE(journal.ends[0].done);
    EXPECT_TRUE(journal.ends[0].reason.startsWith("movie missing")) << journal.ends[0].reason.toStdString();
    EXPECT_FALSE(journal.ends[1].done);
    EXPECT_TRUE(journal.ends[1].reason.startsWith("folder not creatable"))
        << journal.ends[1].reason.toStdString();
    EXPECT_TRUE(journal.ends[2].done);
    EXPECT_EQ(journal.lines.size(), 3u) << "only the task that ran writes lines";
    EXPECT_EQ(FramesIn(fine), 2);
}

TEST_F(Driver, TheWindowRefusesToCloseDuringARun) {
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 3);
    TCovSettings task = Task(movie, dtGIF, "square.gif");
    frm->show();
    struct Seen {
        bool closed, visible, start, stop, skip, options, close;
    };
    std::vector<Seen> seen;
    auto connection = QObject::connect(frm.get(), &TInteractFrm::currentProgress, [&](int position, int) {
        if (position != 1 || !seen.empty()) return;
        const bool closed = frm->close();
        seen.push_back({closed, frm->isVisible(), frm->menStart->isVisible(), frm->menStop->isVisible(),
                        frm->menSkip->isVisible(), frm->menOptionsAction->isVisible(),
                        frm->menClose->isVisible()});
    });
    Run({&task});
    QObject::disconnect(connection);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0].closed);
    EXPECT_TRUE(seen[0].visible);
    EXPECT_FALSE(seen[0].start);
    EXPECT_TRUE(seen[0].stop);
    EXPECT_TRUE(seen[0].skip);
    EXPECT_FALSE(seen[0].options);
    EXPECT_FALSE(seen[0].close);
    EXPECT_EQ(journal.messages,
              (std::vector<QString>{"Please stop converting at first, then close the window!"}));
    EXPECT_EQ(FramesIn(task), 3) << "the run went on";

    EXPECT_TRUE(frm->menStart->isVisible());
    EXPECT_FALSE(frm->menStop->isVisible());
    EXPECT_FALSE(frm->menSkip->isVisible());
    EXPECT_TRUE(frm->close());
    EXPECT_EQ(journal.messages.size(), 1u);
}

TEST_F(Driver, BackgroundColourCommands) {
    EXPECT_EQ(frm->BgColor, 0u);
    EXPECT_TRUE(frm->menBgDefault->isChecked());

    frm->ChooseColor = [](QColor*) { return false; };
    frm->menBgCustomizeClick();
    EXPECT_TRUE(frm->menBgCustomize->isChecked());
    EXPECT_FALSE(frm->menBgDefault->isChecked());
    EXPECT_EQ(frm->BgColor, 0u) << "cancelled: the colour stays";
    EXPECT_EQ(frm->backgroundOption(), boCustomize);

    frm->ChooseColor = [](QColor* colour) {
        *colour = QColor(255, 0, 0);
        return true;
    };
    frm->menBgCustomizeClick();
    EXPECT_EQ(frm->BgColor, 0xFF0000u);
    EXPECT_EQ(frm->FlashCtl->BackgroundColor(), 0xFF0000);

    frm->menBgDefaultClick();
    EXPECT_EQ(frm->BgColor, 0xFFFFFFu);
    EXPECT_TRUE(frm->menBgDefault->isChecked());
    EXPECT_FALSE(frm->menBgCustomize->isChecked());
    EXPECT_EQ(frm->FlashCtl->BackgroundColor(), 0xFFFFFF);
}

TEST_F(Driver, TheBackgroundOptionDecidesWhatIsBehindTheMovie) {
    // The movie's own background is grey; "Default" shows it (even after the command painted the idle player
    // white), "Customize" puts the chosen colour behind every frame.
    const std::string movie = WriteMovingSquareMovie(Folder(), "grey.swf", 2, 80, 60, 12, 0x808080);
    struct Case {
        const char* what;
        bool custom;
        uint32_t expected;
    } cases[] = {{"default", false, 0x808080}, {"customize blue", true, 0x0000FF}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.custom)
            frm->setBackgroundCustom(0x0000FF);
        else
            frm->setBackgroundDefault();
        TCovSettings task = Task(movie, dtImageSequence, "");
        task.destFilepath = Out(std::string(c.what) + "/");
        task.destSequenceMode = smFrameByFrame;
        Run({&task});
        QImage still(QString::fromStdString(task.destFilepath + "1.png"));
        ASSERT_FALSE(still.isNull());
        EXPECT_EQ(still.pixel(1, 1) & 0xFFFFFF, c.expected);
    }
}

TEST_F(Driver, OptionsSetWithoutMenusCheckTheirItems) {
    frm->setErrorPolicy(epAbort);
    EXPECT_TRUE(frm->menErrorAbort->isChecked());
    EXPECT_FALSE(frm->menErrorIgnore->isChecked());
    frm->menErrorAsk->trigger();
    EXPECT_EQ(frm->errorPolicy(), epAskMe);
    EXPECT_FALSE(frm->menErrorAbort->isChecked());
    frm->menBetterQuality->trigger();
    EXPECT_EQ(frm->priority(), cpBetterQuality);
    EXPECT_FALSE(frm->menFastSpeed->isChecked());
}

TEST_F(Driver, RecordingDefaultCommandCallsTheRecordingWindowAndConfirms) {
    int calls = 0;
    SetDefaultRecordingSourceHook = [&] { ++calls; };
    frm->menRecordDefault->trigger();
    SetDefaultRecordingSourceHook = nullptr;
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(journal.messages, (std::vector<QString>{"Recording source is set to \"Stereo Mix\".\n"
                                                      "Recording volume is set to 100%."}));
    frm->menRecordDefault->trigger();  // no recording window: the message still comes
    EXPECT_EQ(journal.messages.size(), 2u);
}

TEST_F(Driver, GifAndStillsNeverRunTheRecordingPass) {
    int passes = 0;
    RecordingPassHook = [&](TCovSettings&) { ++passes; };
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 2);
    TCovSettings gif = Task(movie, dtGIF, "square.gif");
    gif.adoSource = asRecord;
    TCovSettings stills = Task(movie, dtImageSequence, "");
    stills.adoSource = asRecord;
    Run({&gif, &stills});
    RecordingPassHook = nullptr;
    EXPECT_EQ(passes, 0);
    for (const QString& line : journal.lines)
        EXPECT_FALSE(line.startsWith("Status:> Recording from")) << line.toStdString();
}

TEST_F(Driver, TheFrameGateHoldsOnlyDuringARunAndNotFrameByFrame) {
    TCovSettings task;
    struct Case {
        const char* what;
        bool converting;
        TSequenceMode mode;
        const char* command;
        bool held;
    } cases[] = {
        {"normal", true, smNormal, "enterFrame", true},
        {"skip backward", true, smSkipBackward, "enterFrame", true},
        {"frame by frame", true, smFrameByFrame, "enterFrame", false},
        {"outside a run", false, smNormal, "enterFrame", false},
        {"other command", true, smNormal, "enterframe", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        task.destSequenceMode = c.mode;
        frm->CurTask = &task;
        frm->Converting = c.converting;
        frm->FrameReady = false;
        frm->FlashCtl->SkipTimer = false;
        frm->FlashFSCommand(c.command, "");
        EXPECT_EQ(frm->FlashCtl->SkipTimer, c.held);
        EXPECT_EQ(frm->FrameReady, c.held);
        if (!c.held) continue;
        frm->FlashSkipTimer();  // not captured yet: the hold stays
        EXPECT_TRUE(frm->FlashCtl->SkipTimer);
        frm->FrameReady = false;  // captured
        frm->FlashSkipTimer();
        EXPECT_FALSE(frm->FlashCtl->SkipTimer) << "released by the next swallowed tick";
    }
    frm->Converting = false;
    frm->CurTask = nullptr;
}

TEST_F(Driver, AMissingFrameEventMovieIsLoggedAndOnlyFrameByFrameRuns) {
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 3);
    const QString missing = QDir(dir.path()).filePath("no-fps");
    frm->setFpsMovieFile(missing);
    struct Case {
        const char* what;
        TSequenceMode mode;
        bool logged;
        int frames;  // -1: no file
    } cases[] = {
        {"normal: waits until stopped", smNormal, true, -1},
        {"frame by frame needs no frame events", smFrameByFrame, false, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        journal = {};
        TCovSettings task = Task(movie, dtGIF, std::string(c.what) + ".gif");
        task.destSequenceMode = c.mode;
        auto connection = QObject::connect(frm.get(), &TInteractFrm::statusLine, [&](const QString& line) {
            if (line.startsWith("Status:> Frame-event movie")) frm->StopConverting();
        });
        Run({&task});
        QObject::disconnect(connection);
        const bool logged = std::any_of(journal.lines.begin(), journal.lines.end(), [&](const QString& line) {
            return line.startsWith("Status:> Frame-event movie \"" + missing + "\" not loaded: ");
        });
        EXPECT_EQ(logged, c.logged);
        EXPECT_EQ(FramesIn(task), c.frames);
    }
}

TEST_F(Driver, AProjectorsMovieIsConvertedFromATemporaryCopyThatIsDeletedAfterwards) {
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 3);
    QFile swf(QString::fromStdString(movie));
    ASSERT_TRUE(swf.open(QIODevice::ReadOnly));
    const QByteArray bytes = swf.readAll();
    const std::string exe = QDir(dir.path()).filePath("square.exe").toStdString();
    ASSERT_TRUE(testswf::writeFile(exe, testswf::makeProjector(testswf::Bytes(bytes.begin(), bytes.end()))));
    TCovSettings gif = Task(exe, dtGIF, "projector.gif");
    ASSERT_EQ(gif.swfFileType, sftProjector);
    TCovSettings stills = Task(exe, dtImageSequence, "");
    stills.destFilepath = Out("stills/");
    Run({&gif, &stills});
    EXPECT_EQ(FramesIn(gif), 3);
    EXPECT_EQ(FramesIn(stills), 3);
    for (const TCovSettings* task : {&gif, &stills}) {
        EXPECT_TRUE(IsOwnTempFile(task->swfPlayFilename)) << task->swfPlayFilename;
        EXPECT_FALSE(QFile::exists(QString::fromStdString(task->swfPlayFilename)))
            << "the extracted copy is deleted";
    }
    EXPECT_EQ(journal.lines[0], "Status:> Converting \"square.exe\" to GIF Animation. | " +
                                    QString::fromStdString(Out("projector.gif")));
}

}  // namespace
