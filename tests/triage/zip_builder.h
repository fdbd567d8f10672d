// Zip archives made in memory for the tests, with whatever lies they are
// asked to tell about their sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace triage::testing {

struct ZipItem {
  ZipItem(std::string name_, std::string data_, bool deflate_ = true,
          std::optional<uint32_t> claimed_size_ = std::nullopt,
          std::optional<uint32_t> claimed_compressed_size_ = std::nullopt)
      : name(std::move(name_)),
        data(std::move(data_)),
        deflate(deflate_),
        claimed_size(claimed_size_),
        claimed_compressed_size(claimed_compressed_size_) {}
  std::string name;
  std::string data;
  bool deflate = true;
  std::optional<uint32_t> claimed_size;             // else the true size
  std::optional<uint32_t> claimed_compressed_size;  // else the true one
  std::optional<uint32_t> claimed_crc;              // else the true CRC-32
  // No bytes of its own: the record points `shift` bytes past the start of
  // an earlier item's local entry, sizes and checksum copied from it.
  struct Alias {
    std::size_t item = 0;
    uint32_t shift = 0;
  };
  std::optional<Alias> alias;
};

// With `zip64`, every size and offset is in Zip64 fields, the 32-bit ones
// all ones, as large archives have them. `comment` ends the archive.
std::string MakeZip(const std::vector<ZipItem>& items, bool zip64 = false,
                    const std::string& comment = "");
// An alias record of `item`'s local entry, `shift` bytes into it.
ZipItem AliasOf(std::string name, std::size_t item, uint32_t shift = 0);
// Raw deflate (no zlib header), as zip entries hold it.
std::string Deflate(const std::string& data);
// UTF-16LE with a byte-order mark, as Windows writes its verbose logs.
std::string Utf16Le(const std::u16string& text);

}  // namespace triage::testing
