#include "print_system.h"

#include <dlfcn.h>

namespace print {

namespace {

// The print system's client library, loaded when first needed, so that the
// program still starts (and says why it cannot print) where it is missing.
struct CupsOption {
    char* name;
    char* value;
};
using PrintFileFn = int (*)(const char*, const char*, const char*, int, CupsOption*);
using LastErrorFn = const char* (*)();

struct CupsLibrary {
    PrintFileFn print_file = nullptr;
    LastErrorFn last_error = nullptr;
    QString load_error;

    CupsLibrary() {
        void* handle = dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            load_error = QString::fromLocal8Bit(dlerror());
            return;
        }
        print_file = reinterpret_cast<PrintFileFn>(dlsym(handle, "cupsPrintFile"));
        last_error = reinterpret_cast<LastErrorFn>(dlsym(handle, "cupsLastErrorString"));
        if (!print_file) load_error = QStringLiteral("cupsPrintFile is missing from libcups");
    }
};

const CupsLibrary& cups() {
    static const CupsLibrary library;
    return library;
}

}  // namespace

core::Result<int> submit_to_print_system(const QString& printer, const QString& pdf_file, const QString& title) {
    const CupsLibrary& lib = cups();
    if (!lib.print_file) return core::fail(lib.load_error);
    const QByteArray name = printer.toLocal8Bit();
    const QByteArray file = pdf_file.toLocal8Bit();
    const QByteArray job_title = title.toUtf8();
    const int job = lib.print_file(name.constData(), file.constData(), job_title.constData(), 0, nullptr);
    if (job <= 0) return core::fail(lib.last_error ? QString::fromUtf8(lib.last_error()) : QString());
    return job;
}

}  // namespace print
