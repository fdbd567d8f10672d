# The shipped 32-bit executable: the "win32" thread model, so no winpthread
# and only functions Windows XP exports are imported.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VELMORA_MINGW_TRIPLE i686-w64-mingw32)
set(VELMORA_WINDOWS_VERSION 5.01)
set(VELMORA_THREAD_MODEL win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
