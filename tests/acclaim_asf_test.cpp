// ASF skeleton import through the entry point: the reader's states and
// messages, hierarchy linking with end effectors, and the skeleton builder's
// instances, locks, IK flags and constraints.
#include "acclaim_support.h"

namespace acclaim_test {
namespace {

const std::string kHeader = R"(# test skeleton
:version 1.10
:name Tiny
:units
  mass 1.0
  length 0.5
  angle deg
:documentation
  a small skeleton
)" + std::string(kAsfRoot);

// Limits over several lines, as exporters write them.
const std::string kBones = BoneData({{"hip", "0 1 0", "2", "0 0 0 XYZ", "rx ry rz", "(-160.0 20.0)\n (-inf inf)\n (-10 10)"},
                                     {"knee", "1 0 0", "3", "0 0 30 XYZ", "rz rx"},
                                     {"toe", "0 0 1", "1", "0 0 0 XYZ", "tx l", "(-1 2)\n (0 5)"}});

constexpr const char* kHierarchy = R"(:hierarchy
  begin
    root hip
    hip knee toe
  end
)";

std::string TinyAsf() { return kHeader + kBones + kHierarchy; }

class AcclaimAsf : public ::testing::Test {
 protected:
  void SetUp() override { vxhost::ResetHost(); }
  void TearDown() override { EXPECT_TRUE(vxhost::HostErrors().empty()) << vxhost::HostErrors().front(); }

  int32_t Import(const std::string& asf) { return vxtest::Import(dir_.Write("skel.asf", asf)); }

  ScratchDir dir_;
};

// -- Messages

struct MessageCase {
  const char* what;
  std::string asf;
  int32_t result;
  std::vector<std::string> printed;
};

