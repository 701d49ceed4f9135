#include "system/TextStreams.h"

#include <algorithm>
#include <cstring>

namespace zeph {

namespace {

constexpr size_t kChunk = 64 * 1024;

}  // namespace

LineReader::LineReader(std::unique_ptr<FileReader> file, std::string name, size_t maxLine)
    : file_(std::move(file)), name_(std::move(name)), maxLine_(maxLine) {
  buffer_.resize(kChunk);
}

bool LineReader::Fill(SystemError* err) {
  if (eof_ || failed_) return false;
  if (begin_ > 0) {
    // Keep the part of a line read so far at the front.
    std::memmove(&buffer_[0], &buffer_[begin_], end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  // A line longer than the buffer: it grows up to the longest line taken
  // and its line end, and no further (Next fails a longer line first).
  if (end_ == buffer_.size())
    buffer_.resize(std::min(buffer_.size() * 2, std::max(kChunk, maxLine_ + 2)));
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

LineRead LineReader::TooLong(SystemError* err) {
  failed_ = true;
  Fail(err, kLineTooLongCode,
       "line longer than " + std::to_string(maxLine_) + " bytes in " + name_);
  return LineRead::Failed;
}

LineRead LineReader::Next(std::string* line, SystemError* err) {
  if (failed_) return LineRead::Failed;
  size_t from = 0;  // bytes of the line at hand scanned so far, counted from begin_
  for (;;) {
    const char* data = buffer_.data() + begin_;
    const size_t have = end_ - begin_;
    const void* lfAt = std::memchr(data + from, '\n', have - from);
    const size_t lf = lfAt ? static_cast<size_t>(static_cast<const char*>(lfAt) - data) : have;
    const void* crAt = std::memchr(data + from, '\r', lf - from);
    const size_t cr = crAt ? static_cast<size_t>(static_cast<const char*>(crAt) - data) : have;
    const size_t at = std::min(cr, lf);  // the line end's first byte, or have
    if (at > maxLine_) return TooLong(err);
    if (at < have) {
      if (at == cr && at + 1 == have && !eof_) {
        // A CR last in what has been read: the next piece may begin with
        // its LF. Read on, and look at the CR again.
        from = at;
        if (!Fill(err) && failed_) return LineRead::Failed;
        continue;
      }
      const bool crLf = at == cr && at + 1 < have && data[at + 1] == '\n';
      line->assign(data, at);
      lastEnding_ = crLf ? "\r\n" : at == cr ? "\r" : "\n";
      begin_ += at + (crLf ? 2 : 1);
      return LineRead::Line;
    }
    from = have;
    if (!Fill(err)) {
      if (!eof_) return LineRead::Failed;
      if (end_ == begin_) return LineRead::End;
      line->assign(buffer_, begin_, end_ - begin_);
      lastEnding_ = "";
      begin_ = end_;
      return LineRead::Line;
    }
  }
}

bool LineReader::AtEnd(SystemError* err) { return begin_ == end_ && !Fill(err); }

std::unique_ptr<LineReader> OpenLines(Files& files, const std::string& path, ReadResult* result,
                                      SystemError* err) {
  std::unique_ptr<FileReader> file = files.OpenRead(path, result, err);
  if (!file) return nullptr;
  return std::make_unique<LineReader>(std::move(file), path);
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
