// The public header as a C caller sees it (QvxEffectHeaderC.c) against the
// library's own view of the same records.
#include <gtest/gtest.h>

#include <cstddef>

#include "exports/Exported.h"

extern "C" {
int QvxCHeaderFunctionsLinked(void);
std::size_t QvxCDibAccessLayout(int field);
std::size_t QvxCRecordSize(int record);
}

namespace {

TEST(QvxEffectHeaderTest, ExportsAreCallableFromC) { EXPECT_EQ(QvxCHeaderFunctionsLinked(), 1); }

TEST(QvxEffectHeaderTest, DibAccessHasOneLayoutInCAndCpp) {
  EXPECT_EQ(QvxCDibAccessLayout(0), sizeof(DibAccess));
  EXPECT_EQ(QvxCDibAccessLayout(1), offsetof(DibAccess, Header));
  EXPECT_EQ(QvxCDibAccessLayout(2), offsetof(DibAccess, BitCount));
  EXPECT_EQ(QvxCDibAccessLayout(3), offsetof(DibAccess, RowBytes));
  EXPECT_EQ(QvxCDibAccessLayout(4), offsetof(DibAccess, Alpha));
  // Byte-packed: the 67 reserved bytes end the record.
  EXPECT_EQ(QvxCDibAccessLayout(0), QvxCDibAccessLayout(4) + 1 + 67);
}

TEST(QvxEffectHeaderTest, FixedRecordsHaveOneLayoutInCAndCpp) {
  EXPECT_EQ(QvxCRecordSize(0), sizeof(ImageHandles));
  EXPECT_EQ(QvxCRecordSize(1), sizeof(ImageHandlesResult));
  EXPECT_EQ(QvxCRecordSize(2), 324u);
  EXPECT_EQ(QvxCRecordSize(3), 200u);
  EXPECT_EQ(QvxCRecordSize(4), 72u);
  EXPECT_EQ(QvxCRecordSize(5), 40u);
  EXPECT_EQ(QvxCRecordSize(6), 16u);
}

}  // namespace
