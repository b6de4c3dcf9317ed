/* The public header used from C99: a small map decoded from bytes built
 * here, read back through the C interface. */
#include <stdio.h>
#include <string.h>

#include <tilvogl/tilvogl.h>
#include <tilvogl/tilvogl_gpu.h>

static int failures = 0;

#define CHECK(condition)                                                       \
    do {                                                                       \
        if (!(condition)) {                                                    \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__,         \
                    #condition);                                               \
            ++failures;                                                        \
        }                                                                      \
    } while (0)

static size_t putBigEndian32(unsigned char *out, unsigned long value)
{
    out[0] = (unsigned char)(value >> 24);
    out[1] = (unsigned char)(value >> 16);
    out[2] = (unsigned char)(value >> 8);
    out[3] = (unsigned char)value;
    return 4;
}

/* A big-endian 3 x 2 map with one block and a "BODY" layer. */
static size_t buildMap(unsigned char *image)
{
    static const unsigned char header[24] = {
        0, 0, 0, 0, 0, 3, 0, 2, 0, 0, 0, 0, 0, 4, 0, 4, 0, 16, 0, 32, 0, 1, 0, 0};
    /* cells 0, 1, 0 / 2, 0, -1 stored as 32 x block and -16 x (n + 1) */
    static const unsigned char body[12] = {0x00, 0x00, 0x00, 0x20, 0x00, 0x00,
                                           0x00, 0x40, 0x00, 0x00, 0xFF, 0xF0};
    unsigned char block[32];
    size_t size = 12;

    memset(block, 0, sizeof block);
    block[31] = TMAP_FLAG_MIRROR_S;
    memcpy(image + size, "MPHD", 4);
    size += 4;
    size += putBigEndian32(image + size, sizeof header);
    memcpy(image + size, header, sizeof header);
    size += sizeof header;
    memcpy(image + size, "BKDT", 4);
    size += 4;
    size += putBigEndian32(image + size, sizeof block);
    memcpy(image + size, block, sizeof block);
    size += sizeof block;
    memcpy(image + size, "BODY", 4);
    size += 4;
    size += putBigEndian32(image + size, sizeof body);
    memcpy(image + size, body, sizeof body);
    size += sizeof body;

    memcpy(image, "FORM", 4);
    putBigEndian32(image + 4, (unsigned long)(size - 8));
    memcpy(image + 8, "FMAP", 4);
    return size;
}

int main(void)
{
    unsigned char image[256];
    size_t size = buildMap(image);
    TmapBlock *block;

    CHECK(tmapLoadFile("no-such-map.fmp", 10) == -1);
    CHECK(tmapError == TMAP_ERROR_CANNOT_OPEN);
    CHECK(strcmp(tmapErrorString(tmapError), "file could not be opened") == 0);

    /* No GL context here: a load that makes textures is refused, one that
     * keeps the pixels needs none. */
    CHECK(tmapDecodeBuffer(image, size, 10) == -1 && tmapError == TMAP_ERROR_NO_GL_CONTEXT);
    CHECK(tmapDecodeBuffer(image, size, TMAP_TEXTURES_NONE) == 0);
    CHECK(tmapWidth == 3 && tmapHeight == 2 && tmapDepth == 16 && tmapLittleEndian == 0);
    CHECK(tmapCurrentLayer == tmapLayers[0]);
    CHECK(tmapLayers[0][1] == 1 && tmapLayers[0][3] == 2 && tmapLayers[0][5] == -1);

    block = tmapBlockAt(0, 0);
    CHECK(block == &tmapBlocks[0] && block->flags == TMAP_FLAG_MIRROR_S);
    CHECK(tmapBlockAt(1, 0) == NULL); /* block 1 does not exist */
    CHECK(tmapBlockAt(2, 1) == NULL); /* no animations */
    tmapSetCell(1, 0, 0);
    CHECK(tmapBlockAt(1, 0) == &tmapBlocks[0]);
    CHECK(tmapBuildRowTables() == 0 && tmapCurrentRows == tmapLayerRows[0]);
    CHECK(tmapSelectLayer(1) == -1 && tmapSelectLayer(0) == 0);
    CHECK(tmapTexCoordSets[1][0][0] == 1.0f && tmapTexCoordSets[1][0][1] == 0.0f);

    /* A form that claims more bytes than it has is refused. */
    CHECK(tmapDecodeBuffer(image, size - 1, TMAP_TEXTURES_NONE) == -1 && tmapError == TMAP_ERROR_NOT_A_MAP);
    CHECK(tmapCurrentLayer == NULL && tmapBlocks == NULL);

    tmapRelease();
    tmapRelease();

    /* The shader renderer's header from C: with no map, nothing to upload
     * or draw, and no GL is needed to be told so. */
    {
        TmapGpuView view;
        tmapGpuViewDefaults(&view);
        CHECK(view.modelview[0] == 1.0f && view.colour[3] == 1.0f && view.lightingEnabled == 0);
        CHECK(tmapGpuUpload() == -1);
        CHECK(tmapGpuDrawLayer(&view, 0, 0, 1, 1, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f) == -1);
        CHECK(tmapGpuDrawBlocks(&view, 0, 0, 1, 1, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f) == -1);
        tmapGpuRelease();
    }
    if (failures == 0)
        printf("capi: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
