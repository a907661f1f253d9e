# The Windows executable's resources: version information and the embedded manifest (common
# controls 6, per-monitor DPI awareness). Used by MinGW-w64 and by Visual Studio alike.
function(ordex_add_windows_resources target)
  set(ORDEX_MANIFEST_FILE ${PROJECT_BINARY_DIR}/ordex.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/src/platform/ordex.manifest.in ${ORDEX_MANIFEST_FILE}
                 @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/src/platform/ordex_version.h.in
                 ${PROJECT_BINARY_DIR}/ordex_version.h @ONLY)
  set(resource_file ${PROJECT_SOURCE_DIR}/src/platform/ordex.rc)
  set_source_files_properties(${resource_file} PROPERTIES OBJECT_DEPENDS
                              "${ORDEX_MANIFEST_FILE};${PROJECT_BINARY_DIR}/ordex_version.h")
  target_sources(${target} PRIVATE ${resource_file})
  target_include_directories(${target} PRIVATE ${PROJECT_BINARY_DIR})
  if(MSVC)
    # The manifest comes from the resource script; the linker must not add a second one.
    target_link_options(${target} PRIVATE /MANIFEST:NO)
  endif()
endfunction()
