#include "report.hpp"

#include <cstdio>

namespace vorb::tools {
namespace {
thread_local ReportSink* current = nullptr;
}  // namespace

UseReportSink::UseReportSink(ReportSink& sink) : previous_(current) { current = &sink; }
UseReportSink::~UseReportSink() { current = previous_; }

bool reports_collected() { return current != nullptr; }

void report(const std::string& line) {
  if (current)
    current->reports.push_back(line);
  else
    std::printf("%s\n", line.c_str());
}

void warn(const std::string& line) {
  if (current) {
    current->warnings.push_back(line);
  } else {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", line.c_str());
  }
}

}  // namespace vorb::tools
