# The Windows programs: the bridge itself, the preview tool, and the stand-ins and probe that the
# Wine tests drive. Everything is linked statically so that each .exe needs only Windows' own DLLs.
enable_language(RC)

# No UNICODE define: each call names its form. Paths, names, messages and window titles go through
# the W calls (UTF-8 inside the program); what the logger sees (its class looked up, the record's
# bytes) keeps the A calls, and windows and resources keep them where no text is involved.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
set(qsoferry_static_link -static -static-libgcc -static-libstdc++ -s)
target_include_directories(qsoferry-preview PRIVATE src)
target_link_libraries(qsoferry-preview PRIVATE shell32)
target_link_options(qsoferry-preview PRIVATE ${qsoferry_static_link})

# The PE header's time stamp is the commit's time, not the link's (ld takes SOURCE_DATE_EPOCH), so
# that two builds of one commit are the same bytes. It sits in the link command: a new commit, which
# writes HEAD's reflog, configures again and relinks.
set(qsoferry_epoch "$ENV{SOURCE_DATE_EPOCH}")
if(qsoferry_epoch STREQUAL "")
    execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE qsoferry_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND git rev-parse --path-format=absolute --git-path logs/HEAD
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE head_log
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(EXISTS "${head_log}")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${head_log}")
    endif()
endif()
if(qsoferry_epoch MATCHES "^[0-9]+$")
    set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${qsoferry_epoch})
    set_property(TARGET qsoferry-preview PROPERTY CXX_LINKER_LAUNCHER ${CMAKE_CXX_LINKER_LAUNCHER})
endif()

add_executable(qsoferry WIN32
    src/app/main.cpp
    src/app/qsoferry_app.cpp
    src/app/main_frame.cpp
    src/app/form_window.cpp
    src/app/qsoferry_doc.cpp
    src/app/about_dlg.cpp
    src/app/relayed_dlg.cpp
    src/app/relayed_layout.cpp
    src/app/recent_files.cpp
    src/app/registry_profile.cpp
    src/platform/win32_platform.cpp
    src/platform/choice_box_win.cpp
    src/platform/accessibility_win.cpp
    src/platform/logger_sender_win.cpp
    src/platform/notification_icon_win.cpp
    res/qsoferry.rc)
configure_file(${CMAKE_SOURCE_DIR}/res/version.h.in ${CMAKE_BINARY_DIR}/version.h @ONLY)
target_include_directories(qsoferry PRIVATE src res ${CMAKE_BINARY_DIR})
set_source_files_properties(res/qsoferry.rc PROPERTIES OBJECT_DEPENDS
    "${CMAKE_SOURCE_DIR}/res/qsoferry.manifest;${CMAKE_SOURCE_DIR}/res/resource.h;${CMAKE_BINARY_DIR}/version.h")
target_link_libraries(qsoferry PRIVATE qsoferry_core comctl32 comdlg32 shell32 ole32 advapi32 gdi32 user32 kernel32)
target_link_options(qsoferry PRIVATE ${qsoferry_static_link})

# Stand-ins for the peers and a probe that looks at the bridge from outside, for the Wine tests.
foreach(tool fake_logger fake_decoder e2e_probe)
    add_executable(${tool} tests/e2e/${tool}.cpp)
    target_link_libraries(${tool} PRIVATE gdi32 user32)
    target_link_options(${tool} PRIVATE ${qsoferry_static_link})
endforeach()
set_target_properties(fake_logger fake_decoder PROPERTIES WIN32_EXECUTABLE ON)
target_link_libraries(e2e_probe PRIVATE ole32 uuid shell32)
target_link_libraries(fake_decoder PRIVATE shell32)
