# The skin release's Qt window layer, a small library the window links; include()d by gui/CMakeLists.txt.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
add_library(marcpy_skinlayer STATIC ${CMAKE_CURRENT_LIST_DIR}/skinlayer.cpp)
target_include_directories(marcpy_skinlayer PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(marcpy_skinlayer PUBLIC marcpy_core Qt6::Widgets)
