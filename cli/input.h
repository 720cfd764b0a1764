// Reading the input: lines with their terminators as read, the NUL bytes that mark a binary
// file, and the engine's text of the bytes (the bytes themselves, or decoded into UTF-16)
// with the way back to them.
// A line of any length is read in time linear in its length, holding it once plus a block;
// a line longer than the caller can hold is passed over without being held at all. A large
// regular file is mapped instead of read: the same blocks come into view in the same order,
// without a copy, and a file cut short while mapped reads as NUL bytes past its new end
// instead of ending the process.
#pragma once

#include <quarn/pattern.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::cli {

// One line as read: its bytes without the terminator, and the terminator ("\n" or "\r\n";
// "\0" for NUL-terminated data; empty for a last line that has none).
struct Line {
  std::string_view text;
  std::string_view end;
  uint64_t offset = 0;   // the byte offset of text in the input
  bool tooLong = false;  // longer than NextLine could hold: text is empty, end as read
  uint64_t length = 0;   // the line's length in bytes, also when it was not held
};

// Bytes read, held in memory that grows by realloc, which moves a large block by remapping
// its pages rather than copying them, so that a growing line never needs twice its size.
// One buffer serves one file after another on one thread.
class ByteBuffer {
 public:
  char* data() { return data_.get(); }
  size_t capacity() const { return capacity_; }
  // Makes room for at least size bytes, keeping the first kept of them.
  void Reserve(size_t size);

 private:
  struct Free {
    void operator()(char* p) const;
  };
  std::unique_ptr<char, Free> data_;
  size_t capacity_ = 0;
};

struct Pieces;

// A file or standard input, read in blocks.
class InputFile {
 public:
  // Opens path, or standard input for "-". When it cannot be opened, Error() tells why.
  // Lines end at terminator ('\n', or '\0' for -z); with '\n', a CR before it belongs to
  // the terminator.
  InputFile(const std::string& path, ByteBuffer& buffer, char terminator = '\n');
  // Only the bytes [from, to) of a file (a piece of whole lines of it); offsets stay the
  // file's.
  struct Range {
    uint64_t from = 0;
    uint64_t to = 0;
  };
  InputFile(const std::string& path, ByteBuffer& buffer, char terminator, Range range);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  friend std::optional<Pieces> SplitIntoPieces(const std::string&, char, uint64_t, bool, bool);

  bool IsOpen() const { return fd_ >= 0; }
  int Error() const { return error_; }  // errno of a failed open or read, or 0

  // The next line, valid until the next call; false at the end of the input or on an error.
  // A line longer than longest bytes is read to its end without being held (tooLong).
  bool NextLine(Line& line, uint64_t longest = UINT64_MAX);
  // The rest of the input in one piece (--whole) into all, valid while the file is open;
  // false, with all empty, when it is longer than longest bytes.
  bool ReadAll(std::string_view& all, uint64_t longest = UINT64_MAX);

  // The bytes read but not yet handed out, valid until the next call that reads.
  std::string_view Ahead() const { return {Data() + begin_, end_ - begin_}; }
  // Passes over the first bytes of Ahead(), which end with a line's end; where nulFree, they
  // are known to hold no NUL, which spares looking through them.
  void Skip(size_t bytes, bool nulFree = false) {
    if (nulFree && checked_ >= base_ + begin_)
      checked_ = std::max(checked_, base_ + begin_ + bytes);
    begin_ += bytes;
  }
  // Reads another block onto Ahead(); false at the end or on an error.
  bool ReadMore() { return Fill(); }

  // Whether a block read so far held a NUL byte, grep's sign of a binary file, and the
  // offset of the first. A line is handed out only after its whole block is read, so a NUL
  // marks the lines around it too. The bytes are looked through when this is asked, or
  // before they can be dropped, unless Skip knew them or they were handed out in a line.
  bool SawNul() const {
    LookForNul(base_ + end_);
    return sawNul_;
  }
  uint64_t FirstNul() const {
    LookForNul(base_ + end_);
    return firstNul_;
  }
  // The bytes read so far (from the start of the range).
  uint64_t BytesRead() const { return base_ + end_ - range_.from; }

