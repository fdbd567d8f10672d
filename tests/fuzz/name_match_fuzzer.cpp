// Name matching against a reference written another way: a memoised search
// over every split of the name, with letter case from a small hand-made
// table. Texts built from that table's characters (wildcards, ASCII, letters
// beyond it, surrogate pairs) must get the same answer from both; raw UTF-16
// texts, lone surrogates included, must keep the matcher's invariants.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/name_match.h"

namespace velmora {
namespace {

// The texts under test, shown when a check fails; set before any check.
const WString* g_pattern = nullptr;
const WString* g_name = nullptr;

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "check failed: %s\npattern, then name:\n", what);
  for (const WString* text : {g_pattern, g_name}) {
    for (WChar c : *text) std::fprintf(stderr, " %04x", static_cast<unsigned>(c));
    std::fprintf(stderr, "\n");
  }
  std::abort();
}

// One character each: upper and lower forms where a case pair exists, and
// look-alikes that must stay apart from ASCII and from each other.
struct Letter {
  const char16_t* text;
  char32_t upper;  // what the reference compares
};
// clang-format off
const Letter kLetters[] = {
    {u"a", U'A'}, {u"A", U'A'}, {u"b", U'B'}, {u"s", U'S'}, {u"S", U'S'}, {u"k", U'K'},
    {u"i", U'I'}, {u"I", U'I'}, {u".", U'.'}, {u"_", U'_'}, {u" ", U' '}, {u"%", U'%'},
    {u"\u00e9", 0xC9}, {u"\u00c9", 0xC9}, {u"\u00ff", 0x178}, {u"\u0178", 0x178},
    {u"\u0436", 0x416}, {u"\u0416", 0x416}, {u"\u03c2", 0x3A3}, {u"\u03c3", 0x3A3},
    {u"\u03a3", 0x3A3}, {u"\u01c4", 0x1C4}, {u"\u01c5", 0x1C4}, {u"\u01c6", 0x1C4},
    {u"\u0131", 0x131}, {u"\u0130", 0x130}, {u"\u017f", 0x17F}, {u"\u212a", 0x212A},
    {u"\u00df", 0xDF}, {u"\u1e9e", 0x1E9E}, {u"\U00010428", 0x10400}, {u"\U00010400", 0x10400},
    {u"\U0001F600", 0x1F600}, {u"\u65e5", 0x65E5},
};
// clang-format on

const Letter* Find(const WString& text, std::size_t at, std::size_t& units) {
  for (const Letter& letter : kLetters) {
    WString candidate(letter.text);
    if (text.compare(at, candidate.size(), candidate) == 0) {
      units = candidate.size();
      return &letter;
    }
  }
  return nullptr;
}

// Whether name[n..] matches pattern[p..]: "*" takes any number of units,
// "?" one unit, a letter the letter of the same upper case.
class Reference {
 public:
  Reference(const WString& pattern, const WString& name)
      : pattern_(pattern), name_(name), memo_((pattern.size() + 1) * (name.size() + 1), -1) {}

  bool Matches(std::size_t p = 0, std::size_t n = 0) {
    signed char& known = memo_[p * (name_.size() + 1) + n];
    if (known < 0) known = Compute(p, n);
    return known != 0;
  }

 private:
  bool Compute(std::size_t p, std::size_t n) {
    if (p == pattern_.size()) return n == name_.size();
    if (pattern_[p] == u'*') return Matches(p + 1, n) || (n < name_.size() && Matches(p, n + 1));
    if (n == name_.size()) return false;
    if (pattern_[p] == u'?') return Matches(p + 1, n + 1);
    std::size_t patternUnits = 0, nameUnits = 0;
    const Letter* wanted = Find(pattern_, p, patternUnits);
    const Letter* found = Find(name_, n, nameUnits);
    Check(wanted != nullptr, "patterns are made of table letters only");
    // In the middle of a pair (after a "*" or "?" took half of it) the name
    // holds no letter of the table, so nothing but a wildcard fits there.
    return found != nullptr && wanted->upper == found->upper &&
           Matches(p + patternUnits, n + nameUnits);
  }

