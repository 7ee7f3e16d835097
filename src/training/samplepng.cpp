#include "training/samplepng.h"

#include <png.h>

namespace samplepng {
namespace {

[[noreturn]] void fail(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void ignore(png_structp, png_const_charp) {}

void append(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), qsizetype(length));
}

void noFlush(png_structp) {}

// Kept free of objects with destructors: libpng reports errors by a long jump out of here.
bool write(png_structp png, png_infop info, const QImage& pixels, int colorType, QByteArray* out)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, out, append, noFlush);
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_IHDR(png, info, png_uint_32(pixels.width()), png_uint_32(pixels.height()), 8, colorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    for (int y = 0; y < pixels.height(); ++y)
        png_write_row(png, const_cast<png_bytep>(pixels.constScanLine(y)));
    png_write_end(png, info);
    return true;
}

}  // namespace

std::optional<QByteArray> encode(const QImage& image)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return std::nullopt;
    const QImage::Format format = image.hasAlphaChannel() ? QImage::Format_RGBA8888 : QImage::Format_RGB888;
    const QImage pixels = image.format() == format ? image : image.convertToFormat(format);
    if (pixels.isNull())
        return std::nullopt;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, fail, ignore);
    if (!png)
        return std::nullopt;
    png_infop info = png_create_info_struct(png);
    QByteArray out;
    out.reserve(qsizetype(pixels.sizeInBytes() / 2));
    const int colorType = format == QImage::Format_RGBA8888 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB;
    const bool ok = info && write(png, info, pixels, colorType, &out);
    png_destroy_write_struct(&png, info ? &info : nullptr);
    if (!ok)
        return std::nullopt;
    return out;
}

}  // namespace samplepng
