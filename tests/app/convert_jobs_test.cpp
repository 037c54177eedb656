// `--jobs`: how the run shares its tasks among child processes, against a stand-in child (a shell script that
// speaks the children's JSON events): every task reported once under its index in the run, a few children
// for many tasks, and a child that ends in the middle of its share fails only the task it was on.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "app/convert_jobs.h"
#include "convert_test_util.h"

using namespace converttest;

namespace {

class ConvertJobs : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "test_app";
            static char* argv[] = {name, nullptr};
            static QCoreApplication app(argc, argv);
        }
    }

    ScratchDir dir;

    // A child that reports each task of its list as converted, except a movie named "crash...", where it
    // says why on stderr and ends without reporting it. Each start is logged in children.log.
    std::string writeChild() {
        const std::string path = dir / "child.sh";
        std::ofstream(path) << "#!/bin/bash\n"
                               "list=$3\n"
                               "echo \"$list\" >>'"
                            << dir / "children.log"
                            << "'\n"
                               "i=0\n"
                               "while read -r movie; do\n"
                               "  echo '{\"event\":\"status\",\"line\":\"Status:> Converting '$movie'\"}'\n"
                               "  echo '{\"event\":\"progress\",\"task\":'$i',\"frames\":1,\"total\":2}'\n"
                               "  case $movie in crash*) echo 'the player fell over' >&2; exit 3;; esac\n"
                               "  echo '{\"event\":\"task\",\"task\":'$i',\"output\":\"'$movie'.out\","
                               "\"done\":true,\"reason\":\"\"}'\n"
                               "  i=$((i+1))\n"
                               "done < <(sed -n 's/^swfFilename=\\([^\\r]*\\).*/\\1/p' \"$list\")\n"
                               "echo '{\"event\":\"status\",\"line\":\"Status:> All Finished\"}'\n";
        chmod(path.c_str(), 0755);
        return path;
    }

    static cli::TPreparedRun makeRun(const std::vector<std::string>& movies) {
        cli::TPreparedRun run;
        for (const std::string& movie : movies) {
            cli::TPreparedTask t;
            t.movie = movie;
            t.output = movie + ".partial";
            t.task = std::make_unique<TCovSettings>();
            t.task->swfFilename = movie;
            t.task->destStartFrame = 1;
            t.task->destEndFrame = 2;
            run.tasks.push_back(std::move(t));
        }
        return run;
    }

    int childrenStarted() {
        std::ifstream in(dir / "children.log");
        int n = 0;
        for (std::string line; std::getline(in, line);)
            ++n;
        return n;
    }
};

TEST_F(ConvertJobs, ManyTasksShareAFewChildrenAndEachIsReportedOnce) {
    const std::vector<std::string> movies = {"m0", "m1", "m2", "m3", "m4", "m5", "m6", "m7"};
    cli::TPreparedRun run = makeRun(movies);
    cli::TJobsOptions options;
    options.jobs = 2;
    options.program = writeChild();
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    cli::TConvertReporter reporter(cli::TReportMode::Json, {}, err, out, [] { return 0.0; });
    std::vector<cli::TTaskResult> results;
    EXPECT_FALSE(cli::runJobs(run, options, reporter, &results, [](std::function<void()>) {}));

    ASSERT_EQ(results.size(), movies.size());
    for (size_t i = 0; i < movies.size(); ++i) {
        EXPECT_TRUE(results[i].ended && results[i].done) << movies[i] << ": " << results[i].reason;
        EXPECT_EQ(results[i].output,
                  movies[i] + ".out");  // the child's place i mapped back to the run's task
    }
    // Shares of 4, 2, 1 and 1 tasks: four processes, not eight.
    EXPECT_EQ(childrenStarted(), 4);

    // Every event names the run's task it is about: the status lines by the task the child was on.
    std::rewind(out);
    std::map<int, int> taskEvents;
    std::map<std::string, int> statusTask;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, out)) {
        const std::string line = buffer;
        int task = -1;
        const size_t at = line.find("\"task\":");
        if (at != std::string::npos) task = std::atoi(line.c_str() + at + 7);
        if (line.find("\"event\":\"task\"") != std::string::npos) ++taskEvents[task];
        const size_t movie = line.find("Converting ");
        if (movie != std::string::npos) statusTask[line.substr(movie + 11, 2)] = task;
    }
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(taskEvents[i], 1) << "task " << i;
        EXPECT_EQ(statusTask[movies[size_t(i)]], i) << movies[size_t(i)];
    }
    std::fclose(out);
    std::fclose(err);
}

TEST_F(ConvertJobs, AChildThatEndsMidShareFailsItsTaskAndTheRestAreConvertedByAnother) {
    // The first child's share is m0, crash1, m2: m0 converted, crash1 failed with the child's last words,
    // m2 converted by a child started for it.
    cli::TPreparedRun run = makeRun({"m0", "crash1", "m2", "m3", "m4", "m5"});
    cli::TJobsOptions options;
    options.jobs = 2;
    options.program = writeChild();
    std::FILE* out = std::tmpfile();
    cli::TConvertReporter reporter(cli::TReportMode::Json, {}, out, out, [] { return 0.0; });
    std::vector<cli::TTaskResult> results;
    cli::runJobs(run, options, reporter, &results, [](std::function<void()>) {});
    std::fclose(out);

    ASSERT_EQ(results.size(), 6u);
    EXPECT_TRUE(results[1].ended);
    EXPECT_FALSE(results[1].done);
    EXPECT_EQ(results[1].reason, "the player fell over");
    EXPECT_EQ(results[1].output, "crash1.partial");
    for (size_t i : {0u, 2u, 3u, 4u, 5u})
        EXPECT_TRUE(results[i].ended && results[i].done) << i << ": " << results[i].reason;
}

}  // namespace
