// A zip archive as Windows' "Compressed (zipped) folder" writes it: stored
// or deflated entries, Zip64 where sizes need it. Entries are inflated as a
// stream, never written anywhere; what one may inflate to is capped, and
// sizes the archive claims are checked against what its bytes hold.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "byte_stream.h"

namespace triage {

struct ZipLimits {
  // Most bytes one entry may give, whatever it claims.
  uint64_t max_entry_bytes = uint64_t{2} << 30;
  // Past this much output, an entry inflating more than max_ratio times its
  // compressed bytes is taken for a deflate bomb (logs shrink far less).
  uint64_t ratio_floor_bytes = uint64_t{16} << 20;
  uint64_t max_ratio = 400;
  // Largest central directory read (about 100 bytes an entry).
  uint64_t max_directory_bytes = uint64_t{32} << 20;
};

struct ZipEntry {
  std::string name;  // as stored, decoded to UTF-8; only ever shown, never a path
  uint16_t flags = 0;
  uint16_t method = 0;
  uint64_t compressed_size = 0;
  uint64_t size = 0;
  uint64_t local_header = 0;
  bool is_folder() const { return !name.empty() && (name.back() == '/' || name.back() == '\\'); }
};

class ZipArchive {
 public:
  explicit ZipArchive(RandomAccessInput& input, ZipLimits limits = {})
      : input_(input), limits_(limits) {}

  // Reads the central directory. False, with `error` saying why, when the
  // input is no zip archive or its directory is cut or damaged.
  bool Open(std::string& error);
  const std::vector<ZipEntry>& entries() const { return entries_; }

  // The entry's bytes. Problems (cut archive, false sizes, the cap, an
  // unsupported method, damaged data) show in the stream's problem() once
  // it has ended.
  std::unique_ptr<ByteStream> OpenEntry(const ZipEntry& entry);

 private:
  bool ReadDirectory(uint64_t offset, uint64_t size, uint64_t count, std::string& error);

  RandomAccessInput& input_;
  ZipLimits limits_;
  std::vector<ZipEntry> entries_;
};

// Whether the bytes start like a zip archive.
bool LooksLikeZip(RandomAccessInput& input);

}  // namespace triage
