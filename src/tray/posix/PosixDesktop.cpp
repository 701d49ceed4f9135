#include <cstdio>
#include <cstdlib>

#include "tray/posix/DesktopBackends.h"

namespace zeph {

namespace posix {

namespace {

// Made, or why not.
std::unique_ptr<Desktop> Try(const DesktopBackend& backend, DesktopHost& host, std::string* why) {
  if (!backend.probe(host, why)) return nullptr;
  return backend.make(host, why);
}

}  // namespace

std::vector<DesktopBackend> LinuxDesktopBackends() {
  return {
      SniBackend(),
      {"terminal", [](const DesktopHost&, std::string*) { return true; },
       [](DesktopHost&, std::string*) { return MakeTerminalDesktop(); }},
  };
}

DesktopChoice ChooseDesktop(const std::vector<DesktopBackend>& backends, DesktopHost& host,
                            const char* forced) {
  DesktopChoice choice;
  const std::string asked = forced != nullptr ? forced : "";
  if (!asked.empty()) {
    const DesktopBackend* named = nullptr;
    std::string names;
    for (const DesktopBackend& backend : backends) {
      if (backend.name == asked) named = &backend;
      names += (names.empty() ? "" : ", ") + backend.name;
    }
    std::string why;
    if (named == nullptr) {
      choice.note =
          std::string(kDesktopVariable) + ": no desktop \"" + asked + "\" (" + names + ")";
    } else if ((choice.desktop = Try(*named, host, &why))) {
      choice.name = named->name;
      return choice;
    } else {
      choice.note = std::string(kDesktopVariable) + ": the desktop \"" + asked +
                    "\" cannot be used: " + (why.empty() ? "no reason given" : why);
    }
  }
  std::vector<std::string> passedOver;
  for (const DesktopBackend& backend : backends) {
    if (backend.name == asked) continue;  // tried already
    std::string why;
    if ((choice.desktop = Try(backend, host, &why))) {
      choice.name = backend.name;
      break;
    }
    passedOver.push_back(backend.name + ": " + (why.empty() ? "no reason given" : why));
  }
  for (const std::string& line : passedOver) {
    if (!choice.note.empty()) choice.note += "\n";
    choice.note += line;
    if (choice.desktop) choice.note += "; the desktop is \"" + choice.name + "\"";
  }
  return choice;
}

}  // namespace posix

std::unique_ptr<Desktop> CreatePlatformDesktop(EventLoop& loop) {
  // The POSIX loop (CreatePlatformSystem's) watches descriptors; another
  // loop leaves out the backends that need it.
  posix::DesktopHost host{loop, dynamic_cast<posix::DescriptorWatch*>(&loop)};
  posix::DesktopChoice choice = posix::ChooseDesktop(posix::LinuxDesktopBackends(), host,
                                                     std::getenv(posix::kDesktopVariable));
  if (!choice.note.empty()) {
    std::fprintf(stderr, "%s\n", choice.note.c_str());
    std::fflush(stderr);
  }
  return choice.desktop ? std::move(choice.desktop) : posix::MakeTerminalDesktop();
}

}  // namespace zeph
