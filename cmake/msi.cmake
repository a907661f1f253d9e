# The MSI package of ordex.exe, built with wixl and msibuild (msitools). Without them the build
# goes on without the package and says so.
find_program(ORDEX_WIXL wixl)
find_program(ORDEX_MSIBUILD msibuild)
find_program(ORDEX_MSIDUMP msidump)

# What wixl's XML cannot say, set in the tables afterwards:
# - the settings are written by an install or an upgrade given their property on the command
#   line, else with their defaults (10000, 0) by an install or an upgrade that finds the value
#   missing, and by nothing else: a repair, a reinstall, an upgrade without the property and an
#   uninstall leave "Visible" and "TimerInterval" that are there exactly as they are (value and
#   type). Their components have no ComponentId (installer/ordex.wxs), and Windows Installer
#   documents that it then neither registers them nor can remove or repair them ("Component
#   Table"); so no repair mode (msiexec /f..., "Repair" in Apps, REINSTALL/REINSTALLMODE)
#   reinstalls them, and no uninstall removes the values. A setting's component asks for the
#   property, which only the command line gives (the Property table has no value for it), and
#   msiexec /f ignores property values given on its command line ("Command-Line Options"); its
#   default's component asks for neither the property nor a value found by AppSearch before the
#   install ("RegLocator Table": the raw value, in the 32-bit view without
#   msidbLocatorType64bit; a string value read as empty counts as missing, as ORDEX reads it).
#   Attributes 4 (the key path is the registry value) and nothing else:
#   - not 64, transitive: a transitive component whose condition was true and is now false is
#     removed on a reinstall, and its condition must only depend on the machine's state, never
#     on a property set on the command line ("Using Transitive Components");
#   - not 16, permanent: meaningless without a ComponentId, and an error for ICE92 ("ICE92");
#   - not 128, never overwrite: it would keep an existing value that a property given to an
#     install or upgrade is meant to write;
# - the event source's message file is REG_EXPAND_SZ ("#%" in the Registry table);
# - a rebuilt package of the same version replaces the installed one instead of being installed
#   beside it (513 = migrate features + maximum version inclusive);
# - the three properties reach the elevated part of the install (deployment tools, UAC);
# - the custom actions' place in InstallExecuteSequence, so that no ORDEX file is ever in use
#   when Windows Installer replaces or removes it (nothing waits for a restart, no 3010) and
#   ORDEX runs again afterwards in every session:
#     1501 SetUndoCloseOrdex, 1502 UndoCloseOrdex: the rollback of the close, before it ("A
#          rollback custom action must always precede the deferred custom action it rolls back",
#          "Rollback Custom Actions"); wixl cannot say Execute="rollback", so its type is set
#          here: 3329 = DLL (1) + rollback (256) + in script (1024) + not impersonated (2048);
#     1503 SetCloseOrdex, 1504 CloseOrdex: every ORDEX ends, right after InstallInitialize (1500)
#          and so before RemoveFiles (3500) and InstallFiles (4000), in every installation:
#          install, upgrade, repair and removal;
#     6500 InstallExecute, 6510 RemoveExistingProducts: the older version is removed after the
#          new files are in place. It cannot come before InstallInitialize, wixl's place (1401):
#          an older package without these actions would then meet its ordex.exe in use, before
#          this package's close. Nor right after InstallInitialize, since the close is script:
#          "After the InstallInitialize action and before any actions that generate execution
#          script", and ICE63 warns of any action between them that generates script. So it is
#          the place "Between the InstallExecute action ... and the InstallFinalize action"
#          ("RemoveExistingProducts Action"). Files are then replaced by the file versioning
#          rules, so each release raises the version of ordex.exe (it carries the package's);
#     6520 ResetCloseSignal: in every installation, removals included;
#     6530 SetStartOrdex, 6531 StartOrdex, if NOT REMOVE~="ALL" AND NOSTART <> "1": ORDEX in
#          every session with a logged-on user, after the older version's removal (whose own
#          close would end it again) and before InstallFinalize (6600). A repair closes ORDEX,
#          so it starts it again too.
# - the facts key (installer/ordex.wxs): its row becomes the key itself, "*": "the key is to be
#   created, if absent, when the parent component is installed. Additionally, the key is deleted
#   with all its values and subkeys when the component is uninstalled" ("Registry Table"); the
#   component's key path is its folder (a null KeyPath), not a value ORDEX writes. Its access
#   list, set by the install through the MsiLockPermissionsEx table ("MsiLockPermissionsEx
#   Table": "Enter the SDDL string to indicate permissions to apply to selected object"; Windows
#   Installer 5.0, hence InstallerVersion 500), with the key only and no other object locked:
#   owner Administrators; protected from the parent's entries; SYSTEM and Administrators full
#   control; Interactive users, whoever runs the collector in a logged-on session, read and set
#   values (0x2001b = KEY_READ | KEY_SET_VALUE), not WRITE_DAC, WRITE_OWNER or DELETE, and no
#   subkeys, whose creator would own them and so could change their security; Users read, for
#   inventory tools that run as a user.
set(ORDEX_FACTS_SDDL "O:BAG:SYD:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;0x2001b;;;IU)(A;CI;KR;;;BU)")
string(REPLACE ";" "$<SEMICOLON>" ORDEX_FACTS_SDDL_IN_LIST "${ORDEX_FACTS_SDDL}")
set(ORDEX_MSI_TABLE_UPDATES
  "UPDATE `Component` SET `Condition` = 'VISIBLE <> \"\"', `Attributes` = 4 WHERE `Component` = 'VisibleSetting'"
  "UPDATE `Component` SET `Condition` = 'TIMERINTERVAL <> \"\"', `Attributes` = 4 WHERE `Component` = 'TimerIntervalSetting'"
  "UPDATE `Component` SET `Condition` = 'VISIBLE = \"\" AND ExistingVisible = \"\"', `Attributes` = 4 WHERE `Component` = 'VisibleDefault'"
  "UPDATE `Component` SET `Condition` = 'TIMERINTERVAL = \"\" AND ExistingTimerInterval = \"\"', `Attributes` = 4 WHERE `Component` = 'TimerIntervalDefault'"
  "UPDATE `Registry` SET `Value` = '#%[INSTALLDIR]ordex.exe' WHERE `Name` = 'EventMessageFile'"
  "UPDATE `Property` SET `Value` = 'WIX_DOWNGRADE_DETECTED$<SEMICOLON>WIX_UPGRADE_DETECTED$<SEMICOLON>VISIBLE$<SEMICOLON>TIMERINTERVAL$<SEMICOLON>NOSTART' WHERE `Property` = 'SecureCustomProperties'"
  "UPDATE `CustomAction` SET `Type` = 3329 WHERE `Action` = 'UndoCloseOrdex'"
  "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('InstallExecute', 6500)"
  "UPDATE `InstallExecuteSequence` SET `Sequence` = 6510 WHERE `Action` = 'RemoveExistingProducts'"
  "DELETE FROM `Registry` WHERE `Component_` = 'FactsKey'"
  "INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Component_`) VALUES ('FactsKey', 2, 'SOFTWARE\\Tarvex Roboter GmbH\\Tarvex PANO\\Customer Preferences\\ZT\\Service\\ORDEX\\Facts', '*', 'FactsKey')"
  "UPDATE `Component` SET `KeyPath` = '', `Attributes` = 0 WHERE `Component` = 'FactsKey'"
  "CREATE TABLE `MsiLockPermissionsEx` (`MsiLockPermissionsEx` CHAR(72) NOT NULL, `LockObject` CHAR(72) NOT NULL, `Table` CHAR(32) NOT NULL, `SDDLText` CHAR(0) NOT NULL, `Condition` CHAR(255) PRIMARY KEY `MsiLockPermissionsEx`)"
  "INSERT INTO `MsiLockPermissionsEx` (`MsiLockPermissionsEx`, `LockObject`, `Table`, `SDDLText`) VALUES ('FactsKeyAccess', 'FactsKey', 'Registry', '${ORDEX_FACTS_SDDL_IN_LIST}')")

