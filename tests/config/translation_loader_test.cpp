#include "config/translation_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/process_state.h"
#include "common/text_encoding.h"
#include "config/settings.h"
#include "resource_ids.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

using testing::TempFolder;
using testing::WriteTextFile;

constexpr int kSimplified = IDR_TRANSLATION_SIMPLIFIED_CHINESE;
constexpr int kTraditional = IDR_TRANSLATION_TRADITIONAL_CHINESE;

// Every text that the program passes through section "MAIN" and that the
// built-in tables must therefore carry.
const wchar_t* const kProgramMainTexts[] = {
    L"Tarvolin - Welcome", L"Tarvolin - Download", L"Tarvolin - Check local file", L"Tarvolin - Finish",
    L"Tarvolin - Renewal description", L"%d update files has %d locked", L"The xml file format error!",
    L"&Download info", L"&File info", L"Ary you sure?", L"Ver", L"Current version is:",
    L"can't to get [UNDATEINFO]-ListURL from tarvolin.ini",
    L"can't to get [UNDATEINFO]-ListURL from tarvolin.ini\nMake a sample?", L"Check locked file...",
    L"Copy from temporary directory", L"Copying files[%d/%d]...", L"unzip ok[%s]", L"unzip error[%s]",
    L"Do upgrade tasks", L"done",
    L"Download to temporary directory,after,will check local files,copy to run directory.mult thread one file.",
    L"try to download the list file...", L"Downloading to temporary directory...", L"Downloading error files...",
    L"Downloading, complete %d/%d, total thread %d ...", L"Error %d files,complete %d/%d",
    L"Download completed %d/%d.", L"Download completed %d/%d, error %d.", L"error when download the list file.",
    L"error when download the sub list file.", L"Examining the %d files,total of %d...", L"File is locked",
    L"Can't overwrite the file,Please close it.", L"file", L"Find main program [%s] not closed, Close it now?",
    L"Find nothing to update.", L"Found %d files need to update...", L"Need to restart your computer",
    L"No locked files", L"Register file", L"Remove file", L"Remove path", L"Run file", L"Create directory",
    L"Kill process", L"Step1:Check update files", L"Step2:Download to temporary directory",
    L"Step3:Check local files", L"Step4:Copy files and finish", L"Check update files",
    L"Download to temporary directory", L"Check local files", L"Copy files and finish",
    L"check update files,please wait...", L"The main program has closed", L"The main program has not closed",
    L"The target file:", L"The temporary file:", L"The URL:", L"Find no file need to upgraded.",
    L"This file is not to start the download", L"total", L"thread", L"Clear temp files",
    L"Update completed,done %d files", L"Upgrade completed, start the program %s.",
    L"Upgrade task is completed, this upgrade need to restart your computer, \nAre you sure?",
    L"Validation failed[%s]", L"Auto Next", L"Auto Finish", L"The shortcuts:", L"The Actions:", L"Run", L"Delete",
    L"Register", L"Roboot", L"Create shortcut[%s]...", L"update file[%s]", L"backup file error[%s]to[%s]",
    L"move file error[%s]to[%s]", L"copy file error[%s]to[%s]", L"Move file:", L"error[%s]", L"abort[%s]",
    L"done[%s]", L"Begin download,tryno:%d", L"Renewal description", L"Run the main program Immediately",
    L"Finish", L"Next", L"Start", L"update finished",
    L"At AppEnter mode,You must set Application in tarvolin.ini file.", L"Visit tarvolin website", L"Skin",
    L"%d updates found at the website,now to upgrade?", L"found new version at the website,now to upgrade?",
    L"Ok,Your changes will run in next.", L"Wizard-style interface",
    L"Your url of the remote xml file contains some inappropriate characters,please fix it,otherwise,may be "
    L"happen some error.",
    L"Download threads", L"Ok", L"Exit", L"Write ini[%s][%s][%s]", L"Empty ini[%s][%s]",
    L"request administrator privileges to continue", L"continue update as administrator",
    L"Can't delete the file\n%s\nRequest run as administrator.\nRestart program now?",
    L"Can't write to file\n%s\nRequest run as administrator.\nRestart program now?",
    L"Can't connection update server!", L"tarvolin.ini -> UPDATEINFO -> ListURL can't empty",
    L"You must install .Net Framework 1.0 to run main application.", L"Install NET Framework 2.0", L"Download",
    L"Install", L"Your software will need to install NET Framework 2.0,\nPlease download it and install.",
    L"NET Framework 2.0 download is complete,\nPlease install it.",
    L"NET Framework 2.0 download failed,\nPlease download again.",
    L"Can't find the file that you set Application in tarvolin.ini file.",
    L"Find some errors when check local file,\nCheck again?", L"tarvolin.lan",
};

