#include "CommonDlg_API.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include "paths.h"

namespace app {

void split_fields(std::vector<QString>& table, const QString& text, const QString& separator) {
    QString rest = text;
    std::size_t index = 0;
    auto store = [&](const QString& field) {
        if (index < table.size()) table[index] = field;
        ++index;
    };
    if (!separator.isEmpty()) {
        for (qsizetype at = rest.indexOf(separator, 0, Qt::CaseSensitive); at >= 0;
             at = rest.indexOf(separator, 0, Qt::CaseSensitive)) {
            store(rest.left(at));
            rest.remove(0, at + separator.size());
        }
    }
    store(rest);
}

QString get_folder(const QString& path) {
    const qsizetype last = path.lastIndexOf(kFolderSeparator);
    return last < 0 ? QString() : path.left(last + 1);
}

bool file_exists(const QString& path) {
    if (path.isEmpty()) return false;
    const QByteArray name = QFile::encodeName(path);
    // Non-blocking, so that a named pipe without a writer cannot hang the caller.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
    return ::close(fd) == 0 && regular;
}

}  // namespace app
