// The tasks of a `tolvikan convert` run: movies that cannot become tasks keep their place with the reason,
// outputs that exist are kept or replaced by -y / -n / the question, two tasks never write the same output,
// and a task-list file runs its checked tasks and names the ones whose movie is gone.
#include <gtest/gtest.h>

#include "app/convert_tasks.h"
#include "convert_test_util.h"
#include "tasks/task_list_file.h"

using namespace converttest;
using cli::TOverwrite;
using cli::TPreparedRun;

namespace {

class ConvertTasks : public ::testing::Test {
  protected:
    ScratchDir dir;
    FakeCodecs codecs;
    std::vector<std::string> asked;

    // Prepares the movies of `args` with an overwrite question that answers `answer` and records the paths.
    TPreparedRun prepare(const std::vector<std::string>& args, std::optional<bool> answer = std::nullopt) {
        cli::TConvertRequest r;
        std::string error;
        EXPECT_TRUE(cli::parseConvertArgs(args, &r, &error)) << error;
        TPreparedRun run;
        auto ask = [&, answer](const std::string& path) {
            asked.push_back(path);
            return answer;
        };
        EXPECT_EQ(cli::prepareMovieTasks(r, &run, ask, codecs.source()), 0);
        return run;
    }
};

TEST_F(ConvertTasks, MoviesThatCannotRunKeepTheirPlaceWithTheReason) {
    std::string good = dir.write("good.swf", EmptyMovie());
    std::string junk = dir.write("junk.swf", testswf::Bytes(64, 'x'));
    TPreparedRun run = prepare({dir / "missing.swf", good, junk, dir.path().string(), "--sound", "none"});
    ASSERT_EQ(run.tasks.size(), 4u);
    EXPECT_EQ(run.tasks[0].error, "no such file");
    EXPECT_EQ(run.tasks[1].error, "");
    EXPECT_EQ(run.tasks[1].output, dir / "good.avi");
    EXPECT_EQ(run.tasks[1].task->adoSource, asNone);
    EXPECT_EQ(run.tasks[2].error, "not a Flash movie or projector");
    EXPECT_EQ(run.tasks[3].error, "not a regular file");
    EXPECT_EQ(run.checkedCount(), 1u);
    for (const auto& t : run.tasks)
        EXPECT_NE(t.task, nullptr);  // the window's list gets a record for each
}

TEST_F(ConvertTasks, ExistingOutputFollowsTheOverwriteRule) {
    std::string movie = dir.write("m.swf", EmptyMovie());
    std::string avi = dir.touch("m.avi");
    struct Case {
        std::vector<std::string> flags;
        std::optional<bool> answer;
        std::string error;  // "" : the task runs
        bool asks;
    };
    const std::vector<Case> cases = {
        {{"-y"}, false, "", false},
        {{"-n"}, true, avi + " exists (-n: not overwritten)", false},
        {{}, std::nullopt, avi + " exists (-y overwrites it)", true},  // nobody to ask: kept
        {{}, false, avi + " exists (not overwritten)", true},
        {{}, true, "", true},
    };
    for (const Case& c : cases) {
        asked.clear();
        std::vector<std::string> args = {movie};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        TPreparedRun run = prepare(args, c.answer);
        ASSERT_EQ(run.tasks.size(), 1u);
        EXPECT_EQ(run.tasks[0].error, c.error);
        EXPECT_EQ(asked, c.asks ? std::vector<std::string>{avi} : std::vector<std::string>{});
    }
    // Nothing in the way: nobody is asked.
    asked.clear();
    TPreparedRun run = prepare({movie, "--type", "gif"}, false);
    EXPECT_EQ(run.tasks[0].error, "");
    EXPECT_TRUE(asked.empty());
}

TEST_F(ConvertTasks, ImageSequenceExistsWhenAFileOfItsRangeIsThere) {
    std::string movie = dir.write("m.swf", EmptyMovie(320, 240, 12, 10));
    std::string folder = dir / "pics";
    // Not names of this task: another extension, leading zeros, outside the range, not numbers.
    for (const char* name : {"3.jpg", "03.png", "11.png", "x3.png", "3.png.bak"})
        dir.touch(std::string("pics/") + name);
    TPreparedRun run = prepare({movie, "--type", "images", "--output", folder, "-n"});
    EXPECT_EQ(run.tasks[0].error, "");
    std::string three = dir.touch("pics/3.png");
    run = prepare({movie, "--type", "images", "--output", folder, "-n"});
    EXPECT_EQ(run.tasks[0].error, three + " exists (-n: not overwritten)");
    run = prepare({movie, "--type", "images", "--output", folder, "--frames", "4-10", "-n"});
    EXPECT_EQ(run.tasks[0].error, "");
    EXPECT_EQ(cli::existingImages(*run.tasks[0].task).size(), 0u);
}

TEST_F(ConvertTasks, TwoTasksNeverWriteTheSameOutput) {
    std::string a = dir.write("a/clip.swf", EmptyMovie());
    std::string b = dir.write("b/clip.swf", EmptyMovie());
    TPreparedRun run = prepare({a, b, "--output", dir / "out/", "--type", "gif"});
    ASSERT_EQ(run.tasks.size(), 2u);
    EXPECT_EQ(run.tasks[0].error, "");
    EXPECT_EQ(run.tasks[1].error, "writes the same output as " + a + ": " + dir / "out/clip.gif");
}

TEST_F(ConvertTasks, TaskListFileRunsCheckedTasksAndNamesTheMissingOnes) {
    std::string kept = dir.write("kept.swf", EmptyMovie(200, 100, 10, 5));
    std::string gone = dir.write("gone.swf", EmptyMovie());
    std::string idle = dir.write("idle.swf", EmptyMovie());
    std::vector<TaskListEntry> entries(3);
    const std::string movies[] = {kept, gone, idle};
    for (int i = 0; i < 3; ++i) {
        entries[i].task = std::make_unique<TCovSettings>();
        FillTaskDefaults(*entries[i].task, movies[i], true, codecs.source());
        entries[i].checked = i != 2;
    }
    entries[0].task->destType = dtGIF;
    entries[0].task->destFilename = "kept.gif";
    entries[0].task->destEndFrame = 3;
    TaskListOptions options;
    options.codecs = codecs.source();
    std::string ini = dir / "tasks.ini";
    SaveTaskList(ini, entries, options);
    std::filesystem::remove(gone);

    cli::TConvertRequest r;
    std::string error;
    ASSERT_TRUE(cli::parseConvertArgs({"--tasks", ini}, &r, &error)) << error;
    TPreparedRun run;
    ASSERT_EQ(cli::prepareTaskFile(r, &run, nullptr, codecs.source()), 0);
    ASSERT_EQ(run.tasks.size(), 3u);
    EXPECT_EQ(run.tasks[0].movie, kept);
    EXPECT_TRUE(run.tasks[0].checked);
    EXPECT_EQ(run.tasks[0].error, "");
    EXPECT_EQ(run.tasks[0].output, dir / "kept.gif");
    EXPECT_EQ(run.tasks[0].task->destType, dtGIF);
    EXPECT_EQ(run.tasks[0].task->destEndFrame, 3);
    EXPECT_EQ(run.tasks[1].movie, gone);
    EXPECT_EQ(run.tasks[1].error, "no such file");
    EXPECT_EQ(run.tasks[2].movie, idle);
    EXPECT_FALSE(run.tasks[2].checked);
    EXPECT_EQ(run.checkedCount(), 1u);

    // The output rule holds for the file's tasks too.
    dir.touch("kept.gif");
    r.overwrite = TOverwrite::No;
    ASSERT_EQ(cli::prepareTaskFile(r, &run, nullptr, codecs.source()), 0);
    EXPECT_EQ(run.tasks[0].error, dir / "kept.gif" + " exists (-n: not overwritten)");
}

TEST_F(ConvertTasks, TaskListFileWithoutCheckedTasksOrMissingIsAnError) {
    cli::TConvertRequest r;
    std::string error;
    TPreparedRun run;
    ASSERT_TRUE(cli::parseConvertArgs({"--tasks", dir / "none.ini"}, &r, &error));
    testing::internal::CaptureStderr();
    EXPECT_EQ(cli::prepareTaskFile(r, &run, nullptr, codecs.source()), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("none.ini: no such file"), std::string::npos);

    std::vector<TaskListEntry> entries(1);
    entries[0].task = std::make_unique<TCovSettings>();
    FillTaskDefaults(*entries[0].task, dir.write("m.swf", EmptyMovie()), true, codecs.source());
    entries[0].checked = false;
    TaskListOptions options;
    options.codecs = codecs.source();
    SaveTaskList(dir / "idle.ini", entries, options);
    r.tasksFile = dir / "idle.ini";
    testing::internal::CaptureStderr();
    EXPECT_EQ(cli::prepareTaskFile(r, &run, nullptr, codecs.source()), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("no checked task"), std::string::npos);
}

}  // namespace