# Every version of the package shares it: it is how a newer one finds the older to replace.
set(ORDEX_MSI_UPGRADE_CODE "{5B0C1F3E-8A7D-4C61-9E2B-3D4F6A7B8C90}")

# ordex_add_msi(TARGET VERSION OUTPUT PROGRAM SETUP [ALL]): builds OUTPUT, the package of the
# targets PROGRAM (ordex.exe) and SETUP (its custom actions) carrying VERSION as its
# ProductVersion.
function(ordex_add_msi target version output program setup)
  set(source ${PROJECT_SOURCE_DIR}/installer/ordex.wxs)
  # wixl takes files by names relative to its working folder: one of the package's own, where
  # the files it packs are copied with the build's time as their modification time, which the
  # cabinet records for each file.
  set(staging ${PROJECT_BINARY_DIR}/msi-files/${target})
  file(MAKE_DIRECTORY ${staging})
  configure_file(${PROJECT_SOURCE_DIR}/src/app/ordex.ico ${PROJECT_BINARY_DIR}/ordex.ico COPYONLY)
  set(queries)
  foreach(query IN LISTS ORDEX_MSI_TABLE_UPDATES)
    list(APPEND queries -q "${query}")
  endforeach()
  # The attributes are part of the row's key, so the row is replaced rather than updated.
  list(APPEND queries
    -q "DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'"
    -q "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) VALUES ('${ORDEX_MSI_UPGRADE_CODE}', '${version}', 513, 'WIX_UPGRADE_DETECTED')")
  # The ProductCode, new for each commit (its time) and version, the same for every build of
  # them: a changed build of the same version still replaces the installed one (513 below).
  string(REGEX REPLACE "[{}]" "" upgrade_uuid ${ORDEX_MSI_UPGRADE_CODE})
  string(UUID product_code NAMESPACE ${upgrade_uuid}
         NAME "ProductCode ${version} ${ORDEX_SOURCE_DATE_EPOCH}" TYPE SHA1 UPPER)
  string(JOIN "|" inputs $<TARGET_FILE:${program}> $<TARGET_FILE:${setup}> ${ORDEX_NOTICES}
         ${PROJECT_BINARY_DIR}/ordex.ico ${source} ${CMAKE_CURRENT_FUNCTION_LIST_FILE})
  # Signed last: a signature covers the tables as they are, and any later change breaks it.
  ordex_sign_commands(sign ${output}.tmp)
  get_filename_component(folder ${output} DIRECTORY)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${program}> $<TARGET_FILE:${setup}>
            ${PROJECT_BINARY_DIR}/ordex.ico ${ORDEX_NOTICES} ${staging}
    COMMAND touch -d @${ORDEX_SOURCE_DATE_EPOCH} $<TARGET_FILE_NAME:${program}>
            $<TARGET_FILE_NAME:${setup}> ordex.ico THIRD-PARTY-NOTICES.txt
    COMMAND ${ORDEX_WIXL} -a x86 -D Version=${version} -D UpgradeCode=${ORDEX_MSI_UPGRADE_CODE}
            -D ProductCode={${product_code}}
            -D OrdexExe=$<TARGET_FILE_NAME:${program}> -D SetupDll=$<TARGET_FILE_NAME:${setup}>
            -D IconFile=ordex.ico -D NoticesFile=THIRD-PARTY-NOTICES.txt -o ${output}.tmp
            ${source}
    COMMAND ${ORDEX_MSIBUILD} ${output}.tmp ${queries}
    # The same inputs give the same package: its codes and times (see there).
    COMMAND ${CMAKE_COMMAND} -D MSI=${output}.tmp -D MSIBUILD=${ORDEX_MSIBUILD}
            -D MSIDUMP=${ORDEX_MSIDUMP} -D EPOCH=${ORDEX_SOURCE_DATE_EPOCH} -D VERSION=${version}
            -D NAMESPACE=${upgrade_uuid} -D INPUTS=${inputs}
            -P ${PROJECT_SOURCE_DIR}/cmake/msi_reproducible.cmake
    ${sign}
    COMMAND ${CMAKE_COMMAND} -E rename ${output}.tmp ${output}
    DEPENDS ${program} ${setup} ${source} ${PROJECT_BINARY_DIR}/ordex.ico ${ORDEX_NOTICES}
    WORKING_DIRECTORY ${staging}
    COMMENT "Building the package ${output}"
    VERBATIM)
  add_custom_target(${target} ${ARGN} DEPENDS ${output})
  if(TARGET ordex_notices)
    add_dependencies(${target} ordex_notices)
  endif()
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

