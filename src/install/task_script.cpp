#include "install/task_script.h"

#include <tlhelp32.h>

#include <array>
#include <utility>

#include "common/files.h"
#include "common/path_rules.h"
#include "common/strings.h"
#include "common/unique_handle.h"
#include "config/log.h"
#include "config/path_macros.h"
#include "config/settings.h"
#include "config/translation_loader.h"
#include "install/main_program.h"
#include "install/run_file.h"
#include "install/shortcuts.h"
#include "install/task_string.h"
#include "updatelist/xml_dom.h"

namespace tarvolin {
namespace {

// Status texts (translation keys).
constexpr wchar_t kRunText[] = L"Run";
constexpr wchar_t kMoveFileText[] = L"Move file:";
constexpr wchar_t kKillProcessText[] = L"Kill process";
constexpr wchar_t kCreateDirectoryText[] = L"Create directory";
constexpr wchar_t kRemoveFileText[] = L"Remove file";
constexpr wchar_t kRemovePathText[] = L"Remove path";
constexpr wchar_t kWriteIniText[] = L"Write ini[%s][%s][%s]";
constexpr wchar_t kEmptyIniText[] = L"Empty ini[%s][%s]";

// Element and attribute names of task scripts.
namespace script_names {
constexpr wchar_t kRun[] = L"run";
constexpr wchar_t kRen[] = L"ren";
constexpr wchar_t kRename[] = L"rename";
constexpr wchar_t kKill[] = L"kill";
constexpr wchar_t kPath[] = L"path";
constexpr wchar_t kDel[] = L"del";
constexpr wchar_t kShortcut[] = L"shortcut";
constexpr wchar_t kIni[] = L"ini";

constexpr wchar_t kFileAttribute[] = L"file";
constexpr wchar_t kParamAttribute[] = L"param";
constexpr wchar_t kWorkPathAttribute[] = L"workpath";
constexpr wchar_t kWaitCloseAttribute[] = L"waitclose";
constexpr wchar_t kSourceAttribute[] = L"source";
constexpr wchar_t kTargetAttribute[] = L"target";
constexpr wchar_t kNameAttribute[] = L"name";
constexpr wchar_t kPathAttribute[] = L"path";
constexpr wchar_t kShortcutAttribute[] = L"shortcut";
constexpr wchar_t kShortcutIconAttribute[] = L"shortcuticon";
constexpr wchar_t kIconIndexAttribute[] = L"iconindex";
constexpr wchar_t kAppAttribute[] = L"app";
constexpr wchar_t kKeyAttribute[] = L"key";
constexpr wchar_t kValueAttribute[] = L"value";
}  // namespace script_names

// A script may run another script; these bound what a careless or hostile
// script can make of it (a script naming itself, or absurdly deep nesting).
constexpr std::size_t kMaxScriptNesting = 16;
constexpr int kMaxElementDepth = 128;

// The window-closing procedure shared with the main-program shutdown.

// State of one top-level script run: where to report and which scripts are open.
struct ScriptRun {
  HWND report_window = nullptr;
  std::vector<std::wstring> open_scripts;  // lower-cased paths, outermost first
};

using ElementAction = void (*)(ScriptRun&, const XmlNode&);

std::wstring Bracketed(const std::wstring& text) { return L"[" + text + L"]"; }

std::wstring AttributeOf(const XmlNode& element, const wchar_t* name) {
  std::wstring value;
  if (!element.Attribute(name, value)) value.clear();
  return value;
}

std::wstring Resolved(const std::wstring& path) { return ResolvePath(ConfigurationFolder(), path); }

void LogSkipped(const wchar_t* element, const wchar_t* attribute) {
  WriteLog(FormatWide(L"Task element <%ls> skipped: attribute \"%ls\" is missing or empty", element, attribute));
}

bool RunScriptFile(ScriptRun& run, const std::wstring& path);
void RunElement(ScriptRun& run, const XmlNode& element, int depth);

void RunAction(ScriptRun& run, const XmlNode& element) {
  using namespace script_names;
  const std::wstring file = AttributeOf(element, kFileAttribute);
  if (file.empty()) return LogSkipped(kRun, kFileAttribute);
  const std::wstring path = Resolved(file);
  // Nested scripts stay inside this run so that a script cannot start itself again.
  if (IsTaskScriptName(path)) {
    RunScriptFile(run, path);
    return;
  }
  const std::wstring work_path = AttributeOf(element, kWorkPathAttribute);
  RunFile(path, AttributeOf(element, kParamAttribute), work_path.empty() ? std::wstring() : Resolved(work_path),
          ScriptRunWaits(AttributeOf(element, kWaitCloseAttribute)), run.report_window);
}

void RenameAction(ScriptRun& run, const XmlNode& element) {
  using namespace script_names;
  const std::wstring source_attribute = AttributeOf(element, kSourceAttribute);
  const std::wstring target_attribute = AttributeOf(element, kTargetAttribute);
  if (source_attribute.empty()) return LogSkipped(kRen, kSourceAttribute);
  if (target_attribute.empty()) return LogSkipped(kRen, kTargetAttribute);
  const std::wstring source = Resolved(source_attribute);
  const std::wstring target = Resolved(target_attribute);
  ReportTaskStatus(run.report_window, Translate(kMoveFileText) + L"[" + source + L"->" + target + L"]");
  if (!::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED)) {
    WriteLog(FormatWide(L"Move of [%ls] failed, error %lu", source.c_str(), ::GetLastError()));
  }
}

void KillAction(ScriptRun& run, const XmlNode& element) {
  using namespace script_names;
  const std::wstring file = AttributeOf(element, kFileAttribute);
  // An empty name would resolve to the whole application folder and match every program in it.
  if (file.empty()) return LogSkipped(kKill, kFileAttribute);
  const std::wstring path = Resolved(file);
  ReportTaskStatus(run.report_window, Translate(kKillProcessText) + Bracketed(path));
  KillProcessesByPath(path);
}

void CreateDirectoryAction(ScriptRun& run, const XmlNode& element) {
  using namespace script_names;
  const std::wstring name = AttributeOf(element, kNameAttribute);
  if (name.empty()) return LogSkipped(kPath, kNameAttribute);
  const std::wstring path = Resolved(name);
  ReportTaskStatus(run.report_window, Translate(kCreateDirectoryText) + Bracketed(path));
  if (!CreateDirectoryTree(path)) WriteLog(FormatWide(L"Directory [%ls] could not be created", path.c_str()));
}

void DeleteAction(ScriptRun& run, const XmlNode& element) {
  using namespace script_names;
  const std::wstring file = AttributeOf(element, kFileAttribute);
  if (!file.empty()) {
    const std::wstring path = Resolved(file);
    ReportTaskStatus(run.report_window, Translate(kRemoveFileText) + Bracketed(path));
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!::DeleteFileW(path.c_str())) {
      WriteLog(FormatWide(L"Removing [%ls] failed, error %lu", path.c_str(), ::GetLastError()));
    }
    return;
  }
  const std::wstring folder = AttributeOf(element, kPathAttribute);
  if (folder.empty()) return LogSkipped(kDel, L"file\" or \"path");
  const std::wstring path = Resolved(folder);
  ReportTaskStatus(run.report_window, Translate(kRemovePathText) + Bracketed(path));
  if (IsRootOrEmptyPath(path)) {
    WriteLog(FormatWide(L"Removing [%ls] refused: a whole drive or share is never removed", path.c_str()));
    return;
  }
  if (DirectoryExists(path)) DeleteTree(path);
}

