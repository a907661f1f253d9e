# What goes with a release beside the binaries, made from what the build linked
# (cmake/release_files.py): THIRD-PARTY-NOTICES.txt, the notices of the code linked into them,
# and the bill of materials, ordex[-VERSION].cdx.json (CycloneDX 1.5). The linker writes a map
# file beside each binary for them (ordex_link_map), which names every archive member and
# start-up object it took in.
find_package(Python3 COMPONENTS Interpreter)
set(ORDEX_RELEASE_FILES ${Python3_Interpreter_FOUND})
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize" OR ORDEX_BUILD_FUZZERS)
  # The sanitizers' runtimes are linked in as well: such a build is never a release.
  set(ORDEX_RELEASE_FILES OFF)
  message(STATUS "ORDEX release files: not made (an instrumented build)")
elseif(ORDEX_RELEASE_FILES)
  message(STATUS "ORDEX release files: notices and bill of materials")
else()
  message(STATUS "ORDEX release files: not made (no python3)")
endif()
set(ORDEX_RELEASE_FILES_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/release_files.py)
set(ORDEX_NOTICES ${PROJECT_BINARY_DIR}/THIRD-PARTY-NOTICES.txt)
set(ORDEX_SUPPLIER "Tarvex Roboter GmbH")
if(CMAKE_OBJDUMP)
  set(ORDEX_OBJDUMP ${CMAKE_OBJDUMP})
else()
  find_program(ORDEX_OBJDUMP NAMES ${ORDEX_MINGW_PREFIX}-objdump objdump REQUIRED)
endif()

# The linker's map file of `target`, beside it as <file>.map.
function(ordex_link_map target)
  target_link_options(${target} PRIVATE "LINKER:-Map=$<TARGET_FILE:${target}>.map")
endfunction()

# ordex_add_notices(TARGETS...): ORDEX_NOTICES, from what the linker took into the targets.
function(ordex_add_notices)
  set(binaries)
  foreach(target IN LISTS ARGN)
    list(APPEND binaries --binary $<TARGET_FILE:${target}>=$<TARGET_FILE:${target}>.map)
  endforeach()
  set(crlf)
  if(WIN32)
    set(crlf --crlf)
  endif()
  add_custom_command(
    OUTPUT ${ORDEX_NOTICES}
    COMMAND ${Python3_EXECUTABLE} ${ORDEX_RELEASE_FILES_SCRIPT} notices ${binaries}
            --objdump ${ORDEX_OBJDUMP} ${crlf} --out ${ORDEX_NOTICES}
    DEPENDS ${ARGN} ${ORDEX_RELEASE_FILES_SCRIPT}
    COMMENT "Writing the notices of the linked-in code"
    VERBATIM)
  # One target makes the file: targets that take it in depend on this one, so that a parallel
  # build never runs its rule twice at once.
  add_custom_target(ordex_notices ALL DEPENDS ${ORDEX_NOTICES})
endfunction()

# ordex_add_bom(TARGET OUTPUT BINARIES <targets> FILES <files> PACKS <file=packed>
# TOOLS <programs>): the bill of materials OUTPUT of the binaries and files, built by TARGET.
function(ordex_add_bom target output)
  cmake_parse_arguments(PARSE_ARGV 2 bom "" "" "BINARIES;FILES;PACKS;TOOLS")
  set(arguments)
  foreach(binary IN LISTS bom_BINARIES)
    list(APPEND arguments --binary $<TARGET_FILE:${binary}>=$<TARGET_FILE:${binary}>.map)
  endforeach()
  foreach(file IN LISTS bom_FILES)
    list(APPEND arguments --file ${file})
  endforeach()
  foreach(packed IN LISTS bom_PACKS)
    list(APPEND arguments --packs ${packed})
  endforeach()
  foreach(tool IN LISTS bom_TOOLS)
    list(APPEND arguments --tool ${tool})
  endforeach()
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${Python3_EXECUTABLE} ${ORDEX_RELEASE_FILES_SCRIPT} bom ${arguments}
            --objdump ${ORDEX_OBJDUMP} --name ORDEX --version ${PROJECT_VERSION}
            --supplier ${ORDEX_SUPPLIER} --epoch ${ORDEX_SOURCE_DATE_EPOCH} --out ${output}
    DEPENDS ${bom_BINARIES} ${bom_FILES} ${ORDEX_RELEASE_FILES_SCRIPT}
    COMMENT "Writing the bill of materials ${output}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${output})
  if(TARGET ordex_notices)
    add_dependencies(${target} ordex_notices)
  endif()
endfunction()
