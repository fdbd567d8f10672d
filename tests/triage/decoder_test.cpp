// The decoder against each encoding Windows writes, every kind of line end,
// and the bytes a damaged or hostile file holds.
#include "input/decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zip_builder.h"

namespace triage {
namespace {

struct Decoded {
  std::vector<std::string> lines;
  Encoding encoding = Encoding::Unknown;
  DecodeStats stats;
};

class Collect : public LineSink {
 public:
  void Line(uint64_t number, std::string_view text) override {
    EXPECT_EQ(number, lines.size() + 1);
    EXPECT_TRUE(IsValidUtf8(text)) << "line " << number;
    lines.emplace_back(text);
  }
  std::vector<std::string> lines;
};

// Fed in pieces of `piece` bytes, so that every boundary a read can fall on
// is crossed by some test.
Decoded Decode(const std::string& bytes, std::size_t piece = 1 << 20,
               std::size_t max_line = 1 << 16) {
  Collect sink;
  TextDecoder decoder(sink, max_line);
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    decoder.Feed(bytes.data() + at, std::min(piece, bytes.size() - at));
  }
  decoder.Finish();
  return {sink.lines, decoder.encoding(), decoder.stats()};
}

std::string Utf16Be(const std::u16string& text) {
  std::string out = "\xFE\xFF";
  for (char16_t unit : text) {
    out += static_cast<char>(unit >> 8);
    out += static_cast<char>(unit & 0xFF);
  }
  return out;
}

using Lines = std::vector<std::string>;

TEST(Decoder, EveryEncodingGivesTheSameUtf8LinesWhereverTheReadsSplitThem) {
  const Lines expected = {"Produkt: Caf\u00e9 \u20ac5", "Return value 3.", "\U0001F600 end"};
  const std::u16string text =
      u"Produkt: Caf\u00e9 \u20ac5\r\nReturn value 3.\r\n\U0001F600 end\r\n";
  const std::string utf8 = "Produkt: Caf\u00e9 \u20ac5\r\nReturn value 3.\r\n\U0001F600 end\r\n";
  struct Case {
    const char* name;
    std::string bytes;
    Encoding encoding;
  } cases[] = {
      {"UTF-16LE", testing::Utf16Le(text), Encoding::Utf16Le},
      {"UTF-16BE", Utf16Be(text), Encoding::Utf16Be},
      {"UTF-8 with BOM", "\xEF\xBB\xBF" + utf8, Encoding::Utf8Bom},
      {"UTF-8", utf8, Encoding::EightBit},
      {"UTF-16LE without BOM", testing::Utf16Le(text).substr(2), Encoding::Utf16Le},
  };
  for (const auto& c : cases) {
    for (std::size_t piece :
         {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, std::size_t{1} << 20}) {
      Decoded decoded = Decode(c.bytes, piece);
      EXPECT_EQ(decoded.lines, expected) << c.name << ", pieces of " << piece;
      EXPECT_EQ(decoded.encoding, c.encoding) << c.name;
      EXPECT_EQ(decoded.stats.replaced, 0u) << c.name;
    }
  }
}

TEST(Decoder, BytesThatAreNotUtf8AreWindows1252LineByLine) {
  // 0x80 is the euro sign, 0xE9 e-acute, 0x81 unassigned; the UTF-8 line
  // between them stays as it is.
  Decoded decoded = Decode("Caf\xE9 \x80\x81\nd\xC3\xA9j\xC3\xA0\n\x93quoted\x94\n");
  EXPECT_EQ(decoded.lines,
            (Lines{"Caf\u00e9 \u20ac\ufffd", "d\u00e9j\u00e0", "\u201cquoted\u201d"}));
  EXPECT_EQ(decoded.stats.ansi_lines, 2u);
  // An overlong form and an encoded surrogate are not UTF-8 either.
  EXPECT_EQ(Decode("\xC0\xAF\n").lines, Lines{"\u00c0\u00af"});
  EXPECT_EQ(Decode("\xED\xA0\x80\n").lines, Lines{"\u00ed\u00a0\u20ac"});
}

TEST(Decoder, LineEndsOfEveryKind) {
  for (std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{64}}) {
    EXPECT_EQ(Decode("a\r\nb\nc\rd\r\re\n\nf", piece).lines,
              (Lines{"a", "b", "c", "d", "", "e", "", "f"}))
        << piece;
    // A CR that ends one read and the LF that starts the next are one end.
    EXPECT_EQ(Decode("one\r\ntwo\r\n", piece).lines, (Lines{"one", "two"})) << piece;
  }
  EXPECT_EQ(Decode("").lines, Lines{});
  EXPECT_EQ(Decode("\n").lines, Lines{""});
  EXPECT_EQ(Decode("last without end").lines, Lines{"last without end"});
  // A long run of CR-only lines in one read stays linear: 200,000 lines.
  std::string many;
  for (int i = 0; i < 200000; ++i) many += "x\r";
  EXPECT_EQ(Decode(many).stats.lines, 200000u);
}

