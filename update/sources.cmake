list(APPEND VT_WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/update_stage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/patch_tree.cpp)
