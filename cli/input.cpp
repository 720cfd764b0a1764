// Input in blocks of grep's size, lines split at LF with the terminator kept as read, and the
// decoding that the engine needs together with the offsets that lead back to the bytes.
#include "input.h"

#include <quarn/utf.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace quarn::cli {

namespace {

constexpr size_t kBlock = 96 * 1024;

// The length in bytes of the UTF-8 sequence that lead begins (lead begins a valid one).
size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

}  // namespace

InputFile::InputFile(const std::string& path) {
  if (path == "-") {
    fd_ = STDIN_FILENO;
    return;
  }
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ownsFd_ = fd_ >= 0;
  if (fd_ < 0) error_ = errno;
}

InputFile::~InputFile() {
  if (ownsFd_) close(fd_);
}

bool InputFile::Fill() {
  if (atEnd_ || error_ != 0 || fd_ < 0) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (buffer_.size() - end_ < kBlock) buffer_.resize(std::max(end_ + kBlock, 2 * buffer_.size()));
  ssize_t got = 0;
  do {
    got = read(fd_, buffer_.data() + end_, kBlock);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    error_ = errno;
    return false;
  }
  if (got == 0) {
    atEnd_ = true;
    return false;
  }
  if (std::memchr(buffer_.data() + end_, '\0', static_cast<size_t>(got))) sawNul_ = true;
  end_ += static_cast<size_t>(got);
  return true;
}

bool InputFile::NextLine(Line& line) {
  size_t scanned = 0;  // bytes after begin_ known to hold no LF; Fill() may move begin_
  for (;;) {
    const char* data = buffer_.data();
    const void* lf = std::memchr(data + begin_ + scanned, '\n', end_ - begin_ - scanned);
    if (lf) {
      const size_t at = static_cast<size_t>(static_cast<const char*>(lf) - data);
      const size_t cr = at > begin_ && data[at - 1] == '\r' ? 1 : 0;
      line.text = std::string_view(data + begin_, at - cr - begin_);
      line.end = std::string_view(data + at - cr, cr + 1);
      begin_ = at + 1;
      return true;
    }
    scanned = end_ - begin_;
    if (!Fill()) break;
  }
  if (begin_ == end_) return false;
  line.text = std::string_view(buffer_.data() + begin_, end_ - begin_);
  line.end = {};
  begin_ = end_;
  return true;
}

std::string_view InputFile::ReadAll() {
  while (Fill()) {
  }
  const std::string_view rest(buffer_.data() + begin_, end_ - begin_);
  begin_ = end_;
  return rest;
}

void Subject::Decode(std::string_view bytes, bool latin1, bool crlf) {
  bytes_ = bytes;
  offsets_.clear();
  inserted_.clear();
  invalid_ = 0;
  firstInvalid_ = 0;
  if (latin1) {
    text_ = Latin1ToUtf16(bytes);
  } else {
    DecodeUtf8(bytes);
  }
  if (crlf) InsertCrs();
}

void Subject::DecodeUtf8(std::string_view bytes) {
  text_.clear();
  size_t bad = 0;
  if (Utf8ToUtf16(bytes, text_, &bad) && text_.size() == bytes.size()) return;  // ASCII
  text_.clear();
  std::u16string decoded;
  for (size_t at = 0;;) {
    const std::string_view rest = bytes.substr(at);
    decoded.clear();
    const bool valid = Utf8ToUtf16(rest, decoded, &bad);
    if (!valid) {
      decoded.clear();
      Utf8ToUtf16(rest.substr(0, bad), decoded);
    }
    text_ += decoded;
    const size_t validEnd = at + (valid ? rest.size() : bad);
    for (size_t i = at; i < validEnd;) {
      const size_t length = SequenceLength(static_cast<unsigned char>(bytes[i]));
      offsets_.push_back(i);
      if (length == 4) offsets_.push_back(i + 4);  // the low surrogate ends the character
      i += length;
    }
    if (valid) break;
    if (invalid_++ == 0) firstInvalid_ = validEnd;
    offsets_.push_back(validEnd);
    text_ += static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[validEnd]));
    at = validEnd + 1;
  }
  offsets_.push_back(bytes.size());
}

void Subject::InsertCrs() {
  std::u16string text;
  std::vector<size_t> offsets;
  for (size_t i = 0; i < text_.size(); ++i) {
    if (text_[i] == u'\n' && (i == 0 || text_[i - 1] != u'\r')) {
      inserted_.push_back(text.size());
      text += u'\r';
      offsets.push_back(ByteOf(i));  // an added CR has no bytes: it goes out as its LF
    }
    text += text_[i];
    offsets.push_back(ByteOf(i));
  }
  if (inserted_.empty()) return;
  offsets.push_back(ByteOf(text_.size()));
  text_ = std::move(text);
  offsets_ = std::move(offsets);
}

size_t Subject::Original(size_t i) const {
  return i - static_cast<size_t>(std::lower_bound(inserted_.begin(), inserted_.end(), i) -
                                 inserted_.begin());
}

std::u16string Subject::Slice(size_t from, size_t to) const {
  std::u16string slice;
  slice.reserve(to - from);
  auto next = std::lower_bound(inserted_.begin(), inserted_.end(), from);
  for (size_t i = from; i < to; ++i) {
    if (next != inserted_.end() && *next == i) {
      ++next;
      continue;
    }
    slice += text_[i];
  }
  return slice;
}

}  // namespace quarn::cli
