// A zip archive as Windows' "Compressed (zipped) folder" writes it: stored
// or deflated entries, Zip64 where sizes need it. Entries are inflated as a
// stream, never written anywhere; what one entry, and all of them together,
// may give is capped, and the sizes and checksums the archive claims are
// checked against what its bytes hold.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "byte_stream.h"
#include "input_problem.h"

namespace triage {

struct ZipLimits {
  // Most bytes one entry may give, whatever it claims.
  uint64_t max_entry_bytes = uint64_t{2} << 30;
  // Most bytes all entries together may give. Twice the one-entry cap, so
  // that a collected folder holding one log at that cap still has its other
  // files read; an archive of many large entries stops here (a few seconds
  // of inflating) rather than running for minutes.
  uint64_t max_archive_bytes = uint64_t{4} << 30;
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
  uint32_t crc = 0;  // CRC-32 of its bytes, as the directory records it
  uint64_t compressed_size = 0;
  uint64_t size = 0;
  uint64_t local_header = 0;
  uint16_t dos_time = 0;  // when it was last written, as MS-DOS kept time
  uint16_t dos_date = 0;
  bool is_folder() const { return !name.empty() && (name.back() == '/' || name.back() == '\\'); }
};

class ZipArchive {
 public:
  explicit ZipArchive(RandomAccessInput& input, ZipLimits limits = {})
      : input_(input), limits_(limits) {}

  // Reads the central directory. False, with `error` saying why, when the
  // input is no zip archive or its directory is cut or damaged.
  bool Open(std::string& error);
  // In the directory's order. Records whose bytes lie inside another's are
  // left out (the first of them in the archive is kept) and named in notes().
  const std::vector<ZipEntry>& entries() const { return entries_; }
  // What was seen of the archive as a whole.
  const std::vector<InputProblem>& problems() const { return problems_; }

  // The entry's bytes; the stream must not outlive the archive. Problems
  // (cut archive, false sizes, a cap reached, an unsupported method, damaged
  // data, a wrong checksum) show in the stream's problem() once it has
  // ended. Once the entries read have given max_archive_bytes, further
  // entries are not read and say so.
  std::unique_ptr<ByteStream> OpenEntry(const ZipEntry& entry);

 private:
  bool ReadDirectory(uint64_t offset, uint64_t size, uint64_t count, std::string& error);
  void DropOverlappingEntries();

  RandomAccessInput& input_;
  ZipLimits limits_;
  std::vector<ZipEntry> entries_;
  std::vector<InputProblem> problems_;
  uint64_t given_ = 0;  // bytes given by all entries read so far
};

// Whether the bytes start like a zip archive.
bool LooksLikeZip(RandomAccessInput& input);

}  // namespace triage
