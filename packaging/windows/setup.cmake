# The Windows setup, made with NSIS from kelmar.nsi: the EXE this build makes, the user guide and the
# licence as the ZIP names them. Included by CMakeLists.txt. The i686 build makes the shipped setup,
# Kelmar-VERSION-setup.exe, beside the ZIP; the x86_64 build makes Kelmar-VERSION-setup-amd64-test.exe
# from the same script with NSIS's 64-bit stub, only for the tests under 64-bit Wine. KELMENUS.EXE,
# which makes Kelmar's menus from the Start menu, goes beside the EXE.
# Set before inclusion: KELMAR_RELEASE_TEXTS (README.TXT and LICENSE.TXT as Windows text files).
set(src ${CMAKE_SOURCE_DIR}/packaging/windows)
set(licence_page ${CMAKE_BINARY_DIR}/licence-page.txt)
add_custom_command(OUTPUT ${licence_page}
                   COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/LICENSE -DOUT=${licence_page}
                           -P ${src}/licence_page.cmake
                   DEPENDS ${CMAKE_SOURCE_DIR}/LICENSE ${src}/licence_page.cmake
                   VERBATIM)
# The pictures of the welcome and finish pages and of the components lists, drawn flat and small.
set(wizard ${CMAKE_BINARY_DIR}/setup-wizard.bmp)
set(checks ${CMAKE_BINARY_DIR}/setup-checks.bmp)
add_custom_command(OUTPUT ${wizard} ${checks}
                   COMMAND ${KELMAR_PYTHON} ${CMAKE_SOURCE_DIR}/tools/setup_images.py ${wizard} ${checks}
                   DEPENDS ${CMAKE_SOURCE_DIR}/tools/setup_images.py ${CMAKE_SOURCE_DIR}/tools/make_icons.py
                   VERBATIM)
set(defines -DVERSION=${PROJECT_VERSION}
            -DFILEVERSION=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0
            -DEXE=$<TARGET_FILE:kelmar>
            -DKELMENUS=$<TARGET_FILE:kelmenus>
            -DGUIDE=${CMAKE_BINARY_DIR}/README.TXT
            -DLICENCE=${CMAKE_BINARY_DIR}/LICENSE.TXT
            -DLICENCE_PAGE=${licence_page}
            -DICON=${CMAKE_SOURCE_DIR}/resources/kelmar.ico
            -DWIZARD=${wizard}
            -DCHECKS=${checks})
if(KELMAR_ARCH STREQUAL "i686")
    set(setup ${CMAKE_BINARY_DIR}/Kelmar-${PROJECT_VERSION}-setup.exe)
else()
    set(setup ${CMAKE_BINARY_DIR}/Kelmar-${PROJECT_VERSION}-setup-amd64-test.exe)
    list(APPEND defines -DAMD64)
endif()
# -WX: a warning (an unused function, a page text that does not fit) fails the build. The script is UTF-8.
add_custom_command(OUTPUT ${setup}
                   COMMAND ${KELMAR_MAKENSIS} -V2 -WX -NOCD -INPUTCHARSET UTF8 ${defines} -DOUTFILE=${setup} ${src}/kelmar.nsi
                   DEPENDS kelmar kelmenus ${KELMAR_RELEASE_TEXTS} ${licence_page} ${wizard} ${checks} ${src}/kelmar.nsi ${CMAKE_SOURCE_DIR}/resources/kelmar.ico
                   VERBATIM)
add_custom_target(setup ALL DEPENDS ${setup})
