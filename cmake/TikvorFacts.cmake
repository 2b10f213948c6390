# The one place for what every output states about the product: versions, maker texts. The
# top-level CMakeLists.txt takes the version for project(VERSION) from here; the generated
# header, the version resources, the Debian package and the Windows scripts all read these.
#
# Scripts read them without configuring a build:
#   eval "$(cmake -P cmake/TikvorFacts.cmake)"    # TIKVOR_VERSION_1='1.00.0021' ... one a line
# Also defines tikvor_rc_version_numbers(), which turns a dotted version into the four decimal
# numbers of a Windows version resource.

set(TIKVOR_VERSION 1.0.21)  # major.minor.build of Tikvor_1; project(VERSION)
set(TIKVOR_BUILD_0 19)      # Tikvor_0 is the same release with its own build number
set(TIKVOR_PRODUCT "Tikvor")
set(TIKVOR_COMPANY "KRV Software")
set(TIKVOR_COPYRIGHT "© 2026 KRV Software")
set(TIKVOR_URL "http://www.krv-software.example")
set(TIKVOR_AUTHOR "Tikvor team, tikvor@krv-software.example")

# The version texts as the programs show them: "1.00.0021" (two-digit minor, four-digit build).
function(tikvor_version_text out major minor build)
  string(LENGTH "${minor}" minor_length)
  string(LENGTH "${build}" build_length)
  if(minor_length LESS 2)
    set(minor "0${minor}")
  endif()
  while(build_length LESS 4)
    set(build "0${build}")
    math(EXPR build_length "${build_length} + 1")
  endwhile()
  set(${out} "${major}.${minor}.${build}" PARENT_SCOPE)
endfunction()

string(REPLACE "." ";" _tikvor_fields "${TIKVOR_VERSION}")
list(GET _tikvor_fields 0 _tikvor_major)
list(GET _tikvor_fields 1 _tikvor_minor)
list(GET _tikvor_fields 2 _tikvor_build)
tikvor_version_text(TIKVOR_VERSION_1 ${_tikvor_major} ${_tikvor_minor} ${_tikvor_build})
tikvor_version_text(TIKVOR_VERSION_0 ${_tikvor_major} ${_tikvor_minor} ${TIKVOR_BUILD_0})

# "1.00.0021" -> "1,0,21,0". The resource compilers read a number with a leading 0 as octal
# (0021 would become 17), so each field goes in as plain decimal; missing fields count as 0.
function(tikvor_rc_version_numbers out dotted)
  string(REPLACE "." ";" fields "${dotted}")
  list(LENGTH fields count)
  if(count GREATER 4)
    message(FATAL_ERROR "Version ${dotted}: a version resource has at most four numbers")
  endif()
  set(numbers "")
  foreach(field IN LISTS fields)
    # One match, not REGEX REPLACE: that one anchors "^" again after each replacement.
    if(NOT field MATCHES "^0*([0-9]+)$")
      message(FATAL_ERROR "Version ${dotted}: '${field}' is not a decimal number")
    endif()
    set(field "${CMAKE_MATCH_1}")
    if(field GREATER 65535)
      message(FATAL_ERROR "Version ${dotted}: ${field} does not fit the 16 bits of a version field")
    endif()
    list(APPEND numbers ${field})
  endforeach()
  while(count LESS 4)
    list(APPEND numbers 0)
    math(EXPR count "${count} + 1")
  endwhile()
  list(JOIN numbers "," numbers)
  set(${out} "${numbers}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  foreach(name TIKVOR_VERSION TIKVOR_VERSION_1 TIKVOR_VERSION_0 TIKVOR_PRODUCT TIKVOR_COMPANY
               TIKVOR_COPYRIGHT TIKVOR_URL TIKVOR_AUTHOR)
    if("${${name}}" MATCHES "'")
      message(FATAL_ERROR "${name} may not hold a single quote")
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${name}='${${name}}'")
  endforeach()
endif()
