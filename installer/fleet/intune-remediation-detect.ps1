# Intune Remediations, detection script: exit 0 healthy, exit 1 runs the
# remediation. Only lumarest-check's exit code 0 is healthy: 1, a crash or
# any other code is not. Run as SYSTEM (logged-on credentials: No), 64-bit.
$check = 'C:\Program Files (x86)\Kelvane\Lumarest\lumarest-check.exe'
if (-not (Test-Path -LiteralPath $check)) { 'not_installed: lumarest-check.exe is missing'; exit 1 }
$line = & $check --health | Select-Object -Last 1
$code = $LASTEXITCODE
if ($code -eq 0) { $line; exit 0 }
"$line (lumarest-check exit code $code)"
exit 1
