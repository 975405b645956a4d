#include "sane_scan.h"

#include "scan_bitmap.h"

#include <cstring>
#include <memory>
#include <optional>

namespace scan {
namespace {

QString text_of(SANE_String_Const s) { return s ? QString::fromLocal8Bit(s) : QString(); }

// Closes the device on every way out; cancels first, as a scan that stopped
// (or ended) must be before the handle goes.
class OpenDevice {
public:
    OpenDevice(const SaneLibrary& sane, SANE_Handle handle) : sane_(sane), handle_(handle) {}
    ~OpenDevice() {
        sane_.cancel(handle_);
        sane_.close(handle_);
    }
    OpenDevice(const OpenDevice&) = delete;
    OpenDevice& operator=(const OpenDevice&) = delete;
    SANE_Handle get() const { return handle_; }

private:
    const SaneLibrary& sane_;
    SANE_Handle handle_;
};

int find_option(const SaneLibrary& sane, SANE_Handle h, const QByteArray& name) {
    SANE_Int count = 0;
    if (sane.control_option(h, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD) return -1;
    for (SANE_Int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor* d = sane.get_option_descriptor(h, i);
        if (d && d->name && name == d->name) return i;
    }
    return -1;
}

bool parse_bool(const QString& text, SANE_Bool* value) {
    const QString t = text.trimmed().toLower();
    if (t == u"yes" || t == u"true" || t == u"1" || t == u"oui") {
        *value = SANE_TRUE;
        return true;
    }
    if (t == u"no" || t == u"false" || t == u"0" || t == u"non") {
        *value = SANE_FALSE;
        return true;
    }
    return false;
}

core::Result<> set_option(const SaneLibrary& sane, SANE_Handle h, const ScanOptionSetting& setting) {
    const QString what = QStringLiteral("option « %1 » = « %2 »").arg(setting.name, setting.value);
    const int index = find_option(sane, h, setting.name.toLatin1());
    if (index < 0) return core::fail(QStringLiteral("%1 : le scanner n'a pas cette option").arg(what));
    const SANE_Option_Descriptor* d = sane.get_option_descriptor(h, index);
    if (!SANE_OPTION_IS_ACTIVE(d->cap) || !SANE_OPTION_IS_SETTABLE(d->cap))
        return core::fail(QStringLiteral("%1 : option inactive ou non modifiable").arg(what));
    const std::size_t size = d->size > 0 ? std::size_t(d->size) : sizeof(SANE_Word);
    std::vector<unsigned char> buffer(std::max(size, sizeof(SANE_Word)) + 1, 0);
    bool ok = true;
    switch (d->type) {
        case SANE_TYPE_BOOL: {
            SANE_Bool b = SANE_FALSE;
            ok = parse_bool(setting.value, &b);
            std::memcpy(buffer.data(), &b, sizeof b);
            break;
        }
        case SANE_TYPE_INT:
        case SANE_TYPE_FIXED: {
            const double number = setting.value.trimmed().toDouble(&ok);
            const SANE_Word word = d->type == SANE_TYPE_INT ? SANE_Word(number) : SANE_FIX(number);
            // An option holding several numbers gets the value in every place.
            for (std::size_t at = 0; at + sizeof word <= size; at += sizeof word)
                std::memcpy(buffer.data() + at, &word, sizeof word);
            break;
        }
        case SANE_TYPE_STRING: {
            const QByteArray bytes = setting.value.toLocal8Bit();
            ok = std::size_t(bytes.size()) < size;
            if (ok) std::memcpy(buffer.data(), bytes.constData(), std::size_t(bytes.size()));
            break;
        }
        default:
            break;
    }
    if (!ok) return core::fail(QStringLiteral("%1 : valeur invalide").arg(what));
    SANE_Int info = 0;
    const SANE_Status status = sane.control_option(h, index, SANE_ACTION_SET_VALUE,
                                                   d->type == SANE_TYPE_BUTTON ? nullptr : buffer.data(), &info);
    if (status != SANE_STATUS_GOOD) return core::fail(QStringLiteral("%1 : %2").arg(what, sane.status_text(status)));
    return {};
}

core::Result<ScanFrameFormat> frame_format(const SANE_Parameters& p) {
    ScanFrameFormat f;
    switch (p.format) {
        case SANE_FRAME_GRAY:
            f.kind = ScanFrameFormat::Kind::Gray;
            break;
        case SANE_FRAME_RGB:
            f.kind = ScanFrameFormat::Kind::Rgb;
            break;
        case SANE_FRAME_RED:
            f.kind = ScanFrameFormat::Kind::Red;
            break;
        case SANE_FRAME_GREEN:
            f.kind = ScanFrameFormat::Kind::Green;
            break;
        case SANE_FRAME_BLUE:
            f.kind = ScanFrameFormat::Kind::Blue;
            break;
        default:
            return core::fail(QStringLiteral("type de passe %1 non pris en charge").arg(int(p.format)));
    }
    f.bytes_per_line = p.bytes_per_line;
    f.pixels_per_line = p.pixels_per_line;
    f.lines = p.lines < 0 ? -1 : p.lines;
    f.depth = p.depth;
    return f;
}

const std::optional<ScannedPage> kCancelled;

}  // namespace

core::Result<std::vector<SaneDeviceInfo>> list_sane_devices(const SaneLibrary& sane) {
    const SANE_Device** list = nullptr;
    const SANE_Status status = sane.get_devices(&list, SANE_FALSE);
    if (status != SANE_STATUS_GOOD) return core::fail(sane.status_text(status));
    std::vector<SaneDeviceInfo> devices;
    for (int i = 0; list && list[i]; ++i)
        devices.push_back(
            {text_of(list[i]->name), text_of(list[i]->vendor), text_of(list[i]->model), text_of(list[i]->type)});
    return devices;
}

core::Result<std::optional<ScannedPage>> scan_one_page(const SaneLibrary& sane, const QString& device,
                                                       const std::vector<ScanOptionSetting>& options,
                                                       ScanControl& control) {
    SANE_Handle handle = nullptr;
    const SANE_Status open_status = sane.open(device.toLocal8Bit().constData(), &handle);
    if (open_status != SANE_STATUS_GOOD)
        return core::fail(QStringLiteral("%1 : %2").arg(device, sane.status_text(open_status)));
    OpenDevice open(sane, handle);

    for (const ScanOptionSetting& option : options)
        if (auto set = set_option(sane, handle, option); !set) return core::fail(set.error());

    ScanBitmap bitmap;
    constexpr std::size_t kChunk = 128 * 1024;
    auto buffer = std::make_unique<SANE_Byte[]>(kChunk);
    int frame_index = 0;
    for (;;) {
        if (control.cancel_requested) return kCancelled;
        const SANE_Status start_status = sane.start(handle);
        if (start_status == SANE_STATUS_CANCELLED) return kCancelled;
        if (start_status != SANE_STATUS_GOOD) return core::fail(sane.status_text(start_status));

        SANE_Parameters parameters{};
        const SANE_Status parameters_status = sane.get_parameters(handle, &parameters);
        if (parameters_status != SANE_STATUS_GOOD) return core::fail(sane.status_text(parameters_status));
        const auto format = frame_format(parameters);
        if (!format) return core::fail(format.error());
        if (auto begun = bitmap.begin_frame(*format); !begun) return core::fail(begun.error());
        const bool separate_colours =
            format->kind != ScanFrameFormat::Kind::Gray && format->kind != ScanFrameFormat::Kind::Rgb;
        const std::int64_t frame_bytes = bitmap.expected_frame_bytes();
        const int frames = separate_colours ? 3 : 1;

        std::int64_t received = 0;
        for (;;) {
            SANE_Int length = 0;
            const SANE_Status status = sane.read(handle, buffer.get(), SANE_Int(kChunk), &length);
            if (status == SANE_STATUS_EOF) break;
            if (status == SANE_STATUS_CANCELLED) return kCancelled;
            if (status != SANE_STATUS_GOOD) return core::fail(sane.status_text(status));
            if (length < 0 || std::size_t(length) > kChunk)
                return core::fail(
                    QStringLiteral("le scanner a rendu %1 octets pour %2 demandés").arg(length).arg(kChunk));
            if (auto added = bitmap.add_data(buffer.get(), std::size_t(length)); !added)
                return core::fail(added.error());
            received += length;
            if (frame_bytes > 0) {
                const std::int64_t done =
                    std::int64_t(std::min(frame_index, frames - 1)) * frame_bytes + std::min(received, frame_bytes);
                control.permille = int(done * 1000 / (frame_bytes * frames));
            }
            if (control.cancel_requested) return kCancelled;
        }
        bitmap.end_frame();
        ++frame_index;
        // Three colour frames make a page, whatever a confused device says.
        if (!separate_colours || parameters.last_frame || frame_index >= 3) break;
    }

    auto file = bitmap.take_file();
    if (!file) return core::fail(file.error());
    return std::optional<ScannedPage>(std::move(*file));
}

}  // namespace scan
