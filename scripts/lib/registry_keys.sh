# shellcheck shell=bash
# shellcheck disable=SC2034  # used by the scripts that source this
# The registry keys ORDEX reads (and the facts key it writes), below HKEY_LOCAL_MACHINE, under the names of the C++ constants
# that define them (sourced by common.sh, not run). tests/docs_check.sh holds each against its
# constant, so a key is changed in the C++ header and here together.
VersionKey='SOFTWARE\Tarvex Roboter GmbH\Version'
SettingsKey='SOFTWARE\Tarvex Roboter GmbH\Tarvex PANO\Customer Preferences\ZT\Service\ORDEX'
FactsKey='SOFTWARE\Tarvex Roboter GmbH\Tarvex PANO\Customer Preferences\ZT\Service\ORDEX\Facts'
PolicyKey='SOFTWARE\Policies\Tarvex Roboter GmbH\ORDEX'
