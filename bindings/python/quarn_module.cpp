// The extension module quarn._quarn: compiled patterns with the methods of re's patterns,
// match objects, a lazy match iterator and prepared subjects (quarn.Text). The package quarn
// (quarn/__init__.py) adds the module-level functions on top.
//
// Subjects are str, bytes or any other bytes-like object (one character per byte, as re reads
// them) and never mixed with a pattern of the other kind. The engine reads UTF-16 units or
// Latin-1 bytes: a str whose characters all fit 16 bits, and bytes, are searched in their
// own storage (a str of one byte per character and bytes as Latin-1, one unit per byte);
// other subjects are converted once per call (or once for all calls, through quarn.Text).
// Positions are those of the subject itself: a span that begins or ends between the two
// units of a character above U+FFFF grows to cover that character. Every iteration,
// replacement and template expansion is the engine's own (Pattern::matches, replace,
// Match::expand). Searches of long subjects run without the GIL; errors raise quarn.error and
// are never taken for "no match".
//
// Thread safety: patterns and prepared subjects are immutable and may be shared between
// threads; a match iterator serialises the threads that advance it.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cctype>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "quarn/pattern.h"

namespace py = pybind11;

// pos and endpos: ints, or objects with __index__, as re takes them (OverflowError past
// the range of Py_ssize_t).
struct Position {
  Py_ssize_t value = 0;
};

namespace pybind11::detail {
template <>
struct type_caster<Position> {
  PYBIND11_TYPE_CASTER(Position, const_name("int"));
  bool load(handle source, bool) {
    if (!PyIndex_Check(source.ptr())) return false;
    value.value = PyNumber_AsSsize_t(source.ptr(), PyExc_OverflowError);
    if (value.value == -1 && PyErr_Occurred()) throw error_already_set();
    return true;
  }
  static handle cast(Position position, return_value_policy, handle) {
    return PyLong_FromSsize_t(position.value);
  }
};
}  // namespace pybind11::detail

