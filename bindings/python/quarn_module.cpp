// The Python module quarn: the Pattern API with the shape of Python's re module. Subjects
// may be str or bytes (a bytes object is one character per byte, as re reads it); positions
// are those of the subject itself, characters of a str or bytes of a bytes. Errors, whether
// the pattern's or a search's (the depth limit, for one), raise quarn.error and are never
// taken for "no match". Searches release the GIL; patterns pickle by pattern and flags.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "quarn/pattern.h"

namespace py = pybind11;

namespace {

// A Python text as the engine's UTF-16 text, with the way back to the Python positions.
class Text {
 public:
  explicit Text(py::handle object) : object_(py::reinterpret_borrow<py::object>(object)) {
    if (PyBytes_Check(object.ptr())) {
      bytes_ = true;
      const std::string_view data(PyBytes_AS_STRING(object.ptr()), PyBytes_GET_SIZE(object.ptr()));
      units_.assign(data.begin(), data.end());
      for (char16_t& c : units_)
        c = static_cast<unsigned char>(c);
      return;
    }
    if (!PyUnicode_Check(object.ptr())) throw py::type_error("expected a str or bytes object");
    const Py_ssize_t length = PyUnicode_GET_LENGTH(object.ptr());
    const int kind = PyUnicode_KIND(object.ptr());
    const void* data = PyUnicode_DATA(object.ptr());
    bool twoUnits = false;  // a character of two units has been met
    for (Py_ssize_t i = 0; i < length; ++i) {
      const Py_UCS4 c = PyUnicode_READ(kind, data, i);
      if (c >= 0x10000) {
        // The first character of two units: until here, unit and character were the same.
        if (!twoUnits) {
          twoUnits = true;
          characterAt_.resize(units_.size());
          std::iota(characterAt_.begin(), characterAt_.end(), size_t{0});
        }
        units_ += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        units_ += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      } else {
        units_ += static_cast<char16_t>(c);
      }
      if (twoUnits) characterAt_.resize(units_.size(), static_cast<size_t>(i));
    }
    if (twoUnits) characterAt_.push_back(static_cast<size_t>(length));
  }

  const std::u16string& Units() const { return units_; }
  bool IsBytes() const { return bytes_; }
  const py::object& Object() const { return object_; }

  // A UTF-16 position as a position of the Python text; a position between the halves of a
  // surrogate pair counts as after its character.
  size_t Outside(size_t unit) const {
    if (characterAt_.empty()) return unit;
    if (unit > 0 && unit < units_.size() && units_[unit] >= 0xDC00 && units_[unit] <= 0xDFFF) {
      return characterAt_[unit] + 1;
    }
    return characterAt_[unit];
  }
  size_t Inside(size_t position) const {
    if (characterAt_.empty()) return std::min(position, units_.size());
    const auto units = characterAt_.begin() + static_cast<std::ptrdiff_t>(units_.size());
    return static_cast<size_t>(std::lower_bound(characterAt_.begin(), units, position) -
                               characterAt_.begin());
  }
  py::object Slice(size_t from, size_t to) const {
    if (bytes_) {
      return py::reinterpret_steal<py::object>(
          PyBytes_FromStringAndSize(PyBytes_AS_STRING(object_.ptr()) + from, to - from));
    }
    return py::reinterpret_steal<py::object>(
        PyUnicode_Substring(object_.ptr(), Outside(from), Outside(to)));
  }
  // Text of the subject's own type made of engine units (for patterns and replacements).
  py::object Make(std::u16string_view units) const {
    if (bytes_) {
      std::string bytes(units.begin(), units.end());
      return py::bytes(bytes);
    }
    return py::reinterpret_steal<py::object>(
        PyUnicode_DecodeUTF16(reinterpret_cast<const char*>(units.data()),
                              static_cast<Py_ssize_t>(units.size() * 2), "surrogatepass", nullptr));
  }

 private:
  py::object object_;
  bool bytes_ = false;
  std::u16string units_;
  std::vector<size_t> characterAt_;  // per unit, the index of its character; empty: the same
};

py::object errorType;

[[noreturn]] void Raise(const quarn::Error& error, const Text* pattern) {
  py::object e = errorType(error.report());
  e.attr("number") = error.number;
  e.attr("position") = error.position
                           ? py::cast(pattern ? pattern->Outside(*error.position) : *error.position)
                           : py::none();
  PyErr_SetObject(errorType.ptr(), e.ptr());
  throw py::error_already_set();
}

quarn::Limits MakeLimits(uint32_t depth, uint64_t subjectLength, uint64_t steps) {
  quarn::Limits limits;
  limits.depth = depth;
  limits.subjectLength = subjectLength;
  limits.steps = steps;
  return limits;
}

class PyPattern;

class PyMatch {
 public:
  PyMatch(std::shared_ptr<const Text> subject, const quarn::Match& match, py::object pattern)
      : subject_(std::move(subject)), pattern_(std::move(pattern)) {
    for (int n = 0; n <= match.groupCount(); ++n)
      spans_.push_back(match.span(n));
  }

