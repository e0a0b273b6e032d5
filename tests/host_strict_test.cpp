// The strict argument check: each malformed call gives exactly one host error
// and changes nothing (that the well-formed calls of an import give none, every
// import test checks).
#include <functional>
#include <string>
#include <thread>
#include <vector>

#ifdef VARNEX_WORD_MODULE
#include <dlfcn.h>
#endif

#include "host_test_support.h"
#include "support/scene_digest.h"

namespace {

class StrictTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    AddNode("Hips");
    AddNode("Knee", "Hips");
    Sg_Add_Empty_Node(T("instance"), "Loose", kEnd);
    Channels("Hips", table);
    AddKey(table[vxhost::kTranslateX], 0, 1.0f);
    ASSERT_TRUE(vxhost::HostErrors().empty()) << vxhost::AllMessageText();
  }
  void* table[vxhost::kChannelTableSize] = {};
};

TEST_F(StrictTest, EachMalformedCallGivesOneHostErrorAndNoEffect) {
  float v3[3] = {1, 2, 3};
  float f = 0.5f;
  int32_t time = 40, badOrder = 3, zeroRate = 0, out = -7;
  int64_t status = 0;
  uint64_t id = 0;
  void* tx = table[vxhost::kTranslateX];
  char buffer[64];
  char lower1[] = "A", lower2[] = "A";
  SgEuler euler{{0, 0, 0, 2}};
  SgMatrix m{};
  ImportIoProgress badProgress{41, 0, 10, {0, 0}};
  void* const kTwo = reinterpret_cast<void*>(intptr_t{2});

  const struct {
    const char* what;
    std::function<void()> call;
  } cases[] = {
      {"extra item before the end", [&] { Sg_Add_Empty_Node(T("instance"), "New", T("on"), kEnd); }},
      {"wrong first token", [&] { Sg_Add_Empty_Node(T("instanse"), "New", kEnd); }},
      {"token for a name", [&] { Sg_Add_Empty_Node(T("instance"), T("instance"), kEnd); }},
      {"integer for a name", [&] { Sg_Add_Empty_Node(T("instance"), kTwo, kEnd); }},
      {"name taken", [&] { Sg_Add_Empty_Node(T("instance"), "Hips", kEnd); }},
      {"attached already", [&] { Sg_Attach(T("instance"), "Knee", T("instance"), "world", kEnd); }},
      {"cycle", [&] { Sg_Attach(T("instance"), "Loose", T("instance"), "Loose", kEnd); }},
      {"unknown parent", [&] { Sg_Attach(T("instance"), "Loose", T("instance"), "Nobody", kEnd); }},
      {"attach without end", [&] { Sg_Attach(T("instance"), "Loose", T("instance"), "Hips", kOne); }},
      {"detach unattached", [&] { Sg_Detach(T("instance"), "Loose", kEnd); }},
      {"compound without 1",
       [&] { Sg_Instance("Hips", T("skeleton"), T("endeffectornode"), T("enabled"), T("on"), kEnd); }},
      {"bad switch value",
       [&] { Sg_Instance("Hips", T("skeleton"), T("endeffectornode"), T("enabled"), T("yes"), kOne, kEnd); }},
      {"attribute of another clause",
       [&] { Sg_Instance("Hips", T("skeleton"), T("thisisikanchor"), T("enabled"), T("on"), kOne, kEnd); }},
      {"unknown clause", [&] { Sg_Instance("Hips", T("colour"), kEnd); }},
      {"unknown instance", [&] { Sg_Instance("Nobody", T("skeleton"), kOne, kEnd); }},
      {"Euler order code", [&] { Sg_Instance("Hips", T("eulerorder"), &badOrder, kEnd); }},
      {"bad axis",
       [&] {
         Sg_Instance("Hips", T("dofconstraintlocks"), T("lockaxis"), T("translate"), T("waxis"), T("enabled"), T("on"),
                     kOne, kEnd);
       }},
      {"sound clause, then a bad one",
       [&] {
         Sg_Instance("Hips", T("skeleton"), T("jointnode"), T("enabled"), T("on"), kOne, T("ikparams"),
                     T("thisisikanchor"), T("enabled"), T("maybe"), kOne, kEnd);
       }},
      {"range without value",
       [&] { Sg_Instance("Hips", T("positionconstraint"), T("minrange"), T("value"), kOne, kEnd); }},
      {"compound ended by 1 and nothing", [&] { Sg_Instance("Hips", T("replacechannels"), T("eulerrotate"), kOne, kEnd); }},
      {"premultiply", [&] { Sg_Transform(T("instance"), "Hips", T("premultiply"), T("translate"), v3, kEnd); }},
      {"translation missing", [&] { Sg_Transform(T("instance"), "Hips", T("postmultiply"), T("translate"), kEnd); }},
      {"channels of some", [&] { Sg_AddDefaultAnimationChannels(T("instance"), "Knee", T("some"), kEnd); }},
      {"foreign channel handle",
       [&] {
         Sg_AnimController(&status, T("ctrlrid"), &f, T("type"), T("kfbezier"), kOne, T("keyframe"), &id, T("time"),
                           &time, T("add"), kOne, kEnd);
       }},
      {"token as channel handle",
       [&] {
         Sg_AnimController(&status, T("ctrlrid"), T("instance"), T("keyframe"), &id, T("kfid"), kOne, T("value"), &f,
                           kOne, kEnd);
       }},
      {"add without 1 after kfbezier",
       [&] {
         Sg_AnimController(&status, T("ctrlrid"), tx, T("type"), T("kfbezier"), T("keyframe"), &id, T("time"), &time,
                           T("add"), kOne, kEnd);
       }},
      {"add without final 1",
       [&] {
         Sg_AnimController(&status, T("ctrlrid"), tx, T("type"), T("kfbezier"), kOne, T("keyframe"), &id, T("time"),
                           &time, T("add"), kEnd);
       }},
      {"unknown keyframe id",
       [&] {
         Sg_AnimController(&status, T("ctrlrid"), tx, T("keyframe"), &id, T("kfid"), reinterpret_cast<void*>(999),
                           T("value"), &f, kOne, kEnd);
       }},
      {"reduction ended by 1, 0",
       [&] {
         Sg_AnimController(&status, T("ctrlrid"), tx, T("reducekeys"), T("distance"), &f, T("angle"), &f,
                           T("keysareeulerangles"), T("enabled"), T("on"), T("angularkeysareindegrees"), T("enabled"),
                           T("off"), kOne, kEnd);
       }},
      {"unknown controller form", [&] { Sg_AnimController(&status, T("ctrlrid"), tx, T("delete"), kEnd); }},
      {"frame rate 0", [&] { Sg_Animation(T("framerate"), &zeroRate, kOne, kEnd); }},
      {"start time set", [&] { Sg_Animation(T("starttime"), &time, kOne, kEnd); }},
      {"inquiry without 1", [&] { Sg_Inquire_Animation(T("framerate"), &out, kEnd); }},
      {"empty inquiry", [&] { Sg_Inquire_Animation(nullptr); }},
      {"unknown message id", [&] { Sg_Report_Error(4, "ERR_NOPE", "f()"); }},
      {"severity 3", [&] { Sg_Report_Error(3, "ERR_FILE_OPEN_READ", "f()", "a", "b"); }},
      {"matrix order 2", [&] { Sg_Euler2Matrix(&euler, &m); }},
      {"decomposition order 1", [&] { Sg_Matrix2Euler(&m, 1, &euler); }},
      {"multiply mode 0", [&] { Sg_Matrix_Multiply(0, &m, &m, &m); }},
      {"singular inverse", [&] { Sg_Matrix_Invert(&m, &m); }},
      {"class id", [&] { Sg_RegisterClassStorage(0x1234u, 0, 0); }},
      {"aux flag", [&] { Sg_RegisterClassStorageAux(0); }},
      {"null path", [&] { Sg_Convert_Pathname(nullptr); }},
      {"frame rate null", [&] { Sg_ValidateFrameRate(nullptr); }},
      {"unique name of a node", [&] { Import_IO_MakeNameUnique(T("node"), "x", buffer); }},
      {"error severity 2", [&] { Import_IO_Report_Error(2, "x"); }},
      {"progress kind 41", [&] { Import_IO_Check_For_Abort(&badProgress); }},
      {"cleanup without import", [&] { Import_IO_Cleanup(); }},
      {"abort cleanup without import", [&] { Import_IO_Abort_Cleanup(); }},
      {"lower-case two strings", [&] { Import_IO_String_To_Lower(lower1, lower2); }},
      {"optimise nobody", [&] { Import_IO_OptimizeTransformationChannels("Nobody"); }},
      {"copy into nowhere", [&] { Import_IO_Copy_String(nullptr, "x"); }},
  };
  for (const auto& c : cases) {
    const uint64_t before = vxtest::SceneDigest(false);
    const size_t messagesBefore = vxhost::Messages().size();
    const std::vector<std::string> errorsBefore = vxhost::HostErrors();
    c.call();
    EXPECT_EQ(vxhost::HostErrors().size(), errorsBefore.size() + 1) << c.what << "\n" << vxhost::AllMessageText();
    EXPECT_EQ(vxhost::Messages().size(), messagesBefore + 1) << c.what;
    ASSERT_FALSE(vxhost::Messages().empty());
    EXPECT_EQ(vxhost::Messages().back().kind, vxhost::MessageKind::HostError) << c.what;
    EXPECT_EQ(vxtest::SceneDigest(false), before) << c.what;
  }
  EXPECT_EQ(out, -7) << "a malformed inquiry writes nothing";
  EXPECT_EQ(lower1[0], 'A');
}