namespace {

bool IsHighSurrogate(Py_UCS4 c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

// A subject or a pattern as the engine's text, with the way between its own positions and
// the text's units (UTF-16 units, or the bytes of a Latin-1 text: one per position).
class Subject {
 public:
  // Reads object's first characters characters (all of them by default): a search up to
  // endpos needs no more.
  explicit Subject(py::handle object, size_t characters = SIZE_MAX)
      : object_(py::reinterpret_borrow<py::object>(object)) {
    if (PyUnicode_Check(object.ptr())) {
      ReadStr(characters);
    } else if (PyObject_CheckBuffer(object.ptr())) {
      ReadBuffer(characters);
    } else {
      throw NotASubject(object);
    }
  }

  static py::type_error NotASubject(py::handle object) {
    return py::type_error("expected string or bytes-like object, got '" +
                          std::string(Py_TYPE(object.ptr())->tp_name) + "'");
  }

  // The characters read (every character, where the object's storage is read) as the
  // engine's text; it views that storage, which object_ keeps alive and unchanged.
  const quarn::Text& Searched() const { return text_; }
  // The text up to unit, to search up to that point.
  quarn::Text Prefix(size_t unit) const {
    if (text_.encoding() == quarn::Text::Encoding::kLatin1) {
      return quarn::Text::Latin1(text_.bytes().substr(0, unit));
    }
    return quarn::Text(text_.units().substr(0, unit));
  }
  size_t UnitCount() const { return text_.size(); }
  // The text as UTF-16 units: a copy, made once, of a Latin-1 text (patterns and templates,
  // which are short, are read this way).
  std::u16string_view Units() const { return text_.units(); }
  bool IsStr() const { return str_; }
  size_t Length() const { return length_; }
  const py::object& Object() const { return object_; }
  bool HasWideCharacters() const { return !wide_.empty(); }

  // The unit where the character at position begins.
  size_t UnitOf(size_t position) const {
    return position + static_cast<size_t>(std::lower_bound(wide_.begin(), wide_.end(), position) -
                                          wide_.begin());
  }
  // The position of unit, or where its character begins (Before) or ends (After) when the
  // unit is the second half of a character above U+FFFF.
  size_t Before(size_t unit) const { return Locate(unit).first; }
  size_t After(size_t unit) const { return Locate(unit).second; }

  // The units from one unit to another, as an object of the subject's type: between
  // matches, which may end inside a character of two units.
  py::object Piece(size_t from, size_t to) const {
    if (wide_.empty()) return Slice(from, to);
    return Make(Units().substr(from, to - from), true);
  }

  // The characters from one position to another, as an object of the subject's type.
  py::object Slice(size_t from, size_t to) const {
    if (str_) {
      return py::reinterpret_steal<py::object>(PyUnicode_Substring(
          object_.ptr(), static_cast<Py_ssize_t>(from), static_cast<Py_ssize_t>(to)));
    }
    if (PyBytes_CheckExact(object_.ptr())) {
      return py::reinterpret_steal<py::object>(PyBytes_FromStringAndSize(
          PyBytes_AS_STRING(object_.ptr()) + from, static_cast<Py_ssize_t>(to - from)));
    }
    return py::reinterpret_steal<py::object>(PySequence_GetSlice(
        object_.ptr(), static_cast<Py_ssize_t>(from), static_cast<Py_ssize_t>(to)));
  }

  // Units as an object of this subject's kind. Where pairs is true (the units came from
  // texts with characters above U+FFFF) a surrogate pair is one character; otherwise each
  // unit is one, lone surrogates included.
  py::object Make(std::u16string_view units, bool pairs) const {
    if (str_ && pairs && std::any_of(units.begin(), units.end(), IsHighSurrogate)) {
      return py::reinterpret_steal<py::object>(PyUnicode_DecodeUTF16(
          reinterpret_cast<const char*>(units.data()), static_cast<Py_ssize_t>(units.size() * 2),
          "surrogatepass", nullptr));
    }
    if (str_) {
      return py::reinterpret_steal<py::object>(PyUnicode_FromKindAndData(
          PyUnicode_2BYTE_KIND, units.data(), static_cast<Py_ssize_t>(units.size())));
    }
    std::string bytes(units.size(), '\0');
    std::transform(units.begin(), units.end(), bytes.begin(),
                   [](char16_t c) { return static_cast<char>(c); });
    return py::bytes(bytes);
  }

 private:
  void ReadStr(size_t characters) {
    str_ = true;
    PyObject* s = object_.ptr();
    length_ = static_cast<size_t>(PyUnicode_GET_LENGTH(s));
    const size_t read = std::min(characters, length_);
    const void* data = PyUnicode_DATA(s);
    switch (PyUnicode_KIND(s)) {
      case PyUnicode_2BYTE_KIND:
        // Already UTF-16 units: the str's own storage, which lives as long as object_. Two
        // characters that are a high and a low surrogate are searched as the pair they make,
        // and keep their two positions, unit for unit.
        text_ = quarn::Text(std::u16string_view(static_cast<const char16_t*>(data), length_));
        return;
      case PyUnicode_1BYTE_KIND:
        // Latin-1, each byte the unit of its value: searched in the str's own storage.
        text_ = quarn::Text::Latin1(std::string_view(static_cast<const char*>(data), length_));
        return;
      default:
        Encode(static_cast<const Py_UCS4*>(data), read);
    }
  }

  void ReadBuffer(size_t characters) {
    if (PyBytes_Check(object_.ptr())) {
      // Immutable storage, alive as long as object_: searched in place.
      length_ = static_cast<size_t>(PyBytes_GET_SIZE(object_.ptr()));
      text_ = quarn::Text::Latin1(std::string_view(PyBytes_AS_STRING(object_.ptr()), length_));
      return;
    }
    // Other buffers may change or move between the searches of one iteration: copied.
    Py_buffer view;
    if (PyObject_GetBuffer(object_.ptr(), &view, PyBUF_SIMPLE) != 0) throw py::error_already_set();
    length_ = static_cast<size_t>(view.len);
    Widen(static_cast<const unsigned char*>(view.buf), std::min(characters, length_));
    PyBuffer_Release(&view);
  }

  void Widen(const unsigned char* data, size_t read) {
    char16_t* out = Allocate(read);
    std::copy(data, data + read, out);
  }

  // Room for the units, left uninitialised: every unit is written once.
  char16_t* Allocate(size_t units) {
    owned_.reset(new char16_t[units]);
    text_ = quarn::Text(std::u16string_view(owned_.get(), units));
    return owned_.get();
  }

  // Characters above U+FFFF become two units each; the positions of those characters are
  // kept to map positions both ways.
  void Encode(const Py_UCS4* data, size_t read) {
    size_t wide = 0;
    for (size_t i = 0; i < read; ++i)
      wide += data[i] > 0xFFFF;
    wide_.reserve(wide);
    char16_t* out = Allocate(read + wide);
    for (size_t i = 0; i < read; ++i) {
      const Py_UCS4 c = data[i];
      if (c > 0xFFFF) {
        wide_.push_back(i);
        *out++ = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        *out++ = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      } else {
        *out++ = static_cast<char16_t>(c);
      }
    }
  }

  // (before, after) for unit: equal unless unit is inside a character of two units.
  std::pair<size_t, size_t> Locate(size_t unit) const {
    // The k-th character of two units begins at unit wide_[k] + k.
    size_t low = 0;
    size_t high = wide_.size();
    while (low < high) {
      const size_t mid = (low + high) / 2;
      if (wide_[mid] + mid < unit) {
        low = mid + 1;
      } else {
        high = mid;
      }
    }
    if (low > 0 && wide_[low - 1] + low == unit) return {wide_[low - 1], wide_[low - 1] + 1};
    return {unit - low, unit - low};
  }

  py::object object_;
  bool str_ = false;
  size_t length_ = 0;                  // in positions of the object
  std::unique_ptr<char16_t[]> owned_;  // the units, unless the object's storage is read
  quarn::Text text_{std::u16string_view()};
  std::vector<size_t> wide_;  // positions of the characters above U+FFFF
};

using SubjectPtr = std::shared_ptr<const Subject>;

constexpr py::ssize_t kWhole = std::numeric_limits<py::ssize_t>::max();

// The length of a str in characters or of a bytes-like object in bytes.
size_t LengthOf(py::handle object) {
  if (PyUnicode_Check(object.ptr())) return static_cast<size_t>(PyUnicode_GET_LENGTH(object.ptr()));
  if (PyBytes_Check(object.ptr())) return static_cast<size_t>(PyBytes_GET_SIZE(object.ptr()));
  Py_buffer view;
  if (PyObject_GetBuffer(object.ptr(), &view, PyBUF_SIMPLE) != 0) throw py::error_already_set();
  const auto length = static_cast<size_t>(view.len);
  PyBuffer_Release(&view);
  return length;
}

// Whether the first characters characters of a str or bytes-like object are more than limit
// UTF-16 units, told without converting them: each is one unit, or two above U+FFFF.
bool LongerThan(py::handle object, size_t characters, uint64_t limit) {
  if (characters > limit) return true;
  if (characters <= limit / 2 || !PyUnicode_Check(object.ptr()) ||
      PyUnicode_KIND(object.ptr()) != PyUnicode_4BYTE_KIND) {
    return false;
  }
  const Py_UCS4* data = PyUnicode_4BYTE_DATA(object.ptr());
  const auto wide = std::count_if(data, data + characters, [](Py_UCS4 c) { return c > 0xFFFF; });
  return characters + static_cast<size_t>(wide) > limit;
}

// The engine's refusal of a subject longer than a search may take, in its own words: a Text
// longer than its limits allow is refused with it before anything is decoded.
quarn::Error SubjectLengthError() {
  quarn::Limits none;
  none.subjectLength = 0;
  return *quarn::Text(std::string_view("x"), none).error();
}

// quarn.Text: a subject converted once, to be searched many times.
struct Text {
  SubjectPtr subject;
};

// The Python types of the module's classes, looked up once (pybind11 finds them by hashing
// their C++ type's name on every cast).
PyTypeObject* textType = nullptr;
PyTypeObject* matchType = nullptr;

// The C++ object inside object, an instance of the pybind11 class of T (or of a Python
// subclass of it).
template <typename T>
const T& Held(py::handle object) {
  auto* instance = reinterpret_cast<py::detail::instance*>(object.ptr());
  if (instance->simple_layout && instance->simple_value_holder[0] != nullptr) {
    return *static_cast<const T*>(instance->simple_value_holder[0]);
  }
  return object.cast<const T&>();
}

bool IsText(py::handle object) {
  return PyObject_TypeCheck(object.ptr(), textType);
}

SubjectPtr SubjectOf(py::handle object) {
  if (IsText(object)) return Held<Text>(object).subject;
  return std::make_shared<const Subject>(object);
}

// The subject of one call: a quarn.Text's, or one read for this call alone, which a search
// that finds nothing never copies to the heap; only what keeps it (a match, an iterator)
// shares it.
class CallSubject {
 public:
  explicit CallSubject(SubjectPtr prepared) : shared_(std::move(prepared)) {}
  CallSubject(py::handle object, size_t characters) : local_(std::in_place, object, characters) {}

  const Subject& operator*() const { return shared_ ? *shared_ : *local_; }
  // The subject to keep, moved to the heap the first time. Its text views the object's
  // storage or units on the heap, neither of which moves, so matches found before stay
  // valid; a Window made on it before views the old place and is not searched again.
  const SubjectPtr& Share() {
    if (!shared_) {
      shared_ = std::make_shared<const Subject>(std::move(*local_));
      local_.reset();
    }
    return shared_;
  }

 private:
  SubjectPtr shared_;
  std::optional<Subject> local_;
};

py::object errorType;
py::object errorKindType;
py::object flagType;

// The quarn.error of an engine error; its position is in the pattern's own characters.
py::object ErrorObject(const quarn::Error& error, const Subject& pattern) {
  py::object e = errorType(error.report());
  e.attr("number") = error.number;
  e.attr("kind") = errorKindType(std::string(quarn::ErrorKindName(error.kind)));
  e.attr("position") =
      error.position ? py::cast(pattern.Before(*error.position)) : py::object(py::none());
  return e;
}

[[noreturn]] void Raise(const quarn::Error& error, const Subject& pattern) {
  PyErr_SetObject(errorType.ptr(), ErrorObject(error, pattern).ptr());
  throw py::error_already_set();
}

// One character as a str of its own (a lone surrogate stays one).
py::str Character(char16_t c) {
  return py::reinterpret_steal<py::str>(PyUnicode_FromOrdinal(static_cast<int>(c)));
}

// Units of the engine as a str, a surrogate pair as one character.
py::str Characters(std::u16string_view units) {
  return py::reinterpret_steal<py::str>(
      PyUnicode_DecodeUTF16(reinterpret_cast<const char*>(units.data()),
                            static_cast<Py_ssize_t>(units.size() * 2), "surrogatepass", nullptr));
}

template <typename T>
py::object OrNone(const std::optional<T>& value) {
  return value ? py::cast(*value) : py::object(py::none());
}

// The option flags: quarn.Flag members or plain ints; re's flags (re.I is 2, which would
// mean SINGLELINE here) and other enumerations are refused.
int32_t FlagValue(py::handle flags) {
  if (!py::isinstance(flags, flagType)) {
    const py::object enumType = py::module_::import("enum").attr("Enum");
    if (py::isinstance(flags, enumType)) {
      throw py::type_error(
          "quarn takes its own flags (quarn.IGNORECASE, quarn.SINGLELINE, quarn.MULTILINE), "
          "not " +
          py::repr(flags).cast<std::string>() +
          ": their values differ, re.I is 2, which quarn would read as SINGLELINE");
    }
    if (!PyLong_Check(flags.ptr())) {
      throw py::type_error("flags must be quarn flags or an int, not '" +
                           std::string(Py_TYPE(flags.ptr())->tp_name) + "'");
    }
  }
  const long long value = PyLong_AsLongLong(flags.ptr());
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    if (PyErr_Occurred()) PyErr_Clear();
    throw py::value_error("flags must fit 32 bits");
  }
  return static_cast<int32_t>(value);
}

// Flags as the expression that makes them: "quarn.IGNORECASE|quarn.MULTILINE".
std::string FlagsRepr(int32_t flags) {
  std::string out;
  for (const auto& [name, bit] :
       {std::pair{"IGNORECASE", quarn::reIgnoreCase}, std::pair{"SINGLELINE", quarn::reSingleLine},
        std::pair{"MULTILINE", quarn::reMultiline}}) {
    if ((flags & bit) == 0) continue;
    out += (out.empty() ? "quarn." : "|quarn.") + std::string(name);
    flags &= ~bit;
  }
  if (flags != 0) out += (out.empty() ? "" : "|") + std::to_string(flags);
  return out;
}

quarn::Limits MakeLimits(uint32_t depth, uint64_t subjectLength, uint64_t steps) {
  quarn::Limits limits;
  limits.depth = depth;
  limits.subjectLength = subjectLength;
  limits.steps = steps;
  return limits;
}

// pos and endpos as re takes them: clamped to the subject, in its own positions. It views the
// subject's text (unless it ends before the subject does), so it is searched only while that
// subject stays where it is.
struct Window {
  Window(const Subject& subject, py::ssize_t pos, py::ssize_t endpos) {
    const auto length = static_cast<py::ssize_t>(subject.Length());
    this->pos = std::clamp<py::ssize_t>(pos, 0, length);
    this->endpos = std::clamp<py::ssize_t>(endpos, 0, length);
    start = subject.UnitOf(static_cast<size_t>(this->pos));
    const size_t end = subject.UnitOf(static_cast<size_t>(this->endpos));
    if (end == subject.UnitCount()) {
      text = &subject.Searched();
    } else {
      text = &prefix.emplace(subject.Prefix(end));
    }
  }
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  bool Empty() const { return pos > endpos; }  // re finds nothing then
  // Units that a search from unit to endpos may read.
  size_t UnitsFrom(size_t unit) const { return text->size() - std::min(unit, text->size()); }

