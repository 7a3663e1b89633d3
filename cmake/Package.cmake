# The Debian package: CPack's DEB generator over the install rules of the
# `tarvex` component, plus what Debian asks of every package beyond the program
# itself: a manual page, the copyright file and the changelog. scripts/package
# builds it and scripts/check-package holds it to lintian.

set(TARVEX_MAINTAINER "Tarvex maintainers <maintainers@tarvex.example>")
# Built without the window, the package is tarvex-nox, as Debian names "the same
# program without X" (emacs-nox, vim-nox): the shell's commands on Qt Core only.
if(TARVEX_WINDOW)
    set(TARVEX_PACKAGE tarvex)
    set(tarvex_other_package tarvex-nox)
else()
    set(TARVEX_PACKAGE tarvex-nox)
    set(tarvex_other_package tarvex)
endif()

# The changelog's trailer line wants the release day in RFC 2822 form.
execute_process(COMMAND date -u -R -d ${TARVEX_RELEASE_DATE}
                OUTPUT_VARIABLE TARVEX_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)

# A .deb is built for the Debian release it is built on: its Qt libraries carry other
# package names on each (Debian 13's end in t64). The Debian revision says which, as
# Debian's own updates for a stable release do: 1.0.0-1~deb12u1, 1.0.0-1~deb13u1.
set(TARVEX_DEBIAN_REVISION 1)
if(TARVEX_DEBIAN_RELEASE)
    set(TARVEX_DEBIAN_REVISION 1~deb${TARVEX_DEBIAN_RELEASE}u1)
endif()
set(TARVEX_DEBIAN_VERSION ${PROJECT_VERSION}-${TARVEX_DEBIAN_REVISION})

# Debian keeps the manual page and the changelog compressed with gzip -9n: no name
# or time stamp inside, so the same sources give the same package. configure_file
# reruns CMake whenever a template changes, so the copies cannot go stale.
set(tarvex_package_dir ${PROJECT_BINARY_DIR}/package)
configure_file(data/debian/changelog.in ${tarvex_package_dir}/changelog.Debian @ONLY)
configure_file(data/tarvex.1.in ${tarvex_package_dir}/tarvex.1 @ONLY)
execute_process(COMMAND gzip -9nkf changelog.Debian tarvex.1 WORKING_DIRECTORY ${tarvex_package_dir}
                COMMAND_ERROR_IS_FATAL ANY)

install(FILES ${tarvex_package_dir}/tarvex.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT tarvex)
# Debian looks for these under the package's name, whatever the project calls itself.
install(FILES ${tarvex_package_dir}/changelog.Debian.gz ${PROJECT_SOURCE_DIR}/data/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${TARVEX_PACKAGE} COMPONENT tarvex)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${TARVEX_PACKAGE})
set(CPACK_PACKAGE_VENDOR "The Tarvex developers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Only the program and its desktop files: the virtual modem, the tests and the
# benchmarks have install rules or build outputs of their own and stay out.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};tarvex;/")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # tarvex_<version>-<revision>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TARVEX_DEBIAN_REVISION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TARVEX_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# CPack names the package after the machine it runs on; a cross build (arm64 on an
# amd64 machine) is named, and its dependencies looked up, for the target's
# architecture instead.
if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
endif()
# Both ship /usr/bin/tarvex: one replaces the other (Debian policy 7.6.2).
set(CPACK_DEBIAN_PACKAGE_CONFLICTS ${tarvex_other_package})
set(CPACK_DEBIAN_PACKAGE_REPLACES ${tarvex_other_package})
if(TARVEX_WINDOW)
    # The window needs a platform plugin to start on X (xcb), which libqt6gui6 only
    # recommends; shlibdeps adds the libraries to this.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
    # The window asks for Arial; Liberation Sans has its metrics, so the captions fit.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-liberation)
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "check a GSM modem on a serial port and send a test SMS")
# CPack puts the summary first and indents the rest as Debian's long description.
set(CPACK_PACKAGE_DESCRIPTION
    "Tarvex is a small desktop tool for technicians. It opens a modem on one of
the serial ports COM1 to COM40 at 9600 baud and, at the press of a button,
tells within two seconds whether the modem answers. It also sends a test SMS
to a number the technician types, and reports whether the modem accepted it
and, if not, why (SIM PIN needed, message centre unknown, an error answer).
A port can be pointed at any device, such as a USB modem, through an
environment variable. Without a display, tarvex --check and tarvex --send
do the same from a shell, over SSH or in a cron job, with an exit status.")
if(NOT TARVEX_WINDOW)
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "check a GSM modem and send a test SMS, without X")
    set(CPACK_PACKAGE_DESCRIPTION
        "Tarvex checks a GSM modem on a serial port and sends a test SMS through
it. This package has its shell commands only, for systems without a
desktop such as Raspberry Pi OS Lite: tarvex --check tells within two
seconds whether the modem answers, and tarvex --send sends an SMS and says
whether the modem accepted it, each with an exit status, over SSH or in a
cron job. It needs neither X nor a display. The package tarvex adds the
window.")
endif()

include(CPack)
