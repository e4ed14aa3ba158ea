// A component for the registration tests: DllRegisterServer leaves
// "<dll path>.registered" beside the DLL.
#include <windows.h>

#include <string>

namespace {
HMODULE g_module = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(g_module, path, MAX_PATH);
  std::wstring marker = std::wstring(path) + L".registered";
  HANDLE file = ::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return E_FAIL;
  ::CloseHandle(file);
  return S_OK;
}
