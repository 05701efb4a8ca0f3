// The INI reader as the folder map uses it: section names, then each
// section's lines, as lists of strings ended by an empty string.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Platform.h"
#include "PlatformTestSupport.h"
#include "TestSupport.h"

namespace {

typedef std::vector<std::string> Names;

const uint32_t LIMIT = 32767;  // the folder map's buffer size
const char GUARD = 0x55;

// The strings of a returned list, checked for its layout: count characters
// of null-terminated strings, then the final terminator, nothing written
// beyond size.
Names Strings(const std::vector<char>& buffer, uint32_t count, uint32_t size) {
  Names out;
  EXPECT_LT(count, size);
  size_t at = 0;
  while (at < count) {
    const std::string s(&buffer[at]);
    EXPECT_FALSE(s.empty());
    if (s.empty()) break;
    out.push_back(s);
    at += s.size() + 1;
  }
  EXPECT_EQ(at, count);
  EXPECT_EQ('\0', buffer[count]);
  for (size_t i = size; i < buffer.size(); ++i) EXPECT_EQ(GUARD, buffer[i]) << "byte " << i;
  return out;
}

Names SectionNames(const std::string& path, uint32_t size = LIMIT) {
  std::vector<char> buffer(size + 16, GUARD);
  const uint32_t count = PlatReadIniSectionNames(path.c_str(), buffer.data(), size);
  return Strings(buffer, count, size);
}

Names SectionLines(const std::string& path, const std::string& section, uint32_t size = LIMIT) {
  std::vector<char> buffer(size + 16, GUARD);
  const uint32_t count = PlatReadIniSection(path.c_str(), section.c_str(), buffer.data(), size);
  return Strings(buffer, count, size);
}

class PlatIni : public ::testing::Test {
 protected:
  std::string Ini(const std::string& text) {
    const std::string path = dir.Path("OskeltZTEX.ini");
    EXPECT_TRUE(WriteText(path, text));
    return path;
  }
  TempDir dir;
};

TEST_F(PlatIni, SectionsAndLinesComeInFileOrder) {
  const std::string ini = Ini("[Walls]\nstone.tga\nbrick.tga\n[Armor]\nhelm.tga\n[Floors]\nwood.tga\n");
  EXPECT_EQ((Names{"Walls", "Armor", "Floors"}), SectionNames(ini));
  EXPECT_EQ((Names{"stone.tga", "brick.tga"}), SectionLines(ini, "Walls"));
  EXPECT_EQ((Names{"helm.tga"}), SectionLines(ini, "Armor"));
  EXPECT_EQ((Names{"wood.tga"}), SectionLines(ini, "Floors"));
}

TEST_F(PlatIni, SectionNamesMatchWithoutRegardToLetterCase) {
  const std::string ini = Ini("[Walls]\nstone.tga\n");
  EXPECT_EQ((Names{"stone.tga"}), SectionLines(ini, "WALLS"));
  EXPECT_EQ((Names{"stone.tga"}), SectionLines(ini, "walls"));
}

TEST_F(PlatIni, BlankLinesAndSurroundingBlanksAreDropped) {
  const std::string ini = Ini("\n[Walls]\n\n   \n  stone.tga  \n\tbrick.tga\t\n\n[Armor]\n");
  EXPECT_EQ((Names{"Walls", "Armor"}), SectionNames(ini));
  EXPECT_EQ((Names{"stone.tga", "brick.tga"}), SectionLines(ini, "Walls"));
}

TEST_F(PlatIni, ASectionWithoutLinesIsListedButEmpty) {
  const std::string ini = Ini("[Empty]\n[Full]\na.tga\n");
  EXPECT_EQ((Names{"Empty", "Full"}), SectionNames(ini));
  std::vector<char> buffer(16, GUARD);
  EXPECT_EQ(0u, PlatReadIniSection(ini.c_str(), "Empty", buffer.data(), 16));
  EXPECT_EQ('\0', buffer[0]);
}

TEST_F(PlatIni, CarriageReturnLineFeedEndsALine) {
  const std::string ini = Ini("[Walls]\r\nstone.tga\r\nbrick.tga\r\n\r\n[Armor]\r\nhelm.tga\r\n");
  EXPECT_EQ((Names{"Walls", "Armor"}), SectionNames(ini));
  EXPECT_EQ((Names{"stone.tga", "brick.tga"}), SectionLines(ini, "Walls"));
  EXPECT_EQ((Names{"helm.tga"}), SectionLines(ini, "armor"));
}

TEST_F(PlatIni, AMissingFileGivesNothing) {
  std::vector<char> buffer(16, GUARD);
  const std::string missing = dir.Path("none.ini");
  EXPECT_EQ(0u, PlatReadIniSectionNames(missing.c_str(), buffer.data(), 16));
  EXPECT_EQ('\0', buffer[0]);
  EXPECT_EQ(0u, PlatReadIniSection(missing.c_str(), "Walls", buffer.data(), 16));
  EXPECT_EQ('\0', buffer[0]);
}

TEST_F(PlatIni, AFileWithoutSectionsGivesNoNames) {
  const std::string ini = Ini("stone.tga\nbrick.tga\n");
  std::vector<char> buffer(16, GUARD);
  EXPECT_EQ(0u, PlatReadIniSectionNames(ini.c_str(), buffer.data(), 16));
  EXPECT_EQ('\0', buffer[0]);
  const std::string empty = Ini("");
  EXPECT_EQ(0u, PlatReadIniSectionNames(empty.c_str(), buffer.data(), 16));
}

TEST_F(PlatIni, EightBitTextPassesUnchanged) {
  const std::string ini = Ini("[R\xC3\xBCstung]\nHelm-\xC3\xA4\xC3\xB6.tga\nLatin1-\xE9.tga\n");
  EXPECT_EQ((Names{"R\xC3\xBCstung"}), SectionNames(ini));
  EXPECT_EQ((Names{"Helm-\xC3\xA4\xC3\xB6.tga", "Latin1-\xE9.tga"}), SectionLines(ini, "R\xC3\xBCstung"));
}

TEST_F(PlatIni, ABackslashInASectionNameStays) {
  const std::string ini = Ini("[worlds\\stone]\nrock.tga\n");
  EXPECT_EQ((Names{"worlds\\stone"}), SectionNames(ini));
  EXPECT_EQ((Names{"rock.tga"}), SectionLines(ini, "worlds\\stone"));
}

// A list that does not fit whole with its final terminator: its first
// size - 2 characters and two terminators, result size - 2, for every size
// from the smallest up to the one where the whole list, with its final
// terminator, leaves a byte to spare and gives that result too.
TEST_F(PlatIni, AListThatDoesNotFitIsCutAtSizeMinusTwoAndEnded) {
  const std::string ini = Ini("[Walls]\nstone.tga\nbrick.tga\n[Armor]\nhelm.tga\n[Floors]\nwood.tga\n");
  const std::string names("Walls\0Armor\0Floors\0", 19);
  const std::string lines("stone.tga\0brick.tga\0", 20);
  for (const std::string* list : {&names, &lines}) {
    const uint32_t whole = static_cast<uint32_t>(list->size()) + 2;
    for (uint32_t size = 2; size <= whole; ++size) {
      SCOPED_TRACE((list == &names ? "names, size " : "lines, size ") + std::to_string(size));
      std::vector<char> buffer(size + 8, GUARD);
      const uint32_t count =
          list == &names ? PlatReadIniSectionNames(ini.c_str(), buffer.data(), size)
                         : PlatReadIniSection(ini.c_str(), "Walls", buffer.data(), size);
      EXPECT_EQ(size - 2, count);
      EXPECT_EQ(list->substr(0, size - 2), std::string(buffer.data(), size - 2));
      EXPECT_EQ('\0', buffer[size - 2]);
      if (size < whole) {
        EXPECT_EQ('\0', buffer[size - 1]);
      }
      for (size_t i = size; i < buffer.size(); ++i) EXPECT_EQ(GUARD, buffer[i]) << "byte " << i;
    }
  }
}

// Names and lines over the folder map's first buffer of 32,767 bytes: cut
// there, whole in a buffer large enough.
TEST_F(PlatIni, ListsLongerThanTheFirstBufferAreWholeInALargerOne) {
  std::string text, names, lines;
  for (int i = 0; i < 4000; ++i) {
    const std::string name = "Section" + std::to_string(10000 + i);  // 12 + 1 each
    text += "[" + name + "]\n";
    names += name + '\0';
  }
  text += "[Lines]\n";
  names += std::string("Lines\0", 6);
  for (int i = 0; i < 4000; ++i) {
    const std::string line = "texture" + std::to_string(100000 + i) + ".tga";  // 17 + 1 each
    text += line + "\n";
    lines += line + '\0';
  }
  const std::string ini = Ini(text);
  std::vector<char> buffer(LIMIT);
  EXPECT_EQ(LIMIT - 2, PlatReadIniSectionNames(ini.c_str(), buffer.data(), LIMIT));
  EXPECT_EQ(names.substr(0, LIMIT - 2), std::string(buffer.data(), LIMIT - 2));
  EXPECT_EQ(LIMIT - 2, PlatReadIniSection(ini.c_str(), "lines", buffer.data(), LIMIT));
  EXPECT_EQ(lines.substr(0, LIMIT - 2), std::string(buffer.data(), LIMIT - 2));

  const uint32_t large = 4 * LIMIT;
  ASSERT_GT(large, names.size() + 2);
  ASSERT_GT(large, lines.size() + 2);
  buffer.assign(large, GUARD);
  EXPECT_EQ(names.size(), PlatReadIniSectionNames(ini.c_str(), buffer.data(), large));
  EXPECT_EQ(names + '\0', std::string(buffer.data(), names.size() + 1));
  EXPECT_EQ(lines.size(), PlatReadIniSection(ini.c_str(), "Lines", buffer.data(), large));
  EXPECT_EQ(lines + '\0', std::string(buffer.data(), lines.size() + 1));
}

#if !defined(_WIN32)
// The Win32 profile reader settles these details its own way.

TEST_F(PlatIni, LinesWithAnEqualsSignStayWhole) {
  const std::string ini = Ini("[Maps]\nkey=value.tga\n a = b \n=lead.tga\n");
  EXPECT_EQ((Names{"key=value.tga", "a = b", "=lead.tga"}), SectionLines(ini, "Maps"));
}

TEST_F(PlatIni, CommentLinesAreSkipped) {
  const std::string ini = Ini("; map\n[Walls]\n; not a file\nstone.tga\n  ;indented\nbrick.tga;kept\n");
  EXPECT_EQ((Names{"stone.tga", "brick.tga;kept"}), SectionLines(ini, "Walls"));
}

TEST_F(PlatIni, RepeatedSectionsInOtherCaseAreOne) {
  const std::string ini = Ini("[Walls]\nstone.tga\n[Armor]\nhelm.tga\n[WALLS]\nbrick.tga\n[walls]\nslate.tga\n");
  EXPECT_EQ((Names{"Walls", "Armor"}), SectionNames(ini));
  EXPECT_EQ((Names{"stone.tga", "brick.tga", "slate.tga"}), SectionLines(ini, "walls"));
}

TEST_F(PlatIni, LinesBeforeTheFirstSectionBelongToNone) {
  const std::string ini = Ini("orphan.tga\nother.tga\n[Walls]\nstone.tga\n");
  EXPECT_EQ((Names{"Walls"}), SectionNames(ini));
  EXPECT_EQ((Names{"stone.tga"}), SectionLines(ini, "Walls"));
}

TEST_F(PlatIni, HeaderNamesRunToTheFirstClosingBracket) {
  const std::string ini = Ini("[ Walls ] ; trailing\nstone.tga\n  [Armor]]\nhelm.tga\n[]\nlost.tga\n[Open\nopen.tga\n");
  EXPECT_EQ((Names{"Walls", "Armor", "Open"}), SectionNames(ini));
  EXPECT_EQ((Names{"helm.tga"}), SectionLines(ini, "Armor"));
  EXPECT_EQ((Names{"open.tga"}), SectionLines(ini, "Open"));
}

TEST_F(PlatIni, LoneCarriageReturnsAndAByteOrderMark) {
  const std::string ini = Ini("\xEF\xBB\xBF[Walls]\rstone.tga\rbrick.tga");
  EXPECT_EQ((Names{"Walls"}), SectionNames(ini));
  EXPECT_EQ((Names{"stone.tga", "brick.tga"}), SectionLines(ini, "Walls"));
}

TEST_F(PlatIni, TheFileIsFoundWithoutRegardToLetterCase) {
  Ini("[Walls]\nstone.tga\n");
  EXPECT_EQ((Names{"Walls"}), SectionNames(dir.root + "\\oskeltztex.INI"));
}
#endif

}  // namespace
