// imp_bvh.ini: what the save writes, what the reader takes from well-formed
// and malformed files, and how initialize finds the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "frame.h"
#include "support/plugin_calls.h"
#include "varnex/host.h"
#include "support/scratch.h"

using namespace vxtest;

namespace {

class OptionsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vxhost::ResetHost();
    importOptions = {};
  }
  void TearDown() override { EXPECT_TRUE(vxhost::HostErrors().empty()); }

  ScratchDir scratch;
};

ImportOptions Options(float distance, float angular, int16_t translation, int16_t rotation) {
  ImportOptions options = {};
  options.distanceThreshold = distance;
  options.angularThreshold = angular;
  options.reduceTranslation = translation;
  options.reduceRotation = rotation;
  return options;
}

void ExpectOptions(const ImportOptions& actual, const ImportOptions& expected) {
  EXPECT_FLOAT_EQ(actual.distanceThreshold, expected.distanceThreshold);
  EXPECT_FLOAT_EQ(actual.angularThreshold, expected.angularThreshold);
  EXPECT_EQ(actual.reduceTranslation, expected.reduceTranslation);
  EXPECT_EQ(actual.reduceRotation, expected.reduceRotation);
}

void LoadFrom(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "r");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(LoadImportConvertOptions_BVH(file), 0);
}

TEST_F(OptionsFileTest, SaveWritesSevenLinesThatReadBackTheSame) {
  importOptions = Options(0.0125f, 2.5f, 1, -1);
  std::string path = scratch.Path("imp_bvh.ini");
  EXPECT_EQ(SaveImportConvertOptions_BVH(path.data()), 0);
  EXPECT_EQ(ReadFile(path),
            "# Default options for the Biovision/Acclaim import converter.\n"
            "# !! Do not modify this file. It is written by the converter.\n"
            "[Preferences]\n"
            "distance_threshold2 = 0.0125\n"
            "angular_threshold2 = 2.5\n"
            "ena_trans_kf_reduction = 1\n"
            "ena_rot_kf_reduction = -1\n");
  importOptions = {};
  LoadFrom(path);
  ExpectOptions(importOptions, Options(0.0125f, 2.5f, 1, -1));

  importOptions = Options(1.0f / 3.0f, 123456789.0f, 0, 0);
  SaveImportConvertOptions_BVH(path.data());
  importOptions = Options(9, 9, 9, 9);
  LoadFrom(path);
  ExpectOptions(importOptions, Options(0.333333f, 1.23457e8f, 0, 0));
}

TEST_F(OptionsFileTest, ReaderFollowsItsLineRules) {
  const ImportOptions before = Options(7, 8, 3, 4);
  std::string longKey(128, 'k');
  std::string longValue = "0." + std::string(140, '5');
  std::string longLine = std::string(2100, 'x') + "distance_threshold2 = 5\n";
  std::string entry = "distance_threshold2 = 0.5";
  auto padded = [&](size_t length) { return entry + std::string(length - entry.size(), ' '); };
  static const char kNulLine[] = "\0\0=\x80 zz\n";
  struct Case {
    const char* name;
    std::string contents;
    ImportOptions expected;
  };
  const Case cases[] = {
      {"all four", "distance_threshold2 = 0.5\nangular_threshold2 = 1.5\nena_trans_kf_reduction = 1\nena_rot_kf_reduction = 1\n",
       Options(0.5f, 1.5f, 1, 1)},
      {"blanks around key, = and value", "  \tdistance_threshold2   =   0.5  \t\n", Options(0.5f, 8, 3, 4)},
      {"CRLF lines", "[Preferences]\r\ndistance_threshold2 = 0.5\r\nena_rot_kf_reduction = 0\r\n", Options(0.5f, 8, 3, 0)},
      {"no final line feed", "angular_threshold2 = 2", Options(7, 2, 3, 4)},
      {"comments and sections anywhere", "# a\n[x]\ndistance_threshold2=1\n# b\n[Other]\nangular_threshold2=2\n#c",
       Options(1, 2, 3, 4)},
      {"blank and one-character lines", "\n\n   \nx\n\ndistance_threshold2=1\n", Options(1, 8, 3, 4)},
      {"unknown keys are skipped", "colour = red\ndistance_threshold = 5\nangular_threshold2 = 6\n", Options(7, 6, 3, 4)},
      {"flag 1.9 is 1", "ena_rot_kf_reduction = 1.9\n", Options(7, 8, 3, 1)},
      {"flag -1 stays -1", "ena_trans_kf_reduction = -1\n", Options(7, 8, -1, 4)},
      {"flag keeps the low 16 bits", "ena_trans_kf_reduction = 65537\n", Options(7, 8, 1, 4)},
      {"flag beyond 32 bits saturates", "ena_trans_kf_reduction = 1e20\nena_rot_kf_reduction = nan\n",
       Options(7, 8, -1, 0)},
      {"not a number is 0", "distance_threshold2 = abc\n", Options(0, 8, 3, 4)},
      {"missing = ends the reading", "distance_threshold2 = 1\nangular_threshold2 2\nena_rot_kf_reduction = 1\n",
       Options(1, 8, 3, 4)},
      {"nothing after = ends the reading", "angular_threshold2 =\ndistance_threshold2 = 1\n", Options(7, 8, 3, 4)},
      {"blank value ends the reading", "angular_threshold2 =   \t\ndistance_threshold2 = 1\n", Options(7, 8, 3, 4)},
      {"empty key ends the reading", "  = 3\ndistance_threshold2 = 1\n", Options(7, 8, 3, 4)},
      {"leading = are passed over", "==distance_threshold2=0.25=9\n", Options(0.25f, 8, 3, 4)},
      {"key over 127 characters is skipped", longKey + " = 1\ndistance_threshold2 = 2\n", Options(2, 8, 3, 4)},
      {"value over 127 characters is skipped", "distance_threshold2 = " + longValue + "\nangular_threshold2 = 3\n",
       Options(7, 3, 3, 4)},
      {"a line over 2047 characters reads as several", longLine + "angular_threshold2 = 3\n", Options(7, 8, 3, 4)},
      {"the tail of a long comment is a line", "#" + std::string(2046, 'x') + "angular_threshold2 = 3\n",
       Options(7, 3, 3, 4)},
      {"an entry of 2047 characters", padded(2047) + "\nangular_threshold2 = 3\n", Options(0.5f, 3, 3, 4)},
      {"an entry of 2046 characters and CRLF", padded(2046) + "\r\nangular_threshold2 = 3\r\n",
       Options(0.5f, 3, 3, 4)},
      {"an entry before a long run of blanks", padded(5000) + "\nangular_threshold2 = 3\n", Options(0.5f, 3, 3, 4)},
      {"NUL bytes hide the rest of their line", std::string(kNulLine, sizeof kNulLine - 1) + "distance_threshold2 = 2\n",
       Options(2, 8, 3, 4)},
      {"binary junk ends the reading", "distance_threshold2 = 2\n\x01\x02\xff\xfe\x80\nangular_threshold2 = 3\n",
       Options(2, 8, 3, 4)},
      {"empty file", "", before},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    importOptions = before;
    LoadFrom(scratch.Write("imp_bvh.ini", c.contents));
    ExpectOptions(importOptions, c.expected);
  }
}

