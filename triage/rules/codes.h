// What the numeric codes of installer and device-setup logs mean, in plain
// words, with what to do about them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace triage {

struct CodeInfo {
  const char* meaning;
  const char* remedy;
};

// Windows Installer (msiexec) result and error-message codes.
const CodeInfo* FindInstallerCode(int64_t code);
// The code in digits, with its meaning in brackets when it is a known one.
std::string ExplainInstallerCode(int64_t code);
// SetupAPI error codes (0xE0000xxx) and the few Win32 codes device setup logs.
const CodeInfo* FindSetupApiCode(int64_t code);

// An action's logged return value turned into the result code msiexec gives
// (1 -> 0, 2 -> 1602, 3 -> 1603, ...); nothing for a value it does not define.
std::optional<int64_t> ReturnValueToCode(int64_t logged);

// A Win32 error wrapped in an HRESULT (0x8007xxxx) turned back into the
// Win32 code; 0 stays 0; any other HRESULT is returned as it is.
int64_t UnwrapHresult(int64_t hresult);

// True for the results Windows Installer counts as success: 0, 3010, 1641.
inline bool IsInstallerSuccess(int64_t code) { return code == 0 || code == 3010 || code == 1641; }
inline bool IsRestartCode(int64_t code) { return code == 3010 || code == 1641; }

}  // namespace triage
