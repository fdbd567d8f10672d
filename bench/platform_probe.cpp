// Drives the system platform's file searches and copies from the command
// line, so that tests and benchmarks can watch them from outside:
//   velmora_platform_probe find TEXT...    each search text, then every entry
//                                          yielded: name, file time, kind
//   velmora_platform_probe copy FROM TO    one copy
//   velmora_platform_probe attributes PATH [SET]
//                                          the attributes (after setting
//                                          them to SET when given)
// Text is UTF-8 and paths are written as the logic writes them.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/utf.h"

namespace {

int Find(int count, char** texts) {
  velmora::Platform& platform = velmora::SystemPlatform();
  for (int i = 0; i < count; ++i) {
    std::printf("> %s\n", texts[i]);
    auto search = platform.FindFirstFileW(velmora::Utf8ToUtf16(texts[i]));
    if (!search) {
      std::printf("none\t%u\n", static_cast<unsigned>(platform.GetLastError()));
      continue;
    }
    for (velmora::FindEntry entry; search->Next(entry);) {
      std::printf("%s\t%llu\t%s\n", velmora::Utf16ToUtf8(entry.name).c_str(),
                  static_cast<unsigned long long>(entry.lastWriteTime),
                  entry.isDirectory ? "folder" : "file");
    }
  }
  return 0;
}

int Copy(const char* from, const char* to) {
  velmora::Platform& platform = velmora::SystemPlatform();
  if (platform.CopyFileW(velmora::Utf8ToUtf16(from), velmora::Utf8ToUtf16(to))) {
    std::printf("copied\n");
    return 0;
  }
  std::printf("failed\t%u\n", static_cast<unsigned>(platform.GetLastError()));
  return 1;
}

int Attributes(const char* path, const char* set) {
  velmora::Platform& platform = velmora::SystemPlatform();
  const velmora::WString text = velmora::Utf8ToUtf16(path);
  if (set != nullptr &&
      !platform.SetFileAttributesW(text, static_cast<std::uint32_t>(std::stoul(set, nullptr, 0)))) {
    std::printf("failed\t%u\n", static_cast<unsigned>(platform.GetLastError()));
    return 1;
  }
  std::uint32_t attributes = platform.GetFileAttributesW(text);
  if (attributes == 0xFFFFFFFFu) {
    std::printf("failed\t%u\n", static_cast<unsigned>(platform.GetLastError()));
    return 1;
  }
  std::printf("0x%x\n", static_cast<unsigned>(attributes));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "find") == 0) return Find(argc - 2, argv + 2);
  if (argc == 4 && std::strcmp(argv[1], "copy") == 0) return Copy(argv[2], argv[3]);
  if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "attributes") == 0) {
    return Attributes(argv[2], argc == 4 ? argv[3] : nullptr);
  }
  std::fprintf(stderr, "usage: %s find TEXT... | copy FROM TO | attributes PATH [SET]\n", argv[0]);
  return 2;
}
