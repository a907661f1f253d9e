# The Windows executable's resources: version information, the icon and the embedded manifest
# (common controls 6, per-monitor DPI awareness). Used by MinGW-w64 and by Visual Studio alike.
function(ordex_add_windows_resources target)
  set(ORDEX_MANIFEST_FILE ${PROJECT_BINARY_DIR}/ordex.manifest)
  set(ORDEX_ICON_FILE ${PROJECT_SOURCE_DIR}/src/app/ordex.ico)
  configure_file(${PROJECT_SOURCE_DIR}/src/app/ordex.manifest.in ${ORDEX_MANIFEST_FILE}
                 @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/src/app/ordex_version.h.in
                 ${PROJECT_BINARY_DIR}/ordex_version.h @ONLY)
  set(resource_file ${PROJECT_SOURCE_DIR}/src/app/ordex.rc)
  set_source_files_properties(${resource_file} PROPERTIES OBJECT_DEPENDS
                              "${ORDEX_MANIFEST_FILE};${ORDEX_ICON_FILE};${PROJECT_BINARY_DIR}/ordex_version.h")
  target_sources(${target} PRIVATE ${resource_file})
  target_include_directories(${target} PRIVATE ${PROJECT_BINARY_DIR})
  if(MSVC)
    # The manifest comes from the resource script; the linker must not add a second one.
    target_link_options(${target} PRIVATE /MANIFEST:NO)
  endif()
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
  target_sources(${program} PRIVATE ${folder}/ordex_messages.rc)
  target_include_directories(${program} PRIVATE ${folder})
  target_sources(${library} PRIVATE ${folder}/ordex_messages.h)
  target_include_directories(${library} PRIVATE ${folder})
endfunction()
