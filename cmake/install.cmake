# Installing the kit on Linux (cmake --install, any prefix, GNUInstallDirs
# folders), its pkg-config file and CMake package, and the Debian package
# made by CPack (cpack -G DEB).
include(CMakePackageConfigHelpers)
include(CheckFunctionExists)

# What a program linking the static library needs besides it: the C library
# has everything on current systems; older ones keep shm_open in librt.
check_function_exists(shm_open LUMO_SHM_OPEN_IN_LIBC)
set(LUMO_PC_LIBS_PRIVATE "")
set(LUMO_CMAKE_LIBS_PRIVATE "")
if(NOT LUMO_SHM_OPEN_IN_LIBC)
  set(LUMO_PC_LIBS_PRIVATE "-lrt")
  set(LUMO_CMAKE_LIBS_PRIVATE "rt")
endif()

# The Fortran module compiled from lumo.f90 (for `use lumo`), when gfortran is there.
find_program(LUMO_GFORTRAN gfortran)
if(LUMO_GFORTRAN)
  set(LUMO_MODULE_DIR ${CMAKE_BINARY_DIR}/fortran_module)
  add_custom_command(
    OUTPUT ${LUMO_MODULE_DIR}/lumo.mod ${LUMO_MODULE_DIR}/lumo.o
    COMMAND ${CMAKE_COMMAND} -E make_directory ${LUMO_MODULE_DIR}
    COMMAND ${LUMO_GFORTRAN} -c -J${LUMO_MODULE_DIR} -o ${LUMO_MODULE_DIR}/lumo.o
            ${PROJECT_SOURCE_DIR}/include/lumo.f90
    DEPENDS ${PROJECT_SOURCE_DIR}/include/lumo.f90
    COMMENT "Compiling the Fortran module lumo.mod")
  add_custom_target(lumo_fortran_module ALL DEPENDS ${LUMO_MODULE_DIR}/lumo.mod)
  # The module's own code (the plotting procedures that take arrays and texts
  # of any length) goes into libLumo.a, so `use lumo` needs nothing else; a C
  # program never pulls it in.
  target_sources(Lumo PRIVATE ${LUMO_MODULE_DIR}/lumo.o)
  set_source_files_properties(${LUMO_MODULE_DIR}/lumo.o TARGET_DIRECTORY Lumo
                              PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  add_dependencies(Lumo lumo_fortran_module)
  install(FILES ${LUMO_MODULE_DIR}/lumo.mod DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
endif()

install(TARGETS Lumo EXPORT LumoTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS lumoview RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The web view's module, which lumoview looks for beside itself.
install(TARGETS lumoview_web LIBRARY DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/lumo.h ${PROJECT_SOURCE_DIR}/include/lumo_ref.h
              ${PROJECT_SOURCE_DIR}/include/lumo.f90
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# lumorun finds the kit from its own folder: the paths between them.
file(RELATIVE_PATH LUMORUN_TO_PREFIX ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_PREFIX})
if(LUMORUN_TO_PREFIX STREQUAL "")
  set(LUMORUN_TO_PREFIX ".")
endif()
configure_file(${PROJECT_SOURCE_DIR}/tools/lumorun.in ${CMAKE_BINARY_DIR}/lumorun @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/lumorun DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/samples/diffchart.c ${PROJECT_SOURCE_DIR}/samples/plot3.c
              ${PROJECT_SOURCE_DIR}/samples/picker.c ${PROJECT_SOURCE_DIR}/samples/lumo_convenience.c
              ${PROJECT_SOURCE_DIR}/samples/lumo_convenience.h
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lumo/samples)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/samples/data ${PROJECT_SOURCE_DIR}/samples/fortran
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lumo/samples)
# The guides (docs/ with their pictures) and the README beside them, its
# links and guide names rewritten to the installed layout (docs/x.md is x.md
# there), with a word on the commands that need a source checkout.
file(READ ${PROJECT_SOURCE_DIR}/README.md LUMO_README)
string(REPLACE "](docs/" "](" LUMO_README "${LUMO_README}")
string(REPLACE "`docs/" "`" LUMO_README "${LUMO_README}")
string(REPLACE "[docs/" "[" LUMO_README "${LUMO_README}")
string(CONCAT LUMO_README_NOTE
  "This copy of the README is installed with the kit, beside its guides\n"
  "(`architecture.md`, `server-protocol.md`, `events.md`, `figures.md`,\n"
  "`web-view.md` and the others in this folder). The commands below that use\n"
  "`scripts/`, `build/` or `samples/` run in a checkout of the kit's source.\n\n")
string(REGEX REPLACE "^(# [^\n]*\n\n)" "\\1${LUMO_README_NOTE}" LUMO_README "${LUMO_README}")
set(LUMO_INSTALLED_README ${CMAKE_BINARY_DIR}/installed-doc/README.md)
if(EXISTS ${LUMO_INSTALLED_README})
  file(READ ${LUMO_INSTALLED_README} LUMO_README_BEFORE)
endif()
if(NOT LUMO_README STREQUAL LUMO_README_BEFORE)
  file(WRITE ${LUMO_INSTALLED_README} "${LUMO_README}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
install(FILES ${LUMO_INSTALLED_README} DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/man/lumoview.1 ${PROJECT_SOURCE_DIR}/man/lumorun.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# A manual page per call, made from the comments of lumo.h at build time,
# and lumo(3) with the list of them (tools/make_man_pages.py).
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND)
  set(LUMO_MAN3_DIR ${CMAKE_BINARY_DIR}/man3)
  add_custom_command(
    OUTPUT ${LUMO_MAN3_DIR}/lumo.3
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/make_man_pages.py
            ${PROJECT_SOURCE_DIR} ${LUMO_MAN3_DIR}
    DEPENDS ${PROJECT_SOURCE_DIR}/tools/make_man_pages.py ${PROJECT_SOURCE_DIR}/include/lumo.h
            ${PROJECT_SOURCE_DIR}/include/lumo_ref.h ${PROJECT_SOURCE_DIR}/man/lumo.3
    COMMENT "Writing the manual pages of the calls")
  add_custom_target(lumo_man_pages ALL DEPENDS ${LUMO_MAN3_DIR}/lumo.3)
  install(DIRECTORY ${LUMO_MAN3_DIR}/ DESTINATION ${CMAKE_INSTALL_MANDIR}/man3
          FILES_MATCHING PATTERN "*.3")
else()
  message(STATUS "No python3: lumo(3) is installed without the pages of the calls")
  install(FILES ${PROJECT_SOURCE_DIR}/man/lumo.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3)
endif()

# pkg-config, relocatable: the prefix is found from the file's own folder.
file(RELATIVE_PATH LUMO_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" LUMO_PC_TO_PREFIX "${LUMO_PC_TO_PREFIX}")
if(LUMO_PC_TO_PREFIX STREQUAL "")
  set(LUMO_PC_TO_PREFIX ".")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/lumo.pc.in ${CMAKE_BINARY_DIR}/lumo.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/lumo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The CMake package: find_package(Lumo CONFIG) gives Lumo::Lumo.
set(LUMO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Lumo)
install(EXPORT LumoTargets NAMESPACE Lumo:: DESTINATION ${LUMO_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/LumoConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/LumoConfig.cmake
                              INSTALL_DESTINATION ${LUMO_CMAKE_DIR}
                              PATH_VARS CMAKE_INSTALL_BINDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/LumoConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/LumoConfig.cmake ${CMAKE_BINARY_DIR}/LumoConfigVersion.cmake
        DESTINATION ${LUMO_CMAKE_DIR})

# The Debian package (cpack -G DEB in a build configured with the prefix /usr).
set(CPACK_PACKAGE_NAME lumo)
set(CPACK_PACKAGE_VENDOR "The Lumo kit developers")
set(CPACK_PACKAGE_CONTACT "Lumo kit developers <lumo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "numbered graphics windows for C and Fortran console programs")
set(CPACK_PACKAGE_DESCRIPTION
    "The static library libLumo.a lets plain C and Fortran programs draw into numbered graphics windows shown by the graphics window server lumoview (X11, or headless writing PNG, SVG and PDF files). lumorun compiles and runs a program against the kit in one command.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# lumoview draws with cairo on X11 and finds fonts through fontconfig; its
# web view's module needs libwebsockets and libpng;
# lumorun needs a C compiler, and gfortran for Fortran programs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libcairo2 (>= 1.16), libx11-6, libwebsockets17, libpng16-16, libstdc++6, libgcc-s1, fontconfig, pkg-config")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gcc | c-compiler, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gfortran, cmake")
include(CPack)
