// The picture loader (Load Image File, dropped and pasted pictures) on any
// bytes; the seeds and past findings are in fuzz/regressions/picture.
#include "PictureFuzzBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckPictureBytes(data, size);
    return 0;
}