  py::ssize_t pos;
  py::ssize_t endpos;
  size_t start;                       // pos in units
  const quarn::Text* text;            // the subject up to endpos
  std::optional<quarn::Text> prefix;  // that text, where it ends before the subject
};

// A search of at most this many units keeps the GIL: even at 100 ns a unit, a slow pattern's
// pace, it ends well within the interpreter's switch interval of 5 ms, and most take
// microseconds, while handing the GIL over and back costs about as much as a short search
// itself. Longer searches release it so that other threads run meanwhile. As with re, a
// pattern that backtracks for long on a short subject holds the GIL while it does.
constexpr size_t kHeldUnits = 1 << 14;

// Releases the GIL for a search that may read units units.
class SearchLock {
 public:
  explicit SearchLock(size_t units) {
    if (units > kHeldUnits) unlocked_.emplace();
  }

 private:
  std::optional<py::gil_scoped_release> unlocked_;
};

class PyPattern;

class PyMatch {
 public:
  PyMatch(SubjectPtr subject, quarn::Match match, py::object pattern, py::ssize_t pos,
          py::ssize_t endpos)
      : subject_(std::move(subject)),
        match_(std::move(match)),
        pattern_(std::move(pattern)),
        pos_(pos),
        endpos_(endpos) {}

  py::object Group(py::handle index) const { return GroupOr(Index(index), py::none()); }
  // What findall lists for this match: the text of the match or of the one group, or the
  // groups' texts (empty for a group that took no part).
  py::object Found(const py::object& empty) const {
    if (match_.groupCount() > 1) return Groups(empty);
    return GroupOr(match_.groupCount(), empty);
  }
  py::object GroupArgs(const py::args& args) const {
    if (args.empty()) return GroupOr(0, py::none());
    if (args.size() == 1) return Group(args[0]);
    py::tuple groups(args.size());
    for (size_t k = 0; k < args.size(); ++k)
      groups[k] = Group(args[k]);
    return groups;
  }
  py::tuple Groups(const py::object& fallback) const {
    py::tuple groups(static_cast<size_t>(match_.groupCount()));
    for (int n = 1; n <= match_.groupCount(); ++n)
      groups[static_cast<size_t>(n - 1)] = GroupOr(n, fallback);
    return groups;
  }
  std::pair<py::ssize_t, py::ssize_t> Span(py::handle index) const { return SpanOf(Index(index)); }
  int GroupCount() const { return match_.groupCount(); }
  py::object GroupAt(int n) const { return GroupOr(n, py::none()); }
  std::pair<py::ssize_t, py::ssize_t> SpanOf(int n) const {
    const auto& s = match_.span(n);
    if (!s) return {-1, -1};
    const bool empty = s->start == s->end;
    return {
        static_cast<py::ssize_t>(empty ? subject_->After(s->start) : subject_->Before(s->start)),
        static_cast<py::ssize_t>(subject_->After(s->end))};
  }
  py::tuple Regs() const {
    py::tuple regs(static_cast<size_t>(match_.groupCount() + 1));
    for (int n = 0; n <= match_.groupCount(); ++n)
      regs[static_cast<size_t>(n)] = py::cast(SpanOf(n));
    return regs;
  }
  py::object Expand(py::handle templ) const { return Expand(*SubjectOf(templ)); }
  py::object Expand(const Subject& replacement) const {
    if (replacement.IsStr() != subject_->IsStr()) {
      throw py::type_error(subject_->IsStr() ? "expected a str template, got a bytes-like object"
                                             : "expected a bytes-like template, got a str");
    }
    return subject_->Make(match_.expand(replacement.Units()),
                          subject_->HasWideCharacters() || replacement.HasWideCharacters());
  }
  py::object LastIndex() const {
    return match_.lastIndex() > 0 ? py::object(py::int_(match_.lastIndex())) : py::none();
  }
  std::string Repr() const {
    const auto [start, end] = SpanOf(0);
    return "<quarn.Match object; span=(" + std::to_string(start) + ", " + std::to_string(end) +
           "), match=" + py::repr(GroupOr(0, py::none())).cast<std::string>() + ">";
  }
  const py::object& Subject() const { return subject_->Object(); }
  const py::object& Pattern() const { return pattern_; }
  py::ssize_t Pos() const { return pos_; }
  py::ssize_t Endpos() const { return endpos_; }

 private:
  py::object GroupOr(int n, const py::object& fallback) const {
    if (!match_.matched(n)) return fallback;
    const auto [start, end] = SpanOf(n);
    return subject_->Slice(static_cast<size_t>(start), static_cast<size_t>(end));
  }

 private:
  // A group number as re reads it: an int (or an object with __index__) that names a group.
  int Index(py::handle index) const {
    if (PyIndex_Check(index.ptr())) {
      const Py_ssize_t n = PyNumber_AsSsize_t(index.ptr(), nullptr);
      if (n >= 0 && n <= match_.groupCount()) return static_cast<int>(n);
      if (PyErr_Occurred()) PyErr_Clear();
    }
    throw py::index_error("no such group");
  }

  SubjectPtr subject_;
  quarn::Match match_;
  py::object pattern_;
  py::ssize_t pos_;
  py::ssize_t endpos_;
};

// Matches are made and freed once per match found, so both skip pybind11's bookkeeping,
// which looks the type up by name and files every instance in a table by address: a new
// quarn.Match is an instance of the pybind11 class with its simple layout (the value and its
// holder inside the object), left out of that table, which pybind11 consults only to find
// the instance of a C++ pointer it is given, and matches are never given back that way.
using MatchHolder = std::unique_ptr<PyMatch>;
destructor pybindMatchDealloc = nullptr;

py::object NewMatch(PyMatch&& match) {
  auto owned = std::make_unique<PyMatch>(std::move(match));
  PyObject* self = matchType->tp_alloc(matchType, 0);  // zeroed: no flag set
  if (self == nullptr) throw py::error_already_set();
  auto* instance = reinterpret_cast<py::detail::instance*>(self);
  instance->simple_layout = true;
  instance->owned = true;
  instance->simple_value_holder[0] = owned.get();
  new (&instance->simple_value_holder[1]) MatchHolder(std::move(owned));
  instance->simple_holder_constructed = true;
  return py::reinterpret_steal<py::object>(self);
}

// The matches that NewMatch made are freed here; others (a subclass's, those pybind11 made)
// as pybind11 frees them.
void MatchDealloc(PyObject* self) {
  auto* instance = reinterpret_cast<py::detail::instance*>(self);
  PyTypeObject* type = Py_TYPE(self);
  if (type != matchType || !instance->simple_layout || instance->simple_instance_registered) {
    pybindMatchDealloc(self);
    return;
  }
  if (instance->weakrefs != nullptr) PyObject_ClearWeakRefs(self);
  if (instance->simple_holder_constructed) {
    std::launder(reinterpret_cast<MatchHolder*>(&instance->simple_value_holder[1]))->~MatchHolder();
  }
  type->tp_free(self);
  Py_DECREF(type);  // each instance of a heap type holds a reference to it
}

// The searches of one iteration, run a batch at a time (without the GIL when what is left to
// search is long).
class Iteration {
 public:
  Iteration(const quarn::Pattern& pattern, const Window& window, const quarn::Limits& limits)
      : all_(pattern.matches(*window.text, window.start, limits)),
        from_(window.start),
        units_(window.text->size()) {}
  Iteration(const Iteration&) = delete;
  Iteration& operator=(const Iteration&) = delete;

