/* The Lumivue plugin interface: the records the host and an animation loader
 * plugin exchange, the host's service tables, and the nine entry points a
 * loader exports. Every record is a sequence of 32-bit words: numbers are
 * 32-bit integers, texts, tables and addresses native pointers.
 *
 * Both yafa.lvp and the stand-in host are built against this one header. */
#ifndef LUMIVUE_HOST_ABI_H
#define LUMIVUE_HOST_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* An open file of the host's; never 0 when valid. */
typedef void *HostFile;

/* Seek modes of HostFileApi.seek. */
enum { HOST_SEEK_CURRENT = 0, HOST_SEEK_START = 1 };

/* Slot numbers of the service tables. */
enum {
    HOST_CORE_SLOT_REGISTER_FILE_TYPE = 19,
    HOST_CORE_SLOT_COUNT = 20,

    HOST_FILE_SLOT_OPEN = 0,
    HOST_FILE_SLOT_CLOSE = 1,
    HOST_FILE_SLOT_SEEK = 2,
    HOST_FILE_SLOT_READ = 3,
    HOST_FILE_SLOT_READ_BYTE = 5,
    HOST_FILE_SLOT_OPEN_WITH_TAGS = 32,
    HOST_FILE_SLOT_COUNT = 33
};

/* Tag items passed to openWithTags; a list ends at the first tag 0. */
enum { HOST_TAG_END = 0, HOST_TAG_OPEN_1 = 1, HOST_TAG_OPEN_6 = 6 };
typedef struct HostTag {
    uint32_t tag;
    uint32_t data;
} HostTag;

typedef struct PluginInfo PluginInfo;

typedef int32_t (*HostRegisterFileTypeFn)(PluginInfo *info, int32_t kind, const char *typeName, int32_t arg3,
                                          const char *extension, int32_t arg5, int32_t arg6);
typedef HostFile (*HostOpenFn)(const char *name, int32_t mode);
typedef int32_t (*HostCloseFn)(HostFile file);
typedef int32_t (*HostSeekFn)(HostFile file, int32_t offset, int32_t mode);
typedef int32_t (*HostReadFn)(HostFile file, void *buffer, int32_t length);
typedef int32_t (*HostReadByteFn)(HostFile file);
typedef HostFile (*HostOpenWithTagsFn)(const char *name, int32_t mode, const HostTag *tags);

/* Generic slot of a service table that the plugin never calls. */
typedef void (*HostUnusedFn)(void);

/* The host's core services. Only registerFileType is called. */
typedef struct HostCoreApi {
    HostUnusedFn unused[HOST_CORE_SLOT_REGISTER_FILE_TYPE];
    HostRegisterFileTypeFn registerFileType; /* slot 19 */
} HostCoreApi;

/* The host's file services, by slot. */
typedef struct HostFileApi {
    HostOpenFn open;         /* slot 0 */
    HostCloseFn close;       /* slot 1 */
    HostSeekFn seek;         /* slot 2 */
    HostReadFn read;         /* slot 3 */
    HostUnusedFn unused4;    /* slot 4 */
    HostReadByteFn readByte; /* slot 5 */
    HostUnusedFn unused6to31[HOST_FILE_SLOT_OPEN_WITH_TAGS - 6];
    HostOpenWithTagsFn openWithTags; /* slot 32 */
} HostFileApi;

/* The host's base record. The plugin reads words 0, 3 and 4 only. */
typedef struct HostBase {
    int32_t version;      /* word 0, compared signed */
    int32_t revision;     /* word 1 */
    int32_t word2;        /* word 2 */
    HostCoreApi *coreApi; /* word 3 */
    HostFileApi *fileApi; /* word 4 */
} HostBase;

/* Filled by InitPlugin. The host passes its own version and revision in
 * words 3 and 4; the plugin overwrites every word. */
struct PluginInfo {
    int32_t capabilities;    /* 0 */
    int32_t version;         /* 1 */
    int32_t revision;        /* 2 */
    int32_t hostVersion;     /* 3: in: the host's; out: the lowest the plugin needs */
    int32_t hostRevision;    /* 4 */
    const char *name;        /* 5 */
    const char *moduleName;  /* 6 */
    const char *author;      /* 7 */
    const char *description; /* 8 */
    const char *licence;     /* 9 */
    const char *url;         /* 10 */
    const char *date;        /* 11 */
    int32_t word12;          /* 12 */
    int32_t word13;          /* 13 */
};

/* Request flag bit, in AnimOpenInfo.flags and FrameRequest.flags: the host
 * wants 8-bit palette indices instead of 0x00RRGGBB words. */
enum { ANIM_REQUEST_INDEXED = 2 };

/* Passed to OpenAnim. Words not named are neither read nor written. */
typedef struct AnimOpenInfo {
    int32_t width;         /* 0, out */
    int32_t height;        /* 1, out */
    int32_t word2;         /* 2 */
    int32_t frameCount;    /* 3, out */
    int32_t word4;         /* 4, out: 0 */
    int32_t word5;         /* 5, out: 0 */
    uint32_t openTag1Data; /* 6, in (hosts above version 5) */
    int32_t flags;         /* 7, in */
    int32_t word8;         /* 8 */
    int32_t word9;         /* 9 */
    int32_t depth;         /* 10, out (hosts above version 8) */
    int32_t word11;        /* 11 */
    uint32_t openTag6Data; /* 12, in (hosts above version 9) */
} AnimOpenInfo;

/* Passed to LoadFrame. Words not named are neither read nor written. */
typedef struct FrameRequest {
    int32_t word0to6[7];
    int32_t flags;            /* 7, in */
    const uint32_t *palette;  /* 8, out: 256 entries 0x00RRGGBB (8-bit output, hosts above version 8) */
    int32_t word9;            /* 9 */
    int32_t depth;            /* 10, out (hosts above version 8) */
} FrameRequest;

/* Opaque to the host. */
typedef struct AnimHandle AnimHandle;

/* The nine entry points, by name and type. */
typedef int32_t (*InitPluginFn)(PluginInfo *info, HostBase *host);
typedef void (*ClosePluginFn)(void);
typedef const char *(*GetAnimFormatFn)(void);
typedef uint32_t (*GetExtensionsFn)(uint32_t capability);
typedef void (*FreeFrameFn)(void *frame);
typedef AnimHandle *(*OpenAnimFn)(const char *name, AnimOpenInfo *info);
typedef void (*CloseAnimFn)(AnimHandle *anim);
typedef void *(*LoadFrameFn)(AnimHandle *anim, int32_t frame, FrameRequest *request);
typedef int32_t (*GetFrameDelayFn)(AnimHandle *anim, int32_t frame);

#ifdef __cplusplus
}
#endif

#endif
