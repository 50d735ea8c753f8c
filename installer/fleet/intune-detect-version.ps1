# Intune Win32 app, custom detection script: Lumarest 1.0.0 or later is
# installed, found by its upgrade code (which never changes). Intune reads
# exit code 0 with text on standard output as "detected", and no text as
# "not detected". Run as SYSTEM, 64-bit PowerShell.
$wanted = [version]'1.0.0'  # this release's version; Windows Installer compares three fields
$installer = New-Object -ComObject WindowsInstaller.Installer
$products = $installer.GetType().InvokeMember('RelatedProducts', [Reflection.BindingFlags]::GetProperty, $null,
  $installer, @('{A50662D1-2CD5-4C3E-89B4-D3F13AEB4497}'))
foreach ($code in $products) {
  $text = $installer.GetType().InvokeMember('ProductInfo', [Reflection.BindingFlags]::GetProperty, $null,
    $installer, @($code, 'VersionString'))
  $v = [version]$text
  if ([version]"$($v.Major).$($v.Minor).$($v.Build)" -ge $wanted) { "Lumarest $text, product code $code"; exit 0 }
}
exit 0  # nothing printed: not detected
