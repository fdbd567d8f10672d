# Cross build for 32-bit Windows XP and later, with the "posix" thread model
# that GoogleTest needs (std::mutex). As for the 64-bit build, that model's
# runtime (winpthread) imports GetTickCount64, which XP lacks, so the
# executable this tree ships comes from a nested tree built with the
# toolchain below (see app/CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VELMORA_MINGW_TRIPLE i686-w64-mingw32)
set(VELMORA_WINDOWS_VERSION 5.01)
set(VELMORA_THREAD_MODEL posix)
set(VELMORA_SHIPPED_TOOLCHAIN ${CMAKE_CURRENT_LIST_DIR}/mingw-w64-i686-win32threads.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
