// The options dialog and the About box, driven through the entry point by
// scripts of the dialog layer: what the dialogs show, what they answer, what
// they write to imp_bvh.ini and which messages and help they bring up.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "support/plugin_calls.h"
#include "support/scratch.h"
#include "varnex/host.h"
#include "varnex/ui.h"

namespace {

using vxui::Click;
using vxui::Keys;
using vxui::SetText;
using vxui::Snapshot;

constexpr int kOk = 1, kCancel = 2, kTranslation = 100, kDistance = 101, kRotation = 102, kAngular = 103,
              kDistanceLabel = 104, kAngularLabel = 105, kHelp = 200, kAbout = 201;

std::string OptionsFile(const char* distance, const char* angular, int translation, int rotation) {
  std::ostringstream out;
  out << "# Default options for the Biovision/Acclaim import converter.\n"
      << "# !! Do not modify this file. It is written by the converter.\n"
      << "[Preferences]\n"
      << "distance_threshold2 = " << distance << "\n"
      << "angular_threshold2 = " << angular << "\n"
      << "ena_trans_kf_reduction = " << translation << "\n"
      << "ena_rot_kf_reduction = " << rotation << "\n";
  return out.str();
}

std::string QuoteForLog(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vxui::ResetUi();
    vxhost::ResetHost();
  }
  void TearDown() override { vxui::ResetUi(); }

  // Starts the plug-in on a settings directory holding these options.
  void StartWith(const std::string& optionsText) {
    scratch_.Write("imp_bvh.ini", optionsText);
    Start(settingsText_);
  }
  void Start(const std::string& settingsDirectory) {
    startedWith_ = settingsDirectory;
    vxtest::CallPlugin({{"parent_hWnd", vxui::MainWindow()}, {"initialize", vxtest::Text(startedWith_)}});
  }

  int32_t Options(std::vector<vxui::Action> script) {
    vxui::SetScript(std::move(script));
    return vxtest::CallPlugin({{"show_options_dialog", nullptr}}, 0);
  }

  std::string IniText() const { return vxtest::ReadFile(scratch_.Path("imp_bvh.ini")); }
  const vxui::DialogView& Shot(size_t i) const { return vxui::Snapshots().at(i); }

  // The events of one kind ("message", "help", "open", ...), in order.
  static std::vector<std::string> EventsStartingWith(const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& e : vxui::Events())
      if (e.rfind(prefix, 0) == 0) found.push_back(e);
    return found;
  }

  vxtest::ScratchDir scratch_;
  const std::string settingsText_ = scratch_.Dir();
  std::string startedWith_;
};

// The boxes as ticked, each enabling its field and the field's label.
void ExpectReductions(const vxui::DialogView& view, bool translation, bool rotation) {
  EXPECT_EQ(view.Control(kTranslation)->checked, translation);
  EXPECT_EQ(view.Control(kDistance)->enabled, translation);
  EXPECT_EQ(view.Control(kDistanceLabel)->enabled, translation);
  EXPECT_EQ(view.Control(kRotation)->checked, rotation);
  EXPECT_EQ(view.Control(kAngular)->enabled, rotation);
  EXPECT_EQ(view.Control(kAngularLabel)->enabled, rotation);
}

// -- What the options dialog shows when it opens

TEST_F(DialogTest, OpensWithTheOptionsAndEnablesTheFieldsOfReductionsThatAreOn) {
  struct Case {
    int translation, rotation;
    const char *distance, *angular;
  };
  for (const Case& c : {Case{0, 0, "0.01", "0.01"}, Case{1, 0, "0.5", "2"}, Case{0, 1, "1.25", "30"},
                        Case{-1, 1, "1e-05", "180"}}) {
    SCOPED_TRACE(std::string("translation ") + std::to_string(c.translation) + " rotation " + std::to_string(c.rotation));
    vxui::ResetUi();
    StartWith(OptionsFile(c.distance, c.angular, c.translation, c.rotation));
    EXPECT_EQ(Options({Snapshot(), Click(kTranslation), Snapshot(), Click(kRotation), Snapshot(), Click(kCancel)}), 0);
    // Ticking a box enables its field and the field's label together.
    ExpectReductions(Shot(1), c.translation == 0, c.rotation != 0);
    ExpectReductions(Shot(2), c.translation == 0, c.rotation == 0);
    const vxui::DialogView& view = Shot(0);
    EXPECT_EQ(view.owner, "main");
    EXPECT_TRUE(view.centered);
    ExpectReductions(view, c.translation != 0, c.rotation != 0);
    EXPECT_EQ(view.Control(kDistance)->text, c.distance);
    EXPECT_EQ(view.Control(kAngular)->text, c.angular);
    EXPECT_EQ(view.focusId, kTranslation);
    EXPECT_EQ(EventsStartingWith("center"), std::vector<std::string>{"center OptionsDialog on main"});
  }
}

// -- Leaving the options dialog

