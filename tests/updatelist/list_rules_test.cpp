#include "updatelist/list_rules.h"

#include <gtest/gtest.h>

#include <map>

namespace tarvolin {
namespace {

// An element's attributes as a map; remembers which names were asked for.
struct FakeElement {
  std::map<std::wstring, std::wstring, std::less<>> attributes;
  std::vector<std::wstring> asked{};
  bool fail_on_first_read = false;

  AttributeReader Reader() {
    return [this](std::wstring_view name, std::wstring& value) {
      asked.emplace_back(name);
      if (fail_on_first_read) return false;
      auto it = attributes.find(name);
      value = it == attributes.end() ? std::wstring() : it->second;
      return true;
    };
  }
};

constexpr wchar_t kShaA[] = L"8f49e1c5ec6dbb9017d18ba0fffb9f22ab41163e99cab4780ae263d62f82b849";
constexpr wchar_t kShaB[] = L"23d0dfde9290cfe3bc27d7bcf7099f87c7f2e79b8445676a2e60b68ced50db2b";

TEST(ListRules, PatchElementsBecomeOffersOnlyWhenWhole) {
  const std::wstring upper_a = L" 8F49E1C5EC6DBB9017D18BA0FFFB9F22AB41163E99CAB4780AE263D62F82B849 ";
  struct Case {
    const char* what;
    std::map<std::wstring, std::wstring, std::less<>> attributes;
    std::optional<PatchOffer> offer;
  } cases[] = {
      {"complete", {{L"from", kShaA}, {L"url", L"a.exe.p.zst"}, {L"size", L"168375"}},
       PatchOffer{kShaA, L"a.exe.p.zst", 168375}},
      {"digest in capitals with blanks", {{L"from", upper_a}, {L"url", L" http://h/p.zst "}, {L"size", L"1"}},
       PatchOffer{kShaA, L"http://h/p.zst", 1}},
      {"size beyond 4 GiB", {{L"from", kShaA}, {L"url", L"p"}, {L"size", L"5000000000"}},
       PatchOffer{kShaA, L"p", 5000000000LL}},
      {"no from", {{L"url", L"p"}, {L"size", L"10"}}, std::nullopt},
      {"from too short", {{L"from", std::wstring(kShaA).substr(1)}, {L"url", L"p"}, {L"size", L"10"}}, std::nullopt},
      {"from not hex", {{L"from", std::wstring(63, L'a') + L"g"}, {L"url", L"p"}, {L"size", L"10"}}, std::nullopt},
      {"from with full-width digits",
       {{L"from", std::wstring(63, L'a') + L"\xFF11"}, {L"url", L"p"}, {L"size", L"10"}}, std::nullopt},
      {"no url", {{L"from", kShaA}, {L"size", L"10"}}, std::nullopt},
      {"no size", {{L"from", kShaA}, {L"url", L"p"}}, std::nullopt},
      {"size zero", {{L"from", kShaA}, {L"url", L"p"}, {L"size", L"0"}}, std::nullopt},
      {"size negative", {{L"from", kShaA}, {L"url", L"p"}, {L"size", L"-5"}}, std::nullopt},
      {"size with a unit", {{L"from", kShaA}, {L"url", L"p"}, {L"size", L"10k"}}, std::nullopt},
      {"size that overflows", {{L"from", kShaA}, {L"url", L"p"}, {L"size", L"99999999999999999999"}}, std::nullopt},
      {"names are case-sensitive", {{L"FROM", kShaA}, {L"URL", L"p"}, {L"Size", L"10"}}, std::nullopt},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeElement element{c.attributes};
    std::optional<PatchOffer> offer = PatchOffer{L"stale", L"stale", 9};
    ASSERT_TRUE(ReadPatchOffer(element.Reader(), offer));
    EXPECT_EQ(offer, c.offer);
  }
  FakeElement failing{{}, {}, true};
  std::optional<PatchOffer> offer;
  EXPECT_FALSE(ReadPatchOffer(failing.Reader(), offer));
}

TEST(ListRules, PatchOffersNeedTheFilesSha256AndOnePerRelease) {
  const PatchOffer from_a{kShaA, L"a.zst", 10}, from_a_again{kShaA, L"other.zst", 20}, from_b{kShaB, L"b.zst", 30};
  struct Case {
    const char* what;
    std::wstring sha256;
    std::vector<PatchOffer> added;
    std::vector<PatchOffer> kept;
  } cases[] = {
      {"two releases", kShaB, {from_a, from_b}, {from_a, from_b}},
      {"the first offer for a release wins", kShaB, {from_a, from_a_again, from_b}, {from_a, from_b}},
      {"no sha256: never verifiable", L"", {from_a, from_b}, {}},
      {"a sha256 that is none", L"not a digest", {from_a}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    updatefileinfo record{.path = L"a.exe", .sha256 = c.sha256};
    for (const PatchOffer& offer : c.added) AddPatchOffer(record, offer);
    EXPECT_EQ(record.patches, c.kept);
  }
}

TEST(ListRules, RootIsChosenByPreferenceNotPosition) {
  struct Case {
    std::vector<std::wstring> names;
    std::optional<std::size_t> root;
  } cases[] = {
      {{L"xml", L"update"}, 1},
      {{L"tarvolin", L"updates", L"update"}, 2},
      {{L"tarvolin", L"updates"}, 1},
      {{L"#comment", L"tarvolin"}, 1},
      {{L"Update", L"UPDATES", L"list"}, std::nullopt},  // names are case-sensitive
      {{}, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ChooseListRoot(c.names), c.root) << c.names.size();
}

TEST(ListRules, ElementKindsAreExactNames) {
  EXPECT_EQ(KindOfListElement(L"file"), ListElementKind::File);
  EXPECT_EQ(KindOfListElement(L"run"), ListElementKind::Task);
  EXPECT_EQ(KindOfListElement(L"description"), ListElementKind::Description);
  for (const wchar_t* other : {L"File", L"RUN", L"files", L"guid", L"fileurl", L"#text", L""})
    EXPECT_EQ(KindOfListElement(other), ListElementKind::Other) << other;
}

TEST(ListRules, ActionWordCombinesLeadingNumberAndWords) {
  struct Case {
    const wchar_t* text;
    std::uint32_t action;
  } cases[] = {
      {L"", 0},
      {L"Reg,Boot", ActionRegister | ActionBoot},
      {L"unreg", ActionRegister},
      {L"5", 0x5},
      {L"16", 0x10},
      {L"32", 0x20},
      {L"RUN", ActionRun},
      {L"setup.EXE", ActionRun},
      {L"delete", ActionDelete},
      {L"2del", ActionDelete},               // number and word name the same bit
      {L"16 run", 0x10 | ActionRun},
      {L"rundelregboot", 0xF},
      {L"x16", 0},                           // the number must lead
      {L"-5", 0},                            // a negative number means nothing
      {L"99999999999999999999", TaskRecord - 1},  // huge numbers stop at the top instead of wrapping
      // The record markers' values are no file action: the file stays a file.
      {L"2113929216", TaskRecord - 1},
      {L"2130706432", TaskRecord - 1},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseActionWord(c.text), c.action) << c.text;
}

TEST(ListRules, FirstNonEmptyVariantWinsAndLaterOnesAreNotRead) {
  struct Case {
    std::map<std::wstring, std::wstring, std::less<>> attributes;
    std::wstring path;
    std::size_t names_read;
  } cases[] = {
      {{{L"Path", L"a.dll"}, {L"path", L"b.dll"}}, L"b.dll", 1},
      {{{L"path", L""}, {L"Name", L"c.dll"}}, L"c.dll", 5},
      {{{L"name", L"d.dll"}, {L"File", L"e.dll"}}, L"e.dll", 3},
      {{}, L"", file_attributes::kPath.size()},
  };
  for (auto& c : cases) {
    FakeElement element{c.attributes};
    std::wstring value = L"stale";
    ASSERT_TRUE(ReadFirstNonEmpty(element.Reader(), file_attributes::kPath, value));
    EXPECT_EQ(value, c.path);
    EXPECT_EQ(element.asked.size(), c.names_read) << c.path;
  }
}

TEST(ListRules, FileNameFromUrl) {
  struct Case {
    const wchar_t* url;
    const wchar_t* name;
  } cases[] = {
      {L"http://host/d/x.exe", L"x.exe"},
      {L"http://host/d/", L"d"},
      {L"http://host\\d\\y.dll", L"y.dll"},
      {L"http://host//d//z.txt", L"z.txt"},
      {L"plain.bin", L"plain.bin"},
      {L"/", L""},
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(FileNameFromUrl(c.url), c.name) << c.url;
}

TEST(ListRules, FileRecordFromAttributes) {
  struct Case {
    const char* what;
    std::map<std::wstring, std::wstring, std::less<>> attributes;
    updatefileinfo expected;
  } cases[] = {
      {"plain file",
       {{L"path", L"bin\\a.dll"}, {L"ver", L"1.2"}, {L"oper", L"reg"}, {L"DesName", L"b.dll"}},
       {.path = L"bin\\a.dll", .dstName = L"b.dll", .version = L"1.2", .action = ActionRegister}},
      {"url only",
       {{L"url", L"http://h/d/x.exe"}, {L"md5", L"ABC"}},
       {.url = L"http://h/d/x.exe", .path = L"x.exe", .version = L"ABC", .md5 = L"ABC"}},
      {"version beats md5, which is then no digest of the file",
       {{L"path", L"a.dll"}, {L"Ver", L"2"}, {L"MD5", L"0123"}},
       {.path = L"a.dll", .version = L"2"}},
      {"capital MD5 is the version and the digest",
       {{L"path", L"a.dll"}, {L"MD5", L"0123"}},
       {.path = L"a.dll", .version = L"0123", .md5 = L"0123"}},
      {"sha256 beside a version",
       {{L"path", L"a.dll"}, {L"ver", L"3"}, {L"sha256", L"AB12"}},
       {.path = L"a.dll", .version = L"3", .sha256 = L"AB12"}},
      {"path that is an address in capitals",
       {{L"path", L"HTTPS://H/Dir/Setup.msi"}},
       {.url = L"HTTPS://H/Dir/Setup.msi", .path = L"Setup.msi"}},
      {"http path beats url attribute",
       {{L"path", L"http://h/p.dat"}, {L"URL", L"http://other/q.dat"}},
       {.url = L"http://h/p.dat", .path = L"p.dat"}},
      {"url with own path",
       {{L"Url", L"http://h/z.bin"}, {L"Name", L"data\\z.bin"}},
       {.url = L"http://h/z.bin", .path = L"data\\z.bin"}},
      {"shortcut fields",
       {{L"file", L"app.exe"}, {L"ShortCut", L"{desktop}\\App.lnk"}, {L"SHORTICON", L"app.ico"},
        {L"shortcuticonindex", L"3"}, {L"Activity", L"run"}},
       {.path = L"app.exe", .shortcut = L"{desktop}\\App.lnk", .shortcutIcon = L"app.ico", .iconIndex = L"3",
        .action = ActionRun}},
      {"nothing at all", {}, {}},
  };
  for (auto& c : cases) {
    FakeElement element{c.attributes};
    updatefileinfo record;
    ASSERT_TRUE(ReadFileRecord(element.Reader(), record)) << c.what;
    EXPECT_EQ(record, c.expected) << c.what;
  }
}

TEST(ListRules, FailingAttributeReadLeavesRecordUntouched) {
  FakeElement element{{{L"path", L"a.dll"}}};
  element.fail_on_first_read = true;
  updatefileinfo record{.path = L"keep"};
  EXPECT_FALSE(ReadFileRecord(element.Reader(), record));
  EXPECT_FALSE(ReadTaskRecord(element.Reader(), record));
  EXPECT_EQ(record.path, L"keep");
}

TEST(ListRules, TaskAndDescriptionRecords) {
  FakeElement run{{{L"path", L"setup.exe"}, {L"param", L"/s"}, {L"wait", L"yes"}, {L"key", L"k"},
                   {L"Path", L"ignored.exe"}}};
  updatefileinfo task;
  ASSERT_TRUE(ReadTaskRecord(run.Reader(), task));
  EXPECT_EQ(task, (updatefileinfo{.path = L"setup.exe9/s9yes9k", .dstName = L"setup.exe9/s9yes9k",
                                  .version = L"999", .action = TaskRecord}));

  FakeElement bare;
  ASSERT_TRUE(ReadTaskRecord(bare.Reader(), task));
  EXPECT_EQ(task.path, L"999");  // three separators, four empty fields

  updatefileinfo description = MakeDescriptionRecord(L"line one\nline two\n");
  EXPECT_EQ(description, (updatefileinfo{.path = L"line one\r\nline two\r\n", .dstName = L"line one\r\nline two\r\n",
                                         .version = L"999", .action = DescriptionRecord}));
}

TEST(ListRules, NormaliseForAppend) {
  struct Case {
    const wchar_t* version;
    const wchar_t* path;
    const wchar_t* version_out;
    const wchar_t* path_out;
  } cases[] = {
      {L"  1.0.A \t", L"a.dll", L"1.0.a", L"a.dll"},
      {L"D41D8CD9", L" plugins|x.dll ", L"d41d8cd9", L"plugins\\x.dll"},
      {L"", L"a|b|c", L"", L"a\\b\\c"},
  };
  for (const auto& c : cases) {
    updatefileinfo record{.path = c.path, .dstName = L"Keep|Me ", .version = c.version};
    NormaliseForAppend(record);
    EXPECT_EQ(record.version, c.version_out);
    EXPECT_EQ(record.path, c.path_out);
    EXPECT_EQ(record.dstName, L"Keep|Me ");
  }
}

TEST(ListRules, SeenPathsIgnoreLetterCase) {
  SeenPaths seen;
  EXPECT_TRUE(seen.Enter(L"Bin\\App.exe"));
  EXPECT_FALSE(seen.Enter(L"bin\\app.EXE"));
  EXPECT_TRUE(seen.Enter(L"bin\\app.exe.config"));
  EXPECT_TRUE(seen.Enter(L""));
  EXPECT_FALSE(seen.Enter(L""));  // at most one record without a path
}

TEST(ListRules, FormatErrorMessageNamesTheListOrNothing) {
  const std::wstring url = L"http://lists.example/book.xml", path = L"C:\\cfg\\tarvolin.xml", error = L"Broken!";
  EXPECT_EQ(ListFormatErrorMessage(true, url, path, true, error), url + L"\r\n" + error);
  EXPECT_EQ(ListFormatErrorMessage(true, url, path, false, error), url + L"\r\n" + error);
  EXPECT_EQ(ListFormatErrorMessage(false, url, path, true, error), path + L"\r\n" + error);
  EXPECT_EQ(ListFormatErrorMessage(false, url, path, false, error), std::nullopt);
}

TEST(ListRules, TimeOutPollsStayInRange) {
  struct Case {
    const wchar_t* setting;
    long long polls;
  } cases[] = {
      {L"60", 6000},
      {L"0", 0},
      {L"", 0},
      {L"-5", 0},
      {L"86400", 8640000},
      {L"86401", 8640000},
      {L"92233720368547759", 8640000},     // times 100 would wrap to a negative count
      {L"99999999999999999999", 8640000},  // saturates in the parser; must not wrap here
      {L"-99999999999999999999", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(PollsForTimeOut(c.setting), c.polls) << c.setting;
}

TEST(ListRules, RecordPathsStayInsideTheDownloadFolder) {
  struct Case {
    const wchar_t* path;
    bool contained;
  } cases[] = {
      {L"book.dat", true},          {L"reader\\book.dat", true}, {L"a/b/c.txt", true},
      {L"..book.dat", true},        {L"a..b\\c", true},          {L".\\book.dat", true},
      {L"", true},                  {L"..", false},                {L"..\\book.dat", false},
      {L"a\\..\\..\\b", false},     {L"a/../b", false},            {L"a\\..", false},
      {L"\\book.dat", false},       {L"/book.dat", false},         {L"\\\\server\\share\\x", false},
      {L"C:\\Windows\\x.dll", false}, {L"C:x.dll", false},         {L"book.dat:stream", false},
      {L"a\\.. \\b", false},        {L"a\\...\\b", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsContainedRecordPath(c.path), c.contained) << c.path;
}

}  // namespace
}  // namespace tarvolin
