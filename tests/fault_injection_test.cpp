// Every real file, imported again and again while the user aborts at one
// progress poll after another, while the host delivers a fatal (kind 5)
// message at one host call after another, and while a host call cannot
// allocate. Each interrupted import must
// answer 1, clean up once through Import_IO_Abort_Cleanup, leak nothing and
// leave the plug-in ready for a clean import that builds the same scene as
// one from a fresh start. Every one of them also builds the same scene
// whether the host takes its fast paths or its general ones.
#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/plugin_calls.h"
#include "support/real_files.h"
#include "support/samples.h"
#include "support/sanitizer.h"
#include "support/scene_digest.h"
#include "support/scratch.h"
#include "varnex/host.h"

namespace {

namespace fs = std::filesystem;

using vxtest::kSanitized;

// Points per kind of fault: 50 per file in all, spread evenly over the
// import. After each fault a clean import must build the fresh-start scene:
// the file itself is imported again after every fault when it is small, and
// after a few evenly spread ones when it is big (one under the sanitizers,
// where an import is ten times slower); the other faults of a big file are
// followed by a small probe file of the same format, which shows the same
// thing (the plug-in starts from nothing) at a fraction of the cost.
constexpr int64_t kPointsPerKind = 25;
constexpr int64_t kFullReimportsPerKind = kSanitized ? 1 : 5;
// Host calls that fail to allocate, per file, each followed by the probe.
constexpr int64_t kOutOfMemoryPoints = 10;
constexpr uintmax_t kBigFileBytes = 150'000;
// Host calls before Import_IO_Initialize registers the message callback:
// Sg_RegisterClassStorage, Sg_RegisterClassStorageAux, Sg_SetupTrieGraphSystem
// (the frame tests hold the driver to that order).
constexpr int64_t kInitializeCall = 4;
// Heap growth allowed over a whole file's faults (containers in the host
// that keep their capacity), far below what one leaked model would hold.
constexpr size_t kHeapSlackBytes = 256 * 1024;

struct RealFile {
  std::string path;
  std::string label;
};

// The shared arm pair, written once per process, so an Acclaim import is
// interrupted even where the real files are absent.
std::string ArmSample() {
  static const vxtest::ScratchDir dir;
  dir.Write("arm.amc", vxtest::kArmAmc);
  return dir.Write("arm.asf", vxtest::kArmAsf);
}

// The project's samples, then every real file.
std::vector<RealFile> RealFiles() {
  std::vector<RealFile> files = {{ArmSample(), "sample_arm_asf"}};
  for (const char* folder : {VARNEX_SAMPLES, VARNEX_SHARED_MOCAP})
    for (const std::string& path : vxtest::ImportableFiles(folder)) files.push_back({path, vxtest::TestNameOf(path)});
  return files;
}

// Up to count points spread evenly over first..last, both ends included.
std::vector<int64_t> EvenPoints(int64_t first, int64_t last, int64_t count) {
  std::vector<int64_t> points;
  if (last < first) return points;
  int64_t span = last - first + 1;
  if (span <= count) {
    for (int64_t n = first; n <= last; ++n) points.push_back(n);
    return points;
  }
  for (int64_t i = 0; i < count; ++i) points.push_back(first + i * (span - 1) / (count - 1));
  return points;
}

size_t HeapInUse() { return mallinfo2().uordblks; }

class FaultInjection : public ::testing::TestWithParam<RealFile> {
 protected:
  void SetUp() override {
    vxhost::ResetHost();
    bool bvh = fs::path(GetParam().path).extension() == ".bvh";
    probe_ = bvh ? scratch_.Write("probe.bvh", vxtest::kWalkBvh) : scratch_.Write("probe.asf", vxtest::kArmAsf);
    if (!bvh) scratch_.Write("probe.amc", vxtest::kArmAmc);
  }
  void TearDown() override { vxhost::ResetHost(); }

  // A clean import from a fresh host; answers the scene's digest.
  static uint64_t CleanImportDigest(const std::string& path) {
    EXPECT_EQ(vxtest::ImportIntoFreshHost(path), 0) << vxhost::AllMessageText();
    EXPECT_TRUE(vxhost::HostErrors().empty()) << vxhost::HostErrors().front();
    return vxtest::SceneDigest();
  }

  // One interrupted import, armed by the caller, then a clean one of the
  // file itself or of the probe.
  void CheckInterruptedImport(bool reimportFile) {
    EXPECT_EQ(vxtest::Import(GetParam().path), 1);
    vxhost::Counters counters = vxhost::GetCounters();
    EXPECT_EQ(counters.abortCleanups, 1);
    EXPECT_EQ(counters.cleanups, 1);  // the driver finishes every import with Import_IO_Cleanup
    EXPECT_EQ(counters.initializes, 1);
    EXPECT_TRUE(vxhost::HostErrors().empty()) << vxhost::HostErrors().front();
    if (reimportFile) {
      EXPECT_EQ(CleanImportDigest(GetParam().path), fileDigest_) << "the import after the fault built another scene";
    } else {
      EXPECT_EQ(CleanImportDigest(probe_), probeDigest_) << "the probe after the fault built another scene";
    }
    ++faults_;
  }

