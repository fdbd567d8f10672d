// The Windows constants the logic hands through the platform seam, under
// their Windows names and values. Each value is written once, below; where
// <windows.h> came first its own definitions stand, and the Windows
// realisation checks at compile time that every one of them agrees
// (platform/win32/win32_constants.cpp).
#pragma once

namespace velmora::windows_values {

inline constexpr auto kCsidlDesktop = 0x0000;
inline constexpr auto kCsidlLocalAppData = 0x001c;
inline constexpr auto kCsidlWindows = 0x0024;
inline constexpr auto kSwShowNormal = 1;
inline constexpr auto kSeeMaskNoCloseProcess = 0x00000040;
inline constexpr auto kWaitTimeout = 258L;
inline constexpr auto kWaitObject0 = 0L;
inline constexpr auto kWaitFailed = 0xFFFFFFFFUL;
inline constexpr auto kErrorAlreadyExists = 183L;
inline constexpr auto kErrorFileNotFound = 2L;
inline constexpr auto kErrorPathNotFound = 3L;
inline constexpr auto kErrorAccessDenied = 5L;
inline constexpr auto kWmQuit = 0x0012;
inline constexpr auto kFileAttributeReadOnly = 0x00000001UL;
inline constexpr auto kFileAttributeDirectory = 0x00000010UL;
inline constexpr auto kFileAttributeNormal = 0x00000080UL;
inline constexpr auto kInvalidFileAttributes = 0xFFFFFFFFUL;

}  // namespace velmora::windows_values

#ifndef CSIDL_DESKTOP
#define CSIDL_DESKTOP (::velmora::windows_values::kCsidlDesktop)
#endif
#ifndef CSIDL_LOCAL_APPDATA
#define CSIDL_LOCAL_APPDATA (::velmora::windows_values::kCsidlLocalAppData)
#endif
#ifndef CSIDL_WINDOWS
#define CSIDL_WINDOWS (::velmora::windows_values::kCsidlWindows)
#endif
#ifndef SW_SHOWNORMAL
#define SW_SHOWNORMAL (::velmora::windows_values::kSwShowNormal)
#endif
#ifndef SEE_MASK_NOCLOSEPROCESS
#define SEE_MASK_NOCLOSEPROCESS (::velmora::windows_values::kSeeMaskNoCloseProcess)
#endif
#ifndef WAIT_TIMEOUT
#define WAIT_TIMEOUT (::velmora::windows_values::kWaitTimeout)
#endif
#ifndef WAIT_OBJECT_0
#define WAIT_OBJECT_0 (::velmora::windows_values::kWaitObject0)
#endif
#ifndef WAIT_FAILED
#define WAIT_FAILED (::velmora::windows_values::kWaitFailed)
#endif
#ifndef ERROR_ALREADY_EXISTS
#define ERROR_ALREADY_EXISTS (::velmora::windows_values::kErrorAlreadyExists)
#endif
#ifndef ERROR_FILE_NOT_FOUND
#define ERROR_FILE_NOT_FOUND (::velmora::windows_values::kErrorFileNotFound)
#endif
#ifndef ERROR_PATH_NOT_FOUND
#define ERROR_PATH_NOT_FOUND (::velmora::windows_values::kErrorPathNotFound)
#endif
#ifndef ERROR_ACCESS_DENIED
#define ERROR_ACCESS_DENIED (::velmora::windows_values::kErrorAccessDenied)
#endif
#ifndef WM_QUIT
#define WM_QUIT (::velmora::windows_values::kWmQuit)
#endif
#ifndef FILE_ATTRIBUTE_READONLY
#define FILE_ATTRIBUTE_READONLY (::velmora::windows_values::kFileAttributeReadOnly)
#endif
#ifndef FILE_ATTRIBUTE_DIRECTORY
#define FILE_ATTRIBUTE_DIRECTORY (::velmora::windows_values::kFileAttributeDirectory)
#endif
#ifndef FILE_ATTRIBUTE_NORMAL
#define FILE_ATTRIBUTE_NORMAL (::velmora::windows_values::kFileAttributeNormal)
#endif
#ifndef INVALID_FILE_ATTRIBUTES
#define INVALID_FILE_ATTRIBUTES (::velmora::windows_values::kInvalidFileAttributes)
#endif
