// The picture loader (Load Image File, dropped and pasted pictures) on any
// bytes; the seeds and past findings are in fuzz/regressions/picture.
#include "PictureFuzzBody.h"

#include <QtGlobal>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The decoders' warnings about damaged input would be most of the run.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckPictureBytes(data, size);
    return 0;
}
