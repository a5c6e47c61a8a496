# SPDX-License-Identifier: MIT
# Runs at install time (see install(CODE) in the top-level CMakeLists.txt). Writes the files that
# name install paths, from the prefix of this install, so that `cmake --install --prefix DIR`
# (a user install under ~/.local, say) gives files that point into DIR. The systemd user unit goes
# to lib/systemd/user under the prefix, where systemd looks for a /usr or ~/.local install.
set(destination "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(ZAV_BINDIR_FULL "${CMAKE_INSTALL_PREFIX}/${ZAV_BINDIR}")
set(ZAV_LIBDIR_FULL "${CMAKE_INSTALL_PREFIX}/${ZAV_LIBDIR}")
set(ZAV_INCLUDEDIR_FULL "${CMAKE_INSTALL_PREFIX}/${ZAV_INCLUDEDIR}")
set(ZAV_SERVICE_EXEC "${ZAV_BINDIR_FULL}/zav-service")

foreach(item
        "dbus/com.kelvo.zav.service.in|share/dbus-1/services/com.kelvo.zav.service"
        "dbus/zav-service.service.in|lib/systemd/user/zav-service.service"
        "src/zavtestapp.desktop.in|share/applications/com.kelvo.zavtestapp.desktop"
        "client/zavclient.pc.in|${ZAV_LIBDIR}/pkgconfig/zavclient.pc")
    string(REPLACE "|" ";" parts "${item}")
    list(GET parts 0 template)
    list(GET parts 1 target)
    message(STATUS "Installing: ${destination}/${target}")
    configure_file("${ZAV_SOURCE_DIR}/${template}" "${destination}/${target}" @ONLY)
    # Listed in install_manifest.txt like every other installed file.
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${destination}/${target}")
endforeach()
