#include "sane_library.h"

#include <QCoreApplication>
#include <dlfcn.h>
#include <mutex>

namespace scan {
namespace {

struct LoaderState {
    std::mutex mutex;
    QString name = QStringLiteral("libsane.so.1");
    QString loaded_name;  // name of the library whose session is open
    SaneLibrary library;
    bool session_open = false;
    bool post_routine_added = false;
};

// Never destroyed: the session is ended by a Qt post routine, which may run
// after the statics of this file are gone (a static application object).
LoaderState& state() {
    static LoaderState* s = new LoaderState;
    return *s;
}

QString loader_reason() {
    const char* reason = dlerror();
    return reason ? QString::fromLocal8Bit(reason) : QStringLiteral("erreur inconnue du chargeur");
}

template <typename F>
bool resolve(void* handle, const char* symbol, F* target) {
    dlerror();
    void* address = dlsym(handle, symbol);
    *target = reinterpret_cast<F>(address);
    return address != nullptr;
}

void end_session_locked(LoaderState& s) {
    if (s.session_open) s.library.exit();
    s.session_open = false;
    s.loaded_name.clear();
    // The library stays mapped: backends may keep threads or atexit handlers
    // pointing into it, so unmapping it is never worth the risk.
}

}  // namespace

QString SaneLibrary::status_text(SANE_Status status) const {
    const char* text = strstatus ? strstatus(status) : nullptr;
    return text ? QString::fromLocal8Bit(text) : QStringLiteral("état SANE %1").arg(int(status));
}

void set_sane_library_name(const QString& name) {
    LoaderState& s = state();
    std::lock_guard lock(s.mutex);
    if (name == s.name) return;
    end_session_locked(s);
    s.name = name;
}

core::Result<const SaneLibrary*> sane_library() {
    LoaderState& s = state();
    std::lock_guard lock(s.mutex);
    if (s.session_open && s.loaded_name == s.name) return &s.library;
    end_session_locked(s);

    void* handle = dlopen(s.name.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return core::fail(loader_reason());
    SaneLibrary lib;
    if (!resolve(handle, "sane_init", &lib.init) || !resolve(handle, "sane_exit", &lib.exit) ||
        !resolve(handle, "sane_get_devices", &lib.get_devices) || !resolve(handle, "sane_open", &lib.open) ||
        !resolve(handle, "sane_close", &lib.close) ||
        !resolve(handle, "sane_get_option_descriptor", &lib.get_option_descriptor) ||
        !resolve(handle, "sane_control_option", &lib.control_option) ||
        !resolve(handle, "sane_get_parameters", &lib.get_parameters) || !resolve(handle, "sane_start", &lib.start) ||
        !resolve(handle, "sane_read", &lib.read) || !resolve(handle, "sane_cancel", &lib.cancel) ||
        !resolve(handle, "sane_strstatus", &lib.strstatus))
        return core::fail(loader_reason());

    SANE_Int version = 0;
    const SANE_Status status = lib.init(&version, nullptr);
    if (status != SANE_STATUS_GOOD) return core::fail(QStringLiteral("sane_init: %1").arg(lib.status_text(status)));
    if (SANE_VERSION_MAJOR(version) != SANE_CURRENT_MAJOR) {
        lib.exit();
        return core::fail(QStringLiteral("%1 est en version %2 de SANE, version %3 attendue")
                              .arg(s.name)
                              .arg(SANE_VERSION_MAJOR(version))
                              .arg(SANE_CURRENT_MAJOR));
    }
    s.library = lib;
    s.loaded_name = s.name;
    s.session_open = true;
    if (!s.post_routine_added && QCoreApplication::instance()) {
        qAddPostRoutine(sane_library_shutdown);
        s.post_routine_added = true;
    }
    return &s.library;
}

void sane_library_shutdown() {
    LoaderState& s = state();
    std::lock_guard lock(s.mutex);
    end_session_locked(s);
}

}  // namespace scan