TEST_F(AcclaimAsf, ReaderMessagesAndResults) {
  const std::string noBegin = kHeader + ":bonedata\n";
  const std::string missing = " (Check for missing \"begin\" keyword). Aborting. \n";
  const std::vector<MessageCase> cases = {
      {"version 1.1 is accepted", ":version 1.1\n" + kBones + kHierarchy, 0, {}},
      {"other versions warn and read on",
       ":version 1.0\n" + kBones + kHierarchy,
       0,
       {"Line 1: Warning: This importer supports only ASF files version 1.10. Version 1.0 is not supported. "
        "Attempting to parse anyway.\n"}},
      {"id before begin", noBegin + "id 1\n", 1,
       {"Line 16: Fatal Error: Undefined bone encountered while trying to read bone's id number" + missing}},
      {"name before begin", noBegin + "name hip\n" + kBones + kHierarchy, 1,
       {"Line 16: Fatal Error: Undefined bone encountered while trying to read bone's name" + missing}},
      {"direction before begin", noBegin + "direction 1 0 0\n", 1,
       {"Line 16: Fatal Error: Undefined bone encountered while trying to read bone's direction x" + missing}},
      {"axis before begin", noBegin + "axis 1 0 0\n", 1,
       {"Line 16: Fatal Error: Undefined bone encountered while trying to read joint axis x value" + missing}},
      {"axis word before begin", noBegin + "zyx\n", 1,
       {"Line 16: Fatal Error: Undefined bone encountered while trying to read bone's ZYX axis token" + missing}},
      {"dof word before begin", noBegin + "dof ty\n", 1,
       {"Line 16: Fatal Error: Undefined bone encountered while trying to read bone's ty DOF token" + missing}},
      {"l before begin", noBegin + "dof l\n", 1,
       {"Line 16: Fatal Error: Undefined bone encountered while trying to read bone's l DOF token" + missing}},
      {"-inf before begin", noBegin + "limits (-inf 3)\n", 1,
       {"Line 16: Fatal Error: Undefined bone encountered while trying to read bone's minimum limit of -inf" +
        missing}},
      {"limit number before begin has no blank before its parenthesis", noBegin + "limits (-3 3)\n", 1,
       {"Line 16: Fatal Error: Undefined bone encountered while trying to read maximum limit value(Check for "
        "missing \"begin\" keyword). Aborting. \n"}},
      {"an order line split over two lines",
       ":root\n  order TX TY TZ\n  RX RY RZ\n", 1,
       {"Line 3: Fatal Error: Undefined bone encountered while trying to read bone's rx DOF token" + missing}},
      {"hierarchy parent that is no node",
       kHeader + kBones + ":hierarchy\nbegin\nroot hip\nknee toe\nend\n", 1,
       {"Line 45: Fatal Error: Undefined bone encountered: knee. Aborting. \n"}},
      {"hierarchy child that is no bone",
       kHeader + kBones + ":hierarchy\nbegin\nroot hip\nhip Knee\nend\n", 1,
       {"Line 45: Fatal Error: Undefined bone encountered: Knee. Aborting. \n"}},
      {"a bone named twice in the hierarchy",
       kHeader + kBones + ":hierarchy\nbegin\nroot hip\nhip knee hip\nend\n", 1,
       {"Line 45: Fatal Error: Bone hip appears more than once in the hierarchy. Aborting. \n"}},
      {"the skeleton named as a child",
       kHeader + kBones + ":hierarchy\nbegin\nroot hip\nhip Tiny\nend\n", 1,
       {"Line 45: Fatal Error: Bone Tiny appears more than once in the hierarchy. Aborting. \n"}},
      {"no hierarchy", kHeader + kBones, 1,
       {"Warning: the hierarchy has an invalid structure: unexpected NULL pointer encountered."}},
      {"unused tokens are echoed in lowercase, run together",
       ":name Tiny Extra\n" + kBones + "END 7\n" + kHierarchy, 0, {"extra", "7"}},
      {"+inf is echoed and the next number closes the pair",
       ":bonedata\nbegin\nname a\ndof rx\nlimits (-5 +inf) 6\nend\n:hierarchy\nbegin\nroot a\nend\n", 0,
       {"+inf"}},
      {"a comment inside the hierarchy ends its lines",
       kHeader + kBones + ":hierarchy\nbegin\nroot hip\n# note\nhip knee\nend\n", 0,
       {"hip", "knee"}},
      {"carriage returns and line feeds each end a line", "# a\r\n:bonedata\r\nid 4\r\n", 1,
       {"Line 5: Fatal Error: Undefined bone encountered while trying to read bone's id number" + missing}},
      {"more than seven DOF entries",
       ":bonedata\nbegin\nname a\ndof rx ry rz tx ty tz l Rx\nend\n:hierarchy\nbegin\nroot a\nend\n", 0,
       {"Line 4: Warning: Bone a has more than 7 DOF entries; Rx is ignored.\n"}},
      {"more than seven limits pairs",
       ":bonedata\nbegin\nname a\ndof rx\nlimits (1 2) (1 2) (1 2) (1 2) (1 2) (1 2) (1 2) (3 4)\nend\n"
       ":hierarchy\nbegin\nroot a\nend\n",
       0,
       {"Line 5: Warning: Bone a has more than 7 limits pairs; the extra pair is ignored.\n"}},
      {"more than six root order entries", ":root\norder tx ty tz rx ry rz rx\n:hierarchy\nbegin\nend\n", 0,
       {"Line 2: Warning: The root order holds at most 6 entries; rx is ignored.\n"}},
      {"tokens beyond 111 characters are cut",
       ":name " + std::string(120, 'N') + "\n:hierarchy\nbegin\nend\n", 0,
       {"Line 1: Warning: A token longer than 111 characters was cut to " + std::string(111, 'N') + "\n"}},
      {"a long comment draws no warning", "#" + std::string(130, '=') + "\n:hierarchy\nbegin\nend\n", 0, {}},
      {"documentation ends at a line starting with a keyword",
       ":documentation 1 2\n  : still documentation 3\n:root  7\n:hierarchy\nbegin\nend\n", 0, {"7"}},
  };
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.what);
    vxhost::ResetHost();
    EXPECT_EQ(Import(c.asf), c.result);
    EXPECT_EQ(PrintedTexts(), c.printed);
    // A fatal error in the skeleton file builds nothing.
    EXPECT_EQ(vxhost::AllInstances().empty(), c.result == 1);
  }
}

