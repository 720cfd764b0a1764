// Where the bytes of a search go: standard output through a buffer, and messages on standard
// error after standard output is flushed, so that the two streams stay in order on a
// terminal. A kept sink holds both in order instead (a file searched on another thread) until
// it is replayed into the sink that writes.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quarn::cli {

class Sink {
 public:
  // Writes to out and err; lineBuffered flushes at the end of each record (a terminal).
  Sink(std::FILE* out, std::FILE* err, bool lineBuffered = false)
      : out_(out), err_(err), lineBuffered_(lineBuffered) {}
  // Keeps everything for Replay().
  Sink() = default;
  ~Sink() { Flush(); }
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  void Out(std::string_view bytes) {
    buffer_.append(bytes);
    if (out_ && buffer_.size() >= kFlushAt) Flush();
  }
  void Err(std::string_view bytes);
  // The end of a printed record.
  void EndRecord() {
    if (lineBuffered_) Flush();
  }
  void Flush();
  // Passes on what a kept sink holds, in its order, and empties it.
  void ReplayInto(Sink& target);
  // Whether writing to standard output failed.
  bool Failed() const { return out_ && std::ferror(out_); }

 private:
  static constexpr size_t kFlushAt = 64 * 1024;

  std::FILE* out_ = nullptr;
  std::FILE* err_ = nullptr;
  bool lineBuffered_ = false;
  std::string buffer_;
  // Kept: each message with the size of buffer_ when it was said.
  std::vector<std::pair<size_t, std::string>> messages_;
};

}  // namespace quarn::cli
