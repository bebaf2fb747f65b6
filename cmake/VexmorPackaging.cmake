# Installation and packages.  `cmake --install` puts vexmor in bin/ and the
# README in share/doc/vexmor; cpack makes a .tar.gz and a .deb of that on
# Linux, and a .zip on Windows.
include(GNUInstallDirs)

install(TARGETS vexmor RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION "${CMAKE_INSTALL_DOCDIR}")

set(CPACK_PACKAGE_NAME vexmor)
set(CPACK_PACKAGE_VENDOR "vexmor maintainers")
set(CPACK_PACKAGE_CONTACT "vexmor maintainers <maintainers@users.noreply.c-seed-feb6e2a3.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# The version comes from project(); so do the archive names, for instance
# vexmor-0.1.0-Linux.tar.gz and vexmor-0.1.0-win64.zip.
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)
# Packages go to their own folder of the build, not among its other files.
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/packages")

if(WIN32)
	set(CPACK_GENERATOR ZIP)
else()
	set(CPACK_GENERATOR TGZ DEB)
	# Debian's own name for the file: vexmor_0.1.0_amd64.deb.
	set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
	set(CPACK_DEBIAN_PACKAGE_SECTION misc)
	# The dependencies are read off the executable when dpkg-shlibdeps is
	# there to do it; otherwise the C library is all that it links.
	find_program(VEXMOR_DPKG_SHLIBDEPS dpkg-shlibdeps)
	if(VEXMOR_DPKG_SHLIBDEPS)
		set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
	else()
		set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6")
	endif()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/VexmorRelease.cmake)
include(CPack)
