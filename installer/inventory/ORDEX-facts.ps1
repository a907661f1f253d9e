<#
  ORDEX facts: the detection script of an Intune remediation (Devices > Scripts and
  remediations), also usable by any tool that runs PowerShell on the controller PC.
  Reads the facts key that ORDEX writes in the 32-bit registry view, prints them as one line of
  JSON (what Intune shows as the script's output) and ends with 0 when ORDEX has written them,
  1 when there are none (no ORDEX has run since the package was installed), so that a
  remediation, or an alert, follows. Run it as the system or as a user: both may read the key.
#>
$ErrorActionPreference = 'Stop'
$factsKey = 'SOFTWARE\Tarvex Roboter GmbH\Tarvex PANO\Customer Preferences\ZT\Service\ORDEX\Facts'
$names = 'Version', 'Steuerung', 'BSVersion', 'Name', 'IPO', 'Zusatz-Achsen', 'Sensor',
         'ChangeCount', 'OrdexVersion', 'Started', 'LastChange', 'Session', 'User'

# The 32-bit view, whichever PowerShell (32 or 64 bit) runs the script.
$machine = [Microsoft.Win32.RegistryKey]::OpenBaseKey(
    [Microsoft.Win32.RegistryHive]::LocalMachine, [Microsoft.Win32.RegistryView]::Registry32)
$key = $machine.OpenSubKey($factsKey)
if ($null -eq $key -or $null -eq $key.GetValue('OrdexVersion')) {
    Write-Output 'ORDEX facts: none written'
    exit 1
}
$facts = [ordered]@{}
foreach ($name in $names) { $facts[$name] = $key.GetValue($name) }
$key.Close()
Write-Output ($facts | ConvertTo-Json -Compress)
exit 0
