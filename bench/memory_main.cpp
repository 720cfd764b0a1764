// The peak memory of one Quarn search of each workload: the heap bytes live at once, counted
// by a replacement of the global operator new and delete, and the stack bytes used, read from
// a thread stack that was filled with a known byte beforehand. For a workload of many
// subjects the figures are those of its most demanding search.
//
// Each workload is searched once before it is measured: Quarn keeps a copy of the last
// subject and a working record per level of depth reached, and the measured searches reuse
// them, so the figures are what the matching itself needs.
#include <malloc.h>
#include <pthread.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "engines.h"
#include "workloads.h"

namespace {

std::atomic<size_t> liveBytes{0};
std::atomic<size_t> peakBytes{0};
std::atomic<size_t> allocationCount{0};

void* Allocate(size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  const size_t live = liveBytes += malloc_usable_size(block);
  ++allocationCount;
  size_t peak = peakBytes.load();
  while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
  }
  return block;
}

void Release(void* block) {
  if (block == nullptr) return;
  liveBytes -= malloc_usable_size(block);
  std::free(block);
}

}  // namespace

// The array and nothrow forms forward to these in libstdc++.
void* operator new(size_t size) {
  return Allocate(size);
}

void operator delete(void* block) noexcept {
  Release(block);
}

void operator delete(void* block, size_t) noexcept {
  Release(block);
}

namespace {

using namespace quarn_bench;

struct Usage {
  size_t heapBytes = 0;
  size_t allocations = 0;
  size_t stackBytes = 0;
  bool failed = false;
};

constexpr size_t kStackSize = size_t{8} << 20;
constexpr unsigned char kPaint = 0xA5;

void* RunWork(void* work) {
  (*static_cast<const std::function<void()>*>(work))();
  return nullptr;
}

// Runs work on a thread of its own, on a painted stack, and returns how many bytes of that
// stack were written. The stack grows down, so the untouched paint is at the low end.
size_t StackBytesUsed(const std::function<void()>& work) {
  void* stack =
      mmap(nullptr, kStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (stack == MAP_FAILED) throw std::bad_alloc();
  std::memset(stack, kPaint, kStackSize);
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstack(&attributes, stack, kStackSize);
  pthread_t thread;
  const bool started =
      pthread_create(&thread, &attributes, RunWork, const_cast<std::function<void()>*>(&work)) == 0;
  if (started) pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
  const auto* bytes = static_cast<const unsigned char*>(stack);
  const size_t untouched = static_cast<size_t>(
      std::find_if(bytes, bytes + kStackSize, [](unsigned char b) { return b != kPaint; }) - bytes);
  munmap(stack, kStackSize);
  if (!started) throw std::runtime_error("cannot start a thread");
  return kStackSize - untouched;
}

Usage Measure(const Workload& workload) {
  std::unique_ptr<Searcher> quarn = PrepareQuarn(workload);
  Outcome outcome;
  outcome.spans.reserve(64);
  Usage usage;
  const auto searchAll = [&](bool measure) {
    for (size_t i = 0; i < workload.subjects.size(); ++i) {
      const size_t before = liveBytes;
      const size_t allocationsBefore = allocationCount;
      peakBytes = before;
      quarn->Search(i, outcome);
      if (!measure) continue;
      usage.heapBytes = std::max(usage.heapBytes, peakBytes - before);
      usage.allocations = std::max(usage.allocations, allocationCount - allocationsBefore);
      usage.failed = usage.failed || outcome.failed;
    }
  };
  searchAll(false);
  const size_t baseline = StackBytesUsed([] {});
  usage.stackBytes = StackBytesUsed([&] { searchAll(true); }) - baseline;
  return usage;
}

std::string Bytes(size_t bytes) {
  char text[32];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%zu B", bytes);
  } else if (bytes < 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024);
  } else {
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024 * 1024));
  }
  return text;
}

// Besides the timed workloads, the deepest search the matcher allows: "a*" costs two levels
// per character and the depth is capped at 1000, so 499 characters is as far as it goes.
Workload Deepest() {
  return {"limit", "depth", "\"a*\" on 499 \"a\", the deepest search",
          u"a*",   0,       {std::u16string(499, u'a')}};
}

int Run() {
  std::printf("Peak memory of one Quarn search (the most demanding search of a workload):\n\n");
  std::printf("| workload | heap | allocations | stack |\n| --- | --- | --- | --- |\n");
  std::vector<Workload> workloads = AllWorkloads(QUARN_BENCH_CORPUS);
  workloads.push_back(Deepest());
  bool failed = false;
  for (const Workload& workload : workloads) {
    const Usage usage = Measure(workload);
    std::printf("| %s/%s %s | %s | %zu | %s |\n", workload.family.c_str(), workload.name.c_str(),
                workload.caption.c_str(), Bytes(usage.heapBytes).c_str(), usage.allocations,
                Bytes(usage.stackBytes).c_str());
    if (usage.failed) {
      std::printf("\nQuarn reports \"%s\" on %s/%s\n", LastQuarnError().c_str(),
                  workload.family.c_str(), workload.name.c_str());
      failed = true;
    }
  }
  std::fflush(stdout);
  return failed ? 1 : 0;
}

}  // namespace

int main() {
  try {
    return Run();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "quarn_bench_memory: %s\n", error.what());
    return 2;
  }
}