const wchar_t* const kTrayTexts[] = {L"Show check window", L"Update Center", L"Check again",
                                     L"Update", L"Update after %d seconds.", L"Cancel"};

// The printf conversions of a text in order ("%d", "%s", ...); "%%" is no conversion.
std::vector<std::wstring> Conversions(const std::wstring& text) {
  std::vector<std::wstring> found;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'%') continue;
    std::size_t j = i + 1;
    while (j < text.size() && wcschr(L"-+ #0123456789.lh", text[j])) ++j;
    if (j < text.size() && text[j] != L'%') found.push_back(text.substr(i, j - i + 1));
    i = j;
  }
  return found;
}

// Runs the body with the calling thread's ANSI code page taken from `locale`.
class ThreadLocaleScope {
 public:
  explicit ThreadLocaleScope(LCID locale) : saved_(::GetThreadLocale()) { ::SetThreadLocale(locale); }
  ~ThreadLocaleScope() { ::SetThreadLocale(saved_); }

 private:
  LCID saved_;
};

unsigned ThreadAnsiCodePage() {
  wchar_t digits[8] = {};
  ::GetLocaleInfoW(::GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE, digits, 8);
  return static_cast<unsigned>(_wtoi(digits));
}

class TranslationLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override { ProcessTranslationTable().Clear(); }
  void TearDown() override { ProcessTranslationTable().Clear(); }

  static CLanguage::SectionTable LoadedSection(int id, const wchar_t* section) {
    ProcessTranslationTable().Clear();
    EXPECT_TRUE(LoadTranslationResource(id));
    const CLanguage::SectionTable* table = ProcessTranslationTable().FindSection(section);
    return table ? *table : CLanguage::SectionTable();
  }
};

TEST_F(TranslationLoaderTest, TrayRowsOfTheSimplifiedTable) {
  ASSERT_TRUE(LoadTranslationResource(kSimplified));
  struct Row {
    const wchar_t* key;
    const wchar_t* value;
  } rows[] = {
      {L"Show check window", L"显示检查窗口"}, {L"Update Center", L"升级中心"}, {L"Check again", L"重新检查"},
      {L"Update", L"立即升级"},  {L"Update after %d seconds.", L"%d秒后更新."}, {L"Cancel", L"取消"},
  };
  for (const auto& row : rows) EXPECT_EQ(Translate(L"TRYICON", row.key), row.value) << row.key;
  // The tray's countdown text lives in its own section only.
  EXPECT_EQ(Translate(L"MAIN", L"Update after %d seconds."), L"Update after %d seconds.");
}

TEST_F(TranslationLoaderTest, KnownRowsOfBothTables) {
  struct Row {
    int id;
    const wchar_t* key;
    const wchar_t* value;
  } rows[] = {
      {kSimplified, L"Tarvolin", L"Tarvolin"},
      {kSimplified, L"Ary you sure?", L"确认吗?"},
      {kSimplified, L"Roboot", L"重启计算机"},
      {kSimplified, L"tarvolin.lan", L"tarvolincn.lan"},
      {kSimplified, L"Can't write to file\n%s\nRequest run as administrator.\nRestart program now?",
       L"没能改写文件\n%s\n改写该文件需要管理员权限\n重启程序,并以管理员身份运行吗？"},
      {kTraditional, L"Tarvolin", L"Tarvolin"},
      {kTraditional, L"Ary you sure?", L"確認嗎?"},
      {kTraditional, L"Roboot", L"重啟電腦"},
      {kTraditional, L"tarvolin.lan", L"tarvolinbig.lan"},
      {kTraditional, L"Update", L"Update"},  // tray texts are not in "MAIN"
  };
  for (const auto& row : rows) {
    ProcessTranslationTable().Clear();
    ASSERT_TRUE(LoadTranslationResource(row.id));
    EXPECT_EQ(Translate(L"MAIN", row.key), row.value) << row.id << L" " << row.key;
  }
}

