#include <string>

#include "base/texts.h"
#include "base/trace.h"
#include "sim_fixture.h"

namespace {

class TraceTest : public SimTest {};

TEST_F(TraceTest, LongTextsAreCutTo510CharactersAndALineFeed) {
  std::string fits(511, 'a');
  TraceLine("%s", fits.c_str());
  std::string tooLong(600, 'b');
  TraceLine("%s", tooLong.c_str());
  TraceLine("StartingOffset:%d", 3072);
  std::vector<std::string> out = SimDebugOutput();
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0], fits);
  EXPECT_EQ(out[1], std::string(510, 'b') + "\n");
  EXPECT_EQ(out[2], "StartingOffset:3072");
}

TEST_F(TraceTest, LastErrorLineCarriesTheLabelTheHexNumberAndTheSystemText) {
  SysSetLastError(kSysErrorSharingViolation);
  TraceLastError("WriteDBR");
  SysSetLastError(0xE0000203);  // no system text: the line ends after the number
  TraceLastError("SetupDiCallClassInstaller");
  std::vector<std::string> out = SimDebugOutput();
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0],
            "WriteDBR:Last Err(20)The process cannot access the file because it is being used by another process.\r\n");
  EXPECT_EQ(out[1], "SetupDiCallClassInstaller:Last Err(e0000203)");
}

TEST(Language, OnlyChinesePrcGivesChinese) {
  EXPECT_EQ(LanguageFromLangId(2052), Language::Chinese);
  EXPECT_EQ(LanguageFromLangId(1033), Language::English);
  EXPECT_EQ(LanguageFromLangId(1028), Language::English);
  TextPair pair{"Plover hint", "提示"};
  UiLanguage = Language::Chinese;
  EXPECT_STREQ(Tr(pair), "提示");
  UiLanguage = Language::English;
  EXPECT_STREQ(Tr(pair), "Plover hint");
}

}  // namespace