// -- Hierarchy linking and attaching (every leaf's end effector is the scene
// tests')

// Small skeletons: where one instance lands in the hierarchy and the world.
TEST_F(AcclaimAsf, InstancesLandWhereTheFileSays) {
  std::string placed = TinyAsf();
  placed.replace(placed.find("position 0 0 0"), 14, "position 10 0 5");
  const struct {
    const char* what;
    std::string asf;
    const char* instance;
    const char* path;
    glm::dvec3 position;
  } cases[] = {
      {"a root without bones gets one effector", ":name Solo\n:hierarchy\nbegin\nend\n", "End Effector",
       "Solo/End Effector", {0, 0, 0}},
      {"the skeleton name as a parent means the root",
       kHeader + kBones + ":hierarchy\nbegin\nTiny hip\nhip knee\nend\n", "knee", "Tiny/hip/knee",
       {0, 1, 0}},
      {"the root stands at its position, not scaled", placed, "Tiny", "Tiny", {10, 0, 5}},
      // The stray "length" is the unit length (4); the bone's own stays 0.
      {"length before direction is the unit length",
       ":bonedata\nbegin\nname a\nlength 4\ndirection 0 1 0\nend\nbegin\nname b\ndirection 0 1 0\nlength 2\n"
       "end\n:hierarchy\nbegin\nroot a\na b\nend\n",
       "End Effector", "Default Skeleton/a/b/End Effector", {0, 8, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    vxhost::ResetHost();
    ASSERT_EQ(Import(c.asf), 0);
    EXPECT_EQ(vxhost::InstancePath(Instance(c.instance)), c.path);
    EXPECT_LT(glm::length(vxhost::WorldPosition(Instance(c.instance), 0) - c.position), 1e-6);
  }
}

// -- Builder: flags, locks, constraints

TEST_F(AcclaimAsf, BuilderSetsFlagsLocksAndConstraints) {
  ASSERT_EQ(Import(TinyAsf()), 0);
  const vxhost::Instance& root = Instance("Tiny");
  EXPECT_TRUE(root.jointNode);
  EXPECT_FALSE(root.endEffector);
  EXPECT_TRUE(root.ikAnchor);
  EXPECT_TRUE(root.notAffectedByIkOfDescendants);
  for (int kind = 0; kind < 2; kind++) {
    for (int axis = 0; axis < 3; axis++) EXPECT_FALSE(root.locked[kind][axis]);
  }

  const vxhost::Instance& hip = Instance("hip");
  EXPECT_TRUE(hip.jointNode);
  EXPECT_FALSE(hip.ikAnchor);
  for (int axis = 0; axis < 3; axis++) {
    EXPECT_TRUE(hip.locked[0][axis]);
    EXPECT_FALSE(hip.locked[1][axis]);
  }
  // rx: both bounds; ry: open both ways; rz: both bounds.
  EXPECT_FLOAT_EQ(hip.rotation.maxValue[0], 20.0f);
  EXPECT_FLOAT_EQ(hip.rotation.minValue[0], -160.0f);
  EXPECT_TRUE(hip.rotation.maxEnabled[0] && hip.rotation.minEnabled[0]);
  EXPECT_FALSE(hip.rotation.maxEnabled[1] || hip.rotation.minEnabled[1]);
  EXPECT_EQ(hip.rotation.maxValue[1], 0.0f);
  EXPECT_FLOAT_EQ(hip.rotation.minValue[2], -10.0f);
  EXPECT_FALSE(hip.rotation.worldSpace);
  for (int axis = 0; axis < 3; axis++) EXPECT_FALSE(hip.position.maxEnabled[axis]);

  // tx frees the x translation; l frees nothing and its limits make nothing.
  const vxhost::Instance& toe = Instance("toe");
  EXPECT_FALSE(toe.locked[0][0]);
  EXPECT_TRUE(toe.locked[0][1] && toe.locked[0][2]);
  EXPECT_TRUE(toe.locked[1][0] && toe.locked[1][1] && toe.locked[1][2]);
  EXPECT_FLOAT_EQ(toe.position.minValue[0], -1.0f);
  EXPECT_FLOAT_EQ(toe.position.maxValue[0], 2.0f);
  EXPECT_EQ(toe.position.maxValue[1], 0.0f);
  EXPECT_FALSE(toe.position.maxEnabled[1]);

  const vxhost::Instance& effector = *toe.children.at(0);
  EXPECT_TRUE(effector.endEffector);
  EXPECT_FALSE(effector.jointNode);
  EXPECT_FALSE(effector.ikAnchor);
  for (int kind = 0; kind < 2; kind++) {
    for (int axis = 0; axis < 3; axis++) EXPECT_TRUE(effector.locked[kind][axis]);
  }
}

TEST_F(AcclaimAsf, BuilderCallsForOneBone) {
  vxhost::SetCallLogEnabled(true);
  ASSERT_EQ(Import(":bonedata\nbegin\nname a\ndof rx\nlimits (-160.0 20.0)\nend\n:hierarchy\nbegin\nroot a\nend\n"),
            0);
  std::vector<std::string> calls;
  bool inBone = false;
  for (const std::string& line : vxhost::CallLog()) {
    if (line.rfind("Import_IO_MakeNameUnique(instance, \"a\"", 0) == 0) inBone = true;
    if (inBone && line.rfind("Import_IO_MakeNameUnique(instance, \"End Effector\"", 0) == 0) break;
    if (inBone) calls.push_back(line);
  }
  const std::vector<std::string> expected = {
      "Import_IO_MakeNameUnique(instance, \"a\", buffer)",
      "Sg_Add_Empty_Node(instance, \"a\", 0)",
      "Sg_Attach(instance, \"a\", instance, \"world\", 0)",
      "Sg_Instance(\"a\", skeleton, endeffectornode, enabled, off, jointnode, enabled, on, 1, 0)",
      "Sg_Instance(\"a\", ikparams, thisisikanchor, enabled, off, notaffectedbyikofdescendants, enabled, off, 1, 0)",
      "Sg_Instance(\"a\", dofconstraintlocks, lockaxis, translate, xaxis, enabled, on, lockaxis, translate, yaxis, "
      "enabled, on, lockaxis, translate, zaxis, enabled, on, lockaxis, rotate, xaxis, enabled, on, lockaxis, rotate, "
      "yaxis, enabled, on, lockaxis, rotate, zaxis, enabled, on, 1, 0)",
      "Sg_Instance(\"a\", dofconstraintlocks, lockaxis, rotate, xaxis, enabled, off, 1, 0)",
      "Sg_Instance(\"a\", rotationconstraint, maxrange, xaxis, enabled, on, 1, 0)",
      "Sg_Instance(\"a\", rotationconstraint, minrange, xaxis, enabled, on, 1, 0)",
      "Sg_Instance(\"a\", positionconstraint, minrange, value, [0, 0, 0], maxrange, value, [0, 0, 0], worldspace, "
      "enabled, off, 1, rotationconstraint, minrange, value, [-160, 0, 0], maxrange, value, [20, 0, 0], worldspace, "
      "enabled, off, 1, 0)",
  };
  EXPECT_EQ(calls, expected);
}

// A folder where the AMC file would be is an AMC file that does not open.
TEST_F(AcclaimAsf, MissingAmcIsANoteNotAnError) {
  for (bool folder : {false, true}) {
    SCOPED_TRACE(folder);
    vxhost::ResetHost();
    std::string path = dir_.Write("Walk.ASF", TinyAsf());
    std::string amc = path.substr(0, path.size() - 3) + "amc";
    if (folder) fs::create_directory(amc);
    ASSERT_EQ(vxtest::Import(path), 0);
    EXPECT_EQ(PrintedTexts(true),
              std::vector<std::string>{"Could not find a corresponding AMC file. If animation import is needed, "
                                       "please provide " +
                                       amc + "\n"});
    EXPECT_EQ(vxhost::InstancePath(Instance("knee")), "Tiny/hip/knee");
  }
}

}  // namespace
}  // namespace acclaim_test
