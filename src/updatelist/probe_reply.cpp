#include "updatelist/probe_reply.h"

#include "common/strings.h"

namespace tarvolin {

std::vector<std::wstring> ProbeReplyLines(std::string_view bytes, ReplyDecoder decode) {
  std::vector<std::wstring> lines;
  std::size_t start = 0;
  while (start <= bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(decode(line));
    start = end + 1;
  }
  return lines;
}

ProbeReply ParseProbeReply(const std::vector<std::wstring>& lines) {
  std::wstring text;
  for (const auto& line : lines) text += line;
  text = Trim(text);
  text = ReplaceAll(ReplaceAll(text, L"Ver", L"ver"), L"VER", L"ver");
  text = ReplaceAll(ReplaceAll(text, L"URL", L"url"), L"Url", L"url");

  ProbeReply reply;
  const std::wstring ver_tag = L"<ver>";
  if (std::size_t at = text.find(ver_tag); at != std::wstring::npos) {
    std::size_t begin = at + ver_tag.size();
    std::size_t end = text.find(L'<', begin);
    if (end != std::wstring::npos && end > begin) reply.version = text.substr(begin, end - begin);
  }
  const std::wstring url_tag = L"<url>";
  for (std::size_t at = text.find(url_tag); at != std::wstring::npos; at = text.find(url_tag, at + 1)) {
    std::size_t begin = at + url_tag.size();
    std::size_t end = text.find(L'<', begin);
    if (end == std::wstring::npos) continue;  // a piece without a closing "<" adds nothing
    reply.mirrors.push_back(text.substr(begin, end - begin));
  }
  return reply;
}

}  // namespace tarvolin
