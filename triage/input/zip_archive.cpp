#include "zip_archive.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>

#include "decoder.h"
#include "platform/text/hex.h"

namespace triage {

namespace {

constexpr uint32_t kLocalHeader = 0x04034b50;
constexpr uint32_t kDirectoryRecord = 0x02014b50;
constexpr uint32_t kEnd = 0x06054b50;
constexpr uint32_t kEnd64Locator = 0x07064b50;
constexpr uint32_t kEnd64 = 0x06064b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kRecordSize = 46;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kMaxComment = 0xFFFF;
constexpr std::size_t kInputChunk = 256 * 1024;

uint16_t U16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t U64(const unsigned char* p) { return U32(p) | (static_cast<uint64_t>(U32(p + 4)) << 32); }

std::string EntryName(std::string_view raw) {
  // Bit 11 marks UTF-8; Windows otherwise writes the OEM code page, read
  // here as Windows-1252, which agrees on every ASCII name.
  std::string name;
  if (IsValidUtf8(raw)) {
    name.assign(raw);
  } else {
    AppendWindows1252(raw, name);
  }
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return name;
}

class FailedStream : public ByteStream {
 public:
  explicit FailedStream(std::string problem) : problem_(std::move(problem)) {}
  std::size_t Read(char*, std::size_t) override { return 0; }
  std::string problem() const override { return problem_; }

 private:
  std::string problem_;
};

std::string Bytes(uint64_t n) { return std::to_string(n) + " bytes"; }

std::string Hex(uint32_t value) { return velmora::text::HexNumber(value, 8); }

// What stored and deflated entries share: the archive's budget, spent by
// every byte given, and the CRC-32 of what was given, checked once the
// whole entry has been.
class EntryStream : public ByteStream {
 public:
  EntryStream(const ZipEntry& entry, const ZipLimits& limits, uint64_t& given)
      : expected_crc_(entry.crc), limits_(limits), given_(given) {}
  std::string problem() const override { return problem_; }

 protected:
  uint64_t ArchiveRoom() const {
    return limits_.max_archive_bytes > given_ ? limits_.max_archive_bytes - given_ : 0;
  }
  void Count(const char* data, std::size_t size) {
    given_ += size;
    while (size > 0) {
      auto piece = static_cast<uInt>(std::min<std::size_t>(size, std::numeric_limits<uInt>::max()));
      crc_ = crc32(crc_, reinterpret_cast<const Bytef*>(data), piece);
      data += piece;
      size -= piece;
    }
  }
  // Every byte the entry claims has been given.
  void CheckCrc() {
    if (problem_.empty() && crc_ != expected_crc_) {
      problem_ = "its bytes do not match the archive's checksum of them (CRC-32 " +
                 Hex(expected_crc_) + " recorded, " + Hex(static_cast<uint32_t>(crc_)) +
                 " read): the entry is damaged";
    }
  }
  std::string BudgetSpent() const {
    return "the archive's entries used up the budget of " + Bytes(limits_.max_archive_bytes) +
           " read from one archive; the rest of this one was not read";
  }

  uLong crc_ = crc32(0, nullptr, 0);
  uint32_t expected_crc_;
  ZipLimits limits_;
  uint64_t& given_;
  std::string problem_;
};

class StoredStream : public EntryStream {
 public:
  StoredStream(RandomAccessInput& input, uint64_t offset, uint64_t available, const ZipEntry& entry,
               const ZipLimits& limits, uint64_t& given)
      : EntryStream(entry, limits, given), input_(input), offset_(offset) {
    uint64_t claimed = std::min(entry.compressed_size, entry.size);
    left_ = std::min({claimed, available, limits.max_entry_bytes});
    if (entry.compressed_size != entry.size) {
      problem_ = "its two sizes disagree (" + Bytes(entry.compressed_size) + " stored, " +
                 Bytes(entry.size) + " claimed); read " + Bytes(left_);
    } else if (available < claimed) {
      problem_ = "the archive ends inside it: read " + Bytes(available) + " of " + Bytes(claimed);
    } else if (left_ < claimed) {
      problem_ = "it is larger than the " + Bytes(limits.max_entry_bytes) + " read of one entry";
    }
  }
  std::size_t Read(char* buffer, std::size_t size) override {
    if (left_ == 0) {
      CheckCrc();
      return 0;
    }
    if (ArchiveRoom() == 0) {
      if (problem_.empty()) problem_ = BudgetSpent();
      left_ = 0;
      return 0;
    }
    std::size_t want = static_cast<std::size_t>(std::min<uint64_t>({size, left_, ArchiveRoom()}));
    if (want == 0) return 0;
    std::size_t got = input_.ReadAt(offset_, buffer, want);
    if (got == 0) {
      problem_ = "reading the archive failed";
      left_ = 0;
    }
    Count(buffer, got);
    offset_ += got;
    left_ -= got;
    if (left_ == 0) CheckCrc();
    return got;
  }

