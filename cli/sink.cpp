// The buffered output and the messages between it.
#include "sink.h"

namespace quarn::cli {

void Sink::Err(std::string_view bytes) {
  if (!err_) {
    messages_.emplace_back(buffer_.size(), std::string(bytes));
    return;
  }
  Flush();
  std::fwrite(bytes.data(), 1, bytes.size(), err_);
}

void Sink::Flush() {
  if (!out_) return;
  if (!buffer_.empty()) std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
  buffer_.clear();
  std::fflush(out_);
}

void Sink::ReplayInto(Sink& target) {
  size_t done = 0;
  for (const auto& [at, message] : messages_) {
    target.Out(std::string_view(buffer_).substr(done, at - done));
    target.Err(message);
    done = at;
  }
  target.Out(std::string_view(buffer_).substr(done));
  buffer_.clear();
  messages_.clear();
}

}  // namespace quarn::cli
