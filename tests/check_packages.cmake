# Installs a built vexmor and packs it, then checks what lands where: every
# package carries the program, its manual page, the README and the licence,
# lintian finds nothing at all to say of the .deb, and the packages' bytes
# depend on nothing but their files and the epoch.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DVERSION=... -DSYSTEM=linux-x86_64 -P check_packages.cmake
# With -DEXPECT=refusal, checks instead that cpack refuses a build of the
# example signal, in one line, when not told that its author means it.

function(expect_listed listing path what)
	string(FIND "${listing}" "${path}" at)
	if(at EQUAL -1)
		message(FATAL_ERROR " ${what} lacks ${path}:\n${listing}")
	endif()
endfunction()

function(expect_unlisted listing path what)
	string(FIND "${listing}" "${path}" at)
	if(NOT at EQUAL -1)
		message(FATAL_ERROR " ${what} should not hold ${path}:\n${listing}")
	endif()
endfunction()

function(run)
	execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
	if(NOT status EQUAL 0)
		message(FATAL_ERROR " ${ARGN} failed (${status}):\n${out}")
	endif()
	set(out "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")

if(EXPECT STREQUAL "refusal")
	execute_process(COMMAND cpack --config "${BUILD_DIR}/CPackConfig.cmake" -B "${WORK_DIR}/packages"
		RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
	set(reason "VEXMOR_SIGNAL is the example signal, whose answer the README prints: configure your own, or set VEXMOR_PACKAGE_EXAMPLE_SIGNAL=ON to package it anyway")
	if(status EQUAL 0 OR NOT out MATCHES "\n +${reason}\n")
		message(FATAL_ERROR " cpack did not refuse the example signal with its reason (${status}):\n${out}")
	endif()
	file(GLOB made "${WORK_DIR}/packages/*.tar.gz" "${WORK_DIR}/packages/*.deb")
	if(made)
		message(FATAL_ERROR " cpack refused, yet made ${made}")
	endif()
	return()
endif()

run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK_DIR}/prefix")
foreach(path bin/vexmor share/man/man1/vexmor.1.gz
		share/doc/vexmor/README.md share/doc/vexmor/LICENSE share/doc/vexmor/CHANGELOG)
	if(NOT EXISTS "${WORK_DIR}/prefix/${path}")
		message(FATAL_ERROR " cmake --install put no ${path} under the prefix")
	endif()
endforeach()

# The author of this build means to package it, whatever its signal.  Every
# packed file carries the epoch's time.
set(ENV{SOURCE_DATE_EPOCH} 1000000000)
run(cpack -D VEXMOR_PACKAGE_EXAMPLE_SIGNAL=ON --config "${BUILD_DIR}/CPackConfig.cmake" -B "${WORK_DIR}/packages")

# The archive: the licence and changelog as they are.
set(top "vexmor-${VERSION}-${SYSTEM}")
run(tar -tzf "${WORK_DIR}/packages/${top}.tar.gz")
foreach(path bin/vexmor share/man/man1/vexmor.1.gz
		share/doc/vexmor/README.md share/doc/vexmor/LICENSE share/doc/vexmor/CHANGELOG)
	expect_listed("${out}" "${top}/${path}" "the .tar.gz")
endforeach()
expect_unlisted("${out}" "/copyright" "the .tar.gz")
# Sorted, whatever order the staging folder's file system lists them in.
string(REGEX REPLACE "\n$" "" members "${out}")
string(REPLACE "\n" ";" members "${members}")
set(sorted ${members})
list(SORT sorted)
if(NOT members STREQUAL sorted)
	message(FATAL_ERROR " the .tar.gz members are not sorted: ${members}")
endif()
run(tar --full-time -tvzf "${WORK_DIR}/packages/${top}.tar.gz")
string(REGEX MATCHALL "[0-9]+-[0-9]+-[0-9]+ [0-9:]+" times "${out}")
list(REMOVE_DUPLICATES times)
if(NOT times STREQUAL "2001-09-09 01:46:40")
	message(FATAL_ERROR " the .tar.gz members do not all carry SOURCE_DATE_EPOCH's time:\n${out}")
endif()

# The .deb: the licence and changelog in Debian's forms instead.
file(GLOB debs "${WORK_DIR}/packages/vexmor_${VERSION}_*.deb")
if(NOT debs)
	message(FATAL_ERROR " cpack made no vexmor_${VERSION}_*.deb")
endif()
run(dpkg-deb --contents ${debs})
foreach(path usr/bin/vexmor usr/share/man/man1/vexmor.1.gz usr/share/doc/vexmor/README.md
		usr/share/doc/vexmor/copyright usr/share/doc/vexmor/changelog.gz)
	expect_listed("${out}" "./${path}" "the .deb")
endforeach()
expect_unlisted("${out}" "/LICENSE" "the .deb")
run(dpkg-deb --field ${debs} Version)
if(NOT out MATCHES "^${VERSION}\n$")
	message(FATAL_ERROR " the .deb says version ${out}, not ${VERSION}")
endif()
# Installed-Size counts whole KiB of each file and 1 for each directory, as
# dpkg-gencontrol does, not the directories' sizes on this file system.
run(dpkg-deb -x ${debs} "${WORK_DIR}/deb")
file(GLOB_RECURSE paths LIST_DIRECTORIES true "${WORK_DIR}/deb/*")
set(kib 0)
foreach(path IN LISTS paths)
	if(IS_DIRECTORY "${path}")
		math(EXPR kib "${kib} + 1")
	else()
		file(SIZE "${path}" bytes)
		math(EXPR kib "${kib} + (${bytes} + 1023) / 1024")
	endif()
endforeach()
run(dpkg-deb --field ${debs} Installed-Size)
if(NOT out STREQUAL "${kib}\n")
	message(FATAL_ERROR " the .deb says Installed-Size ${out}, not ${kib}")
endif()

file(READ "${WORK_DIR}/deb/usr/share/doc/vexmor/copyright" copyright)
if(NOT copyright MATCHES "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
		OR NOT copyright MATCHES "\nLicense: Expat\n Permission is hereby granted")
	message(FATAL_ERROR " the .deb's copyright file is not the MIT licence in Debian's format:\n${copyright}")
endif()

# Everything lintian can say, down to pedantic and experimental tags, is a
# fault; it says nothing at all of a sound package.
run(lintian --allow-root --pedantic --display-experimental --info ${debs})
if(NOT out STREQUAL "")
	message(FATAL_ERROR " lintian has something to say of the .deb:\n${out}")
endif()
message(STATUS "lintian --pedantic: nothing to say of ${debs}")
