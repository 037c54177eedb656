// Linked into every test program that shows widgets: one QApplication for the whole test run (offscreen
// platform), created before the first test and destroyed before the program exits, while Qt's own global
// objects still exist.
#include <gtest/gtest.h>

#include <QApplication>

namespace {

class QtApplication : public ::testing::Environment {
  public:
    void SetUp() override { app_ = new QApplication(argc_, argv_); }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

  private:
    int argc_ = 1;
    char name_[14] = "tolvikan_test";
    char* argv_[2] = {name_, nullptr};
    QApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const kQtApplication =
    ::testing::AddGlobalTestEnvironment(new QtApplication);

}  // namespace
