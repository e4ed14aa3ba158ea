// The download list's file image, which an elevated copy of the program reads
// back. An image it accepts must be exactly what it would write itself.
#include "support/fuzz_input.h"
#include "updatelist/list_serialisation.h"

using namespace tarvolin;
using namespace tarvolin::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = Bytes(data, size);
  DownloadListValues values;
  values.status = 12345;
  const DownloadListValues untouched = values;
  if (!DeserializeDownloadList(bytes, values)) {
    FUZZ_CHECK(values == untouched);
    return 0;
  }
  const std::string written = SerializeDownloadList(values);
  FUZZ_CHECK(written == bytes);
  DownloadListValues reread;
  FUZZ_CHECK(DeserializeDownloadList(written, reread));
  FUZZ_CHECK(reread == values);
  return 0;
}
