// The BVH import flow's conversation with the host: abort polls with their
// progress figures, a user abort at any poll and a fatal host message at any
// call, each ending the import cleanly so that the next one is the same.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "bvh_import_support.h"

namespace {

using bvhtest::ImportText;
using Lines = std::vector<std::string>;

// A chain of five joints with three channels each, an End Site, and frames.
std::string ChainFile(int frames) {
  std::string text = "HIERARCHY\nROOT J0\n{\n  OFFSET 0 0 0\n  CHANNELS 3 Zrotation Xrotation Yrotation\n";
  for (int j = 1; j < 5; ++j) {
    text += "JOINT J" + std::to_string(j) + " { OFFSET 0 1 0 CHANNELS 3 Zrotation Xrotation Yrotation\n";
  }
  text += "End Site { OFFSET 0 1 0 }\n} } } } }\nMOTION\nFrames: " + std::to_string(frames) +
          "\nFrame Time: 0.033333\n";
  for (int f = 0; f < frames; ++f) {
    for (int v = 0; v < 15; ++v) text += std::to_string(f * 0.5 + v) + (v == 14 ? "\n" : " ");
  }
  return text;
}

// The bracket's closing calls after a jump are the driver's affair; every
// other call of an interrupted import must still be well formed.
void ExpectNoHostErrorsOfTheImport() {
  for (const auto& error : vxhost::HostErrors()) {
    if (error.find("Import_IO_Cleanup()") == std::string::npos) ADD_FAILURE() << error;
  }
}

std::string PollLine(int64_t done, int64_t total) {
  return "Import_IO_Check_For_Abort({40, " + std::to_string(done) + ", " + std::to_string(total) + ", 0, 0})";
}

TEST(BvhFlow, PollsEveryFortyTokensAndEveryFourthNode) {
  const std::string text = ChainFile(7);
  auto outcome = ImportText(text);
  ASSERT_EQ(outcome.result, 0);
  const int64_t size = static_cast<int64_t>(text.size());

  Lines expected;
  std::istringstream tokens(text);
  std::string token;
  int64_t count = 0;
  int64_t characters = 0;
  while (tokens >> token) {
    characters += static_cast<int64_t>(token.size());
    if (++count % 40 == 0) expected.push_back(PollLine(characters, 2 * size));
  }
  // Six nodes: one poll, after the fourth, with twelve channels done.
  float step = static_cast<float>(size / 15);
  expected.push_back(PollLine(static_cast<int64_t>(12.0f * step + static_cast<float>(size)), 2 * size));
  EXPECT_EQ(bvhtest::LogLinesStartingWith(outcome.log, "Import_IO_Check_For_Abort"), expected);
}

TEST(BvhFlow, FewTokensAndFewNodesAreNeverPolled) {
  // 39 tokens, three nodes.
  auto outcome = ImportText(
      "HIERARCHY ROOT A { OFFSET 0 0 0 CHANNELS 1 Xposition JOINT B { OFFSET 0 1 0 End Site { OFFSET 0 1 0 } } } "
      "MOTION Frames: 4 Frame Time: 0.1 1 2 3 4 5");
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(vxhost::GetCounters().abortPolls, 0);
  ImportText(
      "HIERARCHY ROOT A { OFFSET 0 0 0 CHANNELS 1 Xposition JOINT B { OFFSET 0 1 0 End Site { OFFSET 0 1 0 } } } "
      "MOTION Frames: 4 Frame Time: 0.1 1 2 3 4 5 6");
  EXPECT_EQ(vxhost::GetCounters().abortPolls, 1);
}

// The reference import; every interrupted one must leave the host able to
// run it again with the very same calls.
struct Reference {
  std::string text;
  Lines log;
  int64_t polls;
  int64_t hostCalls;
};

Reference MakeReference() {
  Reference reference;
  reference.text = ChainFile(3);
  auto outcome = ImportText(reference.text);
  EXPECT_EQ(outcome.result, 0);
  reference.log = outcome.log;
  reference.polls = vxhost::GetCounters().abortPolls;
  reference.hostCalls = vxhost::GetCounters().hostCalls;
  return reference;
}

TEST(BvhFlow, UserAbortAtEveryPoll) {
  const Reference reference = MakeReference();
  ASSERT_GE(reference.polls, 3);
  for (int64_t poll = 1; poll <= reference.polls; ++poll) {
    SCOPED_TRACE(poll);
    vxhost::ResetHost();
    vxhost::SetCallLogEnabled(true);
    vxhost::AbortAtPoll(poll);
    EXPECT_EQ(bvhtest::RunImport("walk.bvh"), 1);
    auto counters = vxhost::GetCounters();
    EXPECT_EQ(counters.abortPolls, poll);
    EXPECT_EQ(counters.abortCleanups, 1);
    ExpectNoHostErrorsOfTheImport();
    EXPECT_EQ(ImportText(reference.text).log, reference.log);
  }
}

TEST(BvhFlow, FatalHostMessageAtEveryCall) {
  const Reference reference = MakeReference();
  int failed = 0;
  for (int64_t call = 1; call <= reference.hostCalls; ++call) {
    SCOPED_TRACE(call);
    vxhost::ResetHost();
    vxhost::Kind5AtCall(call);
    int32_t result = bvhtest::RunImport("walk.bvh");
    EXPECT_TRUE(result == 0 || result == 1);
    auto counters = vxhost::GetCounters();
    if (counters.abortCleanups > 0) {
      EXPECT_EQ(result, 1);
      EXPECT_EQ(counters.abortCleanups, 1);
      ++failed;
    }
    ExpectNoHostErrorsOfTheImport();
    ASSERT_EQ(ImportText(reference.text).log, reference.log);
  }
  // Every call between the start of the import and its end can carry the message.
  EXPECT_GT(failed, reference.hostCalls / 2);
}

}  // namespace
