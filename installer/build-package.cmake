# Builds lumarest.msi: wixl compiles lumarest.wxs, then msibuild adds what
# wixl 0.101 cannot express. Run as a script (cmake -P) with
#   WIXL, MSIBUILD  the two tools
#   WXS             installer/lumarest.wxs
#   EXE             the 32-bit lumarest.exe to ship
#   CHECK_EXE       the 32-bit lumarest-check.exe to ship beside it
#   STARTER_DLL     the 32-bit lumarest-starter.dll, the commit action (and
#                   its deferred twin where rollback is disabled) that
#                   starts the controllers (Binary table, not installed)
#   VERSION         the product version, four numbers (app/resources/version.h)
#   STAGE           a scratch folder for this build
#   OUTPUT          the package to write
# and, optionally,
#   SOURCE_DATE_EPOCH  a time (seconds since 1970) to date the packaged files
#                   with, so the cabinet inside does not depend on when the
#                   files were built (tools/release.sh passes the commit's)
# The package is written beside OUTPUT and renamed into place at the end,
# so a failed step never leaves a half-made package that looks finished.

foreach(var WIXL MSIBUILD WXS EXE CHECK_EXE STARTER_DLL VERSION STAGE OUTPUT)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "build-package.cmake: ${var} is not set")
  endif()
endforeach()
if(NOT VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "build-package.cmake: VERSION '${VERSION}' is not four numbers")
endif()

# The upgrade code, as lumarest.wxs writes it.
set(upgrade_code "{A50662D1-2CD5-4C3E-89B4-D3F13AEB4497}")

# Access rights, in SDDL (well-known SIDs: SY LocalSystem, BA Administrators,
# BU Users; the letters are the same on every Windows language, unlike the
# account names the older LockPermissions table takes).
#
# The folder: protected (P), so that nothing granted on Program Files or on
# the Kelvane folder above it reaches in. Users may list it and read and run
# what is inside (FRFX) but not add a file or a folder, nor delete or rename
# anything: no FILE_ADD_FILE, FILE_ADD_SUBDIRECTORY, FILE_DELETE_CHILD,
# DELETE. That keeps out a planted DLL beside the exe, and a junction, link
# or other file put where a state file was. The ACEs are inherited (OICI) by
# lumarest.exe.
set(folder_sddl "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)")
# Each state file: protected too, so the folder's inheritable entries do not
# add to it. The controller opens it with fopen "r" (GENERIC_READ) and
# fopen "w" (GENERIC_WRITE, CREATE_ALWAYS: the existing file is truncated
# in place, which takes FILE_WRITE_DATA, FILE_WRITE_ATTRIBUTES and
# FILE_WRITE_EA, all inside GENERIC_WRITE). FRFW is exactly those two
# generic rights mapped for files, 0x12019F: no DELETE, WRITE_DAC or
# WRITE_OWNER, so a user can change the mark but not remove, rename or
# re-permission the file.
set(state_file_sddl "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FRFW;;;BU)")

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${STAGE}"
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "build-package.cmake: '${command}' failed (${rc}):\n${out}${err}")
  endif()
endfunction()

# wixl takes sources relative to the folder it runs in, under the names they
# are installed with.
file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}")
configure_file("${EXE}" "${STAGE}/lumarest.exe" COPYONLY)
configure_file("${CHECK_EXE}" "${STAGE}/lumarest-check.exe" COPYONLY)
configure_file("${STARTER_DLL}" "${STAGE}/lumarest-starter.dll" COPYONLY)
# The state files hold one mark each and no line end, as the controller
# writes them (see lumarest.wxs for why these marks).
file(WRITE "${STAGE}/lasttimeACDC.txt" "2")
file(WRITE "${STAGE}/lasttimeDCRefresh.txt" "2")
# The cabinet records each file's modification time.
if(DEFINED SOURCE_DATE_EPOCH AND NOT "${SOURCE_DATE_EPOCH}" STREQUAL "")
  foreach(name lumarest.exe lumarest-check.exe lasttimeACDC.txt lasttimeDCRefresh.txt)
    run(touch -d "@${SOURCE_DATE_EPOCH}" "${name}")
  endforeach()
endif()

set(partial "${OUTPUT}.partial")
file(REMOVE "${partial}")
run("${WIXL}" -a x86 -D "Version=${VERSION}" -o "${partial}" "${WXS}")

