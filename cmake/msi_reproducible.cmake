# Run as a script (cmake -P) on the package that wixl and msibuild made, before it is signed:
# sets what wixl makes anew on each run, so that the same inputs give the same package.
#   MSI       the package
#   MSIBUILD  msibuild; MSIDUMP msidump (msitools)
#   EPOCH     the build's time (ORDEX_SOURCE_DATE_EPOCH): the summary's times
#   NAMESPACE the package's UpgradeCode, without braces
#   VERSION   the package's version
#   INPUTS    every file the package is made of or from (its files, its source, the rules that
#             change its tables), apart by "|"
# - The package code (the summary's revision number; wixl: a new one each run; Windows
#   Installer tells packages apart by it) is a name-based UUID of the inputs' SHA-256: a rebuild
#   gets the same code, a package with any other content a new one. (The ProductCode is given
#   to wixl: cmake/msi.cmake.)
# - The summary's times, created and last saved (wixl: the time of the run), are EPOCH's, in
#   UTC whatever the build machine's time zone.
set(digests "${VERSION}\n")
string(REPLACE "|" ";" INPUTS "${INPUTS}")
foreach(input IN LISTS INPUTS)
  file(SHA256 ${input} digest)
  get_filename_component(name ${input} NAME)
  string(APPEND digests "${name} ${digest}\n")
endforeach()
string(SHA256 content "${digests}")
string(UUID package_code NAMESPACE ${NAMESPACE} NAME "PackageCode ${content}" TYPE SHA1 UPPER)

set(folder ${MSI}.summary)
file(REMOVE_RECURSE ${folder})
file(MAKE_DIRECTORY ${folder})
# (msidump writes the binary columns' files into the folder it runs in.)
execute_process(COMMAND ${MSIDUMP} -t -d . ${MSI} WORKING_DIRECTORY ${folder} OUTPUT_QUIET
                COMMAND_ERROR_IS_FATAL ANY)
if(NOT EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "EPOCH is '${EPOCH}', not seconds since 1970")
endif()
# string(TIMESTAMP) gives the time of a given epoch only through SOURCE_DATE_EPOCH.
set(ENV{SOURCE_DATE_EPOCH} ${EPOCH})
string(TIMESTAMP time "%Y/%m/%d %H:%M:%S" UTC)
file(STRINGS ${folder}/_SummaryInformation.idt lines)
set(summary)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "\r$" "" line "${line}")
  # 9: revision number (the package code), 12: created, 13: last saved.
  if(NOT line MATCHES "^(9|12|13)\t")
    string(APPEND summary "${line}\r\n")
  endif()
endforeach()
string(APPEND summary "9\t{${package_code}}\r\n12\t${time}\r\n13\t${time}\r\n")
file(WRITE ${folder}/_SummaryInformation.idt "${summary}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${MSIBUILD} ${MSI} -i ${folder}/_SummaryInformation.idt
  COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE_RECURSE ${folder})