TEST_F(StrictTest, HostErrorNamesTheCallTheItemAndWhatWasFound) {
  const struct {
    std::function<void()> call;
    const char* text;
  } cases[] = {
      {[] { Sg_Instance("Hips", T("skeleton"), T("endeffectornode"), T("enabled"), T("yes"), kOne, kEnd); },
       "Host error: Sg_Instance(): item 5: expected \"on\" or \"off\", found token \"yes\".\n"},
      {[] { Sg_Instance("Hips", T("skeleton"), T("endeffectornode"), T("enabled"), T("on"), kEnd); },
       "Host error: Sg_Instance(): item 6: expected a token or 1, found the integer 0.\n"},
      {[] { Sg_Attach(T("instance"), "Loose", T("instance"), "Nobody", kEnd); },
       "Host error: Sg_Attach(): item 4: no instance is named \"Nobody\".\n"},
      {[] { Sg_Report_Error(4, "ERR_NOPE", "f()"); },
       "Host error: Sg_Report_Error(): item 2: no message in the catalogue has the id \"ERR_NOPE\".\n"},
  };
  for (const auto& c : cases) {
    vxhost::ClearMessages();
    c.call();
    ASSERT_FALSE(vxhost::HostErrors().empty());
    EXPECT_EQ(vxhost::HostErrors().back(), c.text);
  }
}

