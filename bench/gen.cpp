// SPDX-License-Identifier: Apache-2.0
// bench_gen: writes a large synthetic interface-definition file for the
// vorlith benchmark.
//
//   bench_gen --defs N [--seed S] [-o FILE]
//
// N is the number of top-level definitions.  The mix imitates a big real
// interface: constants (most of them near the top), enums, structs with every
// member shape the language has, unions with int, enum and bool
// discriminants, typedefs of every kind, and a few programs with several
// versions and many procedures each; comments before many definitions and
// after some members; a block of "%" lines at the top and a handful further
// down.
//
// The output of vorlith grows in proportion to N by construction:
//   * the "%" lines are a fixed block at the top plus four single lines
//     further down, so the pass-through text copied into every file does not
//     grow with N;
//   * the number of programs (and so of versions) is fixed at 8 from 400
//     definitions on, because every version's interface file repeats all
//     constants; programs grow in procedures instead.
//
// The generated text stays valid Java once compiled: names are unique, union
// case labels are distinct (numbers, numeric constants with distinct values,
// members of the discriminant's enum, TRUE/FALSE for bool), enum values are
// plain numbers, and constants only name constants defined before them.
//
// On standard error it prints one line of counts, ending in expected_files=,
// the number of Java files vorlith writes for the input.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// splitmix64: small, fast and identical on every platform, so a seed always
// gives the same input.
struct Rng {
  std::uint64_t state;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n).
  int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
  // Uniform in [lo, hi].
  int between(int lo, int hi) { return lo + below(hi - lo + 1); }
  bool percent(int p) { return below(100) < p; }
};

const char *const words[] = {
    "account", "record",  "entry", "node",  "path",   "handle", "status", "reply",  "request", "attr",
    "owner",   "group",   "quota", "block", "extent", "volume", "lease",  "token",  "session", "cursor",
    "offset",  "length",  "label", "peer",  "route",  "metric", "sample", "event",  "lock",    "table",
    "chunk",   "segment", "stamp", "mode",  "cookie", "digest", "region", "member", "zone",    "slot",
};
constexpr int word_count = sizeof words / sizeof words[0];

const char *const verbs[] = {"GET", "SET", "LIST", "CREATE", "REMOVE", "LOOKUP", "UPDATE", "READ", "WRITE", "STAT"};
constexpr int verb_count = sizeof verbs / sizeof verbs[0];

const char *const phrases[] = {
    "is kept for the lifetime of the",
    "names the",
    "counts every",
    "is sent back with the",
    "holds one",
    "is empty when there is no",
    "must match the",
    "is filled in by the server for the",
    "is only read after the",
    "limits the size of the",
};
constexpr int phrase_count = sizeof phrases / sizeof phrases[0];

std::string upper(std::string_view s) {
  std::string r(s);
  for (char &c : r) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return r;
}

struct Constant {
  std::string name;
  long value;    // meaningful only when numeric
  bool numeric;  // decimal or hexadecimal, positive: usable as bound and label
};

struct Enum {
  std::string name;
  std::vector<std::string> members;
};

struct Counts {
  long constants = 0, structs = 0, unions = 0, enums = 0, typedefs = 0;
  long programs = 0, versions = 0, procedures = 0, members = 0;
  long comments = 0, pass_through = 0;
};

class Generator {
 public:
  Generator(long defs, std::uint64_t seed) : defs_(defs), rng_{seed} {}

  std::string run();
  const Counts &counts() const { return counts_; }

 private:
  long defs_;
  Rng rng_;
  std::string out_;
  Counts counts_;
  long serial_ = 0;              // makes every name unique
  long next_const_value_ = 300;  // above every numeric case label a union uses

  std::vector<Constant> constants_;
  std::vector<std::size_t> bound_constants_;  // indexes of numeric ones
  std::vector<std::string> structs_, unions_, typedefs_;
  std::vector<Enum> enums_;

  const char *word() { return words[rng_.below(word_count)]; }
  std::string fresh(const char *tag) { return std::string(word()) + "_" + tag + std::to_string(++serial_); }
  void sentence(std::string &s) {
    s += "The ";
    s += word();
    s += ' ';
    s += phrases[rng_.below(phrase_count)];
    s += ' ';
    s += word();
    s += '.';
  }

