#include "platform/jpeg_codec.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <jerror.h>

namespace platform {
namespace {

// libjpeg reports errors by calling error_exit, which must not return; we
// jump back to the call that set up the codec and return its code there,
// outside libjpeg's frames.
struct JpegError {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
    int Code = 0;
};

void JpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    err->Code = cinfo->err->msg_code;
    std::longjmp(err->Jump, 1);
}

void JpegSilent(j_common_ptr, int) {}

// A progressive file can announce scans without end; past this many the
// data is garbage anyway.
constexpr int kMaxScans = 1000;

void JpegProgress(j_common_ptr cinfo) {
    if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
        auto* err = reinterpret_cast<JpegError*>(cinfo->err);
        err->Code = JERR_TOO_LITTLE_DATA;
        std::longjmp(err->Jump, 1);
    }
}

}  // namespace

int DecodeJpeg(const uint8_t* data, size_t size, IJpegTarget& target) {
    if (!data || size == 0) return JERR_INPUT_EMPTY;
    jpeg_decompress_struct cinfo;
    JpegError err;
    jpeg_progress_mgr progress{};
    cinfo.err = jpeg_std_error(&err.Manager);
    err.Manager.error_exit = &JpegErrorExit;
    err.Manager.emit_message = &JpegSilent;
    if (setjmp(err.Jump)) {
        jpeg_destroy_decompress(&cinfo);
        return err.Code ? err.Code : -1;
    }
    jpeg_create_decompress(&cinfo);
    progress.progress_monitor = &JpegProgress;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    // The size is settled before decompression starts: a progressive file
    // makes libjpeg allocate its whole coefficient array there.
    uint8_t* pixels = nullptr;
    if (cinfo.image_width == 0 || cinfo.image_height == 0 ||
        !(pixels = target.Allocate(cinfo.image_width, cinfo.image_height))) {
        err.Code = JERR_IMAGE_TOO_BIG;
        std::longjmp(err.Jump, 1);
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3 || cinfo.output_width != cinfo.image_width ||
        cinfo.output_height != cinfo.image_height) {
        err.Code = JERR_CONVERSION_NOTIMPL;
        std::longjmp(err.Jump, 1);
    }
    const size_t stride = static_cast<size_t>(cinfo.output_width) * 3;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels + cinfo.output_scanline * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return 0;
}

int EncodeJpeg(uint32_t width, uint32_t height, int quality, IJpegSource& source, std::vector<uint8_t>& out,
               bool optimizeCoding) {
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    jpeg_compress_struct cinfo;
    JpegError err;
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    cinfo.err = jpeg_std_error(&err.Manager);
    err.Manager.error_exit = &JpegErrorExit;
    err.Manager.emit_message = &JpegSilent;
    if (setjmp(err.Jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        return err.Code ? err.Code : -1;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &length);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, std::clamp(quality, 1, 100), TRUE);
    cinfo.optimize_coding = optimizeCoding ? TRUE : FALSE;
    // Full-resolution colour: subsampling smears thin saturated lines.
    for (int c = 0; c < cinfo.num_components; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        source.Row(cinfo.next_scanline, row.data());
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    out.assign(buffer, buffer + length);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return 0;
}

}  // namespace platform