TEST_F(StrictTest, MalformedCallIsLoggedUpToTheItemThatFailed) {
  vxhost::SetCallLogEnabled(true);
  Sg_Instance("Hips", T("skeleton"), T("endeffectornode"), T("enabled"), T("yes"), kOne, kEnd);
  ASSERT_EQ(vxhost::CallLog().size(), 1u);
  EXPECT_EQ(vxhost::CallLog()[0], "Sg_Instance(\"Hips\", skeleton, endeffectornode, enabled, yes)");
}

TEST_F(StrictTest, TokensAreInternedAndRecognised) {
  // Inside an import bracket the host trusts words in read-only memory by
  // their address; a buffer of the caller's is still read afresh every time.
  // The fast and the general path answer the same calls alike.
  std::vector<void*> answers[2];
  for (bool fast : {true, false}) {
    SCOPED_TRACE(fast ? "fast paths" : "general paths");
    FastPaths paths(fast);
    std::vector<void*>& got = answers[fast];
    Import_IO_Initialize("walk.bvh", [](ImportIoMessage*) {});
    char word[] = "lockaxis";
    got.insert(got.end(), {T("lockaxis"), T(word), T("lockaxis")});
    EXPECT_EQ(got[0], got[1]) << "same word, same token, whatever the address";
    word[0] = 'r';  // the same buffer now holds another word
    got.insert(got.end(), {T(word), T("rockaxis")});
    EXPECT_NE(got[3], got[0]);
    EXPECT_EQ(got[3], got[4]);
    word[4] = '\0';
    got.insert(got.end(), {T(word), T("rock")});
    EXPECT_EQ(got[5], got[6]);
    Import_IO_Cleanup();
    got.insert(got.end(), {T(word), T("lockaxis"), T("on"), T("On"), T("")});
    EXPECT_EQ(got[7], got[6]);
    EXPECT_NE(got[9], got[10]);
    EXPECT_NE(got[11], nullptr);
  }
  EXPECT_EQ(answers[true], answers[false]);
  std::vector<void*> many;
  for (int i = 0; i < 3000; ++i) many.push_back(T(("word" + std::to_string(i)).c_str()));
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(many[i], T(("word" + std::to_string(i)).c_str()));
  // A token made late is still recognised in a list.
  Sg_Instance("Hips", many.back(), kEnd);
  EXPECT_EQ(vxhost::HostErrors().back(), "Host error: Sg_Instance(): item 2: unknown instance attribute \"word2999\".\n");
}