  // Hands up to count matches to take (called without the GIL if released); false once none
  // is left.
  template <typename Take>
  bool Next(size_t count, Take&& take) {
    const SearchLock lock(units_ - std::min(from_, units_));
    for (size_t n = 0; n < count; ++n) {
      if (!started_) {
        started_ = true;
        at_ = all_.begin();
      } else {
        ++at_;
      }
      if (at_ == all_.end()) return false;
      from_ = at_->next();
      take(*at_);
    }
    return true;
  }
  const std::optional<quarn::Error>& Error() const { return all_.error(); }

 private:
  quarn::Matches all_;
  quarn::Matches::iterator at_ = all_.end();
  bool started_ = false;
  size_t from_;   // where the next search starts, in units
  size_t units_;  // the units up to endpos
};

constexpr size_t kBatch = 1024;

class PyPattern {
 public:
  // With check, a fault that the engine's diagnostics find anywhere in the pattern is raised
  // now, as re.compile raises; without, only by the searches that reach it.
  PyPattern(py::object pattern, py::handle flags, bool check)
      : source_(std::move(pattern)),
        text_(std::make_shared<const Subject>(Checked(source_))),
        check_(check) {
    compiled_ = std::make_unique<const quarn::Pattern>(text_->Units(), FlagValue(flags));
    if (compiled_->error()) Raise(*compiled_->error(), *text_);
    if (!check) return;
    for (const quarn::Diagnostic& d : compiled_->diagnostics()) {
      if (d.severity == quarn::Severity::kError && d.error) Raise(*d.error, *text_);
    }
  }

  enum class Kind { kSearch, kMatch, kFullMatch };

  py::object Find(Kind kind, py::object self, py::handle string, py::ssize_t pos,
                  py::ssize_t endpos, const quarn::Limits& limits) const {
    CallSubject subject = Checked(string, pos, endpos, limits);
    const Window window(*subject, pos, endpos);
    if (window.Empty()) return py::none();
    quarn::SearchResult result;
    {
      const SearchLock lock(window.UnitsFrom(window.start));
      switch (kind) {
        case Kind::kSearch:
          result = compiled_->search(*window.text, window.start, limits);
          break;
        case Kind::kMatch:
          result = compiled_->match(*window.text, window.start, limits);
          break;
        case Kind::kFullMatch:
          result = compiled_->fullMatch(*window.text, window.start, limits);
          break;
      }
    }
    if (result.error()) Raise(*result.error(), *text_);
    if (!result) return py::none();
    // The window is not searched again: the subject may move to the heap now.
    return NewMatch(
        PyMatch(subject.Share(), result.match(), std::move(self), window.pos, window.endpos));
  }

  py::list FindAll(py::handle string, py::ssize_t pos, py::ssize_t endpos,
                   const quarn::Limits& limits) const {
    const SubjectPtr subject = Checked(string, pos, endpos, limits).Share();
    const Window window(*subject, pos, endpos);
    py::list found;
    if (window.Empty()) return found;
    Iteration all(*compiled_, window, limits);
    const py::object empty = subject->Slice(0, 0);
    std::vector<quarn::Match> batch;
    for (bool more = true; more;) {
      batch.clear();
      more = all.Next(kBatch, [&](const quarn::Match& m) { batch.push_back(m); });
      for (const quarn::Match& m : batch) {
        found.append(PyMatch(subject, m, py::none(), window.pos, window.endpos).Found(empty));
      }
    }
    if (all.Error()) Raise(*all.Error(), *text_);
    return found;
  }

  // sub and subn: the text and the number of replacements.
  std::pair<py::object, size_t> Sub(py::object self, py::handle repl, py::handle string,
                                    py::ssize_t signedCount, const quarn::Limits& limits) const {
    const SubjectPtr subject = Checked(string, 0, kWhole, limits).Share();
    if (signedCount < 0) return {SameText(*subject), 0};  // as re: nothing is replaced
    const auto count = static_cast<size_t>(signedCount);
    if (!PyCallable_Check(repl.ptr())) {
      const SubjectPtr replacement = SubjectOf(repl);
      if (replacement->IsStr() != subject->IsStr()) {
        throw py::type_error(subject->IsStr() ? "expected a str replacement, got a bytes-like "
                                                "object"
                                              : "expected a bytes-like replacement, got a str");
      }
      quarn::Replaced replaced;
      {
        const SearchLock lock(subject->UnitCount());
        replaced = compiled_->replace(subject->Searched(), replacement->Units(), count, limits);
      }
      if (replaced.error) Raise(*replaced.error, *text_);
      if (replaced.count == 0) return {SameText(*subject), 0};
      return {subject->Make(replaced.text,
                            subject->HasWideCharacters() || replacement->HasWideCharacters()),
              replaced.count};
    }
    const bool str = subject->IsStr();
    return Rebuild(std::move(self), subject, count, limits, [&](PyMatch&& m) {
      py::object piece = py::reinterpret_borrow<py::object>(repl)(NewMatch(std::move(m)));
      if (piece.is_none()) return subject->Slice(0, 0);
      if (str ? !PyUnicode_Check(piece.ptr()) : !PyObject_CheckBuffer(piece.ptr())) {
        throw py::type_error(std::string("expected ") + (str ? "str" : "a bytes-like object") +
                             " from the replacement function, got '" +
                             Py_TYPE(piece.ptr())->tp_name + "'");
      }
      return piece;
    });
  }

  py::list Split(py::handle string, py::ssize_t signedMaxsplit, const quarn::Limits& limits) const {
    const SubjectPtr subject = Checked(string, 0, kWhole, limits).Share();
    py::list pieces;
    if (signedMaxsplit < 0) {  // as re: no split
      pieces.append(SameText(*subject));
      return pieces;
    }
    const auto maxsplit = static_cast<size_t>(signedMaxsplit);
    const Window window(*subject, 0, static_cast<py::ssize_t>(subject->Length()));
    Iteration all(*compiled_, window, limits);
    size_t copied = 0;
    size_t used = 0;
    std::vector<quarn::Match> batch;
    for (bool more = true; more && (maxsplit == 0 || used < maxsplit);) {
      batch.clear();
      const size_t want = maxsplit == 0 ? kBatch : std::min(kBatch, maxsplit - used);
      more = all.Next(want, [&](const quarn::Match& m) { batch.push_back(m); });
      for (const quarn::Match& m : batch) {
        const PyMatch match(subject, m, py::none(), window.pos, window.endpos);
        pieces.append(subject->Piece(copied, m.start()));
        for (const py::handle group : match.Groups(py::none()))
          pieces.append(group);
        copied = m.end();
      }
      used += batch.size();
    }
    if (all.Error()) Raise(*all.Error(), *text_);
    pieces.append(subject->Piece(copied, subject->UnitCount()));
    return pieces;
  }

  static py::handle Checked(const py::object& pattern) {
    if (!PyUnicode_Check(pattern.ptr()) && !PyBytes_Check(pattern.ptr())) {
      throw py::type_error("a pattern must be a str or bytes, not '" +
                           std::string(Py_TYPE(pattern.ptr())->tp_name) + "'");
    }
    return pattern;
  }
  // The subject of a search of string[pos:endpos] under limits (a whole-string search by
  // default), of this pattern's kind. One longer than limits allow is refused as the engine
  // refuses it, before it is converted; only the characters up to endpos are.
  CallSubject Checked(py::handle string, py::ssize_t pos = 0, py::ssize_t endpos = kWhole,
                      const quarn::Limits& limits = {}) const {
    const bool str = PyUnicode_Check(string.ptr());
    if (!str && IsText(string)) {
      SubjectPtr subject = Held<::Text>(string).subject;
      CheckKind(subject->IsStr());
      return CallSubject(std::move(subject));
    }
    if (!str && !PyObject_CheckBuffer(string.ptr())) throw Subject::NotASubject(string);
    CheckKind(str);
    const auto length = static_cast<py::ssize_t>(LengthOf(string));
    const auto read = static_cast<size_t>(std::clamp<py::ssize_t>(endpos, 0, length));
    if (std::clamp<py::ssize_t>(pos, 0, length) <= static_cast<py::ssize_t>(read) &&
        LongerThan(string, read, limits.subjectLength)) {
      Raise(SubjectLengthError(), *text_);
    }
    return CallSubject(string, read);
  }
  void CheckKind(bool str) const {
    if (str != IsStr()) {
      throw py::type_error(IsStr() ? "cannot use a string pattern on a bytes-like object"
                                   : "cannot use a bytes pattern on a string-like object");
    }
  }
  // The parts of the engine's analysis as quarn.analysis gives them, each made when first
  // asked for (under the GIL; two threads asking at once make equal ones).
  const py::object& Diagnostics() const {
    if (!diagnostics_) diagnostics_ = MakeDiagnostics();
    return diagnostics_;
  }
  const py::object& Explanation(const py::object& self) const {
    if (!explanation_) explanation_ = py::module_::import("quarn.analysis").attr("explain")(self);
    return explanation_;
  }
  const py::object& Facts() const {
    if (!facts_) facts_ = MakeFacts(compiled_->facts());
    return facts_;
  }
  // A stretch of the pattern in units, in the pattern's own characters: one that begins or
  // ends inside a character of two units grows to cover it, as the spans of matches do.
  std::pair<size_t, size_t> Place(size_t start, size_t end) const {
    return {start == end ? text_->After(start) : text_->Before(start), text_->After(end)};
  }
  const quarn::Pattern& Compiled() const { return *compiled_; }
  const Subject& Text() const { return *text_; }
  const py::object& Source() const { return source_; }
  bool IsStr() const { return text_->IsStr(); }
  bool Checks() const { return check_; }
  int32_t Flags() const { return compiled_->flags(); }
  int Groups() const { return compiled_->groupCount(); }

