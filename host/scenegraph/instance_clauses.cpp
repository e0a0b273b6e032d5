// Sg_Instance: the attribute clauses of an instance, read against a table.
// A compound clause is its word, sub-attributes, then 1; a simple clause is
// its word and one value. Nothing changes unless the whole list is sound.
#include <algorithm>
#include <cstdarg>

#include "arglist.h"
#include "hostcall.h"
#include "scene.h"
#include "varnex/sg.h"

namespace vxhost {
namespace {

int AxisIndex(Word axis) { return axis == Word::Xaxis ? 0 : axis == Word::Yaxis ? 1 : 2; }

bool ReadEnabled(ArgReader& args) {
  args.Expect(Word::Enabled);
  return args.OnOff();
}

Constraint& ConstraintOf(Instance& instance, Word clause) {
  return clause == Word::Positionconstraint ? instance.position : instance.rotation;
}

// "minrange"/"maxrange" take either "value" and three floats, or an axis and
// "enabled" on/off.
void ReadRange(ArgReader& args, Instance& instance, Word clause, bool max) {
  Constraint& constraint = ConstraintOf(instance, clause);
  Word what = args.OneOf({Word::Value, Word::Xaxis, Word::Yaxis, Word::Zaxis});
  if (what == Word::Value) {
    const float* v = args.Vec3();
    if (v) std::copy(v, v + 3, max ? constraint.maxValue : constraint.minValue);
  } else if (what != Word::Other) {
    bool on = ReadEnabled(args);
    (max ? constraint.maxEnabled : constraint.minEnabled)[AxisIndex(what)] = on;
  }
}

using SubReader = void (*)(ArgReader&, Instance&, Word clause);
struct SubAttribute {
  Word clause;
  Word word;
  SubReader read;
};

const SubAttribute kSubAttributes[] = {
    {Word::Skeleton, Word::Endeffectornode, [](ArgReader& a, Instance& i, Word) { i.endEffector = ReadEnabled(a); }},
    {Word::Skeleton, Word::Jointnode, [](ArgReader& a, Instance& i, Word) { i.jointNode = ReadEnabled(a); }},
    {Word::Ikparams, Word::Thisisikanchor, [](ArgReader& a, Instance& i, Word) { i.ikAnchor = ReadEnabled(a); }},
    {Word::Ikparams, Word::Notaffectedbyikofdescendants,
     [](ArgReader& a, Instance& i, Word) { i.notAffectedByIkOfDescendants = ReadEnabled(a); }},
    {Word::Dofconstraintlocks, Word::Lockaxis,
     [](ArgReader& a, Instance& i, Word) {
       Word kind = a.OneOf({Word::Translate, Word::Rotate});
       Word axis = a.OneOf({Word::Xaxis, Word::Yaxis, Word::Zaxis});
       bool on = ReadEnabled(a);
       if (a.ok()) i.locked[kind == Word::Rotate ? 1 : 0][AxisIndex(axis)] = on;
     }},
    {Word::Positionconstraint, Word::Minrange, [](ArgReader& a, Instance& i, Word c) { ReadRange(a, i, c, false); }},
    {Word::Positionconstraint, Word::Maxrange, [](ArgReader& a, Instance& i, Word c) { ReadRange(a, i, c, true); }},
    {Word::Positionconstraint, Word::Worldspace,
     [](ArgReader& a, Instance& i, Word c) { ConstraintOf(i, c).worldSpace = ReadEnabled(a); }},
    {Word::Rotationconstraint, Word::Minrange, [](ArgReader& a, Instance& i, Word c) { ReadRange(a, i, c, false); }},
    {Word::Rotationconstraint, Word::Maxrange, [](ArgReader& a, Instance& i, Word c) { ReadRange(a, i, c, true); }},
    {Word::Rotationconstraint, Word::Worldspace,
     [](ArgReader& a, Instance& i, Word c) { ConstraintOf(i, c).worldSpace = ReadEnabled(a); }},
};

void ReadEulerOrder(ArgReader& args, Instance& instance) {
  int32_t* order = args.IntAddress();
  if (!order) return;
  if (*order < 0 || *order > 10 || *order % 2 != 0) {
    args.Fail("Euler order code " + std::to_string(*order) + " is none of 0, 2, 4, 6, 8, 10");
    return;
  }
  instance.eulerOrder = *order;
}

struct ClauseRule {
  Word word;
  bool compound;
  void (*open)(ArgReader&, Instance&);  // marks the clause, or reads a simple clause's value
};

const ClauseRule kClauses[] = {
    {Word::Skeleton, true, [](ArgReader&, Instance& i) { i.skeletonSet = true; }},
    {Word::Ikparams, true, [](ArgReader&, Instance& i) { i.ikSet = true; }},
    {Word::Dofconstraintlocks, true, [](ArgReader&, Instance&) {}},
    {Word::Positionconstraint, true, [](ArgReader&, Instance& i) { i.position.set = true; }},
    {Word::Rotationconstraint, true, [](ArgReader&, Instance& i) { i.rotation.set = true; }},
    {Word::Replacechannels, false,
     [](ArgReader& a, Instance& i) {
       if (a.Expect(Word::Eulerrotate)) i.replaceChannels = true;
     }},
    {Word::Eulerorder, false, ReadEulerOrder},
};

void ReadCompound(ArgReader& args, Instance& edit, Word clause) {
  for (;;) {
    const Token* token = nullptr;
    ArgReader::Head head = args.ReadHead(false, true, &token);
    if (head != ArgReader::Head::Token) return;
    const SubAttribute* rule = nullptr;
    for (const SubAttribute& sub : kSubAttributes)
      if (sub.clause == clause && sub.word == token->word) rule = &sub;
    if (!rule) {
      args.Fail(std::string("\"") + token->text + "\" is no attribute of \"" + WordText(clause) + "\"");
      return;
    }
    rule->read(args, edit, clause);
  }
}

void SetInstanceAttributes(void* first, va_list ap) {
  ArgReader args("Sg_Instance", first, ap);
  const char* name = args.Name();
  Instance* instance = name ? FindMutableInstance(name) : nullptr;
  if (name && !instance) args.Fail(std::string("no instance is named \"") + name + "\"");
  Instance edit;  // a working copy, committed only when the whole list is sound
  if (instance) edit = *instance;
  for (;;) {
    const Token* token = nullptr;
    ArgReader::Head head = args.ReadHead(true, false, &token);
    if (head != ArgReader::Head::Token) break;
    const ClauseRule* rule = nullptr;
    for (const ClauseRule& clause : kClauses)
      if (clause.word == token->word) rule = &clause;
    if (!rule) {
      args.Fail(std::string("unknown instance attribute \"") + token->text + "\"");
      break;
    }
    rule->open(args, edit);
    if (rule->compound) ReadCompound(args, edit, rule->word);
  }
  if (args.ok()) *instance = std::move(edit);
  args.Finish();
}

}  // namespace
}  // namespace vxhost

VXHOST_VARIADIC_CALL(Sg_Instance, const char*, SetInstanceAttributes)
