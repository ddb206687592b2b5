// The fixture every library test uses: after each test no global block may
// be leaked or left locked; calls can be run under allocation- and
// lock-failure injection and under cancellation at each progress report.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <vector>

#include "exports/Exported.h"

namespace qvx::test {

// A call of the library that returns the picture it made (or 0). A call
// that makes more than one picture frees the others itself and returns the
// main one.
using PictureCall = std::function<HGLOBAL()>;

// What progress reports a call made.
struct ProgressReport {
  int done, total, percentFrom, percentTo;
  BOOL noDialog;
};

class QvxTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs the call once normally; its result must be a picture. Then fails
  // each GlobalAlloc the call makes, one at a time, and then each GlobalLock;
  // every such run must return 0 with one of `codes` and leak nothing.
  void ExpectCleanFailures(const PictureCall& call, std::initializer_list<int> codes = {3});

  // Runs the call once counting progress reports, then cancels at each
  // report in turn: every run must return 0 with error 1 and leak nothing.
  // Returns the reports of the uncancelled run.
  std::vector<ProgressReport> ExpectCleanCancels(const PictureCall& call);

  // Runs the call and records its progress reports.
  std::vector<ProgressReport> RecordProgress(const PictureCall& call, HGLOBAL* result = nullptr);

  // Frees a picture the test received, at the end of the test.
  HGLOBAL Keep(HGLOBAL picture) {
    if (picture) kept_.push_back(picture);
    return picture;
  }

  // Whether the platform keeps the accounts the checks rely on and can
  // inject allocation and lock failures (not on Windows).
  static bool HasAccounting();

 private:
  static void ExpectAccounts(long live, long locked, const char* what);
  long liveAtStart_ = 0, lockedAtStart_ = 0;
  std::vector<HGLOBAL> kept_;
};

// A progress handler for the current thread for the life of the object.
class ScopedProgressHandler {
 public:
  explicit ScopedProgressHandler(std::function<BOOL(const ProgressReport&)> answer);
  ~ScopedProgressHandler();

 private:
  static BOOL Call(void* context, int done, int total, int from, int to, BOOL noDialog);
  std::function<BOOL(const ProgressReport&)> answer_;
};

}  // namespace qvx::test
