// The Python module varnex._varnex: load(), load_takes(), validate() and the
// Take with its numpy arrays. Option values are checked by the command
// line's own checks; imports and exports run in module_host.cpp with the
// interpreter's lock released; what the plug-in says becomes warnings, and
// a failure ImportFailed.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <varnex/host.h>

#include "io/output_option.h"
#include "io/text_case.h"
#include "python/module_host.h"
#include "python/take_arrays.h"
#include "scene/take_edits.h"
#include "scene/take_meaning.h"
#include "session/import_session.h"
#include "session/reduction_options.h"

namespace py = pybind11;

namespace varnex {

namespace {

// -- Text

// Names as the file spells them; bytes that are not UTF-8 survive as
// surrogates, as Python keeps such file names.
py::str Text(const std::string& text) {
  PyObject* decoded = PyUnicode_DecodeUTF8(text.data(), Py_ssize_t(text.size()), "surrogateescape");
  if (decoded == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(decoded);
}

py::tuple Texts(const std::vector<std::string>& texts) {
  py::tuple tuple(texts.size());
  for (size_t i = 0; i < texts.size(); ++i) tuple[i] = Text(texts[i]);
  return tuple;
}

// -- Errors and warnings

PyObject* importFailedType = nullptr;
PyObject* varnexWarningType = nullptr;
PyObject* pluginWarningType = nullptr;

[[noreturn]] void RaiseImportFailed(const std::string& message, const std::string& path,
                                    const std::vector<std::string>& messages = {}) {
  py::object error = py::reinterpret_borrow<py::object>(importFailedType)(Text(message));
  error.attr("path") = Text(path);
  error.attr("messages") = py::list(Texts(messages));
  PyErr_SetObject(importFailedType, error.ptr());
  throw py::error_already_set();
}

// A Python error of TYPE whose message may hold a path that is not UTF-8.
[[noreturn]] void Raise(PyObject* type, const std::string& message) {
  PyErr_SetObject(type, Text(message).ptr());
  throw py::error_already_set();
}

// A warning at the caller's line; a filter may make it an error.
void Warn(PyObject* category, const std::string& text) {
  py::module_::import("warnings").attr("warn")(Text(text), py::handle(category), 1);
}

// A message's text without the line end the host adds or the plug-in wrote.
std::string MessageText(const vxhost::Message& message) {
  std::string text = message.text;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::vector<std::string> MessageTexts(const std::vector<vxhost::Message>& messages) {
  std::vector<std::string> texts;
  for (const vxhost::Message& message : messages) texts.push_back(MessageText(message));
  return texts;
}

void WarnMessages(const std::vector<vxhost::Message>& messages) {
  for (const vxhost::Message& message : messages) Warn(pluginWarningType, MessageText(message));
}

// After an import that an interrupt stopped: Python's handler gets the
// signal now, and raises KeyboardInterrupt in the main thread. Elsewhere,
// or when the user's handler raises nothing, the import still failed.
[[noreturn]] void RaiseStopped(const std::string& file) {
  PyErr_SetInterruptEx(SIGINT);
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  RaiseImportFailed("the import of " + file + " was stopped by an interrupt", file);
}

// A path as the system takes it: os.fsencode's bytes, so that a name that
// is not UTF-8 reaches the file it names.
std::string PathText(const py::object& path) {
  return py::bytes(py::module_::import("os").attr("fsencode")(path)).cast<std::string>();
}

// -- Options

// A value as the command line would read it: numbers as Python writes them.
std::string OptionText(const py::handle& value) { return py::str(value).cast<std::string>(); }

std::string Checked(const char* name, const CLI::Validator& check, const py::handle& value) {
  std::string text = OptionText(value);
  const std::string problem = check(text);
  if (!problem.empty()) Raise(PyExc_ValueError, std::string(name) + ": " + problem);
  return text;
}

// load()'s keyword options, in the order of its signature.
struct OptionValues {
  py::object frameRate, reduceTranslation, reduceRotation, distanceThreshold, angularThreshold, up, jointPositions,
      scale, height;
  bool asBuilt = false, acclaimRootScale = true;
  py::object frames, fps;
  bool inPlace = false;
};

std::optional<bool> Flag(const char* name, const py::object& value) {
  if (value.is_none()) return std::nullopt;
  if (!py::isinstance<py::bool_>(value)) Raise(PyExc_TypeError, std::string(name) + " must be True, False or None");
  return value.cast<bool>();
}

// As the command line's option groups refuse two options given together.
void Exclude(const char* name, const char* other, bool both) {
  if (both) Raise(PyExc_ValueError, std::string(name) + " excludes " + other);
}

LoadOptions Options(const py::object& skeleton, const OptionValues& given) {
  LoadOptions options;
  if (!skeleton.is_none()) options.skeleton = PathText(skeleton);
  if (!given.frameRate.is_none())
    options.frameRate = std::stoi(Checked("frame_rate", FrameRateCheck(), given.frameRate));
  options.reduction.reduceTranslation = Flag("reduce_translation", given.reduceTranslation);
  options.reduction.reduceRotation = Flag("reduce_rotation", given.reduceRotation);
  if (!given.distanceThreshold.is_none())
    options.reduction.distanceThreshold = Checked("distance_threshold", ThresholdCheck(), given.distanceThreshold);
  if (!given.angularThreshold.is_none())
    options.reduction.angularThreshold = Checked("angular_threshold", ThresholdCheck(), given.angularThreshold);
  MeaningOptions& meaning = options.meaning;
  if (!given.up.is_none()) meaning.up = Checked("up", UpAxisCheck(), given.up);
  if (!given.jointPositions.is_none())
    meaning.jointPositions = Checked("joint_positions", JointPositionsCheck(), given.jointPositions);
  if (!given.scale.is_none()) meaning.scale = std::stod(Checked("scale", PositiveNumberCheck(), given.scale));
  if (!given.height.is_none()) meaning.height = std::stod(Checked("height", PositiveNumberCheck(), given.height));
  Exclude("height", "scale", !given.height.is_none() && !given.scale.is_none());
  Exclude("as_built", "up", given.asBuilt && !given.up.is_none());
  Exclude("as_built", "joint_positions", given.asBuilt && !given.jointPositions.is_none());
  Exclude("as_built", "height", given.asBuilt && !given.height.is_none());
  meaning.asBuilt = given.asBuilt;
  meaning.acclaimRootScale = given.acclaimRootScale;
  if (!given.frames.is_none()) {
    std::string error;
    if (!ParseFrameRange(OptionText(given.frames), meaning.edits, error)) Raise(PyExc_ValueError, "frames: " + error);
  }
  if (!given.fps.is_none())
    meaning.edits.fps = std::stoi(Checked("fps", CLI::Range(1, vxhost::kTicksPerSecond), given.fps));
  meaning.edits.inPlace = given.inPlace;
  return options;
}

// -- Take

class PyTake {
 public:
  explicit PyTake(std::shared_ptr<const LoadedTake> take) : take_(std::move(take)) {}

  const LoadedTake& loaded() const { return *take_; }
  const Take& take() const { return take_->take; }
  size_t frames() const { return FrameCount(take()); }
  size_t nodes() const { return take().nodes.size(); }

  // An array made once, on first use, and read-only from then on: every
  // use shares it.
  template <typename Fill>
  py::object Cached(py::object& cache, std::vector<py::ssize_t> shape, Fill fill) const {
    if (cache) return cache;
    py::array_t<double> array(shape);
    double* data = array.mutable_data();
    {
      py::gil_scoped_release release;
      fill(take(), data);
    }
    array.attr("setflags")(py::arg("write") = false);
    cache = array;
    return cache;
  }

  mutable py::object times, offsets, localTranslations, localRotations, worldPositions;

 private:
  std::shared_ptr<const LoadedTake> take_;
};

std::string Repr(const PyTake& self) {
  const LoadedTake& loaded = self.loaded();
  return "<varnex.Take " + loaded.files.name + ": " + std::to_string(self.nodes()) + " nodes, " +
         std::to_string(self.frames()) + " frames at " + std::to_string(loaded.frameRate) + " fps>";
}

py::array_t<int32_t> Parents(const PyTake& self) {
  py::array_t<int32_t> parents(py::ssize_t(self.nodes()));
  int32_t* out = parents.mutable_data();
  for (const TakeNode& node : self.take().nodes) *out++ = node.parent;
  parents.attr("setflags")(py::arg("write") = false);
  return parents;
}

py::tuple Names(const PyTake& self) {
  std::vector<std::string> names;
  for (const TakeNode& node : self.take().nodes) names.push_back(node.name);
  return Texts(names);
}

// What the exports adjust and why, as the command line's line for the take
// says it: "up z (…)", "joint positions replace OFFSET (…)".
py::tuple Adjustments(const PyTake& self) {
  std::vector<std::string> said;
  for (const MeaningNote& note : self.loaded().meaning.notes)
    if (note.adjusts || !note.why.empty()) said.push_back(note.what + (note.why.empty() ? "" : " (" + note.why + ")"));
  return Texts(said);
}

void Save(const PyTake& self, const py::object& path, const py::object& format, bool exact) {
  const std::string target = PathText(path);
  std::string chosen;
  if (format.is_none()) {
    chosen = FormatOfPath(target);
    if (chosen.empty()) {
      std::string text = target;
      const std::string problem = OutputPathCheck(ExportFormats())(text);
      Raise(PyExc_ValueError, problem.empty() ? target + ": give format= to name what to write there" : problem);
    }
  } else {
    chosen = LowerCase(OptionText(format));
    const std::string problem = CLI::IsMember(ExportFormats())(chosen);
    if (!problem.empty()) Raise(PyExc_ValueError, "format: " + problem);
    std::vector<std::string> extensions = {chosen};
    if (chosen == "glb" || chosen == "gltf") extensions = {"glb", "gltf"};
    std::string text = target;
    if (const std::string refused = OutputPathCheck(extensions)(text); !refused.empty())
      Raise(PyExc_ValueError, refused);
  }
  SaveOutcome outcome;
  {
    py::gil_scoped_release release;
    outcome = SaveTake(self.loaded(), target, chosen, exact);
  }
  if (outcome.stopped) RaiseStopped(self.loaded().files.motion.string());
  if (outcome.importFailed)
    RaiseImportFailed(outcome.failure, self.loaded().files.motion.string(), MessageTexts(outcome.messages));
  if (!outcome.failure.empty()) Raise(PyExc_RuntimeError, outcome.failure);
}

// -- Loading

PyTake LoadOne(const std::string& file, const LoadOptions& options) {
  LoadOutcome outcome;
  {
    py::gil_scoped_release release;
    outcome = LoadTake(file, options);
  }
  if (!outcome.problem.empty()) Raise(PyExc_RuntimeError, outcome.problem);
  WarnMessages(outcome.messages);
  if (outcome.stopped) RaiseStopped(file);
  if (outcome.outOfMemory) Raise(PyExc_MemoryError, outcome.failure);
  if (outcome.editsRefused) Raise(PyExc_ValueError, outcome.failure);
  if (!outcome.failure.empty()) RaiseImportFailed(outcome.failure, file, MessageTexts(outcome.messages));
  for (const std::string& notice : outcome.notices) Warn(varnexWarningType, notice);
  return PyTake(outcome.take);
}

PyTake Load(const py::object& path, const py::object& skeleton, const py::object& frameRate,
            const py::object& reduceTranslation, const py::object& reduceRotation, const py::object& distanceThreshold,
            const py::object& angularThreshold, const py::object& up, const py::object& jointPositions,
            const py::object& scale, const py::object& height, bool asBuilt, bool acclaimRootScale,
            const py::object& frames, const py::object& fps, bool inPlace) {
  const LoadOptions options =
      Options(skeleton, {frameRate, reduceTranslation, reduceRotation, distanceThreshold, angularThreshold, up,
                         jointPositions, scale, height, asBuilt, acclaimRootScale, frames, fps, inPlace});
  return LoadOne(PathText(path), options);
}

std::vector<PyTake> LoadTakes(const py::object& skeleton, const py::iterable& motions, const py::object& frameRate,
                              const py::object& reduceTranslation, const py::object& reduceRotation,
                              const py::object& distanceThreshold, const py::object& angularThreshold,
                              const py::object& up, const py::object& jointPositions, const py::object& scale,
                              const py::object& height, bool asBuilt, bool acclaimRootScale,
                              const py::object& frames, const py::object& fps, bool inPlace) {
  const LoadOptions options =
      Options(skeleton, {frameRate, reduceTranslation, reduceRotation, distanceThreshold, angularThreshold, up,
                         jointPositions, scale, height, asBuilt, acclaimRootScale, frames, fps, inPlace});
  std::vector<std::string> files;
  for (const py::handle motion : motions) files.push_back(PathText(py::reinterpret_borrow<py::object>(motion)));
  std::vector<PyTake> takes;
  for (const std::string& file : files) takes.push_back(LoadOne(file, options));
  return takes;
}

int32_t Validate(const py::object& path) {
  const std::string file = PathText(path);
  HeaderOutcome outcome;
  {
    py::gil_scoped_release release;
    outcome = ValidateHeader(file);
  }
  if (!outcome.problem.empty()) Raise(PyExc_RuntimeError, outcome.problem);
  return outcome.code;
}

}  // namespace

}  // namespace varnex

PYBIND11_MODULE(_varnex, m) {
  using namespace varnex;
  m.doc() = "The varnex import plug-in, run as the varnex command runs it, with takes as numpy arrays.";
  m.attr("__version__") = VARNEX_VERSION;

  importFailedType = PyErr_NewExceptionWithDoc(
      "varnex.ImportFailed", "The plug-in refused or failed to import a file; the message is its own.",
      PyExc_Exception, nullptr);
  varnexWarningType = PyErr_NewExceptionWithDoc(
      "varnex.VarnexWarning", "What varnex says of an import: what the options file or the file left open.",
      PyExc_UserWarning, nullptr);
  pluginWarningType = PyErr_NewExceptionWithDoc(
      "varnex.PluginWarning", "A message of the plug-in during an import.", varnexWarningType, nullptr);
  m.attr("ImportFailed") = py::handle(importFailedType);
  m.attr("VarnexWarning") = py::handle(varnexWarningType);
  m.attr("PluginWarning") = py::handle(pluginWarningType);

  const auto options = std::make_tuple(
      py::arg("frame_rate") = py::none(), py::arg("reduce_translation") = py::none(),
      py::arg("reduce_rotation") = py::none(), py::arg("distance_threshold") = py::none(),
      py::arg("angular_threshold") = py::none(), py::arg("up") = py::none(), py::arg("joint_positions") = py::none(),
      py::arg("scale") = py::none(), py::arg("height") = py::none(), py::arg("as_built") = false,
      py::arg("acclaim_root_scale") = true, py::arg("frames") = py::none(), py::arg("fps") = py::none(),
      py::arg("in_place") = false);
  std::apply(
      [&](const auto&... option) {
        m.def("load", &Load, py::arg("path"), py::kw_only(), py::arg("skeleton") = py::none(), option...,
              "Imports a BVH file, an ASF skeleton (with the AMC motion of the same name beside it) or an AMC "
              "motion with its skeleton, and answers the Take.");
        m.def("load_takes", &LoadTakes, py::arg("skeleton"), py::arg("motions"), py::kw_only(), option...,
              "Imports each AMC motion with the one ASF skeleton, and answers the Takes in order.");
      },
      options);
  m.def("validate", &Validate, py::arg("path"),
        "The plug-in's header code of a file: 1 accepted, -1 cannot be opened, -2 not accepted.");

  py::class_<PyTake>(m, "Take", "One imported take: its nodes, and their motion as numpy arrays.")
      .def_property_readonly("name", [](const PyTake& self) { return Text(self.loaded().files.name); })
      .def_property_readonly("fps", [](const PyTake& self) { return self.loaded().frameRate; })
      .def_property_readonly("frame_count", &PyTake::frames)
      .def_property_readonly("times",
                             [](const PyTake& self) {
                               return self.Cached(self.times, {py::ssize_t(self.frames())}, FillTimes);
                             })
      .def_property_readonly("paths", [](const PyTake& self) { return Texts(self.loaded().paths); })
      .def_property_readonly("names", &Names)
      .def_property_readonly("parents", &Parents)
      .def_property_readonly("kinds", [](const PyTake& self) { return Texts(self.loaded().kinds); })
      .def_property_readonly("rotation_orders", [](const PyTake& self) { return Texts(self.loaded().orders); })
      .def_property_readonly("adjustments", &Adjustments)
      .def_property_readonly("height", [](const PyTake& self) { return self.loaded().meaning.height; })
      .def_property_readonly("offsets",
                             [](const PyTake& self) {
                               return self.Cached(self.offsets, {py::ssize_t(self.nodes()), 3}, FillOffsets);
                             })
      .def_property_readonly("local_translations",
                             [](const PyTake& self) {
                               return self.Cached(self.localTranslations,
                                                  {py::ssize_t(self.frames()), py::ssize_t(self.nodes()), 3},
                                                  FillLocalTranslations);
                             })
      .def_property_readonly("local_rotations",
                             [](const PyTake& self) {
                               return self.Cached(self.localRotations,
                                                  {py::ssize_t(self.frames()), py::ssize_t(self.nodes()), 4},
                                                  FillLocalRotations);
                             })
      .def_property_readonly("world_positions",
                             [](const PyTake& self) {
                               return self.Cached(self.worldPositions,
                                                  {py::ssize_t(self.frames()), py::ssize_t(self.nodes()), 3},
                                                  FillWorldPositions);
                             })
      .def("save", &Save, py::arg("path"), py::kw_only(), py::arg("format") = py::none(), py::arg("exact") = false,
           "Writes the take as the varnex command line exports it, in the format of the path's extension "
           "(.glb, .gltf, .csv, .json, .svg, .html, .bvh) or the one named.")
      .def("__repr__", &Repr);
}
