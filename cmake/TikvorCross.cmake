# Cross-building for a Debian arm port (arm64, armhf) with Debian's cross compilers against a
# sysroot of that architecture's packages (tools/sysroot.sh ARCH prints one):
#
#   cmake -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/TikvorCross.cmake \
#         -DTIKVOR_SYSROOT="$(tools/sysroot.sh arm64)" -DTIKVOR_CROSS_TRIPLET=aarch64-linux-gnu
#
# Each setting may come from the cache or the environment. The triplet is also taken from
# CMAKE_LIBRARY_ARCHITECTURE, from DEB_HOST_MULTIARCH (dpkg-buildpackage -a<arch> sets it) or from
# the compiler's name. What debhelper passes for a cross build itself (CMAKE_SYSTEM_NAME and
# _PROCESSOR, the compilers) is kept; this file only fills in what is missing. Qt's tools (moc,
# rcc, uic) run on the build machine: the host's own qt6-base-dev-tools, of the same Qt version.

# Read again for every try_compile project, which sees only these of the cache.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TIKVOR_SYSROOT TIKVOR_CROSS_TRIPLET)

if(NOT TIKVOR_SYSROOT)
  set(TIKVOR_SYSROOT "$ENV{TIKVOR_SYSROOT}")
endif()
if(NOT IS_DIRECTORY "${TIKVOR_SYSROOT}")
  message(FATAL_ERROR "TikvorCross: TIKVOR_SYSROOT ('${TIKVOR_SYSROOT}') is no folder; "
    "tools/sysroot.sh ARCH makes one and prints its path")
endif()

if(NOT TIKVOR_CROSS_TRIPLET)
  if(DEFINED ENV{TIKVOR_CROSS_TRIPLET})
    set(TIKVOR_CROSS_TRIPLET "$ENV{TIKVOR_CROSS_TRIPLET}")
  elseif(CMAKE_LIBRARY_ARCHITECTURE)
    set(TIKVOR_CROSS_TRIPLET "${CMAKE_LIBRARY_ARCHITECTURE}")
  elseif(DEFINED ENV{DEB_HOST_MULTIARCH})
    set(TIKVOR_CROSS_TRIPLET "$ENV{DEB_HOST_MULTIARCH}")
  elseif(CMAKE_CXX_COMPILER MATCHES "([^/]+-linux-gnu[a-z]*)-g\\+\\+[-0-9.]*$")
    set(TIKVOR_CROSS_TRIPLET "${CMAKE_MATCH_1}")
  else()
    message(FATAL_ERROR "TikvorCross: no target triplet; set TIKVOR_CROSS_TRIPLET "
      "(aarch64-linux-gnu, arm-linux-gnueabihf)")
  endif()
endif()
set(triplet ${TIKVOR_CROSS_TRIPLET})

if(NOT CMAKE_SYSTEM_NAME)
  set(CMAKE_SYSTEM_NAME Linux)
endif()
if(NOT CMAKE_SYSTEM_PROCESSOR)
  string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR ${triplet})
endif()
if(NOT CMAKE_CXX_COMPILER)
  set(CMAKE_CXX_COMPILER ${triplet}-g++)
endif()
if(NOT CMAKE_C_COMPILER)
  set(CMAKE_C_COMPILER ${triplet}-gcc)
endif()
set(CMAKE_LIBRARY_ARCHITECTURE ${triplet})

# Libraries, headers and CMake packages from the sysroot only, never the build machine's own;
# programs (python3, the host's Qt tools) from the build machine.
set(CMAKE_SYSROOT ${TIKVOR_SYSROOT})
set(CMAKE_FIND_ROOT_PATH ${TIKVOR_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Whatever pkg-config a find module starts reads the sysroot's .pc files, with the sysroot in
# front of their paths.
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${TIKVOR_SYSROOT})
set(ENV{PKG_CONFIG_LIBDIR}
  "${TIKVOR_SYSROOT}/usr/lib/${triplet}/pkgconfig:${TIKVOR_SYSROOT}/usr/share/pkgconfig")

# The build machine's Qt for the tools; its CMake files live under its own triplet.
if(DEFINED ENV{DEB_BUILD_MULTIARCH})
  set(build_triplet $ENV{DEB_BUILD_MULTIARCH})
else()
  execute_process(COMMAND dpkg-architecture -qDEB_BUILD_MULTIARCH
    OUTPUT_VARIABLE build_triplet OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
set(QT_HOST_PATH /usr CACHE PATH "Where the build machine's Qt tools are installed")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${build_triplet}/cmake CACHE PATH
  "The CMake files of the build machine's Qt")
