// Input in blocks of grep's size, lines split at LF with the terminator kept as read, and the
// decoding that the engine needs together with the offsets that lead back to the bytes.
#include "input.h"

#include <quarn/utf.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace quarn::cli {

namespace {

constexpr size_t kBlock = 96 * 1024;
// Files at least this large are mapped: below it, reading costs less than mapping.
constexpr size_t kMapAtLeast = 1 << 20;
// The pages a mapped file's reader has passed are given back after this many bytes, so that
// they do not count in its memory.
constexpr size_t kDropEvery = 8 << 20;

// A file that shrinks while mapped raises SIGBUS where its pages are gone. The maps being read
// are kept in slots here; the handler puts zero pages over the rest of the map that faulted,
// so that the reader goes on and sees NUL bytes. A fault elsewhere ends the process as it
// would have.
struct MapSlot {
  std::atomic<uintptr_t> begin{0};
  std::atomic<uintptr_t> end{0};
};
std::array<MapSlot, 256> mapSlots;
std::once_flag guardInstalled;
struct sigaction previousBusAction;
uintptr_t pageSize = 4096;

void OnBusError(int signal, siginfo_t* info, void* context) {
  const auto at = reinterpret_cast<uintptr_t>(info->si_addr);
  for (const MapSlot& slot : mapSlots) {
    const uintptr_t begin = slot.begin.load(std::memory_order_acquire);
    const uintptr_t end = slot.end.load(std::memory_order_acquire);
    if (at < begin || at >= end) continue;
    const uintptr_t page = at & ~(pageSize - 1);
    if (mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
      return;
    }
  }
  sigaction(SIGBUS, &previousBusAction, nullptr);  // not ours: fault again, as before
  (void)signal, (void)context;
}

// A slot for the map [begin, end), or -1 when every slot is taken.
int Guard(const char* begin, size_t size) {
  std::call_once(guardInstalled, [] {
    pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &previousBusAction);
  });
  for (size_t i = 0; i < mapSlots.size(); ++i) {
    uintptr_t free = 0;
    if (mapSlots[i].begin.compare_exchange_strong(free, reinterpret_cast<uintptr_t>(begin))) {
      mapSlots[i].end.store(reinterpret_cast<uintptr_t>(begin) + size, std::memory_order_release);
      return static_cast<int>(i);
    }
  }
  return -1;
}

void Unguard(int slot) {
  mapSlots[static_cast<size_t>(slot)].end.store(0, std::memory_order_release);
  mapSlots[static_cast<size_t>(slot)].begin.store(0, std::memory_order_release);
}

}  // namespace

void ByteBuffer::Free::operator()(char* p) const {
  std::free(p);
}

void ByteBuffer::Reserve(size_t size) {
  if (size <= capacity_) return;
  const size_t capacity = std::max(size, capacity_ + capacity_ / 2);
  char* grown = static_cast<char*>(std::realloc(data_.get(), capacity));
  if (!grown) throw std::bad_alloc();
  (void)data_.release();
  data_.reset(grown);
  capacity_ = capacity;
}

InputFile::InputFile(const std::string& path, ByteBuffer& buffer, char terminator)
    : terminator_(terminator), buffer_(buffer) {
  if (path == "-") {
    fd_ = STDIN_FILENO;
    return;
  }
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ownsFd_ = fd_ >= 0;
  if (fd_ < 0) {
    error_ = errno;
    return;
  }
  Map();
}

InputFile::InputFile(const std::string& path, ByteBuffer& buffer, char terminator, Range range)
    : InputFile(path, buffer, terminator) {
  range_ = range;
  if (fd_ < 0) return;
  checked_ = range.from;
  if (map_) {
    begin_ = end_ = static_cast<size_t>(std::min<uint64_t>(range.from, mapped_));
  } else if (lseek(fd_, static_cast<off_t>(range.from), SEEK_SET) < 0) {
    error_ = errno;
  } else {
    base_ = range.from;
  }
}

InputFile::~InputFile() {
  Unmap();
  if (ownsFd_) close(fd_);
}

