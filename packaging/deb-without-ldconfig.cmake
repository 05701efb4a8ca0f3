# Run by CPack once it has made the .deb (CPACK_POST_BUILD_SCRIPTS).
#
# CPack's DEB generator gives a package with a shared object in lib/, or in a
# folder right below it, a postinst and a postrm that run ldconfig. The
# window module in lib/oskeltztex is private to the program, which loads it
# by its path; the dynamic linker never searches that folder, so the call is
# of no use. The package is made again with dpkg-deb, without the two
# scripts; a script that does anything else than that call is kept.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.deb$")
    continue()
  endif()
  set(tree "${CPACK_TOPLEVEL_DIRECTORY}/deb-without-ldconfig")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${package}" "${tree}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "dpkg-deb -R ${package} failed")
  endif()
  set(changed FALSE)
  foreach(script postinst postrm)
    set(path "${tree}/DEBIAN/${script}")
    if(EXISTS "${path}")
      file(READ "${path}" text)
      if(text MATCHES "^#!/bin/sh\n+set -e\n+if \\[ \"\\$1\" = \"(configure|remove)\" \\]; then\n\tldconfig\nfi\n*$")
        file(REMOVE "${path}")
        set(changed TRUE)
      endif()
    endif()
  endforeach()
  if(changed)
    execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip -b "${tree}" "${package}"
                    OUTPUT_QUIET RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "dpkg-deb -b ${package} failed")
    endif()
  endif()
  file(REMOVE_RECURSE "${tree}")
endforeach()
