#pragma once

#include "qr/GreyPicture.h"
#include "qr/QrScan.h"
#include "qr/WorkControl.h"

#include <string>

struct PictureScanResult
{
    PictureStatus picture = PictureStatus::CannotOpen;
    QrScanResult scan; // looked at only when picture is Loaded
    bool cancelled() const { return picture == PictureStatus::Cancelled || scan.cancelled; }
};

// Load Image File's whole work, for a worker thread: reads the picture file
// (see LoadGreyPictureFile) and scans it for the first otpauth secret. The
// progress runs from 0 to 100 over both; the cancel flag is looked at while
// the file is decoded and between the scan's passes.
PictureScanResult ScanPictureFileForOtpauthSecret(const std::string& path,
                                                  const WorkControl& control = {});
