#include "support/Fixture.h"

#include <algorithm>

namespace qvx::test {

#if defined(QVX_GUARD_PAGES)
// Sanitizer and fuzz builds put every block before a guard page.
const bool kGuardPagesOn = (QvxMemSetGuardPages(1), true);
#endif

ScopedProgressHandler::ScopedProgressHandler(std::function<BOOL(const ProgressReport&)> answer)
    : answer_(std::move(answer)) {
  QvxComSetProgressHandler(&ScopedProgressHandler::Call, this);
}

ScopedProgressHandler::~ScopedProgressHandler() { QvxComSetProgressHandler(nullptr, nullptr); }

BOOL ScopedProgressHandler::Call(void* context, int done, int total, int from, int to,
                                 BOOL noDialog) {
  return static_cast<ScopedProgressHandler*>(context)->answer_({done, total, from, to, noDialog});
}

#if defined(_WIN32)
bool QvxTest::HasAccounting() { return false; }
#else
bool QvxTest::HasAccounting() { return true; }
#endif

void QvxTest::SetUp() {
  // Tests run silently: progress always goes on unless a test says not.
  QvxComSetProgressHandler([](void*, int, int, int, int, BOOL) -> BOOL { return TRUE; }, nullptr);
  QvxComSetDlgOpenHandler(nullptr, nullptr);
  // Without accounts (Windows) these stay 0.
  liveAtStart_ = QvxMemLiveBlocks();
  lockedAtStart_ = QvxMemLockedBlocks();
}

void QvxTest::TearDown() {
  for (HGLOBAL picture : kept_) GlobalFree(picture);
  kept_.clear();
  QvxComSetProgressHandler(nullptr, nullptr);
  QvxComSetDlgOpenHandler(nullptr, nullptr);
  ExpectAccounts(liveAtStart_, lockedAtStart_, "at the end of the test");
}

void QvxTest::ExpectAccounts(long live, long locked, const char* what) {
  if (!HasAccounting()) return;
  EXPECT_EQ(QvxMemLiveBlocks(), live) << "blocks leaked " << what;
  EXPECT_EQ(QvxMemLockedBlocks(), locked) << "blocks left locked " << what;
}

void QvxTest::ExpectCleanFailures(const PictureCall& call, std::initializer_list<int> codes) {
  const long live = QvxMemLiveBlocks(), locked = QvxMemLockedBlocks();
  const long allocBefore = QvxMemAllocCalls(), lockBefore = QvxMemLockCalls();
  HGLOBAL normal = call();
  const long allocs = QvxMemAllocCalls() - allocBefore, locks = QvxMemLockCalls() - lockBefore;
  ASSERT_NE(normal, nullptr) << "the call must succeed without injected failures";
  GlobalFree(normal);
  if (!HasAccounting()) return;  // no injection either
  ExpectAccounts(live, locked, "after the normal run");
  ASSERT_GT(allocs, 0) << "a call that returns a new picture allocates";
  for (long n = 1; n <= allocs + locks; ++n) {
    const bool lock = n > allocs;
    lock ? QvxMemFailLockAt(n - allocs) : QvxMemFailAllocAt(n);
    HGLOBAL result = call();
    QvxMemFailAllocAt(0);
    QvxMemFailLockAt(0);
    const int status = GetErrorStatus();
    const char* kind = lock ? "lock" : "allocation";
    EXPECT_EQ(result, nullptr) << kind << " " << n << " failed but the call succeeded";
    if (result) GlobalFree(result);
    EXPECT_NE(std::find(codes.begin(), codes.end(), status), codes.end())
        << kind << " " << n << " failed: error status " << status;
    ExpectAccounts(live, locked, kind);
  }
}

std::vector<ProgressReport> QvxTest::RecordProgress(const PictureCall& call, HGLOBAL* result) {
  std::vector<ProgressReport> reports;
  ScopedProgressHandler handler([&](const ProgressReport& report) {
    reports.push_back(report);
    return TRUE;
  });
  HGLOBAL picture = call();
  if (result)
    *result = picture;
  else if (picture)
    GlobalFree(picture);
  return reports;
}

std::vector<ProgressReport> QvxTest::ExpectCleanCancels(const PictureCall& call) {
  const long live = QvxMemLiveBlocks(), locked = QvxMemLockedBlocks();
  HGLOBAL normal = nullptr;
  std::vector<ProgressReport> reports = RecordProgress(call, &normal);
  EXPECT_NE(normal, nullptr) << "the call must succeed when nobody cancels";
  if (normal) GlobalFree(normal);
  EXPECT_FALSE(reports.empty()) << "the call reports no progress";
  for (std::size_t cancelAt = 1; cancelAt <= reports.size(); ++cancelAt) {
    std::size_t seen = 0;
    ScopedProgressHandler handler(
        [&](const ProgressReport&) { return ++seen == cancelAt ? FALSE : TRUE; });
    HGLOBAL result = call();
    EXPECT_EQ(result, nullptr) << "cancelled at report " << cancelAt << " but a picture came back";
    if (result) GlobalFree(result);
    EXPECT_EQ(GetErrorStatus(), 1) << "cancelled at report " << cancelAt;
    EXPECT_EQ(seen, cancelAt) << "the call went on reporting after it was cancelled";
    ExpectAccounts(live, locked, "after a cancel");
  }
  return reports;
}

}  // namespace qvx::test