if(ORDEX_WIXL AND ORDEX_MSIBUILD AND ORDEX_MSIDUMP AND ORDEX_RELEASE_FILES)
  ordex_add_msi(ordex_msi ${PROJECT_VERSION} ${PROJECT_BINARY_DIR}/ordex-${PROJECT_VERSION}.msi
                ordex ordex_setup ALL)
  # Built only on demand (scripts/msi-test.sh): the package of the version below, with its own
  # ordex.exe and custom actions of that version, so that an upgrade in place replaces a file
  # that differs.
  ordex_previous_version(ORDEX_PREVIOUS_VERSION)
  set(previous_folder ${PROJECT_BINARY_DIR}/version-${ORDEX_PREVIOUS_VERSION})
  add_executable(ordex_previous WIN32 EXCLUDE_FROM_ALL ${ORDEX_APP_SOURCES})
  target_link_libraries(ordex_previous PRIVATE ordex_system ordex_warnings)
  ordex_add_windows_resources(ordex_previous ${ORDEX_PREVIOUS_VERSION})
  ordex_link_message_table(ordex_previous)
  ordex_sign_program(ordex_previous)
  ordex_add_setup_dll(ordex_setup_previous ${ORDEX_PREVIOUS_VERSION} EXCLUDE_FROM_ALL)
  set_target_properties(ordex_previous PROPERTIES OUTPUT_NAME ordex
                        RUNTIME_OUTPUT_DIRECTORY ${previous_folder})
  set_target_properties(ordex_setup_previous PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${previous_folder})
  ordex_add_msi(ordex_msi_previous ${ORDEX_PREVIOUS_VERSION}
                ${PROJECT_BINARY_DIR}/msi-test/ordex-${ORDEX_PREVIOUS_VERSION}.msi
                ordex_previous ordex_setup_previous)
  # Next to the package: its bill of materials.
  ordex_add_bom(ordex_bom ${PROJECT_BINARY_DIR}/ordex-${PROJECT_VERSION}.cdx.json
    BINARIES ordex ordex_setup
    FILES ${ORDEX_NOTICES} ${PROJECT_BINARY_DIR}/ordex-${PROJECT_VERSION}.msi
    PACKS ordex-${PROJECT_VERSION}.msi=ordex.exe ordex-${PROJECT_VERSION}.msi=ordex_setup.dll
          ordex-${PROJECT_VERSION}.msi=THIRD-PARTY-NOTICES.txt
    TOOLS ${CMAKE_CXX_COMPILER} ${CMAKE_LINKER} ${CMAKE_RC_COMPILER} ${ORDEX_MESSAGE_COMPILER}
          ${ORDEX_WIXL} ${ORDEX_MSIBUILD} ${ORDEX_OSSLSIGNCODE})
  # The package is made by its own target alone (its rule must not run twice at once).
  add_dependencies(ordex_bom ordex_msi)
  message(STATUS "ORDEX package: ordex-${PROJECT_VERSION}.msi")
else()
  message(STATUS "ORDEX package: not built (needs wixl and msibuild from msitools, and python3)")
endif()
