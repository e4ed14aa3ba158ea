// A book that insists on signed lists: a mirror whose list does not verify
// never wins the race, however fast it answers, and a version probe's reply
// that does not verify names no version and no mirror.
#include <gtest/gtest.h>

#include "check_fixture.h"
#include "common/files.h"
#include "config/settings.h"
#include "pipeline/check_procedure.h"
#include "pipeline/download_list.h"
#include "status/update_status.h"
#include "support/publisher_client.h"
#include "updatelist/list_cache_name.h"
#include "updatelist/list_retrieval.h"
#include "updatelist/list_signature.h"

namespace tarvolin {
namespace {

using testing::CheckTest;

constexpr char kMirrorList[] = R"(<update><file path="a.dll" ver="2.0"/></update>)";

class SignedMirrorTest : public CheckTest {
 protected:
  void PublishMirror(const std::string& name, const std::string& key_name) {
    Publish(name, kMirrorList);
    if (!key_name.empty()) {
      ASSERT_TRUE(testing::SignPublishedList(PathOf(name), key_name)) << name;
    }
  }
};

TEST_F(SignedMirrorTest, ThisProgramCarriesTheTestKey) {
  const ListSigningKey key = BookListSigningKey();
  EXPECT_TRUE(key.required);
  EXPECT_EQ(key.point.size(), kP256PublicKeyBytes);
}

TEST_F(SignedMirrorTest, OnlyAVerifiedMirrorWins) {
  WriteConfiguration();
  PublishMirror("fast/tarvolin.xml", "other");
  PublishMirror("slow/tarvolin.xml", "test");
  // The mirror signed by another key answers a second before the good one.
  ASSERT_TRUE(testing::SetFault(R"({"path": ")" + PathOf("slow/tarvolin.xml") +
                                R"(", "fault": "stall", "bytes": 0, "seconds": 1})"));
  SetProbeResults({L"", {UrlOf("fast/tarvolin.xml"), UrlOf("slow/tarvolin.xml")}});

  CheckThreadProc(nullptr);
  EXPECT_EQ(CurrentStatus(), UpdateCheckRemoteOk);
  EXPECT_EQ(MirrorWinner(), UrlOf("slow/tarvolin.xml"));
  EXPECT_EQ(DuePaths(), std::vector<std::wstring>{L"a.dll"});
}

TEST_F(SignedMirrorTest, NoVerifiedMirrorMeansNoList) {
  WriteConfiguration();
  PublishMirror("unsigned/tarvolin.xml", "");
  PublishMirror("garbage/tarvolin.xml", "test");
  Publish("garbage/tarvolin.xml.sig", std::string(64, '\x5A'));
  SetProbeResults({L"", {UrlOf("unsigned/tarvolin.xml"), UrlOf("garbage/tarvolin.xml")}});

  CheckThreadProc(nullptr);
  EXPECT_EQ(CurrentStatus(), UpdateCheckRemoteError);
  EXPECT_TRUE(MirrorWinner().empty());
  EXPECT_TRUE(DuePaths().empty());
  EXPECT_FALSE(FileExists(CachedListStem() + L".xml"));
}

TEST_F(SignedMirrorTest, AProbeReplyCountsOnlyWhenSigned) {
  constexpr char kReply[] = "<ver>5.1</ver><url>http://mirror.invalid/list.xml</url>";
  struct Case {
    const char* what;
    const char* key;  // "": left unsigned
    int status;
    const wchar_t* version;
  } cases[] = {
      {"signed", "test", UpdateCheckRemoteOk, L"5.1"},
      {"unsigned", "", UpdateCheckRemoteError, L""},
      {"signed by another key", "other", UpdateCheckRemoteError, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = std::string("probe-") + std::to_string(&c - cases) + ".txt";
    WriteConfiguration(L"CheckVerNumber=1\r\n");
    WriteSetting(sections::kUpdateInfo, L"ListURL", UrlOf(name));
    Publish(name, kReply);
    if (*c.key) {
      ASSERT_TRUE(testing::SignPublishedList(PathOf(name), c.key));
    }
    SetStatus(UpdateNone, nullptr);
    CheckEntry(nullptr);
    EXPECT_EQ(CurrentStatus(), c.status);
    EXPECT_EQ(ProbeVersion(), c.version);
    EXPECT_EQ(MirrorUrls().empty(), !*c.version);
  }
}

}  // namespace
}  // namespace tarvolin
