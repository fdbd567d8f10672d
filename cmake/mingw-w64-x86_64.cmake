# Cross build for 64-bit Windows (XP x64 / Server 2003 x64 and later), with
# the "posix" thread model that GoogleTest needs (std::mutex). That model's
# runtime (winpthread) imports GetTickCount64, which XP x64 lacks, so the
# executable this tree ships is built by a nested tree with the toolchain
# below (see app/CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELMORA_MINGW_TRIPLE x86_64-w64-mingw32)
set(VELMORA_WINDOWS_VERSION 5.02)
set(VELMORA_THREAD_MODEL posix)
set(VELMORA_SHIPPED_TOOLCHAIN ${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64-win32threads.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
