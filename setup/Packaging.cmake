# The distribution folder, the installation rules and the Debian package.
# All three lay out the files of the install list; only where they put them
# differs.


# Which rows are programs (installed executable) and which targets make them.
set(list_targets)
foreach(name IN LISTS OVNSS_INSTALL_LIST)
  if(TARGET ${name})
    list(APPEND list_targets ${name})
  endif()
endforeach()
foreach(row IN LISTS list_rows)
  separate_arguments(fields UNIX_COMMAND "${row}")
  list(LENGTH fields field_count)
  if(field_count GREATER 1 AND NOT row MATCHES "^#")
    list(GET fields 1 needs)
    if(TARGET ${needs})
      list(APPEND list_targets ${needs})
    endif()
  endif()
endforeach()
list(REMOVE_DUPLICATES list_targets)

# The distribution folder: the list's files, setup with its message library
# and text file, and the launcher. `build/dist/ovnss-<version>/ovnss-install`
# installs from it, as `build/bin/ovnss-install` does from the build.
set(OVNSS_DIST_DIR ${CMAKE_BINARY_DIR}/dist/ovnss-${PROJECT_VERSION})
set(dist_files ${OVNSS_INSTALL_LIST} ${OVNSS_STAGED_FILES} ovnss-install)
list(REMOVE_DUPLICATES dist_files)
set(dist_commands)
foreach(name IN LISTS dist_files)
  get_filename_component(sub ${name} DIRECTORY)
  if(sub)
    list(APPEND dist_commands COMMAND ${CMAKE_COMMAND} -E make_directory ${OVNSS_DIST_DIR}/${sub})
  endif()
  list(APPEND dist_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different
       ${CMAKE_BINARY_DIR}/bin/${name} ${OVNSS_DIST_DIR}/${name})
endforeach()
add_custom_target(distribution ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${OVNSS_DIST_DIR}
  ${dist_commands}
  COMMENT "Distribution folder ${OVNSS_DIST_DIR}"
  VERBATIM)
# Setup's message library and its text file come with the text files' target.
add_dependencies(distribution ${list_targets} ovnss-setup TextLibNSS ovnss-text-files)

# `cmake --install` and the package: the installation folder is
# <prefix>/lib/ovnss with the list's files (the uninstaller aside: packages
# are removed by the package manager), the programs are linked into
# <prefix>/bin, the window gets a desktop entry, and a machine-wide registry
# store names the installation, so the program starts without setup.
set(OVNSS_INSTALL_SUBDIR lib/ovnss)  # one folder whatever the multiarch library folder
foreach(name IN LISTS OVNSS_INSTALL_LIST)
  if(name STREQUAL "ovnss-uninstall")
    continue()
  endif()
  set(kind FILES)
  if(TARGET ${name})
    get_target_property(type ${name} TYPE)
    if(type STREQUAL "EXECUTABLE")
      set(kind PROGRAMS)
    endif()
  endif()
  get_filename_component(sub ${name} DIRECTORY)
  install(${kind} ${CMAKE_BINARY_DIR}/bin/${name} DESTINATION ${OVNSS_INSTALL_SUBDIR}/${sub})
endforeach()
# The sample disk, the default disk of `ovnss-cli recover`, with the manifest
# of what it holds, and the two disks of a pool that spans them with theirs:
# architecture-independent data.
install(FILES ${CMAKE_BINARY_DIR}/samples/sample-disk.img ${CMAKE_BINARY_DIR}/samples/sample-disk.manifest.json
  ${CMAKE_BINARY_DIR}/samples/sample-pool-disk-1.img ${CMAKE_BINARY_DIR}/samples/sample-pool-disk-2.img
  ${CMAKE_BINARY_DIR}/samples/sample-pool-disks.manifest.json
  DESTINATION share/ovnss)

set(OVNSS_HAS_WINDOW OFF)
if("ovnss" IN_LIST OVNSS_INSTALL_LIST)
  set(OVNSS_HAS_WINDOW ON)
endif()
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/InstallExtras.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/InstallExtras.cmake @ONLY)
install(SCRIPT ${CMAKE_CURRENT_BINARY_DIR}/InstallExtras.cmake)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ovnss)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The OVNSS Project <packages@ovnss.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "file recovery for NetWare NSS disks")
# The long description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Orlindavestrum for NSS recovers files from the NSS pools and volumes of a
Novell NetWare disk whose server no longer runs. It reads the disk, or an
image of it (raw, split raw, E01, VMDK, VHD, VHDX, QCOW2), sector by sector
and never writes to it: it finds the NetWare partitions and the NSS pools,
lists each pool's volumes, rebuilds a volume's folders and files and copies
the chosen ones to a working folder. When the structures are beyond use, a
raw mode carves Word, Excel, PowerPoint and Zip documents out of the sectors.
.
The package holds the window (ovnss), the command line (ovnss-cli), the help
and a small sample disk in /usr/share/ovnss to try them on.")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://ovnss.example.org/support")
# xdg-open opens the help and the reports, xdg-email writes the mail.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_STRIP_FILES ON)
# The machine-wide registry store is configuration: an administrator's
# edits survive upgrades.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/conffiles "/etc/ovnss/registry.txt\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/conffiles ${CMAKE_CURRENT_SOURCE_DIR}/debian/postrm)
include(CPack)