void InputFile::Map() {
  struct stat status {};
  if (fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode) ||
      status.st_size < static_cast<off_t>(kMapAtLeast)) {
    return;
  }
  const auto size = static_cast<size_t>(status.st_size);
  void* pages = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd_, 0);
  if (pages == MAP_FAILED) return;
  guard_ = Guard(static_cast<const char*>(pages), size);
  if (guard_ < 0) {
    munmap(pages, size);
    return;
  }
  madvise(pages, size, MADV_SEQUENTIAL);
  map_ = static_cast<const char*>(pages);
  mapped_ = size;
}

void InputFile::Unmap() {
  if (!map_) return;
  Unguard(guard_);
  munmap(const_cast<char*>(map_), mapped_);
  map_ = nullptr;
}

// The next block of the map comes into view as a read would bring it. Past the file's end
// as it is now (it may have shrunk), or past the map, what is left of the line moves to the
// buffer and the file is read on from there.
bool InputFile::FillMapped() {
  struct stat status {};
  const size_t now =
      fstat(fd_, &status) == 0 ? static_cast<size_t>(std::max<off_t>(0, status.st_size)) : 0;
  const auto last = static_cast<size_t>(std::min<uint64_t>({mapped_, now, range_.to}));
  if (end_ >= last && last == range_.to) {
    atEnd_ = true;
    return false;
  }
  if (end_ >= last) {
    end_ = std::max(begin_, std::min(end_, now));  // past a new end, the map reads as NULs
    const size_t kept = end_ - begin_;
    buffer_.Reserve(kept + kBlock);
    std::memcpy(buffer_.data(), map_ + begin_, kept);
    const off_t next = static_cast<off_t>(end_);
    base_ += begin_;
    begin_ = 0;
    end_ = kept;
    Unmap();
    if (lseek(fd_, next, SEEK_SET) < 0) {
      error_ = errno;
      return false;
    }
    return Fill();
  }
  end_ += std::min(kBlock, last - end_);
  DropPassed(kDropEvery);
  return true;
}

// Gives back the pages passed over, once they are at least least bytes; they stay cached for
// others.
void InputFile::DropPassed(size_t least) {
  const size_t passed = begin_ & ~(static_cast<size_t>(pageSize) - 1);
  if (passed >= dropped_ + std::max<size_t>(least, 1)) {
    madvise(const_cast<char*>(map_) + dropped_, passed - dropped_, MADV_DONTNEED);
    dropped_ = passed;
  }
}

void InputFile::Discard() {
  if (begin_ == 0 || map_) return;
  std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
  base_ += begin_;
  end_ -= begin_;
  begin_ = 0;
}

void InputFile::LookForNul(uint64_t to) const {
  if (sawNul_) return;
  const uint64_t from = std::max(checked_, base_);
  to = std::min(to, base_ + end_);
  if (from >= to) return;
  const char* bytes = Data() + (from - base_);
  if (const void* nul = std::memchr(bytes, '\0', to - from)) {
    sawNul_ = true;
    firstNul_ = from + static_cast<uint64_t>(static_cast<const char*>(nul) - bytes);
  }
  checked_ = to;
}

bool InputFile::Fill() {
  // What is read so far is looked through before any of it can be dropped.
  LookForNul(base_ + end_);
  if (atEnd_ || error_ != 0 || fd_ < 0) return false;
  if (map_) return FillMapped();
  // The unread bytes move to the front when that frees as much as they take, or before the
  // buffer would grow; a line being read then stays at the front until it is handed out.
  if (begin_ > 0 && (begin_ >= end_ - begin_ || end_ + kBlock > buffer_.capacity())) Discard();
  buffer_.Reserve(end_ + kBlock);
  const auto wanted = static_cast<size_t>(std::min<uint64_t>(kBlock, range_.to - base_ - end_));
  ssize_t got = 0;
  do {
    got = wanted == 0 ? 0 : read(fd_, buffer_.data() + end_, wanted);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    error_ = errno;
    return false;
  }
  if (got == 0) {
    atEnd_ = true;
    return false;
  }
  end_ += static_cast<size_t>(got);
  return true;
}

