#include "system/ProcessHelpers.h"

#include "system/WinPath.h"

namespace zeph {

namespace {

// How long a wait may go without looking at the process again, for
// platforms that cannot wake us when it ends.
constexpr int kLookAgainMs = 100;

}  // namespace

int RunAndWait(Processes& processes, EventLoop& loop, const std::string& commandLine, bool noWait,
               SystemError* err) {
  std::unique_ptr<ProcessHandle> process = processes.Start(commandLine, err);
  if (!process) return -1;
  if (noWait) return 0;
  for (;;) {
    bool running = false;
    uint32_t code = 0;
    if (!process->State(&running, &code, err)) return -1;
    if (!running) return static_cast<int>(code);
    loop.WaitForObject(process->WaitObject(), kLookAgainMs);
  }
}

std::vector<std::string> SplitArguments(const std::string& text) {
  std::vector<std::string> args;
  size_t i = 0, n = text.size();
  for (;;) {
    while (i < n && IsBlank(text[i])) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || !IsBlank(text[i]))) {
      char c = text[i];
      if (c == '\\') {
        size_t k = 0;
        while (i + k < n && text[i + k] == '\\') ++k;
        if (i + k < n && text[i + k] == '"') {
          arg.append(k / 2, '\\');
          if (k % 2 == 1) {
            arg += '"';
            i += k + 1;
          } else {
            i += k;  // the quote groups; taken next round
          }
        } else {
          arg.append(k, '\\');
          i += k;
        }
      } else if (c == '"') {
        if (quoted && i + 1 < n && text[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += c;
        ++i;
      }
    }
    args.push_back(arg);
  }
  return args;
}

std::string QuotedProgram(const std::string& path) { return "\"" + path + "\""; }

}  // namespace zeph
