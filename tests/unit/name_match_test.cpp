#include "platform/name_match.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

struct Case {
  const char16_t* pattern;
  const char16_t* name;
  bool matches;
};

void ExpectAll(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesFileNamePattern(c.pattern, c.name), c.matches)
        << "pattern " << ::testing::PrintToString(WString(c.pattern)) << " name "
        << ::testing::PrintToString(WString(c.name));
  }
}

TEST(NameMatch, WildcardsAndAnchoring) {
  ExpectAll({
      {u"Velmora_Drivers_*.log", u"Velmora_Drivers_.log", true},  // "*" takes nothing
      {u"Velmora_Drivers_*.log", u"Velmora_Drivers_a.b.c.log", true},
      {u"Velmora_Drivers_*.log", u"Velmora_Drivers_a.log.txt", false},
      {u"Velmora_Drivers_*.log", u"xVelmora_Drivers_a.log", false},
      {u"Velmora_Drivers_*.log", u"Velmora_Drivers_a.lo", false},
      {u"Velmora_Drivers_*msi.log", u"Velmora_Drivers_msi.log", true},
      {u"Velmora_Drivers_*msi.log", u"Velmora_Drivers_msi.logmsi.log", true},  // goes back
      {u"Velmora_Drivers_*msi.log", u"Velmora_Drivers_msi.log.log", false},
      {u"vl_*msi_rollback.log", u"vl_a msi_rollback.log", true},
      {u"vl_*msi_rollback.log", u"vl_msi_rollback.log_", false},
      {u"a**b*", u"ab", true},
      {u"*", u"", true},
      {u"?", u"", false},
      {u"a?c", u"abc", true},
      {u"a?c", u"ac", false},
      {u"*a*a*a*b", u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  });
}

TEST(NameMatch, LettersAsWindowsUpperCasesThem) {
  ExpectAll({
      {u"Velmora_Drivers_*.log", u"velmora_drivers_X.LOG", true},
      {u"\u00e9t\u00e9*", u"\u00c9T\u00c9.log", true},  // Latin-1
      {u"*\u0142\u0105*", u"x\u0141\u0104y", true},     // Latin Extended-A
      {u"*\u01c6*", u"\u01c4", true},                   // dz digraph, all three forms
      {u"*\u01c6*", u"\u01c5", true},
      {u"\u03c3\u03bf\u03c6\u03cc\u03c2", u"\u03a3\u039f\u03a6\u038c\u03a3", true},  // Greek
      {u"*\u0436*", u"\u0416", true},                                                // Cyrillic
      {u"*\u0561*", u"\u0531", true},                                                // Armenian
      {u"*\u0430*", u"a", false},       // look-alikes stay apart
      {u"*msi*", u"MS\u0130", false},   // dotted capital I
      {u"*msi*", u"MS\u0131", false},   // dotless i: nothing maps into ASCII
      {u"*s*", u"\u017f", false},       // nor does the long s
      {u"*k*", u"\u212a", false},       // Kelvin sign has no upper case
      {u"*\u00df*", u"\u1e9e", false},  // nor has sharp s
  });
}

TEST(NameMatch, SurrogatePairsAreOneCharacterButTwoUnits) {
  ExpectAll({
      {u"\U00010428*", u"\U00010400.log", true},  // Deseret small and capital long I
      {u"*\U00010428x", u"a\U00010400\U00010400x", true},
      {u"*\U00010428", u"\U00010401", false},
      {u"a?b", u"a\U0001F600b", false},  // "?" is one unit, as on Windows
      {u"a??b", u"a\U0001F600b", true},
      {u"*\U0001F600*", u"x\U0001F600y", true},
      {u"*?", u"\U0001F600", true},  // "*" takes half a pair, "?" the other half
      {u"x*?y", u"x\U00010400\U00010400y", true},
      {u"*??", u"\U0001F600", true},
      {u"*???", u"\U0001F600", false},
  });
  const WString lone = {u'a', static_cast<WChar>(0xD801), u'b'};
  EXPECT_TRUE(MatchesFileNamePattern(lone, lone)) << "a lone surrogate matches itself";
}

TEST(NameMatch, UpperCaseTableEdges) {
  EXPECT_EQ(SimpleUpperCase(U'z'), U'Z');
  EXPECT_EQ(SimpleUpperCase(U'{'), U'{');
  EXPECT_EQ(SimpleUpperCase(0x00FF), 0x0178u);  // y with diaeresis leaves Latin-1
  EXPECT_EQ(SimpleUpperCase(0x0101), 0x0100u);  // every other code point of a run
  EXPECT_EQ(SimpleUpperCase(0x0100), 0x0100u);
  EXPECT_EQ(SimpleUpperCase(0x1FB3), 0x1FBCu);  // simple mapping where the full one is two
  EXPECT_EQ(SimpleUpperCase(0x00DF), 0x00DFu);
  EXPECT_EQ(SimpleUpperCase(0x1044F), 0x10427u);  // last Deseret small letter
  EXPECT_EQ(SimpleUpperCase(0x1E943), 0x1E921u);  // Adlam, the last run
  EXPECT_EQ(SimpleUpperCase(0x10FFFF), 0x10FFFFu);
}

}  // namespace
}  // namespace velmora