 private:
  // The subject with its matches replaced by what piece makes of each; the text between them
  // is cut where the engine's matches end, in units.
  template <typename Piece>
  std::pair<py::object, size_t> Rebuild(py::object self, const SubjectPtr& subject, size_t count,
                                        const quarn::Limits& limits, Piece&& piece) const {
    const Window window(*subject, 0, static_cast<py::ssize_t>(subject->Length()));
    Iteration all(*compiled_, window, limits);
    py::list pieces;
    size_t copied = 0;
    size_t used = 0;
    std::optional<quarn::Match> next;
    while ((count == 0 || used < count) &&
           all.Next(1, [&](const quarn::Match& m) { next.emplace(m); })) {
      pieces.append(subject->Piece(copied, next->start()));
      pieces.append(piece(PyMatch(subject, *next, self, window.pos, window.endpos)));
      copied = next->end();
      ++used;
    }
    if (all.Error()) Raise(*all.Error(), *text_);
    if (used == 0) return {SameText(*subject), 0};
    pieces.append(subject->Piece(copied, subject->UnitCount()));
    return {subject->Slice(0, 0).attr("join")(pieces), used};
  }

  py::tuple MakeDiagnostics() const {
    const py::module_ analysis = py::module_::import("quarn.analysis");
    py::list found;
    for (const quarn::Diagnostic& d : compiled_->diagnostics()) {
      const auto [start, end] = Place(d.start, d.end);
      const char* severity = d.severity == quarn::Severity::kError ? "error" : "warning";
      found.append(analysis.attr("Diagnostic")(
          analysis.attr("Severity")(severity), d.code, start, end, d.message,
          d.error ? ErrorObject(*d.error, *text_) : py::object(py::none())));
    }
    return py::tuple(found);
  }

  static py::object MakeFacts(const quarn::PatternFacts& f) {
    py::list first;
    for (const auto& [from, to] : f.firstCharacters)
      first.append(py::make_tuple(Character(from), Character(to)));
    py::list literals;
    for (const std::u16string& literal : f.requiredLiterals)
      literals.append(Characters(literal));
    return py::module_::import("quarn.analysis")
        .attr("Facts")(
            py::arg("complete") = f.complete, py::arg("fault_free") = f.faultFree,
            py::arg("ignore_case") = f.ignoreCase, py::arg("min_length") = f.minLength,
            py::arg("anchored_at_start") = f.anchoredAtStart,
            py::arg("first_characters") = py::tuple(first), py::arg("first_levels") = f.firstLevels,
            py::arg("required_literals") = py::tuple(literals),
            py::arg("levels_per_character") = OrNone(f.levelsPerCharacter),
            py::arg("depth_safe_length") = OrNone(f.depthSafeLength(quarn::Limits{}.depth)));
  }

  // The subject unchanged, of its own type, as re.sub gives it without a match.
  static py::object SameText(const Subject& subject) { return subject.Slice(0, subject.Length()); }

  py::object source_;
  std::shared_ptr<const Subject> text_;
  bool check_;
  std::unique_ptr<const quarn::Pattern> compiled_;
  mutable py::object diagnostics_;
  mutable py::object explanation_;
  mutable py::object facts_;
};

// finditer: searches as it goes, in batches of 1, 2, 4 and so on up to kAhead matches (never
// far ahead of what the caller has taken), so that a long iteration hands the GIL over once
// per batch and not per match; a thread that calls it while another's batch runs gets
// ValueError, as from a generator. An error ends the iteration after the matches found before
// it.
class MatchIterator {
 public:
  MatchIterator(py::object pattern, SubjectPtr subject, py::ssize_t pos, py::ssize_t endpos,
                const quarn::Limits& limits)
      : pattern_(std::move(pattern)),
        subject_(std::move(subject)),
        window_(*subject_, pos, endpos),
        all_(Held<PyPattern>(pattern_).Compiled(), window_, limits),
        done_(window_.Empty()) {}

  // The next match, or a null object at the end.
  py::object Next() {
    std::optional<quarn::Match> next;
    {
      // Searches may run without the GIL: another thread must not advance the same iterator.
      const std::unique_lock<std::mutex> turn(turn_, std::try_to_lock);
      if (!turn.owns_lock()) throw py::value_error("finditer iterator already executing");
      if (taken_ == ahead_.size() && !done_) Refill();
      if (taken_ < ahead_.size()) next.emplace(std::move(ahead_[taken_++]));
    }
    if (!next) {
      if (all_.Error() && !raised_) {
        raised_ = true;
        Raise(*all_.Error(), Held<PyPattern>(pattern_).Text());
      }
      return py::object();
    }
    return NewMatch(PyMatch(subject_, std::move(*next), pattern_, window_.pos, window_.endpos));
  }

 private:
  static constexpr size_t kAhead = 64;

  void Refill() {
    ahead_.clear();
    taken_ = 0;
    done_ = !all_.Next(batch_, [&](const quarn::Match& m) { ahead_.push_back(m); });
    batch_ = std::min(batch_ * 2, kAhead);
  }

