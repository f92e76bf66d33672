# The Debian package (cmake --build --preset win64 --target package): kelmar_VERSION-1_amd64.deb with
# the launcher, the x86_64 KELMAR32.EXE (64-bit Wine runs it alone), the Linux programs beside it, the menu
# entry, icons, the manual page and the Debian documents. Included by CMakeLists.txt for the x86_64 build on
# Linux.
find_program(KELMAR_CONVERT convert REQUIRED)  # ImageMagick, for the icon's PNGs
find_program(KELMAR_GZIP gzip REQUIRED)
set(deb ${CMAKE_BINARY_DIR}/deb)
set(src ${CMAKE_SOURCE_DIR}/packaging/debian)

configure_file(${src}/kelmar.in ${deb}/kelmar @ONLY)
configure_file(${src}/kelmar.1.in ${deb}/kelmar.1 @ONLY)

# Debian wants these compressed with gzip -9n, so the bytes do not depend on when they were built.
set(compressed)
foreach(pair "${deb}/kelmar.1:kelmar.1" "${src}/changelog:changelog.Debian" "${CMAKE_SOURCE_DIR}/docs/user-guide.txt:user-guide.txt")
    string(REPLACE ":" ";" pair "${pair}")
    list(GET pair 0 source)
    list(GET pair 1 name)
    # gzip replaces the file it compresses, so it gets a copy of its own.
    add_custom_command(OUTPUT ${deb}/gz/${name}.gz
                       COMMAND ${CMAKE_COMMAND} -E copy ${source} ${deb}/gz/${name}
                       COMMAND ${KELMAR_GZIP} -9nf ${deb}/gz/${name}
                       DEPENDS ${source} VERBATIM)
    list(APPEND compressed ${deb}/gz/${name}.gz)
endforeach()

# The desktop's icon sizes from the 32x32 image of the program's own icon; 48 scaled without blurring.
set(icons)
foreach(size 16 32 48)
    if(size EQUAL 16)
        set(frame 1)
    else()
        set(frame 0)
    endif()
    set(png ${deb}/icons/${size}x${size}/kelmar.png)
    add_custom_command(OUTPUT ${png}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${deb}/icons/${size}x${size}
                       COMMAND ${KELMAR_CONVERT} ${CMAKE_SOURCE_DIR}/resources/kelmar.ico[${frame}]
                               -filter Point -resize ${size}x${size} -strip
                               -define png:exclude-chunks=date,time ${png}
                       DEPENDS ${CMAKE_SOURCE_DIR}/resources/kelmar.ico VERBATIM)
    list(APPEND icons ${png})
    install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()

# The Linux programs (kelmar-import, start-app, kelmar-run, in linux/) with the host compiler: this same
# source tree configured once more for the host, since this build's compiler is MinGW's; built hardened
# and without the native preset's sanitizers.
include(ExternalProject)
set(native ${CMAKE_BINARY_DIR}/linux)  # a new folder: an older build tree has another project in "native"
ExternalProject_Add(kelmar_native
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${native}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DKELMAR_LINUX_PROGRAMS_ONLY=ON
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${native}/kelmar-import ${native}/start-app ${native}/kelmar-run ${native}/kelmar-prefix)
add_custom_target(deb_files ALL DEPENDS ${compressed} ${icons} kelmar_native)

install(PROGRAMS ${deb}/kelmar DESTINATION bin)
install(FILES $<TARGET_FILE:kelmar> DESTINATION lib/kelmar)
install(PROGRAMS ${native}/kelmar-import ${native}/start-app ${native}/kelmar-run ${native}/kelmar-prefix
        DESTINATION lib/kelmar)
install(FILES ${src}/kelmar.desktop DESTINATION share/applications)
install(FILES ${deb}/gz/kelmar.1.gz DESTINATION share/man/man1)
install(FILES ${src}/copyright ${deb}/gz/changelog.Debian.gz ${deb}/gz/user-guide.txt.gz DESTINATION share/doc/kelmar)
install(FILES ${src}/lintian-overrides DESTINATION share/lintian/overrides RENAME kelmar)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelmar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Kelmar developers <kelmar@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# wine64 only suggests its preloader, without which Wine now and then fails to start a program.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "wine64, wine64-preloader")
# The Linux programs' libraries (GLib's GIO, fontconfig and libX11, which Wine itself depends on, the C
# and C++ runtimes), as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Wine's own fonts (Tahoma and the like), which the bar, its menus and dialogs are drawn in; without them
# Wine falls back to whatever fonts it finds.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wine")
# The prefix each user's first start copies: made at install and whenever Wine's files change (a trigger),
# removed with the package.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${src}/postinst;${src}/postrm;${src}/triggers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "thin bar of application menus across the top of the screen")
# Lines as the control file shows them (CPack indents them; Debian wants them under 80 columns).
set(CPACK_PACKAGE_DESCRIPTION "Kelmar is a small application launcher for Win32, run here under 64-bit
Wine. A thin bar lies across the top of the screen; its menu bar holds one
popup for each menu of applications you define, a popup for editing the
menus and the options, and the time at the right.

The command kelmar starts the bar with its menus and a Wine prefix of its
own in the user's data folder, and can have it start with the session. Its
first menus are the applications of the desktop's own menus.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
