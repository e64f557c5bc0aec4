# Read by CPack once per generator: the .deb installs under /opt/halvex, the
# archive unpacks to one folder holding bin/ and halvex/ directly.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGING_INSTALL_PREFIX /opt/halvex)
endif()
