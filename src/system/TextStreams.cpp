#include "system/TextStreams.h"

#include <cstring>

namespace zeph {

namespace {

constexpr size_t kChunk = 64 * 1024;

}  // namespace

LineReader::LineReader(std::unique_ptr<FileReader> file) : file_(std::move(file)) {
  buffer_.resize(kChunk);
}

bool LineReader::Fill(SystemError* err) {
  if (eof_) return false;
  if (begin_ > 0) {
    // Keep the part of a line read so far at the front.
    std::memmove(&buffer_[0], &buffer_[begin_], end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);  // a line longer than the buffer
  size_t got = 0;
  if (!file_->Read(&buffer_[end_], buffer_.size() - end_, &got, err)) {
    failed_ = true;
    return false;
  }
  if (got == 0) {
    eof_ = true;
    return false;
  }
  end_ += got;
  return true;
}

LineRead LineReader::Next(std::string* line, SystemError* err) {
  size_t scanned = begin_;
  for (;;) {
    const void* lf = std::memchr(buffer_.data() + scanned, '\n', end_ - scanned);
    if (lf) {
      size_t at = static_cast<size_t>(static_cast<const char*>(lf) - buffer_.data());
      bool cr = at > begin_ && buffer_[at - 1] == '\r';
      line->assign(buffer_, begin_, at - begin_ - (cr ? 1 : 0));
      lastEnding_ = cr ? "\r\n" : "\n";
      begin_ = at + 1;
      return LineRead::Line;
    }
    const size_t kept = end_ - begin_;
    if (!Fill(err)) {
      if (!eof_) return LineRead::Failed;
      if (end_ == begin_) return LineRead::End;
      line->assign(buffer_, begin_, end_ - begin_);
      lastEnding_ = "";
      begin_ = end_;
      return LineRead::Line;
    }
    scanned = kept;  // Fill moved the kept bytes to the front
  }
}

bool LineReader::AtEnd(SystemError* err) { return begin_ == end_ && !Fill(err); }

std::unique_ptr<LineReader> OpenLines(Files& files, const std::string& path, ReadResult* result,
                                      SystemError* err) {
  std::unique_ptr<FileReader> file = files.OpenRead(path, result, err);
  if (!file) return nullptr;
  return std::make_unique<LineReader>(std::move(file));
}

LineWriter::LineWriter(std::unique_ptr<WorkFile> file) : file_(std::move(file)) {
  buffer_.reserve(kChunk);
}

bool LineWriter::Flush(SystemError* err) {
  if (buffer_.empty()) return true;
  bool ok = file_->Write(buffer_.data(), buffer_.size(), err);
  buffer_.clear();
  return ok;
}

bool LineWriter::Write(const char* data, size_t size, SystemError* err) {
  if (buffer_.size() + size > kChunk && !Flush(err)) return false;
  if (size >= kChunk) return file_->Write(data, size, err);
  buffer_.append(data, size);
  return true;
}

bool LineWriter::WriteLine(const std::string& line, SystemError* err) {
  return Write(line.data(), line.size(), err) && Write("\r\n", 2, err);
}

bool LineWriter::Commit(SystemError* err) { return Flush(err) && file_->Commit(err); }

bool CopyFileOver(Files& files, const std::string& source, const std::string& destination,
                  SystemError* err) {
  ReadResult opened = ReadResult::Failed;
  std::unique_ptr<FileReader> in = files.OpenRead(source, &opened, err);
  if (!in) return false;
  std::unique_ptr<WorkFile> out = files.CreateWorkFile(destination, err);
  if (!out || !out->TakePermissionsOf(source, err)) return false;
  std::string buffer(kChunk, '\0');
  for (;;) {
    size_t got = 0;
    if (!in->Read(&buffer[0], buffer.size(), &got, err)) return false;
    if (got == 0) break;
    if (!out->Write(buffer.data(), got, err)) return false;
  }
  return out->Commit(err);
}

}  // namespace zeph
