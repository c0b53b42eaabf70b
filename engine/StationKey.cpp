#include "StationKey.h"

const char g_customerKey[] = "5A1C9E07B3D24F68A0E7C1D93B2F4A86";
