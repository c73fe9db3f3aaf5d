#include "app/JpegDecoder.h"

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <jpeglib.h>
#include <utility>

namespace orvane {
namespace {

// libjpeg reports errors by calling error_exit, which must not return; we
// jump back to the decoder instead of letting the library end the process.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf escape;
};

void ErrorExit(j_common_ptr info) {
  auto *manager = reinterpret_cast<ErrorManager *>(info->err);
  std::longjmp(manager->escape, 1);
}

// A warning means the data was damaged and libjpeg made something up.
void EmitMessage(j_common_ptr info, int level) {
  if (level < 0)
    ++info->err->num_warnings;
}

void SilentOutput(j_common_ptr) {}

// Everything that must survive a jump lives here, outside the frame that
// calls setjmp, so no local with a destructor is skipped by the jump.
struct Decoding {
  jpeg_decompress_struct info;
  ErrorManager errors;
  RgbImage image;
};

bool DecodeInto(Decoding *d, const uint8_t *data, size_t size) {
  if (setjmp(d->errors.escape) != 0)
    return false;
  jpeg_create_decompress(&d->info);
  jpeg_mem_src(&d->info, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&d->info, TRUE) != JPEG_HEADER_OK)
    return false;
  if (d->info.image_width == 0 || d->info.image_height == 0 || d->info.image_width > kMaxJpegSide ||
      d->info.image_height > kMaxJpegSide)
    return false;
  d->info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d->info);
  if (d->info.output_components != 3)
    return false;
  const size_t stride = size_t{d->info.output_width} * 3;
  d->image.width = static_cast<int>(d->info.output_width);
  d->image.height = static_cast<int>(d->info.output_height);
  d->image.pixels.assign(stride * d->info.output_height, 0);
  while (d->info.output_scanline < d->info.output_height) {
    JSAMPROW row = d->image.pixels.data() + stride * d->info.output_scanline;
    if (jpeg_read_scanlines(&d->info, &row, 1) != 1)
      return false;
  }
  jpeg_finish_decompress(&d->info);
  return d->errors.base.num_warnings == 0;
}

} // namespace

std::optional<RgbImage> DecodeJpeg(const uint8_t *data, size_t size) {
  if (data == nullptr || size == 0)
    return std::nullopt;
  Decoding d{};
  d.info.err = jpeg_std_error(&d.errors.base);
  d.errors.base.error_exit = ErrorExit;
  d.errors.base.emit_message = EmitMessage;
  d.errors.base.output_message = SilentOutput;
  const bool ok = DecodeInto(&d, data, size);
  jpeg_destroy_decompress(&d.info); // harmless when creation never finished: it checks for its memory

  if (!ok)
    return std::nullopt;
  return std::move(d.image);
}

} // namespace orvane
