// Lookups over a data set and the bodies of its pictures.
#include "stand-in/data_set.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "stand-in/pages.h"
#include "stand-in/picture_files.h"

namespace standin {

const char* FormatName(PictureFormat format) {
  switch (format) {
    case PictureFormat::kGif:
      return "gif";
    case PictureFormat::kPng:
      return "png";
    case PictureFormat::kJpeg:
    default:
      return "jpg";
  }
}

const char* MimeType(PictureFormat format) {
  switch (format) {
    case PictureFormat::kGif:
      return "image/gif";
    case PictureFormat::kPng:
      return "image/png";
    case PictureFormat::kJpeg:
    default:
      return "image/jpeg";
  }
}

std::string StoredPictureName(const Picture& picture) {
  bool plain = !picture.id.empty() && picture.id.size() <= 64;
  for (char c : picture.id) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'))) plain = false;
  }
  // Any other id (separators, "..", 1,000 bytes) gets a fixed-length name.
  return (plain ? picture.id : "x" + PictureSign(picture.id)) + "." +
         FormatName(picture.format);
}

std::string PictureBody(const DataSet& data, const Picture& picture) {
  if (!data.picture_folder.empty()) {
    std::ifstream in(data.picture_folder + "/" + StoredPictureName(picture),
                     std::ios::binary);
    if (in) {
      std::ostringstream body;
      body << in.rdbuf();
      return body.str();
    }
  }
  return EncodePicture(picture.format, picture.id, data.seed, picture.size);
}

DataIndex::DataIndex(const DataSet* data) : data_(data) {
  for (const Thread& thread : data->threads) {
    threads_.emplace(thread.tid, &thread);  // the first of equal tids wins
    if (thread.album) {
      albums_.push_back(&thread);
      total_album_pictures_ += thread.pictures.size();
    }
    for (const Picture& picture : thread.pictures) {
      pictures_.emplace(picture.id, PictureRef{&thread, &picture});
    }
  }
}

const Thread* DataIndex::FindThread(std::string_view tid) const {
  auto it = threads_.find(std::string(tid));
  return it == threads_.end() ? nullptr : it->second;
}

const Picture* DataIndex::FindPicture(std::string_view id, const Thread** thread) const {
  auto it = pictures_.find(std::string(id));
  if (it == pictures_.end()) return nullptr;
  if (thread) *thread = it->second.thread;
  return it->second.picture;
}

std::vector<const Picture*> GuidePictures(const Thread& thread, bool starter_only) {
  std::vector<const Picture*> pictures;
  pictures.reserve(thread.pictures.size());
  for (const Picture& picture : thread.pictures) {
    if (!starter_only || picture.by_starter) pictures.push_back(&picture);
  }
  return pictures;
}

}  // namespace standin