  py::object Group(int n) const {
    const auto& s = At(n);
    return s ? subject_->Slice(s->start, s->end) : py::none();
  }
  py::object Groups(const py::object& fallback) const {
    py::tuple groups(spans_.size() - 1);
    for (size_t n = 1; n < spans_.size(); ++n)
      groups[n - 1] = spans_[n] ? Group(static_cast<int>(n)) : fallback;
    return groups;
  }
  py::object GroupArgs(const py::args& args) const {
    if (args.empty()) return Group(0);
    if (args.size() == 1) return Group(args[0].cast<int>());
    py::tuple groups(args.size());
    for (size_t k = 0; k < args.size(); ++k)
      groups[k] = Group(args[k].cast<int>());
    return groups;
  }
  std::pair<py::ssize_t, py::ssize_t> Span(int n) const {
    const auto& s = At(n);
    if (!s) return {-1, -1};
    return {static_cast<py::ssize_t>(subject_->Outside(s->start)),
            static_cast<py::ssize_t>(subject_->Outside(s->end))};
  }
  std::string Repr() const {
    const auto [start, end] = Span(0);
    return "<quarn.Match object; span=(" + std::to_string(start) + ", " + std::to_string(end) +
           "), match=" + py::repr(Group(0)).cast<std::string>() + ">";
  }
  const py::object& Subject() const { return subject_->Object(); }
  const py::object& Pattern() const { return pattern_; }
  size_t Count() const { return spans_.size() - 1; }

 private:
  const std::optional<quarn::Match::Span>& At(int n) const {
    if (n < 0 || static_cast<size_t>(n) >= spans_.size()) throw py::index_error("no such group");
    return spans_[static_cast<size_t>(n)];
  }

  std::shared_ptr<const Text> subject_;
  py::object pattern_;
  std::vector<std::optional<quarn::Match::Span>> spans_;
};

class PyPattern {
 public:
  PyPattern(py::object pattern, int32_t flags)
      : source_(pattern),
        text_(std::make_shared<Text>(pattern)),
        compiled_(std::u16string_view(text_->Units()), flags) {
    if (compiled_.error()) Raise(*compiled_.error(), text_.get());
  }

  // The first match at or after pos, searched without the GIL.
  std::optional<quarn::Match> Find(const Text& subject, size_t unit,
                                   const quarn::Limits& limits) const {
    quarn::SearchResult result;
    {
      py::gil_scoped_release unlocked;
      result = compiled_.search(subject.Units(), unit, limits);
    }
    if (result.error()) Raise(*result.error(), text_.get());
    if (!result) return std::nullopt;
    return result.match();
  }

  py::object Search(py::object self, py::object string, size_t pos,
                    const quarn::Limits& limits) const {
    auto subject = std::make_shared<const Text>(string);
    const auto match = Find(*subject, subject->Inside(pos), limits);
    if (!match) return py::none();
    return py::cast(PyMatch(subject, *match, std::move(self)));
  }

  // Every match, as re.finditer gives them; an empty match moves the next search on by one
  // character.
  std::vector<PyMatch> All(py::object self, const std::shared_ptr<const Text>& subject, size_t pos,
                           size_t count, const quarn::Limits& limits) const {
    std::vector<PyMatch> all;
    const std::u16string& units = subject->Units();
    for (size_t unit = subject->Inside(pos); unit <= units.size();) {
      const auto match = Find(*subject, unit, limits);
      if (!match) break;
      all.emplace_back(subject, *match, self);
      if (all.size() == count) break;
      unit = match->end() > match->start() ? match->end() : match->end() + 1;
      if (unit < units.size() && units[unit] >= 0xDC00 && units[unit] <= 0xDFFF &&
          units[unit - 1] >= 0xD800 && units[unit - 1] <= 0xDBFF) {
        ++unit;
      }
    }
    return all;
  }