void ShortcutAction(ScriptRun& run, const XmlNode& element) {
  using namespace script_names;
  const std::wstring link_attribute = AttributeOf(element, kShortcutAttribute);
  const std::wstring file_attribute = AttributeOf(element, kFileAttribute);
  if (link_attribute.empty()) return LogSkipped(kShortcut, kShortcutAttribute);
  if (file_attribute.empty()) return LogSkipped(kShortcut, kFileAttribute);
  const std::wstring link = Resolved(link_attribute);
  const std::wstring target = Resolved(file_attribute);
  const std::wstring icon_attribute = AttributeOf(element, kShortcutIconAttribute);
  const std::wstring icon = icon_attribute.empty() ? std::wstring() : Resolved(icon_attribute);
  ReportTaskStatus(run.report_window, ShortcutStatusText(link));
  CreateShortcut(target, FolderOf(target), link, icon, ParseIconIndex(AttributeOf(element, kIconIndexAttribute)));
}

void IniAction(ScriptRun& run, const XmlNode& element) {
  using namespace script_names;
  const std::wstring file_attribute = AttributeOf(element, kFileAttribute);
  const std::wstring section = AttributeOf(element, kAppAttribute);
  const std::wstring key = AttributeOf(element, kKeyAttribute);
  const std::wstring value = AttributeOf(element, kValueAttribute);
  if (file_attribute.empty()) return LogSkipped(kIni, kFileAttribute);
  if (section.empty()) return LogSkipped(kIni, kAppAttribute);
  // Without a key the system call would remove the whole section.
  if (key.empty()) return LogSkipped(kIni, kKeyAttribute);
  const std::wstring file = Resolved(file_attribute);
  const std::wstring file_name = LastPathComponent(file);
  BOOL written = FALSE;
  if (!value.empty()) {
    ReportTaskStatus(run.report_window,
                     FormatPlaceholders(Translate(kWriteIniText), {file_name, key, value}, Placeholders::kTextsOnly));
    written = ::WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), file.c_str());
  } else {
    ReportTaskStatus(run.report_window,
                     FormatPlaceholders(Translate(kEmptyIniText), {file_name, key}, Placeholders::kTextsOnly));
    written = ::WritePrivateProfileStringW(section.c_str(), key.c_str(), nullptr, file.c_str());
  }
  if (!written) WriteLog(FormatWide(L"Writing [%ls] failed, error %lu", file.c_str(), ::GetLastError()));
}

