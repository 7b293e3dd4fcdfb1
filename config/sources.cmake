list(APPEND VT_PORTABLE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/connection_scan.cpp
    ${CMAKE_CURRENT_LIST_DIR}/hosts_entry.cpp)
list(APPEND VT_WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/connections.cpp
    ${CMAKE_CURRENT_LIST_DIR}/hosts_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registry_defaults.cpp)
