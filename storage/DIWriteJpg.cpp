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
#include <utility>

#include "atomic_file.h"
#include "bitmap_layout.h"
#include "bmp_decoder.h"
#include "picture_limits.h"
#include "reasons.h"
#include "staging_file.h"

namespace storage {
namespace {

core::Failed failure(const QString& path, int err) { return core::file_failure(path, err); }

// The staging file, mapped read-only for the length of one write.
class MappedFile {
public:
    MappedFile() = default;
    MappedFile(MappedFile&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    MappedFile& operator=(MappedFile&&) = delete;
    ~MappedFile() {
        if (data_) ::munmap(data_, size_);
    }
    static core::Result<MappedFile> open(const QString& path) {
        // Non-blocking: a named pipe in its place must not hang the caller.
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return failure(path, errno);
        MappedFile file;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
            ::close(fd);
            return failure(path, err);
        }
        file.size_ = static_cast<std::size_t>(st.st_size);
        if (file.size_ == 0) {
            ::close(fd);
            return file;
        }
        void* p = ::mmap(nullptr, file.size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        const int err = errno;
        ::close(fd);
        if (p == MAP_FAILED) return failure(path, err);
        file.data_ = p;
        return file;
    }
    const unsigned char* data() const { return static_cast<const unsigned char*>(data_); }
    std::size_t size() const { return size_; }

private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

// What a conversion gives back: the writer's result code, and why when it
// is not kDIWriteJpgOk.
struct Conversion {
    int code = kDIWriteJpgOk;
    core::Result<> result;
};

Conversion failed(int code, core::Failure why) { return {code, core::fail(std::move(why))}; }

Conversion encode_and_store(const unsigned char* first_row, const bitmap::Layout& l, const QString& path, int quality) {
    const int format = l.format == bitmap::RowFormat::Bgr ? TJPF_BGR : TJPF_BGRX;
    // TurboJPEG walks bottom-up rows itself, so neither row order needs a copy.
    const int flags = l.top_down ? 0 : TJFLAG_BOTTOMUP;
    const auto jpeg = compress_rows(first_row, l.width, l.height, static_cast<int>(l.pitch), format, flags, quality);
    if (!jpeg) return failed(kDIWriteJpgEncodeFailed, jpeg.error());
    auto written = replace_file_atomically(path, jpeg->data(), jpeg->size());
    if (!written) return failed(kDIWriteJpgWriteFailed, written.error());
    return {};
}

Conversion convert(const QString& staging, const QString& path, int quality) {
    if (path.isEmpty()) return failed(kDIWriteJpgBadArgument, core::Failure("aucun fichier de destination"));
    if (quality < 1 || quality > 100)
        return failed(kDIWriteJpgBadArgument,
                      core::Failure(QStringLiteral("qualité JPEG hors limites (%1)").arg(quality)));
    const auto file = MappedFile::open(staging);
    if (!file) return failed(kDIWriteJpgNoStaging, file.error());
    bitmap::Layout layout;
    if (!bitmap::read_layout(file->data(), file->size(), core::kMaxPicturePixels, &layout))
        return failed(kDIWriteJpgBadStaging,
                      core::file_failure(staging, "image bitmap illisible ou incomplète").failure);
    if (layout.format != bitmap::RowFormat::Other)
        return encode_and_store(file->data() + layout.pixel_offset, layout, path, quality);

    // Palette, 16-bit and compressed bitmaps: decoded into BGRX rows first.
    // The staging bitmap is ours: a JPEG or PNG stream inside one is refused.
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(file->data()), static_cast<qsizetype>(file->size()));
    const auto picture = bitmap::decode_bmp(bytes, core::kMaxPicturePixels, nullptr);
    if (!picture) return failed(kDIWriteJpgBadStaging, core::file_failure(staging, picture.error().reason()).failure);
    bitmap::Layout rows;
    rows.width = picture->width();
    rows.height = picture->height();
    rows.top_down = true;
    rows.format = bitmap::RowFormat::Bgrx;
    rows.pitch = static_cast<std::size_t>(picture->bytesPerLine());
    return encode_and_store(picture->constBits(), rows, path, quality);
}

}  // namespace

core::Result<> write_jpeg_from_bitmap(const QString& staging, const QString& path, int quality) {
    return convert(staging, path, quality).result;
}

}  // namespace storage

int DIWriteJpg(const QString& path, int quality, int flag) {
    (void)flag;
    const auto staging = storage::staging_path();
    if (!staging) return kDIWriteJpgNoStaging;
    return storage::convert(*staging, path, quality).code;
}
