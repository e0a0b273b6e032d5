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
  ExportSettings exportSettings;
  std::optional<int32_t> frameRate;
  std::string skeleton;
  bool acclaimRootScale = false, merge = false, skipExisting = false;
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
  bool counted = true;  // false for rows that are not conversions (skeletons, up to date)
  long joints = -1, frames = -1, keys = -1;
  double duration = -1.0;  // of the take, in seconds
  std::string firstMessage;
};

// A row per take or merged skeleton; those that need no worker (no
// skeleton, up to date, a skeleton alone) are decided here.
std::vector<Job> PlanJobs(const Library& library, const ConvertOptions& options);

// The `varnex import` command line that converts the job.
std::vector<std::string> WorkerArguments(const HostOptions& host, const ConvertOptions& options, const Job& job);

// What the workers will not say where the user sees it: which rate timed the
// AMC takes, which skeletons' unit length root motion lacks; a line each.
void SayWhatAcclaimLeftOpen(const std::vector<Job>& jobs, const ConvertOptions& options);

// Takes the worker's end, figures and first (or last) message into the row.
void Finish(Job& job, const WorkerEnd& end);
void ShowProgress(size_t done, size_t total, size_t failed, size_t running, bool terminal);
void PrintTable(const std::vector<Job>& jobs);
// "N converted, N failed" and, when some were, ", N up to date".
std::string Totals(const std::vector<Job>& jobs, size_t failed);

}  // namespace varnex
