#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <utility>

#include "form1_fixture.h"

namespace ordex {
namespace {
namespace fs = std::filesystem;
using testing::Form1Test;
using testing::g_reported_error;
using testing::ReadBytes;
using testing::WriteBytes;

class RefreshCycleTest : public Form1Test {
 protected:
  void SetUp() override {
    Form1Test::SetUp();
    SetSetting("TimerInterval", 1000);
    StartForm();
    ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << g_reported_error;
  }

  void Pass() {
    form_->Timer1_Timer();
    ASSERT_EQ(view_.quit_status(), -1) << g_reported_error;
  }

  std::string SummaryCount() {
    const std::string summary = ReadBytes(Summary());
    const auto line = summary.find("Zusatz-Achsen: ");
    return summary.substr(line + 15, summary.find('\r', line) - line - 15);
  }
};

TEST_F(RefreshCycleTest, ATouchWithoutChangeRefreshesTheBoxButNotTheSummaryOrTheCount) {
  fs::remove(Summary());
  StampMachineData();
  const int texts_before = view_.set_text_calls();
  Pass();
  EXPECT_EQ(view_.Text(Control::txtExAxNum), "2");
  EXPECT_EQ(view_.set_text_calls(), texts_before + 2) << "the axis box and the refresh counter";
  EXPECT_FALSE(fs::exists(Summary()));
  EXPECT_EQ(form_->ChangeCount, 0);
}

TEST_F(RefreshCycleTest, EachChangeIsWrittenAndCountedOnce) {
  WriteMachineData("3");
  Pass();
  EXPECT_EQ(view_.Text(Control::txtExAxNum), "3");
  EXPECT_EQ(SummaryCount(), "3");
  EXPECT_EQ(view_.Text(Control::Changes), "1 Changes since start");
  Pass();
  EXPECT_EQ(view_.Text(Control::Changes), "1 Changes since start");

  WriteMachineData("2");
  Pass();
  EXPECT_EQ(SummaryCount(), "2");
  EXPECT_EQ(view_.Text(Control::Changes), "2 Changes since start");
  EXPECT_EQ(view_.Text(Control::RefreshNo), "3");
  EXPECT_EQ(form_->Saved, form_->Current);
}

TEST_F(RefreshCycleTest, AChangeUnderARestoredTimeStampIsNotSeen) {
  const auto original = fs::last_write_time(MachineData());
  WriteMachineData("3");
  fs::last_write_time(MachineData(), original);
  Pass();
  EXPECT_EQ(view_.Text(Control::txtExAxNum), "2");
  EXPECT_EQ(form_->ChangeCount, 0);
}

TEST_F(RefreshCycleTest, AFileReplacedByRenameIsSeen) {
  const fs::path replacement = MachineData().string() + ".new";
  WriteBytes(replacement, "DECL INT $EX_AX_NUM=4\r\n");
  fs::rename(replacement, MachineData());
  StampMachineData();
  Pass();
  EXPECT_EQ(SummaryCount(), "4");
  EXPECT_EQ(form_->ChangeCount, 1);
}

TEST_F(RefreshCycleTest, AFileMissingForSomePassesIsWaitedForAndThenRead) {
  fs::remove(MachineData());
  for (int i = 0; i < 3; ++i) Pass();
  EXPECT_EQ(view_.Text(Control::txtExAxNum), "2") << "the last reading stays";
  EXPECT_EQ(view_.Text(Control::RefreshNo), "3");
  EXPECT_EQ(form_->ChangeCount, 0);

  WriteMachineData("5");
  Pass();
  EXPECT_EQ(SummaryCount(), "5");
  EXPECT_EQ(view_.Text(Control::Changes), "1 Changes since start");
}

TEST_F(RefreshCycleTest, AnEmptiedFileIsASaveInProgressNotAChange) {
  WriteBytes(MachineData(), "");
  StampMachineData();
  Pass();
  EXPECT_EQ(view_.Text(Control::txtExAxNum), "2");
  EXPECT_EQ(SummaryCount(), "2");
  EXPECT_EQ(form_->ChangeCount, 0);

  WriteMachineData("3");
  Pass();
  EXPECT_EQ(SummaryCount(), "3");
  EXPECT_EQ(form_->ChangeCount, 1);
}

// Runs a save of the machine data file right after the next open, as a controller saving
// while ORDEX reads would.
class SaveDuringRead : public FileAccess {
 public:
  explicit SaveDuringRead(std::unique_ptr<FileAccess> files) : files_(std::move(files)) {}
  std::string NativePath(std::string_view path) const override { return files_->NativePath(path); }
  std::optional<FileTime> ModificationTime(const std::string& path) const override {
    return files_->ModificationTime(path);
  }
  std::unique_ptr<InputStream> OpenForReading(const std::string& path) const override {
    auto stream = files_->OpenForReading(path);
    if (save_on_next_open) std::exchange(save_on_next_open, nullptr)();
    return stream;
  }
  std::string ReadWholeFile(const std::string& path) const override {
    return files_->ReadWholeFile(path);
  }
  void RewriteFile(const std::string& path, std::string_view content) const override {
    files_->RewriteFile(path, content);
  }

