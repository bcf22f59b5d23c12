#include "platform/Jpeg.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// Called by the library before each step of its work: while scans are read,
// at least once per scan, after the scan's header and before its data. A
// scan refused ends the work as a fatal error would.
struct ScanCheck {
  jpeg_progress_mgr mgr;
  const std::function<bool(const TJpegScan&)>* allow;
  int asked;
  bool refused;
};

void CheckScan(j_common_ptr common) {
  auto* info = reinterpret_cast<j_decompress_ptr>(common);
  auto* check = reinterpret_cast<ScanCheck*>(info->progress);
  if (info->input_scan_number <= check->asked) return;
  check->asked = info->input_scan_number;
  TJpegScan scan;
  scan.Number = info->input_scan_number;
  scan.Blocks = std::int64_t{info->MCUs_per_row} * info->MCU_rows_in_scan * info->blocks_in_MCU;
  // A sequential scan decodes whole blocks whatever its header says of a band.
  scan.Coefficients = info->progressive_mode ? std::max(info->Se - info->Ss + 1, 1) : DCTSIZE2;
  scan.Arithmetic = info->arith_code != FALSE;
  scan.Refining = info->progressive_mode && info->Ah != 0;
  if ((*check->allow)(scan)) return;
  check->refused = true;
  info->err->error_exit(common);
}

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

TJpegDecoded DecodeJpegInto(const std::uint8_t* data, std::size_t length, int width, int height, TPixelOrder order,
                            std::uint8_t* pixels, std::size_t stride,
                            const std::function<bool(const TJpegScan&)>& allowScan) {
  if (width <= 0 || height <= 0 || stride < static_cast<std::size_t>(width) * 3) return TJpegDecoded::Damaged;
  ScanCheck check{{}, &allowScan, 0, false};
  check.mgr.progress_monitor = CheckScan;
  const bool done = Decompress(data, length, [&](jpeg_decompress_struct& info) {
    if (info.image_width != static_cast<JDIMENSION>(width) || info.image_height != static_cast<JDIMENSION>(height))
      return false;
    info.out_color_space = SpaceOf(order);
    // Smoothing guesses at the coefficients a progressive picture leaves out,
    // at several times the cost of its pixels; a whole picture leaves none out.
    info.do_block_smoothing = FALSE;
    if (allowScan) info.progress = &check.mgr;
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
      JSAMPROW line = pixels + static_cast<std::size_t>(info.output_scanline) * stride;
      jpeg_read_scanlines(&info, &line, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
  });
  if (done) return TJpegDecoded::Done;
  return check.refused ? TJpegDecoded::TooDear : TJpegDecoded::Damaged;
}

// The scans are counted by their markers as the library meets them: every
// other segment is passed over by its length; in a scan's coded data an 0xFF
// is followed by 0 (a stuffed byte) unless a marker begins there. Markers
// without a length are taken as such even where the library would fail on
// them, so the count is never lower than the library's.
bool JpegScansWithin(const std::uint8_t* data, std::size_t length, int maxScans) {
  int scans = 0;
  std::size_t at = 2;
  while (at + 1 < length) {
    const void* next = std::memchr(data + at, 0xFF, length - at);
    if (next == nullptr) break;
    at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(next) - data);
    if (at + 1 >= length) break;
    const std::uint8_t marker = data[at + 1];
    if (marker == 0xFF) {  // fill before a marker
      ++at;
      continue;
    }
    at += 2;
    if (marker == 0xD9) break;
    if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;
    if (marker == 0xDA && ++scans > maxScans) return false;
    if (at + 1 >= length) break;
    at += static_cast<std::size_t>(data[at]) << 8 | data[at + 1];
  }
  return true;
}

}  // namespace platform
