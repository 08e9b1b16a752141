/* Writes a picture with an orientation the file itself records, for the decoder
 * tests: make_oriented SOURCE.png OUT.heic OUT.jxl
 * The HEIC carries an irot box (libheif's image_orientation, 90 degrees clockwise),
 * the JPEG XL codestream the orientation field (6, the same turn). The pixels are
 * stored unturned, so a decoder that ignores the orientation shows them sideways. */
#include <jxl/encode.h>
#include <libheif/heif.h>
#include <png.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int write_heic(const png_image* info, const unsigned char* rgb, const char* path) {
    struct heif_context* ctx = heif_context_alloc();
    struct heif_encoder* enc = NULL;
    struct heif_image* img = NULL;
    if (heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &enc).code) return 1;
    heif_encoder_set_lossy_quality(enc, 90);
    if (heif_image_create(info->width, info->height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &img).code)
        return 1;
    heif_image_add_plane(img, heif_channel_interleaved, info->width, info->height, 8);
    int stride = 0;
    unsigned char* plane = heif_image_get_plane(img, heif_channel_interleaved, &stride);
    for (unsigned y = 0; y < info->height; ++y) memcpy(plane + y * stride, rgb + y * info->width * 3, info->width * 3);
    struct heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = heif_orientation_rotate_90_cw;
    if (heif_context_encode_image(ctx, img, enc, options, NULL).code) return 1;
    if (heif_context_write_to_file(ctx, path).code) return 1;
    heif_encoding_options_free(options);
    heif_image_release(img);
    heif_encoder_release(enc);
    heif_context_free(ctx);
    return 0;
}

static int write_jxl(const png_image* info, const unsigned char* rgb, const char* path) {
    JxlEncoder* enc = JxlEncoderCreate(NULL);
    JxlBasicInfo basic;
    JxlEncoderInitBasicInfo(&basic);
    basic.xsize = info->width;
    basic.ysize = info->height;
    basic.bits_per_sample = 8;
    basic.uses_original_profile = JXL_TRUE;
    basic.orientation = JXL_ORIENT_ROTATE_90_CW;
    if (JxlEncoderSetBasicInfo(enc, &basic) != JXL_ENC_SUCCESS) return 1;
    JxlColorEncoding colour;
    JxlColorEncodingSetToSRGB(&colour, JXL_FALSE);
    JxlEncoderSetColorEncoding(enc, &colour);
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(enc, NULL);
    JxlEncoderSetFrameLossless(settings, JXL_TRUE);
    JxlPixelFormat format = {3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    if (JxlEncoderAddImageFrame(settings, &format, rgb, info->width * info->height * 3) != JXL_ENC_SUCCESS) return 1;
    JxlEncoderCloseInput(enc);
    FILE* out = fopen(path, "wb");
    if (!out) return 1;
    unsigned char buffer[65536];
    JxlEncoderStatus status;
    do {
        unsigned char* next = buffer;
        size_t room = sizeof buffer;
        status = JxlEncoderProcessOutput(enc, &next, &room);
        fwrite(buffer, 1, sizeof buffer - room, out);
    } while (status == JXL_ENC_NEED_MORE_OUTPUT);
    fclose(out);
    JxlEncoderDestroy(enc);
    return status == JXL_ENC_SUCCESS ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s SOURCE.png OUT.heic OUT.jxl\n", argv[0]);
        return 2;
    }
    png_image info;
    memset(&info, 0, sizeof info);
    info.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&info, argv[1])) return 1;
    info.format = PNG_FORMAT_RGB;
    unsigned char* rgb = malloc(PNG_IMAGE_SIZE(info));
    if (!rgb || !png_image_finish_read(&info, NULL, rgb, 0, NULL)) return 1;
    int failed = write_heic(&info, rgb, argv[2]) || write_jxl(&info, rgb, argv[3]);
    free(rgb);
    return failed;
}
