# The installer tests' packages (cmake -P, from the installer_package test):
# brings the release build's lumarest.msi up to date, then builds two more
# from the same lumarest.exe for the upgrade test, into OUT_DIR:
#   lumarest-rebuild.msi  the same VERSION again (a new product code)
#   lumarest-next.msi     NEXT_VERSION
foreach(var RELEASE_DIR OUT_DIR WIXL MSIBUILD WXS PACKAGE_SCRIPT VERSION NEXT_VERSION)
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
foreach(package rebuild:${VERSION} next:${NEXT_VERSION})
  string(REPLACE ":" ";" package "${package}")
  list(GET package 0 name)
  list(GET package 1 version)
  run(${CMAKE_COMMAND} -DWIXL=${WIXL} -DMSIBUILD=${MSIBUILD} -DWXS=${WXS}
    -DEXE=${RELEASE_DIR}/bin/lumarest.exe -DCHECK_EXE=${RELEASE_DIR}/bin/lumarest-check.exe
    -DVERSION=${version}
    -DSTAGE=${OUT_DIR}/${name} -DOUTPUT=${OUT_DIR}/lumarest-${name}.msi
    -P ${PACKAGE_SCRIPT})
endforeach()
