// The buffered output, the messages between it, and kept output that goes live in its turn.
#include "sink.h"

namespace quarn::cli {

void Sink::Write(std::string_view bytes) {
  buffer_.append(bytes);
  written_ += bytes.size();
  if (buffer_.size() >= kFlushAt) Flush();
}

void Sink::Out(std::string_view bytes) {
  if (!Keeps()) {
    Write(bytes);
    return;
  }
  std::lock_guard lock(mutex_);
  if (abandoned_) return;
  if (target_) {
    target_->Out(bytes);
  } else {
    buffer_.append(bytes);
  }
}

void Sink::Err(std::string_view bytes) {
  if (!Keeps()) {
    Flush();
    std::fwrite(bytes.data(), 1, bytes.size(), err_);
    return;
  }
  std::lock_guard lock(mutex_);
  if (abandoned_) return;
  if (target_) {
    target_->Err(bytes);
  } else {
    events_.push_back({buffer_.size(), true, std::string(bytes)});
  }
}

void Sink::BeginGroup(std::string_view separator) {
  if (!Keeps()) {
    if (grouped_) Write(separator);
    grouped_ = true;
    return;
  }
  std::lock_guard lock(mutex_);
  if (abandoned_) return;
  if (target_) {
    target_->BeginGroup(separator);
  } else if (grouped_) {
    buffer_.append(separator);
  } else {  // whether a group went before is known only in this file's turn
    events_.push_back({buffer_.size(), false, std::string(separator)});
  }
  grouped_ = true;
}

void Sink::EndRecord() {
  if (!Keeps()) {
    if (lineBuffered_) Flush();
    return;
  }
  std::unique_lock lock(mutex_);
  live_.wait(lock, [&] { return target_ || abandoned_ || buffer_.size() < keep_; });
  if (target_ && !abandoned_) target_->EndRecord();
}

void Sink::Flush() {
  if (Keeps()) return;
  if (!buffer_.empty()) std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
  buffer_.clear();
  std::fflush(out_);
}

void Sink::GoLive(Sink& target) {
  std::lock_guard lock(mutex_);
  size_t done = 0;
  for (const Event& event : events_) {
    target.Out(std::string_view(buffer_).substr(done, event.at - done));
    done = event.at;
    if (event.message) {
      target.Err(event.text);
    } else {
      target.BeginGroup(event.text);
    }
  }
  target.Out(std::string_view(buffer_).substr(done));
  std::string().swap(buffer_);
  events_.clear();
  target_ = &target;
  live_.notify_all();
}

void Sink::Abandon() {
  std::lock_guard lock(mutex_);
  abandoned_ = true;
  std::string().swap(buffer_);
  events_.clear();
  live_.notify_all();
}

size_t Sink::KeptBytes() {
  std::lock_guard lock(mutex_);
  size_t kept = buffer_.size();
  for (const Event& event : events_)
    kept += event.text.size();
  return kept;
}

}  // namespace quarn::cli
