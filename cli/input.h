// Reading the input: lines with their terminators as read, the NUL bytes that mark a binary
// file, and the decoding of bytes into the engine's 16-bit text with the way back to them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::cli {

// One line as read: its bytes without the terminator, and the terminator ("\n" or "\r\n";
// empty for a last line that has none).
struct Line {
  std::string_view text;
  std::string_view end;
};

// A file or standard input, read in blocks.
class InputFile {
 public:
  // Opens path, or standard input for "-". When it cannot be opened, Error() tells why. The
  // blocks are read into buffer, which a search of one file after another reuses.
  InputFile(const std::string& path, std::string& buffer);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int Error() const { return error_; }  // errno of a failed open or read, or 0

  // The next line, valid until the next call; false at the end of the input or on an error.
  bool NextLine(Line& line);
  // The rest of the input in one piece (--whole), valid while the file is open.
  std::string_view ReadAll();

  // The bytes read but not yet handed out, valid until the next call that reads.
  std::string_view Ahead() const { return {buffer_.data() + begin_, end_ - begin_}; }
  // Passes over the first bytes of Ahead(), which end with a line's end.
  void Skip(size_t bytes) { begin_ += bytes; }
  // Reads another block onto Ahead(); false at the end or on an error.
  bool ReadMore() { return Fill(); }

  // Whether a block read so far held a NUL byte, grep's sign of a binary file. A line is
  // handed out only after its whole block is read, so a NUL marks the lines around it too.
  bool SawNul() const { return sawNul_; }

 private:
  int fd_ = -1;
  bool ownsFd_ = false;
  int error_ = 0;
  bool atEnd_ = false;
  bool sawNul_ = false;
  std::string& buffer_;
  size_t begin_ = 0;  // the unread bytes are buffer_[begin_, end_)
  size_t end_ = 0;

  bool Fill();  // reads one more block; false at the end or on an error
};

// The number of LF bytes in bytes.
size_t CountLineBreaks(std::string_view bytes);

// The engine's text of a line (or a whole file) and the way back to the bytes it came from.
class Subject {
 public:
  // Decodes bytes, which must outlive the subject. UTF-8: each byte of an ill-formed
  // sequence becomes a character of its own, U+DC80 to U+DCFF, which only "." and negated
  // classes match, so that the line is still searched and written back as it was read.
  // latin1: each byte is one character. crlf: a lone LF is presented as CR LF.
  void Decode(std::string_view bytes, bool latin1, bool crlf);

  const std::u16string& text() const { return text_; }
  std::string_view bytes() const { return bytes_; }
  size_t InvalidBytes() const { return invalid_; }
  size_t FirstInvalid() const { return firstInvalid_; }  // its byte offset, if any

  // The byte offset of unit i of text() (i may be its size). Both halves of a surrogate pair
  // belong to the character's bytes: the high one starts them, the low one ends them.
  size_t ByteOf(size_t i) const { return offsets_.empty() ? i : offsets_[i]; }
  // Index i of text() in the input's own text, without the CRs that crlf added.
  size_t Original(size_t i) const;
  // text()[from, to) without the CRs that crlf added.
  std::u16string Slice(size_t from, size_t to) const;

 private:
  std::u16string text_;
  std::string_view bytes_;
  std::vector<size_t> offsets_;   // empty when unit i is byte i
  std::vector<size_t> inserted_;  // ascending indices in text_ of the CRs that crlf added
  size_t invalid_ = 0;
  size_t firstInvalid_ = 0;

  void DecodeUtf8(std::string_view bytes);
  void InsertCrs();
};

}  // namespace quarn::cli
