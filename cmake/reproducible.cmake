# Two builds of one commit, in other folders and at other times, give the same bytes
# (scripts/reproducible-test.sh). What would differ, and what prevents it:
# - the source and build folders, which GCC writes into the debug information and expands
#   __FILE__ to: mapped to "." and "build" (the most specific map is the last, and wins);
# - the time of the link, which GNU ld writes into a Windows program's or DLL's headers (the
#   file header's and the export and resource directories' TimeDateStamp): none, as for a
#   program whose time says nothing;
# - the time and owner of each object in a static library: none (ar's deterministic mode),
#   although the linked program never shows them.
# Nothing else in a build depends on its folder or its time; the package's times are the
# commit's (cmake/msi.cmake).
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(
    "$<$<COMPILE_LANGUAGE:CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>"
    "$<$<COMPILE_LANGUAGE:CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=build>")
  set(CMAKE_CXX_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_CXX_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_CXX_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
endif()
if(MINGW)
  add_link_options(-Wl,--no-insert-timestamp)
endif()

# ORDEX_SOURCE_DATE_EPOCH: the time that stands for the build wherever one must be written (the
# package's summary information, the bill of materials), in seconds since 1970:
# SOURCE_DATE_EPOCH where the environment sets it when the build is configured, else the time
# of the commit checked out, else (a source tree without git) 0, which the status line says.
# A new commit configures the build anew.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ORDEX_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
  set(epoch_source "SOURCE_DATE_EPOCH")
else()
  find_package(Git QUIET)
  set(ORDEX_SOURCE_DATE_EPOCH)
  if(GIT_EXECUTABLE)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE ORDEX_SOURCE_DATE_EPOCH
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --absolute-git-dir
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE git_dir
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(EXISTS "${git_dir}/logs/HEAD")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${git_dir}/logs/HEAD)
    endif()
  endif()
  set(epoch_source "the commit")
  if(NOT ORDEX_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    set(ORDEX_SOURCE_DATE_EPOCH 0)
    set(epoch_source "neither SOURCE_DATE_EPOCH nor a commit: 1970")
  endif()
endif()
if(NOT ORDEX_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH is '${ORDEX_SOURCE_DATE_EPOCH}', not seconds since 1970")
endif()
message(STATUS "ORDEX build time: ${ORDEX_SOURCE_DATE_EPOCH} (${epoch_source})")
