#include "download/transfer_registry.h"

#include <mutex>
#include <unordered_map>

#include "download/transfer_rules.h"

namespace tarvolin {
namespace {

std::uint64_t Key(std::uint32_t kind, long id) {
  return (static_cast<std::uint64_t>(kind) << 32) | static_cast<std::uint32_t>(id);
}

struct RegistryState {
  std::mutex guard;
  std::unordered_map<std::uint64_t, std::int64_t> values;

  std::int64_t Read(std::uint64_t key) const {
    auto it = values.find(key);
    return it == values.end() ? 0 : it->second;
  }
  void Write(std::uint64_t key, std::int64_t value) {
    if (value == 0) {
      values.erase(key);
    } else {
      values[key] = value;
    }
  }
};

// Deliberately never destroyed: block threads of a transfer that outlives
// main() must not meet a freed table.
RegistryState& State() {
  static RegistryState* state = new RegistryState;
  return *state;
}

}  // namespace

TransferRegistry& TransferRegistry::Instance() {
  static TransferRegistry* registry = new TransferRegistry;
  return *registry;
}

std::int64_t TransferRegistry::Get(std::uint32_t kind, long id) {
  RegistryState& state = State();
  std::lock_guard<std::mutex> hold(state.guard);
  return state.Read(Key(kind, id));
}

void TransferRegistry::Set(std::uint32_t kind, long id, std::int64_t value) {
  RegistryState& state = State();
  std::lock_guard<std::mutex> hold(state.guard);
  state.Write(Key(kind, id), value);
}

std::int64_t TransferRegistry::Add(std::uint32_t kind, long id, std::int64_t delta) {
  RegistryState& state = State();
  std::lock_guard<std::mutex> hold(state.guard);
  std::int64_t value = state.Read(Key(kind, id)) + delta;
  state.Write(Key(kind, id), value);
  return value;
}

std::int64_t TransferRegistry::AddClamped(std::uint32_t kind, long id, std::int64_t delta, std::int64_t limit) {
  RegistryState& state = State();
  std::lock_guard<std::mutex> hold(state.guard);
  std::int64_t value = ClampedAdd(state.Read(Key(kind, id)), delta, limit);
  state.Write(Key(kind, id), value);
  return value;
}

}  // namespace tarvolin
