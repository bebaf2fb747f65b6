# Read by cpack once for each package it makes, to choose what goes in.
# Every package holds the program, its manual page and the README.  The .deb
# adds the licence and changelog in Debian's forms, `copyright` and
# `changelog.gz`; the archives add LICENSE and CHANGELOG as they are.
list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 vexmor_build_dir)
list(GET CPACK_INSTALL_CMAKE_PROJECTS 1 vexmor_project)
if(CPACK_GENERATOR STREQUAL "DEB")
	set(vexmor_licence_component debian)
else()
	set(vexmor_licence_component licence)
endif()
set(CPACK_INSTALL_CMAKE_PROJECTS
	"${vexmor_build_dir}" "${vexmor_project}" Unspecified /
	"${vexmor_build_dir}" "${vexmor_project}" ${vexmor_licence_component} /)