  py::object Sub(py::object self, py::object repl, py::object string, size_t count,
                 const quarn::Limits& limits) const {
    auto subject = std::make_shared<const Text>(string);
    py::list pieces;
    size_t copied = 0;
    const bool callable = PyCallable_Check(repl.ptr());
    std::optional<Text> templateText;
    if (!callable) templateText.emplace(repl);
    for (const PyMatch& m : All(self, subject, 0, count, limits)) {
      const auto [start, end] = m.Span(0);
      pieces.append(subject->Slice(subject->Inside(copied), subject->Inside(start)));
      pieces.append(callable ? repl(m) : Expand(*templateText, m, *subject));
      copied = static_cast<size_t>(end);
    }
    pieces.append(subject->Slice(subject->Inside(copied), subject->Units().size()));
    const py::object empty =
        subject->IsBytes() ? py::object(py::bytes("")) : py::object(py::str(""));
    return empty.attr("join")(pieces);
  }

  py::list Split(py::object self, py::object string, size_t maxsplit,
                 const quarn::Limits& limits) const {
    auto subject = std::make_shared<const Text>(string);
    py::list pieces;
    size_t copied = 0;
    for (const PyMatch& m : All(self, subject, 0, maxsplit, limits)) {
      const auto [start, end] = m.Span(0);
      pieces.append(subject->Slice(subject->Inside(copied), subject->Inside(start)));
      for (size_t n = 1; n <= m.Count(); ++n)
        pieces.append(m.Group(static_cast<int>(n)));
      copied = static_cast<size_t>(end);
    }
    pieces.append(subject->Slice(subject->Inside(copied), subject->Units().size()));
    return pieces;
  }

  const py::object& Source() const { return source_; }
  int32_t Flags() const { return compiled_.flags(); }
  int Groups() const { return compiled_.groupCount(); }

 private:
  // "$0" to "$9" stand for the match and its groups, "$$" for "$".
  static py::object Expand(const Text& replacement, const PyMatch& m, const Text& subject) {
    const std::u16string& r = replacement.Units();
    py::list parts;
    std::u16string plain;
    for (size_t i = 0; i < r.size(); ++i) {
      if (r[i] == u'$' && i + 1 < r.size() &&
          (r[i + 1] == u'$' || (r[i + 1] >= u'0' && r[i + 1] <= u'9'))) {
        if (r[i + 1] == u'$') {
          plain += u'$';
        } else if (static_cast<size_t>(r[i + 1] - u'0') <= m.Count()) {
          parts.append(subject.Make(plain));
          plain.clear();
          const py::object group = m.Group(r[i + 1] - u'0');
          if (!group.is_none()) parts.append(group);
        }
        ++i;
        continue;
      }
      plain += r[i];
    }
    parts.append(subject.Make(plain));
    const py::object empty =
        subject.IsBytes() ? py::object(py::bytes("")) : py::object(py::str(""));
    return empty.attr("join")(parts);
  }

  py::object source_;
  std::shared_ptr<const Text> text_;
  quarn::Pattern compiled_;
};

// Patterns compiled by the module-level functions, by (pattern, flags).
py::object Compile(py::object pattern, int32_t flags) {
  static py::dict* cache = new py::dict();
  const py::tuple key = py::make_tuple(pattern, flags, py::type::of(pattern));
  if (cache->contains(key)) return (*cache)[key];
  py::object compiled = py::cast(PyPattern(pattern, flags));
  if (py::len(*cache) >= 128) cache->clear();
  (*cache)[key] = compiled;
  return compiled;
}

}  // namespace

