// Report and warning lines of the tools' jobs. Printed by default: reports on standard output,
// warnings on the error stream. A program that runs the jobs inside itself collects them
// instead, per thread, while a ReportSink is in use.
#pragma once

#include <string>
#include <vector>

namespace vorb::tools {

struct ReportSink {
  std::vector<std::string> reports, warnings;
};

// Makes a sink the current one of this thread while it lives.
class UseReportSink {
 public:
  explicit UseReportSink(ReportSink& sink);
  ~UseReportSink();
  UseReportSink(const UseReportSink&) = delete;
  UseReportSink& operator=(const UseReportSink&) = delete;

 private:
  ReportSink* previous_;
};

// Whether this thread's lines are collected rather than printed.
bool reports_collected();
void report(const std::string& line);
void warn(const std::string& line);

}  // namespace vorb::tools
