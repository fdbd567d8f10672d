// The text helpers at their edges: where one UTF-8 length gives way to the
// next, forms a decoder must refuse, cuts inside a sequence, hex at its
// widest, and dates around leap days and the epoch.
#include <gtest/gtest.h>

#include <string>

#include "platform/text/affix.h"
#include "platform/text/ascii.h"
#include "platform/text/dates.h"
#include "platform/text/hex.h"
#include "platform/text/utf8.h"

namespace velmora::text {
namespace {

TEST(Utf8, DecodesEveryLengthAndRefusesMalformedForms) {
  const struct {
    const char* what;
    std::string bytes;
    bool valid;
    std::size_t size;
    uint32_t code;  // the first byte when not valid
  } cases[] = {
      {"ASCII", "A", true, 1, 0x41},
      {"NUL", std::string(1, '\0'), true, 1, 0},
      {"DEL", "\x7F", true, 1, 0x7F},
      {"least of two bytes", "\xC2\x80", true, 2, 0x80},
      {"most of two bytes", "\xDF\xBF", true, 2, 0x7FF},
      {"least of three bytes", "\xE0\xA0\x80", true, 3, 0x800},
      {"euro sign", "\xE2\x82\xAC", true, 3, 0x20AC},
      {"before the surrogates", "\xED\x9F\xBF", true, 3, 0xD7FF},
      {"after the surrogates", "\xEE\x80\x80", true, 3, 0xE000},
      {"least of four bytes", "\xF0\x90\x80\x80", true, 4, 0x10000},
      {"most of all", "\xF4\x8F\xBF\xBF", true, 4, 0x10FFFF},
      {"only the first character", "\xC3\xA9xyz", true, 2, 0xE9},
      {"overlong two bytes", "\xC0\xAF", false, 1, 0xC0},
      {"overlong C1", "\xC1\xBF", false, 1, 0xC1},
      {"overlong three bytes", "\xE0\x9F\xBF", false, 1, 0xE0},
      {"overlong four bytes", "\xF0\x8F\xBF\xBF", false, 1, 0xF0},
      {"encoded surrogate", "\xED\xA0\x80", false, 1, 0xED},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", false, 1, 0xF4},
      {"lead F5", "\xF5\x80\x80\x80", false, 1, 0xF5},
      {"byte FF", "\xFF", false, 1, 0xFF},
      {"lone continuation", "\x80", false, 1, 0x80},
      {"cut short", "\xE6\x97", false, 1, 0xE6},
      {"ASCII where a continuation belongs",
       "\xC3"
       "A",
       false, 1, 0xC3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Utf8Char read = DecodeUtf8(c.bytes);
    EXPECT_EQ(read.valid, c.valid);
    EXPECT_EQ(read.size, c.size);
    EXPECT_EQ(read.code, c.code);
    // The whole text is valid exactly when it is one valid character, or
    // that character followed by ASCII.
    bool rest_ascii = true;
    for (std::size_t i = c.size; i < c.bytes.size(); ++i) {
      rest_ascii = rest_ascii && static_cast<unsigned char>(c.bytes[i]) < 0x80;
    }
    EXPECT_EQ(IsValidUtf8(c.bytes), c.valid && rest_ascii);
  }
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_FALSE(IsValidUtf8("plain text then \xE2\x82"));
}

TEST(Utf8, WritesEachCodePointAsItsShortestForm) {
  const struct {
    uint32_t code;
    std::string bytes;
  } cases[] = {
      {0x00, std::string(1, '\0')},
      {0x7F, "\x7F"},
      {0x80, "\xC2\x80"},
      {0x7FF, "\xDF\xBF"},
      {0x800, "\xE0\xA0\x80"},
      {0xFFFD, "\xEF\xBF\xBD"},
      {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"},
      {0x10FFFF, "\xF4\x8F\xBF\xBF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    std::string out = "x";
    AppendUtf8(c.code, out);
    EXPECT_EQ(out, "x" + c.bytes);
    char buffer[4];
    EXPECT_EQ(std::string(buffer, PutUtf8(c.code, buffer)), c.bytes);
    const Utf8Char back = DecodeUtf8(c.bytes);
    EXPECT_TRUE(back.valid);
    EXPECT_EQ(back.code, c.code);
  }
}

TEST(Utf8, CutsNeverSplitASequence) {
  const std::string euro = "\xE2\x82\xAC";
  const struct {
    const char* what;
    std::string text;
    std::size_t limit;
    std::string cut;
    std::string without_partial_tail;  // of `text` itself
  } cases[] = {
      {"short enough", "abc", 3, "abc", "abc"},
      {"ASCII cut", "abcdef", 4, "abcd", "abcdef"},
      {"cut after a whole sequence", "ab" + euro + "c", 5, "ab" + euro, "ab" + euro + "c"},
      {"cut inside a sequence", "ab" + euro, 4, "ab", "ab" + euro},
      {"cut after the lead byte", "ab" + euro, 3, "ab", "ab" + euro},
      {"ends in a lead byte", "ab\xE2", 2, "ab", "ab"},
      {"ends inside a sequence", "ab\xE2\x82", 10, "ab\xE2\x82", "ab"},
      {"ends inside a four-byte sequence", "a\xF0\x9F\x98", 10, "a\xF0\x9F\x98", "a"},
      {"whole four-byte sequence", "a\xF0\x9F\x98\x80", 10, "a\xF0\x9F\x98\x80",
       "a\xF0\x9F\x98\x80"},
      {"only continuation bytes", "\x80\x80", 1, "", "\x80\x80"},
      {"empty", "", 0, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CutUtf8(c.text, c.limit), c.cut);
    EXPECT_EQ(DropPartialUtf8Tail(c.text), c.without_partial_tail);
  }
}

TEST(Hex, ParsesCodesAsLogsWriteThem) {
  const struct {
    const char* text;
    bool parsed;
    int64_t value;
    std::size_t used;
  } cases[] = {
      {"0x80070643", true, 0x80070643, 10},
      {"0X1f", true, 0x1F, 4},
      {"E0000219: the rest", true, 0xE0000219, 8},
      {"abcdef", true, 0xABCDEF, 6},
      {"0xFFFFFFFFFFFFFFFF", true, -1, 18},
      {"0x1FFFFFFFFFFFFFFFF", false, 0, 0},  // seventeen digits do not fit
      {"0x", false, 0, 0},
      {"", false, 0, 0},
      {"g1", false, 0, 0},
      {"0xg", false, 0, 0},
      {"0", true, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::size_t used = 0;
    const auto value = ParseHex(c.text, &used);
    ASSERT_EQ(value.has_value(), c.parsed);
    if (!c.parsed) continue;
    EXPECT_EQ(*value, c.value);
    EXPECT_EQ(used, c.used);
  }
}

TEST(Hex, WritesNumbersAndBytes) {
  EXPECT_EQ(HexNumber(0), "0");
  EXPECT_EQ(HexNumber(0x643), "643");
  EXPECT_EQ(HexNumber(0x643, 8), "00000643");
  EXPECT_EQ(HexNumber(0x202E, 4), "202E");
  EXPECT_EQ(HexNumber(0x1F600, 4), "1F600") << "a width is the least, never a cut";
  EXPECT_EQ(HexNumber(0xABCDEFu, 1, HexCase::Lower), "abcdef");
  EXPECT_EQ(HexNumber(~uint64_t{0}), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(HexBytes(std::string("\x00\x7F\x80\xFF", 4), HexCase::Lower), "007f80ff");
  EXPECT_EQ(HexBytes("", HexCase::Upper), "");
  std::string out = "%";
  AppendHexByte(0xE9, HexCase::Upper, out);
  EXPECT_EQ(out, "%E9");
}

TEST(Ascii, OnlyTheTwentySixLettersHaveACase) {
  // Bytes of UTF-8 text (here "É") and the neighbours of the letters stay.
  EXPECT_EQ(LowerAscii("MSI Log@[Z]\xC3\x89.TXT"), "msi log@[z]\xC3\x89.txt");
  EXPECT_EQ(UpperAscii("error`{a}\xC3\xA9"), "ERROR`{A}\xC3\xA9");
  const struct {
    const char* a;
    const char* b;
    bool equal;
  } pairs[] = {
      {"SetupAPI.dev.log", "setupapi.DEV.LOG", true},
      {"abc", "abcd", false},
      {"@", "`", false},
      {"\xC3\x89", "\xC3\xA9", false},  // no case beyond ASCII
      {"", "", true},
  };
  for (const auto& p : pairs) {
    SCOPED_TRACE(p.a);
    EXPECT_EQ(EqualsNoCase(p.a, p.b), p.equal);
  }
  EXPECT_TRUE(ContainsNoCase("Return Value 3.", "value 3"));
  EXPECT_TRUE(ContainsNoCase("anything", ""));
  EXPECT_FALSE(ContainsNoCase("Value", "values"));
  EXPECT_FALSE(ContainsNoCase("VALUE", "VALUE")) << "the part is given in lower case";
  EXPECT_TRUE(StartsWith("0x643", "0x") && EndsWith("a.ZIP", ".ZIP") && Contains("abc", "b"));
  EXPECT_FALSE(StartsWith("0", "0x") || EndsWith("zip", ".zip") || Contains("", "a"));
}

TEST(Dates, CountsTheCalendarBothWays) {
  const struct {
    int64_t year, month, day, hour, minute, second;
    int64_t seconds;
    const char* iso;
  } cases[] = {
      {1970, 1, 1, 0, 0, 0, 0, "1970-01-01T00:00:00"},
      {1980, 1, 1, 0, 0, 0, 315532800, "1980-01-01T00:00:00"},
      {2000, 2, 29, 0, 0, 0, 951782400, "2000-02-29T00:00:00"},
      {2026, 12, 1, 10, 15, 4, 1796120104, "2026-12-01T10:15:04"},
      {2100, 3, 1, 0, 0, 0, 4107542400, "2100-03-01T00:00:00"},
      {9999, 12, 31, 23, 59, 59, 253402300799, "9999-12-31T23:59:59"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.iso);
    EXPECT_EQ(CivilSeconds(c.year, c.month, c.day, c.hour, c.minute, c.second), c.seconds);
    EXPECT_EQ(IsoTime(c.seconds), c.iso);
    EXPECT_EQ(ParseIsoLikeTime(c.iso), c.seconds);
  }
  EXPECT_EQ(IsoTime(-1), "1969-12-31T23:59:59") << "a time before 1970 still reads as a date";
  EXPECT_EQ(ParseIsoLikeTime("2026/12/01 10:15:04.123"), 1796120104);
  EXPECT_EQ(ParseClock("10:15:04"), 36904);
  EXPECT_EQ(ParseClock("23:59:60"), 86400) << "a leap second";
  for (const char* bad : {"2026-12-01X10:15:04", "2026-13-01T10:15:04", "2026-12-01T24:00:00",
                          "2026-12-01T10:15", "1969-12-31T23:59:59", "20261201T101504"}) {
    EXPECT_FALSE(ParseIsoLikeTime(bad)) << bad;
  }
  EXPECT_FALSE(CivilSeconds(2026, 0, 1, 0, 0, 0));
  EXPECT_FALSE(CivilSeconds(2026, 1, 32, 0, 0, 0));
  EXPECT_FALSE(CivilSeconds(2026, 1, 1, -1, 0, 0));
  EXPECT_FALSE(ParseClock("10:15"));
  EXPECT_FALSE(ParseClock("10-15-04"));
}

}  // namespace
}  // namespace velmora::text
