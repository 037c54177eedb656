/* The BladeEnc-style MP3 encoder interface of mp3enc.so, in its LAME variant: the records passed across the
 * library boundary and the types of its entry points. Shared by the library (mp3enc/) and by the encoder
 * object that loads it at run time (audio/). Plain C types only; lame.h stays inside mp3enc/.
 *
 * The records keep the interface's byte layout (packed, little-endian 32-bit integers, 32-bit booleans):
 * BE_CONFIG is 331 bytes and BE_VERSION 265 bytes on every platform, so a record written by one side is read
 * the same by the other. The library is called from one thread at a time per stream; different streams may
 * be used from different threads. Never include lame.h or any other library header here.
 */
#ifndef TOLVIKAN_MP3ENC_BLADE_INTERFACE_H
#define TOLVIKAN_MP3ENC_BLADE_INTERFACE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes of the entry points (0 is success). */
typedef uint32_t BE_ERR;
#define BE_ERR_SUCCESSFUL 0x00000000u
#define BE_ERR_INVALID_FORMAT 0x00000001u            /* configuration kind other than BE_CONFIG_LAME */
#define BE_ERR_INVALID_FORMAT_PARAMETERS 0x00000002u /* a value of the configuration is not supported */
#define BE_ERR_NO_MORE_HANDLES 0x00000003u           /* too many streams open, or the encoder refused */
#define BE_ERR_INVALID_HANDLE 0x00000004u            /* not a stream of this library, or already closed */
#define BE_ERR_BUFFER_TOO_SMALL 0x00000005u          /* more samples than beInitStream announced */

/* Stream handles are small positive numbers; the caller uses 0xFFFFFFFF for "no stream". */
typedef uint32_t HBE_STREAM;

#define BE_CONFIG_LAME 256u
#define BE_MAX_HOMEPAGE 128

#define BE_MP3_MODE_STEREO 0
#define BE_MP3_MODE_JSTEREO 1
#define BE_MP3_MODE_DUALCHANNEL 2
#define BE_MP3_MODE_MONO 3

#define CURRENT_STRUCT_VERSION 1u
#define CURRENT_STRUCT_SIZE 331u

#define LQP_NOPRESET (-1)
#define VBR_METHOD_NONE (-1)

#pragma pack(push, 1)

/* The LAME form of the configuration record ("LAME header version 1"). Booleans are 32-bit: 0 is false,
 * anything else true. Fields the library does not use are listed as such. */
typedef struct {
    uint32_t dwStructVersion; /* CURRENT_STRUCT_VERSION */
    uint32_t dwStructSize;    /* CURRENT_STRUCT_SIZE: the whole BE_CONFIG */

    uint32_t dwSampleRate;   /* input rate: 8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000 */
    uint32_t dwReSampleRate; /* output rate, one of the above; 0 lets the encoder choose */
    int32_t nMode;           /* BE_MP3_MODE_*; mono takes one input channel, the others two */
    uint32_t dwBitrate;      /* kbit/s, a Layer III rate of the output's MPEG version */
    uint32_t dwMaxBitrate;   /* not used (constant bit rate) */
    int32_t nPreset;         /* not used: only the explicit settings count */
    uint32_t dwMpegVersion;  /* not used: the output sample rate decides the MPEG version */
    uint32_t dwPsyModel;     /* not used */
    uint32_t dwEmphasis;     /* 0 none, 1 50/15 ms, 3 CCITT J.17 */

    int32_t bPrivate; /* frame header bits */
    int32_t bCRC;
    int32_t bCopyright;
    int32_t bOriginal;

    int32_t bWriteVBRHeader; /* reserve the first frame for the LAME tag, see beWriteVBRHeader */
    int32_t bEnableVBR;      /* must be false: the library encodes at a constant bit rate only */
    int32_t nVBRQuality;     /* not used */
    uint32_t dwVbrAbr_bps;   /* not used */
    int32_t nVbrMethod;      /* not used */
    int32_t bNoRes;          /* true: no bit reservoir, every frame decodes on its own */

    int32_t bStrictIso;
    uint16_t
        nQuality; /* low byte 0 (best) ... 9 (fastest), high byte its complement; otherwise LAME's default */

    uint8_t btReserved[255 - 4 * sizeof(uint32_t) - sizeof(uint16_t)]; /* zero */
} BE_CONFIG_LHV1;

