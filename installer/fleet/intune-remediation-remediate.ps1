# Intune Remediations, remediation script: starts the controller in each
# signed-in session that has none and whose user did not turn Lumarest off
# in Startup apps, as that user, non-elevated. The system account cannot
# start a program in another session by itself; Task Scheduler can, with a
# task that runs only while that user is signed in (one per session, in the
# task folder \Lumarest\, replaced at each run; without a trigger it never
# runs by itself). Task Scheduler's defaults would not start it on battery,
# would stop it when the charger is pulled and after 72 hours: all undone.
# Not installed or broken is not for this script: it says so, exit code 1.
$folder = 'C:\Program Files (x86)\Kelvane\Lumarest'
$json = & "$folder\lumarest-check.exe" --json | Out-String
if ($LASTEXITCODE -ne 0 -and $LASTEXITCODE -ne 1) { "lumarest-check failed (exit code $LASTEXITCODE)"; exit 1 }
$report = $json | ConvertFrom-Json
if ($report.health -eq 'healthy') { 'healthy: nothing to start'; exit 0 }
if ($report.health -ne 'controller_missing') { "nothing this script can do: $($report.health)"; exit 1 }
$settings = New-ScheduledTaskSettingsSet -AllowStartIfOnBatteries -DontStopIfGoingOnBatteries `
  -ExecutionTimeLimit ([TimeSpan]::Zero) -Priority 5 -MultipleInstances IgnoreNew
$action = New-ScheduledTaskAction -Execute "$folder\lumarest.exe"
$started = @()
foreach ($s in @($report.sessions)) {
  if (-not $s.readable -or $s.controller_running -or $s.turned_off -ne $false) { continue }
  $principal = New-ScheduledTaskPrincipal -UserId $s.user -LogonType Interactive -RunLevel Limited
  Register-ScheduledTask -TaskPath '\Lumarest\' -TaskName "Controller in session $($s.id)" -Action $action `
    -Principal $principal -Settings $settings -Force | Start-ScheduledTask
  $started += "session $($s.id)"
}
if ($started.Count -eq 0) { 'no session this account could read lacks a controller'; exit 1 }
"controller started in: $($started -join ', ')"
exit 0