  py::object pattern_;
  SubjectPtr subject_;
  Window window_;
  Iteration all_;
  std::mutex turn_;
  std::vector<quarn::Match> ahead_;  // found and not yet handed out from taken_ on
  size_t taken_ = 0;
  size_t batch_ = 1;
  bool done_;
  bool raised_ = false;
};

// The keyword arguments that every search takes, with the engine's defaults.
#define QUARN_LIMIT_ARGS                                                    \
  py::kw_only(), py::arg("depth") = quarn::Limits{}.depth,                  \
                 py::arg("subject_length") = quarn::Limits{}.subjectLength, \
                 py::arg("steps") = quarn::Limits{}.steps

template <PyPattern::Kind kind>
py::object FindMethod(py::object self, py::handle string, Position pos, Position endpos,
                      uint32_t depth, uint64_t subjectLength, uint64_t steps) {
  const auto& pattern = Held<PyPattern>(self);
  return pattern.Find(kind, std::move(self), string, pos.value, endpos.value,
                      MakeLimits(depth, subjectLength, steps));
}

// The calls made once per search or per match (Pattern.search, match and fullmatch, the
// iterator's next, Match.group, span, start and end) as CPython's own vectorcall methods,
// which take their arguments as they come. They read the common shapes of arguments (a
// subject, ints, the known keywords) themselves; any other call goes to the pybind11 method
// of the same name, which answers it, or refuses it with its own message, as ever.
namespace fast {

// A method's parameters: positional-or-keyword, then keyword-only.
struct Parameters {
  std::vector<PyObject*> names;  // interned
  size_t positional;
};

Parameters MakeParameters(std::initializer_list<const char*> names, size_t positional) {
  Parameters parameters{{}, positional};
  for (const char* name : names)
    parameters.names.push_back(PyUnicode_InternFromString(name));
  return parameters;
}

// The arguments of a call by parameter (null where not given); false for a call that binds
// them otherwise (too many, an unknown or repeated keyword).
bool Bind(const Parameters& parameters, PyObject* const* args, Py_ssize_t count, PyObject* keywords,
          PyObject** bound) {
  const auto given = static_cast<size_t>(count);
  if (given > parameters.positional) return false;
  std::fill(bound, bound + parameters.names.size(), nullptr);
  std::copy(args, args + given, bound);
  const Py_ssize_t named = keywords ? PyTuple_GET_SIZE(keywords) : 0;
  for (Py_ssize_t k = 0; k < named; ++k) {
    PyObject* keyword = PyTuple_GET_ITEM(keywords, k);
    size_t at = 0;
    while (at < parameters.names.size() && keyword != parameters.names[at])
      ++at;
    if (at == parameters.names.size()) {  // not interned at the call site: compare the text
      at = 0;
      while (at < parameters.names.size() && PyUnicode_Compare(keyword, parameters.names[at]) != 0)
        ++at;
      if (PyErr_Occurred()) PyErr_Clear();
    }
    if (at == parameters.names.size() || bound[at] != nullptr) return false;
    bound[at] = args[count + k];
  }
  return true;
}

// An exact int as the given type, if it fits; otherwise false (and no error set).
template <typename Int>
bool ReadInt(PyObject* object, Int& value) {
  if (object == nullptr) return true;  // the default stays
  if (!PyLong_CheckExact(object)) return false;
  if constexpr (std::is_signed_v<Int>) {
    const long long read = PyLong_AsLongLong(object);
    if (read == -1 && PyErr_Occurred()) {
      PyErr_Clear();
      return false;
    }
    if (read < std::numeric_limits<Int>::min() || read > std::numeric_limits<Int>::max())
      return false;
    value = static_cast<Int>(read);
  } else {
    const unsigned long long read = PyLong_AsUnsignedLongLong(object);
    if (read == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
      PyErr_Clear();
      return false;
    }
    if (read > std::numeric_limits<Int>::max()) return false;
    value = static_cast<Int>(read);
  }
  return true;
}

// The result of call, or null with the Python error that pybind11 would set for what it
// throws.
template <typename Call>
PyObject* Guarded(Call&& call) {
  try {
    return call().release().ptr();
  } catch (py::error_already_set& e) {
    e.restore();
  } catch (...) {
    if (!py::detail::apply_exception_translators(
            py::detail::get_local_internals().registered_exception_translators) &&
        !py::detail::apply_exception_translators(
            py::detail::get_internals().registered_exception_translators)) {
      PyErr_SetString(PyExc_SystemError, "Exception escaped from default exception translator!");
    }
  }
  return nullptr;
}

// The pybind11 methods that the fast ones stand in for, by name. Their references are kept
// for the life of the process: nothing may release them after the interpreter has ended.
std::vector<std::pair<std::string, PyObject*>> bound;

// Keeps the pybind11 callable that answers the calls of name: a method's function (which the
// class holds as an instance method) or a property's getter.
void Keep(const char* name, py::object callable) {
  if (PyInstanceMethod_Check(callable.ptr())) {
    callable = py::reinterpret_borrow<py::object>(PyInstanceMethod_GET_FUNCTION(callable.ptr()));
  }
  bound.emplace_back(name, callable.release().ptr());
}

// The call, answered by the pybind11 method name.
PyObject* Bound(const char* name, PyObject* self, PyObject* const* args, Py_ssize_t count,
                PyObject* keywords) {
  const auto method = std::find_if(bound.begin(), bound.end(),
                                   [&](const auto& entry) { return entry.first == name; });
  const Py_ssize_t named = keywords ? PyTuple_GET_SIZE(keywords) : 0;
  std::vector<PyObject*> stack{self};
  stack.insert(stack.end(), args, args + count + named);
  return PyObject_Vectorcall(method->second, stack.data(), static_cast<size_t>(count) + 1,
                             keywords);
}

// The C++ object of self, or null where pybind11 must find it.
template <typename T>
T* Object(PyObject* self) {
  auto* instance = reinterpret_cast<py::detail::instance*>(self);
  return instance->simple_layout ? static_cast<T*>(instance->simple_value_holder[0]) : nullptr;
}

const Parameters& FindParameters() {
  static const Parameters parameters =
      MakeParameters({"string", "pos", "endpos", "depth", "subject_length", "steps"}, 3);
  return parameters;
}

template <PyPattern::Kind kind>
PyObject* Find(PyObject* self, PyObject* const* args, Py_ssize_t count, PyObject* keywords) {
  static constexpr const char* kNames[] = {"search", "match", "fullmatch"};
  PyObject* given[6];
  Position pos{0};
  Position endpos{kWhole};
  quarn::Limits limits;
  const PyPattern* pattern = Object<const PyPattern>(self);
  if (pattern == nullptr || !Bind(FindParameters(), args, count, keywords, given) ||
      given[0] == nullptr || !ReadInt(given[1], pos.value) || !ReadInt(given[2], endpos.value) ||
      !ReadInt(given[3], limits.depth) || !ReadInt(given[4], limits.subjectLength) ||
      !ReadInt(given[5], limits.steps)) {
    return Bound(kNames[static_cast<int>(kind)], self, args, count, keywords);
  }
  return Guarded([&] {
    return pattern->Find(kind, py::reinterpret_borrow<py::object>(self), given[0], pos.value,
                         endpos.value, limits);
  });
}

// Pattern.groups, which a loop over a match's groups reads per match.
PyObject* Groups(PyObject* self, void*) {
  const PyPattern* pattern = Object<const PyPattern>(self);
  if (pattern == nullptr) return Bound("groups", self, nullptr, 0, nullptr);
  return PyLong_FromLong(pattern->Groups());
}

PyObject* Next(PyObject* self) {
  MatchIterator* iterator = Object<MatchIterator>(self);
  if (iterator == nullptr) return Bound("__next__", self, nullptr, 0, nullptr);
  return Guarded([&] { return iterator->Next(); });
}

// The group that a Match accessor's one optional argument names (0 by default), or -1 for
// a call that the pybind11 method answers.
int GroupArgument(const PyMatch& match, PyObject* const* args, Py_ssize_t count,
                  PyObject* keywords) {
  static const Parameters parameters = MakeParameters({"group"}, 1);
  PyObject* given[1];
  int group = 0;
  if (!Bind(parameters, args, count, keywords, given) || !ReadInt(given[0], group) || group < 0 ||
      group > match.GroupCount()) {
    return -1;
  }
  return group;
}

enum class Part { kSpan, kStart, kEnd };

template <Part part>
PyObject* SpanPart(PyObject* self, PyObject* const* args, Py_ssize_t count, PyObject* keywords) {
  static constexpr const char* kNames[] = {"span", "start", "end"};
  const PyMatch* match = Object<const PyMatch>(self);
  const int group = match ? GroupArgument(*match, args, count, keywords) : -1;
  if (group < 0) return Bound(kNames[static_cast<int>(part)], self, args, count, keywords);
  const auto [start, end] = match->SpanOf(group);
  if constexpr (part == Part::kStart) return PyLong_FromSsize_t(start);
  if constexpr (part == Part::kEnd) return PyLong_FromSsize_t(end);
  return Py_BuildValue("(nn)", start, end);
}

PyObject* Group(PyObject* self, PyObject* const* args, Py_ssize_t count, PyObject* keywords) {
  const PyMatch* match = Object<const PyMatch>(self);
  // group() takes its groups positionally only: keywords are the pybind11 method's to refuse.
  const int group =
      match && keywords == nullptr && count <= 1 ? GroupArgument(*match, args, count, nullptr) : -1;
  if (group < 0) return Bound("group", self, args, count, keywords);
  return Guarded([&] { return match->GroupAt(group); });
}

// Puts method in place of the pybind11 method of its name in type, with its docstring.
void Install(py::handle type, PyMethodDef& method) {
  const py::object original = type.attr("__dict__")[method.ml_name];
  Keep(method.ml_name, original);
  // CPython keeps a pointer to the docstring, which must live as long as the type.
  static std::vector<std::unique_ptr<std::string>> docs;
  docs.push_back(std::make_unique<std::string>(py::str(original.attr("__doc__"))));
  method.ml_doc = docs.back()->c_str();
  const auto descriptor = py::reinterpret_steal<py::object>(
      PyDescr_NewMethod(reinterpret_cast<PyTypeObject*>(type.ptr()), &method));
  if (!descriptor) throw py::error_already_set();
  type.attr(method.ml_name) = descriptor;
}

// Puts a getter in place of the pybind11 property groups of Pattern.
void InstallGroups(py::handle pattern) {
  const py::object property = pattern.attr("__dict__")["groups"];
  Keep("groups", property.attr("fget"));
  static const std::string doc = py::str(property.attr("__doc__"));
  static PyGetSetDef getter = {"groups", &Groups, nullptr, doc.c_str(), nullptr};
  const auto descriptor = py::reinterpret_steal<py::object>(
      PyDescr_NewGetSet(reinterpret_cast<PyTypeObject*>(pattern.ptr()), &getter));
  if (!descriptor) throw py::error_already_set();
  pattern.attr("groups") = descriptor;
}

#define QUARN_FAST(name, function)                                               \
  PyMethodDef {                                                                  \
    name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function)), \
        METH_FASTCALL | METH_KEYWORDS, nullptr                                   \
  }

