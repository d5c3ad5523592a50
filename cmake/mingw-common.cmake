set(CMAKE_C_COMPILER ${TAVELO_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVELO_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVELO_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TAVELO_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained executable: the C and C++ runtimes and winpthreads are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
