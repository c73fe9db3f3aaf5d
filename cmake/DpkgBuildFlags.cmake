# Debian's compiler and linker flags, as a package build uses them: the
# hardening (stack protector, _FORTIFY_SOURCE, format checks, read-only
# relocations bound at start-up, control-flow protection) and the build
# paths mapped out of the binaries. dpkg-buildflags says what they are on
# this system; all hardening features are asked for, and the usual
# DEB_BUILD_MAINT_OPTIONS, DEB_CXXFLAGS_APPEND etc. still add to them.
find_program(DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)

function(orvane_dpkg_buildflags kind out)
  # The source folder is the one dpkg-buildflags maps to "." in file names.
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env "DEB_BUILD_MAINT_OPTIONS=hardening=+all $ENV{DEB_BUILD_MAINT_OPTIONS}"
            ${DPKG_BUILDFLAGS} --get ${kind}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    OUTPUT_VARIABLE flags
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(${out} "${flags}" PARENT_SCOPE)
endfunction()

orvane_dpkg_buildflags(CPPFLAGS ORVANE_DPKG_CPPFLAGS)
orvane_dpkg_buildflags(CFLAGS ORVANE_DPKG_CFLAGS)
orvane_dpkg_buildflags(CXXFLAGS ORVANE_DPKG_CXXFLAGS)
orvane_dpkg_buildflags(LDFLAGS ORVANE_DPKG_LDFLAGS)

# The build folder may lie anywhere: its name must not reach the binaries
# either (through their build ids), or two builds of the same sources in two
# folders would give two different packages. Given last, this mapping is
# tried before the source folder's.
set(build_path_map "-ffile-prefix-map=${CMAKE_BINARY_DIR}=build")

string(APPEND CMAKE_C_FLAGS " ${ORVANE_DPKG_CPPFLAGS} ${ORVANE_DPKG_CFLAGS} ${build_path_map}")
string(APPEND CMAKE_CXX_FLAGS " ${ORVANE_DPKG_CPPFLAGS} ${ORVANE_DPKG_CXXFLAGS} ${build_path_map}")
foreach(kind EXE SHARED MODULE)
  string(APPEND CMAKE_${kind}_LINKER_FLAGS " ${ORVANE_DPKG_LDFLAGS}")
endforeach()
message(STATUS "Compiling with dpkg-buildflags: ${ORVANE_DPKG_CPPFLAGS} ${ORVANE_DPKG_CXXFLAGS}; linking with ${ORVANE_DPKG_LDFLAGS}")
