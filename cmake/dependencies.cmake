# The packages the kit builds with.  A missing one stops the configuration
# with its name, the Debian package that provides it and the command that
# installs everything.

function(lumo_missing_dependency what debian_package)
  message(FATAL_ERROR
    "${what} was not found. It comes with the Debian package ${debian_package} "
    "(sudo apt-get install ${debian_package}); bash scripts/setup.sh installs "
    "everything the kit needs to build and test. ${ARGN}")
endfunction()

# lumo_require_pkg(PREFIX DEBIAN_PACKAGE MODULE...): the pkg-config modules
# as the imported target PkgConfig::PREFIX.
macro(lumo_require_pkg prefix debian_package)
  # A target asked for before serves again.
  if(NOT TARGET PkgConfig::${prefix})
    if(NOT PKG_CONFIG_FOUND)
      find_package(PkgConfig QUIET)
      if(NOT PKG_CONFIG_FOUND)
        lumo_missing_dependency("pkg-config" pkg-config)
      endif()
    endif()
    pkg_check_modules(${prefix} IMPORTED_TARGET GLOBAL ${ARGN})
    if(NOT ${prefix}_FOUND)
      string(REPLACE ";" ", " _lumo_modules "${ARGN}")
      lumo_missing_dependency("The pkg-config package ${_lumo_modules}" ${debian_package})
    endif()
  endif()
endmacro()
