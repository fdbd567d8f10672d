// The zip reader on any bytes: no crash, no read outside the input, and no
// entry, nor all of them together, gives more than the caps allow.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "triage/input/zip_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  triage::MemoryInput input(std::string_view(reinterpret_cast<const char*>(data), size));
  triage::ZipLimits limits;
  limits.max_entry_bytes = 1 << 20;
  limits.max_archive_bytes = 3 << 20;
  limits.ratio_floor_bytes = 64 << 10;
  limits.max_directory_bytes = 1 << 20;
  triage::ZipArchive archive(input, limits);
  std::string error;
  if (!archive.Open(error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  char buffer[4096];
  std::size_t opened = 0;
  uint64_t archive_total = 0;
  for (const auto& entry : archive.entries()) {
    if (++opened > 32) break;
    auto stream = archive.OpenEntry(entry);
    uint64_t total = 0;
    while (std::size_t got = stream->Read(buffer, sizeof buffer)) {
      total += got;
      if (total > limits.max_entry_bytes) std::abort();
    }
    archive_total += total;
    if (archive_total > limits.max_archive_bytes) std::abort();
    (void)stream->problem();
  }
  return 0;
}