void InstallAll(py::handle pattern, py::handle match, py::handle iterator) {
  static PyMethodDef patternMethods[] = {
      QUARN_FAST("search", &Find<PyPattern::Kind::kSearch>),
      QUARN_FAST("match", &Find<PyPattern::Kind::kMatch>),
      QUARN_FAST("fullmatch", &Find<PyPattern::Kind::kFullMatch>),
  };
  static PyMethodDef matchMethods[] = {
      QUARN_FAST("span", &SpanPart<Part::kSpan>),
      QUARN_FAST("start", &SpanPart<Part::kStart>),
      QUARN_FAST("end", &SpanPart<Part::kEnd>),
      QUARN_FAST("group", &Group),
  };
  for (PyMethodDef& method : patternMethods)
    Install(pattern, method);
  InstallGroups(pattern);
  for (PyMethodDef& method : matchMethods)
    Install(match, method);
  // next(iterator) reads the type's slot, which a Python-level __next__ would reach only
  // through a lookup per call; __next__ itself stays the pybind11 method, for its callers.
  Keep("__next__", iterator.attr("__dict__")["__next__"]);
  auto* type = reinterpret_cast<PyTypeObject*>(iterator.ptr());
  type->tp_iternext = &Next;
  PyType_Modified(type);
}

}  // namespace fast

}  // namespace

