# Installs a built vexmor and packs it, then checks what lands where: every
# package carries the program, its manual page, the README and the licence,
# and lintian finds nothing at all to say of the .deb.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DVERSION=... -P check_packages.cmake

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

run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK_DIR}/prefix")
foreach(path bin/vexmor share/man/man1/vexmor.1.gz
		share/doc/vexmor/README.md share/doc/vexmor/LICENSE share/doc/vexmor/CHANGELOG)
	if(NOT EXISTS "${WORK_DIR}/prefix/${path}")
		message(FATAL_ERROR " cmake --install put no ${path} under the prefix")
	endif()
endforeach()

run(cpack --config "${BUILD_DIR}/CPackConfig.cmake" -B "${WORK_DIR}/packages")

# The archive: the licence and changelog as they are.
set(top "vexmor-${VERSION}-Linux")
run(tar -tzf "${WORK_DIR}/packages/${top}.tar.gz")
foreach(path bin/vexmor share/man/man1/vexmor.1.gz
		share/doc/vexmor/README.md share/doc/vexmor/LICENSE share/doc/vexmor/CHANGELOG)
	expect_listed("${out}" "${top}/${path}" "the .tar.gz")
endforeach()
expect_unlisted("${out}" "/copyright" "the .tar.gz")

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
run(dpkg-deb --extract ${debs} "${WORK_DIR}/deb")
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
