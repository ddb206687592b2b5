// Module start: the sibling library's locale probe runs once when the module
// is loaded; nothing else happens at load or unload.
#include "platform/QvxCom.h"

#if defined(_WIN32)
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) CheckJapan();
  return TRUE;
}
#else
namespace {
[[gnu::constructor]] void OnModuleLoad() { CheckJapan(); }
}  // namespace
#endif
