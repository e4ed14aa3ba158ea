#include "support/publisher_client.h"

#include <wininet.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "common/text_encoding.h"
#include "common/unique_handle.h"

namespace tarvolin::testing {
namespace {

constexpr wchar_t kPublisherVariable[] = L"TARVOLIN_PUBLISHER_URL";
constexpr wchar_t kNginxVariable[] = L"TARVOLIN_NGINX_URL";
constexpr char kControlFiles[] = "/__control/files";
constexpr char kControlFaults[] = "/__control/faults";
constexpr char kControlPostReplies[] = "/__control/post_replies";
constexpr char kControlReset[] = "/__control/reset";
constexpr char kControlLog[] = "/__control/log";
constexpr char kControlSign[] = "/__control/sign";
constexpr char kControlDigests[] = "/__control/digests";
constexpr char kControlPatches[] = "/__control/patches";
constexpr DWORD kReadPiece = 64 * 1024;

std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t buffer[1024];
  DWORD length = ::GetEnvironmentVariableW(name, buffer, static_cast<DWORD>(std::size(buffer)));
  if (length == 0 || length >= std::size(buffer)) return L"";
  return std::wstring(buffer, length);
}

// "http://host:port" -> host and port; false for anything else.
bool SplitBaseUrl(const std::wstring& base_url, std::wstring& host, INTERNET_PORT& port) {
  const std::wstring scheme = L"http://";
  if (base_url.compare(0, scheme.size(), scheme) != 0) return false;
  std::wstring rest = base_url.substr(scheme.size());
  if (std::size_t slash = rest.find(L'/'); slash != std::wstring::npos) rest.resize(slash);
  std::size_t colon = rest.rfind(L':');
  if (colon == std::wstring::npos) {
    host = rest;
    port = INTERNET_DEFAULT_HTTP_PORT;
    return !host.empty();
  }
  host = rest.substr(0, colon);
  wchar_t* end = nullptr;
  unsigned long value = std::wcstoul(rest.c_str() + colon + 1, &end, 10);
  if (host.empty() || end == rest.c_str() + colon + 1 || *end != L'\0' || value == 0 || value > 65535) return false;
  port = static_cast<INTERNET_PORT>(value);
  return true;
}

// Percent-encodes everything but unreserved characters and "/".
std::string EncodePath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::string WithLeadingSlash(const std::string& path) {
  return !path.empty() && path[0] == '/' ? path : "/" + path;
}

// A control request to the publisher; true on a 2xx answer.
bool Control(const std::wstring& method, const std::string& path, const std::string& body,
             std::string* answer = nullptr) {
  std::wstring base = PublisherUrl();
  if (base.empty()) return false;
  HttpExchangeOptions options;
  options.method = method;
  options.body = body;
  HttpExchangeResult result = HttpExchange(base, path, options);
  if (answer) *answer = result.body;
  return result.sent && result.body_ended && result.status >= 200 && result.status < 300;
}

// A small reader for the log: an array of flat objects whose values are strings,
// numbers or arrays of strings.
class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : text_(text) {}

  bool ReadLog(std::vector<PublisherRequest>& out) {
    if (!Take('[')) return false;
    if (Take(']')) return AtEnd();
    do {
      PublisherRequest request;
      if (!ReadRequest(request)) return false;
      out.push_back(std::move(request));
    } while (Take(','));
    return Take(']') && AtEnd();
  }

 private:
  bool ReadRequest(PublisherRequest& request) {
    if (!Take('{')) return false;
    if (Take('}')) return true;
    do {
      std::string key;
      if (!ReadString(key) || !Take(':')) return false;
      if (key == "length" && TakeNull()) {
        request.length = -1;
      } else if (key == "status" || key == "sent" || key == "length" || key == "connection") {
        long long number = 0;
        if (!ReadNumber(number)) return false;
        if (key == "status") request.status = static_cast<int>(number);
        else if (key == "sent") request.sent = number;
        else if (key == "length") request.length = number;
        else request.connection = number;
      } else if (key == "faults") {
        if (!ReadStringArray(request.faults)) return false;
      } else {
        std::string value;
        if (!ReadString(value)) return false;
        if (key == "method") request.method = value;
        else if (key == "path") request.path = value;
        else if (key == "range") request.range = value;
        else if (key == "user_agent") request.user_agent = value;
        else if (key == "body") request.body = value;
      }
    } while (Take(','));
    return Take('}');
  }

