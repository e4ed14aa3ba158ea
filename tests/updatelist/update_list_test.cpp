#include "updatelist/update_list.h"

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "common/files.h"
#include "common/text_encoding.h"
#include "common/unique_handle.h"
#include "config/settings.h"
#include "support/temp_folder.h"
#include "support/ui_automation.h"

namespace tarvolin {
namespace {

using testing::DialogAnswerer;
using testing::TempFolder;

constexpr wchar_t kListUrl[] = L"http://lists.example/book/list.xml";

class UpdateListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::CoInitialize(nullptr);
    WriteSetting(sections::kUpdateInfo, L"ListURL", kListUrl);
  }
  void TearDown() override { ::CoUninitialize(); }

  std::wstring WriteList(const std::string& bytes, const std::wstring& name = L"tarvolin.xml") {
    std::wstring path = folder_ / name;
    EXPECT_TRUE(WriteWholeFile(path, bytes));
    return path;
  }

  TempFolder folder_;
};

std::string Xml(const std::string& body) { return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n" + body; }

TEST_F(UpdateListTest, DocumentsBecomeRecordsInDocumentOrder) {
  const std::vector<updatefileinfo> flat = {
      {.path = L"a.dll", .version = L"1.0"},
      {.path = L"bin\\b.exe", .version = L"2.0", .action = ActionRun},
  };
  struct Case {
    const char* what;
    std::string xml;
    std::vector<updatefileinfo> expected;
  } cases[] = {
      {"flat list",
       Xml("<update><file path=\"a.dll\" ver=\"1.0\"/><file path=\"bin\\b.exe\" ver=\"2.0\" oper=\"run\"/></update>"),
       flat},
      {"grouped under updates",
       Xml("<updates><group name=\"g\"><x><file path=\"a.dll\" ver=\"1.0\"/></x></group>"
           "<!-- c --><file path=\"bin|b.exe\" ver=\"2.0\" do=\"run\"/></updates>"),
       flat},
      {"root named tarvolin",
       Xml("<tarvolin><file Name=\"a.dll\" MD5=\"1.0\"/><file file=\"bin\\b.exe\" Ver=\"2.0\" Action=\"exe\"/>"
           "</tarvolin>"),
       {{.path = L"a.dll", .version = L"1.0", .md5 = L"1.0"}, flat[1]}},
      {"digests travel with their records",
       Xml("<update><file path=\"a.dll\" ver=\"1.0\" sha256=\"AB01\"/></update>"),
       {{.path = L"a.dll", .version = L"1.0", .sha256 = L"AB01"}}},
      {"attribute variants and address paths",
       Xml("<update>"
           "<file Path=\"a.dll\" path=\"b.dll\"/>"
           "<file path=\"\" Name=\"c.dll\"/>"
           "<file url=\"http://h/d/x.exe\"/>"
           "<file url=\"http://h/e/\"/>"
           "<file path=\"HTTPS://H/F/Big.Zip\"/>"
           "</update>"),
       {{.path = L"b.dll"},
        {.path = L"c.dll"},
        {.url = L"http://h/d/x.exe", .path = L"x.exe"},
        {.url = L"http://h/e/", .path = L"e"},
        {.url = L"HTTPS://H/F/Big.Zip", .path = L"Big.Zip"}}},
      {"duplicates differing in case: the first wins",
       Xml("<update><file path=\"Data\\A.bin\" ver=\"1\"/><file path=\"data\\a.BIN\" ver=\"2\"/>"
           "<file ver=\"3\"/><file ver=\"4\"/></update>"),
       {{.path = L"Data\\A.bin", .version = L"1"}, {.path = L"", .version = L"3"}}},
      {"action words",
       Xml("<update><file path=\"1\" oper=\"Reg,Boot\"/><file path=\"2\" OPER=\"unreg\"/>"
           "<file path=\"3\" DO=\"5\"/><file path=\"4\"/><file path=\"5\" ACTIVITY=\"32 del\"/></update>"),
       {{.path = L"1", .action = 0xC}, {.path = L"2", .action = 0x4}, {.path = L"3", .action = 0x5},
        {.path = L"4"}, {.path = L"5", .action = 0x22}}},
      {"version and path clean-up",
       Xml("<update><file path=\" lib|core.dll \" ver=\"  1.0.BETA \" DstName=\"Core|New.dll\"/></update>"),
       {{.path = L"lib\\core.dll", .dstName = L"Core|New.dll", .version = L"1.0.beta"}}},
      {"tasks, descriptions and nested files keep document order",
       Xml("<update><description>What is new:\nmore pages</description>"
           "<file path=\"outer.dat\"><file path=\"inner.dat\"/></file>"
           "<run path=\"setup.exe\" param=\"/s\" wait=\"yes\" key=\"k\"/>"
           "<run path=\"setup.exe\" param=\"/s\" wait=\"yes\" key=\"k\"/></update>"),
       {{.path = L"What is new:\r\nmore pages", .dstName = L"What is new:\r\nmore pages", .version = L"999",
         .action = DescriptionRecord},
        {.path = L"outer.dat"},
        {.path = L"inner.dat"},
        {.path = L"setup.exe9/s9yes9k", .dstName = L"setup.exe9/s9yes9k", .version = L"999", .action = TaskRecord},
        {.path = L"setup.exe9/s9yes9k", .dstName = L"setup.exe9/s9yes9k", .version = L"999",
         .action = TaskRecord}}},
      {"text outside ASCII",
       Xml("<update><file path=\"\xE4\xB9\xA6\\\xE7\xAB\xA0.txt\" ver=\"1\"/></update>"),
       {{.path = L"\x4E66\\\x7AE0.txt", .version = L"1"}}},
      {"document type named like the root",
       Xml("<!DOCTYPE update [<!ENTITY v \"2.0\">]><update><file path=\"a.dll\" ver=\"&v;\"/></update>"),
       {{.path = L"a.dll", .version = L"2.0"}}},
      {"root without records", Xml("<update><fileurl>http://x/{filename}</fileurl></update>"), {}},
  };
  DialogAnswerer unexpected_boxes(kListFormatErrorCaption, IDOK);
  for (const auto& c : cases) {
    std::vector<updatefileinfo> records;
    EXPECT_TRUE(LoadUpdateList(WriteList(c.xml), records, true)) << c.what;
    EXPECT_EQ(records, c.expected) << c.what;
  }
  EXPECT_TRUE(unexpected_boxes.Seen().empty());
}

TEST_F(UpdateListTest, PatchChildrenOfAFileBecomeItsOffers) {
  const std::string a(64, 'a'), b(64, 'b'), c(64, 'c'), file_sha(64, 'f');
  std::vector<updatefileinfo> records;
  ASSERT_TRUE(LoadUpdateList(
      WriteList(Xml("<update><file path=\"app.exe\" ver=\"2\" sha256=\"" + file_sha + "\">"
                    "<patch from=\"" + a + "\" url=\"app.exe.from-a.zst\" size=\"100\"/>"
                    "<group><patch from=\"" + b + "\" url=\"deeper.zst\" size=\"1\"/></group>"
                    "<patch from=\"" + c + "\" url=\"http://cdn.example/c.zst\" size=\"300\"></patch>"
                    "<patch from=\"bad\" url=\"x\" size=\"1\"/>"
                    "</file>"
                    "<file path=\"unverified.dll\" ver=\"2\"><patch from=\"" + a + "\" url=\"u.zst\" size=\"5\"/></file>"
                    "<patch from=\"" + a + "\" url=\"stray.zst\" size=\"5\"/>"
                    "</update>")),
      records, true));
  ASSERT_EQ(records.size(), 2u);
  // Only direct children count; malformed ones are left out.
  EXPECT_EQ(records[0].patches, (std::vector<PatchOffer>{{std::wstring(a.begin(), a.end()), L"app.exe.from-a.zst", 100},
                                                         {std::wstring(c.begin(), c.end()), L"http://cdn.example/c.zst", 300}}));
  // A file without a sha256 cannot have its patched result checked.
  EXPECT_TRUE(records[1].patches.empty());
}

TEST_F(UpdateListTest, RecordsAreAppendedAfterExistingOnes) {
  std::vector<updatefileinfo> records = {{.path = L"already.there"}};
  ASSERT_TRUE(LoadUpdateList(WriteList(Xml("<update><file path=\"already.there\"/></update>")), records, false));
  // The duplicate check covers one list, not the array it appends to.
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].path, L"already.there");
  EXPECT_EQ(records[1].path, L"already.there");
}

