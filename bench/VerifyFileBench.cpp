// One large file in the page cache: the file check against a plain loop of
// read() calls of the same size.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "BenchUtil.h"
#include "VerifierUnit.h"

namespace {

void PlainReads(const std::string& path, std::vector<std::byte>& buffer, std::size_t unit) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) std::abort();
  while (read(fd, buffer.data(), unit) > 0) {
  }
  close(fd);
}

std::string MakeFile(const std::string& dir, std::int64_t size) {
  const std::string path = dir + "/bench-512m.bin";
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  std::vector<char> chunk(1 << 20, 'k');
  for (std::int64_t done = 0; done < size; done += static_cast<std::int64_t>(chunk.size()))
    if (write(fd, chunk.data(), chunk.size()) < 0) std::abort();
  close(fd);
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp";
  const std::int64_t size = std::int64_t{512} << 20;
  const std::string path = MakeFile(dir, size);
  std::vector<std::byte> buffer(1 << 20);
  TVerifyStatus status;
  TVerifySetupInfo setup(dir + "/bench-KORVANE.INI");
  TVerifier verifier(status, setup, TVerifier::TNoThread{buffer.data(), buffer.size()},
                     {.Cached = true});
  PlainReads(path, buffer, 1 << 20);  // into the page cache

  bool ok = true;
  for (const auto& [unit, limit] : {std::pair{1048576, 1.05}, std::pair{1024, 1.15}}) {
    setup.ReadUnit = unit;
    const auto [seconds, baseline] = BestOf(
        5, [&] { verifier.VerifyFile(path, size, 0); },
        [&] { PlainReads(path, buffer, static_cast<std::size_t>(unit)); });
    ok &= ReportRatio("VerifyFile 512 MiB, unit " + std::to_string(unit) + " vs read() loop",
                      seconds, baseline, limit);
    std::printf("%-58s %8.0f MiB/s\n", "  throughput", 512 / seconds);
  }
  unlink(path.c_str());
  return ok ? 0 : 1;
}
