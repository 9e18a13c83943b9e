# lumoview's start is mostly the dynamic loader mapping and relocating the
# libraries cairo and Xlib bring (about 20 of them). Linked from their
# archives, where the system has them, a server starts several
# milliseconds sooner: that is the wait of every program that starts one
# (docs/performance.md, Start-up). Without the archives, or with
# -DLUMO_STATIC_SERVER_LIBS=OFF, lumoview links the shared libraries.
#
# lumo_server_archives(OUT_VAR): the archives in link order, or empty when
# any of them is missing.
option(LUMO_STATIC_SERVER_LIBS
       "Link lumoview's drawing and window libraries from their archives where they exist" ON)

function(lumo_server_archives out_var)
  set(${out_var} "" PARENT_SCOPE)
  if(NOT LUMO_STATIC_SERVER_LIBS OR WIN32)
    return()
  endif()
  # What libcairo and libX11 need, each after what uses it.
  set(names cairo pixman-1 fontconfig freetype png16 z brotlidec brotlicommon bz2 expat
            Xrender Xext X11 xcb-render xcb-shm xcb Xau Xdmcp)
  set(found "")
  foreach(name IN LISTS names)
    find_library(LUMO_ARCHIVE_${name} NAMES lib${name}.a NO_CACHE)
    if(NOT LUMO_ARCHIVE_${name})
      message(STATUS "lumoview links the shared drawing libraries (no lib${name}.a)")
      return()
    endif()
    list(APPEND found ${LUMO_ARCHIVE_${name}})
  endforeach()
  set(${out_var} ${found} PARENT_SCOPE)
endfunction()
