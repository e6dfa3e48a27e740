#pragma once
// What the file check lets a run do with the bytes it reads: compare a
// file's contents with what is expected of it. Nothing here reads a file;
// the check feeds what it has read anyway.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Takes a file's bytes in order.
class TDataSink {
 public:
  virtual ~TDataSink() = default;
  virtual void Data(const std::byte* data, std::size_t size) = 0;
  // Bytes that were not read because the file holds no data there (a hole
  // of a sparse file): they are zeros and count as such.
  virtual void Zeros(std::uint64_t count) = 0;
};

// A file read to its end whose contents are not what was expected. It is
// logged like a read failure, with the two digests where a read failure
// has its code and text.
struct TContentFailure {
  std::string Message;  // without the indent
  std::string Expected;
  std::string Actual;
};

// What is wrong with a file's contents; nothing when they are right.
using TContentVerdict = std::function<void(std::optional<TContentFailure> failure)>;

// All calls but the const ones come from the worker thread, one file at a time.
class TContentCheck {
 public:
  virtual ~TContentCheck() = default;
  // Whether the walk checks a file it has found at all.
  virtual bool Wanted(const std::string& path) = 0;
  // Before the file is read: where its bytes go, or null.
  virtual TDataSink* BeginFile(const std::string& path) = 0;
  // After the file was read to its listed size: verdict is called once,
  // at once or later from another thread (a check that hashes beside the
  // reads), so that the run can read on meanwhile.
  virtual void FileRead(const std::string& path, TContentVerdict verdict) = 0;
  // The bytes fed since BeginFile will not be judged: the file could not
  // be read through, or was skipped.
  virtual void FileDropped() {}
  // After the last item: files the run must still check, though no walk
  // met them (they are missing, or lie outside the items).
  virtual std::vector<std::string> FilesNotMet() = 0;

  // For counting a run ahead of it, from another thread (what a check
  // expects does not change while a run goes on): whether the walk checks
  // a file it finds, and which place of AfterWalk() it is, if any.
  struct TCountChoice {
    bool Checked = true;
    std::optional<std::size_t> AfterWalk;
  };
  virtual TCountChoice CountChoice(const std::string& /*path*/) const { return {}; }
  // The files FilesNotMet() names after the walks unless a walk meets them,
  // asked one at a time (there may be a million): how many places there
  // are, and the file at each (none for a place that stands for no file).
  virtual std::size_t AfterWalkPlaces() const { return 0; }
  virtual std::optional<std::string> AfterWalk(std::size_t /*place*/) const { return std::nullopt; }
  // Whether a directory that cannot be searched fails the run: not when
  // none of the files the check expects can lie in it.
  virtual bool SearchMatters(const std::string& /*directory*/) const { return true; }
};

namespace LogText {

// "文件内容与校验和不符.(SHA256)"
std::string ContentMismatchMessage(std::string_view algorithm);
// The failure's three lines under the file, and its three in the error list.
std::vector<std::string> ContentFailureLogLines(const TContentFailure& failure);
std::vector<std::string> ContentFailureErrorList(const TContentFailure& failure,
                                                 std::string_view path);

}  // namespace LogText