 private:
  RandomAccessInput& input_;
  uint64_t offset_;
  uint64_t left_ = 0;
};

class DeflatedStream : public EntryStream {
 public:
  DeflatedStream(RandomAccessInput& input, uint64_t offset, uint64_t available,
                 const ZipEntry& entry, const ZipLimits& limits, uint64_t& given)
      : EntryStream(entry, limits, given),
        input_(input),
        offset_(offset),
        compressed_left_(std::min(available, entry.compressed_size)),
        archive_cut_(available < entry.compressed_size),
        claimed_(entry.size),
        limit_(std::min(entry.size, limits.max_entry_bytes)),
        in_(kInputChunk) {
    std::memset(&z_, 0, sizeof z_);
    if (inflateInit2(&z_, -MAX_WBITS) != Z_OK) {
      problem_ = "the inflater could not start";
      done_ = true;
    } else {
      started_ = true;
    }
  }
  ~DeflatedStream() override {
    if (started_) inflateEnd(&z_);
  }
  std::size_t Read(char* buffer, std::size_t size) override {
    if (done_) return 0;
    const uint64_t entry_room = limit_ - produced_;
    const uint64_t room = std::min(entry_room, ArchiveRoom());
    if (room == 0) {
      Overrun(entry_room == 0);
      return 0;
    }
    z_.next_out = reinterpret_cast<Bytef*>(buffer);
    z_.avail_out =
        static_cast<uInt>(std::min<uint64_t>({size, room, std::numeric_limits<uInt>::max()}));
    const uInt asked = z_.avail_out;
    while (z_.avail_out > 0 && !done_) {
      if (z_.avail_in == 0 && !Refill()) break;
      int result = inflate(&z_, Z_NO_FLUSH);
      if (result == Z_STREAM_END) {
        done_ = true;
        ended_ = true;
      } else if (result != Z_OK && !(result == Z_BUF_ERROR && z_.avail_in == 0)) {
        problem_ = "its compressed data is damaged";
        done_ = true;
      }
    }
    std::size_t got = asked - z_.avail_out;
    produced_ += got;
    Count(buffer, got);
    if (produced_ > limits_.ratio_floor_bytes &&
        produced_ / std::max<uint64_t>(consumed_ - z_.avail_in, 1) > limits_.max_ratio) {
      problem_ = "it inflates more than " + std::to_string(limits_.max_ratio) +
                 " times its compressed size, like a deflate bomb: read stopped after " +
                 Bytes(produced_);
      done_ = true;
    }
    if (ended_ && problem_.empty()) Ended();
    return got;
  }

 private:
  bool Refill() {
    if (compressed_left_ == 0) {
      problem_ = archive_cut_ ? "the archive ends inside it (cut archive)"
                              : "its compressed data ends before the entry does";
      done_ = true;
      return false;
    }
    std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(in_.size(), compressed_left_));
    std::size_t got = input_.ReadAt(offset_, in_.data(), want);
    if (got == 0) {
      problem_ = "reading the archive failed";
      done_ = true;
      return false;
    }
    offset_ += got;
    compressed_left_ -= got;
    consumed_ += got;
    z_.next_in = reinterpret_cast<Bytef*>(in_.data());
    z_.avail_in = static_cast<uInt>(got);
    return true;
  }

  // The compressed data ended where it says it does.
  void Ended() {
    if (produced_ < claimed_) {
      problem_ =
          "it holds " + Bytes(produced_) + ", fewer than the " + Bytes(claimed_) + " it claims";
    } else {
      CheckCrc();
    }
  }

  // The output reached the claimed size, the cap (`entry_full`) or the
  // archive's budget: anything more is reported and left unread.
  void Overrun(bool entry_full) {
    done_ = true;
    char probe[64];
    while (true) {
      z_.next_out = reinterpret_cast<Bytef*>(probe);
      z_.avail_out = sizeof probe;
      if (z_.avail_in == 0 && !Refill()) {
        problem_.clear();  // the claimed size was read in full: only the end mark was missing
        if (archive_cut_) {
          problem_ = "the archive ends inside it (cut archive)";
        } else if (produced_ == claimed_) {
          CheckCrc();
        }
        return;
      }
      int result = inflate(&z_, Z_NO_FLUSH);
      if (z_.avail_out != sizeof probe) break;
      if (result == Z_STREAM_END) {
        if (produced_ == claimed_ || !entry_full) Ended();
        return;
      }
      if (result != Z_OK && result != Z_BUF_ERROR) return;
    }
    if (!entry_full) {
      problem_ = BudgetSpent();
    } else if (limit_ < claimed_) {
      problem_ = "it is larger than the " + Bytes(limits_.max_entry_bytes) +
                 " read of one entry; the rest was not read";
    } else {
      problem_ = "it holds more than the " + Bytes(claimed_) + " it claims; only those were read";
    }
  }

