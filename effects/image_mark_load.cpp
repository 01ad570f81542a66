#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <cerrno>
#include <cstring>

#include "effects/image_mark.h"
#include "effects/item_effects.h"

namespace kestrel {
namespace {

std::string MarkError(const std::string& path, const std::string& reason) {
  return "Cannot read the image mark \"" + path + "\": " + reason;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw TEffectsError(MarkError(path, std::strerror(errno)));
  std::vector<std::uint8_t> bytes;
  struct stat st {};
  int error = ::fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EISDIR;
  if (error == 0) {
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (error == 0) {
      if (done == bytes.size()) bytes.resize(bytes.size() + 65536);  // the file grew
      const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno != EINTR) error = errno;
      if (n == 0) break;
      if (n > 0) done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
  }
  ::close(fd);
  if (error != 0) throw TEffectsError(MarkError(path, std::strerror(error)));
  return bytes;
}

TBgrImage DecodeBmp(const std::vector<std::uint8_t>& bytes, const std::string& path) {
  QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  QImageReader reader(&buffer, "bmp");
  reader.setDecideFormatFromContent(false);
  QImage image = reader.read();
  if (image.isNull()) throw TEffectsError(MarkError(path, reader.errorString().toStdString()));
  image = image.convertToFormat(QImage::Format_BGR888);
  if (image.isNull()) throw TEffectsError(MarkError(path, "cannot convert it to 24 bits"));
  TBgrImage out;
  out.width = image.width();
  out.height = image.height();
  const std::size_t row_bytes = 3 * static_cast<std::size_t>(out.width);
  out.bytes.resize(row_bytes * out.height);
  for (int r = 0; r < out.height; ++r) {
    std::memcpy(out.bytes.data() + r * row_bytes, image.constScanLine(r), row_bytes);
  }
  return out;
}

}  // namespace

TBgrImage LoadMarkImage(const std::string& path) {
  return DecodeBmp(ReadFileBytes(path), path);
}

std::shared_ptr<const TBgrImage> TMarkImageCache::Get(const std::string& path) {
  std::vector<std::uint8_t> bytes = ReadFileBytes(path);
  std::lock_guard lock(mutex_);
  if (!image_ || path != path_ || bytes != file_bytes_) {
    image_.reset();  // a failed decode must not leave the old picture in use
    image_ = std::make_shared<const TBgrImage>(DecodeBmp(bytes, path));
    path_ = path;
    file_bytes_ = std::move(bytes);
  }
  return image_;
}

void TMarkImageCache::Clear() {
  std::lock_guard lock(mutex_);
  image_.reset();
  path_.clear();
  file_bytes_.clear();
}

}  // namespace kestrel
