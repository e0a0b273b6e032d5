// The jobs of one `varnex convert`: its options, a row per take with what
// its worker reported, how the rows are planned and worker arguments made
// (convert_plan.cpp), and how they are shown (convert_table.cpp).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "commands/export_options.h"
#include "library/library_scan.h"
#include "library/output_record.h"
#include "session/reduction_options.h"
#include "commands/program.h"
#include "commands/worker_processes.h"

namespace varnex {

struct ConvertOptions {
  std::vector<std::string> inputs;
  std::string outDir;
  std::string format = "glb";
  int jobs = 0;
  ReductionOptions reduction;
  bool gallery = false;
  MeaningOptions meaning;
  std::optional<int32_t> frameRate;
  std::string skeleton;
  bool acclaimRootScale = true, merge = false, skipExisting = false;
  std::string shard;  // K/N
};

struct Job {
  LibraryJob work;
  std::filesystem::path input;   // as the table shows it
  std::filesystem::path output;
  std::filesystem::path report;  // the worker's figures, written on success
  std::filesystem::path log;     // the worker's messages
  std::chrono::steady_clock::time_point started;
  double seconds = 0.0;
  std::string result;   // empty while pending or running
  bool ok = false;
  bool counted = true;  // false for rows that are not conversions (skeletons, up to date, unreadable)
  bool unreadable = false;  // a folder or file of the library that could not be read
  long joints = -1, frames = -1;
  long long keys = -1, bytes = -1;  // of the written output
  double duration = -1.0;  // of the take, in seconds
  double height = -1.0;    // of its rest pose along up, in output units
  std::string adjusted = "-";  // what its exports adjusted
  std::string firstMessage;
  std::string note;                // said after the table whatever the result: where a clash moved the output
  std::vector<FileState> inputs;   // as they were when the worker started, for the output's record
};

// What an output's record must name besides its inputs: varnex's version,
// the format, the options that shape an output and the options file's digest.
std::vector<std::string> RecordSettings(const HostOptions& host, const ConvertOptions& options);

// A row per take or merged skeleton; those that need no worker (no
// skeleton, up to date by their record, a skeleton alone, unreadable) are decided here.
std::vector<Job> PlanJobs(const Library& library, const ConvertOptions& options, const std::vector<std::string>& settings);
// The files a run writes beside a job's output: its gallery card's, with --gallery.
std::vector<std::filesystem::path> CardFiles(const Job& job, const ConvertOptions& options);

// The options of a worker's command line that shape what it writes, the same
// for every job of the run.
std::vector<std::string> ShapingArguments(const ConvertOptions& options);
// The `varnex import` command line that converts the job.
std::vector<std::string> WorkerArguments(const HostOptions& host, const ConvertOptions& options, const Job& job);

// What the workers will not say where the user sees it: which rate timed the
// AMC takes, which skeletons' unit length root motion lacks; a line each.
void SayWhatAcclaimLeftOpen(const std::vector<Job>& jobs, const ConvertOptions& options);

// Takes the worker's end, figures and first (or last) message into the row.
void Finish(Job& job, const WorkerEnd& end);
void ShowProgress(size_t done, size_t total, size_t failed, size_t running, bool terminal);
void PrintTable(const std::vector<Job>& jobs);
// "N converted, N failed" and, when there are any, ", N up to date" and ", N unreadable".
std::string Totals(const std::vector<Job>& jobs, size_t failed);

}  // namespace varnex
