#include "colspace/format_header.h"

BITMAPINFOHEADER* InitFormatHeader(BITMAPINFOHEADER* header) {
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = 0;
  header->biHeight = 0;
  header->biPlanes = 1;
  header->biBitCount = 0;
  header->biCompression = 0;
  header->biSizeImage = 0;
  header->biXPelsPerMeter = 2000;
  header->biYPelsPerMeter = 2000;
  header->biClrUsed = 0;
  header->biClrImportant = 0;
  return header;
}

void SetFormatType(BITMAPINFOHEADER* header, int16_t bitCount, DWORD compression) {
  header->biBitCount = static_cast<WORD>(bitCount);
  header->biCompression = compression;
}

BITMAPINFOHEADER MakeFormatHeader(LONG width, LONG height, int16_t bitCount, DWORD compression) {
  BITMAPINFOHEADER header;
  InitFormatHeader(&header);
  SetFormatType(&header, bitCount, compression);
  SetFormatSize(&header, width, height);
  return header;
}

void GetFormatType(const BITMAPINFOHEADER* header, int16_t* bitCount, DWORD* compression) {
  *bitCount = static_cast<int16_t>(header->biBitCount);
  *compression = header->biCompression;
}

DWORD FormatImageSize(LONG width, LONG height, WORD bitCount, DWORD compression) {
  if (width < 0 || height < 0) return 0;  // describes no buffer at all
  // The row is rounded up to whole groups of 4 pixels.
  const int64_t w = width;
  const int64_t rem = w % 4;
  const int64_t padded = rem == 0 ? w : w + 4 - rem;
  const int64_t base = static_cast<int64_t>(height) * padded;
  int64_t size;
  switch (compression) {
    case 0:
      size = base * bitCount / 8;
      break;
    case FOURCC_I420:
    case FOURCC_YV12:
    case FOURCC_PYUV:
      size = base * 3 / 2;
      break;
    case FOURCC_YUY2:
    case FOURCC_CYUV:
      size = base * 2;
      break;
    case FOURCC_YVU9:
      size = base * 9 / 8;
      break;
    case FOURCC_PSHU:
      size = base;
      break;
    default:
      size = 0;
      break;
  }
  if (size > 0xFFFFFFFFLL) return 0xFFFFFFFFu;
  return static_cast<DWORD>(size);
}

void SetFormatSize(BITMAPINFOHEADER* header, LONG width, LONG height) {
  header->biWidth = width;
  header->biHeight = height;
  header->biSizeImage = FormatImageSize(width, height, header->biBitCount, header->biCompression);
}

void GetFormatSize(const BITMAPINFOHEADER* header, LONG* width, LONG* height) {
  *width = header->biWidth;
  *height = header->biHeight;
}

DWORD GetFormatImageSize(BITMAPINFOHEADER* header) {
  header->biSizeImage = FormatImageSize(header->biWidth, header->biHeight, header->biBitCount, header->biCompression);
  return header->biSizeImage;
}
