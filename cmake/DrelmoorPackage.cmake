# The Debian package (make deb): CPack's DEB generator over the install
# rules. The door's libraries are private to it, in lib/drelmoor, so the
# package ships no shared library that other packages could link.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME drelmoor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Drelmoor developers <maintainers@drelmoor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
	"door game for bulletin-board callers, with its host")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Drelmoor is a small multi-user role-playing game that the callers of a
bulletin-board system play as a door: they fight their way down ten cave
levels, buy weapons and armor from the blacksmith, heal at the healer's hut
and compare characters on the Wall of Fame.
.
The package holds the host zenbo, which serves the callers' terminals and
runs the door program for them, the door itself, their libraries, the
game's data files and a system service that runs the host as its own user.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
	${CMAKE_BINARY_DIR}/lib)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, libsqlite3-0")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
	${CMAKE_SOURCE_DIR}/packaging/debian/postinst
	${CMAKE_SOURCE_DIR}/packaging/debian/prerm
	${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