bool InputFile::NextLine(Line& line, uint64_t longest) {
  size_t scanned = 0;  // bytes after begin_ known to hold no terminator; Fill() may move begin_
  line.tooLong = false;
  uint64_t passed = 0;  // bytes of a line too long to hold, already dropped
  char last = 0;        // the last of them
  for (;;) {
    const char* data = Data();
    const void* found = end_ > begin_ + scanned ? std::memchr(data + begin_ + scanned, terminator_,
                                                              end_ - begin_ - scanned)
                                                : nullptr;
    if (found) {
      const size_t at = static_cast<size_t>(static_cast<const char*>(found) - data);
      const char before = at > begin_ ? data[at - 1] : last;
      const size_t cr = terminator_ == '\n' && before == '\r' && (at > begin_ || passed > 0);
      line.offset = base_ + begin_ - passed;
      line.length = passed + (at - begin_) - cr;
      line.tooLong = line.tooLong || line.length > longest;  // also one held whole
      if (line.tooLong) {
        line.text = {};
        line.end = cr ? std::string_view("\r\n") : std::string_view(data + at, 1);
      } else {
        line.text = std::string_view(data + begin_, at - cr - begin_);
        line.end = std::string_view(data + at - cr, cr + 1);
      }
      // A line handed out is looked through as it is, while no byte before it is left to; a
      // mapped one, in the copy that Hold makes.
      if (!map_ && checked_ >= base_ + begin_ - passed) LookForNul(base_ + at + 1);
      begin_ = at + 1;
      return !map_ || Hold(line);
    }
    scanned = end_ - begin_;
    if (passed + scanned > longest) {  // too long to hold: drop what is read of it
      line.tooLong = true;
      if (scanned > 0) last = Data()[end_ - 1];
      passed += scanned;
      begin_ = end_;
      scanned = 0;
    }
    if (!Fill()) break;
  }
  if (begin_ == end_ && passed == 0) return false;
  line.offset = base_ + begin_ - passed;
  line.length = passed + (end_ - begin_);
  line.tooLong = line.tooLong || line.length > longest;
  line.text = line.tooLong ? std::string_view() : std::string_view(Data() + begin_, end_ - begin_);
  line.end = {};
  begin_ = end_;
  return !map_ || Hold(line);
}

// A mapped line is copied when handed out, so that what is searched is what is printed even
// when the file changes meanwhile. A file cut short reads as NUL bytes past its new end: a
// line with a NUL is cut where the file now ends, and the input ends there; false when the
// line began past that end. A copy without a NUL is what the file held when it was made, so
// the line's bytes need no other look for one.
bool InputFile::Hold(Line& line) {
  held_.assign(line.text);
  held_.append(line.end);
  line.text = std::string_view(held_).substr(0, line.text.size());
  line.end = std::string_view(held_).substr(line.text.size());
  if (held_.size() >= kDropEvery) DropPassed(0);  // a long line is held once, not twice
  const uint64_t end = line.offset + held_.size();
  if (held_.find('\0') == std::string::npos) {
    if (!line.tooLong && checked_ >= line.offset) checked_ = std::max(checked_, end);
    return true;
  }
  struct stat status {};
  const uint64_t now = fstat(fd_, &status) == 0 ? static_cast<uint64_t>(status.st_size) : 0;
  if (now >= end) return true;
  atEnd_ = true;
  begin_ = end_;
  if (now <= line.offset) return false;
  line.text =
      line.text.substr(0, std::min(static_cast<size_t>(now - line.offset), line.text.size()));
  line.end = {};
  line.length = line.text.size();
  return true;
}

bool InputFile::ReadAll(std::string_view& all, uint64_t longest) {
  bool held = true;
  while (Fill()) {
    if (end_ - begin_ > longest) {  // read on, holding nothing
      held = false;
      begin_ = end_;
    }
  }
  if (held && map_) {  // held apart from the file, as a read would hold it
    held_.assign(Data() + begin_, end_ - begin_);
    all = held_;
  } else {
    all = held ? std::string_view(Data() + begin_, end_ - begin_) : std::string_view();
  }
  begin_ = end_;
  return held;
}

namespace {

// The terminators in bytes[0, size).
uint64_t CountTerminators(const char* bytes, size_t size, char terminator) {
  uint64_t count = 0;
  size_t i = 0;
#ifdef __SSE2__
  const __m128i wanted = _mm_set1_epi8(terminator);
  for (; i + 16 <= size; i += 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    count += static_cast<uint64_t>(__builtin_popcount(
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, wanted)))));
  }
#endif
  for (; i < size; ++i)
    count += bytes[i] == terminator;
  return count;
}

}  // namespace

