/* The INFO chunk's flag bits and frame formats of a YAFA file. The decoder,
 * the writer and the tool all read them from here. */
#ifndef YAFA_INFO_FLAGS_H
#define YAFA_INFO_FLAGS_H

enum {
    YAFA_HAM = 0x01,          /* hold-and-modify: HAM6 at depth 6, HAM8 at depth 8 */
    YAFA_FRAMEPALETTE = 0x02, /* every frame ends with a palette tail */
    YAFA_DELTA = 0x04,        /* frames from the first delta frame on are byte-run deltas */
    YAFA_WORDDELTA = 0x08,    /* delta columns are 2 bytes wide */
    YAFA_LONGDELTA = 0x10,    /* delta columns are 4 bytes wide (unless WORDDELTA) */
    YAFA_DELTAFROM1 = 0x20,   /* the first delta frame is frame 1 (unless DELTAFROM0) */
    YAFA_DELTAFROM0 = 0x40    /* the first delta frame is frame 0 */
};

/* Frame formats 0 to 2 hold bitplanes, 3 and 4 chunky pixels. */
enum { YAFA_MAX_FRAME_FORMAT = 4, YAFA_FIRST_CHUNKY_FORMAT = 3 };

#endif
