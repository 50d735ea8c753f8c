# Removes Lumarest whatever its product code, found by its upgrade code
# (which never changes), and the remediation's tasks. msiexec 1605 (not
# installed any more) and 3010 (removed, a reboot is due) count as done.
# Run as SYSTEM, 64-bit PowerShell. Log: %WINDIR%\Temp\lumarest-remove.log.
$installer = New-Object -ComObject WindowsInstaller.Installer
$products = $installer.GetType().InvokeMember('RelatedProducts', [Reflection.BindingFlags]::GetProperty, $null,
  $installer, @('{A50662D1-2CD5-4C3E-89B4-D3F13AEB4497}'))
foreach ($code in $products) {
  $log = "$env:WINDIR\Temp\lumarest-remove.log"
  $p = Start-Process msiexec.exe -Wait -PassThru -ArgumentList "/x $code /qn /norestart /l*v `"$log`""
  if ($p.ExitCode -notin 0, 1605, 3010) { throw "msiexec /x ${code}: exit code $($p.ExitCode)" }
}
Get-ScheduledTask -TaskPath '\Lumarest\' -ErrorAction SilentlyContinue | Unregister-ScheduledTask -Confirm:$false
'Lumarest is not installed'
