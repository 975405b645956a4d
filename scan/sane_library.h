#pragma once
#include <QString>
#include <sane/sane.h>

#include "result.h"

namespace scan {

// The SANE entry points, found at run time: the program starts, and explains
// why it cannot scan, on a machine where SANE is missing.
struct SaneLibrary {
    decltype(&::sane_init) init = nullptr;
    decltype(&::sane_exit) exit = nullptr;
    decltype(&::sane_get_devices) get_devices = nullptr;
    decltype(&::sane_open) open = nullptr;
    decltype(&::sane_close) close = nullptr;
    decltype(&::sane_get_option_descriptor) get_option_descriptor = nullptr;
    decltype(&::sane_control_option) control_option = nullptr;
    decltype(&::sane_get_parameters) get_parameters = nullptr;
    decltype(&::sane_start) start = nullptr;
    decltype(&::sane_read) read = nullptr;
    decltype(&::sane_cancel) cancel = nullptr;
    decltype(&::sane_strstatus) strstatus = nullptr;

    // The library's own wording for a status.
    QString status_text(SANE_Status status) const;
};

// The name handed to the dynamic loader; "libsane.so.1" unless changed.
// Changing it ends the session of the library loaded under the old name, so
// the next use loads (or fails to load) the new one.
void set_sane_library_name(const QString& name);

// The loaded and initialised library, shared by the whole process (any
// thread). Fails with the loader's or the library's reason when it cannot
// be used.
core::Result<const SaneLibrary*> sane_library();

// Ends the library's session (sane_exit) if one is open; the next
// sane_library() starts a new one. Runs by itself when the application object
// is destroyed.
void sane_library_shutdown();

}  // namespace scan
