// The address of the e-book's reading page and the window title, from the
// values the host window reads at start. Window-free.
#pragma once

#include <optional>
#include <string>

namespace tarvolin {

struct ReadingPageValues {
  std::wstring server;              // scheme://host[:port] of the publisher's web server
  bool login_page_reached = false;  // the connectivity probe's answer
  std::wstring ebook_id;
  std::wstring agent;
  std::wstring machine_id;
  std::wstring old_machine_id;
  std::optional<std::wstring> package_id;  // from the launcher files; none without them
};

// The page the host window shows. The values go in exactly as they are: the
// publisher's pages read them unescaped. An unreachable login page selects the
// "NoDns" variant of the page, which copes without the publisher's services.
std::wstring ReadingPageAddress(const ReadingPageValues& values);

// Used when [APPLICATION] Application is empty.
inline constexpr wchar_t kDefaultHostTitle[] = L"布伦诺克电子书";
// The window title and the prefix of the load watchdog's captions: the
// configured application name with every ".exe" taken out.
std::wstring HostTitleFrom(const std::wstring& application);

}  // namespace tarvolin