  const WString& pattern_;
  const WString& name_;
  std::vector<signed char> memo_;
};

WString TableText(FuzzedDataProvider& data, bool wildcards) {
  WString text;
  std::size_t length = data.ConsumeIntegralInRange<std::size_t>(0, 24);
  for (std::size_t i = 0; i < length; ++i) {
    unsigned pick = data.ConsumeIntegralInRange<unsigned>(0, std::size(kLetters) + 1);
    if (pick < std::size(kLetters)) {
      text += kLetters[pick].text;
    } else if (wildcards) {
      text += pick == std::size(kLetters) ? u'*' : u'?';
    }
  }
  return text;
}

// A name the pattern is likely to match: wildcards filled in, letters kept
// or swapped for another case form.
WString NameFor(const WString& pattern, FuzzedDataProvider& data) {
  WString name;
  for (std::size_t at = 0; at < pattern.size();) {
    std::size_t units = 1;
    if (pattern[at] == u'*') {
      name += TableText(data, false).substr(0, data.ConsumeIntegralInRange(0, 3));
    } else if (pattern[at] == u'?') {
      name += static_cast<WChar>(data.ConsumeIntegral<std::uint16_t>());
    } else {
      const Letter* letter = Find(pattern, at, units);
      const Letter* other =
          &kLetters[data.ConsumeIntegralInRange<std::size_t>(0, std::size(kLetters) - 1)];
      name += data.ConsumeBool() && other->upper == letter->upper ? other->text : letter->text;
    }
    at += units;
  }
  return name;
}

WString RawText(FuzzedDataProvider& data) {
  WString text;
  std::size_t length = data.ConsumeIntegralInRange<std::size_t>(0, 40);
  for (std::size_t i = 0; i < length && data.remaining_bytes() > 0; ++i) {
    text += static_cast<WChar>(data.ConsumeIntegral<std::uint16_t>());
  }
  return text;
}

WString FlipAsciiCase(WString text) {
  for (WChar& c : text) {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) c ^= 0x20;
  }
  return text;
}

// What holds for any texts at all; returns whether the pattern matches the name.
bool CheckInvariants(const WString& pattern, const WString& name) {
  g_pattern = &pattern;
  g_name = &name;
  const bool matches = MatchesFileNamePattern(pattern, name);
  Check(MatchesFileNamePattern(name, name), "a name matches itself");
  Check(MatchesFileNamePattern(u"*", name), "\"*\" matches every name");
  Check(MatchesFileNamePattern(FlipAsciiCase(pattern), name) == matches, "ASCII case (pattern)");
  Check(MatchesFileNamePattern(pattern, FlipAsciiCase(name)) == matches, "ASCII case (name)");
  if (matches) {
    Check(MatchesFileNamePattern(pattern + u"*", name), "a trailing \"*\" un-matched");
    Check(MatchesFileNamePattern(u"*" + pattern, name), "a leading \"*\" un-matched");
    Check(MatchesFileNamePattern(pattern + u"*", name + u"x"), "\"*\" took no more");
  }
  return matches;
}

}  // namespace
}  // namespace velmora

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace velmora;
  FuzzedDataProvider data(bytes, size);
  const int kind = data.ConsumeIntegralInRange(0, 2);
  const WString pattern = kind < 2 ? TableText(data, true) : RawText(data);
  if (kind == 2) {  // any units at all
    CheckInvariants(pattern, RawText(data));
    return 0;
  }
  // Both from the table, or a name made to fit the pattern, give or take a case form.
  const WString name = kind == 0 ? TableText(data, true) : NameFor(pattern, data);
  Check(CheckInvariants(pattern, name) == Reference(pattern, name).Matches(),
        "the reference disagrees");
  return 0;
}
