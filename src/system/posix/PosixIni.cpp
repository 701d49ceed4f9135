#include "system/posix/PosixIni.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "system/posix/PosixFiles.h"

namespace zeph::posix {

// A file's bytes by offset; keeps the errno of a failed read. The first
// 4 KiB are read once and kept: a small file (the settings file read at
// every tick, a profile read value by value) then costs one read however
// often its start is looked at.
class FileSource final : public ini::ByteSource {
 public:
  explicit FileSource(int fd) : fd_(fd) {}
  bool ReadAt(uint64_t offset, char* out, size_t size, size_t* got) override {
    *got = 0;
    if (fd_ < 0) return true;  // no file: no bytes
    if (offset < sizeof head_) {
      if (headSize_ < 0 && !Read(0, head_, sizeof head_, &headSize_)) return false;
      const auto held = static_cast<uint64_t>(headSize_);
      if (offset < held) {
        *got = static_cast<size_t>(std::min<uint64_t>(size, held - offset));
        std::memcpy(out, head_ + offset, *got);
        return true;
      }
      if (held < sizeof head_) return true;  // the file ends within the head
    }
    ssize_t n = 0;
    if (!Read(offset, out, size, &n)) return false;
    *got = static_cast<size_t>(n);
    return true;
  }
  int error() const { return error_ ? error_ : EIO; }

 private:
  bool Read(uint64_t offset, char* out, size_t size, ssize_t* got) {
    for (;;) {
      ssize_t n = pread(fd_, out, size, static_cast<off_t>(offset));
      if (n >= 0) {
        *got = n;
        return true;
      }
      if (errno != EINTR) {
        error_ = errno;
        return false;
      }
    }
  }

  int fd_;
  int error_ = 0;
  char head_[4096];
  ssize_t headSize_ = -1;  // -1 until read
};

namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool Fail(int* error, int code) {
  if (error) *error = code;
  return false;
}

}  // namespace

std::string ReadIniValue(const std::string& nativePath, const std::string& section,
                         const std::string& key, const std::string& def, size_t bufferSize) {
  std::string value;
  if (!ReadIniValueIfThere(nativePath, section, key, def, bufferSize, &value))
    return ini::DefaultValue(def, bufferSize);
  return value;
}

bool ReadIniValueIfThere(const std::string& nativePath, const std::string& section,
                         const std::string& key, const std::string& def, size_t bufferSize,
                         std::string* value) {
  int fd = -1;
  int error = 0;
  if (OpenRegularFile(nativePath, &fd, &error) != ReadStatus::Okay) {
    if (error == ENOENT || error == ENOTDIR) return false;
    *value = ini::DefaultValue(def, bufferSize);
    return true;
  }
  Descriptor file(fd);
  FileSource source(fd);
  // A file that cannot be read reads as an empty one.
  if (!ini::ReadValue(&source, section, key, def, bufferSize, value))
    *value = ini::DefaultValue(def, bufferSize);
  return true;
}

bool WriteIniValue(const std::string& nativePath, const std::string& section,
                   const std::string& key, const std::string& value, int* error) {
  return WriteIniValues(nativePath, {IniEntry{section, key, value}}, error);
}

bool WriteIniValues(const std::string& nativePath, const std::vector<IniEntry>& entries,
                    int* error) {
  int fd = -1;
  int openError = 0;
  const ReadStatus status = OpenRegularFile(nativePath, &fd, &openError);
  // A file that exists but cannot be read must not be replaced by a new one,
  // and what is no regular file is never written.
  if (status == ReadStatus::OtherError) return Fail(error, openError);
  if (status == ReadStatus::NotFound && openError != ENOENT && openError != ENOTDIR) {
    return Fail(error, openError);
  }
  Descriptor file(fd);
  FileSource source(fd);
  std::vector<ini::Edit> edits;
  if (!ini::PlanWrites(&source, entries, &edits)) return Fail(error, source.error());
  // Writing what the file already holds changes nothing: leave it alone.
  if (edits.empty()) return true;
  bool readFailed = false;
  const bool written = StreamFileAtomic(
      nativePath,
      [&](const PutBytes& put) {
        const bool ok = ini::ApplyEdits(&source, edits, put);
        readFailed = !ok;
        return ok;
      },
      Sync::Replace, error);
  if (!written && readFailed && error && *error == EIO) *error = source.error();
  return written;
}

std::unique_ptr<IniFileReader> IniFileReader::Open(const std::string& nativePath, int* error) {
  return Open(nativePath, ini::IndexLimits(), error);
}

std::unique_ptr<IniFileReader> IniFileReader::Open(const std::string& nativePath,
                                                   const ini::IndexLimits& limits, int* error) {
  int fd = -1;
  int openError = 0;
  const ReadStatus status = OpenRegularFile(nativePath, &fd, &openError);
  if (status != ReadStatus::Okay) {
    if (error) *error = status == ReadStatus::NotFound ? ENOENT : openError;
    return nullptr;
  }
  std::unique_ptr<IniFileReader> reader(new IniFileReader(fd));
  if (!reader->index_.Build(reader->source_.get(), limits)) {
    if (error) *error = reader->source_->error();
    return nullptr;
  }
  if (error) *error = 0;
  return reader;
}

IniFileReader::IniFileReader(int fd) : fd_(fd), source_(std::make_unique<FileSource>(fd)) {}

IniFileReader::~IniFileReader() { close(fd_); }

std::string IniFileReader::Read(const std::string& section, const std::string& key,
                                const std::string& def, size_t bufferSize) {
  std::string value;
  if (!index_.Read(source_.get(), section, key, def, bufferSize, &value)) {
    return ini::DefaultValue(def, bufferSize);
  }
  return value;
}

}  // namespace zeph::posix