TEST_F(TranslationLoaderTest, BuiltInTablesCoverEveryProgramText) {
  for (int id : {kSimplified, kTraditional}) {
    CLanguage::SectionTable main = LoadedSection(id, L"MAIN");
    for (const wchar_t* text : kProgramMainTexts) {
      auto row = main.find(text);
      ASSERT_NE(row, main.end()) << id << L" lacks: " << text;
      EXPECT_NE(row->second, text) << id << L" leaves untranslated: " << text;
    }
    CLanguage::SectionTable tray = LoadedSection(id, L"TRYICON");
    EXPECT_EQ(tray.size(), std::size(kTrayTexts)) << id;
    for (const wchar_t* text : kTrayTexts) EXPECT_NE(tray.count(text), 0u) << id << L" lacks: " << text;
  }
}

TEST_F(TranslationLoaderTest, BuiltInTablesAgreeAndKeepPlaceholders) {
  for (const wchar_t* section : {L"MAIN", L"TRYICON"}) {
    CLanguage::SectionTable simplified = LoadedSection(kSimplified, section);
    CLanguage::SectionTable traditional = LoadedSection(kTraditional, section);
    std::set<std::wstring> simplified_keys, traditional_keys;
    for (const auto& [key, value] : simplified) simplified_keys.insert(key);
    for (const auto& [key, value] : traditional) traditional_keys.insert(key);
    EXPECT_EQ(simplified_keys, traditional_keys) << section;

    for (const auto* table : {&simplified, &traditional}) {
      for (const auto& [key, value] : *table) {
        EXPECT_FALSE(value.empty()) << key;
        // A translation that reorders or drops a conversion would break the
        // printf-style formatting that callers apply afterwards.
        EXPECT_EQ(Conversions(value), Conversions(key)) << key << L" -> " << value;
        EXPECT_EQ(std::count(value.begin(), value.end(), L'\n'), std::count(key.begin(), key.end(), L'\n'))
            << key;
      }
    }
  }
}

TEST_F(TranslationLoaderTest, BuiltInTablesReadTheSameUnderEveryCodePage) {
  // Western, Cyrillic, simplified-Chinese and Japanese ANSI code pages.
  const LCID locales[] = {0x0409, 0x0419, 0x0804, 0x0411};
  std::set<unsigned> code_pages;
  for (LCID locale : locales) {
    ThreadLocaleScope scope(locale);
    code_pages.insert(ThreadAnsiCodePage());
    ProcessTranslationTable().Clear();
    ASSERT_TRUE(LoadTranslationResource(kSimplified));
    EXPECT_EQ(Translate(L"MAIN", L"Roboot"), L"重启计算机") << locale;
    ProcessTranslationTable().Clear();
    ASSERT_TRUE(LoadTranslationResource(kTraditional));
    EXPECT_EQ(Translate(L"MAIN", L"Ary you sure?"), L"確認嗎?") << locale;
  }
  // The loop really ran under different code pages.
  EXPECT_EQ(code_pages.size(), std::size(locales));
  // And the default one of this test run is not a Chinese one.
  EXPECT_NE(::GetACP(), 936u);
  EXPECT_NE(::GetACP(), 950u);
}

TEST_F(TranslationLoaderTest, FilesAreReadInTheThreadCodePage) {
  TempFolder folder;
  struct Case {
    LCID locale;
    const wchar_t* text;
  } cases[] = {
      {0x0409, L"Schließen"},
      {0x0419, L"Закрыть"},
      {0x0804, L"关闭程序"},
  };
  for (const auto& c : cases) {
    ThreadLocaleScope scope(c.locale);
    const std::string bytes = WideToAnsi(std::wstring(L"[MAIN]\r\nExit=") + c.text + L"\r\n");
    // Were the file read as UTF-8 these bytes would not give the text back.
    ASSERT_NE(bytes, WideToUtf8(std::wstring(L"[MAIN]\r\nExit=") + c.text + L"\r\n")) << c.locale;
    const std::wstring path = folder / L"exit.lan";
    ASSERT_TRUE(WriteWholeFile(path, bytes));
    ProcessTranslationTable().Clear();
    ASSERT_TRUE(LoadTranslationFile(path));
    EXPECT_EQ(Translate(L"MAIN", L"Exit"), c.text) << c.locale;
  }
}

