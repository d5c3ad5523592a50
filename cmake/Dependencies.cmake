# Imports the Windows builds of the compiled dependencies made by scripts/setup.sh.
if(NOT TAVELO_DEPS_PREFIX OR NOT EXISTS "${TAVELO_DEPS_PREFIX}/lib/libbz2.a")
  message(FATAL_ERROR "TAVELO_DEPS_PREFIX must name the dependency build of scripts/setup.sh "
                      "(scripts/deps-prefix.sh ${CMAKE_SYSTEM_PROCESSOR} prints it).")
endif()
if(NOT TAVELO_BOOST_INCLUDE OR NOT EXISTS "${TAVELO_BOOST_INCLUDE}/boost/version.hpp")
  message(FATAL_ERROR "TAVELO_BOOST_INCLUDE must name a folder holding only a 'boost' link.")
endif()

function(tavelo_import_library name file)
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION "${TAVELO_DEPS_PREFIX}/lib/${file}")
endfunction()

tavelo_import_library(tavelo_bz2 libbz2.a)
tavelo_import_library(tavelo_boost_filesystem libboost_filesystem.a)
tavelo_import_library(tavelo_boost_iostreams libboost_iostreams.a)
tavelo_import_library(tavelo_gtest libgtest.a)
tavelo_import_library(tavelo_gmock libgmock.a)

add_library(tavelo::bzip2 INTERFACE IMPORTED)
target_include_directories(tavelo::bzip2 SYSTEM INTERFACE "${TAVELO_DEPS_PREFIX}/include")
target_link_libraries(tavelo::bzip2 INTERFACE tavelo_bz2)

# Boost.Iostreams' bzip2 filter needs libbzip2 after it on the link line.
add_library(tavelo::boost INTERFACE IMPORTED)
target_include_directories(tavelo::boost SYSTEM INTERFACE "${TAVELO_BOOST_INCLUDE}")
target_compile_definitions(tavelo::boost INTERFACE BOOST_ALL_NO_LIB BOOST_USE_WINDOWS_H
    BOOST_FILESYSTEM_STATIC_LINK=1 BOOST_UUID_RANDOM_PROVIDER_FORCE_WINCRYPT)
target_link_libraries(tavelo::boost INTERFACE tavelo_boost_iostreams tavelo_boost_filesystem tavelo_bz2)

add_library(tavelo::gtest INTERFACE IMPORTED)
target_include_directories(tavelo::gtest SYSTEM INTERFACE "${TAVELO_DEPS_PREFIX}/include")
target_link_libraries(tavelo::gtest INTERFACE tavelo_gmock tavelo_gtest)

# System libraries that every Windows program of the project may call.
set(TAVELO_WINDOWS_LIBRARIES shlwapi ole32 oleaut32 uuid comctl32 comdlg32 advapi32 shell32 user32 gdi32)
