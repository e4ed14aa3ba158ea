// One small owner template for every Windows handle kind, with an alias per kind.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <utility>

namespace tarvolin {

// Traits: `type`, `invalid()` and `close(type)`.
template <typename Traits>
class unique_any {
 public:
  using T = typename Traits::type;

  unique_any() noexcept = default;
  explicit unique_any(T value) noexcept : value_(value) {}
  unique_any(const unique_any&) = delete;
  unique_any& operator=(const unique_any&) = delete;
  unique_any(unique_any&& other) noexcept : value_(other.release()) {}
  unique_any& operator=(unique_any&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~unique_any() { reset(); }

  T get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Traits::invalid(); }
  T release() noexcept { return std::exchange(value_, Traits::invalid()); }
  void reset(T value = Traits::invalid()) noexcept {
    T old = std::exchange(value_, value);
    if (old != Traits::invalid()) Traits::close(old);
  }
  // For APIs that return the handle through an out parameter.
  T* put() noexcept {
    reset();
    return &value_;
  }

 private:
  T value_ = Traits::invalid();
};

namespace detail {
template <typename H, void (*Close)(H)>
struct NullTraits {
  using type = H;
  static constexpr H invalid() noexcept { return nullptr; }
  static void close(H h) noexcept { Close(h); }
};
template <void (*Close)(HANDLE)>
struct InvalidValueTraits {
  using type = HANDLE;
  static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) noexcept { Close(h); }
};
inline void CloseKernelHandle(HANDLE h) { ::CloseHandle(h); }
inline void CloseInternetHandle(HINTERNET h) { ::InternetCloseHandle(h); }
inline void CloseRegistryKey(HKEY h) { ::RegCloseKey(h); }
inline void UnloadLibrary(HMODULE h) { ::FreeLibrary(h); }
inline void CloseFindHandle(HANDLE h) { ::FindClose(h); }
inline void DeleteGdiHandle(HGDIOBJ h) { ::DeleteObject(h); }
inline void DeleteDeviceContext(HDC h) { ::DeleteDC(h); }
inline void FreeLocalMemory(HLOCAL h) { ::LocalFree(h); }
}  // namespace detail

// Process, thread, event and similar kernel handles (null when absent).
using unique_handle = unique_any<detail::NullTraits<HANDLE, detail::CloseKernelHandle>>;
// Files opened with CreateFileW (INVALID_HANDLE_VALUE when absent).
using unique_hfile = unique_any<detail::InvalidValueTraits<detail::CloseKernelHandle>>;
using unique_hfind = unique_any<detail::InvalidValueTraits<detail::CloseFindHandle>>;
using unique_hinternet = unique_any<detail::NullTraits<HINTERNET, detail::CloseInternetHandle>>;
using unique_hkey = unique_any<detail::NullTraits<HKEY, detail::CloseRegistryKey>>;
using unique_hmodule = unique_any<detail::NullTraits<HMODULE, detail::UnloadLibrary>>;
using unique_hgdiobj = unique_any<detail::NullTraits<HGDIOBJ, detail::DeleteGdiHandle>>;
// Memory device contexts made with CreateCompatibleDC.
using unique_hdc = unique_any<detail::NullTraits<HDC, detail::DeleteDeviceContext>>;
// Memory the system hands out to be freed with LocalFree (security
// descriptors, SID strings).
using unique_hlocal = unique_any<detail::NullTraits<HLOCAL, detail::FreeLocalMemory>>;

}  // namespace tarvolin
