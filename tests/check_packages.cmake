# Installs a built vexmor and packs it, then checks what lands where.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DVERSION=... -P check_packages.cmake

function(expect_listed listing path what)
	string(FIND "${listing}" "${path}" at)
	if(at EQUAL -1)
		message(FATAL_ERROR " ${what} lacks ${path}:\n${listing}")
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
foreach(path bin/vexmor share/doc/vexmor/README.md)
	if(NOT EXISTS "${WORK_DIR}/prefix/${path}")
		message(FATAL_ERROR " cmake --install put no ${path} under the prefix")
	endif()
endforeach()

run(cpack --config "${BUILD_DIR}/CPackConfig.cmake" -B "${WORK_DIR}/packages")
run(tar -tzf "${WORK_DIR}/packages/vexmor-${VERSION}-Linux.tar.gz")
expect_listed("${out}" "vexmor-${VERSION}-Linux/bin/vexmor" "the .tar.gz")
expect_listed("${out}" "vexmor-${VERSION}-Linux/share/doc/vexmor/README.md" "the .tar.gz")

file(GLOB debs "${WORK_DIR}/packages/vexmor_${VERSION}_*.deb")
if(NOT debs)
	message(FATAL_ERROR " cpack made no vexmor_${VERSION}_*.deb")
endif()
run(dpkg-deb --contents ${debs})
expect_listed("${out}" "./usr/bin/vexmor" "the .deb")
expect_listed("${out}" "./usr/share/doc/vexmor/README.md" "the .deb")
run(dpkg-deb --field ${debs} Version)
if(NOT out MATCHES "^${VERSION}\n$")
	message(FATAL_ERROR " the .deb says version ${out}, not ${VERSION}")
endif()
