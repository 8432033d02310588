#include "platform/jpeg.h"

#include "platform/bmp.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <memory>

// libjpeg reports fatal errors through a callback that must not return. We leave it with
// longjmp back into the one function that called into the library. Those functions keep no
// C++ object with a destructor alive across library calls, so the jump skips nothing.
namespace {

struct TErrorManager {
    jpeg_error_mgr Public;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr info) {
    auto* manager = reinterpret_cast<TErrorManager*>(info->err);
    (*info->err->format_message)(info, manager->Message);
    std::longjmp(manager->Jump, 1);
}

// Warnings (a truncated file, for one) are ignored: the library fills in what is missing.
void OutputMessage(j_common_ptr) {}

// Returns nullptr on success, else the library's message (stored in the manager).
const char* DecodeInto(const uint8_t* data, size_t size, QImage* picture, TErrorManager* errors) {
    jpeg_decompress_struct info;
    info.err = jpeg_std_error(&errors->Public);
    errors->Public.error_exit = ErrorExit;
    errors->Public.output_message = OutputMessage;
    if (setjmp(errors->Jump)) {
        jpeg_destroy_decompress(&info);
        return errors->Message;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    // A damaged header must not make the library reserve its working memory for a giant.
    if (uint64_t(info.image_width) * info.image_height > uint64_t(MaxPicturePixels) ||
        info.image_width > uint32_t(MaxPictureSide) ||
        info.image_height > uint32_t(MaxPictureSide)) {
        jpeg_destroy_decompress(&info);
        std::snprintf(errors->Message, sizeof errors->Message, "picture too large");
        return errors->Message;
    }
    // Straight into the layout of Format_RGB32 (B, G, R, 0xFF in memory).
    info.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&info);
    *picture = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                      QImage::Format_RGB32);
    if (picture->isNull()) {
        jpeg_destroy_decompress(&info);
        std::snprintf(errors->Message, sizeof errors->Message, "picture too large");
        return errors->Message;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = picture->scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return nullptr;
}

// The compressed bytes go into a vector owned by the caller, in chunks.
struct TDestination {
    jpeg_destination_mgr Public;
    std::vector<uint8_t>* Out;
    JOCTET Buffer[65536];
};

void InitDestination(j_compress_ptr info) {
    auto* dest = reinterpret_cast<TDestination*>(info->dest);
    dest->Public.next_output_byte = dest->Buffer;
    dest->Public.free_in_buffer = sizeof dest->Buffer;
}

boolean EmptyOutput(j_compress_ptr info) {
    auto* dest = reinterpret_cast<TDestination*>(info->dest);
    dest->Out->insert(dest->Out->end(), dest->Buffer, dest->Buffer + sizeof dest->Buffer);
    dest->Public.next_output_byte = dest->Buffer;
    dest->Public.free_in_buffer = sizeof dest->Buffer;
    return TRUE;
}

void TermDestination(j_compress_ptr info) {
    auto* dest = reinterpret_cast<TDestination*>(info->dest);
    dest->Out->insert(dest->Out->end(), dest->Buffer,
                      dest->Buffer + (sizeof dest->Buffer - dest->Public.free_in_buffer));
}

const char* EncodeFrom(const QImage* rgb, int quality, TDestination* dest, TErrorManager* errors) {
    jpeg_compress_struct info;
    info.err = jpeg_std_error(&errors->Public);
    errors->Public.error_exit = ErrorExit;
    errors->Public.output_message = OutputMessage;
    if (setjmp(errors->Jump)) {
        jpeg_destroy_compress(&info);
        return errors->Message;
    }
    jpeg_create_compress(&info);
    dest->Public.init_destination = InitDestination;
    dest->Public.empty_output_buffer = EmptyOutput;
    dest->Public.term_destination = TermDestination;
    info.dest = &dest->Public;
    info.image_width = static_cast<JDIMENSION>(rgb->width());
    info.image_height = static_cast<JDIMENSION>(rgb->height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(rgb->constScanLine(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return nullptr;
}

} // namespace

QImage DecodeJpeg(const uint8_t* data, size_t size) {
    if (!data || size == 0) throw EJpegError("JPEG decoding failed: no data");
    QImage picture;
    TErrorManager errors{};
    if (const char* message = DecodeInto(data, size, &picture, &errors))
        throw EJpegError(std::string("JPEG decoding failed: ") + message);
    return picture;
}

QImage DecodeJpeg(const QByteArray& data) {
    return DecodeJpeg(reinterpret_cast<const uint8_t*>(data.constData()),
                      static_cast<size_t>(data.size()));
}

std::vector<uint8_t> EncodeJpeg(const QImage& picture, int quality) {
    if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0)
        throw EJpegError("JPEG encoding failed: empty picture");
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    std::vector<uint8_t> out;
    auto dest = std::make_unique<TDestination>();
    dest->Out = &out;
    TErrorManager errors{};
    if (const char* message = EncodeFrom(&rgb, std::clamp(quality, 1, 100), dest.get(), &errors))
        throw EJpegError(std::string("JPEG encoding failed: ") + message);
    return out;
}
