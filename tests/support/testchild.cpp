// A small child program for the tests. Built for both targets; copied under
// another name it stands in for a game.
//
//   testchild                 run until killed
//   testchild sleep MS        run MS milliseconds, then exit 0
//   testchild exit CODE       exit at once with CODE
//   testchild touch FILE [MS] create FILE, then run MS milliseconds (or until killed)
//   testchild hold FILE       (Windows) hold FILE open, sharing only reading, until killed
//   testchild anything else   exit at once with 64
//
// With ZEPH_TESTCHILD_LOG set, every start first appends its program name
// (argv[0]) as one line to that file, so a test can tell what ran.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

int main(int argc, char** argv) {
  if (const char* log = std::getenv("ZEPH_TESTCHILD_LOG")) {
    if (FILE* f = std::fopen(log, "ab")) {
      std::fprintf(f, "%s\n", argv[0]);
      std::fclose(f);
    }
  }
  auto sleepMs = [](long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  if (argc >= 3 && std::strcmp(argv[1], "exit") == 0) return std::atoi(argv[2]);
  if (argc >= 3 && std::strcmp(argv[1], "sleep") == 0) {
    sleepMs(std::atol(argv[2]));
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "touch") == 0) {
    if (FILE* f = std::fopen(argv[2], "wb")) std::fclose(f);
    if (argc >= 4) {
      sleepMs(std::atol(argv[3]));
      return 0;
    }
#ifdef _WIN32
  } else if (argc >= 3 && std::strcmp(argv[1], "hold") == 0) {
    HANDLE held = CreateFileA(argv[2], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) return 65;
#endif
  } else if (argc >= 2) {
    return 64;
  }
  for (;;) sleepMs(1000);
}
