#pragma once

// What every Machine promises, as one typed suite: the program's machine and the one tests run
// Form1 on must behave alike. A backend's test file instantiates it with a fixture type that
// provides:
//
//   Backend();            // a machine of its own, with nothing claimed and nothing reported
//   Machine& machine();
//   Reports TakeReports();   // what the machine reported since it was made
//   void AskTheWindowToEnd();  // the machine's window is asked to end (closed, or stopped)
//   void BreakTheEventLog(bool broken);  // the places events go cannot be written, or again can
//   void HoldElsewhere(std::string_view name);  // another process takes the machine-wide claim
//   void EndTheHolderElsewhere(bool killed);  // it ends, giving the claim back or killed
//   void SquatElsewhere(std::string_view name);  // another program makes the name its own
//
// and then: INSTANTIATE_TYPED_TEST_SUITE_P(Name, MachineContract, Backend);

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine.h"

namespace ordex::testing {

// A window of no rows for machines whose window the contract does not look at.
inline constexpr FormLayout kContractLayout{
    "Machine contract", 100, 100, 0, 0, 0, 0, 0, 0, {}, 0, 0, {}};

// The messages a machine reported, each whole and in the order given.
struct Reports {
  std::vector<std::string> fatal_errors;
  std::vector<std::string> warnings;
  std::vector<std::string> information;
};

// The reports in lines as the program writes them ("ordex: ", then the level), CR LF or LF
// ended; other lines are left out.
inline Reports ReportsFromLines(const std::string& text) {
  Reports reports;
  std::istringstream lines(text);
  constexpr std::string_view kWarning = "ordex: warning: ", kInformation = "ordex: info: ",
                             kFatal = "ordex: ";
  for (std::string line; std::getline(lines, line);) {
    if (line.ends_with('\r')) line.pop_back();
    if (line.starts_with(kWarning)) {
      reports.warnings.push_back(line.substr(kWarning.size()));
    } else if (line.starts_with(kInformation)) {
      reports.information.push_back(line.substr(kInformation.size()));
    } else if (line.starts_with(kFatal)) {
      reports.fatal_errors.push_back(line.substr(kFatal.size()));
    }
  }
  return reports;
}

// Where the contract writes to the machine's registry; a backend on a real registry removes it.
inline constexpr std::string_view kMachineContractKey = "SOFTWARE\\ORDEX Machine Contract";

template <typename Backend>
class MachineContract : public ::testing::Test {
 protected:
  Machine& machine() { return backend_.machine(); }