TEST_F(TranslationLoaderTest, UnreadableSourcesLeaveTheTableAsItWas) {
  TempFolder folder;
  WriteTextFile(folder / L"base.lan", L"[MAIN]\r\nExit=Ende\r\n");
  ASSERT_TRUE(LoadTranslationFile(folder / L"base.lan"));

  EXPECT_FALSE(LoadTranslationFile(folder / L"missing.lan"));
  EXPECT_FALSE(LoadTranslationFile(folder.path()));
  EXPECT_FALSE(LoadTranslationFile(folder.path() + L"\\"));
  EXPECT_FALSE(LoadTranslationFile(L""));
  EXPECT_FALSE(LoadTranslationResource(4711));

  EXPECT_EQ(Translate(L"MAIN", L"Exit"), L"Ende");
  EXPECT_EQ(ProcessTranslationTable().FindSection(L"MAIN")->size(), 1u);
}

TEST_F(TranslationLoaderTest, FileOnTopOfBuiltInTableReplacesOnlyItsKeys) {
  TempFolder folder;
  WriteTextFile(folder / L"own.lan", L"[MAIN]\r\nRoboot=Neustart\r\n");
  ASSERT_TRUE(LoadTranslationResource(kSimplified));
  ASSERT_TRUE(LoadTranslationFile(folder / L"own.lan"));
  EXPECT_EQ(Translate(L"MAIN", L"Roboot"), L"Neustart");
  EXPECT_EQ(Translate(L"MAIN", L"Ary you sure?"), L"确认吗?");
  EXPECT_EQ(Translate(L"TRYICON", L"Cancel"), L"取消");
}

// Start-up reads the configuration of a book folder of its own.
class StartupTranslationTest : public TranslationLoaderTest {
 protected:
  void SetUp() override {
    TranslationLoaderTest::SetUp();
    saved_folder_ = StoredConfigurationFolder();
    saved_base_name_ = ExeBaseName();
    RunParameters().Clear();
    SetConfigurationFolder(book_.path() + L"\\");
    SetExeBaseName(L"mybook");
  }
  void TearDown() override {
    RunParameters().Clear();
    SetConfigurationFolder(saved_folder_);
    SetExeBaseName(saved_base_name_);
    TranslationLoaderTest::TearDown();
  }

  TempFolder book_;
  std::wstring saved_folder_;
  std::wstring saved_base_name_;
};