TEST_F(DialogTest, CallsTheHostsDialogHelpersInOrder) {
  StartWith(OptionsFile("0.5", "2", 1, 0));
  vxhost::ClearCallLog();
  vxhost::SetCallLogEnabled(true);
  EXPECT_EQ(Options({Click(kHelp), Click(kOk)}), 1);
  vxhost::SetCallLogEnabled(false);
  const std::string ini = QuoteForLog(settingsText_ + "imp_bvh.ini");
  const std::vector<std::string> expected = {
      "Import_IO_Center_Window(main, OptionsDialog)",
      "Import_IO_SdFloat_To_Dialog(OptionsDialog, 101, 0.5)",
      "Import_IO_SdFloat_To_Dialog(OptionsDialog, 103, 2)",
      "Import_IO_Set_Control_Enable(OptionsDialog, 101, 1)",
      "Import_IO_Set_Control_Enable(OptionsDialog, 104, 1)",
      "Import_IO_Set_Control_Enable(OptionsDialog, 103, 0)",
      "Import_IO_Set_Control_Enable(OptionsDialog, 105, 0)",
      "Import_IO_DisplayHelpTopic(OptionsDialog, " + QuoteForLog(settingsText_) + ", \"imp_bvh.hlp\", \"main\")",
      "Import_IO_Dialog_To_SdFloat(OptionsDialog, 101, &0.5)",
      "Import_IO_Dialog_To_SdFloat(OptionsDialog, 103, &2)",
      "Sg_Convert_Pathname(" + ini + ")",
  };
  EXPECT_EQ(vxhost::CallLog(), expected);
  EXPECT_TRUE(vxhost::HostErrors().empty());
}

TEST_F(DialogTest, CancelOrEscapeAnswersZeroKeepsToggledFlagsAndLeavesTheFileAlone) {
  const std::string before = OptionsFile("0.5", "4", 0, 1);
  StartWith(before);
  EXPECT_EQ(Options({SetText(kDistance, "9"), Click(kTranslation), Click(kRotation), Click(kCancel)}), 0);
  EXPECT_EQ(IniText(), before);

  // The flags changed in memory at once; the typed threshold was never taken.
  // Escape cancels too; a script that runs out ends the dialog with -1.
  vxui::ResetUi();
  EXPECT_EQ(Options({Snapshot(), Keys(vxui::kEscape)}), 0);
  EXPECT_TRUE(Shot(0).Control(kTranslation)->checked);
  EXPECT_FALSE(Shot(0).Control(kRotation)->checked);
  EXPECT_EQ(Shot(0).Control(kDistance)->text, "0.5");
  EXPECT_EQ(Options({Click(kTranslation)}), -1);
  EXPECT_EQ(vxui::Events().back(), "end OptionsDialog -1");
}

// One message at a time; a distance that passes is taken even when the
// angular threshold is then refused and the dialog cancelled.
TEST_F(DialogTest, RefusesThresholdsNotAboveZeroOneMessageAtATime) {
  StartWith(OptionsFile("0.01", "0.01", 1, 1));
  const std::string distanceMessage =
      "message \"Error\" \"The 'distance threshold' value must be greater than 0.\" owner=OptionsDialog";
  const std::string angularMessage =
      "message \"Error\" \"The 'angular threshold' value must be greater than 0.\" owner=OptionsDialog";
  EXPECT_EQ(Options({SetText(kDistance, "0"), SetText(kAngular, "0"), Click(kOk), Snapshot(),
                     SetText(kDistance, "0.25"), SetText(kAngular, "-2"), Click(kOk), Snapshot(), Click(kCancel)}),
            0);
  EXPECT_EQ(EventsStartingWith("message"), (std::vector<std::string>{distanceMessage, angularMessage}));
  EXPECT_EQ(Shot(0).focusId, kDistance);
  EXPECT_EQ(Shot(1).focusId, kAngular);
  EXPECT_EQ(IniText(), OptionsFile("0.01", "0.01", 1, 1));
  vxui::ResetUi();
  EXPECT_EQ(Options({Snapshot(), SetText(kAngular, "1"), Click(kOk)}), 1);
  EXPECT_EQ(Shot(0).Control(kDistance)->text, "0.25");
  EXPECT_EQ(Shot(0).Control(kAngular)->text, "0.01");
  EXPECT_EQ(IniText(), OptionsFile("0.25", "1", 1, 1));
}

TEST_F(DialogTest, RefusesEveryDistanceThatIsNotAPositiveNumberEvenWhenItsFieldIsOff) {
  for (const char* text : {"0", "-1", "", "abc", "-0.0001", "0.0"}) {
    SCOPED_TRACE(std::string("distance '") + text + "'");
    vxui::ResetUi();
    const std::string before = OptionsFile("0.01", "0.01", 0, 0);
    StartWith(before);
    EXPECT_EQ(Options({SetText(kDistance, text), Click(kOk), Snapshot(), Click(kCancel)}), 0);
    EXPECT_EQ(EventsStartingWith("message").size(), 1u);
    EXPECT_EQ(Shot(0).focusId, kOk) << "a disabled field cannot take the focus";
    EXPECT_EQ(IniText(), before);
  }
}

