# The MSI package of ordex.exe, built with wixl and msibuild (msitools). Without them the build
# goes on without the package and says so.
find_program(ORDEX_WIXL wixl)
find_program(ORDEX_MSIBUILD msibuild)

# What wixl's XML cannot say, set in the tables afterwards:
# - the settings are written by an install or an upgrade given their property on the command
#   line, and by nothing else: a repair, a reinstall, an upgrade without the property and an
#   uninstall leave "Visible" and "TimerInterval" exactly as they are (value, type, or absent).
#   Their components have no ComponentId (installer/ordex.wxs), and Windows Installer documents
#   that it then neither registers them nor can remove or repair them ("Component Table"); so
#   no repair mode (msiexec /f..., "Repair" in Apps, REINSTALL/REINSTALLMODE) reinstalls them,
#   and no uninstall removes the values. Their condition asks for the property, which only the
#   command line gives (the Property table has no value for it), and msiexec /f ignores property
#   values given on its command line ("Command-Line Options"). Attributes 4 (the key path is
#   the registry value) and nothing else:
#   - not 64, transitive: a transitive component whose condition was true and is now false is
#     removed on a reinstall, and its condition must only depend on the machine's state, never
#     on a property set on the command line ("Using Transitive Components");
#   - not 16, permanent: meaningless without a ComponentId, and an error for ICE92 ("ICE92");
#   - not 128, never overwrite: it would keep an existing value that a property given to an
#     install or upgrade is meant to write;
# - the event source's message file is REG_EXPAND_SZ ("#%" in the Registry table);
# - a rebuilt package of the same version replaces the installed one instead of being installed
#   beside it (513 = migrate features + maximum version inclusive);
# - the two properties reach the elevated part of the install (deployment tools, UAC).
set(ORDEX_MSI_TABLE_UPDATES
  "UPDATE `Component` SET `Condition` = 'VISIBLE <> \"\"', `Attributes` = 4 WHERE `Component` = 'VisibleSetting'"
  "UPDATE `Component` SET `Condition` = 'TIMERINTERVAL <> \"\"', `Attributes` = 4 WHERE `Component` = 'TimerIntervalSetting'"
  "UPDATE `Registry` SET `Value` = '#%[INSTALLDIR]ordex.exe' WHERE `Name` = 'EventMessageFile'"
  "UPDATE `Property` SET `Value` = 'WIX_DOWNGRADE_DETECTED$<SEMICOLON>WIX_UPGRADE_DETECTED$<SEMICOLON>VISIBLE$<SEMICOLON>TIMERINTERVAL' WHERE `Property` = 'SecureCustomProperties'")

# Every version of the package shares it: it is how a newer one finds the older to replace.
set(ORDEX_MSI_UPGRADE_CODE "{5B0C1F3E-8A7D-4C61-9E2B-3D4F6A7B8C90}")

# ordex_add_msi(TARGET VERSION OUTPUT [ALL]): builds OUTPUT, the package of ordex.exe carrying
# VERSION as its ProductVersion.
function(ordex_add_msi target version output)
  set(source ${PROJECT_SOURCE_DIR}/installer/ordex.wxs)
  # wixl takes files by names relative to its working folder, this build folder.
  configure_file(${PROJECT_SOURCE_DIR}/src/app/ordex.ico ${PROJECT_BINARY_DIR}/ordex.ico COPYONLY)
  set(queries)
  foreach(query IN LISTS ORDEX_MSI_TABLE_UPDATES)
    list(APPEND queries -q "${query}")
  endforeach()
  # The attributes are part of the row's key, so the row is replaced rather than updated.
  list(APPEND queries
    -q "DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'"
    -q "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) VALUES ('${ORDEX_MSI_UPGRADE_CODE}', '${version}', 513, 'WIX_UPGRADE_DETECTED')")
  # Signed last: a signature covers the tables as they are, and any later change breaks it.
  ordex_sign_commands(sign ${output}.tmp)
  get_filename_component(folder ${output} DIRECTORY)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${ORDEX_WIXL} -a x86 -D Version=${version} -D UpgradeCode=${ORDEX_MSI_UPGRADE_CODE}
            -I $<TARGET_FILE_DIR:ordex>
            -D OrdexExe=$<TARGET_FILE_NAME:ordex> -D IconFile=ordex.ico -o ${output}.tmp ${source}
    COMMAND ${ORDEX_MSIBUILD} ${output}.tmp ${queries}
    ${sign}
    COMMAND ${CMAKE_COMMAND} -E rename ${output}.tmp ${output}
    DEPENDS ordex ${source} ${PROJECT_BINARY_DIR}/ordex.ico
    COMMENT "Building the package ${output}"
    VERBATIM)
  add_custom_target(${target} ${ARGN} DEPENDS ${output})
endfunction()

# The version just below the project's, for the test of an upgrade in place.
function(ordex_previous_version out)
  set(major ${PROJECT_VERSION_MAJOR})
  set(minor ${PROJECT_VERSION_MINOR})
  set(patch ${PROJECT_VERSION_PATCH})
  if(patch GREATER 0)
    math(EXPR patch "${patch} - 1")
  elseif(minor GREATER 0)
    math(EXPR minor "${minor} - 1")
  else()
    math(EXPR major "${major} - 1")
  endif()
  set(${out} ${major}.${minor}.${patch} PARENT_SCOPE)
endfunction()

if(ORDEX_WIXL AND ORDEX_MSIBUILD)
  ordex_add_msi(ordex_msi ${PROJECT_VERSION} ${PROJECT_BINARY_DIR}/ordex-${PROJECT_VERSION}.msi ALL)
  # Built only on demand (scripts/msi-test.sh): the same package with a lower version.
  ordex_previous_version(ORDEX_PREVIOUS_VERSION)
  ordex_add_msi(ordex_msi_previous ${ORDEX_PREVIOUS_VERSION}
                ${PROJECT_BINARY_DIR}/msi-test/ordex-${ORDEX_PREVIOUS_VERSION}.msi)
  message(STATUS "ORDEX package: ordex-${PROJECT_VERSION}.msi")
else()
  message(STATUS "ORDEX package: not built (wixl and msibuild from msitools are missing)")
endif()
