#include "DIWriteJpg.h"
#include "jpeg_writer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <QFile>
#include <QImage>
#include <cerrno>
#include <cstring>

#include "atomic_file.h"
#include "bitmap_layout.h"
#include "bmp_decoder.h"
#include "picture_limits.h"
#include "staging_file.h"

namespace storage {
namespace {

QString failure(const QString& path, int err) {
    return QStringLiteral("%1 : %2").arg(path, QString::fromLocal8Bit(std::strerror(err)));
}

// The staging file, mapped read-only for the length of one write.
class MappedFile {
public:
    ~MappedFile() {
        if (data_) ::munmap(data_, size_);
    }
    bool open(const QString& path, QString* error) {
        // Non-blocking: a named pipe in its place must not hang the caller.
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            *error = failure(path, errno);
            return false;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            *error = failure(path, S_ISDIR(st.st_mode) ? EISDIR : errno);
            ::close(fd);
            return false;
        }
        size_ = static_cast<std::size_t>(st.st_size);
        if (size_ == 0) {
            ::close(fd);
            return true;
        }
        void* p = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        const int err = errno;
        ::close(fd);
        if (p == MAP_FAILED) {
            *error = failure(path, err);
            return false;
        }
        data_ = p;
        return true;
    }
    const unsigned char* data() const { return static_cast<const unsigned char*>(data_); }
    std::size_t size() const { return size_; }

private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

int encode_and_store(const unsigned char* first_row, const bitmap::Layout& l, const QString& path, int quality,
                     QString* error) {
    const int format = l.format == bitmap::RowFormat::Bgr ? TJPF_BGR : TJPF_BGRX;
    // TurboJPEG walks bottom-up rows itself, so neither row order needs a copy.
    const int flags = l.top_down ? 0 : TJFLAG_BOTTOMUP;
    const unsigned char* jpeg = nullptr;
    std::size_t size = 0;
    if (!compress_rows(first_row, l.width, l.height, static_cast<int>(l.pitch), format, flags, quality, &jpeg, &size,
                       error))
        return kDIWriteJpgEncodeFailed;
    if (!replace_file_atomically(path, jpeg, size, error)) return kDIWriteJpgWriteFailed;
    return kDIWriteJpgOk;
}

}  // namespace

int write_jpeg_from_bitmap(const QString& staging, const QString& path, int quality, QString* error) {
    QString ignored;
    if (!error) error = &ignored;
    if (path.isEmpty() || quality < 1 || quality > 100) {
        *error = path.isEmpty() ? QStringLiteral("aucun fichier de destination")
                                : QStringLiteral("qualité JPEG hors limites (%1)").arg(quality);
        return kDIWriteJpgBadArgument;
    }
    MappedFile file;
    if (!file.open(staging, error)) return kDIWriteJpgNoStaging;
    bitmap::Layout layout;
    if (!bitmap::read_layout(file.data(), file.size(), core::kMaxPicturePixels, &layout)) {
        *error = QStringLiteral("%1 : image bitmap illisible ou incomplète").arg(staging);
        return kDIWriteJpgBadStaging;
    }
    if (layout.format != bitmap::RowFormat::Other)
        return encode_and_store(file.data() + layout.pixel_offset, layout, path, quality, error);

    // Palette, 16-bit and compressed bitmaps: decoded into BGRX rows first.
    // The staging bitmap is ours: a JPEG or PNG stream inside one is refused.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(file.data()),
                                                     static_cast<qsizetype>(file.size()));
    QString why;
    const QImage picture = bitmap::decode_bmp(bytes, core::kMaxPicturePixels, nullptr, &why);
    if (picture.isNull()) {
        *error = QStringLiteral("%1 : %2").arg(staging, why);
        return kDIWriteJpgBadStaging;
    }
    bitmap::Layout rows;
    rows.width = picture.width();
    rows.height = picture.height();
    rows.top_down = true;
    rows.format = bitmap::RowFormat::Bgrx;
    rows.pitch = static_cast<std::size_t>(picture.bytesPerLine());
    return encode_and_store(picture.constBits(), rows, path, quality, error);
}

}  // namespace storage

int DIWriteJpg(const QString& path, int quality, int flag, QString* error) {
    (void)flag;
    QString ignored;
    if (!error) error = &ignored;
    const QString staging = storage::staging_path(error);
    if (staging.isEmpty()) return kDIWriteJpgNoStaging;
    return storage::write_jpeg_from_bitmap(staging, path, quality, error);
}

int DIWriteJpg(const QString& path, int quality, int flag) { return DIWriteJpg(path, quality, flag, nullptr); }
