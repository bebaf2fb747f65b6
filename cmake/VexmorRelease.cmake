# Packages fit to hand out: named for their platform, the same bytes from any
# checkout of a commit at any time, and never of the example signal, whose
# answer the README prints.  Included by VexmorPackaging.cmake before CPack;
# VexmorPack.cmake is what cpack itself runs.

# A notice, not an error: the quick start uses the example.
if(VEXMOR_SIGNAL STREQUAL VEXMOR_EXAMPLE_SIGNAL)
	set(example_signal ON)
	message(NOTICE " VEXMOR_SIGNAL is the example signal, whose answer the README prints; fine for a try, not for a handout")
else()
	set(example_signal OFF)
endif()
# tools/release.sh reads this to refuse the example.
set(VEXMOR_SIGNAL_IS_EXAMPLE ${example_signal} CACHE INTERNAL "VEXMOR_SIGNAL is the example signal")
option(VEXMOR_PACKAGE_EXAMPLE_SIGNAL
	"Let cpack package a build of the example signal, whose answer the README prints" OFF)

# File names say the platform: vexmor-0.1.0-linux-aarch64.tar.gz,
# vexmor-0.1.0-windows-x86_64.zip.  A .deb keeps Debian's name, which ends in
# the Debian architecture.
string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" CPACK_SYSTEM_NAME)

# A .deb of a cross-build is for the compiler's architecture, not this
# machine's; and dpkg-shlibdeps knows only this machine's libraries, so its
# dependency is written out.
if(CMAKE_CROSSCOMPILING AND NOT WIN32)
	execute_process(COMMAND "${CMAKE_C_COMPILER}" -dumpmachine
		OUTPUT_VARIABLE triplet OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
	execute_process(COMMAND dpkg-architecture -qDEB_HOST_ARCH "-t${triplet}"
		OUTPUT_VARIABLE debian_arch RESULT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
	if(NOT status EQUAL 0 OR debian_arch STREQUAL "")
		message(FATAL_ERROR " no Debian architecture for ${triplet}: dpkg-architecture (package dpkg-dev) names it")
	endif()
	set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "${debian_arch}")
	set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
	set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6")
endif()

# cpack runs VexmorPack.cmake before it packs (the refusal, the time stamps),
# which reads in turn the project's own CPACK_PROJECT_CONFIG_FILE, and after
# (the archives packed again in a fixed order).
set(CPACK_VEXMOR_PROJECT_CONFIG_FILE "${CPACK_PROJECT_CONFIG_FILE}")
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_CURRENT_LIST_DIR}/VexmorPack.cmake")
set(CPACK_POST_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/VexmorPack.cmake")
set(CPACK_VEXMOR_SOURCE_DIR "${PROJECT_SOURCE_DIR}")
set(CPACK_VEXMOR_SIGNAL_IS_EXAMPLE ${example_signal})
set(CPACK_VEXMOR_PACKAGE_EXAMPLE_SIGNAL ${VEXMOR_PACKAGE_EXAMPLE_SIGNAL})
