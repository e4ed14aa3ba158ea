// Texts that travel to a window of this process with a window message. A
// message's parameter never carries the text's address: any program on the
// desktop can send the same message number with any number in it. The sender
// parks the text here for the time of its SendMessage and puts the parking
// key in the parameter; the window takes the text by message and key. A key
// that was not parked for that message (a forged or stale one) reads as no
// text, so a message from another process is dropped instead of read.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tarvolin {

class ParkedWindowText {
 public:
  // Parks `text` for `message` until the object goes.
  ParkedWindowText(UINT message, std::wstring text);
  ~ParkedWindowText();
  ParkedWindowText(const ParkedWindowText&) = delete;
  ParkedWindowText& operator=(const ParkedWindowText&) = delete;

  // The message parameter that names the text; never 0.
  UINT_PTR key() const noexcept { return key_; }

 private:
  UINT message_;
  UINT_PTR key_;
};

// The text parked for `message` under `key`, or nothing.
std::optional<std::wstring> ParkedText(UINT message, UINT_PTR key);

}  // namespace tarvolin
