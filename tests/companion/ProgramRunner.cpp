#include "ProgramRunner.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "companion/standins/StandinHost.h"

namespace zeph::companion_test {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  static std::atomic<unsigned> counter{0};
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  if (error) throw std::runtime_error("no temporary folder: " + error.message());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path candidate =
        base / ("zeph-companion-" + std::to_string(standin::CurrentProcessId()) + "-" +
                std::to_string(counter++) + "-" + std::to_string(ticks % 1000000));
    if (fs::create_directory(candidate, error)) {
      path_ = candidate.string();
      return;
    }
  }
  throw std::runtime_error("cannot create a folder in " + base.string());
}

TempFolder::~TempFolder() {
  // A program that just ended may hold its files a moment longer (Wine).
  for (int attempt = 0; attempt < 50; ++attempt) {
    std::error_code error;
    fs::remove_all(path_, error);
    if (!error) return;
    SleepMs(100);
  }
}

std::string TempFolder::File(const std::string& name) const {
  return (fs::path(path_) / name).string();
}

std::string TempFolder::AddProgram(const std::string& buildPath, const std::string& name) const {
  const std::string target = File(name);
  std::error_code error;
  fs::copy_file(OpenablePath(buildPath), target, fs::copy_options::overwrite_existing, error);
  if (error) throw std::runtime_error("cannot copy " + buildPath + ": " + error.message());
  return target;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  return static_cast<bool>(out.flush());
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

RunResult Run(const std::string& program, const std::vector<std::string>& args,
              const std::string& outputStem, int timeoutMs) {
  RunResult result;
  const std::string outPath = outputStem + ".out";
  const std::string errPath = outputStem + ".err";
  {
    auto process = Process::Start(program, args, outPath, errPath);
    int code = -1;
    if (process->WaitForExit(timeoutMs, &code)) result.exitCode = code;
  }  // killed here if it did not end
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  return result;
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace zeph::companion_test
