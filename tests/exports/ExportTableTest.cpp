// The export table: against the declared functions and the module's
// published interface (tests/data/export-abi.txt), and the built module as a
// caller sees it: loaded from its file, every function looked up by its plain
// name and called once with every argument zero (no picture, no records, the
// progress window asked for). Each call must come back, refuse with a zero
// result and leave an error status other than 0. (That a Windows DLL exports
// exactly the table is the build's export check.)
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <type_traits>

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

#include "exports/Exported.h"
#include "support/Fixture.h"

namespace qvx::test {
namespace {

// Bytes one argument takes on the 32-bit stack: 8 for a double, 4 for
// everything else (pointers, handles, integers, bytes widened to a slot).
template <class Result, class... Args>
constexpr int StackBytes(Result(WINAPI*)(Args...)) {
  return (0 + ... + (std::is_same_v<std::remove_cv_t<Args>, double> ? 8 : 4));
}

// Calls the function at `address` as declared (the pointer argument only
// carries the declared type) with every argument zero; true when the result
// is zero in every byte.
template <class Result, class... Args>
bool ZeroCallRefuses(void* address, Result(WINAPI*)(Args...)) {
  const Result result = reinterpret_cast<Result(WINAPI*)(Args...)>(address)(Args{}...);
  const Result zero{};
  return std::memcmp(&result, &zero, sizeof(Result)) == 0;
}

struct Row {
  const char* name;
  int tableBytes, declaredBytes;
  bool (*zeroCallRefuses)(void* address);
};

const Row kRows[] = {
#define QVX_EXPORT(name, bytes, folder) \
  {#name, bytes, StackBytes(&name), [](void* a) { return ZeroCallRefuses(a, decltype(&name){}); }},
#include "exports/ExportTable.inc"
#undef QVX_EXPORT
};

#if defined(_WIN32)
using Handle = HMODULE;
Handle Open() { return LoadLibraryA(QVX_MODULE_FILE); }
void Close(Handle h) { FreeLibrary(h); }
void* Find(Handle h, const char* name) { return reinterpret_cast<void*>(GetProcAddress(h, name)); }
// The DLL shares QvxCom.dll, and so the error status, with this program.
int ModuleStatus(Handle) { return GetErrorStatus(); }
void SetModuleStatus(Handle, int code) { SetErrorStatus(code); }
#else
using Handle = void*;
Handle Open() { return dlopen(QVX_MODULE_FILE, RTLD_NOW | RTLD_LOCAL); }
void Close(Handle h) { dlclose(h); }
void* Find(Handle h, const char* name) { return dlsym(h, name); }
// The shared object carries its own copy of the sibling library, whose
// functions it exports too.
int ModuleStatus(Handle h) { return reinterpret_cast<int (*)()>(Find(h, "GetErrorStatus"))(); }
void SetModuleStatus(Handle h, int code) {
  reinterpret_cast<void (*)(int)>(Find(h, "SetErrorStatus"))(code);
}
#endif

class ExportTableTest : public QvxTest {};

TEST_F(ExportTableTest, RowsMatchTheDeclarationsThePublishedInterfaceAndTheModule) {
  std::ifstream file(QVX_TEST_DATA_DIR "/export-abi.txt");
  std::map<std::string, int> published;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name;
    fields >> name >> published[name];
  }
  ASSERT_EQ(published.size(), 52u);
  const Handle module = Open();
  ASSERT_NE(module, nullptr) << "cannot load " << QVX_MODULE_FILE;
  std::map<std::string, int> seen;
  for (const Row& row : kRows) {
    EXPECT_EQ(row.declaredBytes, row.tableBytes) << row.name << " is declared with other arguments";
    EXPECT_EQ(++seen[row.name], 1) << row.name << " is listed twice";
    const auto it = published.find(row.name);
    EXPECT_TRUE(it != published.end() && it->second == row.tableBytes)
        << row.name << " is not an export of the module with these bytes";
    void* address = Find(module, row.name);
    EXPECT_NE(address, nullptr) << row.name << " is not exported under its plain name";
    if (!address) continue;
    SetModuleStatus(module, -1);
    EXPECT_TRUE(row.zeroCallRefuses(address)) << row.name << " did not refuse";
    EXPECT_NE(ModuleStatus(module), 0) << row.name << " reported success";
  }
  Close(module);
}

}  // namespace
}  // namespace qvx::test
