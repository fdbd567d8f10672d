# Cross build for 64-bit Windows (XP x64 / Server 2003 x64 and later).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELMORA_MINGW_TRIPLE x86_64-w64-mingw32)
set(VELMORA_WINDOWS_VERSION 5.02)
set(VELMORA_THREAD_MODEL posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
