# Installation and packages.  `cmake --install` puts a stripped vexmor in
# bin/, its manual page in share/man/man1, and the README, licence and
# changelog in share/doc/vexmor; cpack makes a .tar.gz and a .deb of that on
# Linux, and a .zip on Windows.
#
# The .deb carries the licence and changelog as Debian expects them,
# `copyright` in Debian's machine-readable format and `changelog.gz`, and the
# archives carry LICENSE and CHANGELOG as they are.  Each kind is an install
# component, and cmake/VexmorCPackProject.cmake picks the right one for each
# package.
include(GNUInstallDirs)

set(VEXMOR_PACKAGE_MAINTAINER "Unnamed Packager <set-VEXMOR_PACKAGE_MAINTAINER@packager.invalid>"
	CACHE STRING "Maintainer field of the .deb: whoever builds the package for others names themselves here")

install(TARGETS vexmor RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
# The build tree keeps its symbols for debugging; what is installed or packed
# loses the symbol table and the compilers' notes, as Debian's own packages
# do.  The dynamic symbol table, which holds check_flag, stays.
if(CMAKE_STRIP)
	set(VEXMOR_STRIP_OPTIONS --strip-unneeded --remove-section=.comment --remove-section=.note)
	install(CODE "
		execute_process(COMMAND \"${CMAKE_STRIP}\" ${VEXMOR_STRIP_OPTIONS}
			\"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:vexmor>\"
			RESULT_VARIABLE status)
		if(NOT status EQUAL 0)
			message(FATAL_ERROR \"${CMAKE_STRIP} could not strip the installed vexmor\")
		endif()")
endif()

install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION "${CMAKE_INSTALL_DOCDIR}")

# The manual page, compressed where manual pages are read from compressed
# files.  gzip -n leaves out the name and time, so the same page gives the
# same bytes.
set(VEXMOR_MANUAL "${PROJECT_SOURCE_DIR}/man/vexmor.1")
if(WIN32)
	install(FILES "${VEXMOR_MANUAL}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
else()
	find_program(VEXMOR_GZIP gzip REQUIRED)
	set(packaging_dir "${PROJECT_BINARY_DIR}/packaging")
	add_custom_command(OUTPUT "${packaging_dir}/vexmor.1.gz" "${packaging_dir}/changelog.gz"
		COMMAND "${VEXMOR_GZIP}" -9n -c "${VEXMOR_MANUAL}" > "${packaging_dir}/vexmor.1.gz"
		COMMAND "${CMAKE_COMMAND}" "-DCHANGELOG=${PROJECT_SOURCE_DIR}/CHANGELOG"
			"-DOUTPUT=${packaging_dir}/changelog" -DPACKAGE=vexmor
			"-DMAINTAINER=${VEXMOR_PACKAGE_MAINTAINER}"
			-P "${PROJECT_SOURCE_DIR}/cmake/DebianChangelog.cmake"
		COMMAND "${VEXMOR_GZIP}" -9nf "${packaging_dir}/changelog"
		DEPENDS "${VEXMOR_MANUAL}" "${PROJECT_SOURCE_DIR}/CHANGELOG"
			"${PROJECT_SOURCE_DIR}/cmake/DebianChangelog.cmake"
		COMMENT "Compressing the manual page, and the changelog in Debian's form"
		VERBATIM)
	add_custom_target(compressed_documents ALL DEPENDS "${packaging_dir}/vexmor.1.gz" "${packaging_dir}/changelog.gz")
	install(FILES "${packaging_dir}/vexmor.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

	# Debian's copyright file: a header, then the licence text of LICENSE
	# from its permission notice on, as one continued field.
	file(READ "${PROJECT_SOURCE_DIR}/LICENSE" licence)
	string(FIND "${licence}" "Permission is hereby granted" notice_start)
	string(SUBSTRING "${licence}" ${notice_start} -1 notice)
	string(STRIP "${notice}" notice)
	string(REPLACE "\n\n" "\n.\n" notice "${notice}")
	string(REPLACE "\n" "\n " notice "${notice}")
	configure_file("${PROJECT_SOURCE_DIR}/cmake/copyright.in" "${packaging_dir}/copyright" @ONLY)

	install(FILES "${packaging_dir}/copyright" "${packaging_dir}/changelog.gz"
		DESTINATION "${CMAKE_INSTALL_DOCDIR}" COMPONENT debian EXCLUDE_FROM_ALL)
endif()
install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" "${PROJECT_SOURCE_DIR}/CHANGELOG"
	DESTINATION "${CMAKE_INSTALL_DOCDIR}" COMPONENT licence)

set(CPACK_PACKAGE_NAME vexmor)
set(CPACK_PACKAGE_VENDOR "the vexmor authors")
set(CPACK_PACKAGE_CONTACT "${VEXMOR_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Lines of at most 72 characters, as Debian's control files want them; CPack
# indents them and marks the blank line.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
	"vexmor asks for a secret string, the signal, reads one line from"
	"standard input and answers correct or wrong, with an exit status that"
	"says the same. The signal is chosen when vexmor is built and is never"
	"in the program in plain form: it holds a scrambled copy and scrambles"
	"the answer the same way. The judging function, check_flag, is exported"
	"by name, so debuggers, preloaded libraries, fuzzers and scripts can"
	"call it directly."
	""
	"It is made for reverse-engineering challenges: an author builds it"
	"with a signal of their own and hands it out, or serves it over the"
	"network, and players recover the signal by reading the program.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
# The version comes from project(); so do the archive names, for instance
# vexmor-0.1.0-Linux.tar.gz and vexmor-0.1.0-win64.zip.
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CHECKSUM SHA256)
# Packages go to their own folder of the build, not among its other files.
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/packages")
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/cmake/VexmorCPackProject.cmake")

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
