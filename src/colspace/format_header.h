// BITMAPINFOHEADER helpers and the image-size rule the whole driver uses for
// every compression the driver knows.
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "zarncap/formats.h"


BITMAPINFOHEADER* InitFormatHeader(BITMAPINFOHEADER* header);
void SetFormatType(BITMAPINFOHEADER* header, int16_t bitCount, DWORD compression);
void GetFormatType(const BITMAPINFOHEADER* header, int16_t* bitCount, DWORD* compression);
void SetFormatSize(BITMAPINFOHEADER* header, LONG width, LONG height);
void GetFormatSize(const BITMAPINFOHEADER* header, LONG* width, LONG* height);
// A fresh header (InitFormatHeader) of width x height at bitCount and
// compression, its image size stated (the one maker of the public contract).
BITMAPINFOHEADER MakeFormatHeader(LONG width, LONG height, int16_t bitCount, DWORD compression);
// Recomputes the image size from the header's own size, bit count and
// compression, stores it and returns it.
DWORD GetFormatImageSize(BITMAPINFOHEADER* header);
// The same rule without touching a header (the contract's ZarncapImageSize).
DWORD FormatImageSize(LONG width, LONG height, WORD bitCount, DWORD compression);