  RandomAccessInput& input_;
  uint64_t offset_;
  uint64_t compressed_left_;
  bool archive_cut_;
  uint64_t claimed_;
  uint64_t limit_;
  std::vector<char> in_;
  z_stream z_;
  bool started_ = false;
  bool done_ = false;
  bool ended_ = false;
  uint64_t produced_ = 0;
  uint64_t consumed_ = 0;
};

}  // namespace

bool LooksLikeZip(RandomAccessInput& input) {
  unsigned char head[4];
  if (input.ReadAt(0, reinterpret_cast<char*>(head), 4) != 4) return false;
  uint32_t signature = U32(head);
  return signature == kLocalHeader || signature == kEnd;
}

bool ZipArchive::Open(std::string& error) {
  entries_.clear();
  uint64_t size = input_.size();
  if (size < kEndSize) {
    error = "too short for a zip archive";
    return false;
  }
  std::size_t tail_size =
      static_cast<std::size_t>(std::min<uint64_t>(size, kEndSize + kMaxComment));
  std::vector<unsigned char> tail(tail_size);
  uint64_t tail_start = size - tail_size;
  if (input_.ReadAt(tail_start, reinterpret_cast<char*>(tail.data()), tail_size) != tail_size) {
    error = "reading the archive failed";
    return false;
  }
  // The end record is the one whose comment reaches the end of the file
  // exactly. A comment may hold a look-alike that does too: the real record
  // comes first, its comment holding the look-alike. With none exact (bytes
  // appended after the archive), the last record found is taken.
  std::size_t at = tail_size - kEndSize + 1;
  std::size_t exact = tail_size, last = tail_size;
  while (at-- > 0) {
    if (U32(&tail[at]) != kEnd) continue;
    if (last == tail_size) last = at;
    if (tail_start + at + kEndSize + U16(&tail[at + 20]) == size) exact = at;
  }
  at = exact != tail_size ? exact : last;
  if (at == tail_size) {
    error = "no zip directory at its end (not a zip archive, or a cut one)";
    return false;
  }
  const unsigned char* end = &tail[at];
  uint64_t end_offset = tail_start + at;
  uint64_t count = U16(end + 10);
  uint64_t directory_size = U32(end + 12);
  uint64_t directory_offset = U32(end + 16);
  if (count == 0xFFFF || directory_size == 0xFFFFFFFF || directory_offset == 0xFFFFFFFF) {
    unsigned char locator[20];
    unsigned char record[56];
    if (end_offset < sizeof locator ||
        input_.ReadAt(end_offset - sizeof locator, reinterpret_cast<char*>(locator),
                      sizeof locator) != sizeof locator ||
        U32(locator) != kEnd64Locator ||
        input_.ReadAt(U64(locator + 8), reinterpret_cast<char*>(record), sizeof record) !=
            sizeof record ||
        U32(record) != kEnd64) {
      error = "its Zip64 directory end is missing or damaged";
      return false;
    }
    count = U64(record + 32);
    directory_size = U64(record + 40);
    directory_offset = U64(record + 48);
  }
  if (directory_offset > end_offset || directory_size > end_offset - directory_offset) {
    error = "its directory lies outside the archive (a cut or damaged archive)";
    return false;
  }
  if (directory_size > limits_.max_directory_bytes) {
    error = "its directory is larger than " + Bytes(limits_.max_directory_bytes);
    return false;
  }
  return ReadDirectory(directory_offset, directory_size, count, error);
}

