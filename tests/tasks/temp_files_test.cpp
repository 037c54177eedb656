// The system's temporary files: folder, "QMR" names, and which paths count as our own.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <set>

#include "tasks/file_names.h"
#include "tasks/temp_files.h"
#include "tasks_test_util.h"

using namespace taskstest;

namespace {

TEST(GetTempDir, IsQtsTempPathWithTrailingSeparator) {
    EXPECT_EQ(GetTempDir(), QDir::tempPath().toStdString() + "/");
    PrivateTempDir temp;
    EXPECT_EQ(GetTempDir(), temp.path() + "/");
}

TEST(GetTempFile, FreshQmrNamesInTheTempFolderWithNoFileLeft) {
    PrivateTempDir temp;
    std::set<std::string> names;
    for (int i = 0; i < 300; ++i) {
        std::string name = GetTempFile();
        EXPECT_EQ(ExtractFilePath(name), GetTempDir());
        EXPECT_EQ(ExtractFileName(name).substr(0, 3), "QMR");
        EXPECT_EQ(ExtractFileExt(name), ".tmp");
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(name))) << name;
        EXPECT_TRUE(IsOwnTempFile(name));
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 300u);
    EXPECT_TRUE(QDir(QString::fromStdString(temp.path())).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST(GetTempFile, NamesDifferEvenWhenCallersCreateAndDeleteTheirFiles) {
    PrivateTempDir temp;
    std::set<std::string> names;
    for (int i = 0; i < 100; ++i) {
        std::string name = ChangeFileExt(GetTempFile(), ".wav");
        EXPECT_TRUE(testswf::writeFile(name, {1, 2, 3}));
        QFile::remove(QString::fromStdString(name));
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 100u);
}

TEST(GetTempDir, MissingTmpdirFallsBackToTmp) {
    PrivateTempDir temp;
    setenv("TMPDIR", "/no/such/folder/anywhere", 1);
    EXPECT_EQ(GetTempDir(), "/tmp/");
}

TEST(GetTempFile, FolderWhereNoFileCanBeMadeThrows) {
    PrivateTempDir temp;
    std::string notAFolder = temp.path() + "/plain-file";
    ASSERT_TRUE(testswf::writeFile(notAFolder, {1}));
    setenv("TMPDIR", notAFolder.c_str(), 1);
    EXPECT_THROW(GetTempFile(), std::runtime_error);
}

TEST(IsOwnTempFile, NeedsThePrefixAndExactlyTheTempFolder) {
    const std::string t = GetTempDir();
    struct Case {
        std::string path;
        bool own;
    } cases[] = {
        {t + "QMR1A2B.tmp", true},
        {t + "QMR", true},
        {t + "QMRx.swf", true},
        {t + "QMR1A2B.mp3", true},
        {t + "qmr1A2B.tmp", false},  // case-sensitive
        {t + "QM.tmp", false},
        {t + "xQMR.tmp", false},
        {t + "sub/QMR1.tmp", false},
        {t + "./QMR1.tmp", false},  // not resolved: the directory text must match exactly
        {"/elsewhere/QMR1.tmp", false},
        {"QMR1.tmp", false},
        {"", false},
        {t, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsOwnTempFile(c.path), c.own) << c.path;
}

TEST(FileNames, PathPiecesKeepTheirSeparatorsAndDots) {
    EXPECT_EQ(ExtractFilePath("/a/b/movie.swf"), "/a/b/");
    EXPECT_EQ(ExtractFilePath("movie.swf"), "");
    EXPECT_EQ(ExtractFileName("/a/b/movie.swf"), "movie.swf");
    EXPECT_EQ(ExtractFileExt("/a/b/movie.SWF"), ".SWF");
    EXPECT_EQ(ExtractFileExt("/a.b/movie"), "");
    EXPECT_EQ(ChangeFileExt("/a.b/tolvikan", ".ini"), "/a.b/tolvikan.ini");
    EXPECT_EQ(ChangeFileExt("/usr/bin/tolvikan.exe", ".ini"), "/usr/bin/tolvikan.ini");
    EXPECT_EQ(ChangeFileExt("game.v2.exe", ".avi"), "game.v2.avi");
    EXPECT_EQ(AsciiLower(".SwF"), ".swf");
}

}  // namespace
