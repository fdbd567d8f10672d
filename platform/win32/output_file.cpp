// velmora-triage runs on Windows 7 and later (the XP build is the collector
// alone): GetFinalPathNameByHandleW, from Vista on, is there to be used.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#include "platform/win32/windows_headers.h"
// windows_headers.h first.
#include "platform/output_file.h"

#include <algorithm>

namespace velmora::files {

namespace {

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (valid()) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE OpenToLookAt(const std::filesystem::path& path, bool follow_link) {
  return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | (follow_link ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                     nullptr);
}

std::string Reason(DWORD error) {
  wchar_t text[512];
  DWORD size = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                              error, 0, text, sizeof text / sizeof text[0], nullptr);
  while (size > 0 && (text[size - 1] == L'\r' || text[size - 1] == L'\n' ||
                      text[size - 1] == L'.' || text[size - 1] == L' ')) {
    --size;
  }
  if (size == 0) return "error " + std::to_string(error);
  int bytes =
      WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(std::max(bytes, 0)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), &out[0], bytes, nullptr, nullptr);
  return out;
}

}  // namespace

std::optional<FileId> IdOf(const std::filesystem::path& path, bool follow_link) {
  Handle file(OpenToLookAt(path, follow_link));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file.valid() || !GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
  return FileId{info.dwVolumeSerialNumber,
                (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::optional<std::filesystem::path> ResolvedFolder(const std::filesystem::path& path) {
  Handle folder(OpenToLookAt(path, true));
  BY_HANDLE_FILE_INFORMATION info;
  if (!folder.valid() || !GetFileInformationByHandle(folder.get(), &info) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
  DWORD size = GetFinalPathNameByHandleW(folder.get(), nullptr, 0, flags);
  if (size == 0) return std::nullopt;
  std::wstring name(size, L'\0');
  size = GetFinalPathNameByHandleW(folder.get(), &name[0], size, flags);
  if (size == 0 || size >= name.size()) return std::nullopt;
  name.resize(size);
  // "\\?\C:\..." and "\\?\UNC\server\..." as ordinary names, whose parts
  // the path's own parent_path() can walk.
  if (name.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    name = L"\\\\" + name.substr(8);
  } else if (name.rfind(L"\\\\?\\", 0) == 0 && name.size() >= 6 && name[5] == L':') {
    name = name.substr(4);
  }
  return std::filesystem::path(name);
}

namespace {

class Win32ReplacingFile : public ReplacingFile {
 public:
  Win32ReplacingFile(HANDLE file, std::filesystem::path temporary, std::filesystem::path path)
      : file_(file), temporary_(std::move(temporary)), path_(std::move(path)) {}
  ~Win32ReplacingFile() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    if (!committed_) DeleteFileW(temporary_.c_str());
  }
  bool Write(std::string_view bytes) override {
    for (std::size_t at = 0; at < bytes.size() && failure_ == 0;) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1 << 20));
      DWORD written = 0;
      if (!WriteFile(file_, bytes.data() + at, chunk, &written, nullptr) || written == 0) {
        failure_ = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
      }
      at += written;
    }
    return failure_ == 0;
  }
  bool Commit(std::string& error) override {
    if (failure_ == 0 && !FlushFileBuffers(file_)) failure_ = GetLastError();
    CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    // Renaming over a link replaces the link itself, as on POSIX.
    if (failure_ == 0 &&
        !MoveFileExW(temporary_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      failure_ = GetLastError();
    }
    committed_ = failure_ == 0;
    if (!committed_) error = Reason(failure_);
    return committed_;
  }

 private:
  HANDLE file_;
  std::filesystem::path temporary_;
  std::filesystem::path path_;
  DWORD failure_ = 0;
  bool committed_ = false;
};

}  // namespace

std::unique_ptr<ReplacingFile> ReplacingFile::Create(const std::filesystem::path& path,
                                                     std::string& error) {
  std::filesystem::path folder = path.parent_path();
  if (folder.empty()) folder = L".";
  std::filesystem::path temporary;
  HANDLE created = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; created == INVALID_HANDLE_VALUE && attempt < 1000; ++attempt) {
    temporary = folder / (L"velmora-triage-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::to_wstring(attempt) + L".tmp");
    created = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (created == INVALID_HANDLE_VALUE) {
    error = Reason(GetLastError());
    return nullptr;
  }
  return std::make_unique<Win32ReplacingFile>(created, temporary, path);
}

bool WriteReplacing(const std::filesystem::path& path, std::string_view bytes, std::string& error) {
  auto file = ReplacingFile::Create(path, error);
  if (!file) return false;
  file->Write(bytes);
  return file->Commit(error);
}

}  // namespace velmora::files