std::optional<Pieces> SplitIntoPieces(const std::string& path, char terminator, uint64_t pieceSize,
                                      bool binaryMatters, bool countLines) {
  // Only a regular file is opened here: opening a FIFO would take its writer's data.
  struct stat status {};
  if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
      static_cast<uint64_t>(status.st_size) < 2 * pieceSize) {
    return std::nullopt;
  }
  ByteBuffer unused;
  InputFile file(path, unused, terminator);
  if (!file.map_ || file.mapped_ < 2 * pieceSize) return std::nullopt;
  const char* bytes = file.map_;
  const size_t size = file.mapped_;
  // Looked at a part at a time, each part's pages given back after it.
  const auto parts = [&](size_t from, size_t to, const auto& look) {
    for (size_t at = from; at < to; at += kDropEvery) {
      const size_t end = std::min(to, at + kDropEvery);
      if (!look(at, end)) return false;
      const size_t page = at & ~(static_cast<size_t>(pageSize) - 1);
      madvise(const_cast<char*>(bytes) + page, end - page, MADV_DONTNEED);
    }
    return true;
  };
  const auto nulFree = [&](size_t from, size_t to) {
    return std::memchr(bytes + from, '\0', to - from) == nullptr;
  };
  if (binaryMatters && !parts(0, size, nulFree)) return std::nullopt;
  Pieces pieces;
  const uint64_t count = size / pieceSize;
  uint64_t from = 0;
  for (uint64_t k = 1; k <= count && from < size; ++k) {
    uint64_t to = size;
    if (k < count) {
      const uint64_t at = std::max(from, k * size / count);
      const void* end = std::memchr(bytes + at, terminator, size - at);
      if (end) to = static_cast<uint64_t>(static_cast<const char*>(end) - bytes) + 1;
    }
    pieces.ranges.push_back({from, to});
    from = to;
  }
  uint64_t lines = 0;
  for (const InputFile::Range& range : pieces.ranges) {
    pieces.linesBefore.push_back(lines);
    if (!countLines) continue;
    parts(range.from, range.to, [&](size_t from, size_t to) {
      lines += CountTerminators(bytes + from, to - from, terminator);
      return true;
    });
  }
  if (pieces.ranges.size() < 2) return std::nullopt;
  return pieces;
}

size_t Utf8SequenceLength(const unsigned char* in, size_t size) {
  const unsigned char lead = in[0];
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (size < length || in[1] < low || in[1] > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if ((in[k] & 0xC0) != 0x80) return 0;
  }
  return length;
}

namespace {

// The length of the run of ASCII bytes at the start of in[0, n).
size_t AsciiPrefix(const unsigned char* in, size_t n) {
  size_t i = 0;
#ifdef __SSE2__
  for (; i + 16 <= n; i += 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    if (_mm_movemask_epi8(chunk) != 0) break;
  }
#endif
  while (i < n && in[i] < 0x80)
    ++i;
  return i;
}

}  // namespace

bool IsAscii(std::string_view bytes) {
  return AsciiPrefix(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) ==
         bytes.size();
}

bool IsUtf8(std::string_view bytes) {
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t i = AsciiPrefix(in, bytes.size()); i < bytes.size();) {
    const size_t length = Utf8SequenceLength(in + i, bytes.size() - i);
    if (length == 0) return false;
    i += length;
    i += AsciiPrefix(in + i, bytes.size() - i);
  }
  return true;
}

void Subject::Decode(std::string_view bytes, bool latin1, bool crlf) {
  bytes_ = bytes;
  offsets_.clear();
  marks_.clear();
  invalid_ = 0;
  firstInvalid_ = 0;
  narrow_ = !crlf && (latin1 || AsciiPrefix(reinterpret_cast<const unsigned char*>(bytes.data()),
                                            bytes.size()) == bytes.size());
  if (narrow_) {
    text_.clear();
    return;
  }
  if (latin1) {
    text_.resize(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i)
      text_[i] = static_cast<unsigned char>(bytes[i]);
  } else {
    DecodeUtf8(bytes);
  }
  if (crlf) InsertCrs();
}

