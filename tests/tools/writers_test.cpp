// The files zarncap writes, read back: PNG through libpng, BMP byte by byte,
// Y4M framing, AVI and Matroska through libavformat, and the temporary-then-
// rename output file.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "tools/tool_test_util.h"
#include "tools/zarncap/media/output_file.h"
#include "tools/zarncap/media/still_writers.h"
#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/media/video_writers.h"

namespace zarncap {
namespace {

using tooltest::ReadBytes;
using tooltest::ScratchFolder;

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

TEST(PngWriter, ReadsBackPixelForPixel) {
  ScratchFolder folder;
  std::vector<uint8_t> rgb(5 * 3 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 5);
  std::FILE* file = std::fopen((folder / "a.png").c_str(), "wb");
  std::string error;
  ASSERT_TRUE(WritePng(file, 5, 3, rgb, &error)) << error;
  std::fclose(file);

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, (folder / "a.png").c_str()));
  EXPECT_EQ(image.width, 5u);
  EXPECT_EQ(image.height, 3u);
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> back(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, back.data(), 0, nullptr));
  EXPECT_EQ(back, rgb);
}

TEST(PngWriter, ReportsFailuresInsteadOfCrashing) {
  std::string error;
  EXPECT_FALSE(WritePng(stdout, 0, 3, {}, &error));
  EXPECT_FALSE(error.empty());
  std::vector<uint8_t> rgb(12);
  EXPECT_FALSE(WritePng(stdout, 2, 3, rgb, &error));  // fewer bytes than 2 x 3 pixels
  // A full disk is called what it is, not libpng's "Write Error".
  if (std::FILE* full = std::fopen("/dev/full", "wb")) {
    std::setvbuf(full, nullptr, _IONBF, 0);
    std::vector<uint8_t> picture(64 * 64 * 3, 128);
    EXPECT_FALSE(WritePng(full, 64, 64, picture, &error));
    EXPECT_EQ(error, "No space left on device");
    std::fclose(full);
  }
}

