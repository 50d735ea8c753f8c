# The removal script as the administrator's page once printed it: "$code:"
# reads as a scope-qualified variable with no name, and PowerShell stops
# with a parse error before any line runs.
foreach ($code in $products) {
  $p = Start-Process msiexec.exe -Wait -PassThru -ArgumentList "/x $code /qn /norestart"
  if ($p.ExitCode -notin 0, 1605, 3010) { throw "msiexec /x $code: $($p.ExitCode)" }
}
