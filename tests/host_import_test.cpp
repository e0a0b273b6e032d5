// The import I/O side of the host: the import bracket, the injected abort and
// fatal message, the message channels and catalogue, and the call log.
#include <csetjmp>
#include <string>
#include <vector>

#include "host_test_support.h"

namespace {

// A fake import: a callback that records the message and jumps back like the
// plug-in's import trap.
std::jmp_buf trap;
std::vector<std::string> delivered;
void JumpingCallback(ImportIoMessage* message) {
  delivered.push_back(std::to_string(message->kind) + ":" + message->text);
  if (message->kind == 5) std::longjmp(trap, 1);
}

// Runs `calls` host calls inside a bracket; answers the number of calls made
// before the callback jumped, or -1 when it never did.
int RunFakeImport(int calls) {
  delivered.clear();
  static volatile int made;
  made = 0;
  if (setjmp(trap) != 0) {
    Import_IO_Abort_Cleanup();
    Import_IO_Cleanup();
    return made;
  }
  Import_IO_Initialize("walk.bvh", JumpingCallback);
  for (; made < calls;) {
    made = made + 1;
    Import_IO_Display_Info_Text("Reading Biovision Data");
  }
  Import_IO_Cleanup();
  return -1;
}

// A call that cannot allocate ends the import as a kind-5 message does, once,
// with a message naming the call instead of a host error per call.
TEST_F(HostTest, Kind5MessageArrivesAfterTheNthCall) {
  const std::string injected = "5:Host: fatal message injected for testing.\n";
  const std::string outOfMemory = "5:Host: out of memory in Import_IO_Display_Info_Text(); the import ends.\n";
  const struct {
    bool failAllocation;
    int64_t at;
    int jumpsAfter;  // host calls of the loop made when the jump comes; -1: none
  } cases[] = {{false, 0, -1}, {false, 1, 0}, {false, 2, 1}, {false, 5, 4},
               {false, 12, -1} /* the Cleanup itself: nobody listens */,
               {true, 0, -1},  {true, 2, 1},   {true, 5, 4},   {true, 11, 10}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.failAllocation ? "allocation fails" : "kind 5") + " at " + std::to_string(c.at));
    vxhost::ResetHost();
    if (c.failAllocation) vxhost::FailAllocationAtCall(c.at);
    else vxhost::Kind5AtCall(c.at);
    EXPECT_EQ(RunFakeImport(10), c.jumpsAfter);
    const vxhost::Counters counters = vxhost::GetCounters();
    EXPECT_EQ(counters.initializes, 1);
    EXPECT_EQ(counters.cleanups, 1);
    EXPECT_EQ(counters.abortCleanups, c.jumpsAfter >= 0 ? 1 : 0);
    if (c.jumpsAfter >= 0) {
      EXPECT_EQ(delivered, (std::vector<std::string>{c.failAllocation ? outOfMemory : injected}));
    } else {
      EXPECT_TRUE(delivered.empty());
    }
    EXPECT_EQ(vxhost::RanOutOfMemory(), c.failAllocation && c.jumpsAfter >= 0);
    EXPECT_TRUE(vxhost::HostErrors().empty());
  }
  // Counting goes on across imports; the message comes once.
  vxhost::ResetHost();
  vxhost::Kind5AtCall(13);
  EXPECT_EQ(RunFakeImport(10), -1);
  EXPECT_EQ(RunFakeImport(10), 0) << "delivered right after the next Import_IO_Initialize";
  EXPECT_EQ(RunFakeImport(10), -1);
  EXPECT_TRUE(vxhost::HostErrors().empty());
  // Outside an import there is nothing to end: a host error says it.
  vxhost::ResetHost();
  vxhost::FailAllocationAtCall(1);
  Import_IO_Display_Info_Text("Reading Biovision Data");
  EXPECT_EQ(vxhost::HostErrors(),
            (std::vector<std::string>{"Host error: Import_IO_Display_Info_Text(): out of memory.\n"}));
  EXPECT_TRUE(vxhost::RanOutOfMemory());
}

