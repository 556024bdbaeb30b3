# The tests of the Windows build, run under Wine through the toolchain's
# emulator (./build.sh windows-test): the portable layers' tests that need
# neither an X server nor a POSIX system, and the Windows services' own.
# Each test program is one CTest test; Wine starts a process in about a
# second, too slow to start one per test case.
set(MARIVELLE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources, built for the target")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${MARIVELLE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB test_sources CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/core/*_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/render/*_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sound/*_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/scene/*_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/world/*_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/app/startup_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/app/shipped_scene_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/app/aquarium_integration_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/resources_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/*_win32_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/app/*_win32_test.cpp)
# Left out: drawing for real needs GLX and Xvfb; the full-disk case mounts a
# small file system.
list(FILTER test_sources EXCLUDE REGEX "/(render/gl_render|render/glx|world/overlay_render|core/file_write)_test\\.cpp$")

# Cases left out, by test program: the Windows Imaging Component builds no
# optimised Huffman tables, and Wine's JPEG encoder subsamples colour even
# when asked for full resolution (Windows 8 and later keep it).
set(core_picture_test_ARGS
  --gtest_filter=-JpegTest.OptimizedCodingIsSmallerAndDecodesToTheSamePixels:JpegTest.ColourIsNotSubsampled)
# Wine's PCM converter adds the two channels where the test expects their
# average, and takes one or two channels only, so eight channels are
# refused at the suggestion rather than for their size.
set(sound_wave_test_ARGS
  --gtest_filter=-TWaveSoundConvert.StereoToMonoAverages:TWaveSoundConvert.LyingFormatsAreRefused)

# Paths as a Windows program writes them: Wine's drive Z: is the root.
function(marivelle_windows_path out path)
  string(REPLACE "/" "\\\\" native "${path}")
  set(${out} "Z:${native}" PARENT_SCOPE)
endfunction()
marivelle_windows_path(test_data ${CMAKE_CURRENT_SOURCE_DIR}/data)
marivelle_windows_path(build_dir ${CMAKE_BINARY_DIR})

foreach(src ${test_sources})
  get_filename_component(name ${src} NAME_WE)
  get_filename_component(dir ${src} DIRECTORY)
  file(RELATIVE_PATH rel ${CMAKE_CURRENT_SOURCE_DIR} ${dir})
  set(target ${rel}_${name})
  add_executable(${target} ${src})
  target_link_libraries(${target} PRIVATE marivelle_world marivelle_platform_null gtest gtest_main)
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(${target} PRIVATE
    MARIVELLE_TEST_DATA="${test_data}"
    MARIVELLE_BUILD_DIR="${build_dir}")
  marivelle_warnings(${target})
  add_test(NAME ${target} COMMAND ${target} ${${target}_ARGS})
endforeach()

if(TARGET core_archive_test)
  file(GLOB test_archive_files LIST_DIRECTORIES false CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/data/archive/*)
  marivelle_pack_archive(TARGET marivelle_test_archive OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/test.rfa
    FILES ${test_archive_files})
  marivelle_embed_file(core_archive_test TEST_RFA ${CMAKE_CURRENT_BINARY_DIR}/test.rfa
    DEPENDS marivelle_test_archive)
endif()

# The scene's start-up is the one part of the program's host these tests
# need; the shipped scene is loaded from the archive in the resource section.
foreach(target world_fish_render_test app_startup_test app_shipped_scene_test app_aquarium_integration_test)
  if(TARGET ${target})
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/app/startup.cpp)
  endif()
endforeach()
foreach(target app_startup_test app_shipped_scene_test app_aquarium_integration_test app_saver_win32_test)
  if(TARGET ${target})
    marivelle_embed_archive(${target})
  endif()
endforeach()

# The saver file itself, run in its roles on the test's X server; the
# pictures it showed are kept beside the test for a person to look at.
if(TARGET app_saver_win32_test)
  add_dependencies(app_saver_win32_test marivelle)
  set_tests_properties(app_saver_win32_test PROPERTIES TIMEOUT 400 RUN_SERIAL TRUE)
endif()

# The registry store's test reads through the framework, its real client.
if(TARGET platform_settings_store_win32_test)
  target_sources(platform_settings_store_win32_test PRIVATE ${PROJECT_SOURCE_DIR}/app/application.cpp)
  target_include_directories(platform_settings_store_win32_test PRIVATE ${PROJECT_SOURCE_DIR})
endif()
if(TARGET platform_resources_win32_test)
  marivelle_embed_file(platform_resources_win32_test SAMPLE_GSC ${CMAKE_CURRENT_SOURCE_DIR}/data/archive/Fishes.gsc)
endif()

# The installer and its uninstaller, run silently under Wine in a prefix of
# their own.
if(TARGET marivelle_installer)
  add_test(NAME installer COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/installer/installer_test.sh
    ${MARIVELLE_WINE} ${MARIVELLE_INSTALLER} $<TARGET_FILE:marivelle> ${PROJECT_SOURCE_DIR}/data/help/Help.html
    ${PROJECT_VERSION})
endif()
