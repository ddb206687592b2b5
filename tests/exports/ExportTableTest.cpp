// The export table against the declared functions and the module's
// published interface.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <type_traits>

#include "exports/QvxEffect.h"

namespace {

// Bytes one argument takes on the 32-bit stack: 8 for a double, 4 for
// everything else (pointers, handles, integers, bytes widened to a slot).
template <class T>
constexpr int SlotBytes() {
  return std::is_same_v<std::remove_cv_t<T>, double> ? 8 : 4;
}

template <class Result, class... Args>
constexpr int StackBytes(Result(WINAPI*)(Args...)) {
  return (0 + ... + SlotBytes<Args>());
}

struct Row {
  const char* name;
  int tableBytes;
  int declaredBytes;
};

const Row kRows[] = {
#define QVX_EXPORT(name, bytes, folder) {#name, bytes, StackBytes(&name)},
#include "exports/ExportTable.inc"
#undef QVX_EXPORT
};

std::map<std::string, int> PublishedInterface() {
  std::ifstream file(QVX_TEST_DATA_DIR "/export-abi.txt");
  std::map<std::string, int> bytes;
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name;
    int count = 0;
    fields >> name >> count;
    bytes[name] = count;
  }
  return bytes;
}

TEST(ExportTableTest, DeclarationsMatchTheTable) {
  for (const Row& row : kRows)
    EXPECT_EQ(row.declaredBytes, row.tableBytes) << row.name << " is declared with other arguments";
}

TEST(ExportTableTest, EveryRowIsPartOfThePublishedInterface) {
  const auto published = PublishedInterface();
  ASSERT_EQ(published.size(), 52u);
  std::map<std::string, int> seen;
  for (const Row& row : kRows) {
    EXPECT_EQ(++seen[row.name], 1) << row.name << " is listed twice";
    const auto it = published.find(row.name);
    ASSERT_NE(it, published.end()) << row.name << " is not an export of the module";
    EXPECT_EQ(row.tableBytes, it->second) << row.name;
  }
}

}  // namespace
