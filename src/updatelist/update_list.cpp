#include "updatelist/update_list.h"

#include <windows.h>

#include <optional>

#include "common/files.h"
#include "common/process_state.h"
#include "config/log.h"
#include "config/settings.h"
#include "config/translation_loader.h"
#include "updatelist/comparison.h"
#include "updatelist/list_rules.h"
#include "updatelist/xml_dom.h"

namespace tarvolin {
namespace {

constexpr wchar_t kFileUrlTemplateKey[] = L"FileUrlTemplate";
constexpr wchar_t kListUrlKey[] = L"ListURL";

// The records belong to the one reading thread; no lock is needed.
void AppendRecord(std::vector<updatefileinfo>& records, updatefileinfo record) {
  NormaliseForAppend(record);
  records.push_back(std::move(record));
}

// The first direct child with exactly this name; false when the DOM failed.
bool FindChild(const std::vector<XmlNode>& children, std::wstring_view name, std::optional<XmlNode>& found) {
  found.reset();
  for (const XmlNode& child : children) {
    std::wstring child_name;
    if (!child.Name(child_name)) return false;
    if (child_name == name) {
      found = child;
      return true;
    }
  }
  return true;
}

// Only elements compete: a document type declaration carries the root's name
// too ("<!DOCTYPE update>"), and taking it for the root would lose every record.
bool FindRoot(const XmlDocument& document, std::optional<XmlNode>& root) {
  std::vector<XmlNode> top_level, elements;
  if (!document.AsNode().Children(top_level)) return false;
  std::vector<std::wstring> names;
  for (const XmlNode& node : top_level) {
    bool element = false;
    if (!node.IsElement(element)) return false;
    if (!element) continue;
    names.emplace_back();
    if (!node.Name(names.back())) return false;
    elements.push_back(node);
  }
  std::optional<std::size_t> index = ChooseListRoot(names);
  if (index) root = elements[*index];
  return true;
}

// The patch offers among a file element's direct children. False when the DOM failed.
bool ReadPatchChildren(const XmlNode& file_node, updatefileinfo& file) {
  std::vector<XmlNode> children;
  if (!file_node.Children(children)) return false;
  for (const XmlNode& child : children) {
    std::wstring name;
    if (!child.Name(name)) return false;
    if (name != list_names::kPatch) continue;
    AttributeReader read = [&child](std::wstring_view attribute, std::wstring& value) {
      return child.Attribute(attribute, value);
    };
    std::optional<PatchOffer> offer;
    if (!ReadPatchOffer(read, offer)) return false;
    if (offer) AddPatchOffer(file, std::move(*offer));
  }
  return true;
}

// One node's record, if it makes one. False when the DOM failed.
bool VisitNode(const XmlNode& node, SeenPaths& seen, std::vector<updatefileinfo>& records) {
  std::wstring name;
  if (!node.Name(name)) return false;
  AttributeReader read = [&node](std::wstring_view attribute, std::wstring& value) {
    return node.Attribute(attribute, value);
  };
  switch (KindOfListElement(name)) {
    case ListElementKind::Description: {
      std::wstring text;
      if (!node.Text(text)) return false;
      AppendRecord(records, MakeDescriptionRecord(text));
      return true;
    }
    case ListElementKind::Task: {
      updatefileinfo task;
      if (!ReadTaskRecord(read, task)) return false;
      AppendRecord(records, std::move(task));
      return true;
    }
    case ListElementKind::File: {
      updatefileinfo file;
      if (!ReadFileRecord(read, file) || !ReadPatchChildren(node, file)) return false;
      if (seen.Enter(file.path)) AppendRecord(records, std::move(file));
      return true;
    }
    case ListElementKind::Other:
      return true;
  }
  return true;
}

// Depth first in document order, a node before its children. An explicit stack
// rather than recursion, so a maliciously deep list cannot exhaust the stack.
bool WalkTree(const XmlNode& root, std::vector<updatefileinfo>& records) {
  SeenPaths seen;
  std::vector<XmlNode> pending{root};
  std::vector<XmlNode> children;
  while (!pending.empty()) {
    XmlNode node = std::move(pending.back());
    pending.pop_back();
    if (!VisitNode(node, seen, records) || !node.Children(children)) return false;
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
  return true;
}

// Everything after a successful load; false when a DOM call failed. `root_found`
// tells a list without an accepted root apart from a failing document.
bool ReadLoadedList(XmlDocument& document, const std::wstring& list_path, std::vector<updatefileinfo>& records,
                    bool as_remote, bool& root_found) {
  std::optional<XmlNode> root;
  if (!FindRoot(document, root)) return false;
  root_found = root.has_value();
  if (!root_found) return true;

  std::vector<XmlNode> settings;
  std::optional<XmlNode> guid, file_url;
  if (!root->Children(settings) || !FindChild(settings, list_names::kGuid, guid) ||
      !FindChild(settings, list_names::kFileUrl, file_url))
    return false;

  // Only the fetched list says where its files are. The installed list is read
  // after it during a check, and must not put the addresses back to the default.
  if (as_remote) {
    std::wstring url_template = kDefaultFileUrlTemplate;
    if (file_url && !file_url->Text(url_template)) return false;
    SetFileUrlTemplate(url_template);
  }

  if (!WalkTree(*root, records)) return false;
  // A fetched list that would place a file outside the download folder is no list.
  if (as_remote) {
    for (const updatefileinfo& record : records) {
      if (!IsFileRecord(record) || IsContainedRecordPath(record.path)) continue;
      WriteLog(L"list refused: a file path leaves the download folder[" + record.path + L"]: " + list_path);
      records.clear();
      root_found = false;
      return true;
    }
  }

  // The identifier serves once: the saved copy goes without it.
  if (guid && (!root->RemoveChild(*guid) || !document.Save(list_path))) return false;
  return true;
}

void ShowListFormatError(const std::wstring& list_path, bool as_remote) {
  std::wstring list_url = as_remote ? ReadSetting(sections::kUpdateInfo, kListUrlKey) : std::wstring();
  std::optional<std::wstring> message =
      ListFormatErrorMessage(as_remote, list_url, list_path, FileExists(list_path),
                             Translate(kListFormatErrorText));
  if (message) ::MessageBoxW(nullptr, message->c_str(), kListFormatErrorCaption, MB_OK | MB_ICONERROR);
}

}  // namespace

std::wstring FileUrlTemplate() {
  return RunParameters().Find(kFileUrlTemplateKey).value_or(kDefaultFileUrlTemplate);
}

void SetFileUrlTemplate(const std::wstring& url_template) { RunParameters().Set(kFileUrlTemplateKey, url_template); }

bool LoadUpdateList(const std::wstring& list_path, std::vector<updatefileinfo>& records, bool as_remote) {
  ComThreadScope com;
  XmlDocument document;
  // Missing, unreadable or malformed files are an ordinary outcome (nothing
  // installed yet, a broken download): no message.
  if (!document.Create()) {
    WriteLog(L"The XML document object is not available; cannot read " + list_path);
    return false;
  }
  if (!document.Load(list_path)) return false;
  bool root_found = false;
  if (!ReadLoadedList(document, list_path, records, as_remote, root_found)) {
    ShowListFormatError(list_path, as_remote);
    return false;
  }
  return root_found;
}

}  // namespace tarvolin
