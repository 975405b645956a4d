#pragma once
#include <QString>

#include "result.h"

namespace print {

// Hands a finished document to the print system for one of its printers.
// The print system's own answer decides: the job's number when it took the
// job, otherwise its reason (empty when it gives none), or why it could not
// be asked.
core::Result<int> submit_to_print_system(const QString& printer, const QString& pdf_file, const QString& title);

}  // namespace print
