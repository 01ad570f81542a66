/* A build of libavcodec that lacks one entry point: every other one the project binds
   is exported (as an empty function), avcodec_send_packet is not. */
#define avcodec_send_packet kestrel_left_out_entry_point
#define KESTREL_SYMBOL(name) \
  void name(void);           \
  void name(void) {}
#include "medialib/symbols/avcodec.inc"