constexpr std::array<std::pair<std::wstring_view, ElementAction>, 8> kActions{{
    {script_names::kRun, &RunAction},
    {script_names::kRen, &RenameAction},
    {script_names::kRename, &RenameAction},
    {script_names::kKill, &KillAction},
    {script_names::kPath, &CreateDirectoryAction},
    {script_names::kDel, &DeleteAction},
    {script_names::kShortcut, &ShortcutAction},
    {script_names::kIni, &IniAction},
}};

void RunElement(ScriptRun& run, const XmlNode& element, int depth) {
  if (depth > kMaxElementDepth) {
    WriteLog(FormatWide(L"Task script nested deeper than %d elements; the rest is skipped", kMaxElementDepth));
    return;
  }
  std::wstring name;
  if (!element.Name(name)) {
    WriteLog(L"Task element without a readable name skipped");
    return;
  }
  if (ElementAction action = LookUp(kActions, std::wstring_view(name), ElementAction{nullptr})) {
    action(run, element);
    return;
  }
  std::vector<XmlNode> children;
  if (!element.Children(children)) {
    WriteLog(FormatWide(L"Children of task element <%ls> could not be read", name.c_str()));
    return;
  }
  for (const XmlNode& child : children) {
    bool is_element = false;
    if (child.IsElement(is_element) && is_element) RunElement(run, child, depth + 1);
  }
}

bool DocumentElement(const XmlDocument& document, XmlNode& root) {
  std::vector<XmlNode> top_level;
  if (!document.AsNode().Children(top_level)) return false;
  for (XmlNode& node : top_level) {
    bool is_element = false;
    if (node.IsElement(is_element) && is_element) {
      root = std::move(node);
      return true;
    }
  }
  return false;
}

bool RunScriptFile(ScriptRun& run, const std::wstring& path) {
  // Only local files: the document object would also fetch addresses.
  if (!FileExists(path) || DirectoryExists(path)) {
    WriteLog(FormatWide(L"Task script [%ls] not found", path.c_str()));
    return false;
  }
  const std::wstring key = ToLower(path);
  for (const std::wstring& open : run.open_scripts) {
    if (open == key) {
      WriteLog(FormatWide(L"Task script [%ls] is already running; not started again", path.c_str()));
      return false;
    }
  }
  if (run.open_scripts.size() >= kMaxScriptNesting) {
    WriteLog(FormatWide(L"Task script [%ls] not run: scripts nested more than %u deep", path.c_str(),
                        static_cast<unsigned>(kMaxScriptNesting)));
    return false;
  }
  ComThreadScope com;
  XmlDocument document;
  XmlNode root;
  if (!document.Create() || !document.Load(path) || !DocumentElement(document, root)) {
    WriteLog(FormatWide(L"Task script [%ls] could not be read as XML; nothing run", path.c_str()));
    return false;
  }
  run.open_scripts.push_back(key);
  RunElement(run, root, 0);
  run.open_scripts.pop_back();
  return true;
}

// --- Ending processes ---------------------------------------------------------

std::vector<DWORD> ProcessesRunningFrom(const std::wstring& path) {
  std::vector<DWORD> found;
  unique_hfile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return found;
  const DWORD self = ::GetCurrentProcessId();
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == 0 || entry.th32ProcessID == self) continue;
    const std::wstring image = ProcessProgramPath(entry.th32ProcessID);
    if (!image.empty() && IsPathOrInside(image, path)) found.push_back(entry.th32ProcessID);
  }
  return found;
}

void TerminateProcessById(DWORD process_id) {
  unique_handle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, process_id));
  if (process) ::TerminateProcess(process.get(), 0);
}

}  // namespace

bool RunTaskScript(const std::wstring& path, HWND report_window) {
  ScriptRun run;
  run.report_window = report_window;
  return RunScriptFile(run, path);
}

bool RunTaskString(const std::wstring& task, HWND report_window) {
  const TaskFields fields = SplitTaskString(task);
  const bool wait = TaskWaits(fields.wait_text);
  // Relative files are taken from the application folder, like every other task path,
  // rather than from whatever the current folder happens to be.
  const std::wstring file = fields.file.empty() ? std::wstring() : Resolved(fields.file);
  ReportTaskStatus(report_window, TaskStatusText(Translate(kRunText), file, fields.parameters, wait));
  if (file.empty() || !FileExists(file) || DirectoryExists(file)) return false;
  return StartWithShell(file, fields.parameters, std::wstring(), wait);
}

void RunTasks(const std::vector<std::wstring>& tasks, HWND report_window) {
  for (const std::wstring& task : tasks) RunTaskString(task, report_window);
}

int KillProcessesByPath(const std::wstring& path) {
  if (path.empty()) return 0;
  const std::vector<DWORD> processes = ProcessesRunningFrom(path);
  for (DWORD process_id : processes) {
    // A program without a window cannot be asked to close.
    CMainWindowIterator windows(process_id);
    windows.Collect();
    if (windows.Windows().empty()) {
      TerminateProcessById(process_id);
      continue;
    }
    for (HWND window : windows.Windows()) {
      if (::GetParent(window) == nullptr) CloseProcessWindow(window, process_id);
    }
  }
  return static_cast<int>(processes.size());
}

}  // namespace tarvolin
