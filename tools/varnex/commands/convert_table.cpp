// Convert's rows as the user sees them: what a worker left behind (its
// report and log) read into the row, the progress line, the closing table.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "commands/convert_jobs.h"
#include "commands/output_figures.h"

namespace varnex {

namespace fs = std::filesystem;

namespace {

std::string Figure(long long value) { return value < 0 ? "-" : std::to_string(value); }

}  // namespace

void Finish(Job& job, const WorkerEnd& end) {
  job.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - job.started).count();
  job.ok = end.ok;
  job.result = end.result;
  std::ifstream report(job.report);
  if (report) {
    const nlohmann::json figures = nlohmann::json::parse(report, nullptr, false);
    if (figures.is_object()) {
      job.joints = figures.value("joints", -1L);
      job.frames = figures.value("frames", -1L);
      job.duration = figures.value("seconds", -1.0);
      job.height = figures.value("height", -1.0);
      job.adjusted = figures.value("adjusted", std::string("-"));
    }
  }
  if (job.ok) {  // what the written file holds, not what the scene held
    const OutputFigures written = ReadOutputFigures(job.output);
    job.keys = written.keys;
    job.bytes = written.bytes;
  }
  std::ifstream log(job.log);
  std::string line;
  while (std::getline(log, line)) {
    if (!line.empty() && line.find_first_not_of(" \t\r") != std::string::npos) {
      job.firstMessage = line;
      if (!job.ok) break;  // for a failure the first message says most
    }
  }
  std::error_code ec;
  fs::remove(job.report, ec);
  fs::remove(job.log, ec);
}

void ShowProgress(size_t done, size_t total, size_t failed, size_t running, bool terminal) {
  if (!terminal) return;
  std::fprintf(stderr, "\r\033[Kconverting: %zu of %zu done, %zu running, %zu failed", done, total, running, failed);
  std::fflush(stderr);
}

void PrintTable(const std::vector<Job>& jobs) {
  std::vector<std::vector<std::string>> rows = {
      {"file", "result", "joints", "frames", "keys", "bytes", "height", "time", "adjusted"}};
  for (const Job& job : jobs) {
    char seconds[32], height[32] = "-";
    std::snprintf(seconds, sizeof seconds, "%.2f s", job.seconds);
    const std::string result = job.work.Renamed() ? job.result + " as " + job.work.output.filename().string() : job.result;
    if (job.height >= 0.0) std::snprintf(height, sizeof height, "%.4g", job.height);
    rows.push_back({job.input.string(), result, Figure(job.joints), Figure(job.frames), Figure(job.keys), Figure(job.bytes),
                    height, seconds, job.adjusted});
  }
  std::vector<size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows)
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      const bool number = c >= 2 && c + 1 < row.size();
      const std::string pad(widths[c] - row[c].size(), ' ');
      line += (c ? "  " : "") + (number ? pad + row[c] : row[c] + (c + 1 < row.size() ? pad : ""));
    }
    std::printf("%s\n", line.c_str());
  }
}

std::string Totals(const std::vector<Job>& jobs, size_t failed) {
  size_t converted = 0, upToDate = 0, unreadable = 0;
  for (const Job& job : jobs) {
    converted += job.ok && job.counted ? 1 : 0;
    upToDate += job.result == "up to date" ? 1 : 0;
    unreadable += job.unreadable ? 1 : 0;
  }
  std::string line = std::to_string(converted) + " converted, " + std::to_string(failed) + " failed";
  if (upToDate) line += ", " + std::to_string(upToDate) + " up to date";
  if (unreadable) line += ", " + std::to_string(unreadable) + " unreadable";
  return line;
}

}  // namespace varnex
