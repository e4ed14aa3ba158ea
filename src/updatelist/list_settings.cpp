#include "updatelist/list_settings.h"

#include <algorithm>

#include "archive/zip_archive.h"
#include "common/files.h"
#include "common/process_state.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "updatelist/list_cache_name.h"
#include "updatelist/list_settings_key.h"
#include "updatelist/xml_dom.h"

namespace tarvolin {
namespace {

// The entry's name is five control characters, so no ordinary file name can be taken for it.
const std::wstring kSettingsEntryName{L'\x0001', L'\x0002', L'\x001E', L'\x0004', L'\x0005'};
constexpr wchar_t kFieldsElement[] = L"fields";
constexpr wchar_t kFilesAtOnceKey[] = L"threadcount";
constexpr wchar_t kThreadsPerFileKey[] = L"filethread";

std::optional<int> ClampedParameter(const wchar_t* key, int (*clamp)(const std::wstring&)) {
  auto value = RunParameters().Find(key);
  if (!value) return std::nullopt;
  return clamp(*value);
}

bool ReadSettingsEntry(const std::wstring& path, std::string& content) {
  ArchiveHandle archive = OpenArchive(path, ListSettingsPassword());
  if (!archive) return false;
  int index = -1;
  ArchiveItem item;
  if (FindArchiveItem(archive.get(), kSettingsEntryName, true, index, item) != ArchiveResult::kOk) return false;
  if (ExtractItemToString(archive.get(), index, content) != ArchiveResult::kOk) return false;
  // The entry is 8-bit text up to its first zero byte.
  if (std::size_t zero = content.find('\0'); zero != std::string::npos) content.resize(zero);
  return true;
}

bool StoreFields(const std::wstring& xml) {
  ComThreadScope com;
  XmlDocument document;
  if (!document.Create() || !document.LoadText(xml)) return false;
  std::vector<XmlNode> top;
  if (!document.AsNode().Children(top)) return false;
  for (const XmlNode& root : top) {
    bool element = false;
    if (!root.IsElement(element) || !element) continue;
    std::vector<XmlNode> sections;
    if (!root.Children(sections)) return false;
    for (const XmlNode& section : sections) {
      std::wstring name;
      if (!section.Name(name) || name != kFieldsElement) continue;
      std::vector<XmlNode> fields;
      if (!section.Children(fields)) return false;
      for (const XmlNode& field : fields) {
        std::wstring key, text;
        bool is_element = false;
        if (field.IsElement(is_element) && is_element && field.Name(key) && field.Text(text) &&
            IsTakenListSetting(key, ElevatedRun()))
          RunParameters().Set(key, text);
      }
      return true;
    }
    return true;  // a root without "fields" names nothing
  }
  return false;
}

}  // namespace

// Its password is in every copy of the program, so anyone can write such a
// file: the run with administrator rights takes the download tuning from it
// and nothing else.
bool IsTakenListSetting(const std::wstring& key, bool elevated) {
  return !elevated || key == kFilesAtOnceKey || key == kThreadsPerFileKey;
}

std::string ListSettingsPassword() {
  std::string password(sizeof list_settings_key::kScrambled, '\0');
  for (std::size_t i = 0; i < password.size(); ++i)
    password[i] = static_cast<char>(list_settings_key::kScrambled[i] ^ static_cast<unsigned char>(0x5A + 7 * i));
  return password;
}

int ClampFilesAtOnce(const std::wstring& value) {
  return static_cast<int>(std::clamp<long long>(ParseDecimal(value), 1, 50));
}

int ClampThreadsPerFile(const std::wstring& value) {
  return static_cast<int>(std::clamp<long long>(ParseDecimal(value), 1, 100));
}

std::optional<int> ConfiguredFilesAtOnce() { return ClampedParameter(kFilesAtOnceKey, &ClampFilesAtOnce); }
std::optional<int> ConfiguredThreadsPerFile() { return ClampedParameter(kThreadsPerFileKey, &ClampThreadsPerFile); }

int ThreadsPerFile() {
  constexpr int kDefaultThreadsPerFile = 8;
  return ConfiguredThreadsPerFile().value_or(kDefaultThreadsPerFile);
}

bool LoadListSettingsFrom(const std::wstring& path) {
  if (!FileExists(path)) return false;
  std::string content;
  if (!ReadSettingsEntry(path, content)) return false;
  return StoreFields(AnsiToWide(content));
}

bool LoadListSettings() { return LoadListSettingsFrom(ListSettingsFilePath()); }

}  // namespace tarvolin
