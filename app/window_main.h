#pragma once

class EarlyPicture;

// The entry point of the window's library, which the start-up program loads
// at run time. `argc` must outlive the call's QApplication.
extern "C" int selection_image_window_main(int* argc, char** argv, EarlyPicture* early);
using WindowMain = int (*)(int* argc, char** argv, EarlyPicture* early);

// The library's file name, found beside the program.
inline constexpr const char* kWindowLibrary = "libselection_image_window.so";