#ifdef VARNEX_WORD_MODULE
bool WordModuleLoaded() {
  void* module = dlopen(VARNEX_WORD_MODULE, RTLD_LAZY | RTLD_NOLOAD);
  if (module) dlclose(module);
  return module != nullptr;
}

TEST_F(StrictTest, AnObjectWhoseWordsAreTrustedStaysLoadedUntilTheImportEnds) {
  // Only the thread that opened the import trusts words by address, and only
  // with the fast paths on; the object they lie in cannot unload meanwhile.
  const struct {
    const char* what;
    bool fast;
    bool inImport;
    bool otherThread;
    bool endByReset;
    bool heldAfterClose;
  } cases[] = {
      {"asked during an import", true, true, false, false, true},
      {"asked during an import the host's reset ends", true, true, false, true, true},
      {"with the fast paths off", false, true, false, false, false},
      {"outside an import", true, false, false, false, false},
      {"by a thread that did not open the import", true, true, true, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FastPaths paths(c.fast);
    void* module = dlopen(VARNEX_WORD_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    const char* word = reinterpret_cast<const char* (*)()>(dlsym(module, "ModuleWord"))();
    if (c.inImport) Import_IO_Initialize("walk.bvh", [](ImportIoMessage*) {});
    void* token = nullptr;
    if (c.otherThread) std::thread([&] { token = T(word); }).join();
    else token = T(word);
    EXPECT_EQ(token, T("a word in a module"));
    dlclose(module);
    EXPECT_EQ(WordModuleLoaded(), c.heldAfterClose);
    if (c.endByReset) vxhost::ResetHost();
    else if (c.inImport) Import_IO_Cleanup();
    EXPECT_FALSE(WordModuleLoaded()) << "the end of the import lets go of it";
  }
  EXPECT_TRUE(vxhost::HostErrors().empty()) << vxhost::HostErrors().front();
}
#endif

}  // namespace
