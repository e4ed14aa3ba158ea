// A release whose changed files come as patches against the installed ones,
// through the real program and the test publisher: the patched files go in
// byte for byte and only their patches travel; a reader's own edit, a patch
// damaged in transit and a patch whose result is not the listed file each end
// in the whole file, installed; a patch download cut short resumes.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "book_run.h"
#include "common/files.h"
#include "common/platform_crypto.h"
#include "common/text_encoding.h"
#include "support/publisher_client.h"
#include "support/temp_folder.h"
#include "updatelist/trust_rules.h"

namespace tarvolin {
namespace {

using namespace e2e;

constexpr DWORD kTimeoutMs = 300000;

// Bytes that do not compress: a whole file costs its size, a patch only the edits.
std::string Noise(unsigned seed, std::size_t size) {
  std::string bytes(size, '\0');
  unsigned state = seed * 2654435761u + 1;
  for (char& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 23);
  }
  return bytes;
}

// The next release of a file: a few small edits and some growth.
std::string Edited(std::string bytes, const std::string& mark) {
  for (std::size_t at = 5000; at + mark.size() < bytes.size(); at += 60000) bytes.replace(at, mark.size(), mark);
  return bytes + mark + Noise(99, 3000);
}

std::string PatchName(const std::string& file, const std::string& old_bytes) {
  const std::wstring sha = HexText(DigestOfBytes(DigestKind::kSha256, old_bytes).value_or(ByteString{}));
  return file + ".from-" + WideToAnsi(sha.substr(0, 16)) + ".zst";
}

class PatchedUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartBookServices(server_);
    if (!ServicesStarted()) return;
    ASSERT_TRUE(testing::PublisherAvailable());
    ASSERT_TRUE(testing::ResetPublisher());
    ServeBookFromPublisherFolder(*server_, "patched", L"ShowWhenCheck=false\r\n");
  }
  void TearDown() override { DeleteTree(BookFolder()); }

  void Publish(const std::string& folder, const std::map<std::string, std::string>& files) {
    for (const auto& [name, bytes] : files) ASSERT_TRUE(testing::PutPublishedFile(folder + "/" + name, bytes));
  }
  std::optional<DWORD> RunSilently() {
    StatusHost host;
    return testing::RunAndWaitPumping(Program() + host.SilenceArguments(), kTimeoutMs);
  }
  std::string Installed(const std::string& name) {
    return ReadWholeFile(InBook(AnsiToWide(name))).value_or("<missing>");
  }
  std::wstring Log() { return testing::ReadTextFile(InBook(L"inst.log")); }
  // Paths of files (not lists) that were sent in full or in part.
  std::set<std::string> Fetched() {
    std::set<std::string> paths;
    for (const auto& request : testing::PublisherLog())
      if (request.method == "GET" && request.status >= 200 && request.status < 300 &&
          request.path.find(".xml") == std::string::npos)
        paths.insert(request.path);
    return paths;
  }
  bool Logged(const std::wstring& line) { return Log().find(line) != std::wstring::npos; }

  std::unique_ptr<testing::LoopbackHttpServer> server_;
};

