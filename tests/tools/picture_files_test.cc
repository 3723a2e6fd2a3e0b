// The stand-in's picture files: exact sizes across the segment boundaries
// of each format, the id comment, bytes that differ from picture to
// picture, and (where Qt's image readers are built) files a real decoder
// accepts.
#include "stand-in/picture_files.h"

#include <gtest/gtest.h>

#include <set>

#ifdef TIEPIC_HAVE_QT_IMAGE
#include <QByteArray>
#include <QImage>
#endif

namespace standin {
namespace {

const char kId[] = "8a27ab0afb3e7a1c5680d0b0b4d2ab29b2191a50";

#ifdef TIEPIC_HAVE_QT_IMAGE
// Returns "" when Qt decodes `body` as a 1x1 image of `format`, else why not.
std::string DecodeProblem(const std::string& body, PictureFormat format) {
  QImage image;
  if (!image.loadFromData(QByteArray(body.data(), static_cast<qsizetype>(body.size())),
                          FormatName(format) == std::string("jpg")   ? "JPEG"
                          : FormatName(format) == std::string("png") ? "PNG"
                                                                     : "GIF")) {
    return "not decoded";
  }
  if (image.width() != 1 || image.height() != 1) return "wrong dimensions";
  return "";
}
#endif

TEST(StandInPictureFiles, HaveTheExactSizeAndStayValidAcrossSegmentBoundaries) {
  for (PictureFormat format :
       {PictureFormat::kJpeg, PictureFormat::kPng, PictureFormat::kGif}) {
    uint32_t minimum = MinimumPictureSize(format, kId);
    // Around the minimum, the GIF sub-block (255/256) and JPEG comment
    // (65533/65537) limits, the PNG filler chunk's 12-byte overhead, and
    // the benchmark's 100 KB.
    for (uint32_t size : {0u, minimum, minimum + 1, minimum + 11, minimum + 12,
                          minimum + 255, minimum + 256, minimum + 257, minimum + 65533,
                          minimum + 65537, minimum + 65538, 102400u, 300000u}) {
      SCOPED_TRACE(std::string(FormatName(format)) + " size " + std::to_string(size));
      std::string body = EncodePicture(format, kId, 7, size);
      EXPECT_EQ(body.size(), std::max(size, minimum));
      EXPECT_EQ(body.size(), PictureFileSize(format, kId, size));
      EXPECT_EQ(SniffPictureFormat(body), static_cast<int>(format));
      EXPECT_NE(body.find(PictureComment(kId)), std::string::npos);
      EXPECT_EQ(body, EncodePicture(format, kId, 7, size)) << "not deterministic";
#ifdef TIEPIC_HAVE_QT_IMAGE
      EXPECT_EQ(DecodeProblem(body, format), "");
#endif
    }
  }
}

TEST(StandInPictureFiles, DifferFromPictureToPictureAndSeedToSeed) {
  std::set<std::string> bodies;
  std::string first_filler;
  for (int i = 0; i < 200; ++i) {
    std::string id = std::string(kId).substr(0, 36) + std::to_string(1000 + i);
    std::string body = EncodePicture(PictureFormat::kJpeg, id, 1, 4000);
    // Past the id comment the filler itself differs for most pictures.
    if (i == 0) first_filler = body.substr(200);
    bodies.insert(body);
  }
  EXPECT_EQ(bodies.size(), 200u);
  EXPECT_NE(EncodePicture(PictureFormat::kPng, kId, 1, 5000),
            EncodePicture(PictureFormat::kPng, kId, 2, 5000));
  int same_filler = 0;
  for (const std::string& body : bodies) same_filler += body.substr(200) == first_filler;
  EXPECT_LT(same_filler, 20);
}

TEST(StandInPictureFiles, CarryHostileIdsAsPrintableComments) {
  std::string id = std::string("../a\\b\x01\xFF") + std::string(1000, 'z');
  EXPECT_EQ(PictureComment("a\\b\x01\xFF"), "tiepic-stand-in picture a\\x5Cb\\x01\\xFF");
  for (PictureFormat format :
       {PictureFormat::kJpeg, PictureFormat::kPng, PictureFormat::kGif}) {
    std::string body = EncodePicture(format, id, 3, 0);
    EXPECT_EQ(body.size(), MinimumPictureSize(format, id));
    // (A GIF's sub-block lengths interrupt a comment this long, so only its start.)
    EXPECT_NE(body.find(PictureComment(id).substr(0, 200)), std::string::npos)
        << FormatName(format);
#ifdef TIEPIC_HAVE_QT_IMAGE
    EXPECT_EQ(DecodeProblem(body, format), "") << FormatName(format);
#endif
  }
}

}  // namespace
}  // namespace standin
