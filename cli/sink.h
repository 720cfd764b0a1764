// Where the bytes of a search go: standard output through a buffer, and messages on standard
// error after standard output is flushed, so that the two streams stay in order on a
// terminal. A kept sink (a file searched on another thread) holds both in order until it is
// its file's turn; from then on it passes everything straight to the sink that writes, so
// that a file's output streams once its turn has come and only a bounded part of it is ever
// kept. A kept sink that holds more than its share makes its thread wait for its turn.
//
// Thread safety: a writing sink belongs to one thread at a time; a kept sink may be written
// by one thread while another makes it live or abandons it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quarn::cli {

class Sink {
 public:
  // Writes to out and err; lineBuffered flushes at the end of each record.
  Sink(std::FILE* out, std::FILE* err, bool lineBuffered = false)
      : out_(out), err_(err), lineBuffered_(lineBuffered) {}
  // Keeps everything until GoLive(), holding up to keep bytes before the writer waits.
  explicit Sink(size_t keep) : keep_(keep) {}
  ~Sink() { Flush(); }
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  void Out(std::string_view bytes);
  void Err(std::string_view bytes);
  // A group of lines begins: separator (grep's "--" line, possibly empty) goes first unless
  // it is the first group to reach the output.
  void BeginGroup(std::string_view separator);
  // The end of a printed record: the place where a line-buffered sink flushes and a kept
  // sink that holds too much waits for its turn.
  void EndRecord();
  void Flush();

  // Kept sinks: passes on what is kept, in order, and then everything that comes, to target.
  void GoLive(Sink& target);
  // Kept sinks: whatever comes from now on is dropped, and a waiting writer goes on.
  void Abandon();
  // Kept sinks: the bytes kept for the output so far.
  size_t KeptBytes();

  // Whether writing to standard output failed.
  bool Failed() const { return out_ && std::ferror(out_); }
  // The bytes written to standard output.
  uint64_t Written() const { return written_; }

 private:
  static constexpr size_t kFlushAt = 64 * 1024;

  // What a kept sink holds besides output bytes, at the size the output had then.
  struct Event {
    size_t at = 0;
    bool message = false;  // a message; otherwise the separator of the first group
    std::string text;
  };

  std::FILE* out_ = nullptr;
  std::FILE* err_ = nullptr;
  bool lineBuffered_ = false;
  std::string buffer_;
  uint64_t written_ = 0;
  bool grouped_ = false;  // a group of lines has begun in this sink

  // Kept sinks only.
  size_t keep_ = 0;
  std::mutex mutex_;
  std::condition_variable live_;  // GoLive or Abandon happened
  Sink* target_ = nullptr;        // set once the sink is live
  bool abandoned_ = false;
  std::vector<Event> events_;

  bool Keeps() const { return !out_; }
  void Write(std::string_view bytes);
};

}  // namespace quarn::cli
