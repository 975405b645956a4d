#pragma once
#include <QString>

namespace print {

// Hands a finished document to the print system for one of its printers.
// The print system's own answer decides: a job number when it took the job,
// otherwise its reason (or why it could not be asked).
struct PrintSubmission {
    int job_id = 0;  // 0 when the job was not taken
    QString error;
    bool accepted() const { return job_id > 0; }
};

PrintSubmission submit_to_print_system(const QString& printer, const QString& pdf_file,
                                       const QString& title);

}  // namespace print