 private:
  int fd_ = -1;
  bool ownsFd_ = false;
  int error_ = 0;
  bool atEnd_ = false;
  mutable bool sawNul_ = false;
  mutable uint64_t firstNul_ = 0;
  mutable uint64_t checked_ = 0;  // the bytes before this offset were looked through for a NUL
  // Looks through the bytes read from checked_ to the offset to (no further than end_).
  void LookForNul(uint64_t to) const;
  char terminator_;
  ByteBuffer& buffer_;
  // The file's pages while it is mapped; the bytes are then map_ rather than buffer_, and
  // the bytes past mapped_ are read into buffer_ once the map is done with.
  const char* map_ = nullptr;
  size_t mapped_ = 0;
  int guard_ = -1;  // the map's slot in the SIGBUS guard
  Range range_{0, UINT64_MAX};
  size_t dropped_ = 0;  // the pages before this were given back
  uint64_t base_ = 0;   // the offset in the input of Data()[0]
  size_t begin_ = 0;    // the unread bytes are Data()[begin_, end_)
  size_t end_ = 0;

  std::string held_;  // the line handed out last, or the whole file, while mapped
  const char* Data() const { return map_ ? map_ : buffer_.data(); }
  bool Hold(Line& line);
  void DropPassed(size_t least);
  void Map();
  void Unmap();
  bool Fill();  // reads one more block; false at the end or on an error
  bool FillMapped();
  // Drops the bytes before begin_, so that a line being passed over takes no room.
  void Discard();
};

// A large regular file split into pieces of whole lines of about pieceSize bytes each, which
// can be searched on their own and one after another: their ranges, and with countLines the
// lines before each (else zeros). Nothing when the file is not a regular file of two pieces
// at least, or when it holds a NUL byte and binaryMatters (a binary file is searched whole).
struct Pieces {
  std::vector<InputFile::Range> ranges;
  std::vector<uint64_t> linesBefore;
};
std::optional<Pieces> SplitIntoPieces(const std::string& path, char terminator, uint64_t pieceSize,
                                      bool binaryMatters, bool countLines);

// The length of the well-formed UTF-8 sequence at in (of size bytes, at least one), or 0 when
// it is not one: overlong forms, surrogates, values above U+10FFFF and cut-off sequences are
// ill-formed.
size_t Utf8SequenceLength(const unsigned char* in, size_t size);
// Whether bytes are well-formed UTF-8; whether they are ASCII.
bool IsUtf8(std::string_view bytes);
bool IsAscii(std::string_view bytes);

// The engine's text of a line (or a whole file) and the way back to the bytes it came from.
// This is the one place that turns input bytes into what the engine searches.
class Subject {
 public:
  // Decodes bytes, which must outlive the subject. UTF-8: each byte of an ill-formed
  // sequence becomes a character of its own, U+DC80 to U+DCFF, which only "." and negated
  // classes match, so that the line is still searched and written back as it was read.
  // latin1: each byte is one character. crlf: a lone LF is presented as CR LF.
  // Bytes that are their own UTF-16 units (ASCII, or Latin-1) are not decoded unless CRs are
  // added: the engine searches them as they are, and unit i is byte i.
  void Decode(std::string_view bytes, bool latin1, bool crlf);

  // What the engine searches: the bytes as they are, or their UTF-16 text. It views the
  // subject, which must outlive it and not be decoded again meanwhile.
  quarn::Text text() const;
  std::string_view bytes() const { return bytes_; }
  size_t InvalidBytes() const { return invalid_; }
  size_t FirstInvalid() const { return firstInvalid_; }  // its byte offset, if any

  // The byte offset of unit i of text() (i may be its size). Both halves of a surrogate pair
  // belong to the character's bytes: the high one starts them, the low one ends them. It
  // takes a walk over at most kStride units.
  size_t ByteOf(size_t i) const;

 private:
  // Units between marks: a line costs its UTF-16 text and a mark of 8 bytes for each 64 units.
  static constexpr size_t kStride = 64;

  std::u16string text_;
  std::string_view bytes_;
  std::vector<size_t> marks_;    // the byte offset of every kStride-th unit; empty: ASCII
  std::vector<size_t> offsets_;  // with CRs added (crlf), the byte offset of every unit
  size_t invalid_ = 0;
  size_t firstInvalid_ = 0;
  bool narrow_ = false;  // text_ is unused: the engine reads bytes_

  void DecodeUtf8(std::string_view bytes);
  void InsertCrs();
};

}  // namespace quarn::cli