bool ZipArchive::ReadDirectory(uint64_t offset, uint64_t size, uint64_t count, std::string& error) {
  std::vector<unsigned char> directory(static_cast<std::size_t>(size));
  if (size > 0 && input_.ReadAt(offset, reinterpret_cast<char*>(directory.data()),
                                directory.size()) != directory.size()) {
    error = "reading the archive's directory failed";
    return false;
  }
  if (count > size / kRecordSize) {
    error = "its directory claims more entries than it holds";
    return false;
  }
  entries_.reserve(static_cast<std::size_t>(count));
  std::size_t at = 0;
  for (uint64_t i = 0; i < count; ++i) {
    const unsigned char* r = directory.data() + at;
    if (directory.size() - at < kRecordSize || U32(r) != kDirectoryRecord) {
      error = "its directory is damaged at entry " + std::to_string(i + 1);
      return false;
    }
    std::size_t name_size = U16(r + 28), extra_size = U16(r + 30), comment_size = U16(r + 32);
    if (directory.size() - at - kRecordSize < name_size + extra_size + comment_size) {
      error = "its directory is damaged at entry " + std::to_string(i + 1);
      return false;
    }
    ZipEntry entry;
    entry.flags = U16(r + 8);
    entry.method = U16(r + 10);
    entry.crc = U32(r + 16);
    entry.compressed_size = U32(r + 20);
    entry.size = U32(r + 24);
    entry.local_header = U32(r + 42);
    entry.dos_time = U16(r + 12);
    entry.dos_date = U16(r + 14);
    const unsigned char* name = r + kRecordSize;
    entry.name = EntryName(std::string_view(reinterpret_cast<const char*>(name), name_size));
    // Zip64: the fields whose 32-bit values are all ones follow in the extra
    // field, in this order.
    const unsigned char* extra = name + name_size;
    for (std::size_t e = 0; e + 4 <= extra_size;) {
      std::size_t field_size = U16(extra + e + 2);
      if (U16(extra + e) == 0x0001) {
        const unsigned char* f = extra + e + 4;
        std::size_t left = std::min(field_size, extra_size - e - 4);
        auto take = [&](uint64_t& value) {
          if (value == 0xFFFFFFFF && left >= 8) {
            value = U64(f);
            f += 8;
            left -= 8;
          }
        };
        take(entry.size);
        take(entry.compressed_size);
        take(entry.local_header);
      }
      e += 4 + field_size;
    }
    entries_.push_back(std::move(entry));
    at += kRecordSize + name_size + extra_size + comment_size;
  }
  DropOverlappingEntries();
  return true;
}

// Each entry's bytes run from its local header through its compressed data;
// a header and the compressed size alone already reach no further than
// that, so entries of a sound archive never overlap here. Records that
// share a local header, or start inside another entry's bytes, would give
// those bytes again under other names (a small archive inflating to many
// times its budget): only the first of them in the archive is kept.
void ZipArchive::DropOverlappingEntries() {
  std::vector<std::size_t> order(entries_.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
    return entries_[a].local_header < entries_[b].local_header;
  });
  std::vector<bool> dropped(entries_.size(), false);
  std::size_t count = 0, kept = 0;
  uint64_t end = 0;
  std::string first, first_with;
  for (std::size_t i : order) {
    const ZipEntry& entry = entries_[i];
    if (i != order.front() && entry.local_header < end) {
      dropped[i] = true;
      if (count++ == 0) {
        first = entry.name;
        first_with = entries_[kept].name;
      }
      continue;
    }
    kept = i;
    const uint64_t span = kLocalSize + std::min<uint64_t>(entry.compressed_size, ~uint64_t{0} / 2);
    end = entry.local_header > ~uint64_t{0} - span ? ~uint64_t{0} : entry.local_header + span;
  }
  if (count == 0) return;
  std::vector<ZipEntry> entries;
  entries.reserve(entries_.size() - count);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (!dropped[i]) entries.push_back(std::move(entries_[i]));
  }
  entries_ = std::move(entries);
  problems_.push_back({InputProblemKind::OverlappingEntries, count, {first, first_with}});
}

std::unique_ptr<ByteStream> ZipArchive::OpenEntry(const ZipEntry& entry) {
  if (entry.flags & 0x0001) return std::make_unique<FailedStream>("it is encrypted");
  if (given_ >= limits_.max_archive_bytes && entry.size > 0) {
    return std::make_unique<FailedStream>(
        "it was not read: the entries before it used up the budget of " +
        Bytes(limits_.max_archive_bytes) + " read from one archive");
  }
  if (entry.method != 0 && entry.method != 8) {
    return std::make_unique<FailedStream>("its compression method (" +
                                          std::to_string(entry.method) +
                                          ") is neither stored nor deflated");
  }
  unsigned char local[kLocalSize];
  if (input_.ReadAt(entry.local_header, reinterpret_cast<char*>(local), kLocalSize) != kLocalSize ||
      U32(local) != kLocalHeader) {
    return std::make_unique<FailedStream>("its local header is missing (a cut or damaged archive)");
  }
  uint64_t data = entry.local_header + kLocalSize + U16(local + 26) + U16(local + 28);
  uint64_t available = data < input_.size() ? input_.size() - data : 0;
  if (entry.method == 0)
    return std::make_unique<StoredStream>(input_, data, available, entry, limits_, given_);
  return std::make_unique<DeflatedStream>(input_, data, available, entry, limits_, given_);
}

}  // namespace triage