PYBIND11_MODULE(_quarn, m) {
  m.doc() = "The compiled core of the quarn package; use the package itself.";
  errorType = py::reinterpret_borrow<py::object>(PyErr_NewExceptionWithDoc(
      "quarn.error",
      "A pattern that does not compile or has a fault, or a search that ended in an error (the "
      "depth limit, the step budget, a subject longer than subject_length). str() is the "
      "engine's report; number is its error number and kind (quarn.ErrorKind) what went "
      "wrong, which tells errors of one number apart; position is where in the pattern the "
      "faulty construct stands, or None.",
      nullptr, nullptr));
  m.add_object("error", errorType);

  // The kinds by the engine's own stable names, from the first to the last of the enum.
  py::list kinds;
  for (int kind = static_cast<int>(quarn::ErrorKind::kPatternSyntax);
       kind <= static_cast<int>(quarn::ErrorKind::kInternal); ++kind) {
    std::string name(quarn::ErrorKindName(static_cast<quarn::ErrorKind>(kind)));
    std::string member = name;
    std::transform(member.begin(), member.end(), member.begin(),
                   [](char c) { return c == '-' ? '_' : static_cast<char>(std::toupper(c)); });
    kinds.append(py::make_tuple(member, name));
  }
  errorKindType =
      py::module_::import("enum").attr("Enum")("ErrorKind", kinds, py::arg("module") = "quarn");
  errorKindType.attr("__doc__") =
      "What went wrong, whatever the error number: PATTERN_SYNTAX and OVERFLOW are faults of "
      "the pattern; DEPTH_LIMIT, SUBJECT_LENGTH and STEP_BUDGET limits of one search; "
      "INVALID_OPTIONS contradictory flags. The values are the engine's stable names "
      "('depth-limit', ...), as its JSON gives them.";
  m.add_object("ErrorKind", errorKindType);

  const py::object intFlag = py::module_::import("enum").attr("IntFlag");
  flagType = intFlag("Flag",
                     py::make_tuple(py::make_tuple("IGNORECASE", quarn::reIgnoreCase),
                                    py::make_tuple("SINGLELINE", quarn::reSingleLine),
                                    py::make_tuple("MULTILINE", quarn::reMultiline)),
                     py::arg("module") = "quarn");
  flagType.attr("__doc__") =
      "The options of a pattern. IGNORECASE: letters match either case (Unicode simple "
      "lowercase mapping). SINGLELINE: '.' also matches the CR and the LF of a line break. "
      "MULTILINE: '^' and '$' also match next to each CR LF inside the subject. SINGLELINE "
      "and MULTILINE together are an error. The values are the engine's (1, 2, 4), not re's.";
  m.add_object("Flag", flagType);
  m.def("flag_value", &FlagValue, py::arg("flags"),
        "The value of flags, which must be quarn's flags or an int; TypeError otherwise.");
  m.attr("__version__") = QUARN_VERSION;

  py::class_<Text>(m, "Text", R"(A subject converted once for the engine and searched many times.

Text(string) takes a str or a bytes-like object; every method that takes a subject takes a
Text in its place, and its matches' string is the original object. Worth it for a long str
with characters that do not fit 16 bits and for bytes-like objects other than bytes, which
are otherwise converted on every call; other str and bytes are searched in place anyway.)")
      .def(py::init([](py::handle string) { return Text{SubjectOf(string)}; }), py::arg("string"),
           "Prepares string once: converts it where its storage cannot be searched as it is.")
      .def_property_readonly(
          "string", [](const Text& self) { return self.subject->Object(); },
          "The original str or bytes-like object.")
      .def(
          "__len__", [](const Text& self) { return self.subject->Length(); },
          "The length of the original object.");

  py::class_<PyMatch>(m, "Match", "The result of a successful search, as re's match objects.")
      .def("group", &PyMatch::GroupArgs,
           "group([group1, ...]): the text of one group (0, the default, for the whole match) "
           "or a tuple of several; None for a group that took no part.")
      .def("__getitem__", &PyMatch::Group, py::arg("group"), "m[n] is m.group(n).")
      .def("groups", &PyMatch::Groups, py::arg("default") = py::none(),
           "The texts of all groups; default for those that took no part.")
      .def(
          "groupdict", [](const PyMatch&, const py::object&) { return py::dict(); },
          py::arg("default") = py::none(), "Always empty: the patterns have no named groups.")
      .def("span", &PyMatch::Span, py::arg("group") = 0,
           "(start, end) of the group; (-1, -1) when it took no part.")
      .def(
          "start", [](const PyMatch& self, py::handle n) { return self.Span(n).first; },
          py::arg("group") = 0, "Where the group begins; -1 when it took no part.")
      .def(
          "end", [](const PyMatch& self, py::handle n) { return self.Span(n).second; },
          py::arg("group") = 0, "Where the group ends; -1 when it took no part.")
      .def(
          "expand", [](const PyMatch& self, py::handle templ) { return self.Expand(templ); },
          py::arg("template"),
          "The template with $0 to $9 replaced by the match and its groups and $$ by $, "
          "as sub() puts it.")
      .def_property_readonly("lastindex", &PyMatch::LastIndex,
                             "The number of the group closed last, or None.")
      .def_property_readonly(
          "lastgroup", [](const PyMatch&) { return py::none(); },
          "Always None: the patterns have no named groups.")
      .def_property_readonly("regs", &PyMatch::Regs, "The spans of the match and every group.")
      .def_property_readonly("pos", &PyMatch::Pos, "The pos given to the search.")
      .def_property_readonly("endpos", &PyMatch::Endpos, "The endpos given to the search.")
      .def_property_readonly("string", &PyMatch::Subject, "The subject that was searched.")
      .def_property_readonly("re", &PyMatch::Pattern, "The pattern that matched.")
      .def(
          "__copy__", [](py::object self) { return self; }, "Matches are immutable.")
      .def(
          "__deepcopy__", [](py::object self, py::handle) { return self; }, py::arg("memo"),
          "Matches are immutable.")
      .def("__repr__", &PyMatch::Repr);

  py::class_<MatchIterator>(m, "MatchIterator",
                            "The lazy iterator that finditer() gives: one search per match.")
      .def(
          "__iter__", [](py::object self) { return self; }, "Itself.")
      .def(
          "__next__",
          [](MatchIterator& self) {
            py::object next = self.Next();
            if (!next) throw py::stop_iteration();
            return next;
          },
          "The next match; raises quarn.error on an error.");

  py::class_<PyPattern>(m, "Pattern", R"(A compiled pattern, as re's compiled patterns.

Immutable and safe to share between threads; it pickles as its pattern, flags and check. Every
search method takes the keyword arguments depth (default 1000), subject_length (default
32766) and steps (default 0, no budget): the engine's limits of one search.)")
      .def(py::init<py::object, py::handle, bool>(), py::arg("pattern"), py::arg("flags") = 0,
           py::kw_only(), py::arg("check") = true,
           "Compiles pattern (str or bytes) with flags; raises quarn.error if it does not "
           "compile or, with check (the default), if the engine's diagnostics find a fault "
           "that a search could meet. check=False keeps the legacy behaviour: such a fault is "
           "raised only by a search that reaches it. quarn.compile() keeps a cache of these.")
      .def_property_readonly("pattern", &PyPattern::Source, "The pattern text.")
      .def_property_readonly(
          "flags", [](const PyPattern& self) { return flagType(self.Flags()); }, "The flags.")
      .def_property_readonly("groups", &PyPattern::Groups, "The number of capturing groups.")
      .def_property_readonly("check", &PyPattern::Checks,
                             "Whether compiling raised the faults that the diagnostics find.")
      .def(
          "diagnostics", [](const PyPattern& self) { return self.Diagnostics(); },
          "The faults that a search of this pattern could meet (severity ERROR, each with the "
          "quarn.error a search reports there) and the warnings (constructs that end the "
          "searches reaching them or read differently from other dialects), in the order of "
          "the pattern: a tuple of quarn.analysis.Diagnostic.")
      .def(
          "explain",
          [](const py::object& self) { return self.cast<const PyPattern&>().Explanation(self); },
          "How the engine reads the pattern: the root of a tree of quarn.analysis.ExplainNode "
          "(kind, span, description in plain words, children, and per kind the group, the "
          "quantifier's bounds and greed, the members of a class).")
      .def(
          "facts", [](const PyPattern& self) { return self.Facts(); },
          "What every match satisfies (quarn.analysis.Facts): its least length, required "
          "literals, first characters, anchoring.")
      .def(
          "explain_json", [](const PyPattern& self) { return self.Compiled().explainJson(); },
          "The engine's analysis as its JSON document (docs/pattern-analysis.md), with places "
          "in UTF-16 units and UTF-8 bytes of the pattern.")
      .def(
          "_place",
          [](const PyPattern& self, size_t start, size_t end) { return self.Place(start, end); },
          py::arg("start"), py::arg("end"),
          "A stretch of the pattern in UTF-16 units, in the pattern's own characters.")
      .def_property_readonly(
          "groupindex", [](const PyPattern&) { return py::dict(); },
          "Always empty: the patterns have no named groups.")
      .def("search", &FindMethod<PyPattern::Kind::kSearch>, py::arg("string"),
           py::arg("pos") = Position{0}, py::arg("endpos") = Position{kWhole}, QUARN_LIMIT_ARGS,
           "The leftmost match in string[pos:endpos] (anchors see the whole string before "
           "endpos), or None.")
      .def("match", &FindMethod<PyPattern::Kind::kMatch>, py::arg("string"),
           py::arg("pos") = Position{0}, py::arg("endpos") = Position{kWhole}, QUARN_LIMIT_ARGS,
           "The match that begins at pos, or None.")
      .def("fullmatch", &FindMethod<PyPattern::Kind::kFullMatch>, py::arg("string"),
           py::arg("pos") = Position{0}, py::arg("endpos") = Position{kWhole}, QUARN_LIMIT_ARGS,
           "The match that begins at pos and ends at endpos, trying the pattern's other paths "
           "when the first one ends elsewhere; or None.")
      .def(
          "finditer",
          [](py::object self, py::handle string, Position pos, Position endpos, uint32_t depth,
             uint64_t subjectLength, uint64_t steps) {
            const quarn::Limits limits = MakeLimits(depth, subjectLength, steps);
            SubjectPtr subject =
                Held<PyPattern>(self).Checked(string, pos.value, endpos.value, limits).Share();
            return std::make_unique<MatchIterator>(std::move(self), std::move(subject), pos.value,
                                                   endpos.value, limits);
          },
          py::arg("string"), py::arg("pos") = Position{0}, py::arg("endpos") = Position{kWhole},
          QUARN_LIMIT_ARGS,
          "An iterator over the non-overlapping matches, searching as it goes, a few matches "
          "ahead at most (without the GIL over long subjects). After an empty match the next "
          "search starts one character later.")
      .def(
          "findall",
          [](const PyPattern& self, py::handle string, Position pos, Position endpos,
             uint32_t depth, uint64_t subjectLength, uint64_t steps) {
            return self.FindAll(string, pos.value, endpos.value,
                                MakeLimits(depth, subjectLength, steps));
          },
          py::arg("string"), py::arg("pos") = Position{0}, py::arg("endpos") = Position{kWhole},
          QUARN_LIMIT_ARGS,
          "The matches as a list: their texts, the texts of the one group, or tuples of the "
          "groups' texts ('' for a group that took no part), as re.findall.")
      .def(
          "sub",
          [](py::object self, py::handle repl, py::handle string, py::ssize_t count, uint32_t depth,
             uint64_t subjectLength, uint64_t steps) {
            const auto& pattern = self.cast<const PyPattern&>();
            return pattern
                .Sub(std::move(self), repl, string, count, MakeLimits(depth, subjectLength, steps))
                .first;
          },
          py::arg("repl"), py::arg("string"), py::arg("count") = 0, QUARN_LIMIT_ARGS,
          "string with the first count matches (0: all) replaced by repl: a template in "
          "which $0 to $9 stand for the match and its groups and $$ for $, or a function "
          "of the match.")
      .def(
          "subn",
          [](py::object self, py::handle repl, py::handle string, py::ssize_t count, uint32_t depth,
             uint64_t subjectLength, uint64_t steps) {
            const auto& pattern = self.cast<const PyPattern&>();
            return pattern.Sub(std::move(self), repl, string, count,
                               MakeLimits(depth, subjectLength, steps));
          },
          py::arg("repl"), py::arg("string"), py::arg("count") = 0, QUARN_LIMIT_ARGS,
          "As sub(), and the number of replacements: (text, number).")
      .def(
          "split",
          [](const PyPattern& self, py::handle string, py::ssize_t maxsplit, uint32_t depth,
             uint64_t subjectLength, uint64_t steps) {
            return self.Split(string, maxsplit, MakeLimits(depth, subjectLength, steps));
          },
          py::arg("string"), py::arg("maxsplit") = 0, QUARN_LIMIT_ARGS,
          "The pieces of string between the first maxsplit matches (0: all), with the "
          "groups' texts between them, as re.split.")
      .def(
          "__eq__",
          [](const PyPattern& self, py::handle other) {
            if (!py::isinstance<PyPattern>(other)) return false;
            const auto& that = other.cast<const PyPattern&>();
            return self.Flags() == that.Flags() && self.Source().equal(that.Source());
          },
          "Patterns with the same text and flags are equal.")
      .def(
          "__hash__",
          [](const PyPattern& self) {
            return py::hash(py::make_tuple(self.Source(), self.Flags()));
          },
          "The hash of the text and the flags.")
      .def(
          "__copy__", [](py::object self) { return self; }, "Patterns are immutable.")
      .def(
          "__deepcopy__", [](py::object self, py::handle) { return self; }, py::arg("memo"),
          "Patterns are immutable.")
      .def("__repr__",
           [](const PyPattern& self) {
             std::string repr = "quarn.compile(" + py::repr(self.Source()).cast<std::string>();
             if (self.Flags() != 0) repr += ", " + FlagsRepr(self.Flags());
             if (!self.Checks()) repr += ", check=False";
             return repr + ")";
           })
      .def(py::pickle(
          [](const PyPattern& self) {
            return py::make_tuple(self.Source(), self.Flags(), self.Checks());
          },
          [](const py::tuple& state) {
            return PyPattern(state[0], state[1], state.size() < 3 || state[2].cast<bool>());
          }));

  textType = reinterpret_cast<PyTypeObject*>(m.attr("Text").ptr());
  matchType = reinterpret_cast<PyTypeObject*>(m.attr("Match").ptr());
  static_assert(sizeof(MatchHolder) <=
                sizeof(void*) * py::detail::instance_simple_holder_in_ptrs());
  pybindMatchDealloc = matchType->tp_dealloc;
  matchType->tp_dealloc = &MatchDealloc;
  fast::InstallAll(m.attr("Pattern"), m.attr("Match"), m.attr("MatchIterator"));
}