TEST_F(OptionsFileTest, InitializeReadsTheFileInTheSettingsDirectory) {
  // Without a file the defaults stand, silently.
  CallPlugin({{"initialize", Text(scratch.Dir())}});
  ExpectOptions(importOptions, Options(0.01f, 0.01f, 0, 0));

  scratch.Write("imp_bvh.ini", "distance_threshold2 = 0.5\nena_rot_kf_reduction = 1\n");
  CallPlugin({{"initialize", Text(scratch.Dir())}});
  ExpectOptions(importOptions, Options(0.5f, 0.01f, 0, 1));

  // A second initialize reads the file again but does not restore defaults.
  scratch.Write("imp_bvh.ini", "angular_threshold2 = 4\n");
  CallPlugin({{"initialize", Text(scratch.Dir())}});
  ExpectOptions(importOptions, Options(0.5f, 4, 0, 1));
  EXPECT_TRUE(vxhost::Messages().empty());
}

TEST_F(OptionsFileTest, InitializeWithNullAppliesDefaultsAndReadsNothing) {
  scratch.Write("imp_bvh.ini", "distance_threshold2 = 0.5\n");
  WorkingDirectory here(scratch.Dir());
  CallPlugin({{"initialize", nullptr}});
  ExpectOptions(importOptions, Options(0.01f, 0.01f, 0, 0));
  EXPECT_TRUE(vxhost::Messages().empty());

  char path[kOptionsPathSize];
  EXPECT_EQ(BuildOptionsFilePath(path, 1), 0);
  EXPECT_EQ(vxhost::AllMessageText(), "Warning: The host gave no settings directory; imp_bvh.ini is not written.\n");
}

TEST_F(OptionsFileTest, SettingsDirectoryTooLongForThePathIsNotRead) {
  std::string fits(kOptionsPathSize - 1 - std::strlen(kOptionsFileName), 'd');
  std::string tooLong = fits + "d";
  char path[kOptionsPathSize];

  CallPlugin({{"initialize", Text(fits)}});
  EXPECT_TRUE(vxhost::Messages().empty());
  EXPECT_EQ(BuildOptionsFilePath(path, 0), 1);
  EXPECT_EQ(std::string(path), fits + "imp_bvh.ini");

  CallPlugin({{"initialize", Text(tooLong)}});
  EXPECT_EQ(vxhost::AllMessageText(),
            "Warning: The settings directory is too long for the options file path; imp_bvh.ini is not read.\n");
  vxhost::ClearMessages();
  EXPECT_EQ(BuildOptionsFilePath(path, 1), 0);
  EXPECT_EQ(vxhost::AllMessageText(),
            "Warning: The settings directory is too long for the options file path; imp_bvh.ini is not written.\n");
  ExpectOptions(importOptions, Options(0.01f, 0.01f, 0, 0));
}

}  // namespace
