#include "platform/Jpeg.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "platform/Exception.h"

namespace platform {

namespace {

// The library reports a fatal error by calling error_exit, which must not
// return; it jumps back to the call that started the work instead.
struct JumpingErrors {
  jpeg_error_mgr mgr;
  std::jmp_buf back;
};

[[noreturn]] void JumpBack(j_common_ptr info) {
  auto* errors = reinterpret_cast<JumpingErrors*>(info->err);
  std::longjmp(errors->back, 1);
}

// Warnings (a corrupt segment the decoder got past) are no reason to stop.
void Quiet(j_common_ptr, int) {}

J_COLOR_SPACE SpaceOf(TPixelOrder order) { return order == TPixelOrder::Rgb ? JCS_RGB : JCS_EXT_BGR; }

}  // namespace

// No object with a destructor may live between setjmp and the jump; the
// buffers are plain pointers freed on both roads.
std::string EncodeJpeg(int width, int height, TPixelOrder order,
                       const std::function<const std::uint8_t*(int y)>& row, const TJpegOptions& options) {
  if (width <= 0 || height <= 0) throw EStreamError("A picture without pixels cannot be saved as JPEG");
  jpeg_compress_struct info{};
  JumpingErrors errors{};
  info.err = jpeg_std_error(&errors.mgr);
  errors.mgr.error_exit = JumpBack;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(errors.back)) {
    jpeg_destroy_compress(&info);
    std::free(buffer);
    throw EStreamError("The picture could not be encoded as JPEG");
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = SpaceOf(order);
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, std::clamp(options.quality, 0, 100), TRUE);
  info.dct_method = options.fastDct ? JDCT_IFAST : JDCT_ISLOW;
  if (options.progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW line = const_cast<JSAMPROW>(row(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &line, 1);
  }
  jpeg_finish_compress(&info);
  std::string bytes(reinterpret_cast<char*>(buffer), size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return bytes;
}

// Reads the header, then runs `work` on the decompressor; false when the
// header or the work failed, or the library gave up anywhere in between. No
// object with a destructor may live in `work` either.
template <class Work>
bool Decompress(const std::uint8_t* data, std::size_t length, Work work) {
  if (data == nullptr || length < 4) return false;
  jpeg_decompress_struct info{};
  JumpingErrors errors{};
  info.err = jpeg_std_error(&errors.mgr);
  errors.mgr.error_exit = JumpBack;
  errors.mgr.emit_message = Quiet;
  if (setjmp(errors.back)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(length));
  const bool ok = jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK && work(info);
  jpeg_destroy_decompress(&info);
  return ok;
}

bool ReadJpegSize(const std::uint8_t* data, std::size_t length, int& width, int& height) {
  return Decompress(data, length, [&](jpeg_decompress_struct& info) {
    width = static_cast<int>(info.image_width);
    height = static_cast<int>(info.image_height);
    return width > 0 && height > 0;
  });
}

bool DecodeJpegInto(const std::uint8_t* data, std::size_t length, int width, int height, TPixelOrder order,
                    std::uint8_t* pixels, std::size_t stride) {
  if (width <= 0 || height <= 0 || stride < static_cast<std::size_t>(width) * 3) return false;
  return Decompress(data, length, [&](jpeg_decompress_struct& info) {
    if (info.image_width != static_cast<JDIMENSION>(width) || info.image_height != static_cast<JDIMENSION>(height))
      return false;
    info.out_color_space = SpaceOf(order);
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
      JSAMPROW line = pixels + static_cast<std::size_t>(info.output_scanline) * stride;
      jpeg_read_scanlines(&info, &line, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
  });
}

}  // namespace platform