  void comment_before_definition();
  void member_comment();
  std::string bound_constant();
  std::string member_declaration(const std::string &name, const std::string &self);
  std::string pick(const std::vector<std::string> &v) { return v[rng_.below(static_cast<int>(v.size()))]; }

  void emit_constant();
  void emit_enum();
  void emit_struct();
  void emit_union();
  void emit_typedef();
  void emit_program(int index, int procedures_per_version);
  std::string procedure_type();
  void pass_through_header();
};

void Generator::comment_before_definition() {
  int r = rng_.below(100);
  if (r < 30) {
    out_ += "/* ";
    sentence(out_);
    out_ += " */\n";
    ++counts_.comments;
  } else if (r < 45) {
    out_ += "/*\n";
    int lines = rng_.between(2, 5);
    for (int i = 0; i < lines; ++i) {
      out_ += " * ";
      sentence(out_);
      out_ += '\n';
    }
    out_ += " */\n";
    ++counts_.comments;
  }
}

void Generator::member_comment() {
  if (rng_.percent(15)) {
    out_ += "\t/* ";
    sentence(out_);
    out_ += " */";
    ++counts_.comments;
  }
  out_ += '\n';
}

std::string Generator::bound_constant() {
  return constants_[bound_constants_[rng_.below(static_cast<int>(bound_constants_.size()))]].name;
}

// One declaration without its ";": every shape a struct member or union arm
// can take.  `self` is the enclosing struct (for a self-referencing pointer),
// empty inside a union.
std::string Generator::member_declaration(const std::string &name, const std::string &self) {
  ++counts_.members;
  for (;;) {
    int r = rng_.below(100);
    if (r < 14) return "int " + name;
    if (r < 18) return "unsigned int " + name;
    if (r < 21) return "hyper " + name;
    if (r < 23) return "unsigned hyper " + name;
    if (r < 25) return "float " + name;
    if (r < 27) return "double " + name;
    if (r < 30) return "bool " + name;
    if (r < 31) return "short " + name;
    if (r < 32) return "unsigned short " + name;
    if (r < 33) return "long " + name;
    if (r < 34) return "unsigned long " + name;
    if (r < 35) return "char " + name;
    if (r < 36) return "unsigned char " + name;
    if (r < 37) return "unsigned " + name;
    if (r < 42) return "string " + name + "<>";
    if (r < 45) return "string " + name + "<" + std::to_string(rng_.between(8, 1024)) + ">";
    if (r < 47) return "string " + name + "<" + bound_constant() + ">";
    if (r < 50) return "opaque " + name + "<>";
    if (r < 52) return "opaque " + name + "[" + std::to_string(4 << rng_.below(5)) + "]";
    if (r < 53) return "opaque " + name + "<" + bound_constant() + ">";
    if (r < 54) return "opaque " + name + "[" + bound_constant() + "]";
    if (r < 57) return "int " + name + "<>";
    if (r < 58) return "int " + name + "<" + std::to_string(rng_.between(2, 100)) + ">";
    if (r < 60) return "float " + name + "[3]";
    if (r < 62) return "int " + name + "[" + bound_constant() + "]";
    if (r < 63) return "hyper " + name + "<>";
    if (r < 65) return "int *" + name;
    if (r < 80 && !structs_.empty()) {
      std::string s = pick(structs_);
      int k = rng_.below(9);
      if (k < 3) return "struct " + s + " " + name;
      if (k < 5) return s + " " + name;
      if (k < 7) return s + " " + name + "<>";
      if (k < 8) return s + " " + name + (rng_.percent(50) ? "[" + bound_constant() + "]" : "[4]");
      return "struct " + s + " *" + name;
    }
    if (r < 81 && !self.empty()) return "struct " + self + " *" + name;
    if (r < 86 && !enums_.empty()) {
      const Enum &e = enums_[rng_.below(static_cast<int>(enums_.size()))];
      return (rng_.percent(70) ? "enum " : "") + e.name + " " + name;
    }
    if (r < 89 && !unions_.empty()) {
      return (rng_.percent(30) ? "union " : "") + pick(unions_) + " " + name;
    }
    if (r < 100 && !typedefs_.empty()) {
      std::string t = pick(typedefs_);
      return rng_.percent(80) ? t + " " + name : t + " " + name + "<>";
    }
    // The chosen shape needs a type that does not exist yet: draw again.
  }
}

