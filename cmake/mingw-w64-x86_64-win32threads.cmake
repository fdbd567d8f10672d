# The shipped 64-bit executable: the "win32" thread model, as the XP build
# uses, so no winpthread and only functions XP x64 exports are imported.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELMORA_MINGW_TRIPLE x86_64-w64-mingw32)
set(VELMORA_WINDOWS_VERSION 5.02)
set(VELMORA_THREAD_MODEL win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
