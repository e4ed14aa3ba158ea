#include "config/default_configuration.h"

#include <windows.h>

#include "common/text_encoding.h"
#include "resource_ids.h"

namespace tarvolin {

DefaultConfiguration LoadEmbeddedDefaultConfiguration() {
  DefaultConfiguration result;
  HRSRC info = ::FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_DEFAULT_CONFIGURATION), L"" TARVOLIN_DEFAULT_CONFIGURATION_TYPE);
  if (!info) return result;
  HGLOBAL loaded = ::LoadResource(nullptr, info);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  DWORD size = ::SizeofResource(nullptr, info);
  if (!data || size == 0) return result;
  result.bytes.assign(static_cast<const char*>(data), size);
  result.text = AnsiToWide(result.bytes);
  return result;
}

}  // namespace tarvolin
