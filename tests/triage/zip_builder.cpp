#include "zip_builder.h"

#include <zlib.h>

#include <stdexcept>

namespace triage::testing {

namespace {

void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Put64(std::string& out, uint64_t v) {
  Put32(out, static_cast<uint32_t>(v));
  Put32(out, static_cast<uint32_t>(v >> 32));
}

}  // namespace

std::string Deflate(const std::string& data) {
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

ZipItem AliasOf(std::string name, std::size_t item, uint32_t shift) {
  ZipItem alias(std::move(name), "");
  alias.alias = ZipItem::Alias{item, shift};
  return alias;
}

std::string MakeZip(const std::vector<ZipItem>& items, bool zip64, const std::string& comment) {
  struct Written {
    uint32_t offset, crc, compressed, size;
    bool deflated;
  };
  std::vector<Written> written;
  std::string out, directory;
  for (const auto& item : items) {
    Written w;
    if (item.alias) {
      w = written.at(item.alias->item);
      w.offset += item.alias->shift;
    } else {
      std::string stored = item.deflate ? Deflate(item.data) : item.data;
      w.crc = item.claimed_crc.value_or(
          static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(item.data.data()),
                                      static_cast<uInt>(item.data.size()))));
      w.size = item.claimed_size.value_or(static_cast<uint32_t>(item.data.size()));
      w.compressed = item.claimed_compressed_size.value_or(static_cast<uint32_t>(stored.size()));
      w.offset = static_cast<uint32_t>(out.size());
      w.deflated = item.deflate;
      Put32(out, 0x04034b50);
      Put16(out, 20);
      Put16(out, 0);
      Put16(out, item.deflate ? 8 : 0);
      Put32(out, 0);  // time and date
      Put32(out, w.crc);
      Put32(out, w.compressed);
      Put32(out, w.size);
      Put16(out, static_cast<uint32_t>(item.name.size()));
      Put16(out, 0);
      out += item.name;
      out += stored;
    }
    written.push_back(w);
    const uint32_t crc = w.crc, compressed = w.compressed, size = w.size, offset = w.offset;
    const bool deflated = w.deflated;

    Put32(directory, 0x02014b50);
    Put16(directory, 20);
    Put16(directory, 20);
    Put16(directory, 0);
    Put16(directory, deflated ? 8 : 0);
    Put32(directory, 0);
    Put32(directory, crc);
    Put32(directory, zip64 ? 0xFFFFFFFF : compressed);
    Put32(directory, zip64 ? 0xFFFFFFFF : size);
    Put16(directory, static_cast<uint32_t>(item.name.size()));
    Put16(directory, zip64 ? 28 : 0);  // extra length
    Put16(directory, 0);               // comment length
    Put32(directory, 0);               // disk, internal attributes
    Put32(directory, 0);               // external attributes
    Put32(directory, zip64 ? 0xFFFFFFFF : offset);
    directory += item.name;
    if (zip64) {
      Put16(directory, 0x0001);
      Put16(directory, 24);
      Put64(directory, size);
      Put64(directory, compressed);
      Put64(directory, offset);
    }
  }
  auto directory_offset = static_cast<uint32_t>(out.size());
  out += directory;
  if (zip64) {
    auto end64 = static_cast<uint64_t>(out.size());
    Put32(out, 0x06064b50);
    Put64(out, 44);  // the record's size after this field
    Put32(out, 0x002D002D);
    Put64(out, 0);  // disks
    Put64(out, items.size());
    Put64(out, items.size());
    Put64(out, directory.size());
    Put64(out, directory_offset);
    Put32(out, 0x07064b50);
    Put32(out, 0);
    Put64(out, end64);
    Put32(out, 1);
  }
  Put32(out, 0x06054b50);
  Put32(out, 0);
  Put16(out, zip64 ? 0xFFFF : static_cast<uint32_t>(items.size()));
  Put16(out, zip64 ? 0xFFFF : static_cast<uint32_t>(items.size()));
  Put32(out, zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(directory.size()));
  Put32(out, zip64 ? 0xFFFFFFFF : directory_offset);
  Put16(out, static_cast<uint32_t>(comment.size()));
  out += comment;
  return out;
}

std::string Utf16Le(const std::u16string& text) {
  std::string out = "\xFF\xFE";
  for (char16_t unit : text) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  }
  return out;
}

}  // namespace triage::testing
