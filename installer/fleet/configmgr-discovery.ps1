# Configuration Manager configuration item, discovery script: prints the
# health word; the compliance rule wants "healthy". A check that cannot run
# prints check_failed, never healthy. Run as SYSTEM (not the logged-on
# user's credentials), 64-bit PowerShell host.
$check = 'C:\Program Files (x86)\Kelvane\Lumarest\lumarest-check.exe'
if (-not (Test-Path -LiteralPath $check)) { 'not_installed'; exit 0 }
$line = & $check --health | Select-Object -Last 1
if ($LASTEXITCODE -ne 0 -and $LASTEXITCODE -ne 1) { 'check_failed'; exit 0 }
"$line".Split(':')[0]
