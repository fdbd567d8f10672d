// What the helper programs of the end-to-end runs share: UTF-8 for what they
// record, their environment settings, small files and time stamps.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

inline std::string Utf8(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size,
                        nullptr, nullptr);
  }
  return out;
}

inline std::wstring Environment(const wchar_t* name) {
  wchar_t value[32768];
  DWORD length = GetEnvironmentVariableW(name, value, 32768);
  return length > 0 && length < 32768 ? std::wstring(value, length) : std::wstring();
}

inline bool WriteText(const std::wstring& path, const std::string& text, bool append = false) {
  HANDLE file = CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return written == text.size();
}

inline bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Seconds since 1970 with microseconds, as the tests' own clock reads them.
inline std::string Now() {
  FILETIME time;
  GetSystemTimeAsFileTime(&time);
  ULONGLONG ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  char text[64];
  std::snprintf(text, sizeof text, "%.6f",
                static_cast<double>(ticks - 116444736000000000ULL) / 1e7);
  return text;
}

// The running program's own path, and its name in lower case without
// ".exe": what it records under.
inline std::wstring ModulePath() {
  wchar_t module[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
  return std::wstring(module, length);
}

inline std::wstring Stem(const std::wstring& path) {
  std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
  name = name.substr(0, name.find(L'.'));
  for (wchar_t& c : name) c = static_cast<wchar_t>(c >= L'A' && c <= L'Z' ? c + 32 : c);
  return name;
}