namespace {

// Widens the ASCII bytes at the start of in[0, n) into out, sixteen or eight at a time;
// returns how many there were.
size_t WidenAscii(const unsigned char* in, size_t n, char16_t* out) {
  size_t i = 0;
#ifdef __SSE2__
  for (; i + 16 <= n; i += 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    if (_mm_movemask_epi8(chunk) != 0) break;
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(chunk, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(chunk, zero));
  }
#endif
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, in + i, 8);
    if (word & 0x8080808080808080u) break;
    for (size_t k = 0; k < 8; ++k)
      out[i + k] = in[i + k];
  }
  for (; i < n && in[i] < 0x80; ++i)
    out[i] = in[i];
  return i;
}

}  // namespace

void Subject::DecodeUtf8(std::string_view bytes) {
  const size_t n = bytes.size();
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  text_.resize(n);
  char16_t* out = text_.data();
  // Most lines are all ASCII: then unit i is byte i and there are no marks. Past the first
  // byte that is not, a mark every kStride units keeps the way back to the bytes.
  size_t i = WidenAscii(in, n, out);
  if (i == n) return;
  size_t units = i;
  for (size_t k = 0; k <= units; k += kStride)
    marks_.push_back(k);
  // Marks for the units [units, units + count) that begin at byte, one byte each unit when
  // ascii, otherwise count is 1 (or the halves of a pair, at byte and byte + 4).
  const auto mark = [&](size_t count, size_t byte, bool ascii) {
    for (size_t m = (units + kStride - 1) / kStride * kStride; m < units + count; m += kStride) {
      if (m / kStride == marks_.size())
        marks_.push_back(ascii || m == units ? byte + (m - units) : byte + 4);
    }
  };
  while (i < n) {
    const unsigned char lead = in[i];
    if (lead < 0x80) {
      const size_t run = WidenAscii(in + i, n - i, out + units);
      mark(run, i, true);
      units += run;
      i += run;
      continue;
    }
    const size_t length = Utf8SequenceLength(in + i, n - i);
    if (length == 0) {  // an ill-formed byte stands for itself as a lone low surrogate
      if (invalid_++ == 0) firstInvalid_ = i;
      mark(1, i, false);
      out[units++] = static_cast<char16_t>(0xDC00 + lead);
      ++i;
      continue;
    }
    char32_t c = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k)
      c = (c << 6) | (in[i + k] & 0x3F);
    if (c >= 0x10000) {  // a surrogate pair, whose low half ends the character
      mark(2, i, false);
      out[units++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out[units++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      mark(1, i, false);
      out[units++] = static_cast<char16_t>(c);
    }
    i += length;
  }
  text_.resize(units);
  // ByteOf(units) reads the mark of its stride too.
  if (units / kStride == marks_.size()) marks_.push_back(n);
}

quarn::Text Subject::text() const {
  return narrow_ ? quarn::Text::Latin1(bytes_) : quarn::Text(std::u16string_view(text_));
}

size_t Subject::ByteOf(size_t i) const {
  if (!offsets_.empty()) return offsets_[i];
  if (marks_.empty()) return i;
  // From the mark before unit i, each unit's bytes: a pair's high half takes the character's
  // four and its low half none; a lone low surrogate is the ill-formed byte it stands for.
  size_t unit = i / kStride * kStride;
  size_t byte = marks_[i / kStride];
  for (; unit < i; ++unit) {
    const char16_t c = text_[unit];
    if (c < 0x80) {
      byte += 1;
    } else if (c < 0x800) {
      byte += 2;
    } else if (c >= 0xD800 && c <= 0xDBFF) {
      byte += 4;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      const bool pairsHalf = unit > 0 && text_[unit - 1] >= 0xD800 && text_[unit - 1] <= 0xDBFF;
      byte += pairsHalf ? 0 : 1;
    } else {
      byte += 3;
    }
  }
  return byte;
}

void Subject::InsertCrs() {
  std::u16string text;
  std::vector<size_t> offsets;
  bool inserted = false;
  for (size_t i = 0; i < text_.size(); ++i) {
    if (text_[i] == u'\n' && (i == 0 || text_[i - 1] != u'\r')) {
      inserted = true;
      text += u'\r';
      offsets.push_back(ByteOf(i));  // an added CR has no bytes: it goes out as its LF
    }
    text += text_[i];
    offsets.push_back(ByteOf(i));
  }
  if (!inserted) return;
  offsets.push_back(ByteOf(text_.size()));
  text_ = std::move(text);
  offsets_ = std::move(offsets);
  marks_.clear();
}

}  // namespace quarn::cli
