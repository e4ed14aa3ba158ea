#include "download/transfer_registry.h"

#include <windows.h>

#include <unordered_map>

#include "common/unique_handle.h"
#include "download/transfer_rules.h"

namespace tarvolin {
namespace {

constexpr wchar_t kRegistryEventName[] = L"threadValueEvent";

std::uint64_t Key(std::uint32_t kind, long id) {
  return (static_cast<std::uint64_t>(kind) << 32) | static_cast<std::uint32_t>(id);
}

// The table itself and its guard live only here.
struct RegistryState {
  unique_handle event{::CreateEventW(nullptr, FALSE, TRUE, kRegistryEventName)};
  std::unordered_map<std::uint64_t, long> values;
};

RegistryState& State() {
  static RegistryState state;
  return state;
}

// Holds the event from construction to destruction.
class RegistryHold {
 public:
  RegistryHold() : state_(State()) { ::WaitForSingleObject(state_.event.get(), INFINITE); }
  ~RegistryHold() { ::SetEvent(state_.event.get()); }
  RegistryHold(const RegistryHold&) = delete;
  RegistryHold& operator=(const RegistryHold&) = delete;

  long Read(std::uint64_t key) const {
    auto it = state_.values.find(key);
    return it == state_.values.end() ? 0 : it->second;
  }
  void Write(std::uint64_t key, long value) {
    if (value == 0) {
      state_.values.erase(key);
    } else {
      state_.values[key] = value;
    }
  }

 private:
  RegistryState& state_;
};

}  // namespace

TransferRegistry& TransferRegistry::Instance() {
  static TransferRegistry registry;
  return registry;
}

long TransferRegistry::Get(std::uint32_t kind, long id) {
  RegistryHold hold;
  return hold.Read(Key(kind, id));
}

void TransferRegistry::Set(std::uint32_t kind, long id, long value) {
  RegistryHold hold;
  hold.Write(Key(kind, id), value);
}

long TransferRegistry::Add(std::uint32_t kind, long id, long delta) {
  RegistryHold hold;
  long value = hold.Read(Key(kind, id)) + delta;
  hold.Write(Key(kind, id), value);
  return value;
}

long TransferRegistry::AddClamped(std::uint32_t kind, long id, long delta, long limit) {
  RegistryHold hold;
  long value = ClampedAdd(hold.Read(Key(kind, id)), delta, limit);
  hold.Write(Key(kind, id), value);
  return value;
}

}  // namespace tarvolin
