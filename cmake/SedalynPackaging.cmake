# The Debian package, made by CPack from the install rules (scripts/package.sh).
# It installs under the prefix the build was configured with, because the
# program carries its data folder from that prefix; package.sh uses /usr.
set(SEDALYN_PACKAGE_MAINTAINER "Sedalyn maintainers <maintainers@sedalyn.invalid>"
    CACHE STRING "The package's Maintainer field: name <address>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sedalyn)
set(CPACK_PACKAGE_VENDOR "Sedalyn")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "propofol concentration prediction for anaesthetists")
set(CPACK_PACKAGE_DESCRIPTION [=[
While a propofol infusion runs, Sedalyn predicts the propofol concentration
in plasma and at the effect site with the Schnider model, three times side
by side: with the James, Hume and Janmahasatian lean body mass. It works from
the infusion rate that the anaesthetist copies from the pump by hand, and can
record the case to a CSV file. sedalyn-sim runs the same engine on the
command line.

Sedalyn predicts; it controls nothing and talks to no pump. It is not a
medical device: its numbers are model predictions for a typical patient, for
those competent in total intravenous anaesthesia, next to their own
clinical judgement.]=])

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SEDALYN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Help hands the document to the desktop's opener.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
# Packages are made in the build folder, not beside the sources.
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/package")
set(CPACK_STRIP_FILES ON)

include(CPack)