TEST(Decoder, DamagedUtf16BecomesReplacementCharacters) {
  // Odd byte count: the lone last byte is a U+FFFD and is reported.
  Decoded odd = Decode(testing::Utf16Le(u"ok\r\ncut") + "x");
  EXPECT_EQ(odd.lines, (Lines{"ok", "cut\ufffd"}));
  EXPECT_TRUE(odd.stats.odd_byte_count);
  // A high surrogate before a letter, a low one alone, a high one at the end.
  std::u16string lone = u"a";
  lone += static_cast<char16_t>(0xD83D);
  lone += u"b";
  lone += static_cast<char16_t>(0xDE00);
  lone += u"\n";
  lone += static_cast<char16_t>(0xD83D);
  for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{4096}}) {
    Decoded decoded = Decode(testing::Utf16Le(lone), piece);
    EXPECT_EQ(decoded.lines, (Lines{"a\ufffdb\ufffd", "\ufffd"})) << piece;
    EXPECT_EQ(decoded.stats.replaced, 3u);
    EXPECT_FALSE(decoded.stats.odd_byte_count);
  }
}

TEST(Decoder, LongLinesAreCutButCountedAndLaterLinesKeepTheirNumbers) {
  const std::size_t max = 1000;
  std::string huge(3 * 1000 * 1000, 'x');
  for (std::size_t piece : {std::size_t{4096}, std::size_t{1} << 20}) {
    Decoded decoded = Decode("first\n" + huge + "\nafter\n" + huge, piece, max);
    ASSERT_EQ(decoded.lines.size(), 4u) << piece;
    EXPECT_EQ(decoded.lines[1].size(), max);
    EXPECT_EQ(decoded.lines[2], "after");
    EXPECT_EQ(decoded.lines[3].size(), max);
    EXPECT_EQ(decoded.stats.cut_lines, 2u);
    EXPECT_EQ(decoded.stats.first_cut_line, 2u);
  }
  // A cut never leaves half a character: 'é' is two bytes, the limit odd.
  std::string accents;
  for (int i = 0; i < 2000; ++i) accents += "\xC3\xA9";
  Decoded cut = Decode(accents + "\n", 4096, 1001);
  EXPECT_EQ(cut.lines[0].size(), 1000u);
  EXPECT_EQ(cut.stats.ansi_lines, 0u);
  // Windows-1252 bytes grow when converted; the limit holds for the result.
  Decoded ansi = Decode(std::string(900, '\x80') + "\n", 4096, 1000);
  EXPECT_EQ(ansi.lines[0].size(), 999u);
  EXPECT_EQ(ansi.stats.cut_lines, 1u);
  // The same for converted UTF-16: each U+20AC is three bytes.
  Decoded euros = Decode(testing::Utf16Le(std::u16string(5000, u'\u20ac')), 4096, 1000);
  EXPECT_EQ(euros.lines[0].size(), 999u);
}

TEST(Decoder, BinaryJunkGivesNoLines) {
  std::string junk;
  for (int i = 0; i < 10000; ++i) junk += static_cast<char>((i * 7919) % 256);
  Decoded decoded = Decode(junk, 333);
  EXPECT_EQ(decoded.encoding, Encoding::Binary);
  EXPECT_TRUE(decoded.lines.empty());
  // A short file is still judged once it ends.
  EXPECT_EQ(Decode(std::string("\x00\x01\x02\x00\x00\x05", 6)).encoding, Encoding::Binary);
  EXPECT_EQ(Decode("ab").encoding, Encoding::EightBit);
}

}  // namespace
}  // namespace triage
