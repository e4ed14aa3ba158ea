// The patch decoder against real patches made by zstd's command (see
// make_patch_fixtures.py): the result byte for byte, every kind of bad patch,
// the memory cap at its edges, and the file wrapper's cleanup.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "archive/patch_decoder.h"
#include "archive/patch_file.h"
#include "common/files.h"
#include "support/process.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

std::wstring PatchFixture(const std::wstring& name) {
  return testing::BuildOutputFolder() + L"\\patch_fixtures\\" + name;
}
std::string Fixture(const std::wstring& name) { return ReadWholeFile(PatchFixture(name)).value_or("<missing>"); }

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

struct Decoded {
  PatchOutcome outcome;
  std::string output;
};

// Feeds the patch in pieces of `piece` bytes, so the header and the frame
// arrive split at every kind of place.
Decoded Decode(const std::string& reference, const std::string& patch, std::size_t piece,
               std::uint64_t cap = kPatchMemoryCap) {
  std::size_t at = 0;
  Decoded result{PatchOutcome::kApplied, {}};
  auto input = [&](std::uint8_t* buffer, std::size_t capacity) -> long long {
    const std::size_t count = std::min({capacity, piece, patch.size() - at});
    std::memcpy(buffer, patch.data() + at, count);
    at += count;
    return static_cast<long long>(count);
  };
  auto output = [&](const std::uint8_t* bytes, std::size_t count) {
    result.output.append(reinterpret_cast<const char*>(bytes), count);
    return true;
  };
  result.outcome = ApplyPatch(Bytes(reference), input, output, cap);
  return result;
}

TEST(PatchDecoder, RebuildsTheNewReleaseWhateverPiecesTheInputComesIn) {
  const std::string old_release = Fixture(L"old.bin"), new_release = Fixture(L"new.bin");
  ASSERT_GT(new_release.size(), 400000u);
  for (const wchar_t* patch : {L"good.patch", L"no_checksum.patch"}) {
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{1} << 20}) {
      SCOPED_TRACE(::testing::Message() << patch << " in pieces of " << piece);
      Decoded decoded = Decode(old_release, Fixture(patch), piece);
      EXPECT_EQ(decoded.outcome, PatchOutcome::kApplied);
      EXPECT_TRUE(decoded.output == new_release) << decoded.output.size() << " bytes";
    }
  }
}

TEST(PatchDecoder, RefusesEveryBadPatch) {
  const std::string old_release = Fixture(L"old.bin");
  std::string other_reference = old_release;
  other_reference[200000] ^= 0x55;  // an installed file the reader edited (a byte the patch copies)
  struct Case {
    const char* what;
    std::string reference;
    std::wstring patch;
  } cases[] = {
      {"truncated", old_release, L"truncated.patch"},
      {"bytes after the frame", old_release, L"trailing.patch"},
      {"a second frame", old_release, L"two_frames.patch"},
      {"not a zstd frame", old_release, L"not_zstd.patch"},
      {"empty", old_release, L"empty.patch"},
      {"another reference (the frame's checksum fails)", other_reference, L"good.patch"},
      {"no reference at all", std::string(), L"good.patch"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Decode(c.reference, Fixture(c.patch), 4096).outcome, PatchOutcome::kDecodeError);
  }
}

TEST(PatchDecoder, HoldsReferenceAndWindowUnderTheCap) {
  const std::string old_release = Fixture(L"old.bin"), new_release = Fixture(L"new.bin");
  const std::string patch = Fixture(L"good.patch");
  // zstd's patches are single-segment frames: the window is the new file's length.
  const std::uint64_t needed = old_release.size() + new_release.size();
  struct Case {
    std::uint64_t cap;
    PatchOutcome outcome;
  } cases[] = {
      {needed, PatchOutcome::kApplied},
      {needed - 1, PatchOutcome::kTooLarge},
      {old_release.size(), PatchOutcome::kTooLarge},
      {old_release.size() - 1, PatchOutcome::kTooLarge},
      {0, PatchOutcome::kTooLarge},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "cap " << c.cap);
    EXPECT_EQ(Decode(old_release, patch, 1 << 20, c.cap).outcome, c.outcome);
  }
  EXPECT_TRUE(PatchFitsMemoryCap(0, 0, 0));
  EXPECT_FALSE(PatchFitsMemoryCap(~std::uint64_t{0}, 2, ~std::uint64_t{0}));  // no wrap-around
}

TEST(PatchDecoder, AnInputOrOutputFailureEndsTheApply) {
  const std::string old_release = Fixture(L"old.bin"), patch = Fixture(L"good.patch");
  std::size_t at = 0;
  auto input = [&](std::uint8_t* buffer, std::size_t capacity) -> long long {
    const std::size_t count = std::min(capacity, patch.size() - at);
    std::memcpy(buffer, patch.data() + at, count);
    at += count;
    return static_cast<long long>(count);
  };
  auto refusing_output = [](const std::uint8_t*, std::size_t) { return false; };
  EXPECT_EQ(ApplyPatch(Bytes(old_release), input, refusing_output), PatchOutcome::kOutputError);

  int reads = 0;
  auto failing_input = [&](std::uint8_t* buffer, std::size_t capacity) -> long long {
    if (reads++ > 0) return -1;  // the header arrives, then the disk fails
    const std::size_t count = std::min<std::size_t>(capacity, 20);
    std::memcpy(buffer, patch.data(), count);
    return static_cast<long long>(count);
  };
  auto output = [](const std::uint8_t*, std::size_t) { return true; };
  EXPECT_EQ(ApplyPatch(Bytes(old_release), failing_input, output), PatchOutcome::kDecodeError);
}

TEST(PatchFile, WritesTheResultOrLeavesNothing) {
  testing::TempFolder temp;
  const std::wstring installed = temp / L"installed.bin", output = temp / L"output.bin";
  ASSERT_TRUE(WriteWholeFile(installed, Fixture(L"old.bin")));
  struct Case {
    const wchar_t* patch;
    std::uint64_t cap;
    PatchOutcome outcome;
  } cases[] = {
      {L"good.patch", kPatchMemoryCap, PatchOutcome::kApplied},
      {L"truncated.patch", kPatchMemoryCap, PatchOutcome::kDecodeError},
      {L"missing.patch", kPatchMemoryCap, PatchOutcome::kDecodeError},
      {L"good.patch", 1000, PatchOutcome::kTooLarge},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.patch << " cap " << c.cap);
    ASSERT_TRUE(WriteWholeFile(output, "an earlier attempt's leftovers"));
    EXPECT_EQ(ApplyPatchFile(installed, PatchFixture(c.patch), output, c.cap), c.outcome);
    if (c.outcome == PatchOutcome::kApplied) {
      EXPECT_TRUE(ReadWholeFile(output) == Fixture(L"new.bin"));
    } else {
      EXPECT_FALSE(FileExists(output));
    }
  }
  // No installed file: nothing to patch from.
  EXPECT_EQ(ApplyPatchFile(temp / L"absent.bin", PatchFixture(L"good.patch"), output), PatchOutcome::kDecodeError);
  EXPECT_FALSE(FileExists(output));
}

}  // namespace
}  // namespace tarvolin
