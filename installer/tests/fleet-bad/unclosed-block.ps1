# A block left open.
if ($LASTEXITCODE -eq 0) { 'healthy'
exit 1
