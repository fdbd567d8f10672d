# MinGW-w64 targeting the msvcrt runtime and the oldest supported Windows.
# The thread model is the toolchain file's choice: "posix" where GoogleTest
# is built (it needs std::mutex), "win32" where only the tool is, as the
# posix model's runtime imports functions Windows XP lacks.
set(CMAKE_C_COMPILER ${VELMORA_MINGW_TRIPLE}-gcc-${VELMORA_THREAD_MODEL})
set(CMAKE_CXX_COMPILER ${VELMORA_MINGW_TRIPLE}-g++-${VELMORA_THREAD_MODEL})
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