  bool TakeNull() {
    SkipSpace();
    if (text_.compare(pos_, 4, "null") != 0) return false;
    pos_ += 4;
    return true;
  }

  bool ReadStringArray(std::vector<std::string>& out) {
    if (!Take('[')) return false;
    if (Take(']')) return true;
    do {
      std::string value;
      if (!ReadString(value)) return false;
      out.push_back(value);
    } while (Take(','));
    return Take(']');
  }

  bool ReadNumber(long long& out) {
    SkipSpace();
    std::size_t start = pos_;
    if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
    while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    if (pos_ == start) return false;
    out = std::strtoll(text_.c_str() + start, nullptr, 10);
    return true;
  }

  bool ReadString(std::string& out) {
    if (!Take('"')) return false;
    while (pos_ < text_.size()) {
      char c = text_[pos_++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) return false;
      char escape = text_[pos_++];
      switch (escape) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          unsigned unit = 0;
          if (!ReadHex4(unit)) return false;
          if (unit >= 0xD800 && unit < 0xDC00) {
            unsigned low = 0;
            if (!Take('\\') || pos_ >= text_.size() || text_[pos_++] != 'u' || !ReadHex4(low)) return false;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(out, unit);
          break;
        }
        default: out += escape; break;  // \" \\ \/
      }
    }
    return false;
  }

  bool ReadHex4(unsigned& out) {
    if (pos_ + 4 > text_.size()) return false;
    char* end = nullptr;
    std::string digits = text_.substr(pos_, 4);
    out = static_cast<unsigned>(std::strtoul(digits.c_str(), &end, 16));
    if (end != digits.c_str() + 4) return false;
    pos_ += 4;
    return true;
  }

  static void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  void SkipSpace() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }
  bool Take(char c) {
    SkipSpace();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool AtEnd() {
    SkipSpace();
    return pos_ == text_.size();
  }

  const std::string& text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::wstring PublisherUrl() { return EnvironmentValue(kPublisherVariable); }
std::wstring NginxUrl() { return EnvironmentValue(kNginxVariable); }

::testing::AssertionResult PublisherAvailable() {
  if (PublisherUrl().empty() || NginxUrl().empty()) {
    return ::testing::AssertionFailure()
           << "TARVOLIN_PUBLISHER_URL and TARVOLIN_NGINX_URL are not set: run this test through ctest, "
              "whose publisher fixture starts the servers (the test needs tarvolin_uses_publisher() in "
              "its CMakeLists.txt)";
  }
  return ::testing::AssertionSuccess();
}

bool PutPublishedFile(const std::string& path, const std::string& bytes) {
  return Control(L"PUT", kControlFiles + EncodePath(WithLeadingSlash(path)), bytes);
}

bool DeletePublishedFile(const std::string& path) {
  return Control(L"DELETE", kControlFiles + EncodePath(WithLeadingSlash(path)), "");
}

bool SetFault(const std::string& json) { return Control(L"POST", kControlFaults, json); }
bool SetPostReply(const std::string& json) { return Control(L"POST", kControlPostReplies, json); }
bool ResetPublisher() { return Control(L"POST", kControlReset, ""); }

bool SignPublishedList(const std::string& path, const std::string& key_name) {
  return Control(L"POST", kControlSign, "{\"path\": " + JsonQuote(path) + ", \"key\": " + JsonQuote(key_name) + "}");
}

bool FillPublishedDigests(const std::string& list, const std::string& release) {
  return Control(L"POST", kControlDigests,
                 "{\"list\": " + JsonQuote(list) + ", \"release\": " + JsonQuote(release) + "}");
}

bool AddPublishedPatches(const std::string& list, const std::string& old_release, const std::string& new_release) {
  return Control(L"POST", kControlPatches,
                 "{\"list\": " + JsonQuote(list) + ", \"old\": " + JsonQuote(old_release) +
                     ", \"new\": " + JsonQuote(new_release) + "}");
}

std::string PublisherLogJson() {
  std::string answer;
  if (!Control(L"GET", kControlLog, "", &answer)) return "";
  return answer;
}

std::vector<PublisherRequest> PublisherLog() {
  std::string text = PublisherLogJson();
  std::vector<PublisherRequest> requests;
  if (!JsonReader(text).ReadLog(requests)) requests.clear();
  return requests;
}

std::string JsonQuote(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

HttpExchangeResult HttpExchange(const std::wstring& base_url, const std::string& path,
                                const HttpExchangeOptions& options) {
  HttpExchangeResult result;
  std::wstring host;
  INTERNET_PORT port = 0;
  if (!SplitBaseUrl(base_url, host, port)) {
    result.send_error = ERROR_INTERNET_INVALID_URL;
    return result;
  }
  unique_hinternet session(::InternetOpenW(options.user_agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!session) {
    result.send_error = ::GetLastError();
    return result;
  }
  if (options.receive_timeout_ms != 0) {
    DWORD timeout = options.receive_timeout_ms;
    ::InternetSetOptionW(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
  }
  unique_hinternet connection(
      ::InternetConnectW(session.get(), host.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) {
    result.send_error = ::GetLastError();
    return result;
  }
  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                      INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT;
  std::wstring object = Utf8ToWide(WithLeadingSlash(path));
  unique_hinternet request(::HttpOpenRequestW(connection.get(), options.method.c_str(), object.c_str(), nullptr,
                                              nullptr, nullptr, flags, 0));
  if (!request) {
    result.send_error = ::GetLastError();
    return result;
  }
  if (options.receive_timeout_ms != 0) {
    DWORD timeout = options.receive_timeout_ms;
    ::InternetSetOptionW(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
  }
  void* body = options.body.empty() ? nullptr : const_cast<char*>(options.body.data());
  if (!::HttpSendRequestW(request.get(), options.extra_headers.empty() ? nullptr : options.extra_headers.c_str(),
                          static_cast<DWORD>(options.extra_headers.size()), body,
                          static_cast<DWORD>(options.body.size()))) {
    result.send_error = ::GetLastError();
    return result;
  }
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!::HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
    result.send_error = ::GetLastError();
    return result;
  }
  result.sent = true;
  result.status = static_cast<int>(status);

  DWORD header_bytes = 0;
  ::HttpQueryInfoW(request.get(), HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &header_bytes, nullptr);
  if (header_bytes > 0) {
    std::wstring headers(header_bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD capacity = static_cast<DWORD>(headers.size() * sizeof(wchar_t));
    if (::HttpQueryInfoW(request.get(), HTTP_QUERY_RAW_HEADERS_CRLF, headers.data(), &capacity, nullptr)) {
      headers.resize(capacity / sizeof(wchar_t));
      result.raw_headers = WideToUtf8(headers);
    }
  }

  // InternetReadFile waits until it has all it asked for (or the end), and so
  // does Wine's InternetQueryDataAvailable in effect, as it reports the announced
  // length: a stalled or throttled body is read in the caller's small pieces.
  const DWORD piece_size = options.read_piece_bytes == 0 ? kReadPiece : options.read_piece_bytes;
  std::string piece(piece_size, '\0');
  while (options.stop_after_bytes == 0 || result.body.size() < options.stop_after_bytes) {
    DWORD want = piece_size;
    if (options.stop_after_bytes != 0) {
      want = std::min<DWORD>(want, static_cast<DWORD>(options.stop_after_bytes - result.body.size()));
    }
    DWORD got = 0;
    if (!::InternetReadFile(request.get(), piece.data(), want, &got)) {
      result.read_error = ::GetLastError();
      break;
    }
    if (got == 0) {
      result.body_ended = true;
      break;
    }
    result.body.append(piece.data(), got);
  }
  return result;
}

std::optional<std::string> HeaderValue(const HttpExchangeResult& result, const std::string& name) {
  auto lower = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  const std::string wanted = lower(name) + ":";
  std::size_t start = 0;
  while (start < result.raw_headers.size()) {
    std::size_t end = result.raw_headers.find("\r\n", start);
    if (end == std::string::npos) end = result.raw_headers.size();
    std::string line = result.raw_headers.substr(start, end - start);
    if (lower(line.substr(0, wanted.size())) == wanted) {
      std::size_t value = line.find_first_not_of(' ', wanted.size());
      return value == std::string::npos ? std::string() : line.substr(value);
    }
    start = end + 2;
  }
  return std::nullopt;
}

}  // namespace tarvolin::testing
