#include "platform/utf.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(Utf, RoundTripsEveryPlane) {
  const WString text = u"Temp \u0416\u0443\u043a \u65e5\u672c \U0001F600 end";
  EXPECT_EQ(Utf16ToUtf8(text),
            "Temp \xD0\x96\xD1\x83\xD0\xBA \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80 end");
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
}

TEST(Utf, ReplacesWhatCannotBeConverted) {
  const WString loneHigh = {u'a', static_cast<WChar>(0xD800), u'b'};
  EXPECT_EQ(Utf16ToUtf8(loneHigh),
            "a\xEF\xBF\xBD"
            "b");
  const WString loneLow = {static_cast<WChar>(0xDC00)};
  EXPECT_EQ(Utf16ToUtf8(loneLow), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD") << "overlong form";
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD") << "encoded surrogate";
  EXPECT_EQ(Utf8ToUtf16("\xE6\x97"), u"\uFFFD\uFFFD") << "truncated at the end";
}

}  // namespace
}  // namespace velmora