  vxtest::ScratchDir scratch_;
  std::string probe_;
  uint64_t fileDigest_ = 0;
  uint64_t probeDigest_ = 0;
  int64_t faults_ = 0;
};

// Whether the fault at index i of count gets a full import of the file after it.
bool FullReimportAt(size_t i, size_t count, bool bigFile) {
  if (!bigFile || count <= static_cast<size_t>(kFullReimportsPerKind)) return true;
  size_t every = count / kFullReimportsPerKind;
  return i % every == every / 2;
}

TEST_P(FaultInjection, EveryInterruptionCleansUpAndLeavesNothingBehind) {
  const RealFile& file = GetParam();
  probeDigest_ = CleanImportDigest(probe_);
  fileDigest_ = CleanImportDigest(file.path);
  ASSERT_FALSE(HasFailure());
  vxhost::Counters clean = vxhost::GetCounters();
  ASSERT_GT(clean.abortPolls, 0);
  ASSERT_EQ(clean.cleanups, 1);
  vxhost::ResetHost();
  size_t heapBefore = HeapInUse();

  bool bigFile = fs::file_size(file.path) > kBigFileBytes;
  std::vector<int64_t> polls = EvenPoints(1, clean.abortPolls, kPointsPerKind);
  // Kind 5 can arrive from the call that registers the callback up to the
  // last call before Import_IO_Cleanup, which drops it first.
  std::vector<int64_t> calls = EvenPoints(kInitializeCall, clean.hostCalls - 1,
                                          std::max<int64_t>(kPointsPerKind, 50 - static_cast<int64_t>(polls.size())));
  ASSERT_GE(polls.size() + calls.size(), 50u);

  for (size_t i = 0; i < polls.size(); ++i) {
    int64_t poll = polls[i];
    SCOPED_TRACE("user abort at poll " + std::to_string(poll) + " of " + std::to_string(clean.abortPolls));
    vxhost::ResetHost();
    vxhost::AbortAtPoll(poll);
    CheckInterruptedImport(FullReimportAt(i, polls.size(), bigFile));
    if (HasFailure()) return;
  }
  for (size_t i = 0; i < calls.size(); ++i) {
    int64_t call = calls[i];
    SCOPED_TRACE("kind 5 at host call " + std::to_string(call) + " of " + std::to_string(clean.hostCalls));
    vxhost::ResetHost();
    vxhost::Kind5AtCall(call);
    CheckInterruptedImport(FullReimportAt(i, calls.size(), bigFile));
    if (HasFailure()) return;
  }
  // A host call that cannot allocate ends the import through the same trap,
  // saying once which call it was. Initialize itself needs no memory.
  const std::vector<int64_t> failures = EvenPoints(kInitializeCall + 1, clean.hostCalls - 1, kOutOfMemoryPoints);
  for (size_t i = 0; i < failures.size(); ++i) {
    int64_t call = failures[i];
    SCOPED_TRACE("no memory at host call " + std::to_string(call) + " of " + std::to_string(clean.hostCalls));
    vxhost::ResetHost();
    vxhost::FailAllocationAtCall(call);
    EXPECT_EQ(vxtest::Import(GetParam().path), 1);
    EXPECT_TRUE(vxhost::RanOutOfMemory());
    const std::string messages = vxhost::AllMessageText();
    const size_t said = messages.find("Host: out of memory in ");
    EXPECT_NE(said, std::string::npos) << messages;
    EXPECT_EQ(messages.find("Host: out of memory in ", said + 1), std::string::npos) << messages;
    EXPECT_EQ(vxhost::GetCounters().abortCleanups, 1);
    EXPECT_TRUE(vxhost::HostErrors().empty()) << vxhost::HostErrors().front();
    EXPECT_EQ(CleanImportDigest(probe_), probeDigest_) << "the probe after the failure built another scene";
    ++faults_;
    if (HasFailure()) return;
  }
  vxhost::ResetHost();
  if (!kSanitized) {
    EXPECT_LE(HeapInUse(), heapBefore + kHeapSlackBytes) << "interrupted imports left memory behind";
  }
  RecordProperty("faults", static_cast<int>(faults_));
  std::printf("%s: %lld faults injected (%zu polls of %lld, %zu calls of %lld)\n", file.label.c_str(),
              static_cast<long long>(faults_), polls.size(), static_cast<long long>(clean.abortPolls), calls.size(),
              static_cast<long long>(clean.hostCalls));
}

INSTANTIATE_TEST_SUITE_P(RealFiles, FaultInjection, ::testing::ValuesIn(RealFiles()),
                         [](const ::testing::TestParamInfo<RealFile>& info) { return info.param.label; });

// The host's fast paths (the plug-in's words trusted by their address, the
// per-key calls' items read by their byte offsets, AVX2 products) and the
// general ones, on the same machine and the same import, build one scene.
class FastAndGeneralPaths : public ::testing::TestWithParam<RealFile> {
 protected:
  void TearDown() override {
    vxhost::SetFastPaths(true);
    vxhost::ResetHost();
  }
};

TEST_P(FastAndGeneralPaths, BuildTheSameScene) {
  uint64_t digests[2] = {};
  for (bool fast : {true, false}) {
    vxhost::SetFastPaths(fast);
    EXPECT_EQ(vxtest::ImportIntoFreshHost(GetParam().path), 0) << vxhost::AllMessageText();
    EXPECT_TRUE(vxhost::HostErrors().empty()) << vxhost::HostErrors().front();
    digests[fast] = vxtest::SceneDigest();
  }
  EXPECT_EQ(digests[true], digests[false]);
}

INSTANTIATE_TEST_SUITE_P(RealFiles, FastAndGeneralPaths, ::testing::ValuesIn(RealFiles()),
                         [](const ::testing::TestParamInfo<RealFile>& info) { return info.param.label; });

}  // namespace