void Generator::emit_constant() {
  ++counts_.constants;
  Constant c;
  c.name = "MAX_" + upper(word()) + "_" + std::to_string(++serial_);
  c.numeric = false;
  c.value = 0;
  std::string text;
  int r = rng_.below(100);
  if (r < 62 || constants_.empty()) {
    c.value = next_const_value_++;
    c.numeric = true;
    text = std::to_string(c.value);
  } else if (r < 82) {
    c.value = next_const_value_++;
    c.numeric = true;
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%lx", static_cast<unsigned long>(c.value));
    text = buf;
  } else if (r < 87) {
    text = "-" + std::to_string(next_const_value_++);
  } else if (r < 96 && !bound_constants_.empty()) {
    // An alias: the same value under another name, so never a label.
    text = bound_constant();
  } else {
    text = "\"" + std::string(word()) + " " + std::string(word()) + "\"";
  }
  comment_before_definition();
  out_ += "const " + c.name + " = " + text + ";\n\n";
  if (c.numeric) bound_constants_.push_back(constants_.size());
  constants_.push_back(std::move(c));
}

void Generator::emit_enum() {
  ++counts_.enums;
  Enum e;
  e.name = fresh("e");
  comment_before_definition();
  out_ += "enum " + e.name + " {\n";
  int n = rng_.between(2, 8);
  long next = 0;
  std::string stem = upper(word()) + "_" + std::to_string(serial_) + "_";
  for (int i = 0; i < n; ++i) {
    std::string m = stem + std::to_string(i);
    out_ += "\t" + m;
    int r = rng_.below(100);
    if (i == 0 && r < 10) {
      next = -rng_.between(1, 5);
      out_ += " = " + std::to_string(next);
    } else if (r < 30) {
      // Explicit values only climb, so every member keeps a distinct value.
      next += rng_.between(1, 20);
      if (next >= 0 && rng_.percent(25)) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "0x%lx", static_cast<unsigned long>(next));
        out_ += " = ";
        out_ += buf;
      } else {
        out_ += " = " + std::to_string(next);
      }
    }
    ++next;
    out_ += (i + 1 < n) ? ",\n" : "\n";
    e.members.push_back(std::move(m));
  }
  out_ += "};\n\n";
  enums_.push_back(std::move(e));
}

void Generator::emit_struct() {
  ++counts_.structs;
  std::string name = fresh("s");
  comment_before_definition();
  out_ += "struct " + name + " {\n";
  int n = rng_.between(2, 10);
  for (int i = 0; i < n; ++i) {
    std::string member = std::string(word()) + "_" + std::to_string(i);
    out_ += '\t';
    out_ += member_declaration(member, name);
    out_ += ';';
    member_comment();
  }
  out_ += "};\n\n";
  structs_.push_back(std::move(name));
}

void Generator::emit_union() {
  ++counts_.unions;
  std::string name = fresh("u");
  comment_before_definition();
  std::vector<std::string> labels;
  std::string discriminant;
  int r = rng_.below(100);
  if (r < 30 && !enums_.empty()) {
    const Enum &e = enums_[rng_.below(static_cast<int>(enums_.size()))];
    discriminant = (rng_.percent(70) ? "enum " : "") + e.name + " kind";
    int n = rng_.between(1, static_cast<int>(e.members.size()));
    labels.assign(e.members.begin(), e.members.begin() + n);
  } else if (r < 40) {
    discriminant = "bool present";
    labels.push_back("TRUE");
    if (rng_.percent(50)) labels.push_back("FALSE");
  } else {
    discriminant = (r < 50 ? "unsigned int " : "int ") + std::string("code");
    int n = rng_.between(1, 6);
    for (int i = 0; i < n; ++i) labels.push_back(std::to_string(i));
    // A few other label spellings; all values stay distinct from 0..5.
    if (rng_.percent(20)) labels.push_back("0x100");
    if (r >= 50 && rng_.percent(15)) labels.push_back("-1");
    if (rng_.percent(25) && !bound_constants_.empty()) {
      // Numeric constants have distinct values of 300 and more.
      std::string c = bound_constant();
      bool seen = false;
      for (const auto &l : labels) seen = seen || l == c;
      if (!seen) labels.push_back(c);
    }
  }
  out_ += "union " + name + " switch (" + discriminant + ") {\n";
  int arm = 0;
  for (const auto &label : labels) {
    out_ += "case " + label + ":\n";
    if (rng_.percent(20)) {
      out_ += "\tvoid;\n";
    } else {
      out_ += '\t';
      out_ += member_declaration(std::string(word()) + "_arm" + std::to_string(arm++), "");
      out_ += ';';
      member_comment();
    }
  }
  int d = rng_.below(100);
  if (d < 20) {
    out_ += "default:\n\tvoid;\n";
  } else if (d < 40) {
    out_ += "default:\n\t";
    out_ += member_declaration(std::string(word()) + "_other", "");
    out_ += ";\n";
  }
  out_ += "};\n\n";
  unions_.push_back(std::move(name));
}

