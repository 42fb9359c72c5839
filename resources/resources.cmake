# The desktop program's images, help page and theme icons. Included from
# src/CMakeLists.txt, in the folder that builds zorvane_ui and zorvane.

set(ZORVANE_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR})

# The SVGs go into the program under :/icons. AppResources.cpp calls
# Q_INIT_RESOURCE, which keeps them linked in from the static library.
qt_add_resources(ZORVANE_RESOURCE_SOURCES ${ZORVANE_RESOURCES_DIR}/zorvane.qrc)
set(ZORVANE_APP_RESOURCES_CPP ${PROJECT_SOURCE_DIR}/src/ui/main/AppResources.cpp)
target_sources(zorvane_ui PRIVATE ${PROJECT_SOURCE_DIR}/src/ui/main/AppResources.h
               ${ZORVANE_APP_RESOURCES_CPP} ${ZORVANE_RESOURCE_SOURCES})

# The help page beside the program in the build tree, so that F1 works
# without installing; an installed program finds the copy under share/doc.
set(ZORVANE_HELP_BUILD_DIR ${CMAKE_BINARY_DIR}/src/help)
set(ZORVANE_HELP_FILES index.html)
set(ZORVANE_HELP_COPIES)
foreach(file IN LISTS ZORVANE_HELP_FILES)
  add_custom_command(
    OUTPUT ${ZORVANE_HELP_BUILD_DIR}/${file}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZORVANE_HELP_BUILD_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ZORVANE_RESOURCES_DIR}/help/${file}
            ${ZORVANE_HELP_BUILD_DIR}/${file}
    DEPENDS ${ZORVANE_RESOURCES_DIR}/help/${file}
    COMMENT "Copying help/${file} beside the program"
    VERBATIM)
  list(APPEND ZORVANE_HELP_COPIES ${ZORVANE_HELP_BUILD_DIR}/${file})
endforeach()
add_custom_target(zorvane_help DEPENDS ${ZORVANE_HELP_COPIES})
add_dependencies(zorvane_ui zorvane_help)

# Bitmaps of the program's icon for the hicolor theme, drawn from the SVG at
# build time, so that no rendered copy has to be kept in step by hand.
add_executable(zorvane-render-icon ${ZORVANE_RESOURCES_DIR}/tools/RenderIcon.cpp)
target_link_libraries(zorvane-render-icon PRIVATE Qt6::Gui)
set(ZORVANE_ICON_SIZES 16 22 24 32 48 64 128 256)
set(ZORVANE_ICON_ROOT ${CMAKE_BINARY_DIR}/icons/hicolor)
set(ZORVANE_HICOLOR_ICONS)
foreach(size IN LISTS ZORVANE_ICON_SIZES)
  list(APPEND ZORVANE_HICOLOR_ICONS ${ZORVANE_ICON_ROOT}/${size}x${size}/apps/zorvane.png)
endforeach()
add_custom_command(
  OUTPUT ${ZORVANE_HICOLOR_ICONS}
  # A sanitizer build instruments the tool too; Qt's caches are no leak of ours.
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
          $<TARGET_FILE:zorvane-render-icon> ${ZORVANE_RESOURCES_DIR}/icons/zorvane.svg
          ${ZORVANE_ICON_ROOT} zorvane ${ZORVANE_ICON_SIZES}
  DEPENDS zorvane-render-icon ${ZORVANE_RESOURCES_DIR}/icons/zorvane.svg
  COMMENT "Rendering the program's icon for the hicolor theme"
  VERBATIM)
add_custom_target(zorvane_hicolor_icons ALL DEPENDS ${ZORVANE_HICOLOR_ICONS})
