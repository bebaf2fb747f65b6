# Run by cpack, as set up by VexmorRelease.cmake, at two moments:
#
# Before packing (CPACK_PROJECT_CONFIG_FILE), it refuses a build of the
# example signal unless VEXMOR_PACKAGE_EXAMPLE_SIGNAL is on, given when
# configuring or as `cpack -D VEXMOR_PACKAGE_EXAMPLE_SIGNAL=ON`; and when
# SOURCE_DATE_EPOCH is unset, it sets it to the time of the source's last
# commit, the time that every packed file then carries.  Then it reads the
# project's own CPACK_PROJECT_CONFIG_FILE, which chooses what each package
# holds.
#
# After packing (CPACK_POST_BUILD_SCRIPTS, with CPACK_PACKAGE_FILES set), it
# packs each package again so that its bytes depend on its files alone, not
# on the order or sizes that the staging folder's file system gives them:
# members sorted by name, owned by root, with fixed modes and times, and a
# .deb's Installed-Size counted as dpkg-gencontrol counts it.

if(NOT DEFINED CPACK_PACKAGE_FILES)
	if(CPACK_VEXMOR_SIGNAL_IS_EXAMPLE AND NOT (CPACK_VEXMOR_PACKAGE_EXAMPLE_SIGNAL OR VEXMOR_PACKAGE_EXAMPLE_SIGNAL))
		message(FATAL_ERROR " VEXMOR_SIGNAL is the example signal, whose answer the README prints: configure your own, or set VEXMOR_PACKAGE_EXAMPLE_SIGNAL=ON to package it anyway")
	endif()
	if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
		execute_process(COMMAND git -C "${CPACK_VEXMOR_SOURCE_DIR}" log -1 --format=%ct
			OUTPUT_VARIABLE epoch RESULT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
		if(NOT status EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
			message(FATAL_ERROR " SOURCE_DATE_EPOCH is unset and ${CPACK_VEXMOR_SOURCE_DIR} has no git history to take it from: set it to the time the packaged files should carry")
		endif()
		set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
	endif()
	if(CPACK_VEXMOR_PROJECT_CONFIG_FILE)
		include("${CPACK_VEXMOR_PROJECT_CONFIG_FILE}")
	endif()
	return()
endif()

function(run)
	execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
	if(NOT status EQUAL 0)
		message(FATAL_ERROR " ${ARGN} failed (${status}):\n${out}")
	endif()
endfunction()

# Every path under dir, relative to it, sorted byte by byte.
function(sorted_tree dir out)
	file(GLOB_RECURSE paths LIST_DIRECTORIES true RELATIVE "${dir}" "${dir}/*")
	list(SORT paths)
	set(${out} "${paths}" PARENT_SCOPE)
endfunction()

# Modes as an install makes them with the usual umask, whatever the builder's.
function(fix_modes_and_times dir)
	sorted_tree("${dir}" paths)
	list(TRANSFORM paths PREPEND "${dir}/")
	run(chmod u+rwX,go+rX,go-w ${paths})
	run(touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" ${paths})
endfunction()

function(repack_tar_gz package work)
	run(tar -xpf "${package}" -C "${work}")
	fix_modes_and_times("${work}")
	file(GLOB tops RELATIVE "${work}" "${work}/*")
	list(SORT tops)
	execute_process(
		COMMAND tar --sort=name --format=gnu --owner=root:0 --group=root:0
			"--mtime=@$ENV{SOURCE_DATE_EPOCH}" -C "${work}" -cf - ${tops}
		COMMAND gzip -9n
		OUTPUT_FILE "${package}" RESULT_VARIABLE statuses COMMAND_ERROR_IS_FATAL ANY)
endfunction()

# zip keeps local times, so it is told that the zone is UTC; -X leaves out
# the owner and the extra time fields.
function(repack_zip package work)
	run("${CMAKE_COMMAND}" -E chdir "${work}" "${CMAKE_COMMAND}" -E tar xf "${package}")
	fix_modes_and_times("${work}")
	sorted_tree("${work}" paths)
	list(JOIN paths "\n" listing)
	file(WRITE "${work}.list" "${listing}\n")
	file(REMOVE "${package}")
	run("${CMAKE_COMMAND}" -E env TZ=UTC0 "${CMAKE_COMMAND}" -E chdir "${work}"
		zip -X -q -9 -@ "${package}" INPUT_FILE "${work}.list")
	file(REMOVE "${work}.list")
endfunction()

# CPack counts a directory by its size on disk, which the file system sets:
# 4 KiB on ext4, less on tmpfs.  dpkg-gencontrol's way counts each file's
# size in whole KiB and 1 KiB for anything else.
function(repack_deb package work)
	run(dpkg-deb -R "${package}" "${work}/root")
	sorted_tree("${work}/root" paths)
	set(kib 0)
	foreach(path IN LISTS paths)
		if(path MATCHES "^DEBIAN(/|$)")
			continue()
		endif()
		if(IS_DIRECTORY "${work}/root/${path}" OR IS_SYMLINK "${work}/root/${path}")
			math(EXPR kib "${kib} + 1")
		else()
			file(SIZE "${work}/root/${path}" bytes)
			math(EXPR kib "${kib} + (${bytes} + 1023) / 1024")
		endif()
	endforeach()
	file(READ "${work}/root/DEBIAN/control" control)
	string(REGEX REPLACE "\nInstalled-Size: [0-9]+\n" "\nInstalled-Size: ${kib}\n" control "${control}")
	file(WRITE "${work}/root/DEBIAN/control" "${control}")
	fix_modes_and_times("${work}/root")
	run(dpkg-deb --root-owner-group -Zgzip --build "${work}/root" "${package}")
endfunction()

foreach(package IN LISTS CPACK_PACKAGE_FILES)
	set(work "${package}.repack")
	file(REMOVE_RECURSE "${work}")
	file(MAKE_DIRECTORY "${work}")
	if(package MATCHES "\\.tar\\.gz$")
		repack_tar_gz("${package}" "${work}")
	elseif(package MATCHES "\\.zip$")
		repack_zip("${package}" "${work}")
	elseif(package MATCHES "\\.deb$")
		repack_deb("${package}" "${work}")
	else()
		message(FATAL_ERROR " ${package}: no way known to pack it reproducibly")
	endif()
	file(REMOVE_RECURSE "${work}")
endforeach()