void Generator::emit_typedef() {
  ++counts_.typedefs;
  std::string name = fresh("t");
  comment_before_definition();
  std::string decl;
  int r = rng_.below(100);
  if (r < 15)
    decl = "int " + name;
  else if (r < 20)
    decl = "unsigned hyper " + name;
  else if (r < 30)
    decl = "string " + name + "<>";
  else if (r < 35)
    decl = "string " + name + "<" + std::to_string(rng_.between(16, 4096)) + ">";
  else if (r < 42)
    decl = "opaque " + name + "<" + (rng_.percent(50) ? bound_constant() : std::string()) + ">";
  else if (r < 47)
    decl = "opaque " + name + "[" + std::to_string(4 << rng_.below(5)) + "]";
  else if (r < 52)
    decl = "int " + name + "[" + bound_constant() + "]";
  else if (r < 55)
    decl = "double " + name + "<>";
  else if (r < 70 && !structs_.empty())
    decl = "struct " + pick(structs_) + " " + name;
  else if (r < 78 && !structs_.empty())
    decl = pick(structs_) + " " + name + "<>";
  else if (r < 86 && !structs_.empty())
    decl = "struct " + pick(structs_) + " *" + name;
  else if (r < 91 && !enums_.empty())
    decl = "enum " + enums_[rng_.below(static_cast<int>(enums_.size()))].name + " " + name;
  else if (r < 95 && !unions_.empty())
    decl = "union " + pick(unions_) + " " + name;
  else if (!typedefs_.empty())
    decl = pick(typedefs_) + " " + name;
  else
    decl = "bool " + name;
  out_ += "typedef " + decl + ";\n\n";
  typedefs_.push_back(std::move(name));
}

std::string Generator::procedure_type() {
  for (;;) {
    int r = rng_.below(100);
    if (r < 15) return "void";
    if (r < 25) return "int";
    if (r < 28) return "unsigned int";
    if (r < 31) return "hyper";
    if (r < 34) return "bool";
    if (r < 40) return "string";
    if (r < 42) return "double";
    if (r < 67 && !structs_.empty()) return (rng_.percent(50) ? "struct " : "") + pick(structs_);
    if (r < 75 && !unions_.empty()) return (rng_.percent(50) ? "union " : "") + pick(unions_);
    if (r < 82 && !enums_.empty()) return "enum " + enums_[rng_.below(static_cast<int>(enums_.size()))].name;
    if (r < 100 && !typedefs_.empty()) return pick(typedefs_);
  }
}