typedef struct {
    uint32_t dwConfig; /* BE_CONFIG_LAME */
    union {
        BE_CONFIG_LHV1 LHV1;
    } format;
} BE_CONFIG;

typedef struct {
    uint8_t byDLLMajorVersion; /* this library */
    uint8_t byDLLMinorVersion;
    uint8_t byMajorVersion; /* the LAME engine */
    uint8_t byMinorVersion;
    uint8_t byDay; /* the library's build date */
    uint8_t byMonth;
    uint16_t wYear;
    char zHomepage[BE_MAX_HOMEPAGE + 1]; /* NUL-terminated */
    uint8_t byAlphaLevel;
    uint8_t byBetaLevel;
    uint8_t byMMXEnabled;
    uint8_t btReserved[125];
} BE_VERSION;

#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(BE_CONFIG) == CURRENT_STRUCT_SIZE, "BE_CONFIG layout");
static_assert(sizeof(BE_VERSION) == 265, "BE_VERSION layout");
#else
_Static_assert(sizeof(BE_CONFIG) == CURRENT_STRUCT_SIZE, "BE_CONFIG layout");
_Static_assert(sizeof(BE_VERSION) == 265, "BE_VERSION layout");
#endif

/* Entry points, resolved by name with dlsym.
 *
 * beInitStream: checks the record and opens a stream. *dwSamples is the number of 16-bit samples (all
 *   channels counted, interleaved) of one input chunk, *dwBufferSize the output buffer size every later call
 *   needs.
 * beEncodeChunk: encodes nSamples interleaved samples (at most *dwSamples); *pdwOutput is the number of MP3
 *   bytes written to pOutput, often 0 while the encoder fills its first frames.
 * beDeinitStream: writes the encoder's last frames to pOutput (*pdwOutput bytes). The stream stays open.
 * beCloseStream: frees the stream; its handle becomes invalid.
 * beVersion: fills the version record.
 * beWriteVBRHeader: writes the LAME tag of the last stream closed with bWriteVBRHeader set over the first
 *   frame of the named file (which must hold that stream's output from its first byte). */
typedef BE_ERR (*BEINITSTREAM)(BE_CONFIG* pbeConfig, uint32_t* dwSamples, uint32_t* dwBufferSize,
                               HBE_STREAM* phbeStream);
typedef BE_ERR (*BEENCODECHUNK)(HBE_STREAM hbeStream, uint32_t nSamples, int16_t* pSamples, uint8_t* pOutput,
                                uint32_t* pdwOutput);
typedef BE_ERR (*BEDEINITSTREAM)(HBE_STREAM hbeStream, uint8_t* pOutput, uint32_t* pdwOutput);
typedef BE_ERR (*BECLOSESTREAM)(HBE_STREAM hbeStream);
typedef void (*BEVERSION)(BE_VERSION* pbeVersion);
typedef BE_ERR (*BEWRITEVBRHEADER)(const char* lpszFileName);

#define TEXT_BEINITSTREAM "beInitStream"
#define TEXT_BEENCODECHUNK "beEncodeChunk"
#define TEXT_BEDEINITSTREAM "beDeinitStream"
#define TEXT_BECLOSESTREAM "beCloseStream"
#define TEXT_BEVERSION "beVersion"
#define TEXT_BEWRITEVBRHEADER "beWriteVBRHeader"

/* The library's file name; it is installed beside the executable. */
#define MP3ENC_LIBRARY_FILE_NAME "mp3enc.so"

#ifdef __cplusplus
}
#endif

#endif
