#include "collect/folder_locations.h"

#include <algorithm>
#include <iterator>

#include "collect/system_layout.h"
#include "platform/platform.h"
#include "platform/win_constants.h"

namespace velmora {

const WChar kWorkingFolderName[] = u"Velmora Drivers Diagnostics";

namespace {

using FolderBuffer = WChar[kMaxPath];

FolderBuffer g_desktop = {};
FolderBuffer g_temp = {};
FolderBuffer g_windows = {};

// Length of the text in a buffer; a buffer the platform left without a
// terminator counts as holding nothing.
std::size_t TextLength(const FolderBuffer& buffer) {
  const WChar* end = std::find(std::begin(buffer), std::end(buffer), u'\0');
  return end == std::end(buffer) ? 0 : static_cast<std::size_t>(end - buffer);
}

bool HoldsText(const FolderBuffer& buffer) { return TextLength(buffer) > 0; }

// Looks a folder up into `buffer`; false, with the buffer emptied, when the
// lookup fails or leaves no usable text.
bool LookUpFolder(int csidl, FolderBuffer& buffer) {
  std::int32_t result = CurrentPlatform().SHGetFolderPathW(csidl, buffer);
  if (result < 0 || !HoldsText(buffer)) {
    buffer[0] = u'\0';
    return false;
  }
  return true;
}

// Appends `suffix` when it fits with the terminator; never truncates.
bool Append(FolderBuffer& buffer, const WString& suffix) {
  std::size_t length = TextLength(buffer);
  if (length + suffix.size() + 1 > kMaxPath) return false;
  std::copy(suffix.begin(), suffix.end(), buffer + length);
  buffer[length + suffix.size()] = u'\0';
  return true;
}

WString Text(const FolderBuffer& buffer) { return WString(buffer, TextLength(buffer)); }

}  // namespace

bool GetWorkingFolder(WString& path) {
  Platform& platform = CurrentPlatform();
  if (!LookUpFolder(CSIDL_DESKTOP, g_desktop)) return false;
  if (!Append(g_desktop, u"\\" + WString(kWorkingFolderName))) return false;

  WString folder = Text(g_desktop);
  if (!platform.CreateDirectoryW(folder)) {
    if (platform.GetLastError() != ERROR_ALREADY_EXISTS) return false;
    // Something else standing at that path would make every copy fail.
    if (!platform.IsDirectory(folder)) return false;
  }
  path = folder + u"\\";
  return true;
}

WString GetTempFolder() {
  if (HoldsText(g_temp)) return Text(g_temp);
  if (!LookUpFolder(CSIDL_LOCAL_APPDATA, g_temp)) return WString();

  // On the legacy layout local application data is
  // "...\Local Settings\Application Data", the temporary folder
  // "...\Local Settings\Temp".
  if (IsLegacyLayout(CurrentPlatform().GetVersion())) {
    std::size_t at = Text(g_temp).find(u"\\Application Data");
    if (at != WString::npos) g_temp[at] = u'\0';
  }
  if (HoldsText(g_temp) && !Append(g_temp, u"\\Temp\\")) g_temp[0] = u'\0';
  return Text(g_temp);
}

WString GetWindowsFolder() {
  if (!HoldsText(g_windows)) LookUpFolder(CSIDL_WINDOWS, g_windows);
  return Text(g_windows);
}

void ResetFolderLocations() {
  g_desktop[0] = u'\0';
  g_temp[0] = u'\0';
  g_windows[0] = u'\0';
}

}  // namespace velmora
