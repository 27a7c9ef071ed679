#include "ui/jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace ombrix::ui {

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return:
// it jumps back to the call that began the work.
struct ErrorJump {
  jpeg_error_mgr mgr;
  std::jmp_buf back;
};

void jumpBack(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->back, 1); }
void quiet(j_common_ptr, int) {}

// The work between setjmp and its jumps touches only memory reached through
// the parameters, never locals of this frame, so a jump leaves them defined.
bool decodeInto(const QByteArray& data, jpeg_decompress_struct& info, ErrorJump& err, QImage& out) {
  if (setjmp(err.back)) return false;
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.constData()),
               static_cast<unsigned long>(data.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  out = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
               QImage::Format_RGB888);
  if (out.isNull()) return false;
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out.scanLine(static_cast<int>(info.output_scanline));
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  return true;
}

bool encodeInto(const QImage& image, int quality, jpeg_compress_struct& info, ErrorJump& err,
                unsigned char*& buffer, unsigned long& size) {
  if (setjmp(err.back)) return false;
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(image.width());
  info.image_height = static_cast<JDIMENSION>(image.height());
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(image.constScanLine(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  return true;
}

}  // namespace

QImage decodeJpeg(const QByteArray& data) {
  if (data.isEmpty()) return {};
  jpeg_decompress_struct info{};
  ErrorJump err{};
  info.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = jumpBack;
  err.mgr.emit_message = quiet;
  QImage image;
  const bool ok = decodeInto(data, info, err, image);
  jpeg_destroy_decompress(&info);
  return ok ? image : QImage();
}

QByteArray encodeJpeg(const QImage& source, int quality) {
  const QImage image = source.convertToFormat(QImage::Format_RGB888);
  jpeg_compress_struct info{};
  ErrorJump err{};
  info.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = jumpBack;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const bool ok = encodeInto(image, quality, info, err, buffer, size);
  jpeg_destroy_compress(&info);
  QByteArray out =
      ok ? QByteArray(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size)) : QByteArray();
  std::free(buffer);
  return out;
}

}  // namespace ombrix::ui