# The permission table.
set(tab "\t")
file(WRITE "${STAGE}/MsiLockPermissionsEx.idt"
  "MsiLockPermissionsEx${tab}LockObject${tab}Table${tab}SDDLText${tab}Condition\r\n"
  "s72${tab}s72${tab}s32${tab}s0${tab}S255\r\n"
  "MsiLockPermissionsEx${tab}MsiLockPermissionsEx\r\n"
  "LockInstallFolder${tab}INSTALLFOLDER${tab}CreateFolder${tab}${folder_sddl}${tab}\r\n"
  "LockAcdcStateFile${tab}lasttimeACDC.txt${tab}File${tab}${state_file_sddl}${tab}\r\n"
  "LockDcRefreshStateFile${tab}lasttimeDCRefresh.txt${tab}File${tab}${state_file_sddl}${tab}\r\n")
run("${MSIBUILD}" "${partial}" -i MsiLockPermissionsEx.idt)

# The older-release row: wixl drops IncludeMaximum, and without it a rebuild
# of the same version (a new product code) would be installed beside the
# one already there instead of replacing it. 768 = VersionMinInclusive |
# VersionMaxInclusive. (libmsi cannot UPDATE this column, hence the swap.)
run("${MSIBUILD}" "${partial}" -q
  "DELETE FROM Upgrade WHERE ActionProperty = 'LUMAREST_OLDER_FOUND'")
run("${MSIBUILD}" "${partial}" -q
  "INSERT INTO Upgrade (UpgradeCode, VersionMin, VersionMax, Attributes, ActionProperty) VALUES ('${upgrade_code}', '0.0.0', '${VERSION}', 768, 'LUMAREST_OLDER_FOUND')")

# wixl does not read the exes' version resources. With the version in the
# File table Windows Installer applies the versioned-file rules to them
# (a newer exe replaces an older one); a versioned file carries no hash.
# Both exes carry a version resource.
foreach(exe lumarest.exe lumarest_check.exe)  # File table keys
  run("${MSIBUILD}" "${partial}" -q
    "UPDATE File SET Version = '${VERSION}' WHERE File = '${exe}'")
  run("${MSIBUILD}" "${partial}" -q
    "DELETE FROM MsiFileHash WHERE File_ = '${exe}'")
endforeach()

# The state files are written by a first installation only: with
# NeverOverwrite (128) the installer leaves a component alone when its key
# path file exists, whatever the file versioning rules or a repair's
# REINSTALLMODE would say, so the marks the controller wrote survive an
# upgrade, a repair and a reinstall; a missing file is installed again.
# (wixl 0.101 has no NeverOverwrite attribute.)
run("${MSIBUILD}" "${partial}" -q
  "UPDATE Component SET Attributes = 128 WHERE Component = 'AcdcStateFile' OR Component = 'DcRefreshStateFile'")

# StartControllers is a commit action in the system context: 1 (a function
# in a DLL from the Binary table) + 64 (its return ignored) + 512 (commit)
# + 1024 (in the script) + 2048 (no impersonation) = 3649. wixl 0.101 does
# not know Execute="commit" and writes 2113: an immediate action, which
# would run while the script is still being written, before a single file
# is in place.
run("${MSIBUILD}" "${partial}" -q
  "UPDATE CustomAction SET Type = 3649 WHERE Action = 'StartControllers'")
# Its twin for an installation without rollback: 1 + 64 + 1024 (deferred,
# in the script) + 2048 (no impersonation) = 3137, which wixl writes itself;
# set here too, so that the pair cannot drift apart.
run("${MSIBUILD}" "${partial}" -q
  "UPDATE CustomAction SET Type = 3137 WHERE Action = 'StartControllersWithoutRollback'")

# LUMAREST_START comes from the command line; listed as a secure property
# it reaches the elevated part of the install however msiexec was started.
# (wixl writes the list from the Upgrade rows only.)
# (Not through run(): its argument list would split the value at each ';'.)
execute_process(COMMAND "${MSIBUILD}" "${partial}" -q
  "UPDATE Property SET Value = 'LUMAREST_OLDER_FOUND;LUMAREST_NEWER_FOUND;LUMAREST_START' WHERE Property = 'SecureCustomProperties'"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "build-package.cmake: msibuild could not list LUMAREST_START as secure (${rc})")
endif()

file(RENAME "${partial}" "${OUTPUT}")