TEST_F(UpdateListTest, BadFilesFailQuietlyAndAddNothing) {
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty file", ""},
      {"truncated", Xml("<update><file path=\"a.dll\" ver=\"1\"/><file pa")},
      {"unclosed root", Xml("<update><file path=\"a.dll\"/>")},
      {"not XML", "PK\x03\x04\x14\0\0\0garbage\xFF\xFE"},
      {"plain text", "path=a.dll ver=1"},
      {"wrong root", Xml("<list><file path=\"a.dll\"/></list>")},
      {"root in other letter case", Xml("<Update><file path=\"a.dll\"/></Update>")},
      {"external entity", Xml("<!DOCTYPE update [<!ENTITY e SYSTEM \"file:///C:/windows/win.ini\">]>"
                              "<list>&e;</list>")},
  };
  DialogAnswerer unexpected_boxes(kListFormatErrorCaption, IDOK);
  for (const auto& c : cases) {
    for (bool remote : {true, false}) {
      std::vector<updatefileinfo> records = {{.path = L"kept"}};
      const std::size_t boxes_before = unexpected_boxes.Seen().size();
      EXPECT_FALSE(LoadUpdateList(WriteList(c.bytes), records, remote)) << c.what;
      EXPECT_EQ(unexpected_boxes.Seen().size(), boxes_before) << "box for " << c.what;
      ASSERT_EQ(records.size(), 1u) << c.what;
      EXPECT_EQ(records[0].path, L"kept");
    }
  }
  std::vector<updatefileinfo> records;
  EXPECT_FALSE(LoadUpdateList(folder_ / L"missing.xml", records, false));
  EXPECT_FALSE(LoadUpdateList(folder_.path(), records, true));  // a folder, not a file
  EXPECT_TRUE(records.empty());
  for (const auto& box : unexpected_boxes.Seen()) ADD_FAILURE() << "unexpected box: " << WideToUtf8(box.text);
}