TEST_F(DialogTest, AnUnwritableSettingsDirectoryIsReportedAndTheDialogStillEndsWithOne) {
  Start("/nonexistent/varnex/settings/");
  vxhost::SetCallLogEnabled(true);
  EXPECT_EQ(Options({SetText(kDistance, "0.5"), SetText(kAngular, "0.5"), Click(kOk)}), 1);
  const std::string report =
      "Sg_Report_Error(4, \"OUTERR_FILE_OPEN_WRITE\", \"SaveImportConvertOptions_BVH()\", \"Biovision/Acclaim .INI\", "
      "\"/nonexistent/varnex/settings/imp_bvh.ini\")";
  int reports = 0;
  for (const std::string& line : vxhost::CallLog()) reports += line == report;
  EXPECT_EQ(reports, 1);
  vxhost::SetCallLogEnabled(false);
  EXPECT_TRUE(vxhost::HostErrors().empty());

  // The new values stay in memory.
  vxui::ResetUi();
  Options({Snapshot(), Click(kCancel)});
  EXPECT_EQ(Shot(0).Control(kDistance)->text, "0.5");
}

// -- Help and the About box

TEST_F(DialogTest, HelpFromEitherDialogShowsTopicMainOfTheHelpFile) {
  StartWith(OptionsFile("0.01", "0.01", 0, 0));
  Options({Click(kHelp), Click(kAbout), Click(kHelp), Click(kOk), Click(kCancel)});
  EXPECT_EQ(EventsStartingWith("help"), (std::vector<std::string>{"help imp_bvh.hlp main owner=OptionsDialog",
                                                                    "help imp_bvh.hlp main owner=AboutBox"}));
  // Found beside the host's libraries: the shipped file; one in the settings directory comes first.
  EXPECT_NE(vxui::HelpText().find("Perform translation keyframe reduction"), std::string::npos);
  scratch_.Write("imp_bvh.hlp", "@topic other\nnot this\n@topic main\nOur own words.\n");
  Options({Click(kHelp), Click(kCancel)});
  EXPECT_EQ(vxui::HelpText(), "Our own words.\n");
}

TEST_F(DialogTest, AboutFromTheOptionsDialogIsOwnedByTheHostWindow) {
  StartWith(OptionsFile("0.01", "0.01", 0, 0));
  EXPECT_EQ(Options({Click(kAbout), Snapshot(), Click(kOk), Snapshot(), Click(kCancel)}), 0);
  EXPECT_EQ(EventsStartingWith("open"), (std::vector<std::string>{"open OptionsDialog owner=main", "open AboutBox owner=main"}));
  EXPECT_EQ(EventsStartingWith("end"), (std::vector<std::string>{"end AboutBox 1", "end OptionsDialog 0"}));
  EXPECT_EQ(Shot(0).name, "AboutBox");
  EXPECT_EQ(Shot(2).name, "OptionsDialog");  // the About box's own end comes between
}

TEST_F(DialogTest, TheAboutBoxLeavesTheResultAlone) {
  StartWith(OptionsFile("0.01", "0.01", 0, 0));
  vxui::SetScript({Snapshot(), Click(kCancel), Click(kHelp), Click(kOk)});
  std::string sample = scratch_.Write("a.asf", "");
  int32_t result = vxtest::CallPlugin({{"validate_header", vxtest::Text(sample)}, {"show_about_dialog", nullptr}});
  EXPECT_EQ(result, 1);
  const vxui::DialogView& view = Shot(0);
  EXPECT_TRUE(view.centered);
  ASSERT_EQ(view.controls.size(), 6u);
  EXPECT_EQ(view.Control(kOk)->kind, "default button");
  // The About box has no Cancel: that command changes nothing.
  EXPECT_EQ(EventsStartingWith("click"), (std::vector<std::string>{"click 2 ignored: no such control", "click 200", "click 1"}));
  EXPECT_EQ(vxui::Events().back(), "end AboutBox 1");
}

// -- The keyboard, as a person in the terminal uses it

TEST_F(DialogTest, KeyboardTicksMovesTypesAndConfirms) {
  StartWith(OptionsFile("0.01", "0.01", 0, 0));
  // Space ticks the focused box; Tab skips disabled fields; a field reached by
  // Tab has its text selected, so typing replaces it; Enter is OK.
  int32_t result = Options({Keys(" "), Keys(vxui::kTab), Snapshot(), Keys("0.75"), Keys(vxui::kTab), Snapshot(),
                            Keys(vxui::kShiftTab), Keys(vxui::kBackspace), Snapshot(), Keys("5"), Keys(vxui::kEnter)});
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Shot(0).focusId, kDistance);
  EXPECT_EQ(Shot(1).focusId, kRotation);  // the angular field is still disabled
  EXPECT_EQ(Shot(2).Control(kDistance)->text, "");
  EXPECT_EQ(IniText(), OptionsFile("5", "0.01", 1, 0));
}

}  // namespace
