# Compiler settings every target of the project shares.

if(MSVC)
  set(VELMORA_WARNINGS /W4 /WX /permissive-)
else()
  set(VELMORA_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Werror)
endif()

if(VELMORA_SANITIZE AND NOT MSVC)
  set(VELMORA_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
                              -fno-omit-frame-pointer)
  add_compile_options(${VELMORA_SANITIZER_FLAGS})
  add_link_options(${VELMORA_SANITIZER_FLAGS})
endif()

if(VELMORA_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# Windows executables run from a bare folder on a clean system: no compiler
# runtime DLL may be needed beside them.
if(WIN32 AND NOT MSVC)
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
if(MSVC)
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
endif()

# Applies the project's warnings to a target of its own code.
function(velmora_target target)
  target_compile_options(${target} PRIVATE ${VELMORA_WARNINGS})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# The same commit gives the same bytes wherever it is built: no link time
# stamp in the PE header, no build folder in the code (__FILE__, debug
# information), no symbol table in what ships.
if(WIN32 AND NOT MSVC)
  add_link_options(-Wl,--no-insert-timestamp $<$<CONFIG:Release>:-s>)
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
                      -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
endif()
