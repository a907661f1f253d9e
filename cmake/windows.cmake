# ordex_version_header(OUT VERSION): configures ordex_version.h for VERSION (the version resource's
# numbers and text; the manifest's and the icon's files) and puts its folder in OUT: the build
# folder for the project's version, a folder of its own for another (the package test's older
# build).
function(ordex_version_header out version)
  set(folder ${PROJECT_BINARY_DIR})
  if(NOT version VERSION_EQUAL PROJECT_VERSION)
    set(folder ${PROJECT_BINARY_DIR}/version-${version})
  endif()
  string(REPLACE "." ";" numbers ${version})
  list(GET numbers 0 PROJECT_VERSION_MAJOR)
  list(GET numbers 1 PROJECT_VERSION_MINOR)
  list(GET numbers 2 PROJECT_VERSION_PATCH)
  set(PROJECT_VERSION ${version})
  set(ORDEX_MANIFEST_FILE ${PROJECT_BINARY_DIR}/ordex.manifest)
  set(ORDEX_ICON_FILE ${PROJECT_SOURCE_DIR}/src/app/ordex.ico)
  configure_file(${PROJECT_SOURCE_DIR}/src/app/ordex_version.h.in ${folder}/ordex_version.h @ONLY)
  set(${out} ${folder} PARENT_SCOPE)
endfunction()

# ordex_add_version_resource(TARGET SCRIPT VERSION): the resource script SCRIPT, with VERSION in
# its version resource.
function(ordex_add_version_resource target script version)
  ordex_version_header(folder ${version})
  set_property(SOURCE ${script} APPEND PROPERTY OBJECT_DEPENDS ${folder}/ordex_version.h)
  target_sources(${target} PRIVATE ${script})
  target_include_directories(${target} PRIVATE ${folder})
endfunction()

# The Windows executable's resources: version information (VERSION, default the project's), the
# icon and the embedded manifest (common controls 6, per-monitor DPI awareness). Used by
# MinGW-w64 and by Visual Studio alike.
function(ordex_add_windows_resources target)
  set(version ${PROJECT_VERSION})
  if(ARGC GREATER 1)
    set(version ${ARGV1})
  endif()
  set(ORDEX_MANIFEST_FILE ${PROJECT_BINARY_DIR}/ordex.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/src/app/ordex.manifest.in ${ORDEX_MANIFEST_FILE}
                 @ONLY)
  set(resource_file ${PROJECT_SOURCE_DIR}/src/app/ordex.rc)
  set_source_files_properties(${resource_file} PROPERTIES OBJECT_DEPENDS
                              "${ORDEX_MANIFEST_FILE};${PROJECT_SOURCE_DIR}/src/app/ordex.ico")
  ordex_add_version_resource(${target} ${resource_file} ${version})
  if(MSVC)
    # The manifest comes from the resource script; the linker must not add a second one.
    target_link_options(${target} PRIVATE /MANIFEST:NO)
  endif()
endfunction()

# ordex_add_setup_dll(TARGET VERSION [EXCLUDE_FROM_ALL]): the package's custom actions
# (src/setup), a DLL of VERSION that the package carries in its Binary table and Windows
# Installer loads as LocalSystem. It imports only Windows' own DLLs and msi.dll, and exports
# the entry points undecorated (ordex_setup.def), as the CustomAction table names them.
function(ordex_add_setup_dll target version)
  add_library(${target} MODULE ${ARGN}
    ${PROJECT_SOURCE_DIR}/src/setup/custom_actions_win32.cpp
    ${PROJECT_SOURCE_DIR}/src/setup/install_log_win32.cpp
    ${PROJECT_SOURCE_DIR}/src/setup/running_ordex_win32.cpp
    ${PROJECT_SOURCE_DIR}/src/setup/session_start_win32.cpp
    ${PROJECT_SOURCE_DIR}/src/setup/ordex_setup.def
    ${PROJECT_SOURCE_DIR}/src/platform/close_for_update_win32.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/error_win32.cpp)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${target} PRIVATE msi wtsapi32 userenv ordex_warnings)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ordex_setup SUFFIX .dll)
  if(MINGW)
    # The runtime linked in as for the executables (the toolchain file), and no symbols in the
    # shipped build. On 32-bit x86 the .def file's plain names stand for the __stdcall symbols
    # (Name@4), as meant: the fix-up says nothing.
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++
                        $<$<CONFIG:MinSizeRel>:-s>
                        $<$<EQUAL:${CMAKE_SIZEOF_VOID_P},4>:-Wl,--enable-stdcall-fixup>)
  endif()
  ordex_add_version_resource(${target} ${PROJECT_SOURCE_DIR}/src/setup/ordex_setup.rc ${version})
  ordex_sign_program(${target})
endfunction()

# The message table of the event source "ORDEX", compiled by the message compiler (windmc of
# MinGW-w64, mc of the Windows SDK): its resource goes into `program`, its header with the event
# ids into `library`, which writes the events.
function(ordex_add_message_table program library)
  find_program(ORDEX_MESSAGE_COMPILER NAMES ${CMAKE_MC_COMPILER} ${ORDEX_MINGW_PREFIX}-windmc mc
               REQUIRED)
  set(source ${PROJECT_SOURCE_DIR}/src/platform/ordex_messages.mc)
  set(folder ${PROJECT_BINARY_DIR}/messages)
  # The source is UTF-8 (the German entries); the table is written in UTF-16 either way.
  set(codepage)
  if(ORDEX_MESSAGE_COMPILER MATCHES "windmc")
    set(codepage -C 65001)
  endif()
  add_custom_command(
    OUTPUT ${folder}/ordex_messages.h ${folder}/ordex_messages.rc ${folder}/MSG00409.bin
           ${folder}/MSG00407.bin
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${ORDEX_MESSAGE_COMPILER} ${codepage} -h ${folder} -r ${folder} ${source}
    DEPENDS ${source}
    VERBATIM)
  set_source_files_properties(${folder}/ordex_messages.rc PROPERTIES OBJECT_DEPENDS
                              "${folder}/MSG00409.bin;${folder}/MSG00407.bin")
  ordex_link_message_table(${program})
  target_sources(${library} PRIVATE ${folder}/ordex_messages.h)
  target_include_directories(${library} PRIVATE ${folder})
endfunction()

# ordex_link_message_table(PROGRAM): the message table that ordex_add_message_table compiled, in
# one more program (the package test's older build).
function(ordex_link_message_table program)
  target_sources(${program} PRIVATE ${PROJECT_BINARY_DIR}/messages/ordex_messages.rc)
  target_include_directories(${program} PRIVATE ${PROJECT_BINARY_DIR}/messages)
endfunction()
