// The built module as a caller sees it: loaded from its file, every function
// of the export table looked up by its plain name and called once with every
// argument zero (no picture, no records, the progress window asked for).
// Each call must come back, refuse with a zero result and leave an error
// status other than 0.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

#include "exports/QvxEffect.h"
#include "support/Fixture.h"

namespace qvx::test {
namespace {

class LoadedModule {
 public:
  LoadedModule() {
#if defined(_WIN32)
    handle_ = LoadLibraryA(QVX_MODULE_FILE);
#else
    handle_ = dlopen(QVX_MODULE_FILE, RTLD_NOW | RTLD_LOCAL);
#endif
  }
  ~LoadedModule() {
    if (!handle_) return;
#if defined(_WIN32)
    FreeLibrary(handle_);
#else
    dlclose(handle_);
#endif
  }
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  bool Loaded() const { return handle_ != nullptr; }

  void* Find(const char* name) const {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(handle_, name));
#else
    return dlsym(handle_, name);
#endif
  }

  // The error status the module's calls leave. The DLL shares QvxCom.dll
  // with this program; the shared object carries its own copy of the sibling
  // library, whose functions it exports too.
  int ErrorStatus() const {
#if defined(_WIN32)
    return GetErrorStatus();
#else
    return reinterpret_cast<int (*)()>(Find("GetErrorStatus"))();
#endif
  }
  void SetStatus(int code) const {
#if defined(_WIN32)
    SetErrorStatus(code);
#else
    reinterpret_cast<void (*)(int)>(Find("SetErrorStatus"))(code);
#endif
  }

#if defined(_WIN32)
  // Every name in the DLL's export directory, read from its image in memory.
  std::set<std::string> ExportedNames() const {
    const auto* base = reinterpret_cast<const BYTE*>(handle_);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::set<std::string> names;
    if (entry.Size == 0) return names;
    const auto* directory =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    const auto* offsets = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
    for (DWORD i = 0; i < directory->NumberOfNames; ++i)
      names.insert(reinterpret_cast<const char*>(base + offsets[i]));
    return names;
  }
#endif

 private:
#if defined(_WIN32)
  HMODULE handle_ = nullptr;
#else
  void* handle_ = nullptr;
#endif
};

// Calls the function at `address` as declared (the pointer argument only
// carries the declared type) with every argument zero; true when the result
// is zero in every byte.
template <class Result, class... Args>
bool ZeroCallRefuses(void* address, Result(WINAPI*)(Args...)) {
  const auto function = reinterpret_cast<Result(WINAPI*)(Args...)>(address);
  const Result result = function(Args{}...);
  const Result zero{};
  return std::memcmp(&result, &zero, sizeof(Result)) == 0;
}

struct Export {
  const char* name;
  bool (*zeroCallRefuses)(void* address);
};

const Export kExports[] = {
#define QVX_EXPORT(name, bytes, folder) \
  {#name, [](void* address) { return ZeroCallRefuses(address, decltype(&name){}); }},
#include "exports/ExportTable.inc"
#undef QVX_EXPORT
};

class ModuleSmokeTest : public QvxTest {};

TEST_F(ModuleSmokeTest, EveryExportIsFoundAndRefusesAnEmptyCall) {
  LoadedModule module;
  ASSERT_TRUE(module.Loaded()) << "cannot load " << QVX_MODULE_FILE;
  for (const Export& e : kExports) {
    void* address = module.Find(e.name);
    ASSERT_NE(address, nullptr) << e.name << " is not exported under its plain name";
    module.SetStatus(-1);
    EXPECT_TRUE(e.zeroCallRefuses(address)) << e.name << " did not refuse";
    EXPECT_NE(module.ErrorStatus(), 0) << e.name << " reported success";
  }
}

#if defined(_WIN32)
TEST_F(ModuleSmokeTest, DllExportsExactlyTheTable) {
  LoadedModule module;
  ASSERT_TRUE(module.Loaded()) << "cannot load " << QVX_MODULE_FILE;
  std::set<std::string> table;
  for (const Export& e : kExports) table.insert(e.name);
  const std::set<std::string> exported = module.ExportedNames();
  for (const std::string& name : exported)
    EXPECT_EQ(table.count(name), 1u) << name << " is exported but not in the table";
  for (const std::string& name : table)
    EXPECT_EQ(exported.count(name), 1u) << name << " is in the table but not exported";
}
#endif

}  // namespace
}  // namespace qvx::test
