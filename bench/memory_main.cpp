// The memory of a compiled quarn::Pattern for each workload, in heap bytes counted by a
// replacement of the global operator new and delete: what the pattern holds once compiled and
// once it has searched every subject (its graph grows as searches reach new pattern texts),
// and the peak of one further search beyond what was live before it, with its allocations
// and the stack bytes it used, read from a thread stack filled with a known byte beforehand.
// For a workload of many subjects the search figures are those of its most demanding search.
// Last, the heap that compiling deeply nested groups takes.
//
// The further search runs on the thread of the first, so that the match state each thread
// keeps between searches is in place.
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
#include <optional>
#include <stdexcept>
#include <string>

#include "nesting.h"
#include "quarn/pattern.h"
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
  size_t compiledBytes = 0;  // held by the pattern once compiled
  size_t heldBytes = 0;      // held by the pattern after one search of every subject
  size_t searchBytes = 0;    // the peak of a further search beyond what was live before it
  size_t allocations = 0;    // made by that search
  size_t stackBytes = 0;
  std::optional<quarn::Error> error;  // the first error that a search answered with
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

// What destroying the pattern frees, which leaves out what the engine keeps per thread or
// per process.
size_t HeldBy(std::optional<quarn::Pattern>& pattern) {
  const size_t withPattern = liveBytes;
  pattern.reset();
  return withPattern - liveBytes;
}

Usage Measure(const Workload& workload) {
  Usage usage;
  std::optional<quarn::Pattern> pattern(std::in_place, workload.pattern, workload.flags);
  usage.compiledBytes = HeldBy(pattern);
  pattern.emplace(workload.pattern, workload.flags);
  for (const std::u16string& subject : workload.subjects) {
    const quarn::SearchResult result = pattern->search(subject);
    if (result.error() && !usage.error) usage.error = result.error();
  }
  for (const std::u16string& subject : workload.subjects) {
    const size_t live = liveBytes;
    const size_t allocationsBefore = allocationCount;
    peakBytes = live;
    pattern->search(subject);
    usage.searchBytes = std::max(usage.searchBytes, peakBytes - live);
    usage.allocations = std::max(usage.allocations, allocationCount - allocationsBefore);
  }
  const size_t baseline = StackBytesUsed([] {});
  usage.stackBytes = StackBytesUsed([&] {
                       for (const std::u16string& subject : workload.subjects)
                         pattern->search(subject);
                     }) -
                     baseline;
  usage.heldBytes = HeldBy(pattern);
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

// Besides the timed workloads, the deepest search that the default limits allow: "a*" costs
// two levels per character and the depth is capped at 1000, so 499 characters is as far as
// it goes.
Workload Deepest() {
  return {"limit", "depth", "\"a*\" on 499 \"a\", the deepest search",
          u"a*",   0,       {std::u16string(499, u'a')}};
}

// The heap that compiling deeply nested groups takes at its peak, and what the compiled
// pattern holds.
void PrintCompileMemory() {
  std::printf(
      "\nHeap of compiling nested groups:\n\n| nesting depth | pattern length | peak while "
      "compiling | held once compiled |\n| --- | --- | --- | --- |\n");
  for (const size_t depth : kNestingDepths) {
    const std::u16string pattern = NestedGroups(depth);
    const size_t live = liveBytes;
    peakBytes = live;
    std::optional<quarn::Pattern> compiled(std::in_place, pattern);
    const size_t peak = peakBytes - live;
    std::printf("| %zu | %zu | %s | %s |\n", depth, pattern.size(), Bytes(peak).c_str(),
                Bytes(HeldBy(compiled)).c_str());
  }
}

int Run() {
  std::printf(
      "Heap held by a compiled Quarn pattern, and the peak of one further search (the most "
      "demanding search of a workload):\n\n");
  std::printf(
      "| workload | compiled | after one search | further search: heap | allocations | stack "
      "|\n| --- | --- | --- | --- | --- | --- |\n");
  std::vector<Workload> workloads = AllWorkloads(QUARN_BENCH_CORPUS);
  workloads.push_back(Deepest());
  bool failed = false;
  for (const Workload& workload : workloads) {
    const Usage usage = Measure(workload);
    std::printf("| %s/%s %s | %s | %s | %s | %zu | %s |\n", workload.family.c_str(),
                workload.name.c_str(), workload.caption.c_str(), Bytes(usage.compiledBytes).c_str(),
                Bytes(usage.heldBytes).c_str(), Bytes(usage.searchBytes).c_str(), usage.allocations,
                Bytes(usage.stackBytes).c_str());
    // The workloads of Quarn alone may answer with the depth limit; any other error is a fault.
    if (usage.error && !workload.quarnAlone) {
      std::printf("\nQuarn reports \"%s\" on %s/%s\n", usage.error->report().c_str(),
                  workload.family.c_str(), workload.name.c_str());
      failed = true;
    }
  }
  PrintCompileMemory();
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
