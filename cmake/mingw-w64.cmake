# Cross-compiling the layers without Qt (serial link, codec) and their tests
# for 64-bit Windows, without the project's Qt.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-posix.cmake)
# Self-contained executables, so wine needs no MinGW runtime DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
