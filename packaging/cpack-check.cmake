# Run by cpack: refuses a package whose programs were built for another install prefix
# (KIVO_PACKAGE_ANY_PREFIX lets the packaging checks look at such a package anyway).
if(NOT CPACK_KIVO_BUILT_PREFIX STREQUAL CPACK_PACKAGING_INSTALL_PREFIX
   AND NOT KIVO_PACKAGE_ANY_PREFIX)
  message(FATAL_ERROR
          "This build is for ${CPACK_KIVO_BUILT_PREFIX}, the package installs into "
          "${CPACK_PACKAGING_INSTALL_PREFIX}: configure with "
          "-DCMAKE_INSTALL_PREFIX=${CPACK_PACKAGING_INSTALL_PREFIX} (make package does).")
endif()
