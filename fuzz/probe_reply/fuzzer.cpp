// The version probe's reply, as the bytes come off the network (ANSI code
// page).
#include "support/fuzz_input.h"
#include "updatelist/probe_reply.h"

using namespace tarvolin;
using namespace tarvolin::fuzz;

namespace {
std::wstring DecodeAnsi(std::string_view bytes) { return AnsiToUnits(bytes); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::wstring> lines = ProbeReplyLines(Bytes(data, size), DecodeAnsi);
  FUZZ_CHECK(!lines.empty());
  const ProbeReply reply = ParseProbeReply(lines);
  // Every value runs up to the next tag, so none holds a "<".
  FUZZ_CHECK(reply.version.find(L'<') == std::wstring::npos);
  for (const std::wstring& mirror : reply.mirrors) FUZZ_CHECK(mirror.find(L'<') == std::wstring::npos);
  return 0;
}
