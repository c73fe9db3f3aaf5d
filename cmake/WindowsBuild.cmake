# The Windows build: the design's own device path (SetupAPI and the
# vendor's kernel drivers) instead of libusb, the virtual devices over named
# pipes instead of Unix sockets, and GoogleTest built from Debian's sources
# for the target (see the README, "Windows").

# Every program runs with UTF-8 as its ANSI code page: the command line,
# the environment and the system's texts then arrive as UTF-8, as on Linux,
# where they would otherwise come in the user's legacy code page ("Jürgen"
# unreadable, "日本" as "??").
enable_language(RC)
set(ORVANE_WINDOWS_MANIFEST ${CMAKE_SOURCE_DIR}/cmake/windows/utf8-manifest.rc)

# At -O3, MinGW's GCC 12 warns falsely about std::string copies
# (-Wrestrict), which -Werror turns into a failed build: -O2, as the Linux
# build has.
string(REPLACE "-O3" "-O2" CMAKE_CXX_FLAGS_RELEASE "${CMAKE_CXX_FLAGS_RELEASE}")

# Parts that need Linux: libusb, Unix-domain sockets and their private
# directory, and libjpeg, which Debian does not ship for MinGW-w64 (only
# the window's banner decodes JPEG).
set(ORVANE_LINUX_ONLY_SOURCES
  ${CMAKE_SOURCE_DIR}/usb/DeviceLock.cpp
  ${CMAKE_SOURCE_DIR}/usb/LibusbTransport.cpp
  ${CMAKE_SOURCE_DIR}/usb/SystemBus.cpp
  ${CMAKE_SOURCE_DIR}/usb/UnixSocket.cpp
  ${CMAKE_SOURCE_DIR}/usb/VirtualDeviceDirectory.cpp
  ${CMAKE_SOURCE_DIR}/usb/VirtualUsbServer.cpp
  ${CMAKE_SOURCE_DIR}/usb/VirtualUsbTransport.cpp)
# Their Windows versions, over named pipes, are in usb/windows/.
file(GLOB ORVANE_WINDOWS_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/usb/windows/*.cpp)

find_package(JPEG)
if(NOT JPEG_FOUND)
  list(APPEND ORVANE_LINUX_ONLY_SOURCES ${CMAKE_SOURCE_DIR}/app/JpegDecoder.cpp)
  if(ORVANE_BUILD_GUI)
    message(FATAL_ERROR "the window needs libjpeg for its banner (see the README, \"Building the window on Windows\")")
  endif()
endif()

# Tests that need what the Windows build leaves out: libusb, Unix sockets,
# fork and exec of the programs, libjpeg, the Linux install files. The
# programs as processes are tried by scripts/windows-process-tests.
set(ORVANE_LINUX_ONLY_TESTS
  bench_program_test.cpp
  cli_all_end_to_end_test.cpp
  cli_end_to_end_test.cpp
  isp_read_back_file_test.cpp
  packaging_files_test.cpp
  sim_devsim_test.cpp
  usb_device_lock_test.cpp
  usb_libusb_test.cpp
  usb_virtual_device_test.cpp)
if(NOT JPEG_FOUND)
  list(APPEND ORVANE_LINUX_ONLY_TESTS shell_jpeg_test.cpp)
endif()

if(CMAKE_CROSSCOMPILING)
  # Debian's googletest package holds the sources only: build them here
  # for the target.
  set(ORVANE_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for the target")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${ORVANE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()

function(orvane_windows_usb target)
  target_sources(${target} PRIVATE ${ORVANE_WINDOWS_SOURCES})
  # SetupAPI for the interface lists; shell32 and ole32 for the known
  # folders (uuid holds their ids); Windows 8 for CancelIoEx and friends.
  target_compile_definitions(${target} PUBLIC _WIN32_WINNT=0x0602 WIN32_LEAN_AND_MEAN NOMINMAX)
  target_link_libraries(${target} PUBLIC setupapi shell32 ole32 uuid Threads::Threads)
endfunction()
