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
  return ZarncapFormatHeader<BITMAPINFOHEADER>(width, height, static_cast<WORD>(bitCount), compression);
}

void GetFormatType(const BITMAPINFOHEADER* header, int16_t* bitCount, DWORD* compression) {
  *bitCount = static_cast<int16_t>(header->biBitCount);
  *compression = header->biCompression;
}

DWORD FormatImageSize(LONG width, LONG height, WORD bitCount, DWORD compression) {
  return ZarncapImageSize(width, height, bitCount, compression);
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
