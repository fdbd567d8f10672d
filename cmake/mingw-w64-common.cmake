# MinGW-w64 with the "posix" thread model (std::thread and std::mutex for
# the tests), targeting the msvcrt runtime and the oldest supported Windows.
set(CMAKE_C_COMPILER ${VELMORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELMORA_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

string(REPLACE "." ";" _velmora_version_parts ${VELMORA_WINDOWS_VERSION})
list(GET _velmora_version_parts 0 _velmora_major)
list(GET _velmora_version_parts 1 _velmora_minor)
math(EXPR _velmora_minor "${_velmora_minor}")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x050${_velmora_minor} -DWINVER=0x050${_velmora_minor}")
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-Wl,--major-os-version,${_velmora_major},--minor-os-version,${_velmora_minor},--major-subsystem-version,${_velmora_major},--minor-subsystem-version,${_velmora_minor}")