  Backend backend_;
};

TYPED_TEST_SUITE_P(MachineContract);

TYPED_TEST_P(MachineContract, OneInstanceClaimAtATimeAndAgainOnceTheLockEnds) {
  auto first = this->machine().ClaimSingleInstance();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(this->machine().ClaimSingleInstance(), nullptr);
  first.reset();
  EXPECT_NE(this->machine().ClaimSingleInstance(), nullptr);
}

// A machine-wide name that no program of ORDEX's uses, so that a running ORDEX is not disturbed.
inline constexpr std::string_view kContractClaimName = "Global\\ORDEX.MachineContract";

// One holder on the machine: a claim that another process holds is refused, with no reason (it
// can be tried again), until that holder ends, in order or killed; then it is taken, and while
// it is held a second try of this process is refused too.
TYPED_TEST_P(MachineContract, AMachineWideClaimIsTakenOnceItsHolderEndsHoweverItEnds) {
  for (const bool killed : {false, true}) {
    SCOPED_TRACE(killed ? "holder killed" : "holder ended in order");
    this->backend_.HoldElsewhere(kContractClaimName);
    const MachineWideClaim refused = this->machine().TryClaimMachineWide(kContractClaimName);
    EXPECT_EQ(refused.lock, nullptr);
    EXPECT_EQ(refused.unavailable, "");
    this->backend_.EndTheHolderElsewhere(killed);
    const MachineWideClaim taken = this->machine().TryClaimMachineWide(kContractClaimName);
    ASSERT_NE(taken.lock, nullptr) << taken.unavailable;
    EXPECT_EQ(this->machine().TryClaimMachineWide(kContractClaimName).lock, nullptr);
  }
}

TYPED_TEST_P(MachineContract, AMachineWideNameAnotherProgramMadeItsOwnIsUnavailableWithWhy) {
  this->backend_.SquatElsewhere(kContractClaimName);
  const MachineWideClaim claim = this->machine().TryClaimMachineWide(kContractClaimName);
  EXPECT_EQ(claim.lock, nullptr);
  EXPECT_NE(claim.unavailable.find("ORDEX.MachineContract"), std::string::npos)
      << claim.unavailable;
}

TYPED_TEST_P(MachineContract, ReportsOfEachLevelArriveApartAndWhole) {
  const std::string strings[] = {"/x/Tarvex.ini"};
  this->machine().LogEvent({20, EventLevel::kWarning, strings, "cannot write /x/Tarvex.ini: busy"});
  this->machine().ReportFatalError("cannot open /x/hw_inf.ini: No such file or directory");
  this->machine().LogEvent(
      {21, EventLevel::kInformation, strings, "summary file held: ended after 12 s"});
  const Reports reports = this->backend_.TakeReports();
  EXPECT_EQ(reports.warnings, std::vector<std::string>{"cannot write /x/Tarvex.ini: busy"});
  EXPECT_EQ(reports.information, std::vector<std::string>{"summary file held: ended after 12 s"});
  EXPECT_EQ(reports.fatal_errors,
            std::vector<std::string>{"cannot open /x/hw_inf.ini: No such file or directory"});
}

// An event is for those who watch: one that its places cannot take is lost, and the program
// goes on, so the call returns however they fail; once they mend, events arrive again.
TYPED_TEST_P(MachineContract, LogEventNeverThrows) {
  const std::string strings[] = {"2", "3", "1", "/x/$Machine.dat"};
  this->backend_.BreakTheEventLog(true);
  EXPECT_NO_THROW(this->machine().LogEvent({11, EventLevel::kInformation, strings, "lost"}));
  EXPECT_NO_THROW(this->machine().LogEvent({20, EventLevel::kWarning, strings, "lost"}));
  this->backend_.BreakTheEventLog(false);
  this->machine().LogEvent({11, EventLevel::kInformation, strings, "changed from 2 to 3"});
  EXPECT_EQ(this->backend_.TakeReports().information,
            std::vector<std::string>{"changed from 2 to 3"});
}

TYPED_TEST_P(MachineContract, TheClockMovesOnByAtLeastEachPause) {
  const auto before = this->machine().Now();
  this->machine().Sleep(std::chrono::milliseconds(2));
  const auto after = this->machine().Now();
  EXPECT_GE(after - before, std::chrono::milliseconds(2));
  EXPECT_GE(this->machine().Now(), after);
}

// A pause is the window's: an end asked of the window cuts it short.
TYPED_TEST_P(MachineContract, AnEndAskedOfTheWindowCutsAPauseShort) {
  this->backend_.AskTheWindowToEnd();
  EXPECT_THROW(this->machine().Sleep(std::chrono::seconds(30)), EndRequested);
}

TYPED_TEST_P(MachineContract, TheHostNameIsAnEightBitTextWithItsNulAndLength) {
  std::string buffer(256, '#');
  std::uint32_t size = 256;
  this->machine().QueryComputerName(buffer.data(), size);
  ASSERT_GT(size, 0u);
  ASSERT_LT(size, 256u);
  EXPECT_EQ(buffer[size], '\0');
  EXPECT_EQ(std::strlen(buffer.c_str()), size);
}

TYPED_TEST_P(MachineContract, EveryRegistryWorksOnTheSameRegistry) {
  bool ok = false;
  this->machine().CreateRegistry()->WriteDword(HKEY_LOCAL_MACHINE_ROOT, kMachineContractKey,
                                               "Visible", 1, ok);
  ASSERT_TRUE(ok);
  std::int32_t value = 0;
  this->machine().CreateRegistry()->ReadDword(HKEY_LOCAL_MACHINE_ROOT, kMachineContractKey,
                                              "Visible", value, ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(value, 1);
}

REGISTER_TYPED_TEST_SUITE_P(MachineContract, OneInstanceClaimAtATimeAndAgainOnceTheLockEnds,
                            AMachineWideClaimIsTakenOnceItsHolderEndsHoweverItEnds,
                            AMachineWideNameAnotherProgramMadeItsOwnIsUnavailableWithWhy,
                            ReportsOfEachLevelArriveApartAndWhole, LogEventNeverThrows,
                            TheClockMovesOnByAtLeastEachPause, AnEndAskedOfTheWindowCutsAPauseShort,
                            TheHostNameIsAnEightBitTextWithItsNulAndLength,
                            EveryRegistryWorksOnTheSameRegistry);

}  // namespace ordex::testing