TEST_F(UpdateListTest, DeeplyNestedListDoesNotExhaustTheStack) {
  std::string open, close;
  for (int i = 0; i < 20000; ++i) {
    open += "<g>";
    close += "</g>";
  }
  std::vector<updatefileinfo> records;
  // The parser may refuse such a document; either way the call comes back.
  if (LoadUpdateList(WriteList(Xml("<update>" + open + "<file path=\"deep.dat\"/>" + close + "</update>")), records,
                     true)) {
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].path, L"deep.dat");
  } else {
    EXPECT_TRUE(records.empty());
  }
}

TEST_F(UpdateListTest, FileUrlTemplateComesFromRemoteListsOnly) {
  const std::string with_template =
      Xml("<update><fileurl>http://cdn.example/{filename}</fileurl><file path=\"a\"/></update>");
  const std::string without_template = Xml("<update><file path=\"a\"/></update>");
  struct Case {
    const char* what;
    std::string xml;
    bool remote;
    std::wstring expected;
  } cases[] = {
      {"remote with template", with_template, true, L"http://cdn.example/{filename}"},
      // The installed list is read after the fetched one and leaves its template in place.
      {"installed with template", with_template, false, L"left over from an earlier list"},
      {"installed without template", without_template, false, L"left over from an earlier list"},
      {"remote without template", without_template, true, kDefaultFileUrlTemplate},
  };
  for (const auto& c : cases) {
    SetFileUrlTemplate(L"left over from an earlier list");
    std::vector<updatefileinfo> records;
    ASSERT_TRUE(LoadUpdateList(WriteList(c.xml), records, c.remote)) << c.what;
    EXPECT_EQ(FileUrlTemplate(), c.expected) << c.what;
  }
  // A file that never loads leaves the template alone.
  SetFileUrlTemplate(L"unchanged");
  std::vector<updatefileinfo> records;
  EXPECT_FALSE(LoadUpdateList(WriteList(Xml("<list/>")), records, true));
  EXPECT_EQ(FileUrlTemplate(), L"unchanged");
}

TEST_F(UpdateListTest, GuidIsRemovedAndTheListSavedBack) {
  const std::string with_guid =
      Xml("<update><guid>7c1d</guid><file path=\"a.dll\" ver=\"1\"/><g><guid>nested</guid></g></update>");
  for (bool remote : {true, false}) {
    std::wstring path = WriteList(with_guid);
    std::vector<updatefileinfo> first;
    ASSERT_TRUE(LoadUpdateList(path, first, remote));
    std::string saved = ReadWholeFile(path).value_or("");
    EXPECT_EQ(saved.find("7c1d"), std::string::npos) << saved;
    EXPECT_NE(saved.find("nested"), std::string::npos) << "only the root's own guid goes";
    std::vector<updatefileinfo> second;
    ASSERT_TRUE(LoadUpdateList(path, second, remote));
    EXPECT_EQ(second, first);
  }
  // Without a guid the file is not rewritten.
  const std::string plain = Xml("<update>\r\n  <file path='a.dll'   ver='1'/>\r\n</update>\r\n");
  std::wstring path = WriteList(plain);
  std::vector<updatefileinfo> records;
  ASSERT_TRUE(LoadUpdateList(path, records, true));
  EXPECT_EQ(ReadWholeFile(path).value_or(""), plain);
}

// A list whose walk succeeds but whose saving back fails: another process holds
// the file open for reading only, so the DOM's write is refused.
TEST_F(UpdateListTest, FailureAfterLoadingShowsTheFormatError) {
  struct Case {
    bool remote;
    std::wstring named;
  } cases[] = {{true, kListUrl}, {false, L""}};
  for (auto& c : cases) {
    std::wstring path = WriteList(Xml("<update><guid>g</guid><file path=\"a.dll\"/></update>"));
    if (c.named.empty()) c.named = path;
    unique_hfile reader(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader);

    DialogAnswerer boxes(kListFormatErrorCaption, IDOK);
    std::vector<updatefileinfo> records;
    EXPECT_FALSE(LoadUpdateList(path, records, c.remote));
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].text, c.named + L"\r\n" + kListFormatErrorText);
    // What was read before the failure stays.
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].path, L"a.dll");
  }
}

}  // namespace
}  // namespace tarvolin