  mutable std::function<void()> save_on_next_open;

 private:
  std::unique_ptr<FileAccess> files_;
};

TEST_F(Form1Test, AReadingTornByASaveIsDroppedAndTakenAgainOnTheNextPass) {
  auto files = std::make_unique<SaveDuringRead>(std::move(files_));
  SaveDuringRead& saves = *files;
  files_ = std::move(files);
  StartForm();
  ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << g_reported_error;

  WriteMachineData("3");
  saves.save_on_next_open = [this] { WriteMachineData("7"); };
  form_->Timer1_Timer();
  EXPECT_EQ(view_.Text(Control::txtExAxNum), "2");
  EXPECT_EQ(form_->ChangeCount, 0);

  form_->Timer1_Timer();
  EXPECT_EQ(view_.Text(Control::txtExAxNum), "7");
  EXPECT_EQ(view_.Text(Control::Changes), "1 Changes since start");
  EXPECT_EQ(view_.quit_status(), -1) << g_reported_error;
}

TEST_F(RefreshCycleTest, NewSettingsTakeEffectOnTheNextPassAndMissingOnesKeepTheOldValue) {
  SetSetting("TimerInterval", 2000);
  SetSetting("Visible", 1);
  Pass();
  EXPECT_EQ(view_.interval_ms(), 2000);
  EXPECT_TRUE(view_.visible());

  registry_.dwords.clear();
  Pass();
  EXPECT_EQ(view_.interval_ms(), 2000);
  EXPECT_TRUE(view_.visible());
}

TEST_F(RefreshCycleTest, AnErrorInAPassEndsTheProgramWithItsMessage) {
  fs::remove_all(Summary().parent_path());
  WriteMachineData("3");
  form_->Timer1_Timer();
  EXPECT_EQ(view_.quit_status(), 1);
  EXPECT_NE(g_reported_error.find("Tarvex.ini"), std::string::npos) << g_reported_error;
  EXPECT_EQ(view_.Text(Control::RefreshNo), "0") << "the rest of the pass does not run";
}

TEST_F(RefreshCycleTest, ManyPassesCountEveryChangeExactlyOnce) {
  int changes = 0;
  std::string count = "2";
  for (int pass = 1; pass <= 300; ++pass) {
    if (pass % 7 == 0) {
      count = count == "2" ? "3" : "2";
      WriteMachineData(count);
      ++changes;
    } else if (pass % 5 == 0) {
      StampMachineData();
    }
    Pass();
  }
  EXPECT_EQ(form_->ChangeCount, changes);
  EXPECT_EQ(SummaryCount(), count);
  EXPECT_EQ(view_.Text(Control::RefreshNo), "300");
}

}  // namespace
}  // namespace ordex
