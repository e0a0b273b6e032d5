// The texts of the shared samples.
#include "support/samples.h"

namespace vxtest {

const char kWalkBvh[] = R"(HIERARCHY
ROOT Hips
{
  OFFSET 0 0 0
  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation
  JOINT Chest
  {
    OFFSET 0 5 0
    CHANNELS 3 Zrotation Xrotation Yrotation
    End Site
    {
      OFFSET 0 4 0
    }
  }
}
MOTION
Frames: 2
Frame Time: 0.033333
1 2 3 10 20 30 40 50 60
4 5 6 11 21 31 41 51 61
)";

const char kArmAsf[] = R"(# A two-bone arm
:version 1.10
:name fuzzarm
:units
  mass 1.0
  length 0.45
  angle deg
:documentation
  a small valid skeleton
:root
   order TX TY TZ RX RY RZ
   axis XYZ
   position 0 0 0
   orientation 0 0 0
:bonedata
  begin
     id 1
     name upper
     direction 0 1 0
     length 2.5
     axis 0 0 10 XYZ
    dof rx ry rz
    limits (-160.0 20.0)
           (-70.0 70.0)
           (-inf inf)
  end
  begin
     id 2
     name lower
     direction 1 0 0
     length 2
     axis 0 0 0 XYZ
    dof rx
    limits (0 170)
  end
:hierarchy
  begin
    root upper
    upper lower
  end
)";

const char kArmAmc[] = R"(#!OML:ASF fuzzarm.asf
:FULLY-SPECIFIED
:DEGREES
1
root 1 2 3 10 20 30
upper 5 6 7
lower 45
2
root 1.5 2 3 11 21 31
upper 6 7 8
lower 50
3
root 2 2 3 12 22 32
upper 7 8 9
lower 55
)";

}  // namespace vxtest
