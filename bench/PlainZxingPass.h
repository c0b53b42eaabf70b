#pragma once

#include "QrPictures.h"

#include <string>

// One ZXing-C++ pass as a program would call it without tuning: QR codes
// only, default options. True when it reads payload. Apart from the zbar
// bench code, whose headers clash with ZXing's.
bool PlainZxingPassFinds(const Picture& picture, const std::string& payload);
