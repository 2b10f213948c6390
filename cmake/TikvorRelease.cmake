# The release as the Debian changelog states it. Its top entry must be for `version`, with or
# without a Debian revision (a version bumped in TikvorFacts.cmake alone would ship under the
# last release's notes); its trailer line gives the date of the metainfo release and of the
# manual pages.
#
# tikvor_release(<changelog> <version> <date-var> <error-var>): <date-var> is YYYY-MM-DD of the
# top entry's trailer; <error-var> is empty, or says what is wrong with the changelog.
function(tikvor_release changelog version date_var error_var)
  set(${date_var} "" PARENT_SCOPE)
  set(${error_var} "" PARENT_SCOPE)
  file(STRINGS "${changelog}" lines)
  list(LENGTH lines count)
  if(count EQUAL 0)
    set(${error_var} "${changelog} is empty" PARENT_SCOPE)
    return()
  endif()
  list(GET lines 0 top)
  string(REPLACE "." "\\." pattern "${version}")
  if(NOT top MATCHES "^tikvor \\(${pattern}(-[0-9A-Za-z.+~]+)?\\) ")
    set(${error_var} "${changelog} starts with \"${top}\": give version ${version} "
                     "(cmake/TikvorFacts.cmake) an entry of its own at the top" PARENT_SCOPE)
    return()
  endif()
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  foreach(line IN LISTS lines)
    if(line MATCHES "^ -- .*  [A-Z][a-z][a-z], ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
      list(FIND months "${CMAKE_MATCH_2}" month)
      if(month LESS 0)
        break()
      endif()
      math(EXPR month "${month} + 1")
      set(day "${CMAKE_MATCH_1}")
      foreach(field month day)
        string(LENGTH "${${field}}" length)
        if(length LESS 2)
          set(${field} "0${${field}}")
        endif()
      endforeach()
      set(${date_var} "${CMAKE_MATCH_3}-${month}-${day}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${error_var} "${changelog}: no dated trailer line under its top entry" PARENT_SCOPE)
endfunction()
