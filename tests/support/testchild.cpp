// A small child program for the tests. Built for both targets; copied under
// another name it stands in for a game.
//
//   testchild                 run until killed
//   testchild sleep MS        run MS milliseconds, then exit 0
//   testchild exit CODE       exit at once with CODE
//   testchild touch FILE [MS] create FILE, then run MS milliseconds (or until killed)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

int main(int argc, char** argv) {
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
  }
  for (;;) sleepMs(1000);
}