TEST_F(HostTest, AbortPollAnswersAtTheNthPollAndThroughTheHandler) {
  ImportIoProgress progress{40, 100, 1000, {0, 0}};
  vxhost::AbortAtPoll(3);
  std::vector<int16_t> answers;
  for (int i = 0; i < 5; ++i) answers.push_back(Import_IO_Check_For_Abort(&progress));
  EXPECT_EQ(answers, (std::vector<int16_t>{0, 0, 1, 0, 0}));

  std::vector<int64_t> seen;
  vxhost::SetProgressHandler([&](int64_t done, int64_t total) {
    seen.push_back(done);
    return done >= total;
  });
  progress.done = 1000;
  EXPECT_EQ(Import_IO_Check_For_Abort(&progress), 1);
  vxhost::SetProgressHandler(nullptr);
  EXPECT_EQ(seen, (std::vector<int64_t>{1000}));
  EXPECT_EQ(vxhost::GetCounters().abortPolls, 6);
}

// The catalogue's file messages are seen whole on the command line.
TEST_F(HostTest, MessagesAndCatalogueTexts) {
  std::vector<std::string> sunk;
  vxhost::SetMessageSink([&](const vxhost::Message& message) { sunk.push_back(message.text); });
  Import_IO_printf("Warning: %s has %d channels.\n", "Hips", 6);
  const std::string longText(5000, 'x');
  Import_IO_printf("%s", longText.c_str());
  Import_IO_Report_Error(4, "File must be in BioVision or Acclaim format. Aborting.\n");
  Sg_Report_Error(4, "ERR_GEOM_IMPORT_BAD_TOKEN", "ImportConverter_BiovisionAcclaim()", "foo");
  vxhost::SetMessageSink(nullptr);

  const std::vector<vxhost::Message>& messages = vxhost::Messages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0].kind, vxhost::MessageKind::Print);
  EXPECT_EQ(messages[0].text, "Warning: Hips has 6 channels.\n");
  EXPECT_EQ(messages[1].text, longText);
  EXPECT_EQ(messages[2].kind, vxhost::MessageKind::Error);
  EXPECT_EQ(messages[3].kind, vxhost::MessageKind::Catalogue);
  EXPECT_EQ(messages[3].text, "ImportConverter_BiovisionAcclaim(): unknown keyword \"foo\".\n");
  EXPECT_EQ(sunk.size(), 4u);
  EXPECT_TRUE(vxhost::HostErrors().empty());

  Import_IO_Display_Info_Text("Setting Animation Channels");
  EXPECT_EQ(vxhost::StatusText(), "Setting Animation Channels");
}

// Calls an import makes are checked in their notation by the import tests;
// these are the ones with escapes, matrices and out-parameters.
TEST_F(HostTest, CallLogWritesEachCallInItsNotation) {
  vxhost::SetCallLogEnabled(true);
  Import_IO_printf("Warning: \"%s\"\n", "x");
  SgEuler euler{{0, 0.5, 0, 16}};
  SgMatrix m;
  Sg_Euler2Matrix(&euler, &m);
  Sg_Matrix_Multiply(1, &m, &m, &m);
  int32_t start = 0, rate = 0;
  Sg_Inquire_Animation(T("starttime"), &start, kOne, T("framerate"), &rate, kOne, kEnd);
  Import_IO_Initialize("C:\\mocap\\walk.bvh", JumpingCallback);
  SgEuler out{{0, 0, 0, 8}};
  SgMatrix quarter = {{0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
  Sg_Matrix2Euler(&quarter, 8, &out);
  char* copy = nullptr;
  Import_IO_Copy_String(&copy, "/cfg");
  Import_IO_Cleanup();
  vxhost::SetCallLogEnabled(false);
  Import_IO_Display_Info_Text("not logged");

  const std::vector<std::string> expected = {
      "Import_IO_printf(\"Warning: \\\"x\\\"\\n\")",
      "Sg_Euler2Matrix([0, 0.5, 0, 16], M)",
      "Sg_Matrix_Multiply(1, M, M, M)",
      "Sg_Inquire_Animation(starttime, &0, 1, framerate, &30, 1, 0)",
      "Import_IO_Initialize(\"C:\\\\mocap\\\\walk.bvh\", callback)",
      "Sg_Matrix2Euler(M, 8, [0, 0, 1.57079633, 8])",
      "Import_IO_Copy_String(&string, \"/cfg\")",
      "Import_IO_Cleanup()",
  };
  EXPECT_EQ(vxhost::CallLog(), expected);
  EXPECT_EQ(vxhost::GetCounters().hostCalls, static_cast<int64_t>(expected.size()) + 1)
      << "every logged call and the last one; Sg_Inquire_Token is not counted";
  EXPECT_TRUE(vxhost::HostErrors().empty()) << vxhost::AllMessageText();
}

}  // namespace