PYBIND11_MODULE(quarn, m) {
  m.doc() = "Quarn regular expressions, with the shape of Python's re module.";
  errorType = py::reinterpret_borrow<py::object>(
      PyErr_NewExceptionWithDoc("quarn.error",
                                "A pattern that does not compile, or a search that ended in an "
                                "error; number and position (in the pattern) say which and where.",
                                nullptr, nullptr));
  m.add_object("error", errorType);
  for (const auto& [name, shortName, flag] : {std::tuple{"IGNORECASE", "I", quarn::reIgnoreCase},
                                              std::tuple{"SINGLELINE", "S", quarn::reSingleLine},
                                              std::tuple{"MULTILINE", "M", quarn::reMultiline}}) {
    m.attr(name) = flag;
    m.attr(shortName) = flag;
  }
  m.attr("__version__") = QUARN_VERSION;

  py::class_<PyMatch>(m, "Match")
      .def("group", &PyMatch::GroupArgs)
      .def("__getitem__", &PyMatch::Group)
      .def("groups", &PyMatch::Groups, py::arg("default") = py::none())
      .def("span", &PyMatch::Span, py::arg("group") = 0)
      .def(
          "start", [](const PyMatch& self, int n) { return self.Span(n).first; },
          py::arg("group") = 0)
      .def(
          "end", [](const PyMatch& self, int n) { return self.Span(n).second; },
          py::arg("group") = 0)
      .def_property_readonly("string", &PyMatch::Subject)
      .def_property_readonly("re", &PyMatch::Pattern)
      .def("__repr__", &PyMatch::Repr);

  py::class_<PyPattern>(m, "Pattern")
      .def_property_readonly("pattern", &PyPattern::Source)
      .def_property_readonly("flags", &PyPattern::Flags)
      .def_property_readonly("groups", &PyPattern::Groups)
      .def(
          "search",
          [](py::object self, py::object string, size_t pos, uint32_t depth, uint64_t subjectLength,
             uint64_t steps) {
            return self.cast<const PyPattern&>().Search(self, string, pos,
                                                        MakeLimits(depth, subjectLength, steps));
          },
          py::arg("string"), py::arg("pos") = 0, py::kw_only(), py::arg("depth") = 1000,
          py::arg("subject_length") = 32766, py::arg("steps") = 0)
      .def(
          "finditer",
          [](py::object self, py::object string, size_t pos, uint32_t depth, uint64_t subjectLength,
             uint64_t steps) {
            auto subject = std::make_shared<const Text>(string);
            return py::iter(py::cast(self.cast<const PyPattern&>().All(
                self, subject, pos, 0, MakeLimits(depth, subjectLength, steps))));
          },
          py::arg("string"), py::arg("pos") = 0, py::kw_only(), py::arg("depth") = 1000,
          py::arg("subject_length") = 32766, py::arg("steps") = 0)
      .def(
          "sub",
          [](py::object self, py::object repl, py::object string, size_t count, uint32_t depth,
             uint64_t subjectLength, uint64_t steps) {
            return self.cast<const PyPattern&>().Sub(self, repl, string, count,
                                                     MakeLimits(depth, subjectLength, steps));
          },
          py::arg("repl"), py::arg("string"), py::arg("count") = 0, py::kw_only(),
          py::arg("depth") = 1000, py::arg("subject_length") = 32766, py::arg("steps") = 0)
      .def(
          "split",
          [](py::object self, py::object string, size_t maxsplit, uint32_t depth,
             uint64_t subjectLength, uint64_t steps) {
            return self.cast<const PyPattern&>().Split(self, string, maxsplit,
                                                       MakeLimits(depth, subjectLength, steps));
          },
          py::arg("string"), py::arg("maxsplit") = 0, py::kw_only(), py::arg("depth") = 1000,
          py::arg("subject_length") = 32766, py::arg("steps") = 0)
      .def("__repr__",
           [](const PyPattern& self) {
             return "quarn.compile(" + py::repr(self.Source()).cast<std::string>() + ", " +
                    std::to_string(self.Flags()) + ")";
           })
      .def(py::pickle(
          [](const PyPattern& self) { return py::make_tuple(self.Source(), self.Flags()); },
          [](const py::tuple& state) { return PyPattern(state[0], state[1].cast<int32_t>()); }));

  m.def("compile", &Compile, py::arg("pattern"), py::arg("flags") = 0);
  m.def(
      "search",
      [](py::object pattern, py::object string, int32_t flags) {
        return Compile(pattern, flags).attr("search")(string);
      },
      py::arg("pattern"), py::arg("string"), py::arg("flags") = 0);
  m.def(
      "finditer",
      [](py::object pattern, py::object string, int32_t flags) {
        return Compile(pattern, flags).attr("finditer")(string);
      },
      py::arg("pattern"), py::arg("string"), py::arg("flags") = 0);
  m.def(
      "sub",
      [](py::object pattern, py::object repl, py::object string, size_t count, int32_t flags) {
        return Compile(pattern, flags).attr("sub")(repl, string, count);
      },
      py::arg("pattern"), py::arg("repl"), py::arg("string"), py::arg("count") = 0,
      py::arg("flags") = 0);
  m.def(
      "split",
      [](py::object pattern, py::object string, size_t maxsplit, int32_t flags) {
        return Compile(pattern, flags).attr("split")(string, maxsplit);
      },
      py::arg("pattern"), py::arg("string"), py::arg("maxsplit") = 0, py::arg("flags") = 0);
}
