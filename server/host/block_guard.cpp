#include "server/host/block_guard.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <sys/mman.h>

namespace lumo::server::block_guard {
namespace {

// The server's blocks: its own and one per window slot, with room to spare.
constexpr int kSlots = 96;

struct Slot {
  std::atomic<uintptr_t> base{0};
  std::atomic<size_t> size{0};
  std::atomic<int> lost{0};
};

// Plain atomics only: the handler reads them at any moment, on any thread.
Slot g_slots[kSlots];
std::atomic<unsigned> g_faults{0};
std::atomic<bool> g_installed{false};
struct sigaction g_previous;

void on_fault(int, siginfo_t* info, void*) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
  for (Slot& slot : g_slots) {
    const uintptr_t base = slot.base.load(std::memory_order_acquire);
    const size_t size = slot.size.load(std::memory_order_acquire);
    if (!base || at < base || at - base >= size) continue;
    // Zero pages over the whole block: the faulting access is retried and
    // finds memory.  (mmap is a plain system call, safe here.)
    void* zero = mmap(reinterpret_cast<void*>(base), size, PROT_READ | PROT_WRITE,
                      MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (zero == MAP_FAILED) break;
    slot.lost.store(1, std::memory_order_release);
    g_faults.fetch_add(1, std::memory_order_acq_rel);
    return;
  }
  // Not one of ours: the earlier handling is put back and the access,
  // retried, faults again under it.
  sigaction(SIGBUS, &g_previous, nullptr);
}

}  // namespace

bool install() {
  if (g_installed.load()) return true;
  struct sigaction sa {};
  sa.sa_sigaction = on_fault;
  sa.sa_flags = SA_SIGINFO;
  sigemptyset(&sa.sa_mask);
  if (sigaction(SIGBUS, &sa, &g_previous) != 0) return false;
  g_installed.store(true);
  return true;
}

bool guard(void* base, size_t size) {
  for (Slot& slot : g_slots) {
    if (slot.base.load(std::memory_order_acquire)) continue;
    slot.lost.store(0, std::memory_order_release);
    slot.size.store(size, std::memory_order_release);
    slot.base.store(reinterpret_cast<uintptr_t>(base), std::memory_order_release);
    return true;
  }
  return false;
}

void unguard(void* base) {
  for (Slot& slot : g_slots) {
    if (slot.base.load(std::memory_order_acquire) != reinterpret_cast<uintptr_t>(base)) continue;
    slot.base.store(0, std::memory_order_release);
    slot.size.store(0, std::memory_order_release);
    slot.lost.store(0, std::memory_order_release);
  }
}

unsigned faults() { return g_faults.load(std::memory_order_acquire); }

void* take_lost() {
  for (Slot& slot : g_slots) {
    const uintptr_t base = slot.base.load(std::memory_order_acquire);
    if (base && slot.lost.exchange(0, std::memory_order_acq_rel)) return reinterpret_cast<void*>(base);
  }
  return nullptr;
}

}  // namespace lumo::server::block_guard