TEST_F(PatchedUpdateTest, ChangedFilesComeAsPatchesAndEveryFailureAsTheWholeFile) {
  const std::map<std::string, std::string> release1 = {
      {"app.exe", Noise(1, 400000)},     {"data.bin", Noise(2, 250000)}, {"edited.dat", Noise(3, 120000)},
      {"broken.bin", Noise(4, 150000)},  {"wrong.bin", Noise(5, 90000)}, {"same.txt", Noise(6, 1000)},
  };
  const std::string list1 =
      "<update><file path=\"app.exe\" ver=\"1\"/><file path=\"data.bin\" ver=\"1\"/>"
      "<file path=\"edited.dat\" ver=\"1\"/><file path=\"broken.bin\" ver=\"1\"/>"
      "<file path=\"wrong.bin\" ver=\"1\"/><file path=\"same.txt\" ver=\"1\"/></update>";
  Publish("patched", release1);
  Publish("patched-r1", release1);
  ASSERT_TRUE(testing::PutPublishedFile("patched/tarvolin.xml", list1));
  ASSERT_EQ(RunSilently(), std::optional<DWORD>(6)) << Log();
  for (const auto& [name, bytes] : release1) ASSERT_TRUE(Installed(name) == bytes) << name;

  // Release 2: every file but one changes; the publisher's tool adds the patches.
  std::map<std::string, std::string> release2;
  for (const auto& [name, bytes] : release1) release2[name] = name == "same.txt" ? bytes : Edited(bytes, "r2 " + name);
  Publish("patched", release2);
  ASSERT_TRUE(testing::PutPublishedFile(
      "patched/tarvolin.xml",
      "<update><file path=\"app.exe\" ver=\"2\"/><file path=\"data.bin\" ver=\"2\"/>"
      "<file path=\"edited.dat\" ver=\"2\"/><file path=\"broken.bin\" ver=\"2\"/>"
      "<file path=\"wrong.bin\" ver=\"2\"/><file path=\"same.txt\" ver=\"1\"/></update>"));
  ASSERT_TRUE(testing::AddPublishedPatches("patched/tarvolin.xml", "patched-r1", "patched"));
  // The publisher replaces wrong.bin after making its patch: the patch now
  // makes a file the list does not name.
  release2["wrong.bin"] = Edited(release1.at("wrong.bin"), "r2 replaced");
  Publish("patched", {{"wrong.bin", release2["wrong.bin"]}});
  ASSERT_TRUE(testing::FillPublishedDigests("patched/tarvolin.xml", "patched"));

  ASSERT_TRUE(testing::ResetPublisher());
  const std::string app_patch = "/patched/" + PatchName("app.exe", release1.at("app.exe"));
  const std::string broken_patch = "/patched/" + PatchName("broken.bin", release1.at("broken.bin"));
  const std::string wrong_patch = "/patched/" + PatchName("wrong.bin", release1.at("wrong.bin"));
  const std::string data_patch = "/patched/" + PatchName("data.bin", release1.at("data.bin"));
  // The app's patch is cut after 300 bytes once; the broken one is damaged in transit.
  ASSERT_TRUE(testing::SetFault("{\"path\": \"" + app_patch + "\", \"fault\": \"drop_after\", \"bytes\": 300, \"times\": 1}"));
  ASSERT_TRUE(testing::SetFault("{\"path\": \"" + broken_patch + "\", \"fault\": \"corrupt\"}"));
  // The reader's own edit: no patch was made from these bytes.
  std::string reader_edit = release1.at("edited.dat");
  reader_edit[100] ^= 1;
  ASSERT_TRUE(WriteWholeFile(InBook(L"edited.dat"), reader_edit));

  ASSERT_EQ(RunSilently(), std::optional<DWORD>(5)) << Log();
  for (const auto& [name, bytes] : release2) EXPECT_TRUE(Installed(name) == bytes) << name << "\n" << Log();

  const std::set<std::string> fetched = Fetched();
  const std::set<std::string> expected = {app_patch,          data_patch,          broken_patch, "/patched/broken.bin",
                                          wrong_patch,        "/patched/wrong.bin", "/patched/edited.dat"};
  EXPECT_EQ(fetched, expected) << Log();
  bool cut = false;
  for (const auto& request : testing::PublisherLog())
    cut |= request.path == app_patch && std::find(request.faults.begin(), request.faults.end(), "drop_after") !=
                                            request.faults.end();
  EXPECT_TRUE(cut) << "the cut never happened";

  EXPECT_TRUE(Logged(L"patch applied[app.exe]")) << Log();
  EXPECT_TRUE(Logged(L"patch applied[data.bin]")) << Log();
  EXPECT_TRUE(Logged(L"patch not used[edited.dat] no match, fetching the whole file")) << Log();
  EXPECT_TRUE(Logged(L"patch not used[broken.bin] decode error, fetching the whole file")) << Log();
  EXPECT_TRUE(Logged(L"patch not used[wrong.bin] digest mismatch, fetching the whole file")) << Log();
}

}  // namespace
}  // namespace tarvolin