TEST(BmpWriter, EightBitWithPaletteAsDelivered) {
  BITMAPINFOHEADER header{};
  header.biWidth = 4;
  header.biHeight = 2;
  header.biBitCount = 8;
  header.biXPelsPerMeter = header.biYPelsPerMeter = 2000;
  const std::vector<RGBQUAD> palette{{1, 2, 3, 0}, {4, 5, 6, 0}};
  const std::vector<uint8_t> pixels{0, 1, 1, 0, 1, 1, 0, 0};
  const auto bmp = BuildBmp(header, palette, pixels);
  ASSERT_EQ(bmp.size(), 14u + 40u + 8u + 8u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(Le32(bmp, 2), bmp.size());
  EXPECT_EQ(Le32(bmp, 10), 62u);              // pixels after both headers and 2 palette entries
  EXPECT_EQ(Le32(bmp, 14), 40u);
  EXPECT_EQ(static_cast<int32_t>(Le32(bmp, 22)), 2);  // positive height: bottom-up, as delivered
  EXPECT_EQ(bmp[28], 8);
  EXPECT_EQ(Le32(bmp, 30), BI_RGB);
  EXPECT_EQ(Le32(bmp, 46), 2u);  // colours used
  EXPECT_EQ((std::vector<uint8_t>(bmp.begin() + 54, bmp.begin() + 62)), (std::vector<uint8_t>{1, 2, 3, 0, 4, 5, 6, 0}));
  EXPECT_EQ((std::vector<uint8_t>(bmp.begin() + 62, bmp.end())), pixels);
}

TEST(BmpWriter, PadsRowsToFourBytesAndCarriesNoPaletteAbove8Bits) {
  BITMAPINFOHEADER header{};
  header.biWidth = 2;
  header.biHeight = 2;
  header.biBitCount = 24;
  const std::vector<uint8_t> pixels{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const auto bmp = BuildBmp(header, std::vector<RGBQUAD>{{9, 9, 9, 0}}, pixels);
  ASSERT_EQ(bmp.size(), 54u + 16u);
  EXPECT_EQ(Le32(bmp, 10), 54u);
  EXPECT_EQ(Le32(bmp, 34), 16u);
  EXPECT_EQ((std::vector<uint8_t>(bmp.begin() + 54, bmp.end())),
            (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}));
}

TEST(Y4m, HeaderRatesAndFrameFraming) {
  EXPECT_EQ(Y4mHeader(320, 240, FrameRateOf(15)), "YUV4MPEG2 W320 H240 F15:1 Ip A1:1 C420jpeg\n");
  EXPECT_EQ(FrameRateOf(12.5).num, 25u);
  EXPECT_EQ(FrameRateOf(12.5).den, 2u);
  EXPECT_EQ(FrameRateOf(29.97).num, 2997u);
  EXPECT_EQ(FrameRateOf(29.97).den, 100u);

  ScratchFolder folder;
  std::FILE* file = std::fopen((folder / "a.y4m").c_str(), "wb");
  {
    Y4mWriter writer(file, "a.y4m", 2, 2, FrameRateOf(10));
    const std::vector<uint8_t> i420{1, 2, 3, 4, 5, 6};
    Frame frame{FindFormat("i420"), 2, 2, i420, {}};
    writer.WriteFrame(frame, 0);
    writer.WriteFrame(frame, 100);
    writer.Finish();
  }
  std::fclose(file);
  const std::string expected = "YUV4MPEG2 W2 H2 F10:1 Ip A1:1 C420jpeg\nFRAME\n\x01\x02\x03\x04\x05\x06"
                               "FRAME\n\x01\x02\x03\x04\x05\x06";
  EXPECT_EQ(tooltest::ReadText(folder / "a.y4m"), expected);
}

TEST(Y4m, AWriteErrorIsAToolError) {
  std::FILE* full = std::fopen("/dev/full", "wb");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full";
  std::setvbuf(full, nullptr, _IONBF, 0);
  EXPECT_THROW(Y4mWriter(full, "/dev/full", 2, 2, FrameRateOf(10)), ToolError);
  std::fclose(full);
}

// ---- AVI and Matroska, demuxed and decoded again with FFmpeg.
struct Decoded {
  int frames = 0;
  int width = 0, height = 0;
  AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
  std::vector<std::vector<uint8_t>> firstPlanes;  // each plane of the first frame, rows packed
  std::vector<int64_t> pts;
};

Decoded Decode(const std::string& path) {
  Decoded result;
  AVFormatContext* input = nullptr;
  if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return result;
  avformat_find_stream_info(input, nullptr);
  AVStream* stream = input->streams[0];
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  AVCodecContext* decoder = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(decoder, stream->codecpar);
  avcodec_open2(decoder, codec, nullptr);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  while (av_read_frame(input, packet) >= 0) {
    result.pts.push_back(packet->pts);
    if (avcodec_send_packet(decoder, packet) >= 0 && avcodec_receive_frame(decoder, frame) >= 0) {
      if (result.frames == 0) {
        result.width = frame->width;
        result.height = frame->height;
        result.pixelFormat = static_cast<AVPixelFormat>(frame->format);
        for (int p = 0; p < 4 && frame->data[p] != nullptr; ++p) {
          const bool chroma = p > 0 && result.pixelFormat != AV_PIX_FMT_PAL8;
          int rows = frame->height, bytes = frame->linesize[p];
          if (result.pixelFormat == AV_PIX_FMT_BGR24) bytes = frame->width * 3;
          if (result.pixelFormat == AV_PIX_FMT_YUV420P) bytes = chroma ? frame->width / 2 : frame->width, rows = chroma ? frame->height / 2 : rows;
          if (result.pixelFormat == AV_PIX_FMT_YUV410P) bytes = chroma ? frame->width / 4 : frame->width, rows = chroma ? frame->height / 4 : rows;
          if (result.pixelFormat == AV_PIX_FMT_PAL8) bytes = p == 0 ? frame->width : 1024, rows = p == 0 ? rows : 1;
          std::vector<uint8_t> plane;
          for (int y = 0; y < rows; ++y) plane.insert(plane.end(), frame->data[p] + y * frame->linesize[p], frame->data[p] + y * frame->linesize[p] + bytes);
          result.firstPlanes.push_back(plane);
        }
      }
      ++result.frames;
    }
    av_packet_unref(packet);
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&input);
  return result;
}

std::string WriteMovie(ScratchFolder& folder, const std::string& name, Container container, const char* format, int w,
                       int h, const std::vector<uint8_t>& data, int frames, const std::vector<RGBQUAD>& palette = {}) {
  const std::string path = folder / name;
  auto writer = MakeAvWriter(path, name, container, *FindFormat(format), w, h, FrameRateOf(15), palette);
  Frame frame{FindFormat(format), w, h, data, palette};
  for (int i = 0; i < frames; ++i) writer->WriteFrame(frame, static_cast<DWORD>(1000 + 66 * i));
  writer->Finish();
  return path;
}

// After a failed write only whole frames stay: what a player can read.
TEST(Y4m, AFailedWriteKeepsTheWholeFramesOnly) {
  ScratchFolder folder;
  const std::string header = Y4mHeader(4, 2, FrameRateOf(10));
  const size_t frame = Y4mFrameBytes(4, 2);  // "FRAME\n" + 8 + 2 + 2
  ASSERT_EQ(frame, 18u);
  const std::pair<size_t, long> cases[] = {{0, 0}, {frame / 2, 0}, {frame, 1}, {2 * frame + 7, 2}};
  for (auto [body, kept] : cases) {
    const std::string path = folder / "cut.y4m";
    tooltest::WriteText(path, header + std::string(body, 'x'));
    EXPECT_EQ(KeepWholeY4mFrames(path, frame), kept) << body;
    EXPECT_EQ(ReadBytes(path).size(), header.size() + kept * frame) << body;
  }
  tooltest::WriteText(folder / "no-header.y4m", "YUV4MPEG2 W4");
  EXPECT_EQ(KeepWholeY4mFrames(folder / "no-header.y4m", frame), 0);
}

TEST(AvWriter, AviBgr24IsStoredTopDownAndDecodesTheRightWayUp) {
  ScratchFolder folder;
  std::vector<uint8_t> data(8 * 4 * 3);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  const auto decoded = Decode(WriteMovie(folder, "a.avi", Container::kAvi, "rgb24", 8, 4, data, 3));
  EXPECT_EQ(decoded.frames, 3);
  EXPECT_EQ(decoded.width, 8);
  EXPECT_EQ(decoded.height, 4);
  EXPECT_EQ(decoded.pixelFormat, AV_PIX_FMT_BGR24);
  ASSERT_FALSE(decoded.firstPlanes.empty());
  // The decoded top row is the driver's last buffer row.
  EXPECT_EQ((std::vector<uint8_t>(decoded.firstPlanes[0].begin(), decoded.firstPlanes[0].begin() + 24)),
            (std::vector<uint8_t>(data.end() - 24, data.end())));
}

TEST(AvWriter, PlanarYuvKeepsTheChromaPlanesApart) {
  ScratchFolder folder;
  // YV12 8 x 4: Y = 10.., V plane 200.., U plane 100..
  std::vector<uint8_t> yv12(48);
  for (int i = 0; i < 32; ++i) yv12[i] = static_cast<uint8_t>(10 + i);
  for (int i = 0; i < 8; ++i) yv12[32 + i] = static_cast<uint8_t>(200 + i), yv12[40 + i] = static_cast<uint8_t>(100 + i);
  for (auto container : {Container::kAvi, Container::kMatroska}) {
    const auto decoded = Decode(WriteMovie(folder, container == Container::kAvi ? "y.avi" : "y.mkv", container, "yv12",
                                           8, 4, yv12, 2));
    EXPECT_EQ(decoded.frames, 2);
    EXPECT_EQ(decoded.pixelFormat, AV_PIX_FMT_YUV420P);
    ASSERT_EQ(decoded.firstPlanes.size(), 3u);
    EXPECT_EQ(decoded.firstPlanes[1], (std::vector<uint8_t>(yv12.begin() + 40, yv12.end())));       // U
    EXPECT_EQ(decoded.firstPlanes[2], (std::vector<uint8_t>(yv12.begin() + 32, yv12.begin() + 40)));  // V
  }
  // YVU9 8 x 4: V (2 samples) before U (2 samples).
  std::vector<uint8_t> yvu9(32, 50);
  for (uint8_t v : {1, 2, 3, 4}) yvu9.push_back(v);
  const auto decoded = Decode(WriteMovie(folder, "9.avi", Container::kAvi, "yvu9", 8, 4, yvu9, 1));
  EXPECT_EQ(decoded.pixelFormat, AV_PIX_FMT_YUV410P);
  ASSERT_EQ(decoded.firstPlanes.size(), 3u);
  EXPECT_EQ(decoded.firstPlanes[1], (std::vector<uint8_t>{3, 4}));
  EXPECT_EQ(decoded.firstPlanes[2], (std::vector<uint8_t>{1, 2}));
}

TEST(AvWriter, MatroskaKeepsCaptureTimesAndPal8CarriesThePalette) {
  ScratchFolder folder;
  std::vector<uint8_t> data(8 * 4, 1);
  data[0] = 2;  // bottom-left in the driver's buffer
  const std::vector<RGBQUAD> palette{{0, 0, 0, 0}, {30, 20, 10, 0}, {60, 50, 40, 0}};
  const auto decoded = Decode(WriteMovie(folder, "p.avi", Container::kAvi, "pal8", 8, 4, data, 2, palette));
  EXPECT_EQ(decoded.frames, 2);
  EXPECT_EQ(decoded.pixelFormat, AV_PIX_FMT_PAL8);
  ASSERT_EQ(decoded.firstPlanes.size(), 2u);
  EXPECT_EQ(decoded.firstPlanes[0][24], 2);  // first pixel of the bottom row
  uint32_t entry1 = 0;
  std::memcpy(&entry1, decoded.firstPlanes[1].data() + 4, 4);
  EXPECT_EQ(entry1 & 0xFFFFFFu, 0x0A141Eu);  // R 10, G 20, B 30

  std::vector<uint8_t> rgb(8 * 4 * 3, 7);
  rgb[0] = 9;  // bottom-left blue
  const auto mkv = Decode(WriteMovie(folder, "t.mkv", Container::kMatroska, "rgb24", 8, 4, rgb, 3));
  EXPECT_EQ(mkv.frames, 3);
  EXPECT_EQ(mkv.pts, (std::vector<int64_t>{0, 66, 132}));
  EXPECT_EQ(mkv.pixelFormat, AV_PIX_FMT_BGR24);
  ASSERT_FALSE(mkv.firstPlanes.empty());
  EXPECT_EQ(mkv.firstPlanes[0][3 * 8 * 3], 9);
}

TEST(AvWriter, AFolderThatCannotTakeTheFileIsAToolError) {
  EXPECT_THROW(MakeAvWriter("/nonexistent-folder/x.avi", "x.avi", Container::kAvi, *FindFormat("rgb24"), 8, 4,
                            FrameRateOf(15), {}),
               ToolError);
}

TEST(OutputFile, AppearsOnlyWhenCommitted) {
  ScratchFolder folder;
  {
    OutputFile out(folder / "a.bin");
    std::fputs("abc", out.Stream());
    EXPECT_EQ(folder.Names().size(), 1u);  // the temporary only
    EXPECT_FALSE(std::filesystem::exists(folder / "a.bin"));
  }
  EXPECT_TRUE(folder.Names().empty());  // abandoned: removed
  {
    OutputFile out(folder / "b.bin");
    std::fputs("xyz", out.Stream());
    out.Commit();
  }
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"b.bin"}));
  EXPECT_EQ(tooltest::ReadText(folder / "b.bin"), "xyz");
  struct stat st{};
  ASSERT_EQ(::stat((folder / "b.bin").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & 0044, 0u);  // readable like any new file, not 0600
}

TEST(OutputFile, UnwritablePlacesAreToolErrors) {
  ScratchFolder folder;
  EXPECT_THROW(OutputFile(folder / "missing/a.png"), ToolError);
  EXPECT_THROW(OutputFile(folder.Path().string()), ToolError);
  try {
    OutputFile out("/proc/a.png");
    FAIL();
  } catch (const ToolError& e) {
    EXPECT_NE(std::string(e.what()).find("cannot write /proc/a.png"), std::string::npos);
  }
}

}  // namespace
}  // namespace zarncap
