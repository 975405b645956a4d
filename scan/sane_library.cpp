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
bool resolve(void* handle, const char* symbol, F* target, QString* error) {
  dlerror();
  void* address = dlsym(handle, symbol);
  if (!address) {
    *error = loader_reason();
    return false;
  }
  *target = reinterpret_cast<F>(address);
  return true;
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

QString sane_library_name() {
  LoaderState& s = state();
  std::lock_guard lock(s.mutex);
  return s.name;
}

const SaneLibrary* sane_library(QString* error) {
  LoaderState& s = state();
  std::lock_guard lock(s.mutex);
  if (s.session_open && s.loaded_name == s.name) return &s.library;
  end_session_locked(s);

  QString reason;
  void* handle = dlopen(s.name.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    *error = loader_reason();
    return nullptr;
  }
  SaneLibrary lib;
  if (!resolve(handle, "sane_init", &lib.init, &reason) || !resolve(handle, "sane_exit", &lib.exit, &reason) ||
      !resolve(handle, "sane_get_devices", &lib.get_devices, &reason) ||
      !resolve(handle, "sane_open", &lib.open, &reason) || !resolve(handle, "sane_close", &lib.close, &reason) ||
      !resolve(handle, "sane_get_option_descriptor", &lib.get_option_descriptor, &reason) ||
      !resolve(handle, "sane_control_option", &lib.control_option, &reason) ||
      !resolve(handle, "sane_get_parameters", &lib.get_parameters, &reason) ||
      !resolve(handle, "sane_start", &lib.start, &reason) || !resolve(handle, "sane_read", &lib.read, &reason) ||
      !resolve(handle, "sane_cancel", &lib.cancel, &reason) ||
      !resolve(handle, "sane_strstatus", &lib.strstatus, &reason)) {
    *error = reason;
    return nullptr;
  }

  SANE_Int version = 0;
  const SANE_Status status = lib.init(&version, nullptr);
  if (status != SANE_STATUS_GOOD) {
    *error = QStringLiteral("sane_init: %1").arg(lib.status_text(status));
    return nullptr;
  }
  if (SANE_VERSION_MAJOR(version) != SANE_CURRENT_MAJOR) {
    lib.exit();
    *error = QStringLiteral("%1 est en version %2 de SANE, version %3 attendue")
                 .arg(s.name)
                 .arg(SANE_VERSION_MAJOR(version))
                 .arg(SANE_CURRENT_MAJOR);
    return nullptr;
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
