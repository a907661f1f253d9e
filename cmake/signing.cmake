# Authenticode signatures (SHA-256, osslsigncode) with the certificate of the person building:
# ordex.exe is signed right after it is linked, so that every package carries the signed file,
# and each package is signed as its very last step (ordex_sign_commands in cmake/msi.cmake).
# Each setting also comes from the environment variable of the same name, so that a build
# machine keeps the certificate out of the command line.
foreach(variable ORDEX_SIGNING_CERT ORDEX_SIGNING_PASSWORD_FILE ORDEX_TIMESTAMP_URL)
  if(NOT ${variable} AND DEFINED ENV{${variable}})
    set(${variable} "$ENV{${variable}}")
  endif()
endforeach()
set(ORDEX_SIGNING_CERT "${ORDEX_SIGNING_CERT}" CACHE FILEPATH
    "PKCS#12 file with the code-signing certificate, its chain and key; empty: unsigned")
set(ORDEX_SIGNING_PASSWORD_FILE "${ORDEX_SIGNING_PASSWORD_FILE}" CACHE FILEPATH
    "File holding the password of ORDEX_SIGNING_CERT (optional)")
set(ORDEX_TIMESTAMP_URL "${ORDEX_TIMESTAMP_URL}" CACHE STRING
    "RFC 3161 timestamp server for the signatures (optional)")

if(ORDEX_SIGNING_CERT)
  find_program(ORDEX_OSSLSIGNCODE osslsigncode)
  if(NOT ORDEX_OSSLSIGNCODE)
    # A build asked to be signed must not come out unsigned unnoticed.
    message(FATAL_ERROR "ORDEX_SIGNING_CERT is set, but osslsigncode is missing (Debian package osslsigncode)")
  endif()
  if(NOT EXISTS "${ORDEX_SIGNING_CERT}")
    message(FATAL_ERROR "ORDEX_SIGNING_CERT: no file ${ORDEX_SIGNING_CERT}")
  endif()
  set(ORDEX_SIGN ${ORDEX_OSSLSIGNCODE} sign -pkcs12 ${ORDEX_SIGNING_CERT} -h sha256 -n ORDEX)
  if(ORDEX_SIGNING_PASSWORD_FILE)
    list(APPEND ORDEX_SIGN -readpass ${ORDEX_SIGNING_PASSWORD_FILE})
  endif()
  if(ORDEX_TIMESTAMP_URL)
    # Without a timestamp the signature stops verifying when the certificate expires.
    list(APPEND ORDEX_SIGN -ts ${ORDEX_TIMESTAMP_URL})
    message(STATUS "ORDEX signing: with ${ORDEX_SIGNING_CERT}, timestamped by ${ORDEX_TIMESTAMP_URL}")
  else()
    message(STATUS "ORDEX signing: with ${ORDEX_SIGNING_CERT}, without a timestamp")
  endif()
else()
  message(STATUS "ORDEX signing: unsigned (set ORDEX_SIGNING_CERT to sign ordex.exe and the package)")
endif()

# ordex_sign_commands(OUT FILE): in OUT, the COMMAND arguments of a custom command that sign
# FILE in place; nothing when the build is unsigned.
function(ordex_sign_commands out file)
  set(commands)
  if(ORDEX_SIGNING_CERT)
    set(commands
      COMMAND ${CMAKE_COMMAND} -E rm -f ${file}.signed
      COMMAND ${ORDEX_SIGN} -in ${file} -out ${file}.signed
      COMMAND ${CMAKE_COMMAND} -E rename ${file}.signed ${file})
  endif()
  set(${out} ${commands} PARENT_SCOPE)
endfunction()

# Signs the program `target` after every link.
function(ordex_sign_program target)
  ordex_sign_commands(commands $<TARGET_FILE:${target}>)
  if(commands)
    add_custom_command(TARGET ${target} POST_BUILD ${commands} VERBATIM)
  endif()
endfunction()
