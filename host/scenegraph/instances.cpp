// The calls that make and arrange instances: empty nodes, attaching and
// detaching, the static transform, and the default animation channels.
#include <algorithm>
#include <cstdarg>

#include <glm/gtc/matrix_transform.hpp>

#include "arglist.h"
#include "hostcall.h"
#include "scene.h"
#include "varnex/sg.h"

namespace vxhost {
namespace {

// Reads `"instance", name` and finds the instance it names.
Instance* ReadInstance(ArgReader& args) {
  if (!args.Expect(Word::Instance)) return nullptr;
  const char* name = args.Name();
  if (!name) return nullptr;
  Instance* instance = FindMutableInstance(name);
  if (!instance) args.Fail(std::string("no instance is named \"") + name + "\"");
  return instance;
}

void AddEmptyNode(void* first, va_list ap) {
  ArgReader args("Sg_Add_Empty_Node", first, ap);
  const char* name = args.Expect(Word::Instance) ? args.Name() : nullptr;
  args.End();
  if (args.ok() && FindMutableInstance(name)) args.FailCall(std::string("an instance named \"") + name + "\" exists already");
  if (args.ok()) CreateInstance(name);
  args.Finish();
}

void Attach(void* first, va_list ap) {
  ArgReader args("Sg_Attach", first, ap);
  Instance* child = ReadInstance(args);
  Instance* parent = ReadInstance(args);
  args.End();
  if (args.ok()) {
    if (child == TheScene().world) args.FailCall("\"world\" cannot be attached");
    else if (child->parent) args.FailCall("\"" + child->name + "\" is attached to \"" + child->parent->name + "\" already");
    // Only a child with children of its own can stand above the parent; a
    // leaf makes a cycle only under itself. Skipping the walk keeps a deep
    // chain built from the top linear.
    const Instance* from = child->children.empty() && parent != child ? nullptr : parent;
    for (const Instance* up = from; up && args.ok(); up = up->parent)
      if (up == child) args.FailCall("attaching \"" + child->name + "\" under \"" + parent->name + "\" would make a cycle");
  }
  if (args.ok()) {
    child->parent = parent;
    parent->children.push_back(child);
  }
  args.Finish();
}

void Detach(void* first, va_list ap) {
  ArgReader args("Sg_Detach", first, ap);
  Instance* child = ReadInstance(args);
  args.End();
  if (args.ok() && !child->parent) args.FailCall("\"" + child->name + "\" is not attached");
  if (args.ok()) {
    auto& siblings = child->parent->children;
    siblings.erase(std::find(siblings.begin(), siblings.end(), child));
    child->parent = nullptr;
  }
  args.Finish();
}

void Transform(void* first, va_list ap) {
  ArgReader args("Sg_Transform", first, ap);
  Instance* instance = ReadInstance(args);
  args.Expect(Word::Postmultiply);
  args.Expect(Word::Translate);
  const float* offset = args.Vec3();
  args.End();
  if (args.ok()) instance->staticTransform = glm::translate(instance->staticTransform, glm::dvec3(offset[0], offset[1], offset[2]));
  args.Finish();
}

void AddDefaultChannels(void* first, va_list ap) {
  ArgReader args("Sg_AddDefaultAnimationChannels", first, ap);
  Instance* instance = ReadInstance(args);
  args.Expect(Word::All);
  args.End();
  if (args.ok()) CreateDefaultChannels(*instance);
  args.Finish();
}

}  // namespace
}  // namespace vxhost

VXHOST_VARIADIC_CALL(Sg_Add_Empty_Node, SgToken, AddEmptyNode)
VXHOST_VARIADIC_CALL(Sg_Attach, SgToken, Attach)
VXHOST_VARIADIC_CALL(Sg_Detach, SgToken, Detach)
VXHOST_VARIADIC_CALL(Sg_Transform, SgToken, Transform)
VXHOST_VARIADIC_CALL(Sg_AddDefaultAnimationChannels, SgToken, AddDefaultChannels)