TEST_F(StartupTranslationTest, ConfiguredNamesChooseTheTables) {
  struct File {
    const wchar_t* name;
    const wchar_t* text;
  };
  struct Lookup {
    const wchar_t* key;
    const wchar_t* expected;
  };
  struct Case {
    const char* what;
    const wchar_t* settings;
    std::vector<File> files;
    std::vector<Lookup> lookups;
  } cases[] = {
      {"built-in simplified table, any letter case",
       L"Langage=TarvolinCN.lan\r\n",
       {},
       {{L"Roboot", L"重启计算机"}, {L"Exit", L"退出"}}},
      {"Language is used when Langage is empty",
       L"Langage=\r\nLanguage=tarvolinbig.lan\r\n",
       {},
       {{L"Roboot", L"重啟電腦"}}},
      {"Langage wins over Language",
       L"Langage=tarvolinbig.lan\r\nLanguage=tarvolincn.lan\r\n",
       {},
       {{L"Roboot", L"重啟電腦"}}},
      {"a file of the book folder, name lower-cased",
       L"Language=German.LAN\r\n",
       {{L"german.lan", L"[MAIN]\r\nExit=Beenden\r\nNext=Weiter\r\n"}},
       {{L"Exit", L"Beenden"}, {L"Roboot", L"Roboot"}}},
      {"the program's own file overrides the chosen table",
       L"Langage=tarvolincn.lan\r\n",
       {{L"mybook.lan", L"[MAIN]\r\nExit=Quit now\r\n"}},
       {{L"Exit", L"Quit now"}, {L"Next", L"下一步"}}},
      {"the program's own file overrides a chosen file",
       L"Langage=german.lan\r\n",
       {{L"german.lan", L"[MAIN]\r\nExit=Beenden\r\nNext=Weiter\r\n"}, {L"mybook.lan", L"[MAIN]\r\nExit=Quit now\r\n"}},
       {{L"Exit", L"Quit now"}, {L"Next", L"Weiter"}}},
      {"no name: only the program's own file",
       L"",
       {{L"mybook.lan", L"[MAIN]\r\nExit=Quit now\r\n"}},
       {{L"Exit", L"Quit now"}, {L"Roboot", L"Roboot"}}},
      {"named file missing: English texts",
       L"Langage=nowhere.lan\r\n",
       {},
       {{L"Exit", L"Exit"}}},
  };
  for (const auto& c : cases) {
    RunParameters().Clear();
    ProcessTranslationTable().Clear();
    for (const wchar_t* name : {L"german.lan", L"mybook.lan"}) ::DeleteFileW((book_ / name).c_str());
    WriteTextFile(book_ / kConfigurationFileName, std::wstring(L"[Tarvolin]\r\n") + c.settings);
    for (const auto& file : c.files) WriteTextFile(book_ / file.name, file.text);

    LoadStartupTranslation();

    for (const auto& lookup : c.lookups) EXPECT_EQ(Translate(L"MAIN", lookup.key), lookup.expected) << c.what;
  }
}

class TranslateWindowTest : public TranslationLoaderTest {
 protected:
  void SetUp() override {
    TranslationLoaderTest::SetUp();
    ProcessTranslationTable().Merge("[MAIN]\nDownload=Herunterladen\nCancel=Abbrechen\nInstall=Installieren\n",
                                    Utf8ToWide);
    parent_ = Create(L"Download", nullptr, WS_OVERLAPPEDWINDOW);
    cancel_ = Create(L"Cancel", parent_, WS_CHILD);
    unknown_ = Create(L"Unknown", parent_, WS_CHILD);
    empty_ = Create(L"", parent_, WS_CHILD);
    grandchild_ = Create(L"Install", cancel_, WS_CHILD);
  }
  void TearDown() override {
    if (parent_) ::DestroyWindow(parent_);
    TranslationLoaderTest::TearDown();
  }

  static HWND Create(const wchar_t* caption, HWND parent, DWORD style) {
    HWND window = ::CreateWindowExW(0, L"STATIC", caption, style, 0, 0, 100, 20, parent, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
    EXPECT_NE(window, nullptr);
    return window;
  }
  static std::wstring Caption(HWND window) {
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return text;
  }

  HWND parent_ = nullptr, cancel_ = nullptr, unknown_ = nullptr, empty_ = nullptr, grandchild_ = nullptr;
};

TEST_F(TranslateWindowTest, TranslatesTheWindowAndItsDirectChildren) {
  TranslateWindow(parent_, L"MAIN");
  EXPECT_EQ(Caption(parent_), L"Herunterladen");
  EXPECT_EQ(Caption(cancel_), L"Abbrechen");
  EXPECT_EQ(Caption(unknown_), L"Unknown");
  EXPECT_EQ(Caption(empty_), L"");
  EXPECT_EQ(Caption(grandchild_), L"Install");  // not deeper than the direct children
}

TEST_F(TranslateWindowTest, DoesNothingWithoutSectionOrWindow) {
  TranslateWindow(parent_, L"");
  TranslateWindow(parent_, L"TRYICON");
  EXPECT_EQ(Caption(parent_), L"Download");
  EXPECT_EQ(Caption(cancel_), L"Cancel");

  HWND gone = Create(L"Cancel", nullptr, WS_OVERLAPPED);
  ::DestroyWindow(gone);
  TranslateWindow(gone, L"MAIN");
  TranslateWindow(nullptr, L"MAIN");
  EXPECT_EQ(Caption(cancel_), L"Cancel");
}

}  // namespace
}  // namespace tarvolin