void Generator::emit_program(int index, int procedures_per_version) {
  ++counts_.programs;
  std::string stem = upper(word()) + "_" + std::to_string(++serial_);
  std::string name = stem + "_PROG";
  comment_before_definition();
  out_ += "program " + name + " {\n";
  const int versions = 3;
  for (int v = 1; v <= versions; ++v) {
    ++counts_.versions;
    out_ += "\tversion " + stem + "_VERS_" + std::to_string(v) + " {\n";
    out_ += "\t\tvoid " + stem + "_NULL(void) = 0;\n";
    ++counts_.procedures;
    for (int p = 1; p < procedures_per_version; ++p) {
      ++counts_.procedures;
      if (rng_.percent(10)) {
        out_ += "\t\t/* ";
        sentence(out_);
        out_ += " */\n";
        ++counts_.comments;
      }
      std::string result = procedure_type();
      std::string arg = procedure_type();
      out_ += "\t\t" + result + " " + verbs[rng_.below(verb_count)] + "_" + upper(word()) + "_" + std::to_string(p) +
              "(" + arg + ") = " + std::to_string(p) + ";\n";
    }
    out_ += "\t} = " + std::to_string(v) + ";\n";
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%x", 0x20000100 + index);
  out_ += "} = ";
  out_ += buf;
  out_ += ";\n\n";
}

void Generator::pass_through_header() {
  const char *const lines[] = {
      "%/*",
      "% * Generated from the synthetic benchmark interface.",
      "% * Do not edit: run the interface compiler again instead.",
      "% */",
      "%import java.io.Serializable;",
      "%import java.util.List;",
      "%import java.util.ArrayList;",
      "%import java.util.Map;",
      "%import java.util.HashMap;",
      "%import java.util.concurrent.TimeUnit;",
  };
  for (const char *l : lines) {
    out_ += l;
    out_ += '\n';
    ++counts_.pass_through;
  }
  out_ += "\n";
}

std::string Generator::run() {
  out_.reserve(static_cast<std::size_t>(defs_) * 200);
  out_ += "/*\n * Synthetic interface for the vorlith benchmark: ";
  out_ += std::to_string(defs_);
  out_ += " definitions.\n */\n\n";
  pass_through_header();

  const int programs = defs_ >= 400 ? 8 : 1;
  const long procedure_budget = defs_ / 10;
  const int per_version = static_cast<int>(std::max<long>(3, procedure_budget / (programs * 3)));
  const long prelude = std::max<long>(2, defs_ / 50);  // constants at the top

  int next_program = 0;
  int next_section = 1;
  for (long i = 0; i < defs_; ++i) {
    if (next_section < 5 && i == next_section * defs_ / 5) {
      out_ += "%// section " + std::to_string(next_section++) + "\n\n";
      ++counts_.pass_through;
    }
    // Programs stand at evenly spaced places; the last definition is one.
    if (i == (next_program + 1) * defs_ / programs - 1) {
      emit_program(next_program++, per_version);
      continue;
    }
    if (i < prelude) {
      emit_constant();
      continue;
    }
    int r = rng_.below(1000);
    if (r < 100)
      emit_constant();
    else if (r < 500)
      emit_struct();
    else if (r < 600)
      emit_union();
    else if (r < 710)
      emit_enum();
    else
      emit_typedef();
  }
  return std::move(out_);
}

[[noreturn]] void usage(const char *prog) {
  std::fprintf(stderr, "usage: %s --defs N [--seed S] [-o FILE]\n", prog);
  std::exit(2);
}

}  // namespace

int main(int argc, char **argv) {
  long defs = -1;
  std::uint64_t seed = 1;
  const char *out_name = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if ((a == "--defs" || a == "--seed" || a == "-o") && i + 1 < argc) {
      const char *v = argv[++i];
      if (a == "-o") {
        out_name = v;
        continue;
      }
      char *end = nullptr;
      unsigned long long n = std::strtoull(v, &end, 10);
      if (*v == '\0' || *end != '\0' || *v == '-') usage(argv[0]);
      if (a == "--defs")
        defs = static_cast<long>(n);
      else
        seed = n;
    } else {
      usage(argv[0]);
    }
  }
  if (defs < 10 || defs > 10000000) {
    std::fprintf(stderr, "%s: --defs must be between 10 and 10000000\n", argv[0]);
    return 2;
  }

  Generator g(defs, seed);
  const std::string text = g.run();

  FILE *f = out_name ? std::fopen(out_name, "wb") : stdout;
  if (!f) {
    std::perror(out_name);
    return 1;
  }
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = (out_name ? std::fclose(f) == 0 : std::fflush(f) == 0) && ok;
  if (!ok) {
    std::fprintf(stderr, "%s: write failed\n", out_name ? out_name : "<stdout>");
    return 1;
  }

  const Counts &c = g.counts();
  long files = c.structs + c.unions + c.enums + c.typedefs + 3 * c.versions;
  std::fprintf(stderr,
               "defs=%ld bytes=%zu constants=%ld structs=%ld unions=%ld enums=%ld typedefs=%ld "
               "programs=%ld versions=%ld procedures=%ld members=%ld comments=%ld pass_through=%ld "
               "expected_files=%ld\n",
               defs, text.size(), c.constants, c.structs, c.unions, c.enums, c.typedefs, c.programs, c.versions,
               c.procedures, c.members, c.comments, c.pass_through, files);
  return 0;
}
