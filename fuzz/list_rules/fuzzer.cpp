// The update list's element rules, driven by a list written as text: a line
// without "=" opens an element of that name, "name=value" lines are its
// attributes (UTF-8), and "!name=" makes reading that attribute fail as a
// broken document would.
#include <map>

#include "support/fuzz_input.h"
#include "common/strings.h"
#include "updatelist/list_rules.h"

using namespace tarvolin;
using namespace tarvolin::fuzz;

namespace {

struct Element {
  std::wstring name;
  std::map<std::wstring, std::wstring, std::less<>> attributes;
  std::map<std::wstring, bool, std::less<>> failing;
};

std::vector<Element> ReadElements(std::string_view bytes) {
  std::vector<Element> elements;
  for (std::string_view raw : Lines(bytes)) {
    std::wstring line = Utf8ToUnits(raw);
    const std::size_t equals = line.find(L'=');
    if (equals == std::wstring::npos) {
      elements.push_back(Element{line, {}, {}});
      continue;
    }
    if (elements.empty()) continue;
    std::wstring name = line.substr(0, equals);
    if (!name.empty() && name[0] == L'!') elements.back().failing[name.substr(1)] = true;
    else elements.back().attributes[name] = line.substr(equals + 1);
  }
  return elements;
}

void CheckRecord(updatefileinfo record) {
  NormaliseForAppend(record);
  // Records pass through NormaliseForAppend again when lists are merged.
  updatefileinfo again = record;
  NormaliseForAppend(again);
  FUZZ_CHECK(again == record);
  FUZZ_CHECK(record.path.find(L'|') == std::wstring::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<Element> elements = ReadElements(Bytes(data, size));
  std::vector<std::wstring> names;
  for (const Element& e : elements) names.push_back(e.name);
  if (auto root = ChooseListRoot(names)) FUZZ_CHECK(*root < names.size());

  SeenPaths seen;
  updatefileinfo last_file;
  for (const Element& e : elements) {
    AttributeReader read = [&e](std::wstring_view name, std::wstring& value) {
      if (e.failing.find(name) != e.failing.end()) return false;
      auto found = e.attributes.find(name);
      value = found == e.attributes.end() ? std::wstring() : found->second;
      return true;
    };
    updatefileinfo record;
    switch (KindOfListElement(e.name)) {
      case ListElementKind::File:
        if (ReadFileRecord(read, record)) {
          // A file's action word never poses as one of the other record kinds.
          FUZZ_CHECK(record.action != TaskRecord && record.action != DescriptionRecord);
          CheckRecord(record);
          seen.Enter(record.path);
          last_file = record;
        }
        break;
      case ListElementKind::Task:
        if (ReadTaskRecord(read, record)) CheckRecord(record);
        break;
      case ListElementKind::Description:
        CheckRecord(MakeDescriptionRecord(e.attributes.empty() ? e.name : e.attributes.begin()->second));
        break;
      case ListElementKind::Other:
        if (e.name == list_names::kPatch) {
          // A patch element of the last file: whole or left out, and never
          // kept by a file whose result could not be verified.
          std::optional<PatchOffer> offer;
          if (ReadPatchOffer(read, offer) && offer) {
            FUZZ_CHECK(offer->from.size() == 64 && offer->size > 0 && !offer->url.empty());
            FUZZ_CHECK(offer->from.find_first_not_of(L"0123456789abcdef") == std::wstring::npos);
            const std::size_t before = last_file.patches.size();
            AddPatchOffer(last_file, *offer);
            FUZZ_CHECK(last_file.patches.size() <= before + 1);
            if (last_file.sha256.empty()) FUZZ_CHECK(last_file.patches.empty());
          }
        }
        // List-level settings with numbers in them.
        for (const auto& [name, value] : e.attributes) {
          const long long polls = PollsForTimeOut(value);
          FUZZ_CHECK(polls >= 0 && polls <= kLongestTimeOut * kPollsPerTimeOutUnit);
          FUZZ_CHECK(FileNameFromUrl(value).find(L'/') == std::wstring::npos);
          ListFormatErrorMessage(name.size() % 2 == 0, value, name, true, value);
        }
        break;
    }
  }
  return 0;
}
