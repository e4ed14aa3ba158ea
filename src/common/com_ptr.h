// Owners for COM interface pointers and BSTRs, the COM side of unique_handle.h.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>

#include "common/unique_handle.h"

namespace tarvolin {

// Holds one reference to an interface and releases it when done.
template <typename T>
class com_ptr {
 public:
  com_ptr() noexcept = default;
  com_ptr(const com_ptr& other) noexcept : ptr_(other.ptr_) {
    if (ptr_) ptr_->AddRef();
  }
  com_ptr(com_ptr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  com_ptr& operator=(com_ptr other) noexcept {
    std::swap(ptr_, other.ptr_);
    return *this;
  }
  ~com_ptr() { reset(); }

  T* get() const noexcept { return ptr_; }
  T* operator->() const noexcept { return ptr_; }
  explicit operator bool() const noexcept { return ptr_ != nullptr; }
  void reset() noexcept {
    if (T* old = std::exchange(ptr_, nullptr)) old->Release();
  }
  // For APIs that hand out a new reference through an out parameter.
  T** put() noexcept {
    reset();
    return &ptr_;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

 private:
  T* ptr_ = nullptr;
};

namespace detail {
inline void FreeBstr(BSTR s) { ::SysFreeString(s); }
}  // namespace detail

using unique_bstr = unique_any<detail::NullTraits<BSTR, detail::FreeBstr>>;

inline unique_bstr MakeBstr(std::wstring_view text) {
  return unique_bstr(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

// Owns one VARIANT and clears it when done.
class unique_variant {
 public:
  unique_variant() noexcept { ::VariantInit(&value_); }
  // A string variant holding a copy of `text`; empty when it cannot be made.
  explicit unique_variant(std::wstring_view text) noexcept : unique_variant() {
    value_.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (value_.bstrVal) value_.vt = VT_BSTR;
  }
  ~unique_variant() { ::VariantClear(&value_); }
  unique_variant(const unique_variant&) = delete;
  unique_variant& operator=(const unique_variant&) = delete;

  const VARIANT& get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_.vt != VT_EMPTY; }
  // For APIs that fill a VARIANT through an out parameter.
  VARIANT* put() noexcept {
    ::VariantClear(&value_);
    return &value_;
  }

 private:
  VARIANT value_;
};

// A null BSTR is the empty string in COM.
inline std::wstring BstrText(BSTR s) { return s ? std::wstring(s, ::SysStringLen(s)) : std::wstring(); }

}  // namespace tarvolin
