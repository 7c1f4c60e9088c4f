// Picture files for the scene: binary PPM (P6) decoded here, PNG through the
// system's libpng when it is present at run time.
#include <cstdio>
#include <cstring>
#include <memory>

#include "sim/camera/scene.h"

#if __has_include(<png.h>) && __has_include(<dlfcn.h>)
#include <dlfcn.h>
#include <png.h>
#define ZARN_SIM_HAS_PNG 1
#endif

namespace sim {
namespace {

constexpr int kMaxPictureSide = 16384;
constexpr size_t kMaxFileBytes = size_t{256} << 20;

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) {
    *error = "cannot open scene file '" + path + "'";
    return false;
  }
  uint8_t chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
    if (bytes->size() + got > kMaxFileBytes) {
      *error = "scene file '" + path + "' is too large";
      return false;
    }
    bytes->insert(bytes->end(), chunk, chunk + got);
  }
  if (std::ferror(file.get())) {
    *error = "cannot read scene file '" + path + "'";
    return false;
  }
  return true;
}

// Skips whitespace and '#' comments between the header fields of a PPM.
void SkipPpmSpace(const std::vector<uint8_t>& file, size_t* at) {
  while (*at < file.size()) {
    uint8_t c = file[*at];
    if (c == '#') {
      while (*at < file.size() && file[*at] != '\n' && file[*at] != '\r') ++*at;
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
      ++*at;
    } else {
      return;
    }
  }
}

bool ReadPpmNumber(const std::vector<uint8_t>& file, size_t* at, int limit, int* value) {
  SkipPpmSpace(file, at);
  int v = 0;
  size_t start = *at;
  while (*at < file.size() && file[*at] >= '0' && file[*at] <= '9') {
    v = v * 10 + (file[*at] - '0');
    if (v > limit) return false;
    ++*at;
  }
  if (*at == start) return false;
  *value = v;
  return true;
}

#ifdef ZARN_SIM_HAS_PNG
// libpng's simplified reading interface, looked up at run time so that the
// virtual camera does not make the driver's library depend on libpng.
bool DecodePng(const std::string& path, RgbPicture* picture, std::string* error) {
  void* library = dlopen("libpng16.so.16", RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    *error = "PNG scene files need libpng16, which is not installed";
    return false;
  }
  auto begin = reinterpret_cast<decltype(&png_image_begin_read_from_file)>(
      dlsym(library, "png_image_begin_read_from_file"));
  auto finish = reinterpret_cast<decltype(&png_image_finish_read)>(dlsym(library, "png_image_finish_read"));
  auto release = reinterpret_cast<decltype(&png_image_free)>(dlsym(library, "png_image_free"));
  bool ok = false;
  if (begin && finish && release) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (begin(&image, path.c_str()) != 0) {
      if (image.width == 0 || image.height == 0 || image.width > kMaxPictureSide || image.height > kMaxPictureSide) {
        release(&image);
        *error = "scene file '" + path + "' has an unusable size";
      } else {
        image.format = PNG_FORMAT_RGB;
        picture->width = static_cast<int>(image.width);
        picture->height = static_cast<int>(image.height);
        picture->rgb.assign(PNG_IMAGE_SIZE(image), 0);
        if (finish(&image, nullptr, picture->rgb.data(), 0, nullptr) != 0) {
          ok = true;
        } else {
          *error = "scene file '" + path + "': " + image.message;
        }
      }
    } else {
      *error = "scene file '" + path + "': " + image.message;
    }
  } else {
    *error = "the installed libpng lacks its simplified reading interface";
  }
  dlclose(library);
  return ok;
}
#else
bool DecodePng(const std::string& path, RgbPicture*, std::string* error) {
  *error = "scene file '" + path + "' is a PNG, and this build has no PNG support; use a PPM (P6)";
  return false;
}
#endif

}  // namespace

bool DecodePpm(const std::vector<uint8_t>& file, RgbPicture* picture, std::string* error) {
  if (file.size() < 2 || file[0] != 'P' || file[1] != '6') {
    *error = "not a binary PPM (P6)";
    return false;
  }
  size_t at = 2;
  int width, height, maxval;
  if (!ReadPpmNumber(file, &at, kMaxPictureSide, &width) || !ReadPpmNumber(file, &at, kMaxPictureSide, &height) ||
      !ReadPpmNumber(file, &at, 65535, &maxval) || width == 0 || height == 0 || maxval == 0) {
    *error = "bad PPM header";
    return false;
  }
  // Exactly one whitespace byte separates the header from the samples.
  if (at >= file.size()) {
    *error = "PPM has no samples";
    return false;
  }
  ++at;
  size_t sampleBytes = maxval > 255 ? 2 : 1;
  size_t samples = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
  if (file.size() - at < samples * sampleBytes) {
    *error = "PPM is shorter than its header says";
    return false;
  }
  picture->width = width;
  picture->height = height;
  picture->rgb.resize(samples);
  for (size_t i = 0; i < samples; ++i) {
    unsigned v = sampleBytes == 2 ? (file[at + 2 * i] << 8) | file[at + 2 * i + 1] : file[at + i];
    if (v > static_cast<unsigned>(maxval)) v = static_cast<unsigned>(maxval);
    picture->rgb[i] = static_cast<uint8_t>((v * 255 + static_cast<unsigned>(maxval) / 2) / static_cast<unsigned>(maxval));
  }
  return true;
}

bool LoadPicture(const std::string& path, RgbPicture* picture, std::string* error) {
  std::vector<uint8_t> file;
  if (!ReadWholeFile(path, &file, error)) return false;
  static constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (file.size() >= 8 && std::memcmp(file.data(), kPngSignature, 8) == 0) return DecodePng(path, picture, error);
  if (!DecodePpm(file, picture, error)) {
    *error = "scene file '" + path + "': " + *error;
    return false;
  }
  return true;
}

}  // namespace sim
