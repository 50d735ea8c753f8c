# The installer tests' packages (cmake -P, from the installer_package test):
# brings the release build's lumarest.msi up to date, then puts into OUT_DIR
# the packages the install tests run, and the two exes those carry:
#   lumarest-first.msi    VERSION: the release package itself
#   lumarest-rebuild.msi  the same VERSION again (a new product code)
#   lumarest-next.msi     NEXT_VERSION
#   lumarest.exe, lumarest-check.exe, lumarest-starter.dll
# The install tests start the installed controller, so the packages carry
# exes this machine runs at native speed. Where Wine runs no 32-bit exe
# (tools/wine-runs-32bit.sh: a kernel without 32-bit support, or no
# wine32), or runs it only under emulation (tools/i386-mode.sh: about 50 s
# per process, and the tests start dozens; the prefix of this build then has
# no 32-bit half either, see tools/wine-prefix.sh), they carry RUN_DIR's
# 64-bit build instead of the release's 32-bit one: the same package source
# and build script, so the package's own behaviour is what the tests see
# either way; the release package's tables are checked by installer_tables.
# The one other difference there: the controllers' stop runs the 64-bit
# taskkill, as the 32-bit one ([SystemFolder] of a 32-bit package) would not
# start, or start slowly.
foreach(var RELEASE_DIR RUN_DIR OUT_DIR WIXL MSIBUILD WXS PACKAGE_SCRIPT VERSION NEXT_VERSION)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "build-test-packages.cmake: ${var} is not set")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "build-test-packages.cmake: ${ARGN} failed (${rc})")
  endif()
endfunction()

run(${CMAKE_COMMAND} --build ${RELEASE_DIR} --target lumarest_msi)
if(NOT EXISTS ${RELEASE_DIR}/installer/lumarest.msi)
  message(FATAL_ERROR "the release build made no ${RELEASE_DIR}/installer/lumarest.msi")
endif()

set(tools ${CMAKE_CURRENT_LIST_DIR}/../../tools)
execute_process(COMMAND sh ${tools}/i386-mode.sh OUTPUT_VARIABLE i386_mode OUTPUT_STRIP_TRAILING_WHITESPACE)
if(i386_mode STREQUAL "native")
  # The same question tools/test.sh asks before it runs the 32-bit tests.
  execute_process(COMMAND sh ${tools}/wine-runs-32bit.sh
    ${RELEASE_DIR}/bin/lumarest-check.exe RESULT_VARIABLE wine32_rc OUTPUT_VARIABLE wine32_why
    OUTPUT_STRIP_TRAILING_WHITESPACE)
else()
  set(wine32_rc 1)
  if(i386_mode STREQUAL "emulated")
    set(wine32_why "this machine runs 32-bit programs only under emulation, about 50 s per 32-bit Wine process")
  else()
    set(wine32_why "this machine runs no 32-bit programs (tools/i386-mode.sh)")
  endif()
endif()
file(MAKE_DIRECTORY ${OUT_DIR})
if(wine32_rc EQUAL 0)
  set(exe_dir ${RELEASE_DIR}/bin)
  configure_file(${RELEASE_DIR}/installer/lumarest.msi ${OUT_DIR}/lumarest-first.msi COPYONLY)
  set(packages rebuild:${VERSION} next:${NEXT_VERSION})
else()
  set(exe_dir ${RUN_DIR})
  message(STATUS "${wine32_why}: the install tests' packages carry the 64-bit exes of ${RUN_DIR}")
  set(packages first:${VERSION} rebuild:${VERSION} next:${NEXT_VERSION})
endif()
foreach(exe lumarest.exe lumarest-check.exe lumarest-starter.dll)
  configure_file(${exe_dir}/${exe} ${OUT_DIR}/${exe} COPYONLY)
endforeach()
foreach(package ${packages})
  string(REPLACE ":" ";" package "${package}")
  list(GET package 0 name)
  list(GET package 1 version)
  run(${CMAKE_COMMAND} -DWIXL=${WIXL} -DMSIBUILD=${MSIBUILD} -DWXS=${WXS}
    -DEXE=${exe_dir}/lumarest.exe -DCHECK_EXE=${exe_dir}/lumarest-check.exe
    -DSTARTER_DLL=${exe_dir}/lumarest-starter.dll
    -DVERSION=${version} -DSTAGE=${OUT_DIR}/${name} -DOUTPUT=${OUT_DIR}/lumarest-${name}.msi
    -P ${PACKAGE_SCRIPT})
  if(NOT wine32_rc EQUAL 0)
    run(${MSIBUILD} ${OUT_DIR}/lumarest-${name}.msi -q
      "UPDATE CustomAction SET Target = '[System64Folder]taskkill.exe' WHERE Action = 'SetTaskkillPath'")
  endif()
endforeach()
