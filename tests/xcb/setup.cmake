# The window under a real X server and window manager: its test program runs
# inside with_window_manager.sh.
set(xcb_tests_LAUNCHER sh ${CMAKE_CURRENT_LIST_DIR}/with_window_manager.sh)
