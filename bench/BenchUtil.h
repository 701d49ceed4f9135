// Small helpers the benchmarks share: timing, medians, temporary folders,
// files and option values.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace zeph::bench {

using Clock = std::chrono::steady_clock;

inline double MillisSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  if (n == 0) return 0;
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A new folder "<prefix>-<stamp>-<n>" in the temporary folder; ends the
// benchmark when none can be made.
inline std::filesystem::path MakeTempRoot(const std::string& prefix) {
  namespace fs = std::filesystem;
  const fs::path base = fs::temp_directory_path();
  const auto stamp = static_cast<unsigned long long>(Clock::now().time_since_epoch().count());
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    fs::path candidate = base / (prefix + "-" + std::to_string(stamp % 1000000007ull) + "-" +
                                 std::to_string(attempt));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) return candidate;
  }
  std::fprintf(stderr, "%s: cannot create a temporary folder in %s\n", prefix.c_str(),
               base.string().c_str());
  std::exit(1);
}

// Writes the file whole; ends the benchmark when it cannot.
inline void WriteFile(const std::filesystem::path& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary);
  out << contents;
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
    std::exit(1);
  }
}

// A positive whole number below limit, or fallback.
inline int ParseInt(const char* text, int fallback, long limit = 1000000) {
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  return (end && *end == '\0' && v > 0 && v < limit) ? static_cast<int>(v) : fallback;
}

}  // namespace zeph::bench
